// comflash-line: what the person in charge of a line of stations asks the
// line database.
#include <iostream>
#include <string_view>
#include <vector>

#include "frontend/command_line.h"
#include "frontend/version_text.h"
#include "line/line_error.h"
#include "line/line_options.h"
#include "line_commands.h"

int main(int argc, char** argv) {
    using namespace comflash::line;
    CLI::App app{
        "comflash-line: the line database of a line of comflash stations: status, export, bench",
        "comflash-line"};
    app.require_subcommand(0, 1);
    bool version = false;
    app.add_flag("--version", version, "show the tool's version");
    std::string line;
    app.add_option("--line", line,
                   "the line database: a libpq connection string or postgresql:// URI (default: "
                   "$COMFLASH_LINE, else libpq's PG* environment variables)");

    std::string span = "1h";
    CLI::App* status = app.add_subcommand(
        "status",
        "series and their next numbers, devices per station and outcome, numbers whose "
        "devices must be set aside");
    status->add_option("--span", span, "how far back to count devices (default 1h; e.g. 8h, 2d)");

    std::string since;
    std::string until;
    CLI::App* exportDevices =
        app.add_subcommand("export", "the device rows as CSV on standard output");
    exportDevices
        ->add_option("--since", since,
                     "first time to include: \"2024-05-01 08:00\" (local time), or a span back "
                     "from now such as 8h")
        ->required();
    exportDevices->add_option("--until", until, "first time to leave out (default: now)");

    std::vector<int> clients = {1, 8, 64};
    double seconds = 10;
    CLI::App* bench = app.add_subcommand(
        "bench",
        "connections reserving and confirming numbers as fast as they can, in a series "
        "of their own that is deleted afterwards: numbers per second, and the check "
        "that none was handed out twice");
    bench->add_option("--clients", clients, "connection counts to measure (default 1 8 64)")
        ->check(CLI::PositiveNumber);
    bench->add_option("--seconds", seconds, "how long each count runs (default 10)")
        ->check(CLI::PositiveNumber);

    // Bad arguments are exit status 2, as in every program of the tool (not
    // CLI11's own codes of 100 and more).
    try {
        if (!comflash::ParseCommandLine(app,
                                        std::vector<std::string_view>(argv + 1, argv + argc))) {
            std::cout << comflash::HelpText(app);
            return 0;
        }
        if (version) {
            std::cout << comflash::VersionText("comflash-line");
            return 0;
        }
        if (!status->parsed() && !exportDevices->parsed() && !bench->parsed())
            throw comflash::UsageError("name a command: status, export or bench");
    } catch (const comflash::UsageError& e) {
        std::cerr << "comflash-line: " << e.what()
                  << " (comflash-line --help lists the commands)\n";
        return 2;
    }

    const std::string conninfo = ResolveLineAddress(line).value_or("");
    try {
        if (status->parsed()) {
            tool::ShowStatus(conninfo, span, std::cout);
        } else if (exportDevices->parsed()) {
            tool::ExportDevices(conninfo, since, until, std::cout);
        } else if (bench->parsed()) {
            return tool::RunBench(conninfo, clients, seconds, std::cout) ? 0 : 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "comflash-line: " << e.what() << '\n';
        return 1;
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "comflash-line: cannot write the report\n";
        return 1;
    }
    return 0;
}
