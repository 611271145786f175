// A station of a line without devices, for the line tests: its ports take
// serial numbers from the line, give each a fate at random as a device would
// (written, refused, unconfirmed, not sent), and record each device. Says
// what it does on standard output, one line per event:
//   taken PORT NUMBER / settled PORT NUMBER FATE / unreachable PORT / done
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/serial_number_source.h"
#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "line/line_database.h"
#include "line/line_serial_numbers.h"

namespace {

using namespace comflash;
using namespace comflash::line;

struct Options {
    std::string settings;
    std::string line;
    std::string station = "station";
    std::string first = "QA000100";
    int ports = 1;
    int devices = 10;
    unsigned seed = 1;
    int paceMs = 0;
    bool hold = false;
};

std::mutex outMutex;

void Say(const std::string& line) {
    std::lock_guard lock(outMutex);
    std::cout << line << std::endl;
}

SerialFate RandomFate(std::mt19937& random) {
    const int roll = static_cast<int>(random() % 10);
    if (roll < 6)
        return SerialFate::Written;
    if (roll < 8)
        return SerialFate::Refused;
    return roll < 9 ? SerialFate::Unconfirmed : SerialFate::NotSent;
}

std::string TakeWhenAvailable(LineDatabase& line, LineSerialNumbers& numbers,
                              const std::string& port) {
    bool said = false;
    while (true) {
        if (line.Available()) {
            try {
                return numbers.Take(port).number;
            } catch (const SerialSourceAway&) {
            }
        }
        if (!said)
            Say("unreachable " + port);
        said = true;
        if (!line.WaitAvailable(std::chrono::seconds(60)))
            throw std::runtime_error("the line did not come back: " + line.Problem());
    }
}

void RunPort(LineDatabase& line, LineSerialNumbers& numbers, const Options& options, int index) {
    const std::string port = "COM" + std::to_string(index + 1);
    std::mt19937 random(options.seed * 100 + static_cast<unsigned>(index));
    for (int device = 0; device < options.devices; ++device) {
        const auto started = std::chrono::steady_clock::now();
        const std::string number = TakeWhenAvailable(line, numbers, port);
        Say("taken " + port + " " + number);
        // The device's run, during which the server may go away.
        std::this_thread::sleep_for(std::chrono::milliseconds(options.paceMs));
        const SerialFate fate = RandomFate(random);
        numbers.Settle(number, fate);
        Say("settled " + port + " " + number + " " + SerialFateName(fate));
        DeviceRecord row;
        row.finishedAt = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        row.port = port;
        row.result = fate == SerialFate::Written ? RunResult::SerialWritten
                                                 : RunResult::SerialRefused;
        row.imageLength = 4096;
        row.imageCrc = 0xBEEF;
        row.serial = SettledNumber{number, fate};
        row.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
        line.Append(row);
    }
}

Options Parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        auto value = [&] {
            if (i + 1 >= argc)
                throw std::runtime_error(word + " needs a value");
            return std::string(argv[++i]);
        };
        if (word == "--settings")
            options.settings = value();
        else if (word == "--line")
            options.line = value();
        else if (word == "--station")
            options.station = value();
        else if (word == "--first")
            options.first = value();
        else if (word == "--ports")
            options.ports = std::stoi(value());
        else if (word == "--devices")
            options.devices = std::stoi(value());
        else if (word == "--seed")
            options.seed = static_cast<unsigned>(std::stoul(value()));
        else if (word == "--pace-ms")
            options.paceMs = std::stoi(value());
        else if (word == "--hold")
            options.hold = true;
        else
            throw std::runtime_error("unknown option " + word);
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = Parse(argc, argv);
        ::setenv("XDG_CONFIG_HOME", options.settings.c_str(), 1);
        SettingsStore settings;
        if (settings.ReadSetting("SN").empty())
            settings.WriteSetting("SN", options.first);
        LineDatabase line(options.line, options.station, SettingsFolder());
        LineSerialNumbers numbers(line, settings);
        if (!line.WaitAvailable(std::chrono::seconds(30)))
            throw std::runtime_error("the line cannot be reached: " + line.Problem());
        if (options.hold) {
            // Taken, and (as far as anyone can tell) on its way to a device
            // when the station dies.
            Say("taken COM1 " + TakeWhenAvailable(line, numbers, "COM1"));
            while (true)
                ::pause();
        }
        std::vector<std::thread> ports;
        std::vector<std::string> failures(static_cast<std::size_t>(options.ports));
        for (int i = 0; i < options.ports; ++i) {
            ports.emplace_back([&, i] {
                try {
                    RunPort(line, numbers, options, i);
                } catch (const std::exception& e) {
                    failures[static_cast<std::size_t>(i)] = e.what();
                }
            });
        }
        for (auto& port : ports)
            port.join();
        for (const auto& failure : failures) {
            if (!failure.empty()) {
                std::cerr << "line_station: " << failure << '\n';
                return 1;
            }
        }
        if (!line.Flush(std::chrono::seconds(60))) {
            std::cerr << "line_station: " << line.Waiting() << " entries left in the spool ("
                      << line.Problem() << ")\n";
            return 3;
        }
        Say("done");
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "line_station: " << e.what() << '\n';
        return 1;
    }
}
