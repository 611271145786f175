// What a station tile says after what its port reported: the words across the
// bench, the detail under them and the tone the colour comes from.
#include "app/tile_state.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace comflash {
namespace {

FinishedDevice Device(RunResult result, bool good,
                      std::optional<SettledNumber> serial = std::nullopt) {
    FinishedDevice device;
    device.result = result;
    device.good = good;
    device.serial = std::move(serial);
    return device;
}

struct FaceCase {
    const char* name;
    std::function<void(TileState&)> events;
    TileFace expected;
};

class TileFaces : public ::testing::TestWithParam<FaceCase> {};

TEST_P(TileFaces, SayWhatHappenedInWords) {
    TileState tile;
    GetParam().events(tile);
    const TileFace face = tile.Face();
    EXPECT_EQ(face.state, GetParam().expected.state);
    EXPECT_EQ(face.detail, GetParam().expected.detail);
    EXPECT_EQ(face.tone, GetParam().expected.tone);
}

const FaceCase kFaces[] = {
    {"AtStart", [](TileState&) {}, {"closed", "", TileTone::Closed}},
    {"Opened", [](TileState& t) { t.Opened(); }, {"waiting for a device", "", TileTone::Waiting}},
    {"Updating",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::Update, {});
         t.Progress(42);
     },
     {"updating 42 %", "", TileTone::Busy}},
    {"ProgressBeforeTheUpdateIsNoUpdate",
     [](TileState& t) {
         t.Opened();
         t.Progress(0);
     },
     {"waiting for a device", "", TileTone::Waiting}},
    {"Good",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::Update, {});
         t.Progress(100);
         t.RunEnded(Device(RunResult::Updated, true));
     },
     {"good", "", TileTone::Good}},
    {"GoodStaysUntilTheNextUpdateStarts",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::Update, {});
         t.RunEnded(Device(RunResult::Updated, true));
         t.Progress(0);  // the next device's hello
     },
     {"good", "", TileTone::Good}},
    {"ChecksumMismatch",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::Update, {});
         t.RunEnded(Device(RunResult::ChecksumMismatch, false));
     },
     {"failed: Write Err", "", TileTone::Failed}},
    {"TimeOutAfterTheBox",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::Update, {});
         t.RunEnded(Device(RunResult::TimedOut, false));
         t.Message("Command Overtimer!");
     },
     {"failed: no answer", "Command Overtimer!", TileTone::Failed}},
    {"RefusedBlockInTheToolsWords",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::Update, {});
         FinishedDevice device = Device(RunResult::BlockRefused, false);
         device.refusedBlock = 1024;  // the first of the run's refused blocks
         t.RunEnded(device);
     },
     {"failed: Write 1024 Err!", "", TileTone::Failed}},
    {"RefusedHello",
     [](TileState& t) {
         t.Opened();
         t.RunEnded(Device(RunResult::HelloRefused, false));
     },
     {"failed: E0", "", TileTone::Failed}},
    {"SerialNumberOnItsWay",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::SerialNumber, "QA000101");
     },
     {"writing serial number", "SN QA000101", TileTone::Busy}},
    {"SerialNumberWritten",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::SerialNumber, "QA000101");
         t.Message("Write SN Completed!");
         t.RunEnded(
             Device(RunResult::SerialWritten, true, SettledNumber{"QA000101", SerialFate::Written}));
     },
     {"good", "SN QA000101 written", TileTone::Good}},
    {"SerialNumberRefused",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::SerialNumber, "QA000101");
         t.RunEnded(
             Device(RunResult::SerialRefused, false, SettledNumber{"QA000101", SerialFate::Refused}));
     },
     {"failed: Write SN Error!", "SN QA000101 refused", TileTone::Failed}},
    {"SerialNumberUnconfirmedWhateverEndedTheRun",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::SerialNumber, "QA000105");
         t.RunEnded(
             Device(RunResult::TimedOut, false, SettledNumber{"QA000105", SerialFate::Unconfirmed}));
         t.Message("Command Overtimer!");
     },
     {"failed: SN unconfirmed", "SN QA000105 unconfirmed: set the device aside", TileTone::Failed}},
    {"PortLostInTheMiddleOfARun",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::Update, {});
         t.PortLost();
         t.RunEnded(Device(RunResult::PortLost, false));
     },
     {"port lost", "waiting for it to return", TileTone::Lost}},
    {"PortBack",
     [](TileState& t) {
         t.Opened();
         t.PortLost();
         t.PortBack();
     },
     {"waiting for a device", "", TileTone::Waiting}},
    {"ClosedInTheMiddleOfARun",
     [](TileState& t) {
         t.Opened();
         t.RunStarted(RunKind::Update, {});
         t.RunEnded(Device(RunResult::Interrupted, false));
         t.Closed();
     },
     {"closed", "last device: failed: interrupted", TileTone::Closed}},
    {"CannotOpen",
     [](TileState& t) { t.OpenFailed("Error opening serial port", "no such device /dev/ttyUSB3"); },
     {"cannot open: Error opening serial port", "no such device /dev/ttyUSB3", TileTone::Failed}},
    {"OpenedAfterAFailedOpen",
     [](TileState& t) {
         t.OpenFailed("Error opening serial port");
         t.Opened();
     },
     {"waiting for a device", "", TileTone::Waiting}},
    {"StoppedByAnError",
     [](TileState& t) {
         t.Opened();
         t.Stopped("Failed to set data for 'SN'");
     },
     {"stopped: Failed to set data for 'SN'", "", TileTone::Failed}},
};

INSTANTIATE_TEST_SUITE_P(Tile, TileFaces, ::testing::ValuesIn(kFaces),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash
