#include "tools/sim/device_link.h"

namespace comflash::sim::link {

std::uint16_t CrcStep(std::uint16_t crc, std::uint8_t byte) {
    crc = static_cast<std::uint16_t>(crc ^ (std::uint16_t{byte} << 8));
    for (int bit = 0; bit < 8; ++bit) {
        const bool top = (crc & 0x8000) != 0;
        crc = static_cast<std::uint16_t>(crc << 1);
        if (top)
            crc ^= 0x1021;
    }
    return crc;
}

std::uint16_t Crc(std::span<const std::uint8_t> bytes, std::uint16_t preset) {
    std::uint16_t crc = preset;
    for (const std::uint8_t byte : bytes)
        crc = CrcStep(crc, byte);
    return crc;
}

std::vector<std::uint8_t> EncodeFrame(std::uint8_t command, std::span<const std::uint8_t> payload) {
    const std::size_t lengthField = payload.size() + 1;
    std::vector<std::uint8_t> frame = {kSync, kSync, static_cast<std::uint8_t>(lengthField >> 8),
                                       static_cast<std::uint8_t>(lengthField & 0xFF), command};
    frame.insert(frame.end(), payload.begin(), payload.end());
    const std::uint16_t check = Crc(frame);
    frame.push_back(static_cast<std::uint8_t>(check >> 8));
    frame.push_back(static_cast<std::uint8_t>(check & 0xFF));
    return frame;
}

std::string RecordText(std::string_view serialNumber) {
    std::string text(serialNumber);
    text += '#';
    if (text.size() > kLongestSerialText)
        text.resize(kLongestSerialText);
    return text;
}

bool CheckHolds(std::span<const std::uint8_t> frame) {
    if (frame.size() < kFrameOverhead)
        return false;
    const std::size_t checked = frame.size() - 2;
    const std::uint16_t check = Crc(frame.first(checked));
    return frame[checked] == (check >> 8) && frame[checked + 1] == (check & 0xFF);
}

}  // namespace comflash::sim::link
