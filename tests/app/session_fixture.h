// A controller session with a recording host and a small image, plus the
// device's side of the conversation as frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "app/serial_numbers.h"
#include "app/stored_serial_numbers.h"
#include "app/update_session.h"
#include "fake_host.h"
#include "protocol/crc16.h"
#include "protocol/frame.h"
#include "protocol/host_commands.h"
#include "serial/event_loop.h"

namespace comflash::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Hello(char version) {
    return EncodeFrame(command::kHello, Bytes{kHelloMarker, static_cast<std::uint8_t>(version)});
}
inline Bytes Reply(std::uint8_t commandByte, Bytes payload) {
    return EncodeFrame(commandByte, payload);
}
inline Bytes Status(std::uint8_t commandByte, std::uint8_t status) {
    return Reply(commandByte, {status});
}
inline Bytes IdentityReply() {
    return Reply(command::kIdentity, Bytes(610, 0x5A));
}

// Points the settings store at a fresh folder of its own.
class ScratchSettings {
public:
    ScratchSettings() {
        folder_ =
            std::filesystem::temp_directory_path() /
            ("comflash-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    ~ScratchSettings() {
        std::error_code ignored;
        std::filesystem::permissions(folder_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::filesystem::path& Folder() const { return folder_; }

private:
    static inline int counter_ = 0;
    std::filesystem::path folder_;
};

class SessionTest : public ::testing::Test {
protected:
    explicit SessionTest(std::size_t imageLength = 1000) {
        std::mt19937 random(42);
        for (std::size_t i = 0; i < imageLength; ++i)
            image.Data[i] = static_cast<std::uint8_t>(random());
        image.Length = static_cast<std::uint16_t>(imageLength);
        session.PortOpened();
        numbers.Opened("COM1");
    }

    void Feed(const Bytes& chunk) {
        session.Comm1ReceiveData(chunk.data(), static_cast<std::uint16_t>(chunk.size()));
    }
    void Tick1(int n = 1) {
        for (int i = 0; i < n; ++i)
            session.Timer1Timer();
    }
    void Tick2(int n = 1) {
        for (int i = 0; i < n; ++i)
            session.Timer2Timer();
    }
    std::uint16_t ImageChecksum(std::uint16_t count) const {
        return Crc16Ccitt(std::span(image.Data.data(), count));
    }
    Bytes ChecksumReply(std::uint16_t value) {
        return Reply(command::kChecksum, {static_cast<std::uint8_t>(value >> 8),
                                          static_cast<std::uint8_t>(value & 0xFF)});
    }

    // The store is asked on a thread of its own: waits until every question
    // handed to it is answered, and its answers have run here.
    void Drain() { owner.Finish(); }
    // The Write SN button, and the number taken for it sent.
    void WriteSerialNumber() {
        session.WriteSerialNumber();
        Drain();
    }
    // Every number settled so far, with its fate.
    const std::vector<std::pair<std::string, SerialFate>>& Settled() {
        if (const auto settled = numbers.EndDevice())
            settledSoFar_.emplace_back(settled->number, settled->fate);
        return settledSoFar_;
    }

    // Hello, handshake and identity request: the session awaits the identity.
    void ReachIdentity(char version = '3') {
        Feed(Hello(version));
        Tick2(kHelloDelayTicks);
        ASSERT_EQ(session.State(), UpdateState::AwaitIdentity);
    }
    void ReachBlocks(char version = '3') {
        ReachIdentity(version);
        Feed(IdentityReply());
        Feed(Status(command::kWrite, kStatusOk));
        ASSERT_EQ(session.State(), UpdateState::WritingBlocks);
    }
    void ReachChecksum(char version = '3') {
        ReachBlocks(version);
        while (session.State() == UpdateState::WritingBlocks)
            Feed(Status(command::kBlock, kStatusOk));
        ASSERT_EQ(session.State(), UpdateState::AwaitChecksum);
    }

    ScratchSettings scratch;
    SettingsStore settings;
    StoredSerialNumbers serialNumbers{settings};
    EventLoop loop;  // the dispatcher the store's answers are handed to
    SerialNumbers owner{serialNumbers, loop};
    FirmwareImage image;
    FakeHost host;
    PortNumbers numbers{owner, host};
    UpdateSession session{host, host, numbers, image};

private:
    std::vector<std::pair<std::string, SerialFate>> settledSoFar_;
};

}  // namespace comflash::testing
