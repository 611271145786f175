// ParseIntelHex: records checked one by one, the image laid out only once
// its span is known to fit.
#include "image/firmware_file.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "protocol/firmware_image.h"

namespace comflash {
namespace {

enum RecordType : std::uint8_t {
    kData = 0x00,
    kEndOfFile = 0x01,
    kExtendedSegmentAddress = 0x02,
    kStartSegmentAddress = 0x03,
    kExtendedLinearAddress = 0x04,
    kStartLinearAddress = 0x05,
};

constexpr std::size_t kRecordOverhead = 5;  // count, address (2), type, checksum

std::string Hex(std::uint64_t value, int minDigits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", minDigits, static_cast<unsigned long long>(value));
    return text;
}

[[noreturn]] void Fail(std::size_t line, const std::string& what) {
    throw FirmwareFileError("line " + std::to_string(line) + ": " + what);
}

std::string Describe(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x21 && b < 0x7F)
        return std::string("'") + c + "'";
    return Hex(b, 2);
}

std::optional<std::uint8_t> DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<std::uint8_t>(c - 'a' + 10);
    return std::nullopt;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

struct Record {
    std::uint8_t type = 0;
    std::uint16_t offset = 0;
    std::vector<std::uint8_t> data;
};

// The bytes a record line spells. `text` is the line without its surrounding
// blanks; `column` is the column (from 1) of its first character in the file.
std::vector<std::uint8_t> RecordBytes(std::string_view text, std::size_t line, std::size_t column) {
    if (text.front() != ':')
        Fail(line, "a record starts with ':', not " + Describe(text.front()));
    const std::string_view digits = text.substr(1);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (!DigitValue(digits[i])) {
            Fail(line, Describe(digits[i]) + " at column " + std::to_string(column + 1 + i) +
                           " is not a hex digit");
        }
    }
    if (digits.size() % 2 != 0)
        Fail(line, "odd number of hex digits");
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(*DigitValue(digits[i]) * 16 + *DigitValue(digits[i + 1])));
    }
    return bytes;
}

Record ParseRecord(std::string_view text, std::size_t line, std::size_t column) {
    const std::vector<std::uint8_t> bytes = RecordBytes(text, line, column);
    if (bytes.size() < kRecordOverhead)
        Fail(line, "record too short");

    const std::size_t count = bytes[0];
    if (bytes.size() != count + kRecordOverhead) {
        Fail(line, "byte count " + Hex(count, 2) + " announces " + std::to_string(count) +
                       " data bytes, the record holds " +
                       std::to_string(bytes.size() - kRecordOverhead));
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        sum += bytes[i];
    const auto expected = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
    if (bytes.back() != expected) {
        Fail(line, "checksum mismatch (expected " + Hex(expected, 2) + ", found " +
                       Hex(bytes.back(), 2) + ")");
    }
    Record record;
    record.offset = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
    record.type = bytes[3];
    record.data.assign(bytes.begin() + 4, bytes.end() - 1);
    return record;
}

void ExpectDataSize(const Record& record, std::size_t size, std::size_t line, const char* what) {
    if (record.data.size() != size) {
        Fail(line, std::string(what) + " record must hold " + std::to_string(size) +
                       " bytes, not " + std::to_string(record.data.size()));
    }
}

std::uint16_t BigEndian16(const std::vector<std::uint8_t>& data) {
    return static_cast<std::uint16_t>(data[0] << 8 | data[1]);
}

// The data of every record, gathered before the image is laid out so that
// overlaps can be told apart from gaps.
class HexImageBuilder {
public:
    void Add(std::uint64_t address, const std::vector<std::uint8_t>& data, std::size_t line) {
        if (data.empty())
            return;
        const std::uint64_t last = address + data.size() - 1;
        const std::uint64_t low = std::min(low_.value_or(address), address);
        const std::uint64_t high = std::max(high_.value_or(last), last);
        if (high - low + 1 > kMaxImageLength) {
            Fail(line, "data at " + Hex(address, 4) + " would make the image span " +
                           std::to_string(high - low + 1) + " bytes (" + Hex(low, 4) + " to " +
                           Hex(high, 4) + "), more than the " + std::to_string(kMaxImageLength) +
                           " bytes an image may hold");
        }
        low_ = low;
        high_ = high;
        chunks_.push_back({address, bytes_.size(), data.size(), line});
        bytes_.insert(bytes_.end(), data.begin(), data.end());
    }

    std::vector<std::uint8_t> Build() {
        if (chunks_.empty())
            return {};
        RefuseOverlaps();
        std::vector<std::uint8_t> image(*high_ - *low_ + 1, 0xFF);
        for (const Chunk& c : chunks_) {
            std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(c.first), c.size,
                        image.begin() + static_cast<std::ptrdiff_t>(c.address - *low_));
        }
        return image;
    }

private:
    struct Chunk {
        std::uint64_t address;
        std::size_t first;  // index into bytes_
        std::size_t size;
        std::size_t line;
        std::uint64_t end() const { return address + size; }
    };

    void RefuseOverlaps() {
        std::vector<Chunk> sorted = chunks_;
        std::ranges::stable_sort(sorted, {}, &Chunk::address);
        const Chunk* furthest = &sorted.front();
        for (const Chunk& c : std::span(sorted).subspan(1)) {
            if (c.address < furthest->end()) {
                Fail(std::max(c.line, furthest->line),
                     "data at " + Hex(c.address, 4) + " overlaps data written on line " +
                         std::to_string(std::min(c.line, furthest->line)));
            }
            if (c.end() > furthest->end())
                furthest = &c;
        }
    }

    std::vector<Chunk> chunks_;
    std::vector<std::uint8_t> bytes_;
    std::optional<std::uint64_t> low_;
    std::optional<std::uint64_t> high_;
};

