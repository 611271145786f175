// What a station tile says after what its port reported: the words across the
// bench, the detail under them and the tone the colour comes from.
#include "app/tile_state.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace comflash {
namespace {

FinishedDevice Device(const std::string& result, bool good,
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
         t.UpdateStarted();
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
         t.UpdateStarted();
         t.Progress(100);
         t.DeviceFinished(Device("updated", true));
     },
     {"good", "", TileTone::Good}},
    {"GoodStaysUntilTheNextUpdateStarts",
     [](TileState& t) {
         t.Opened();
         t.UpdateStarted();
         t.DeviceFinished(Device("updated", true));
         t.Progress(0);  // the next device's hello
     },
     {"good", "", TileTone::Good}},
    {"ChecksumMismatch",
     [](TileState& t) {
         t.Opened();
         t.UpdateStarted();
         t.DeviceFinished(Device("checksum-mismatch", false));
     },
     {"failed: Write Err", "", TileTone::Failed}},
    {"TimeOutAfterTheBox",
     [](TileState& t) {
         t.Opened();
         t.UpdateStarted();
         t.DeviceFinished(Device("timed-out", false));
         t.Message("Command Overtimer!");
     },
     {"failed: no answer", "Command Overtimer!", TileTone::Failed}},
    {"RefusedBlockInTheToolsWords",
     [](TileState& t) {
         t.Opened();
         t.UpdateStarted();
         t.LogLine("Write 1024 Err!");
         t.LogLine("Write 1280 Err!");
         t.DeviceFinished(Device("block-refused", false));
     },
     {"failed: Write 1024 Err!", "", TileTone::Failed}},
    {"RefusedHello",
     [](TileState& t) {
         t.Opened();
         t.DeviceFinished(Device("hello-refused", false));
     },
     {"failed: E0", "", TileTone::Failed}},
    {"SerialNumberOnItsWay",
     [](TileState& t) {
         t.Opened();
         t.SerialNumberSent("QA000101");
     },
     {"writing serial number", "SN QA000101", TileTone::Busy}},
    {"SerialNumberWritten",
     [](TileState& t) {
         t.Opened();
         t.SerialNumberSent("QA000101");
         t.Message("Write SN Completed!");
         t.DeviceFinished(
             Device("serial-written", true, SettledNumber{"QA000101", SerialFate::Written}));
     },
     {"good", "SN QA000101 written", TileTone::Good}},
    {"SerialNumberRefused",
     [](TileState& t) {
         t.Opened();
         t.SerialNumberSent("QA000101");
         t.DeviceFinished(
             Device("serial-refused", false, SettledNumber{"QA000101", SerialFate::Refused}));
     },
     {"failed: Write SN Error!", "SN QA000101 refused", TileTone::Failed}},
    {"SerialNumberUnconfirmedWhateverEndedTheRun",
     [](TileState& t) {
         t.Opened();
         t.SerialNumberSent("QA000105");
         t.DeviceFinished(
             Device("timed-out", false, SettledNumber{"QA000105", SerialFate::Unconfirmed}));
         t.Message("Command Overtimer!");
     },
     {"failed: SN unconfirmed", "SN QA000105 unconfirmed: set the device aside", TileTone::Failed}},
    {"PortLostInTheMiddleOfARun",
     [](TileState& t) {
         t.Opened();
         t.UpdateStarted();
         t.PortLost();
         t.DeviceFinished(Device("port-lost", false));
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
         t.UpdateStarted();
         t.DeviceFinished(Device("interrupted", false));
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
