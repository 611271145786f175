#include "app/update_session.h"

#include <algorithm>
#include <span>
#include <utility>

#include "app/serial_number.h"
#include "app/timestamp.h"
#include "protocol/block_encoding.h"
#include "protocol/crc16.h"
#include "protocol/frame.h"
#include "protocol/host_commands.h"
#include "protocol/identity_reply.h"

namespace comflash {

UpdateSession::UpdateSession(ControllerHost& host, PortView& view, PortNumbers& numbers,
                             const FirmwareImage& image)
    : host_(host), view_(view), numbers_(numbers), image_(image) {
    link_.Send = [this](const std::uint8_t* data, std::uint16_t length) {
        return host_.SendData(data, length);
    };
}

void UpdateSession::Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length) {
    auto& area = link_.ReceiveArea;
    const std::size_t count = std::min<std::size_t>(length, area.size());
    std::copy_n(buffer, count, area.begin());
    link_.ReceiveCount = static_cast<std::uint16_t>(count);

    const std::uint16_t r = FindFrame(link_, 0);
    if (r != 0) {
        OnFrame(r);
        return;
    }
    // A damaged identity reply still starts the update: bytes 0, 1 and 3 of
    // the chunk itself. A shorter chunk would test bytes an earlier chunk
    // left in the area, so it never counts.
    if (count >= 4 && area[0] == kSyncByte && area[1] == kSyncByte &&
        area[3] == command::kIdentity) {
        OnIdentityReply({}, false);
    }
}

void UpdateSession::OnFrame(std::uint16_t r) {
    // A frame without even a command byte is nothing to act on.
    if (link_.LastFrameLength == 0)
        return;
    const auto& a = link_.ReceiveArea;
    const std::uint8_t command = a[r];
    // A reply is read only where its payload holds the bytes looked at, never
    // from its check bytes.
    const std::uint16_t payload = link_.LastFrameLength - 1;

    switch (UpdateState_) {
        case UpdateState::Idle:
            if (command == command::kHello && payload >= 1 && a[r + 1] == kHelloMarker)
                OnHello(r);
            break;
        case UpdateState::AwaitIdentity:
            if (command == command::kIdentity)
                OnIdentityReply(std::span(a.data() + r + 1, payload), true);
            break;
        case UpdateState::AwaitEepromInit:
            if (command == command::kWrite && payload >= 1)
                OnEepromInitReply(a[r + 1]);
            break;
        case UpdateState::WritingBlocks:
            if (command == command::kBlock && payload >= 1)
                OnBlockAck(a[r + 1]);
            break;
        case UpdateState::AwaitChecksum:
            if (command == command::kChecksum && payload >= 2) {
                OnChecksumReply(static_cast<std::uint16_t>(a[r + 1] << 8 | a[r + 2]));
            }
            break;
        case UpdateState::AwaitSerialWrite:
            if (command == command::kWrite && payload >= 1)
                OnSerialWriteReply(a[r + 1]);
            break;
    }
}

void UpdateSession::OnHello(std::uint16_t r) {
    const auto& a = link_.ReceiveArea;
    const bool hasDigit = link_.LastFrameLength == 3 && a[r + 2] >= '0' && a[r + 2] <= '9';
    link_.ProtocolVersion = hasDigit ? static_cast<std::uint8_t>(a[r + 2] - '0') : 0;

    if (link_.ProtocolVersion == 0) {
        view_.AppendLog("E0");
        CountError();
        Finish(RunResult::HelloRefused);
        return;
    }
    if (view_.L3Checked() && link_.ProtocolVersion < 3) {
        view_.AppendLog("E03");
        Finish(RunResult::HelloRefusedL3);
        return;
    }
    if (!host_.ReadyForDevice()) {
        LateHelloWindow_ = kLateHelloTicks;
        return;
    }
    AnswerHello();
}

void UpdateSession::AnswerHello() {
    LateHelloWindow_ = 0;
    SendHandshakeReply(link_);
    ShowProgress(0);
    HelloDelay_ = kHelloDelayTicks;
}

void UpdateSession::AnswerLateHello() {
    // Only while nothing else began meanwhile: the device may have gone on.
    if (LateHelloWindow_ > 0 && UpdateState_ == UpdateState::Idle && HelloDelay_ == 0)
        AnswerHello();
}

void UpdateSession::EndHelloDelay() {
    SetUpdateRate();
    SetState(UpdateState::AwaitIdentity);
    ReplyTimeout_ = kReplyTimeoutTicks;
    SendIdentityRequest(link_);
}

void UpdateSession::OnIdentityReply(std::span<const std::uint8_t> payload, bool checked) {
    const DeviceSerial device = ReadDeviceSerial(payload, checked);
    // The read-back of a record just written never starts an update.
    if (readingBack_) {
        OnReadBack(device);
        return;
    }
    SetState(UpdateState::Idle);
    if (!host_.TakeIdentityReply(device))
        StartUpdate(device);
}