// Applies record after record; the address base and the end-of-file record
// carry over from one line to the next.
class IntelHexReader {
public:
    void ReadLine(std::string_view whole, std::size_t line) {
        const std::size_t start = std::ranges::find_if_not(whole, IsBlank) - whole.begin();
        std::string_view content = whole.substr(start);
        while (!content.empty() && IsBlank(content.back()))
            content.remove_suffix(1);
        if (content.empty())
            return;
        if (endOfFileLine_ != 0) {
            Fail(line,
                 "record after the end-of-file record on line " + std::to_string(endOfFileLine_));
        }
        Apply(ParseRecord(content, line, start + 1), line);
    }

    std::vector<std::uint8_t> Finish(std::size_t lineCount) {
        if (endOfFileLine_ == 0)
            Fail(std::max<std::size_t>(lineCount, 1), "no end-of-file record (type 01)");
        return builder_.Build();
    }

private:
    void Apply(const Record& record, std::size_t line) {
        switch (record.type) {
            case kData:
                builder_.Add(base_ + record.offset, record.data, line);
                break;
            case kEndOfFile:
                ExpectDataSize(record, 0, line, "end-of-file");
                endOfFileLine_ = line;
                break;
            case kExtendedSegmentAddress:
                ExpectDataSize(record, 2, line, "extended segment address");
                base_ = std::uint64_t{BigEndian16(record.data)} << 4;
                break;
            case kExtendedLinearAddress:
                ExpectDataSize(record, 2, line, "extended linear address");
                base_ = std::uint64_t{BigEndian16(record.data)} << 16;
                break;
            case kStartSegmentAddress:
            case kStartLinearAddress:
                // The image carries no entry point: the device starts it its own way.
                ExpectDataSize(record, 4, line, "start address");
                break;
            default:
                Fail(line, "unknown record type " + Hex(record.type, 2));
        }
    }

    HexImageBuilder builder_;
    std::uint64_t base_ = 0;
    std::size_t endOfFileLine_ = 0;
};

}  // namespace

std::vector<std::uint8_t> ParseIntelHex(std::string_view text) {
    IntelHexReader reader;
    std::size_t lineCount = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t newline = std::min(text.find('\n', pos), text.size());
        reader.ReadLine(text.substr(pos, newline - pos), ++lineCount);
        pos = newline + 1;
    }
    return reader.Finish(lineCount);
}

}  // namespace comflash
