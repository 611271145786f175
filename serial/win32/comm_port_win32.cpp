// The port on Windows: a COM device opened for overlapped I/O with no sharing,
// with a receive and a transmit thread that wait beside a close event.
#include <memory>
#include <system_error>

#include "serial/comm_port.h"
#include "serial/comms_error.h"
#include "serial/port_map.h"
#include "serial/port_threads.h"
#include "serial/read_completion.h"
#include "serial/shared_timeouts.h"
#include "serial/win32/handle_win32.h"
#include "serial/win32/open_error_win32.h"
#include "serial/win32/receive_thread_win32.h"
#include "serial/win32/transmit_thread_win32.h"

namespace comflash {
namespace {

constexpr DWORD kQueueSize = 4096;

DWORD DtrCode(TDtrControl control) {
    switch (control) {
        case TDtrControl::DtrEnable:
            return DTR_CONTROL_ENABLE;
        case TDtrControl::DtrDisable:
            return DTR_CONTROL_DISABLE;
        case TDtrControl::DtrHandshake:
            return DTR_CONTROL_HANDSHAKE;
    }
    return DTR_CONTROL_DISABLE;
}

DWORD RtsCode(TRtsControl control) {
    switch (control) {
        case TRtsControl::RtsEnable:
            return RTS_CONTROL_ENABLE;
        case TRtsControl::RtsDisable:
            return RTS_CONTROL_DISABLE;
        case TRtsControl::RtsHandshake:
            return RTS_CONTROL_HANDSHAKE;
        case TRtsControl::RtsTransmissionAvailable:
            return RTS_CONTROL_TOGGLE;
    }
    return RTS_CONTROL_DISABLE;
}

// Every field the settings own; EofChar, EvtChar, the reserved words and the
// length stay as the driver reported them.
void FillDcb(DCB& dcb, const LineSettings& settings) {
    dcb.BaudRate = settings.BaudRate;
    // The flag word is rebuilt whole, so every flag not named in the settings
    // (fAbortOnError included: it would stall all I/O after a line error) is 0.
    dcb.fBinary = TRUE;
    dcb.fParity = settings.ParityCheck;
    dcb.fOutxCtsFlow = settings.Outx_CtsFlow;
    dcb.fOutxDsrFlow = settings.Outx_DsrFlow;
    dcb.fDtrControl = DtrCode(settings.DtrControl);
    dcb.fDsrSensitivity = settings.DsrSensitivity;
    dcb.fTXContinueOnXoff = settings.TxContinueOnXoff;
    dcb.fOutX = settings.Outx_XonXoffFlow;
    dcb.fInX = settings.Inx_XonXoffFlow;
    dcb.fErrorChar = settings.ReplaceWhenParityError;
    dcb.fNull = settings.IgnoreNullChar;
    dcb.fRtsControl = RtsCode(settings.RtsControl);
    dcb.fAbortOnError = FALSE;
    dcb.fDummy2 = 0;
    dcb.XonLim = settings.XonLimit;
    dcb.XoffLim = settings.XoffLimit;
    dcb.ByteSize = static_cast<BYTE>(static_cast<int>(settings.ByteSize) + 5);
    dcb.Parity = static_cast<BYTE>(settings.Parity);
    dcb.StopBits = static_cast<BYTE>(settings.StopBits);
    dcb.XonChar = static_cast<char>(settings.XonChar);
    dcb.XoffChar = static_cast<char>(settings.XoffChar);
    dcb.ErrorChar = static_cast<char>(settings.ReplacedChar);
}

void FillCommTimeouts(COMMTIMEOUTS& driver, const CommTimeouts& timeouts) {
    driver.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    driver.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    driver.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    driver.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    driver.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    // "Return at once with what is there" would complete reads empty on a
    // silent line as fast as they are issued; waiting for the first byte
    // first gives the same chunks without the spin.
    if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == 0 &&
        timeouts.ReadTotalTimeoutConstant == 0) {
        driver.ReadTotalTimeoutMultiplier = MAXDWORD;
        driver.ReadTotalTimeoutConstant = MAXDWORD - 1;
    }
}

std::string FramingText(const DCB& dcb) {
    static constexpr char kParity[] = "NOEMS";
    static constexpr const char* kStopBits[] = {"1", "1.5", "2"};
    return std::to_string(dcb.ByteSize) + (dcb.Parity < 5 ? kParity[dcb.Parity] : '?') +
           (dcb.StopBits < 3 ? kStopBits[dcb.StopBits] : "?");
}

// SetCommState takes what it can: only reading the state back shows a value
// the driver replaced (Wine, for one, turns a rate it has no code for into
// 38400 without a word).
std::string ReplacedValues(const DCB& asked, const DCB& now) {
    std::string replaced;
    if (now.BaudRate != asked.BaudRate) {
        replaced = "the driver cannot run " + std::to_string(asked.BaudRate) +
                   " baud and keeps the line at " + std::to_string(now.BaudRate) + " baud";
    }
    if (now.ByteSize != asked.ByteSize || now.Parity != asked.Parity ||
        now.StopBits != asked.StopBits) {
        replaced += (replaced.empty() ? "" : "; ") + std::string("the driver runs the line at ") +
                    FramingText(now) + " instead of " + FramingText(asked);
    }
    return replaced;
}

class Win32CommPort final : public CommPort {
public:
    Win32CommPort(UniqueHandle port, CommNotifier notifier)
        : port_(std::move(port)), notifier_(std::move(notifier)) {}

