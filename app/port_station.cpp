#include "app/port_station.h"

#include <exception>
#include <utility>

#include "app/port_return.h"

namespace comflash {

PortStation::PortStation(Dispatcher& dispatcher, const StationParts& parts, PortView& view,
                         StationRules rules)
    : parts_(parts),
      view_(view),
      rules_(rules),
      comm_(dispatcher),
      numbers_(parts.numbers, view),
      session_(*this, view, numbers_, parts.image) {
    numbers_.SetProvisioning(rules_.provisioning);
    ConfigureDeviceLine(comm_);
    comm_.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        Guarded([&] { session_.Comm1ReceiveData(buffer, length); });
    };
    if (rules_.reopenWhenLost)
        comm_.OnRequestHangup = [this](TComm&) { OnPortLost(); };
    // A rate the driver cannot run shows only as a reply time-out much later
    // unless it is said where the device's run is logged.
    comm_.OnSettingRefused = [this](TComm&, const std::string& what) {
        view_.AppendLog("the port did not take a setting: " + what);
    };
}

PortStation::~PortStation() {
    comm_.ClosePort();
    numbers_.Closed();
}

void PortStation::Open(const std::string& port) {
    session_.ResetForOpenClose();
    session_.SetBaseRate();
    comm_.SetCommName(port);
    comm_.OpenPort();
    session_.PortOpened();
    numbers_.Opened(port);
}

void PortStation::Close() {
    session_.ResetForOpenClose();
    comm_.ClosePort();
    waitingForReturn_ = false;
    // A device left in the middle of its run is not a finished device.
    if (runActive_)
        EndDevice(RunResult::Interrupted, false);
    numbers_.Closed();
}

void PortStation::SetProvisioning(bool on) {
    rules_.provisioning = on;
    numbers_.SetProvisioning(on);
}

void PortStation::Tick1() {
    if (waitingForReturn_)
        TryReopen();
    Guarded([&] { session_.Timer1Timer(); });
}

void PortStation::Tick2() {
    Guarded([&] { session_.Timer2Timer(); });
}

template <typename Step>
void PortStation::Guarded(Step step) {
    try {
        step();
    } catch (const std::exception& error) {
        view_.StepFailed(error);
    }
}

// A pseudo-terminal closed or a USB adapter pulled: the run on this port is
// over. This port is opened again once the device is back.
void PortStation::OnPortLost() {
    if (waitingForReturn_)
        return;
    if (ServedAllDevices()) {
        // Nothing is left to do on it; a device node of that name that turns
        // up later may well belong to something else.
        comm_.ClosePort();
        return;
    }
    view_.PortLost(kPortLostText);
    lostAdapter_ = comm_.Adapter();
    comm_.ClosePort();
    session_.ResetForOpenClose();
    if (runActive_)
        EndDevice(RunResult::PortLost, false);
    waitingForReturn_ = true;
}

void PortStation::TryReopen() {
    try {
        Open(comm_.CommName());
    } catch (const std::exception&) {
        return;  // not back yet: the next tick tries again
    }
    waitingForReturn_ = false;
    view_.PortBack(PortBackText(lostAdapter_, comm_.Adapter()));
}

bool PortStation::ServedAllDevices() const {
    return rules_.devices && finished_ >= *rules_.devices;
}

bool PortStation::SendData(const std::uint8_t* data, std::uint16_t length) {
    if (!runActive_) {
        runActive_ = true;
        runStart_ = std::chrono::steady_clock::now();
    }
    return comm_.SendData(data, length);
}

// A port that has served its devices leaves further hellos unanswered, so
// that ending the run never cuts off a device in the middle of its update.
// With provisioning, a hello waits for the port's serial number: it is
// answered late once the number is there.
bool PortStation::ReadyForDevice() {
    if (ServedAllDevices())
        return false;
    return numbers_.ReadyForDevice([this] { Guarded([&] { session_.AnswerLateHello(); }); });
}

