#include "serial/posix/line_settings_posix.h"

#include <sys/ioctl.h>

#include <array>
#include <optional>
#include <utility>

namespace comflash {
namespace {

std::optional<speed_t> StandardSpeed(std::uint32_t baud_rate) {
    static constexpr std::array<std::pair<std::uint32_t, speed_t>, 30> kSpeeds{{
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    }};
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baud_rate)
            return speed;
    }
    return std::nullopt;
}

tcflag_t DataBits(TByteSize byte_size) {
    switch (byte_size) {
        case TByteSize::_5:
            return CS5;
        case TByteSize::_6:
            return CS6;
        case TByteSize::_7:
            return CS7;
        case TByteSize::_8:
            break;
    }
    return CS8;
}

tcflag_t ParityFlags(TParity parity) {
    switch (parity) {
        case TParity::None:
            break;
        case TParity::Odd:
            return PARENB | PARODD;
        case TParity::Even:
            return PARENB;
        case TParity::Mark:
            return PARENB | CMSPAR | PARODD;
        case TParity::Space:
            return PARENB | CMSPAR;
    }
    return 0;
}

// termios has no DSR flow control, DSR sensitivity, transmit-while-XOFF,
// XON/XOFF limits, null stripping or parity-error replacement character:
// Outx_DsrFlow, DsrSensitivity, TxContinueOnXoff, XonLimit, XoffLimit,
// IgnoreNullChar, ReplaceWhenParityError and ReplacedChar stay without effect
// here (a byte with a parity error reads as 0 when ParityCheck is on).
void SetModemLines(int port, const LineSettings& settings) {
    // DTR handshake has no counterpart either: the line is raised as for DtrEnable.
    int dtr = TIOCM_DTR;
    ::ioctl(port, settings.DtrControl == TDtrControl::DtrDisable ? TIOCMBIC : TIOCMBIS, &dtr);
    // Under RTS handshake the driver drives RTS itself (CRTSCTS). RTS toggle
    // has no termios counterpart: the line is raised as for RtsEnable.
    if (settings.RtsControl == TRtsControl::RtsHandshake)
        return;
    int rts = TIOCM_RTS;
    ::ioctl(port, settings.RtsControl == TRtsControl::RtsDisable ? TIOCMBIC : TIOCMBIS, &rts);
}

}  // namespace

void FillTermios(termios& attributes, const LineSettings& settings) {
    // Binary mode: no byte is edited, echoed, translated or turned into a signal.
    attributes.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                            ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL);
    attributes.c_oflag &= ~OPOST;
    attributes.c_lflag &= ~(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | IEXTEN);
    attributes.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    // CLOCAL: carrier detect must not gate opening or reading.
    attributes.c_cflag |=
        CREAD | CLOCAL | DataBits(settings.ByteSize) | ParityFlags(settings.Parity);
    if (settings.ParityCheck)
        attributes.c_iflag |= INPCK;
    // One and a half stop bits is what the UART sends for CSTOPB with 5 data bits.
    if (settings.StopBits != TStopBits::_1)
        attributes.c_cflag |= CSTOPB;
    if (settings.Outx_CtsFlow || settings.RtsControl == TRtsControl::RtsHandshake) {
        attributes.c_cflag |= CRTSCTS;
    }
    if (settings.Outx_XonXoffFlow)
        attributes.c_iflag |= IXON;
    if (settings.Inx_XonXoffFlow)
        attributes.c_iflag |= IXOFF;
    attributes.c_cc[VSTART] = settings.XonChar;
    attributes.c_cc[VSTOP] = settings.XoffChar;
    // The descriptor is non-blocking and reads wait in poll, so the termios
    // read timer plays no part in grouping bursts.
    attributes.c_cc[VMIN] = 1;
    attributes.c_cc[VTIME] = 0;
}

void ApplyLineSettingsToPort(int port, const LineSettings& settings) {
    termios attributes{};
    if (::tcgetattr(port, &attributes) != 0)
        return;
    FillTermios(attributes, settings);
    const std::optional<speed_t> speed = StandardSpeed(settings.BaudRate);
    if (speed) {
        ::cfsetispeed(&attributes, *speed);
        ::cfsetospeed(&attributes, *speed);
    }
    ::tcsetattr(port, TCSANOW, &attributes);
    if (!speed && settings.BaudRate != 0)
        SetCustomBaudRate(port, settings.BaudRate);
    SetModemLines(port, settings);
}

}  // namespace comflash
