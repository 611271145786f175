// Every fault a simulated device can play, against a host that behaves as
// the link protocol says: the reply the fault promises reaches the host,
// and the device's report says the host did what that fault should give.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "protocol/frame.h"
#include "protocol/host_commands.h"
#include "sim_process.h"
#include "straight_host.h"
#include "test_firmware.h"

namespace comflash::simtest {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFirmwareLength = 1000;  // blocks at 0, 256, 512 and 768
// The pause inside a split reply: longer than the host may ever be kept from
// reading, so that the two pieces reach it as two chunks.
const Millis kSplitGap = testing::Patience(Millis{1000});

enum class Script { Update, UpdateWithL3, SerialWrite };

struct HostSaw {
    UpdateRun update;
    SerialRun serial;
    std::vector<Chunk> chunks;

    unsigned Hellos() const {
        unsigned hellos = 0;
        for (const Chunk& chunk : chunks) {
            for (const HostFrame& frame : chunk.frames)
                hellos += frame.command == command::kHello;
        }
        return hellos;
    }
};

struct FaultRow {
    const char* name;
    const char* fault;
    Script script;
    const char* outcome;
    std::function<void(const HostSaw&)> check;
    const char* serialRecord = nullptr;  // what the device holds in the end, when it holds one
};

void PrintTo(const FaultRow& row, std::ostream* out) {
    *out << row.fault;
}

class SimFault : public ::testing::TestWithParam<FaultRow> {
protected:
    TempDir dir_;
    Bytes firmware_ = TestFirmware(kFirmwareLength);
};

TEST_P(SimFault, HostSeesWhatTheFaultPromisesAndTheReportAgrees) {
    const FaultRow& row = GetParam();
    const auto firmwareFile = dir_ / "firmware.bin";
    const auto report = dir_ / "report.jsonl";
    WriteBinary(firmwareFile, firmware_);
    SimProcess sim(
        {"--devices", "1", "--fault", std::string("1:") + row.fault, "--quiet-end", QuietEnd(),
         "--split-gap", std::to_string(kSplitGap.count()), "--host-timeout", "2000", "--trace",
         "--expect", firmwareFile.string(), "--report", report.string()},
        dir_ / "stderr.txt");
    StraightHost host(sim.NextPath());

    HostSaw saw;
    // The host gives up on a reply soon after the device says none is
    // coming, well before a late one leaves.
    const HostPolicy policy{.noReplySign = sim.NoUsableReplySign(),
                            .repeatedHellos = row.fault == std::string("double-hello") ? 1 : 0,
                            .l3 = row.script == Script::UpdateWithL3};
    if (row.script == Script::SerialWrite) {
        saw.serial = RunSerialWrite(host, "AB12000345", policy);
    } else {
        saw.update = RunUpdate(host, MakeImage(firmware_), policy);
    }
    host.Listen(kPatience);  // until the simulator is done and hangs up
    saw.chunks = host.Chunks();
    row.check(saw);

    EXPECT_EQ(sim.Wait(), 0) << sim.Stderr();
    const auto lines = ReadJsonLines(report);
    ASSERT_EQ(lines.size(), 1u) << sim.Stderr();
    EXPECT_EQ(lines[0]["fault"].String(), row.fault);
    EXPECT_TRUE(lines[0]["fault_played"].Bool());
    EXPECT_EQ(lines[0]["outcome"].String(), row.outcome);
    EXPECT_TRUE(lines[0]["as_expected"].Bool());
    if (row.serialRecord != nullptr) {
        EXPECT_EQ(lines[0]["serial_record"].String(), row.serialRecord);
    } else if (row.script == Script::SerialWrite) {
        EXPECT_TRUE(lines[0]["serial_record"].IsNull());
    }
}

// The frames with this command the host received after the given chunk.
std::size_t FramesAfter(const std::vector<Chunk>& chunks, std::size_t from, std::uint8_t command) {
    std::size_t count = 0;
    for (std::size_t i = from; i < chunks.size(); ++i) {
        for (const HostFrame& frame : chunks[i].frames)
            count += frame.command == command;
    }
    return count;
}

Bytes Joined(const std::vector<Chunk>& chunks, std::size_t from) {
    Bytes bytes;
    for (std::size_t i = from; i < chunks.size(); ++i) {
        bytes.insert(bytes.end(), chunks[i].bytes.begin(), chunks[i].bytes.end());
    }
    return bytes;
}

// Bytes outside every frame; noise must never hold 0xAB, which could pair
// with a sync byte and hide the frame behind it.
std::size_t NoiseBytes(const std::vector<Chunk>& chunks) {
    std::size_t noise = 0;
    for (const Chunk& chunk : chunks) {
        std::vector<bool> inFrame(chunk.bytes.size(), false);
        for (std::size_t i = 0; i < chunk.frames.size(); ++i) {
            const std::size_t start = chunk.frameStarts[i];
            std::fill_n(inFrame.begin() + static_cast<std::ptrdiff_t>(start),
                        chunk.frames[i].bytes.size(), true);
        }
        for (std::size_t i = 0; i < chunk.bytes.size(); ++i) {
            if (inFrame[i])
                continue;
            ++noise;
            EXPECT_NE(chunk.bytes[i], 0xAB) << "noise holds a sync byte";
        }
    }
    return noise;
}

bool NoiseAheadOfAReply(const std::vector<Chunk>& chunks) {
    for (const Chunk& chunk : chunks) {
        if (!chunk.frames.empty() && chunk.frameStarts[0] > 0 &&
            chunk.frames[0].command != command::kHello) {
            return true;
        }
    }
    return false;
}

const FaultRow kRows[] = {
    {"InitRefused", "init-refused", Script::Update, "init-refused",
     [](const HostSaw& saw) {
         EXPECT_EQ(saw.update.initStatus, 0);
         EXPECT_TRUE(saw.update.blockStatus.empty());
     }},
    {"BlockRefused", "block-refused:512", Script::Update, "block-refused",
     [](const HostSaw& saw) {
         using Ack = std::pair<std::uint16_t, std::uint8_t>;
         EXPECT_EQ(saw.update.blockStatus, (std::vector<Ack>{{0, 1}, {256, 1}, {512, 0}}));
     }},
    {"WrongChecksum", "wrong-checksum", Script::Update, "checksum-mismatch",
     [](const HostSaw& saw) {
         ASSERT_TRUE(saw.update.deviceChecksum);
         EXPECT_NE(*saw.update.deviceChecksum, saw.update.hostChecksum);
         EXPECT_FALSE(saw.update.finished);
     }},
    {"NoIdentityReply", "no-reply:identity", Script::Update, "no-reply",
     [](const HostSaw& saw) { EXPECT_EQ(saw.update.stoppedAt, "identity"); }},
    {"NoInitReply", "no-reply:init", Script::Update, "no-reply",
     [](const HostSaw& saw) { EXPECT_EQ(saw.update.stoppedAt, "init"); }},
    {"NoBlockReply", "no-reply:block:256", Script::Update, "no-reply",
     [](const HostSaw& saw) {
         EXPECT_EQ(saw.update.stoppedAt, "block");
         EXPECT_EQ(saw.update.blockStatus.size(), 1u);
     }},
    {"NoChecksumReply", "no-reply:checksum", Script::Update, "no-reply",
     [](const HostSaw& saw) {
         EXPECT_EQ(saw.update.stoppedAt, "checksum");
         EXPECT_FALSE(saw.update.deviceChecksum);
     }},
    {"SplitReply", "split-reply:init", Script::Update, "split-reply",
     [](const HostSaw& saw) {
         EXPECT_EQ(saw.update.stoppedAt, "init");
         // Two chunks, neither a frame, that together are the init reply.
         const auto& chunks = saw.chunks;
         ASSERT_GE(chunks.size(), 2u);
         const std::size_t first = chunks.size() - 2;
         EXPECT_TRUE(chunks[first].frames.empty());
         EXPECT_TRUE(chunks[first + 1].frames.empty());
         EXPECT_EQ(Joined(chunks, first), EncodeFrame(command::kWrite, Bytes{kStatusOk}));
     }},
    {"Noise", "noise", Script::Update, "updated",
     [](const HostSaw& saw) {
         EXPECT_TRUE(saw.update.finished) << "stopped at " << saw.update.stoppedAt;
         EXPECT_GT(NoiseBytes(saw.chunks), 0u);
         EXPECT_TRUE(NoiseAheadOfAReply(saw.chunks));
     }},
    {"NoisePrefix", "noise:prefix", Script::Update, "updated",
     [](const HostSaw& saw) {
         EXPECT_TRUE(saw.update.finished) << "stopped at " << saw.update.stoppedAt;
         EXPECT_TRUE(NoiseAheadOfAReply(saw.chunks));
         for (const Chunk& chunk : saw.chunks)
             EXPECT_FALSE(chunk.frames.empty());
     }},
    {"NoiseBursts", "noise:bursts", Script::Update, "updated",
     [](const HostSaw& saw) {
         EXPECT_TRUE(saw.update.finished) << "stopped at " << saw.update.stoppedAt;
         ASSERT_FALSE(saw.chunks.empty());
         // The first burst leaves before the first hello.
         const Chunk& first = saw.chunks.front();
         EXPECT_TRUE(first.frames.empty() || first.frameStarts[0] > 0);
     }},
    {"HelloWithoutDigit", "hello-no-digit", Script::Update, "refused-hello",
     [](const HostSaw& saw) {
         ASSERT_TRUE(saw.update.hello);
         EXPECT_EQ(saw.update.hello->payload, Bytes{kHelloMarker});
         EXPECT_EQ(saw.Hellos(), 1u);
     }},
    {"HelloVersion0", "hello-version0", Script::Update, "refused-hello",
     [](const HostSaw& saw) {
         ASSERT_TRUE(saw.update.hello);
         EXPECT_EQ(saw.update.hello->payload, (Bytes{kHelloMarker, '0'}));
         EXPECT_EQ(saw.Hellos(), 1u);
     }},
    {"HelloBelowL3", "hello-l3:2", Script::UpdateWithL3, "refused-hello",
     [](const HostSaw& saw) {
         ASSERT_TRUE(saw.update.hello);
         EXPECT_EQ(saw.update.hello->payload, (Bytes{kHelloMarker, '2'}));
         EXPECT_EQ(saw.Hellos(), 1u);
     }},
    {"DoubleHello", "double-hello", Script::Update, "updated",
     [](const HostSaw& saw) {
         EXPECT_TRUE(saw.update.finished) << "stopped at " << saw.update.stoppedAt;
         EXPECT_EQ(saw.update.keyBytes.size(), 2u);
     }},
    {"SerialRefused", "serial-refused", Script::SerialWrite, "serial-refused",
     [](const HostSaw& saw) { EXPECT_EQ(saw.serial.status, 0); }},
    {"NoSerialReply", "no-reply:serial", Script::SerialWrite, "no-reply",
     [](const HostSaw& saw) { EXPECT_FALSE(saw.serial.status); }},
    {"SerialStoredWithoutReply", "stored-no-reply:serial", Script::SerialWrite, "stored-no-reply",
     [](const HostSaw& saw) {
         EXPECT_FALSE(saw.serial.status);
         EXPECT_EQ(FramesAfter(saw.chunks, 0, command::kWrite), 0u);
     },
     "AB12000345#"},
    {"SerialReplyAfterTheHostGaveUp", "late-reply:serial", Script::SerialWrite, "late-reply",
     [](const HostSaw& saw) {
         EXPECT_FALSE(saw.serial.status) << "the reply came within the host's wait";
         EXPECT_EQ(FramesAfter(saw.chunks, 0, command::kWrite), 1u) << "the late reply came";
     },
     "AB12000345#"},
    {"SplitSerialReply", "split-reply:serial", Script::SerialWrite, "split-reply",
     [](const HostSaw& saw) { EXPECT_FALSE(saw.serial.status); }, "AB12000345#"},
    {"SerialStoredAndTheDeviceReturns", "returns-after:serial", Script::SerialWrite,
     "returns-after", [](const HostSaw& saw) { EXPECT_FALSE(saw.serial.status); }, "AB12000345#"},
    // Acknowledged, yet the device holds another number: only a read-back tells.
    {"SerialStoredOtherwise", "wrong-record:serial", Script::SerialWrite, "wrong-record",
     [](const HostSaw& saw) { EXPECT_EQ(saw.serial.status, kStatusOk); }, "AB12000349#"},
};

INSTANTIATE_TEST_SUITE_P(Faults, SimFault, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimVanish, LineVanishesMidTransferAndTheNextDeviceReturnsOnANewPath) {
    TempDir dir;
    const Bytes firmware = TestFirmware(kFirmwareLength);
    WriteBinary(dir / "firmware.bin", firmware);
    const auto link = dir / "port";
    const auto report = dir / "report.jsonl";
    SimProcess sim({"--devices", "2", "--link", link.string(), "--fault", "1:vanish:512",
                    "--return-delay", "200", "--host-timeout", "1000", "--quiet-end", QuietEnd(),
                    "--expect", (dir / "firmware.bin").string(), "--report", report.string()},
                   dir / "stderr.txt");
    const std::string firstPath = sim.NextPath();
    ASSERT_FALSE(firstPath.empty()) << sim.Stderr();
    EXPECT_EQ(std::filesystem::read_symlink(link), firstPath);

    {
        StraightHost host(link.string());
        const UpdateRun run = RunUpdate(host, MakeImage(firmware));
        EXPECT_EQ(run.stoppedAt, "block");
        EXPECT_EQ(run.blockStatus.size(), 2u);
        EXPECT_TRUE(host.HungUp());
    }

    // Written as soon as the device is done, while the simulator runs on.
    const auto early = AwaitReport(report, 1);
    ASSERT_EQ(early.size(), 1u);
    EXPECT_EQ(early[0]["outcome"].String(), "vanished");

    const std::string secondPath = sim.NextPath();
    ASSERT_FALSE(secondPath.empty()) << sim.Stderr();
    EXPECT_EQ(std::filesystem::read_symlink(link), secondPath);
    StraightHost host(link.string());
    const UpdateRun run = RunUpdate(host, MakeImage(firmware));
    EXPECT_TRUE(run.finished) << "stopped at " << run.stoppedAt;

    EXPECT_EQ(sim.Wait(), 0) << sim.Stderr();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    const auto lines = ReadJsonLines(report);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["outcome"].String(), "vanished");
    EXPECT_EQ(lines[0]["port"].String(), firstPath);
    EXPECT_EQ(lines[1]["outcome"].String(), "updated");
    EXPECT_EQ(lines[1]["port"].String(), secondPath);
    EXPECT_TRUE(lines[1]["image_equal"].Bool());
}

}  // namespace
}  // namespace comflash::simtest
