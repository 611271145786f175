// The update controller of one port: answers a device's hello, asks for its
// identity, initialises its EEPROM, writes the image block by block, compares
// the device's CRC-16 with its own and tells the device to finish; also the
// serial-number write and read. All of it runs on the thread that owns the
// port, driven by received chunks and by two ticks (1000 ms and 20 ms) that
// the front end calls. What the operator sees goes straight to the port's
// view; what became of a serial number is for the port's numbers to settle.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/controller_host.h"
#include "app/port_view.h"
#include "app/serial_numbers.h"
#include "protocol/firmware_image.h"
#include "protocol/identity_reply.h"
#include "protocol/link_state.h"

namespace comflash {

enum class UpdateState : std::uint8_t {
    Idle = 0,
    WritingBlocks = 1,
    AwaitChecksum = 4,
    AwaitEepromInit = 5,
    AwaitSerialWrite = 7,
    AwaitIdentity = 8,
};

inline constexpr std::uint32_t kBaseRate = 9600;
inline constexpr std::uint32_t kFastUpdateRate = 38400;

// Counts of the ticks that drive the controller.
inline constexpr std::uint8_t kReplyTimeoutTicks = 10;     // 1000 ms ticks
inline constexpr std::uint8_t kChecksumTimeoutTicks = 16;  // 1000 ms ticks
inline constexpr std::uint8_t kHelloDelayTicks = 3;        // 20 ms ticks
inline constexpr std::uint8_t kRateRestoreTicks = 5;       // 20 ms ticks
// A hello left unanswered while the port's serial number was being taken is
// answered once the number is there, if that is within this many ticks: the
// device may be saying hello only once.
inline constexpr std::uint8_t kLateHelloTicks = 50;  // 20 ms ticks

class UpdateSession {
public:
    UpdateSession(ControllerHost& host, PortView& view, PortNumbers& numbers,
                  const FirmwareImage& image);

    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // One received chunk of 1 to 2048 bytes; the bytes are valid only during the call.
    void Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length);
    void Timer1Timer();  // every 1000 ms: reply time-out
    void Timer2Timer();  // every 20 ms: short delays

    // Open and Close both return the controller to waiting for a hello.
    void ResetForOpenClose();
    // After a successful open.
    void PortOpened();

    void SetUpdateRate();
    void SetBaseRate();

    void ReadSerialNumber();  // the Read SN button
    // The Write SN button: the store's next number, checked, confirmed by
    // the operator and taken for this port, then sent. Raises on a number
    // that cannot be written; nothing is sent then.
    void WriteSerialNumber();
    // Sends the number the port holds for the device (provisioning); its
    // fate is settled by what the device does. With `readBack`, an
    // acknowledged record is read back with the identity request before it
    // counts as written; a device that holds anything else (or does not
    // answer) leaves the number unconfirmed.
    void SendHeldSerialNumber(bool readBack = false);
    // The port's serial number is there: a hello left unanswered for it a
    // moment ago is answered now.
    void AnswerLateHello();

    UpdateState State() const { return UpdateState_; }
    std::int32_t OkCount() const { return OkCount_; }
    std::int32_t ErrorCount() const { return ErrorCount_; }
    std::uint8_t ReplyTimeout() const { return ReplyTimeout_; }
    std::uint8_t HelloDelay() const { return HelloDelay_; }
    std::uint8_t RateRestoreDelay() const { return RateRestoreDelay_; }
    std::uint16_t ProgressDivisor() const { return ProgressDivisor_; }
    const LinkState& Link() const { return link_; }

private:
    void OnFrame(std::uint16_t r);
    void OnHello(std::uint16_t r);
    void OnEepromInitReply(std::uint8_t status);
    void OnBlockAck(std::uint8_t status);
    void OnChecksumReply(std::uint16_t deviceChecksum);
    void OnSerialWriteReply(std::uint8_t status);
    void OnIdentityReply(std::span<const std::uint8_t> payload, bool checked);
    void OnReadBack(const DeviceSerial& serial);
    void FinishSerialWrite(SerialAnswer answer);
    void AnswerHello();
    void StartUpdate(const DeviceSerial& device);
    void EndHelloDelay();
    void OnReplyTimeout();

    // Every change of state goes through here: a serial number whose reply
    // can no longer be understood is settled as unanswered on the way out.
    void SetState(UpdateState next);
    SerialFate SettleSerialNumber(SerialAnswer answer);

    void AppendStampedLine(const char* suffix);
    void ShowProgress(std::uint32_t position);
    void CountError();
    void Finish(RunResult result);

    ControllerHost& host_;
    PortView& view_;
    PortNumbers& numbers_;
    const FirmwareImage& image_;
    LinkState link_;

    UpdateState UpdateState_ = UpdateState::Idle;
    std::uint8_t ReplyTimeout_ = 0;
    std::uint8_t HelloDelay_ = 0;
    std::uint8_t RateRestoreDelay_ = 0;
    std::uint8_t LateHelloWindow_ = 0;
    std::uint16_t ProgressDivisor_ = 0;
    std::int32_t OkCount_ = 0;
    std::int32_t ErrorCount_ = 0;

    std::string serialNumberSent_;         // the number whose record awaits its reply
    bool readBackWrites_ = false;          // an acknowledged record is read back first
    bool readingBack_ = false;             // the read-back of serialNumberSent_ is awaited
    std::optional<std::uint16_t> refusedBlock_;  // the run's first refused block
};

}  // namespace comflash