void UpdateSession::OnReadBack(const DeviceSerial& device) {
    const std::string number = serialNumberSent_;
    const std::string record = RecordTextFor(number);
    const std::string expected = record.substr(0, record.find(kSerialRecordEnd));
    const bool holds = device.kind == DeviceSerialKind::Number && device.number == expected;
    if (!holds) {
        view_.AppendLog("SN " + number + " not found on read-back: the device holds " +
                        (device.kind == DeviceSerialKind::Number ? device.number
                         : device.kind == DeviceSerialKind::None ? std::string("no number")
                                                                 : "an unreadable record") +
                        "; set the device aside");
    }
    FinishSerialWrite(holds ? SerialAnswer::Acknowledged : SerialAnswer::ReadBackDiffers);
}

void UpdateSession::StartUpdate(const DeviceSerial& device) {
    // A tool without an image must never touch a device's memory.
    if (image_.Length == 0)
        return;
    if (!view_.AutoChecked() && !view_.AskYesNo("Ready Update?", "Notice")) {
        // Back to the hello rate, unless a new device began while the box was open.
        if (UpdateState_ == UpdateState::Idle && HelloDelay_ == 0)
            SetBaseRate();
        Finish(RunResult::Declined);
        return;
    }
    refusedBlock_.reset();
    AppendStampedLine(" Start...");
    view_.RunStarted(RunKind::Update, {});
    view_.DeviceIdentified(device);
    SetUpdateRate();
    SetState(UpdateState::AwaitEepromInit);
    ReplyTimeout_ = kReplyTimeoutTicks;
    SendEepromInit(link_);
}

void UpdateSession::OnEepromInitReply(std::uint8_t status) {
    if (status != kStatusOk) {
        view_.AppendLog("Init EEP Err");
        SetState(UpdateState::Idle);
        // The next device says hello at the base rate.
        RateRestoreDelay_ = kRateRestoreTicks;
        Finish(RunResult::InitRefused);
        return;
    }
    SetUpdateRate();
    link_.BlockOffset = 0;
    ProgressDivisor_ = static_cast<std::uint16_t>(image_.Length / 100);
    ShowProgress(0);
    SetState(UpdateState::WritingBlocks);
    ReplyTimeout_ = kReplyTimeoutTicks;
    SendBlock(link_, image_);
}

void UpdateSession::OnBlockAck(std::uint8_t status) {
    if (status != kStatusOk) {
        // The block is not sent again: the run ends by the reply time-out.
        view_.AppendLog("Write " + std::to_string(link_.BlockOffset) + " Err!");
        CountError();
        if (!refusedBlock_)
            refusedBlock_ = link_.BlockOffset;
        return;
    }
    ReplyTimeout_ = kReplyTimeoutTicks;
    const std::uint32_t next = std::uint32_t{link_.BlockOffset} + link_.BlockLength;
    link_.BlockOffset = static_cast<std::uint16_t>(next);
    // An image under 100 bytes has no divisor; its single block is the whole.
    ShowProgress(ProgressDivisor_ == 0 ? 100 : link_.BlockOffset / ProgressDivisor_);
    if (next < image_.Length) {
        ReplyTimeout_ = kReplyTimeoutTicks;
        SendBlock(link_, image_);
    } else {
        SetState(UpdateState::AwaitChecksum);
        SendChecksumRequest(link_);
        ReplyTimeout_ = kChecksumTimeoutTicks;
    }
}

void UpdateSession::OnChecksumReply(std::uint16_t deviceChecksum) {
    const std::uint16_t imageChecksum =
        Crc16Ccitt(std::span(image_.Data.data(), link_.ChecksumCount));
    if (deviceChecksum != imageChecksum) {
        view_.AppendLog("Write Err");
        SetState(UpdateState::Idle);
        RateRestoreDelay_ = kRateRestoreTicks;
        CountError();
        Finish(RunResult::ChecksumMismatch);
        return;
    }
    SetState(UpdateState::Idle);
    AppendStampedLine(" ...End");
    if (!view_.AutoChecked())
        view_.ShowMessage("Write Completed!", "Completed");
    ShowProgress(0);
    SendFinish(link_);
    RateRestoreDelay_ = kRateRestoreTicks;
    ++OkCount_;
    view_.ShowCounters(OkCount_, ErrorCount_);
    Finish(RunResult::Updated);
}

void UpdateSession::OnSerialWriteReply(std::uint8_t status) {
    if (status == kStatusOk && readBackWrites_) {
        // Acknowledged: what the device holds now is read back before the
        // number counts as written.
        readingBack_ = true;
        SetState(UpdateState::AwaitIdentity);
        ReplyTimeout_ = kReplyTimeoutTicks;
        SendIdentityRequest(link_);
        return;
    }
    FinishSerialWrite(status == kStatusOk ? SerialAnswer::Acknowledged : SerialAnswer::Refused);
}

