// TComm: one serial port with a receive thread and a transmit thread. Received
// chunks, line events and drain notices arrive as events on the thread that
// owns the component's dispatcher.
//
// Threading: every member is used on the dispatcher's thread only, and the
// dispatcher outlives the component. Events fire there too, only when
// assigned; a handler may close the port or reassign events. The buffer given
// to OnReceiveData is valid only during that call.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "serial/adapter_identity.h"
#include "serial/comm_notifier.h"
#include "serial/comms_error.h"
#include "serial/dispatcher.h"
#include "serial/line_settings.h"
#include "serial/read_completion.h"

namespace comflash {

class CommPort;
class TComm;

// One received burst, 1 to 2048 bytes, in line order.
using TReceiveDataEvent =
    std::function<void(TComm& sender, const std::uint8_t* buffer, std::uint16_t length)>;
// Line errors as line_error:: flags.
using TReceiveErrorEvent = std::function<void(TComm& sender, std::uint32_t eventMask)>;
// MODEM_EVENT_RING, MODEM_EVENT_CARRIER or both.
using TModemStateChangeEvent = std::function<void(TComm& sender, std::uint32_t modemEvent)>;
// A worker thread met a fault and ended; the port stays open until ClosePort.
using TNotifyEvent = std::function<void(TComm& sender)>;
// The transmit queue has drained (and once right after opening).
using TSendDataEmptyEvent = std::function<void(TComm& sender)>;
// A setter's value did not take on the open port (a rate the driver cannot
// run, a call the system failed); `what` says which, in the operator's
// words. Everything else of the change was applied, and the port goes on.
using TSettingRefusedEvent = std::function<void(TComm& sender, const std::string& what)>;

class TComm {
public:
    explicit TComm(Dispatcher& dispatcher);
    // Closes an open port first, so no thread outlives the component.
    ~TComm();
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    // Opens CommName through PortMap (see ResolvePortName) and starts both
    // threads, or raises
    // ECommsError; after a failure the component is closed and can be opened
    // again.
    void OpenPort();
    // Stops the receive thread, then the transmit thread, then closes the
    // port. Blocks still queued are not sent; events not yet delivered are
    // dropped. Does nothing when closed.
    void ClosePort();
    // Copies and queues the bytes; true when queued, which does not mean they
    // are on the wire. False when closed, for length 0, or after the transmit
    // thread has ended on a fault.
    bool SendData(const std::uint8_t* buffer, std::uint16_t length);
    bool IsOpen() const { return port_ != nullptr; }
    // The adapter behind the port as it was at the last successful open
    // (see IdentifyAdapter); kept after the port closes or is lost.
    const AdapterIdentity& Adapter() const { return adapter_; }