bool PortStation::TakeIdentityReply(const DeviceSerial& device) {
    deviceSerial_ = device;
    if (!rules_.provisioning)
        return false;
    view_.DeviceIdentified(device);
    numbers_.Judge(device, rules_.overwriteSerialNumbers,
                   [this](const Judgement& judgement) { Guarded([&] { OnJudged(judgement); }); });
    return true;
}

// A device is written only when it holds no number. One that holds a number
// whose fate was unknown is the device that took it: it confirms it. Any
// other number stays; a device whose number cannot be read is left alone.
void PortStation::OnJudged(const Judgement& judgement) {
    switch (judgement.verdict) {
        case Verdict::Write:
            // Another device may have begun on this port meanwhile.
            if (session_.State() != UpdateState::Idle || session_.HelloDelay() != 0)
                return;
            if (numbers_.Held().empty()) {
                WriteNothing();
                EndDevice(RunResult::SerialNotWritten, false);
                return;
            }
            session_.SendHeldSerialNumber(rules_.readBackSerialNumbers);
            return;
        case Verdict::Confirmed:
            WriteNothing();
            view_.Notice("SN " + deviceSerial_.value_or(DeviceSerial{}).number +
                         " confirmed: the device holds it");
            EndDevice(RunResult::SerialConfirmed, true);
            return;
        case Verdict::LeaveAlone:
            LeaveAlone();
            return;
        case Verdict::Unreadable:
            WriteNothing();
            view_.Notice("device left alone: " + judgement.why);
            EndDevice(RunResult::SerialUnknown, false);
            return;
        case Verdict::PutOff: {
            // Whether the device's number is one whose fate is unknown cannot
            // be told now (the line database went away between the hello and
            // the identity reply): the device is neither written nor judged.
            // It says hello again, and that hello is answered once the source
            // is back.
            WriteNothing();
            const std::string number = deviceSerial_.value_or(DeviceSerial{}).number;
            deviceSerial_.reset();
            runActive_ = false;
            view_.Notice("device holding serial number " + number +
                         " waits for its next hello: " + judgement.why);
            return;
        }
    }
}

// The device already holds a number: left alone and counted neither way. The
// same device saying hello again is the same device: said and recorded once.
void PortStation::LeaveAlone() {
    WriteNothing();
    FinishedDevice device;
    device.result = RunResult::AlreadyProvisioned;
    device.counted = false;
    device.device = std::exchange(deviceSerial_, std::nullopt);
    runActive_ = false;
    const std::string number = device.device.value_or(DeviceSerial{}).number;
    if (numbers_.FirstSighting(number)) {
        view_.Notice("device already holds serial number " + number +
                     ": left alone (--overwrite-sn writes it all the same)");
        Record(device);
    }
    view_.RunEnded(device);
}

void PortStation::RunEnded(RunResult result, std::optional<std::uint16_t> refusedBlock) {
    const bool good = rules_.provisioning ? result == RunResult::SerialWritten
                                          : result == RunResult::Updated;
    EndDevice(result, good, refusedBlock);
}

void PortStation::EndDevice(RunResult result, bool good,
                            std::optional<std::uint16_t> refusedBlock) {
    FinishedDevice device;
    device.result = result;
    device.good = good;
    device.refusedBlock = refusedBlock;
    if (runActive_) {
        device.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - runStart_);
    }
    runActive_ = false;
    ++finished_;
    if (!good)
        ++failed_;
    device.serial = numbers_.EndDevice();
    device.device = std::exchange(deviceSerial_, std::nullopt);
    Record(device);
    view_.RunEnded(device);
}

void PortStation::Record(const FinishedDevice& device) const {
    if (parts_.records.empty())
        return;
    const DeviceRecord record =
        RecordOf(comm_.CommName(), device, parts_.image.Length, parts_.imageCrc);
    for (DeviceRecorder* recorder : parts_.records)
        recorder->Append(record);
}

}  // namespace comflash
