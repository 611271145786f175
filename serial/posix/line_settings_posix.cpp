#include "serial/posix/line_settings_posix.h"

#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

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

std::string SystemReason(int error) {
    return std::generic_category().message(error);
}

// The device went away (an adapter pulled, the other end of a pseudo-terminal
// closed): that is no refused setting, and the receive thread reports it as
// the port lost, once.
bool PortGone(int error) {
    return error == EIO || error == ENODEV || error == ENXIO;
}

// termios has no DSR flow control, DSR sensitivity, transmit-while-XOFF,
// XON/XOFF limits, null stripping or parity-error replacement character:
// Outx_DsrFlow, DsrSensitivity, TxContinueOnXoff, XonLimit, XoffLimit,
// IgnoreNullChar, ReplaceWhenParityError and ReplacedChar stay without effect
// here (a byte with a parity error reads as 0 when ParityCheck is on).
// A device without modem lines (a pseudo-terminal) answers ENOTTY or EINVAL:
// it has nothing to raise, which is no refusal.
std::string SetModemLine(int port, int line, bool raise, const char* name) {
    if (::ioctl(port, raise ? TIOCMBIS : TIOCMBIC, &line) == 0 || errno == ENOTTY ||
        errno == EINVAL || PortGone(errno)) {
        return {};
    }
    return std::string(raise ? "raising " : "lowering ") + name + " failed (" +
           SystemReason(errno) + ")";
}

std::vector<std::string> SetModemLines(int port, const LineSettings& settings) {
    std::vector<std::string> refused;
    // DTR handshake has no counterpart either: the line is raised as for DtrEnable.
    if (std::string dtr =
            SetModemLine(port, TIOCM_DTR, settings.DtrControl != TDtrControl::DtrDisable, "DTR");
        !dtr.empty()) {
        refused.push_back(std::move(dtr));
    }
    // Under RTS handshake the driver drives RTS itself (CRTSCTS). RTS toggle
    // has no termios counterpart: the line is raised as for RtsEnable.
    if (settings.RtsControl == TRtsControl::RtsHandshake)
        return refused;
    if (std::string rts =
            SetModemLine(port, TIOCM_RTS, settings.RtsControl != TRtsControl::RtsDisable, "RTS");
        !rts.empty()) {
        refused.push_back(std::move(rts));
    }
    return refused;
}

std::string FramingText(tcflag_t cflag) {
    std::string text;
    switch (cflag & CSIZE) {
        case CS5:
            text = "5";
            break;
        case CS6:
            text = "6";
            break;
        case CS7:
            text = "7";
            break;
        default:
            text = "8";
            break;
    }
    if ((cflag & PARENB) == 0)
        text += "N";
    else if ((cflag & CMSPAR) != 0)
        text += (cflag & PARODD) != 0 ? "M" : "S";
    else
        text += (cflag & PARODD) != 0 ? "O" : "E";
    text += (cflag & CSTOPB) != 0 ? "2" : "1";
    return text;
}

// What the driver made of the request: tcsetattr succeeds when any part of it
// was taken, so only reading the line back shows a part it replaced. A line
// that cannot be read back adds nothing: the calls that set it succeeded.
std::vector<std::string> ReplacedValues(int port, const termios& asked, std::uint32_t baud_rate) {
    std::vector<std::string> replaced;
    if (const std::optional<std::uint32_t> rate = DriverBaudRate(port);
        rate && baud_rate != 0 && *rate != baud_rate) {
        replaced.push_back("the driver cannot run " + std::to_string(baud_rate) +
                           " baud and keeps the line at " + std::to_string(*rate) + " baud");
    }
    termios now{};
    if (::tcgetattr(port, &now) != 0)
        return replaced;
    constexpr tcflag_t kFraming = CSIZE | PARENB | CSTOPB;
    const tcflag_t parity_kind = (asked.c_cflag & PARENB) != 0 ? (PARODD | CMSPAR) : 0;
    if ((now.c_cflag & (kFraming | parity_kind)) != (asked.c_cflag & (kFraming | parity_kind))) {
        replaced.push_back("the driver runs the line at " + FramingText(now.c_cflag) +
                           " instead of " + FramingText(asked.c_cflag));
    }
    if ((now.c_cflag & CRTSCTS) != (asked.c_cflag & CRTSCTS)) {
        replaced.push_back(std::string("the driver keeps hardware flow control ") +
                           ((now.c_cflag & CRTSCTS) != 0 ? "on" : "off"));
    }
    return replaced;
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : "; ") + part;
    return text;
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

void DropQueued(int port, int queue) {
    [[maybe_unused]] const bool dropped = ::tcflush(port, queue) == 0;
}

std::string ApplyLineSettingsToPort(int port, const LineSettings& settings) {
    termios attributes{};
    if (::tcgetattr(port, &attributes) != 0) {
        if (PortGone(errno))
            return {};
        return "the line settings cannot be read (" + SystemReason(errno) + ")";
    }
    FillTermios(attributes, settings);
    const std::optional<speed_t> speed = StandardSpeed(settings.BaudRate);
    std::vector<std::string> refused;
    if (speed &&
        (::cfsetispeed(&attributes, *speed) != 0 || ::cfsetospeed(&attributes, *speed) != 0)) {
        refused.push_back(std::to_string(settings.BaudRate) + " baud has no speed code here");
    }
    if (::tcsetattr(port, TCSANOW, &attributes) != 0) {
        if (PortGone(errno))
            return {};
        refused.push_back("the line settings were refused (" + SystemReason(errno) + ")");
    }
    if (!speed && settings.BaudRate != 0) {
        if (const int error = SetCustomBaudRate(port, settings.BaudRate);
            error != 0 && !PortGone(error)) {
            refused.push_back(std::to_string(settings.BaudRate) + " baud was refused (" +
                              SystemReason(error) + ")");
        }
    }
    if (refused.empty()) {
        for (std::string& replaced : ReplacedValues(port, attributes, settings.BaudRate))
            refused.push_back(std::move(replaced));
    }
    for (std::string& modem : SetModemLines(port, settings))
        refused.push_back(std::move(modem));
    return Joined(refused);
}

}  // namespace comflash