    ~Win32CommPort() override {
        // Both threads watch the close event in every wait, so each ends at
        // once; the purge aborts the operation it has pending.
        threads_.Stop([this](PortDirection direction) {
            // The event was made in StartThreads, and a thread runs only once it was.
            [[maybe_unused]] const bool signalled = ::SetEvent(closeEvent_.get()) != FALSE;
            DropQueued(port_.get(), direction == PortDirection::Receive
                                        ? PURGE_RXABORT | PURGE_RXCLEAR
                                        : PURGE_TXABORT | PURGE_TXCLEAR);
        });
    }

    std::string ApplyLineSettings(const LineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(port_.get(), &dcb))
            return "the line settings cannot be read (" + SystemErrorText(::GetLastError()) + ")";
        FillDcb(dcb, settings);
        if (!::SetCommState(port_.get(), &dcb))
            return "the line settings were refused (" + SystemErrorText(::GetLastError()) + ")";
        DCB now{};
        now.DCBlength = sizeof now;
        if (!::GetCommState(port_.get(), &now))
            return "the line settings cannot be read back (" + SystemErrorText(::GetLastError()) +
                   ")";
        return ReplacedValues(dcb, now);
    }

    std::string ApplyTimeouts(const CommTimeouts& timeouts) override {
        timeouts_.Store(timeouts);
        if (ownTime_) {
            // The receive thread keeps the driver's time-outs itself.
            if (threads_.Receive())
                threads_.Receive()->KeepOwnTime();
            return {};
        }
        COMMTIMEOUTS driver{};
        if (!::GetCommTimeouts(port_.get(), &driver))
            return "the time-outs cannot be read (" + SystemErrorText(::GetLastError()) + ")";
        FillCommTimeouts(driver, timeouts);
        if (!::SetCommTimeouts(port_.get(), &driver))
            return "the time-outs were refused (" + SystemErrorText(::GetLastError()) + ")";
        return {};
    }

    // The driver's read-interval time-out cannot end a read at a unit's last
    // byte: from the first rule on, the receive thread keeps the time itself.
    std::string SetReadCompletion(ReadCompletion completion) override {
        const bool first = completion && !ownTime_;
        completion_.Store(std::move(completion));
        if (first) {
            ownTime_ = true;
            if (threads_.Receive())
                threads_.Receive()->KeepOwnTime();
        }
        return {};
    }

    bool Send(std::vector<std::uint8_t> block) override {
        return threads_.Transmit() != nullptr && threads_.Transmit()->Queue(std::move(block));
    }

    void StartThreads() {
        closeEvent_ = UniqueHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (!closeEvent_.valid())
            throw ECommsError(comm_error_text::kCannotCreateEvent);
        // A rule given at open is known to the receive thread from its first read.
        threads_.Start(
            [this] {
                return std::make_unique<TReadThread>(port_.get(), closeEvent_.get(), timeouts_,
                                                     completion_, ownTime_, notifier_);
            },
            [this] {
                return std::make_unique<TWriteThread>(port_.get(), closeEvent_.get(), notifier_);
            });
    }

private:
    UniqueHandle port_;
    CommNotifier notifier_;
    UniqueHandle closeEvent_;
    SharedTimeouts timeouts_;
    SharedReadCompletion completion_;
    // Owning thread: a completion rule has been set on this open port.
    bool ownTime_ = false;
    PortThreads<TReadThread, TWriteThread> threads_;
};

}  // namespace

std::unique_ptr<CommPort> OpenCommPort(const std::string& comm_name,
                                       const std::filesystem::path& port_map,
                                       const LineSettings& settings, const CommTimeouts& timeouts,
                                       ReadCompletion completion, CommNotifier notifier) {
    // No sharing: a port another program holds fails here.
    const std::string path = ResolvePortName(comm_name, port_map);
    UniqueHandle port(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED,
                                    nullptr));
    if (!port.valid())
        throw ECommsError(comm_error_text::kCannotOpen, OpenFailureReason(path, ::GetLastError()));
    const auto failure = [&path](const char* text, const std::string& what) {
        return ECommsError(text, path + ": " + what);
    };
    if (::GetFileType(port.get()) != FILE_TYPE_CHAR)
        throw failure(comm_error_text::kNotCommHandle, "not a serial device");
    DCB state{};
    state.DCBlength = sizeof state;
    if (!::GetCommState(port.get(), &state)) {
        throw failure(comm_error_text::kNotCommHandle,
                      "not a serial device (" + SystemErrorText(::GetLastError()) + ")");
    }
    if (!::SetupComm(port.get(), kQueueSize, kQueueSize)) {
        throw failure(comm_error_text::kCannotSetupBuffer, SystemErrorText(::GetLastError()));
    }
    if (!::PurgeComm(port.get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
        throw failure(comm_error_text::kCannotOpen,
                      "its queues cannot be emptied (" + SystemErrorText(::GetLastError()) + ")");
    }
    auto comm_port = std::make_unique<Win32CommPort>(std::move(port), std::move(notifier));
    if (std::string refused = comm_port->ApplyTimeouts(timeouts); !refused.empty())
        throw failure(comm_error_text::kCannotOpen, refused);
    if (std::string refused = comm_port->ApplyLineSettings(settings); !refused.empty())
        throw failure(comm_error_text::kCannotOpen, refused);
    if (completion)
        comm_port->SetReadCompletion(std::move(completion));
    comm_port->StartThreads();
    return comm_port;
}

}  // namespace comflash
