#include "app/port_station.h"

#include <exception>
#include <utility>

#include "app/device_line.h"
#include "app/port_return.h"

namespace comflash {
namespace {

std::int64_t UnixMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

PortStation::PortStation(Dispatcher& dispatcher, const StationShared& shared, StationView& view,
                         StationRules rules)
    : shared_(shared),
      view_(view),
      rules_(rules),
      comm_(dispatcher),
      session_(*this, shared.serialNumbers, shared.image) {
    SetProvisioning(shared.provisioning);
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
}

void PortStation::Open(const std::string& port) {
    session_.ResetForOpenClose();
    session_.SetBaseRate();
    comm_.SetCommName(port);
    comm_.OpenPort();
    session_.PortOpened();
}

void PortStation::Close() {
    session_.ResetForOpenClose();
    comm_.ClosePort();
    waitingForReturn_ = false;
    // A device left in the middle of its run is not a finished device.
    if (runActive_)
        CountDevice("interrupted", false);
}

void PortStation::SetProvisioning(SerialProvisioning* shared) {
    shared_.provisioning = shared;
    provisioning_.reset();
    if (shared != nullptr)
        provisioning_.emplace(*shared);
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
    view_.PortLost();
    lostAdapter_ = comm_.Adapter();
    comm_.ClosePort();
    session_.ResetForOpenClose();
    if (runActive_)
        CountDevice("port-lost", false);
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

void PortStation::RunFinished(RunResult result) {
    const bool good =
        provisioning_ ? result == RunResult::SerialWritten : result == RunResult::Updated;
    CountDevice(RunResultName(result), good);
}

void PortStation::SerialNumberSettled(const std::string& number, SerialFate fate) {
    if (provisioning_)
        provisioning_->Settled(number, fate);
}

void PortStation::CountDevice(const std::string& result, bool good) {
    FinishedDevice device;
    device.result = result;
    device.good = good;
    if (runActive_) {
        device.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - runStart_);
    }
    runActive_ = false;
    ++finished_;
    if (!good)
        ++failed_;
    if (provisioning_) {
        // Even when giving the number back fails, the device is counted.
        try {
            provisioning_->GiveBackUnsent();
        } catch (const std::exception& error) {
            view_.Notice(std::string("the unsent serial number stays a gap: ") + error.what());
        }
        device.serial = provisioning_->EndDevice();
    }
    device.device = std::exchange(deviceSerial_, std::nullopt);
    Record(device);
    view_.DeviceFinished(device);
}

void PortStation::Record(const FinishedDevice& device) const {
    if (shared_.record == nullptr && shared_.lineRecord == nullptr)
        return;
    DeviceRecord record;
    record.finishedAt = UnixMilliseconds();
    record.port = comm_.CommName();
    record.result = device.result;
    record.imageCrc = shared_.imageCrc;
    record.imageLength = shared_.image.Length;
    record.durationMs = device.duration.count();
    if (device.serial) {
        record.serialSent = device.serial->number;
        record.serialFate = SerialFateName(device.serial->fate);
    }
    record.device = device.device;
    if (shared_.record != nullptr)
        shared_.record->Append(record);
    if (shared_.lineRecord != nullptr)
        shared_.lineRecord->Append(record);
}

void PortStation::UpdateStarted() {
    view_.UpdateStarted();
    if (deviceSerial_)
        view_.DeviceIdentified(*deviceSerial_);
}

void PortStation::IdentityRead(const DeviceSerial& serial) {
    deviceSerial_ = serial;
    if (provisioning_)
        view_.DeviceIdentified(serial);
}

// While one port provisions a device, the others leave their devices' hellos
// unanswered, so the number taken at the hello is the only one on its way to
// a device.
bool PortStation::TakeIdentityReply() {
    if (!provisioning_)
        return false;
    const std::string taken = provisioning_->TakeNumberToSend();
    if (taken.empty()) {
        // Nothing was written: the line goes back to the hello rate for the next device.
        session_.SetBaseRate();
        CountDevice("serial-not-written", false);
        return true;
    }
    Provision(taken);
    return true;
}

// A device is written only when it holds no number. One that holds a number
// whose fate was unknown is the device that took it: it confirms it. Any
// other number stays; a device whose number cannot be read is left alone.
void PortStation::Provision(const std::string& taken) {
    const DeviceSerial device = deviceSerial_.value_or(DeviceSerial{});
    if (device.kind == DeviceSerialKind::Unknown) {
        WriteNothing(taken);
        view_.Notice("device left alone: " + device.reason);
        CountDevice("serial-unknown", false);
        return;
    }
    if (device.kind == DeviceSerialKind::Number) {
        bool confirmed = false;
        try {
            confirmed = shared_.serialNumbers.Unconfirmed(device.number);
            if (confirmed)
                provisioning_->Confirm(device.number);
        } catch (const SerialSourceAway& away) {
            PutOff(device.number, taken, away.what());
            return;
        }
        if (confirmed) {
            WriteNothing(taken);
            view_.Notice("SN " + device.number + " confirmed: the device holds it");
            CountDevice("serial-confirmed", true);
            return;
        }
        if (!rules_.overwriteSerialNumbers) {
            LeaveAlone(device.number, taken);
            return;
        }
    }
    session_.SendSerialNumber(taken, rules_.readBackSerialNumbers);
    view_.SerialNumberSent(taken);
}

// The device gets no record: the number taken for it goes back, and the line
// returns to the hello rate for the next device.
void PortStation::WriteNothing(const std::string& taken) {
    provisioning_->ReturnUnsent(taken);
    session_.SetBaseRate();
}

void PortStation::LeaveAlone(const std::string& number, const std::string& taken) {
    WriteNothing(taken);
    FinishedDevice device;
    device.result = "already-provisioned";
    device.counted = false;
    device.device = std::exchange(deviceSerial_, std::nullopt);
    runActive_ = false;
    provisioning_->EndDevice();
    // The same device saying hello again is the same device: said and
    // recorded once.
    if (provisioning_->Shared().FirstSighting(number)) {
        view_.Notice("device already holds serial number " + number +
                     ": left alone (--overwrite-sn writes it all the same)");
        Record(device);
    }
    view_.DeviceFinished(device);
}

// Whether the device's number is one whose fate is unknown cannot be told
// now (the line database went away between the hello and the identity
// reply): the device is neither written nor judged. It says hello again, and
// that hello is answered once the source is back.
void PortStation::PutOff(const std::string& number, const std::string& taken,
                         const std::string& why) {
    WriteNothing(taken);
    deviceSerial_.reset();
    runActive_ = false;
    provisioning_->EndDevice();
    view_.Notice("device holding serial number " + number + " waits for its next hello: " + why);
}

// A port that has served its devices leaves further hellos unanswered, so
// that ending the run never cuts off a device in the middle of its update.
bool PortStation::ReadyForDevice() {
    if (ServedAllDevices())
        return false;
    return !provisioning_ || provisioning_->ReadyForDevice(comm_.CommName());
}

}  // namespace comflash
