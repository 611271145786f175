#include "cli/port_runner.h"

#include <exception>

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
      session_(*this, context.settings, context.image) {
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
        if (context_.serialNumbers != nullptr) {
            // The numbers handed out so far are taken: the next run must not
            // start from a number already in a device.
            const std::string& next = context_.serialNumbers->Next();
            context_.console.Error(port_, "the next serial number is " + next +
                                              ": store it as SN=" + next + " in " +
                                              context_.settings.Location() + " before the next run");
        }
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

std::string PortRunner::SerialNumberText() {
    return context_.serialNumbers != nullptr ? context_.serialNumbers->Next() : std::string();
}

void PortRunner::SetSerialNumberText(const std::string& text) {
    if (context_.serialNumbers != nullptr)
        context_.serialNumbers->SetNext(text);
}

void PortRunner::RunFinished(RunResult result) {
    const bool good = context_.options.writeSerialNumbers ? result == RunResult::SerialWritten
                                                          : result == RunResult::Updated;
    CountDevice(RunResultName(result), good);
}

void PortRunner::CountDevice(const std::string& result, bool good) {
    const auto duration =
        runActive_ ? std::chrono::steady_clock::now() - runStart_ : std::chrono::nanoseconds{0};
    runActive_ = false;
    ++finished_;
    if (!good)
        ++failed_;

    std::string serialNumber;
    if (context_.serialNumbers != nullptr) {
        if (result == RunResultName(RunResult::SerialWritten))
            serialNumber = serialNumberSent_;
        context_.serialNumbers->Release(this);
    }
    context_.console.DeviceFinished(port_, result);
    if (context_.record != nullptr) {
        context_.record->Append(
            {UnixMilliseconds(), port_, result, context_.imageCrc,
             std::chrono::duration_cast<std::chrono::milliseconds>(duration).count(),
             serialNumber});
    }
    context_.deviceFinished();
}

bool PortRunner::TakeIdentityReply() {
    if (context_.serialNumbers == nullptr)
        return false;
    // An identity reply that comes without this port's turn (a late reply, or
    // one after a refused hello gave the turn away) gets no number: the number
    // may be on its way to another port's device.
    if (ReadyForDevice()) {
        serialNumberSent_ = context_.serialNumbers->Next();
        session_.WriteSerialNumber();
        if (session_.State() == UpdateState::AwaitSerialWrite)
            return true;
    }
    // Nothing was written: the line goes back to the hello rate for the next device.
    session_.SetBaseRate();
    CountDevice("serial-not-written", false);
    return true;
}

// A port that has served its --devices leaves further hellos unanswered, so
// that ending the run never cuts off a device in the middle of its update.
// While one port provisions a device, the others leave their devices' hellos
// unanswered: no two devices can ever receive the same number, even when one
// of them never answers.
bool PortRunner::ReadyForDevice() {
    if (ServedAllDevices())
        return false;
    return context_.serialNumbers == nullptr || context_.serialNumbers->TryAcquire(this);
}

}  // namespace comflash::cli
