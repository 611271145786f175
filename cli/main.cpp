#include <iostream>
#include <string_view>
#include <vector>

#include "cli/cli_main.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return comflash::cli::RunCli(args, std::cout, std::cerr);
}
