#include "cli/port_runner.h"

#include <exception>
#include <utility>

#include "app/device_line.h"
#include "app/settings_store.h"

namespace comflash::cli {
namespace {

std::int64_t UnixMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

PortRunner::PortRunner(std::string port, Dispatcher& dispatcher, RunContext& context)
    : port_(std::move(port)),
      context_(context),
      comm_(dispatcher),
      session_(*this, context.serialNumbers, context.image) {
    ConfigureDeviceLine(comm_);
    comm_.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        Guarded([&] { session_.Comm1ReceiveData(buffer, length); });
    };
    comm_.OnRequestHangup = [this](TComm&) { OnPortLost(); };
}

PortRunner::~PortRunner() {
    comm_.ClosePort();
}

void PortRunner::Open() {
    session_.ResetForOpenClose();
    session_.SetBaseRate();
    comm_.SetCommName(port_);
    comm_.OpenPort();
    session_.PortOpened();
}

void PortRunner::Close() {
    session_.ResetForOpenClose();
    comm_.ClosePort();
    // A device left in the middle of its run is not a finished device.
    if (runActive_)
        CountDevice("interrupted", false);
}

void PortRunner::Tick1() {
    if (waitingForReturn_)
        TryReopen();
    Guarded([&] { session_.Timer1Timer(); });
}

void PortRunner::Tick2() {
    Guarded([&] { session_.Timer2Timer(); });
}

template <typename Step>
void PortRunner::Guarded(Step step) {
    try {
        step();
    } catch (const ERegistryException& e) {
        context_.console.Error(
            port_, std::string(e.what()) + (e.Detail().empty() ? "" : " (" + e.Detail() + ")"));
        context_.fatal();
    } catch (const std::exception& e) {
        context_.console.Error(port_, e.what());
        context_.fatal();
    }
}

// A pseudo-terminal closed or a USB adapter pulled: the run on this port is
// over. Other ports go on; this one is opened again once the device is back.
void PortRunner::OnPortLost() {
    if (waitingForReturn_)
        return;
    if (ServedAllDevices()) {
        // Nothing is left to do on it; a device node of that name that turns
        // up later may well belong to something else.
        comm_.ClosePort();
        return;
    }
    context_.console.Error(
        port_, "the port stopped working (device or cable gone?): waiting for it to return");
    comm_.ClosePort();
    session_.ResetForOpenClose();
    if (runActive_)
        CountDevice("port-lost", false);
    waitingForReturn_ = true;
}

void PortRunner::TryReopen() {
    try {
        Open();
    } catch (const std::exception&) {
        return;  // not back yet: the next tick tries again
    }
    waitingForReturn_ = false;
    context_.console.Error(port_, "the port is back");
}

bool PortRunner::ServedAllDevices() const {
    return context_.options.devices && finished_ >= *context_.options.devices;
}

bool PortRunner::SendData(const std::uint8_t* data, std::uint16_t length) {
    if (!runActive_) {
        runActive_ = true;
        runStart_ = std::chrono::steady_clock::now();
    }
    return comm_.SendData(data, length);
}

void PortRunner::SetBaudRate(std::uint32_t baudRate) {
    comm_.SetBaudRate(baudRate);
}

void PortRunner::AppendLog(const std::string& line) {
    context_.console.LogLine(port_, line);
}

void PortRunner::SetProgress(int position) {
    context_.console.Progress(port_, position);
}

void PortRunner::ShowCounters(std::int32_t okCount, std::int32_t errorCount) {
    context_.console.Counters(port_, okCount, errorCount);
}

// No one answers boxes here: the question is shown and taken as Yes.
bool PortRunner::AskYesNo(const std::string& text, const std::string& title) {
    context_.console.Box(port_, text, title);
    return true;
}

void PortRunner::ShowMessage(const std::string& text, const std::string& title) {
    context_.console.Box(port_, text, title);
}

void PortRunner::RunFinished(RunResult result) {
    const bool good = context_.options.writeSerialNumbers ? result == RunResult::SerialWritten
                                                          : result == RunResult::Updated;
    CountDevice(RunResultName(result), good);
}

void PortRunner::SerialNumberSettled(const std::string& number, SerialFate fate) {
    serialNumberSent_ = number;
    serialFate_ = fate;
    context_.provisioning->Note(number, fate);
}

void PortRunner::SettleUnsentSerialNumber() {
    if (serialNumberTaken_.empty())
        return;
    const std::string number = std::exchange(serialNumberTaken_, {});
    serialNumberSent_ = number;
    serialFate_ = SerialFate::NotSent;
    context_.provisioning->Note(number, SerialFate::NotSent);
    context_.provisioning->Source().Settle(number, SerialFate::NotSent);
}

void PortRunner::CountDevice(const std::string& result, bool good) {
    const auto duration =
        runActive_ ? std::chrono::steady_clock::now() - runStart_ : std::chrono::nanoseconds{0};
    runActive_ = false;
    ++finished_;
    if (!good)
        ++failed_;

    DeviceRecord record;
    record.finishedAt = UnixMilliseconds();
    record.port = port_;
    record.result = result;
    record.imageCrc = context_.imageCrc;
    record.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
    if (context_.provisioning != nullptr) {
        // Even when giving the number back fails, the device is counted.
        try {
            SettleUnsentSerialNumber();
        } catch (const std::exception& e) {
            context_.console.Error(
                port_, std::string("the unsent serial number stays a gap: ") + e.what());
        }
        context_.provisioning->EndTurn(this);
        if (serialFate_) {
            record.serialSent = std::exchange(serialNumberSent_, {});
            record.serialFate = SerialFateName(*std::exchange(serialFate_, std::nullopt));
        }
    }
    context_.console.DeviceFinished(port_, result);
    if (context_.record != nullptr)
        context_.record->Append(record);
    context_.deviceFinished();
}

// While one port provisions a device, the others leave their devices' hellos
// unanswered, so the number taken here is the only one on its way to a
// device; it is taken before the handshake reply leaves, so that no store
// wait falls between the identity reply and the record.
bool PortRunner::TakeIdentityReply() {
    if (context_.provisioning == nullptr)
        return false;
    // An identity reply that comes without this port's number (a late reply,
    // or one after a refused hello ended the device) gets none: the number
    // may be on its way to another port's device.
    if (!serialNumberTaken_.empty()) {
        session_.SendSerialNumber(std::exchange(serialNumberTaken_, {}));
        return true;
    }
    // Nothing was written: the line goes back to the hello rate for the next device.
    session_.SetBaseRate();
    CountDevice("serial-not-written", false);
    return true;
}

// A port that has served its --devices leaves further hellos unanswered, so
// that ending the run never cuts off a device in the middle of its update.
bool PortRunner::ReadyForDevice() {
    if (ServedAllDevices())
        return false;
    SerialProvisioning* provisioning = context_.provisioning;
    if (provisioning == nullptr)
        return true;
    if (!provisioning->TryTurn(this))
        return false;
    if (serialNumberTaken_.empty()) {
        try {
            serialNumberTaken_ = provisioning->Source().Take(port_, {});
        } catch (...) {
            provisioning->EndTurn(this);
            throw;
        }
    }
    return true;
}

}  // namespace comflash::cli
