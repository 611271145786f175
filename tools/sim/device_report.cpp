#include "tools/sim/device_report.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace comflash::sim {
namespace {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            // Record bytes are not necessarily text: each goes out as its own
            // code point so nothing is lost or left invalid.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

template <typename Number>
std::string JsonNumbers(const std::vector<Number>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out += ",";
        out += std::to_string(values[i]);
    }
    return out + "]";
}

std::string JsonWrites(const std::vector<EepromWrite>& writes) {
    std::string out = "[";
    for (std::size_t i = 0; i < writes.size(); ++i) {
        if (i > 0)
            out += ",";
        out += "{\"address\":" + std::to_string(writes[i].address) +
               ",\"length\":" + std::to_string(writes[i].length) + "}";
    }
    return out + "]";
}

template <typename T>
std::string JsonOptional(const std::optional<T>& value) {
    if (!value)
        return "null";
    if constexpr (std::is_same_v<T, bool>) {
        return *value ? "true" : "false";
    } else if constexpr (std::is_same_v<T, std::string>) {
        return JsonString(*value);
    } else {
        return std::to_string(*value);
    }
}

std::string JsonBool(bool value) {
    return value ? "true" : "false";
}

long long EpochMillis(std::chrono::system_clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
}

class JsonObject {
public:
    JsonObject& Add(std::string_view name, const std::string& rawValue) {
        text_ += text_.size() > 1 ? ",\"" : "\"";
        text_ += name;
        text_ += "\":";
        text_ += rawValue;
        return *this;
    }
    template <typename Value>
    JsonObject& Number(std::string_view name, Value value) {
        return Add(name, std::to_string(value));
    }
    std::string Close() { return text_ + "}"; }

private:
    std::string text_ = "{";
};

}  // namespace

std::string OutcomeOf(const DeviceReport& report) {
    const DeviceSteps& steps = report.steps;
    if (report.end == DeviceEnd::Interrupted)
        return "interrupted";
    if (steps.faultPlayed) {
        switch (report.fault.kind) {
            case FaultKind::HelloNoDigit:
            case FaultKind::HelloVersion0:
            case FaultKind::HelloL3:
                if (steps.handshakes == 0)
                    return "refused-hello";
                break;
            case FaultKind::InitRefused:
                return "init-refused";
            case FaultKind::BlockRefused:
                return "block-refused";
            case FaultKind::WrongChecksum:
                return "checksum-mismatch";
            case FaultKind::NoReply:
                return "no-reply";
            case FaultKind::SplitReply:
                return "split-reply";
            case FaultKind::Vanish:
                return "vanished";
            case FaultKind::SerialRefused:
                return "serial-refused";
            case FaultKind::StoredNoReply:
                return "stored-no-reply";
            case FaultKind::LateReply:
                return "late-reply";
            case FaultKind::ReturnsAfter:
                return "returns-after";
            case FaultKind::WrongRecord:
                return "wrong-record";
            default:
                break;  // noise and a double hello end like a device without fault
        }
    }
    if (steps.finish)
        return "updated";
    if (steps.serialAcknowledged)
        return "serial-written";
    if (steps.handshakes == 0)
        return "unanswered";
    return "abandoned";
}

bool AsExpected(const DeviceReport& report) {
    const DeviceSteps& steps = report.steps;
    if (report.end == DeviceEnd::Interrupted)
        return false;
    // A host that talks at the wrong speed fails with a real device even when
    // the simulator lets the frames through.
    const bool speedsRight = steps.wrongSpeedFrames == 0 && steps.garbledReplies == 0;
    const bool updated = steps.finish && report.imageEqual.value_or(true);
    const bool served = steps.finish ? updated : steps.serialAcknowledged;

    switch (report.fault.kind) {
        case FaultKind::None:
        case FaultKind::Noise:
            return speedsRight && served;
        // The second hello gets a reply of its own only when the host takes it
        // before its hello delay runs out; either way one update follows.
        case FaultKind::DoubleHello:
            return speedsRight && steps.faultPlayed && updated && steps.handshakes >= 1 &&
                   steps.identityRequests == 1;
        case FaultKind::HelloNoDigit:
        case FaultKind::HelloVersion0:
        case FaultKind::HelloL3:
            return steps.faultPlayed && steps.handshakes == 0;
        case FaultKind::InitRefused:
        case FaultKind::BlockRefused:
            return steps.faultPlayed && steps.blocksAfterFault == 0 && !steps.finish;
        case FaultKind::WrongChecksum:
        case FaultKind::NoReply:
        case FaultKind::SplitReply:
        case FaultKind::Vanish:
            return steps.faultPlayed && !steps.finish;
        case FaultKind::SerialRefused:
        case FaultKind::StoredNoReply:
        case FaultKind::LateReply:
        case FaultKind::ReturnsAfter:
        case FaultKind::WrongRecord:
            return steps.faultPlayed && !steps.finish;
    }
    return false;
}

std::string ToJsonLine(const DeviceReport& report) {
    const DeviceSteps& s = report.steps;
    JsonObject json;
    json.Number("device", report.device)
        .Add("port", JsonString(report.port))
        .Number("version", unsigned{report.version})
        .Add("fault", JsonString(FaultName(report.fault)))
        .Add("fault_played", JsonBool(s.faultPlayed))
        .Number("hellos", s.hellos)
        .Number("handshakes", s.handshakes)
        .Add("key_bytes", JsonNumbers(s.keyBytes))
        .Number("identity_requests", s.identityRequests)
        .Number("init_requests", s.initRequests)
        .Number("blocks", s.blocks)
        .Add("refused_offsets", JsonNumbers(s.refusedOffsets))
        .Number("unreadable_blocks", s.unreadableBlocks)
        .Number("checksum_requests", s.checksumRequests)
        .Add("checksum_count", JsonOptional(s.checksumCount))
        .Add("checksum_value", JsonOptional(s.checksumValue))
        .Add("finish", JsonBool(s.finish))
        .Add("image_equal", JsonOptional(report.imageEqual))
        .Add("eeprom_writes", JsonWrites(s.eepromWrites))
        .Add("serial_record", JsonOptional(s.serialRecord))
        .Number("wrong_speed_frames", s.wrongSpeedFrames)
        .Number("garbled_hellos", s.garbledHellos)
        .Number("garbled_replies", s.garbledReplies)
        .Number("bad_frames", s.badFrames)
        .Number("other_frames", s.otherFrames)
        .Number("start_ms", EpochMillis(report.startedAt))
        .Number("end_ms", EpochMillis(report.endedAt))
        .Number("duration_ms", static_cast<long long>(report.duration.count()))
        .Add("outcome", JsonString(OutcomeOf(report)))
        .Add("as_expected", JsonBool(AsExpected(report)));
    return json.Close();
}

ReportFile::ReportFile(const std::filesystem::path& path)
    : path_(path), file_(std::fopen(path.c_str(), "w")) {
    if (file_ == nullptr)
        Fail();
}

ReportFile::~ReportFile() {
    std::fclose(file_);
}

void ReportFile::Write(const DeviceReport& report) {
    const std::string line = ToJsonLine(report) + "\n";
    // A report line that never reached the file would leave the run
    // unjudged, so it ends the run instead.
    if (std::fputs(line.c_str(), file_) < 0 || std::fflush(file_) != 0)
        Fail();
}

void ReportFile::Fail() const {
    throw std::runtime_error("--report " + path_.string() +
                             ": cannot write: " + std::strerror(errno));
}

}  // namespace comflash::sim
