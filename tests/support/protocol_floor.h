// The least time the protocol itself allows for one device on a real line:
// every frame of the run at the update rate, 10 bits a byte (start, 8 data,
// stop), and after each reply the 30 ms of silence by which the host knows
// the reply is whole. No host can do better; update-bench measures against
// it and the soak derives its hang deadline from it. With quick turnaround
// the host knows a reply is whole at its last byte: the wire floor is the
// same without the silences. The figures are the
// protocol's, written here on their own rather than taken from the tool, so
// that a wrong constant in the tool shows up against them.
#pragma once

#include <cstddef>

namespace comflash::testing {

inline constexpr double kBitsPerByte = 10;      // start, 8 data, stop
inline constexpr double kUpdateBaud = 38400;    // the transfer's line speed
inline constexpr double kReadIntervalMs = 30;   // silence after a reply's last byte
inline constexpr double kHelloDelayMinMs = 40;  // three 20 ms ticks, at the earliest

// Frame lengths on the wire, sync to check.
inline constexpr double kIdentityRequestBytes = 11;
inline constexpr double kIdentityReplyBytes = 617;  // 608 bytes of memory and their address
inline constexpr double kEepromInitBytes = 25;
inline constexpr double kWriteReplyBytes = 8;  // status of an EEPROM write or a block
inline constexpr double kBlockFrameBytes = 265;
inline constexpr double kChecksumRequestBytes = 11;
inline constexpr double kChecksumReplyBytes = 9;
inline constexpr double kSerialRecordMaxBytes = 28;  // 16 characters of text
inline constexpr std::size_t kBlockBytes = 256;

constexpr double WireMs(double bytes) {
    return bytes * kBitsPerByte * 1000 / kUpdateBaud;
}

// One request, its reply, and the silence that ends the reply.
constexpr double ExchangeMs(double requestBytes, double replyBytes,
                            double silenceMs = kReadIntervalMs) {
    return WireMs(requestBytes + replyBytes) + silenceMs;
}

// From the handshake reply to the checksum reply handled: the span that
// comflash-cli's --record measures as duration_ms. The handshake reply itself
// leaves at 9600 baud within the hello delay; the return to 9600 after the
// finish comes after the span.
constexpr double UpdateFloorMs(std::size_t imageLength, double silenceMs = kReadIntervalMs) {
    const auto blocks = static_cast<double>((imageLength + kBlockBytes - 1) / kBlockBytes);
    return kHelloDelayMinMs + ExchangeMs(kIdentityRequestBytes, kIdentityReplyBytes, silenceMs) +
           ExchangeMs(kEepromInitBytes, kWriteReplyBytes, silenceMs) +
           blocks * ExchangeMs(kBlockFrameBytes, kWriteReplyBytes, silenceMs) +
           ExchangeMs(kChecksumRequestBytes, kChecksumReplyBytes, silenceMs);
}

// The same span with quick turnaround: the wire and the hello delay alone.
constexpr double QuickUpdateFloorMs(std::size_t imageLength) {
    return UpdateFloorMs(imageLength, 0);
}

// From the handshake reply to the serial record's acknowledgement handled.
constexpr double SerialWriteFloorMs() {
    return kHelloDelayMinMs + ExchangeMs(kIdentityRequestBytes, kIdentityReplyBytes) +
           ExchangeMs(kSerialRecordMaxBytes, kWriteReplyBytes);
}

}  // namespace comflash::testing