    // Setters do nothing for an equal value; otherwise they store it and, while
    // open, re-apply their whole group (line settings or time-outs) at once.
    // They never raise: what the driver does not take is told through
    // OnSettingRefused, and the value stays stored.
    // CommName and Parity only store: they reach the port at the next open
    // (Parity also at the next re-apply of the line settings).
    const std::string& CommName() const { return commName_; }
    void SetCommName(std::string name);
    // The file that says which device a COM name opens (see ResolvePortName);
    // the application says where it keeps it. Empty: no map.
    const std::filesystem::path& PortMap() const { return portMap_; }
    void SetPortMap(std::filesystem::path file);
    std::uint32_t BaudRate() const { return line_.BaudRate; }
    void SetBaudRate(std::uint32_t value);
    bool ParityCheck() const { return line_.ParityCheck; }
    void SetParityCheck(bool value);
    bool Outx_CtsFlow() const { return line_.Outx_CtsFlow; }
    void SetOutx_CtsFlow(bool value);
    bool Outx_DsrFlow() const { return line_.Outx_DsrFlow; }
    void SetOutx_DsrFlow(bool value);
    TDtrControl DtrControl() const { return line_.DtrControl; }
    void SetDtrControl(TDtrControl value);
    bool DsrSensitivity() const { return line_.DsrSensitivity; }
    void SetDsrSensitivity(bool value);
    bool TxContinueOnXoff() const { return line_.TxContinueOnXoff; }
    void SetTxContinueOnXoff(bool value);
    bool Outx_XonXoffFlow() const { return line_.Outx_XonXoffFlow; }
    void SetOutx_XonXoffFlow(bool value);
    bool Inx_XonXoffFlow() const { return line_.Inx_XonXoffFlow; }
    void SetInx_XonXoffFlow(bool value);
    bool ReplaceWhenParityError() const { return line_.ReplaceWhenParityError; }
    void SetReplaceWhenParityError(bool value);
    bool IgnoreNullChar() const { return line_.IgnoreNullChar; }
    void SetIgnoreNullChar(bool value);
    TRtsControl RtsControl() const { return line_.RtsControl; }
    void SetRtsControl(TRtsControl value);
    std::uint16_t XonLimit() const { return line_.XonLimit; }
    void SetXonLimit(std::uint16_t value);
    std::uint16_t XoffLimit() const { return line_.XoffLimit; }
    void SetXoffLimit(std::uint16_t value);
    TByteSize ByteSize() const { return line_.ByteSize; }
    void SetByteSize(TByteSize value);
    TParity Parity() const { return line_.Parity; }
    void SetParity(TParity value);
    TStopBits StopBits() const { return line_.StopBits; }
    void SetStopBits(TStopBits value);
    std::uint8_t XonChar() const { return line_.XonChar; }
    void SetXonChar(std::uint8_t value);
    std::uint8_t XoffChar() const { return line_.XoffChar; }
    void SetXoffChar(std::uint8_t value);
    std::uint8_t ReplacedChar() const { return line_.ReplacedChar; }
    void SetReplacedChar(std::uint8_t value);
    std::uint32_t ReadIntervalTimeout() const { return timeouts_.ReadIntervalTimeout; }
    void SetReadIntervalTimeout(std::uint32_t value);
    std::uint32_t ReadTotalTimeoutMultiplier() const {
        return timeouts_.ReadTotalTimeoutMultiplier;
    }
    void SetReadTotalTimeoutMultiplier(std::uint32_t value);
    std::uint32_t ReadTotalTimeoutConstant() const { return timeouts_.ReadTotalTimeoutConstant; }
    void SetReadTotalTimeoutConstant(std::uint32_t value);
    std::uint32_t WriteTotalTimeoutMultiplier() const {
        return timeouts_.WriteTotalTimeoutMultiplier;
    }
    void SetWriteTotalTimeoutMultiplier(std::uint32_t value);
    std::uint32_t WriteTotalTimeoutConstant() const { return timeouts_.WriteTotalTimeoutConstant; }
    void SetWriteTotalTimeoutConstant(std::uint32_t value);

    // An optional rule that ends a read as soon as the bytes gathered so far
    // hold a whole unit (see ReadCompletion), long before the read-interval
    // time-out would: that chunk is delivered at once, and bytes that follow
    // it begin the next chunk. The time-outs still end a read the rule never
    // completes, and a read never completes empty. Empty (the default): reads
    // end by their time-outs alone. May change while open; it applies from
    // the next chunk's first byte on. The rule runs on the receive thread.
    // On Windows a port with a rule has its receive thread keep the read
    // time itself rather than leave it to the driver; a rule first set on an
    // open port applies from the read after the one pending, which the
    // driver still ends. Set it before OpenPort to have it from the start.
    void SetReadCompletion(ReadCompletion completion);
    bool HasReadCompletion() const { return static_cast<bool>(readCompletion_); }

    TReceiveDataEvent OnReceiveData;
    TReceiveErrorEvent OnReceiveError;
    TModemStateChangeEvent OnModemStateChange;
    TNotifyEvent OnRequestHangup;
    TSendDataEmptyEvent OnSendDataEmpty;
    // Unlike the others, called at once from within the setter (on the
    // owning thread), so that what is said lands beside what caused it.
    TSettingRefusedEvent OnSettingRefused;

private:
    template <typename T>
    void SetLineSetting(T LineSettings::*field, T value);
    void SetTimeout(std::uint32_t CommTimeouts::*field, std::uint32_t value);
    void Refused(const std::string& what);

    Dispatcher& dispatcher_;
    std::string commName_ = "COM2";
    std::filesystem::path portMap_;
    LineSettings line_;
    CommTimeouts timeouts_;
    ReadCompletion readCompletion_;
    AdapterIdentity adapter_;
    std::unique_ptr<CommPort> port_;
    // Held only while open; the threads' notices reach this component through it.
    std::shared_ptr<CommLink> link_;
};

}  // namespace comflash
