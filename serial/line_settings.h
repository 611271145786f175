// The line settings and time-outs of a serial port, as the component
// publishes them and the backends apply them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace comflash {

// Ordinals are the device codes: parity 0 none .. 4 space, stop bits 0 one,
// 1 one and a half, 2 two, data bits ordinal + 5.
enum class TParity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class TStopBits : std::uint8_t { _1, _1_5, _2 };
enum class TByteSize : std::uint8_t { _5, _6, _7, _8 };
// The first value is "line enabled", the second "disabled".
enum class TDtrControl : std::uint8_t { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl : std::uint8_t {
    RtsEnable,
    RtsDisable,
    RtsHandshake,
    RtsTransmissionAvailable
};

// The component's defaults; the update tool sets its own values on top.
struct LineSettings {
    std::uint32_t BaudRate = 9600;
    bool ParityCheck = false;
    bool Outx_CtsFlow = false;
    bool Outx_DsrFlow = false;
    TDtrControl DtrControl = TDtrControl::DtrEnable;
    bool DsrSensitivity = false;
    bool TxContinueOnXoff = true;
    bool Outx_XonXoffFlow = true;
    bool Inx_XonXoffFlow = true;
    bool ReplaceWhenParityError = false;
    bool IgnoreNullChar = false;
    TRtsControl RtsControl = TRtsControl::RtsEnable;
    std::uint16_t XonLimit = 500;
    std::uint16_t XoffLimit = 500;
    TByteSize ByteSize = TByteSize::_8;
    TParity Parity = TParity::None;
    TStopBits StopBits = TStopBits::_1;
    std::uint8_t XonChar = 0x11;
    std::uint8_t XoffChar = 0x13;
    std::uint8_t ReplacedChar = 0x00;
};

// Milliseconds, with the meaning of the Windows COMMTIMEOUTS fields: see
// ReadDeadline for how a read ends.
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 100;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFF;

// One read delivers at most this many bytes, so every chunk is 1 to 2048 bytes.
inline constexpr std::size_t kReceiveBufferSize = 2048;

// Values of the ModemEvent of OnModemStateChange.
inline constexpr std::uint32_t MODEM_EVENT_RING = 4;
inline constexpr std::uint32_t MODEM_EVENT_CARRIER = 8;

// Bits of the EventMask of OnReceiveError: the Windows CE_* line-error flags.
namespace line_error {
inline constexpr std::uint32_t kReceiveQueueOverflow = 0x0001;  // CE_RXOVER
inline constexpr std::uint32_t kOverrun = 0x0002;               // CE_OVERRUN
inline constexpr std::uint32_t kParity = 0x0004;                // CE_RXPARITY
inline constexpr std::uint32_t kFraming = 0x0008;               // CE_FRAME
inline constexpr std::uint32_t kBreak = 0x0010;                 // CE_BREAK
}  // namespace line_error

}  // namespace comflash
