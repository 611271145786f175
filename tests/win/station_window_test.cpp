// comflash-station.exe under Wine, driven as an operator would drive it,
// against one comflash-sim per port on the pseudo-terminals the harness
// mapped to COM1..COM4: what each tile says, and what the devices hold.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/win/window_driver.h"
#include "winui/control_ids.h"

namespace comflash::wintest {
namespace {

using namespace winui;

// A line whose second device waits a minute: the line stays, and its tile
// keeps the first device's state while the test looks.
std::vector<std::string> OneDeviceThenPause(std::vector<std::string> fault = {}) {
    std::vector<std::string> arguments = {"--devices", "2", "--power-up-delay", "60000"};
    arguments.insert(arguments.end(), fault.begin(), fault.end());
    return arguments;
}

class StationUnderWine : public ::testing::Test {
protected:
    StationUnderWine() { ClearSettings(); }

    HWND Start(const std::vector<std::string>& arguments) {
        program_.emplace(Setting("COMFLASH_STATION_EXE"), arguments);
        const HWND window = program_->Window("comflash-station-window");
        EXPECT_NE(window, nullptr) << "no window came up";
        return window;
    }
    static std::string TileText(HWND window, std::size_t tile, int control) {
        return Text(GetDlgItem(window, TileControlId(tile, control)));
    }
    static bool Finished(const std::string& state) {
        return state == "good" || state.starts_with("failed") || state.starts_with("closed");
    }

    std::optional<Program> program_;
};

// Four ports, each device with a fault of its own: each tile ends in the
// words its fault predicts, and the totals add them up.
TEST_F(StationUnderWine, FourPortsEndAsTheirFaultsPredict) {
    Sim good(1, OneDeviceThenPause());
    Sim refusedInit(2, OneDeviceThenPause({"--fault", "1:init-refused"}));
    Sim badChecksum(3, OneDeviceThenPause({"--fault", "1:wrong-checksum"}));
    Sim noDigit(4, OneDeviceThenPause({"--fault", "1:hello-no-digit"}));
    const HWND window =
        Start({"--port", "COM1", "--port", "COM2", "--port", "COM3", "--port", "COM4", "--open"});

    const char* expected[] = {"good", "failed: Init EEP Err", "failed: Write Err", "failed: E0"};
    for (std::size_t tile = 0; tile < 4; ++tile) {
        WaitFor([&] {
            const std::string state = TileText(window, tile, kTileState);
            return Finished(state) || state == "port lost";
        });
        EXPECT_EQ(TileText(window, tile, kTileState), expected[tile]) << "tile " << tile;
        EXPECT_EQ(TileText(window, tile, kTileName), "COM" + std::to_string(tile + 1));
    }
    EXPECT_EQ(Text(GetDlgItem(window, kTotalsId)), "finished 4: 1 good, 3 failed");
    EXPECT_EQ(TileText(window, 2, kTileCounters), "Ok:0  Err:1");
    EXPECT_TRUE(good.Report(1).at(0)["image_equal"].get<bool>());
    EXPECT_TRUE(FindBox(program_->Id()) == std::nullopt) << "the station never opens a box";
}

// One tile closed in the middle of a transfer: only its port stops.
TEST_F(StationUnderWine, ATileClosedMidTransferStopsOnlyItsPort) {
    Sim slow(1, {"--devices", "1", "--wire"});
    Sim other(2, OneDeviceThenPause());
    const HWND window = Start({"--port", "COM1", "--port", "COM2", "--open"});
    ASSERT_TRUE(WaitFor([&] { return TileText(window, 0, kTileState).starts_with("updating"); }))
        << TileText(window, 0, kTileState);
    Click(GetDlgItem(window, TileControlId(0, kTileOpenClose)));

    EXPECT_TRUE(WaitFor([&] { return TileText(window, 0, kTileState) == "closed"; }))
        << TileText(window, 0, kTileState);
    EXPECT_TRUE(WaitFor([&] { return TileText(window, 1, kTileState) == "good"; }))
        << TileText(window, 1, kTileState);
    EXPECT_EQ(TileText(window, 0, kTileOpenClose), "Open");
    EXPECT_EQ(TileText(window, 1, kTileOpenClose), "Close");
    EXPECT_NE(slow.Report(1).at(0)["outcome"], "updated");
}

// Serial numbers on three ports at once: every device its own number.
TEST_F(StationUnderWine, SerialNumbersOnSeveralPortsNeverTwice) {
    Store("SN", "WS000100");
    std::vector<std::unique_ptr<Sim>> sims;
    for (int com = 1; com <= 3; ++com)
        sims.push_back(std::make_unique<Sim>(com, std::vector<std::string>{"--devices", "2"}));
    const HWND window =
        Start({"--port", "COM1", "--port", "COM2", "--port", "COM3", "--write-sn", "--open"});
    ASSERT_TRUE(WaitFor([&] {
        return Text(GetDlgItem(window, kTotalsId)) == "finished 6: 6 good, 0 failed";
    })) << Text(GetDlgItem(window, kTotalsId));

    std::set<std::string> numbers;
    for (const auto& sim : sims) {
        for (const auto& device : sim->Report(2))
            numbers.insert(device["serial_record"].get<std::string>());
    }
    EXPECT_EQ(numbers.size(), 6u) << "one number in two devices";
    EXPECT_EQ(Stored("SN"), "WS000106");
    EXPECT_EQ(Stored("Ports"), "COM1;COM2;COM3");
}

TEST_F(StationUnderWine, LineDatabaseIsRefusedWithWhy) {
    program_.emplace(Setting("COMFLASH_STATION_EXE"),
                     std::vector<std::string>{"--line", "host=line.example"});
    EXPECT_EQ(program_->Wait(), 2u);
}

}  // namespace
}  // namespace comflash::wintest
