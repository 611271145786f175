#include "serial/comm.h"

#include <vector>

#include "serial/comm_port.h"
#include "serial/port_map.h"

namespace comflash {

TComm::TComm(Dispatcher& dispatcher) : dispatcher_(dispatcher) {}

TComm::~TComm() {
    ClosePort();
}

void TComm::OpenPort() {
    if (port_)
        throw ECommsError(comm_error_text::kAlreadyOpen);
    auto link = std::make_shared<CommLink>(CommLink{this});
    port_ = OpenCommPort(commName_, portMap_, line_, timeouts_, readCompletion_,
                         CommNotifier(dispatcher_, link));
    link_ = std::move(link);
    adapter_ = IdentifyAdapter(ResolvePortName(commName_, portMap_));
}

void TComm::ClosePort() {
    if (!port_)
        return;
    port_.reset();
    // Only now: the threads have ended, so nothing can be posted after this.
    link_.reset();
}

bool TComm::SendData(const std::uint8_t* buffer, std::uint16_t length) {
    if (!port_ || length == 0)
        return false;
    return port_->Send(std::vector<std::uint8_t>(buffer, buffer + length));
}

template <typename T>
void TComm::SetLineSetting(T LineSettings::*field, T value) {
    if (line_.*field == value)
        return;
    line_.*field = value;
    if (port_)
        Refused(port_->ApplyLineSettings(line_));
}

void TComm::SetTimeout(std::uint32_t CommTimeouts::*field, std::uint32_t value) {
    if (timeouts_.*field == value)
        return;
    timeouts_.*field = value;
    if (port_)
        Refused(port_->ApplyTimeouts(timeouts_));
}

void TComm::Refused(const std::string& what) {
    if (!what.empty() && OnSettingRefused)
        OnSettingRefused(*this, what);
}

void TComm::SetReadCompletion(ReadCompletion completion) {
    if (!completion && !readCompletion_)
        return;
    readCompletion_ = std::move(completion);
    if (port_)
        Refused(port_->SetReadCompletion(readCompletion_));
}

void TComm::SetCommName(std::string name) {
    commName_ = std::move(name);
}
void TComm::SetPortMap(std::filesystem::path file) {
    portMap_ = std::move(file);
}
void TComm::SetParity(TParity value) {
    line_.Parity = value;
}

void TComm::SetBaudRate(std::uint32_t value) {
    SetLineSetting(&LineSettings::BaudRate, value);
}
void TComm::SetParityCheck(bool value) {
    SetLineSetting(&LineSettings::ParityCheck, value);
}
void TComm::SetOutx_CtsFlow(bool value) {
    SetLineSetting(&LineSettings::Outx_CtsFlow, value);
}
void TComm::SetOutx_DsrFlow(bool value) {
    SetLineSetting(&LineSettings::Outx_DsrFlow, value);
}
void TComm::SetDtrControl(TDtrControl value) {
    SetLineSetting(&LineSettings::DtrControl, value);
}
void TComm::SetDsrSensitivity(bool value) {
    SetLineSetting(&LineSettings::DsrSensitivity, value);
}
void TComm::SetTxContinueOnXoff(bool value) {
    SetLineSetting(&LineSettings::TxContinueOnXoff, value);
}
void TComm::SetOutx_XonXoffFlow(bool value) {
    SetLineSetting(&LineSettings::Outx_XonXoffFlow, value);
}
void TComm::SetInx_XonXoffFlow(bool value) {
    SetLineSetting(&LineSettings::Inx_XonXoffFlow, value);
}
void TComm::SetReplaceWhenParityError(bool value) {
    SetLineSetting(&LineSettings::ReplaceWhenParityError, value);
}
void TComm::SetIgnoreNullChar(bool value) {
    SetLineSetting(&LineSettings::IgnoreNullChar, value);
}
void TComm::SetRtsControl(TRtsControl value) {
    SetLineSetting(&LineSettings::RtsControl, value);
}
void TComm::SetXonLimit(std::uint16_t value) {
    SetLineSetting(&LineSettings::XonLimit, value);
}
void TComm::SetXoffLimit(std::uint16_t value) {
    SetLineSetting(&LineSettings::XoffLimit, value);
}
void TComm::SetByteSize(TByteSize value) {
    SetLineSetting(&LineSettings::ByteSize, value);
}
void TComm::SetStopBits(TStopBits value) {
    SetLineSetting(&LineSettings::StopBits, value);
}
void TComm::SetXonChar(std::uint8_t value) {
    SetLineSetting(&LineSettings::XonChar, value);
}
void TComm::SetXoffChar(std::uint8_t value) {
    SetLineSetting(&LineSettings::XoffChar, value);
}
void TComm::SetReplacedChar(std::uint8_t value) {
    SetLineSetting(&LineSettings::ReplacedChar, value);
}

void TComm::SetReadIntervalTimeout(std::uint32_t value) {
    SetTimeout(&CommTimeouts::ReadIntervalTimeout, value);
}
void TComm::SetReadTotalTimeoutMultiplier(std::uint32_t value) {
    SetTimeout(&CommTimeouts::ReadTotalTimeoutMultiplier, value);
}
void TComm::SetReadTotalTimeoutConstant(std::uint32_t value) {
    SetTimeout(&CommTimeouts::ReadTotalTimeoutConstant, value);
}
void TComm::SetWriteTotalTimeoutMultiplier(std::uint32_t value) {
    SetTimeout(&CommTimeouts::WriteTotalTimeoutMultiplier, value);
}
void TComm::SetWriteTotalTimeoutConstant(std::uint32_t value) {
    SetTimeout(&CommTimeouts::WriteTotalTimeoutConstant, value);
}

}  // namespace comflash
