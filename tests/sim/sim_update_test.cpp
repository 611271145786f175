// A series of simulated devices updated by the straight-line host: what each
// device stored, what it reported, and the timing promises of the series.
#include <gtest/gtest.h>

#include <unistd.h>
#include <string>

#include "protocol/frame.h"
#include "protocol/host_commands.h"
#include "sim_process.h"
#include "straight_host.h"
#include "test_firmware.h"

namespace comflash::simtest {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kSeriesFirmwareLength = 5000;  // 20 blocks, the last one padded

class SimUpdate : public ::testing::Test {
protected:
    void SetUp() override { WriteBinary(firmwareFile_, firmware_); }

    std::vector<std::string> Arguments(std::vector<std::string> extra) const {
        std::vector<std::string> arguments = {"--expect", firmwareFile_.string(), "--report",
                                              report_.string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    }
    std::filesystem::path StderrFile() const { return dir_ / "stderr.txt"; }

    TempDir dir_;
    Bytes firmware_ = TestFirmware(kSeriesFirmwareLength);
    FirmwareImage image_ = MakeImage(firmware_);
    std::filesystem::path firmwareFile_ = dir_ / "firmware.bin";
    std::filesystem::path report_ = dir_ / "report.jsonl";
};

TEST_F(SimUpdate, SeriesOfScrambledUpdatesAtVersionsOneToThreeStoresTheImage) {
    SimProcess sim(Arguments({"--devices", "3", "--version", "1,2,3", "--quiet-end", QuietEnd(),
                              "--power-up-delay", "100", "--trace"}),
                   StderrFile());
    const std::string port = sim.NextPath();
    ASSERT_FALSE(port.empty()) << sim.Stderr();
    StraightHost host(port);

    std::vector<UpdateRun> runs;
    for (int device = 1; device <= 3; ++device)
        runs.push_back(RunUpdate(host, image_));
    ASSERT_EQ(sim.Wait(), 0) << sim.Stderr();

    const auto lines = ReadJsonLines(report_);
    ASSERT_EQ(lines.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("device " + std::to_string(i + 1));
        const UpdateRun& run = runs[i];
        const Json& line = lines[i];
        EXPECT_TRUE(run.finished) << "stopped at " << run.stoppedAt;
        EXPECT_EQ(run.version, i + 1);
        EXPECT_EQ(line["device"].Int(), static_cast<long long>(i + 1));
        EXPECT_EQ(line["port"].String(), port);
        EXPECT_EQ(line["version"].Int(), static_cast<long long>(i + 1));
        EXPECT_EQ(line["fault"].String(), "none");
        EXPECT_EQ(line["outcome"].String(), "updated");
        EXPECT_TRUE(line["as_expected"].Bool());
        EXPECT_TRUE(line["image_equal"].Bool());
        EXPECT_TRUE(line["finish"].Bool());
        EXPECT_EQ(line["handshakes"].Int(), 1);
        EXPECT_EQ(line["key_bytes"].Ints(),
                  std::vector<long long>(run.keyBytes.begin(), run.keyBytes.end()));
        EXPECT_EQ(line["identity_requests"].Int(), 1);
        EXPECT_EQ(line["init_requests"].Int(), 1);
        EXPECT_EQ(line["blocks"].Int(), 20);
        EXPECT_TRUE(line["refused_offsets"].Items().empty());
        EXPECT_EQ(line["checksum_requests"].Int(), 1);
        EXPECT_EQ(line["checksum_count"].Int(), 20 * 256);
        EXPECT_EQ(line["checksum_value"].Int(), run.hostChecksum);
        ASSERT_EQ(line["eeprom_writes"].Items().size(), 1u);
        EXPECT_EQ(line["eeprom_writes"].Items()[0]["address"].Int(), 0);
        EXPECT_EQ(line["eeprom_writes"].Items()[0]["length"].Int(), 16);
        EXPECT_TRUE(line["serial_record"].IsNull());
        EXPECT_EQ(line["wrong_speed_frames"].Int(), 0);
        EXPECT_EQ(line["garbled_replies"].Int(), 0);
        EXPECT_LE(line["start_ms"].Int(), line["end_ms"].Int());

        // Each device answers the identity read with its own EEPROM.
        ASSERT_TRUE(run.identity);
        const Bytes& identity = run.identity->payload;
        ASSERT_EQ(identity.size(), 2u + kIdentityLength);
        EXPECT_EQ(identity[0], 0x01);
        EXPECT_EQ(identity[1], 0xE0);
        const std::string label(identity.begin() + 2, identity.begin() + 15);
        EXPECT_EQ(label, "SIM-00000" + std::to_string(i + 1) + "-V" + std::to_string(i + 1));
    }
    // Consecutive handshakes carry consecutive key bytes, so each device
    // unscrambled with a key of its own.
    EXPECT_NE(runs[0].keyBytes, runs[1].keyBytes);
    EXPECT_NE(sim.Stderr().find("host>dev   38400  block"), std::string::npos) << sim.Stderr();
}

TEST_F(SimUpdate, SerialRecordShowsInTheDevicesNextIdentityReply) {
    SimProcess sim(Arguments({"--devices", "1", "--quiet-end", QuietEnd()}), StderrFile());
    StraightHost host(sim.NextPath());

    const SerialRun run = RunSerialWrite(host, "AB12000345");
    ASSERT_EQ(run.status, kStatusOk);
    ASSERT_TRUE(run.identityAfter);
    const Bytes& identity = run.identityAfter->payload;
    const std::size_t recordAt = 2 + kSerialRecordAddress - kIdentityAddress;
    EXPECT_EQ(std::string(identity.begin() + recordAt, identity.begin() + recordAt + 14),
              "VTMAB12000345#");
    EXPECT_EQ(identity[recordAt + 14], 0xFF);

    EXPECT_EQ(sim.Wait(), 0) << sim.Stderr();
    const auto lines = ReadJsonLines(report_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["outcome"].String(), "serial-written");
    EXPECT_EQ(lines[0]["serial_record"].String(), "AB12000345#");
    EXPECT_EQ(lines[0]["identity_requests"].Int(), 1);
    ASSERT_EQ(lines[0]["eeprom_writes"].Items().size(), 1u);
    EXPECT_EQ(lines[0]["eeprom_writes"].Items()[0]["address"].Int(), kSerialRecordAddress);
    EXPECT_EQ(lines[0]["eeprom_writes"].Items()[0]["length"].Int(), 14);
    EXPECT_TRUE(lines[0]["as_expected"].Bool());
}

TEST_F(SimUpdate, NextDeviceWaitsOutTheHostTimeoutAfterAWithheldReply) {
    SimProcess sim(
        Arguments({"--devices", "2", "--fault", "1:no-reply:checksum", "--quiet-end", QuietEnd(),
                   "--power-up-delay", "100", "--host-timeout", "2500", "--trace"}),
        StderrFile());
    StraightHost host(sim.NextPath());

    const UpdateRun first = RunUpdate(host, image_, {.noReplySign = sim.NoUsableReplySign()});
    EXPECT_EQ(first.stoppedAt, "checksum");
    const auto withheldAt = host.LastSendAt();
    const UpdateRun second = RunUpdate(host, image_);
    EXPECT_TRUE(second.finished) << "stopped at " << second.stoppedAt;
    ASSERT_TRUE(second.hello);
    EXPECT_GE(second.hello->arrivedAt - withheldAt, 2500ms);

    EXPECT_EQ(sim.Wait(), 0) << sim.Stderr();
    const auto lines = ReadJsonLines(report_);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["outcome"].String(), "no-reply");
    EXPECT_EQ(lines[1]["outcome"].String(), "updated");
}

TEST_F(SimUpdate, WireHoldsEachReplyForItsTransmissionTime) {
    SimProcess sim(
        Arguments({"--devices", "1", "--wire", "--device-delay", "200", "--quiet-end", QuietEnd()}),
        StderrFile());
    StraightHost host(sim.NextPath());
    UpdateRun run;
    Greet(host, run, {});
    ASSERT_TRUE(run.stoppedAt.empty());

    SendIdentityRequest(host.Link());
    const auto sentAt = host.LastSendAt();
    const auto reply = host.AwaitFrame(command::kIdentity, kPatience);
    ASSERT_TRUE(reply);
    // 200 ms of processing, 11 request and 617 reply bytes at 38400 baud.
    EXPECT_GE(reply->arrivedAt - sentAt, 200ms + 2ms + 160ms);
}

TEST_F(SimUpdate, DeviceJoinsARequestSentInPiecesAndSkipsAFrameWithABadCheck) {
    // The device keeps a half frame for as long as the test may take to
    // send the next piece.
    SimProcess sim(Arguments({"--devices", "1", "--quiet-end", QuietEnd(), "--frame-timeout",
                              std::to_string(kPatience.count()), "--trace"}),
                   StderrFile());
    StraightHost host(sim.NextPath());
    UpdateRun run;
    Greet(host, run, {});
    ASSERT_TRUE(run.stoppedAt.empty());

    Bytes broken = EncodeFrame(command::kIdentity, Bytes{0x01, 0xE0, 0x02, 0x60});
    broken.back() ^= 0x01;
    Bytes request = EncodeFrame(command::kIdentity, Bytes{0x01, 0xE0, 0x00, 0x10});
    ASSERT_EQ(write(host.Fd(), broken.data(), broken.size()), static_cast<ssize_t>(broken.size()));
    // Each piece but the last is read on its own before the next one leaves.
    const std::string halfFrame = "bytes of a frame not yet whole";
    std::size_t pieces = 0;
    for (std::size_t at = 0; at < request.size(); at += 4) {
        const std::size_t piece = std::min<std::size_t>(4, request.size() - at);
        ASSERT_EQ(write(host.Fd(), request.data() + at, piece), static_cast<ssize_t>(piece));
        if (at + piece < request.size())
            ASSERT_TRUE(sim.AwaitStderr(halfFrame, ++pieces)) << sim.Stderr();
    }
    const auto reply = host.AwaitFrame(command::kIdentity, kPatience);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload.size(), 2u + 0x10);

    sim.Wait();
    const auto lines = ReadJsonLines(report_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["bad_frames"].Int(), 1);
    EXPECT_EQ(lines[0]["identity_requests"].Int(), 1);
}

}  // namespace
}  // namespace comflash::simtest