void UpdateSession::FinishSerialWrite(SerialAnswer answer) {
    const std::string number = serialNumberSent_;
    const SerialFate fate = SettleSerialNumber(answer);
    SetState(UpdateState::Idle);
    if (fate == SerialFate::Refused) {
        view_.ShowMessage("Write SN Error!", "Completed");
        // The next device says hello at the base rate.
        RateRestoreDelay_ = kRateRestoreTicks;
        Finish(RunResult::SerialRefused);
        return;
    }
    if (fate != SerialFate::Written) {
        RateRestoreDelay_ = kRateRestoreTicks;
        Finish(RunResult::SerialReadBackFailed);
        return;
    }
    view_.ShowMessage("Write SN Completed!", "Completed");
    RateRestoreDelay_ = kRateRestoreTicks;
    // The store moved past this number when it was taken.
    view_.ShowNextSerialNumber(AdvanceSerialNumber(number));
    Finish(RunResult::SerialWritten);
}

SerialFate UpdateSession::SettleSerialNumber(SerialAnswer answer) {
    const std::string number = std::exchange(serialNumberSent_, {});
    readingBack_ = false;
    const SerialFate fate = numbers_.Answered(answer);
    if (fate == SerialFate::Unconfirmed) {
        view_.AppendLog("SN " + number +
                        " unconfirmed: the device may hold it; set the device aside (the number "
                        "is not used again)");
        view_.ShowNextSerialNumber(AdvanceSerialNumber(number));
    }
    return fate;
}

void UpdateSession::SetState(UpdateState next) {
    // A record still awaiting its reply (or its read-back) will never have it
    // understood now.
    const UpdateState awaiting =
        readingBack_ ? UpdateState::AwaitIdentity : UpdateState::AwaitSerialWrite;
    if (!serialNumberSent_.empty() && next != awaiting)
        SettleSerialNumber(SerialAnswer::Unanswered);
    UpdateState_ = next;
}

void UpdateSession::Timer1Timer() {
    if (ReplyTimeout_ == 0)
        return;
    if (--ReplyTimeout_ > 0)
        return;
    OnReplyTimeout();
}

void UpdateSession::OnReplyTimeout() {
    if (UpdateState_ == UpdateState::Idle)
        return;
    SetState(UpdateState::Idle);
    Finish(refusedBlock_ ? RunResult::BlockRefused : RunResult::TimedOut);
    view_.ShowMessage("Command Overtimer!", "Notice");
    // A device that said hello while the box was open keeps its update rate.
    if (UpdateState_ == UpdateState::Idle && HelloDelay_ == 0)
        SetBaseRate();
}

void UpdateSession::Timer2Timer() {
    if (RateRestoreDelay_ > 0 && --RateRestoreDelay_ == 0)
        SetBaseRate();
    if (HelloDelay_ > 0 && --HelloDelay_ == 0)
        EndHelloDelay();
    if (LateHelloWindow_ > 0)
        --LateHelloWindow_;
}

void UpdateSession::ResetForOpenClose() {
    SetState(UpdateState::Idle);
    ReplyTimeout_ = 0;
    HelloDelay_ = 0;
    LateHelloWindow_ = 0;
    refusedBlock_.reset();
    view_.SetProgress(0);
}

void UpdateSession::PortOpened() {
    link_.BlockLength = kBlockLength;
}

void UpdateSession::SetUpdateRate() {
    host_.SetBaudRate(view_.FastChecked() ? kFastUpdateRate : kBaseRate);
}

void UpdateSession::SetBaseRate() {
    host_.SetBaudRate(kBaseRate);
}

void UpdateSession::ReadSerialNumber() {
    view_.ClearReadBack();
    SetUpdateRate();
    SetState(UpdateState::AwaitIdentity);
    ReplyTimeout_ = kReplyTimeoutTicks;
    SendIdentityRequest(link_);
}

void UpdateSession::WriteSerialNumber() {
    const std::string next = numbers_.Owner().Source().Next();
    view_.ShowNextSerialNumber(next);
    if (!SerialNumberLongEnough(next)) {
        view_.ShowMessage("Write SN Disable!", "Notice");
        return;
    }
    numbers_.Owner().CheckedNext();
    if (!view_.AskYesNo("Readlly Write SN?", "Notice"))
        return;
    numbers_.TakeForWrite([this] { SendHeldSerialNumber(); });
}

void UpdateSession::SendHeldSerialNumber(bool readBack) {
    SetUpdateRate();
    SetState(UpdateState::Idle);  // a number still in flight is unanswered now
    const std::string number = numbers_.SendHeld();
    readBackWrites_ = readBack;
    SetState(UpdateState::AwaitSerialWrite);
    ReplyTimeout_ = kReplyTimeoutTicks;
    serialNumberSent_ = number;
    view_.RunStarted(RunKind::SerialNumber, number);
    SendSerialRecord(link_, number);
}

void UpdateSession::AppendStampedLine(const char* suffix) {
    view_.AppendLog(FormatTimeStamp(host_.Now()) + suffix);
}

void UpdateSession::ShowProgress(std::uint32_t position) {
    view_.SetProgress(static_cast<int>(std::min<std::uint32_t>(position, 100)));
}

void UpdateSession::CountError() {
    ++ErrorCount_;
    view_.ShowCounters(OkCount_, ErrorCount_);
}

void UpdateSession::Finish(RunResult result) {
    host_.RunEnded(result, std::exchange(refusedBlock_, std::nullopt));
}

}  // namespace comflash
