// comflash-pack: enciphers a firmware file into the image text that the
// build links into comflash, and decodes such a text back for checking.
#include <iostream>
#include <string_view>
#include <vector>

#include "tools/pack/pack_commands.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return comflash::pack::Run(args, std::cout, std::cerr);
}
