#include "tools/sim/device_report.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace comflash::sim {
namespace {

using Json = nlohmann::ordered_json;

// Record bytes are not necessarily text: each goes out as the code point of
// its value, so nothing is lost and the line stays valid UTF-8.
std::string BytesAsCodePoints(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

template <typename T>
Json Optional(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json EepromWrites(const std::vector<EepromWrite>& writes) {
    Json list = Json::array();
    for (const EepromWrite& write : writes)
        list.push_back({{"address", write.address}, {"length", write.length}});
    return list;
}

long long EpochMillis(std::chrono::system_clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
}

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
    const Json serialRecord =
        s.serialRecord ? Json(BytesAsCodePoints(*s.serialRecord)) : Json(nullptr);
    const Json line = {{"device", report.device},
                       {"port", report.port},
                       {"version", unsigned{report.version}},
                       {"fault", FaultName(report.fault)},
                       {"fault_played", s.faultPlayed},
                       {"hellos", s.hellos},
                       {"handshakes", s.handshakes},
                       {"key_bytes", s.keyBytes},
                       {"identity_requests", s.identityRequests},
                       {"init_requests", s.initRequests},
                       {"blocks", s.blocks},
                       {"refused_offsets", s.refusedOffsets},
                       {"unreadable_blocks", s.unreadableBlocks},
                       {"checksum_requests", s.checksumRequests},
                       {"checksum_count", Optional(s.checksumCount)},
                       {"checksum_value", Optional(s.checksumValue)},
                       {"finish", s.finish},
                       {"image_equal", Optional(report.imageEqual)},
                       {"eeprom_writes", EepromWrites(s.eepromWrites)},
                       {"serial_record", serialRecord},
                       {"wrong_speed_frames", s.wrongSpeedFrames},
                       {"garbled_hellos", s.garbledHellos},
                       {"garbled_replies", s.garbledReplies},
                       {"bad_frames", s.badFrames},
                       {"other_frames", s.otherFrames},
                       {"start_ms", EpochMillis(report.startedAt)},
                       {"end_ms", EpochMillis(report.endedAt)},
                       {"duration_ms", static_cast<long long>(report.duration.count())},
                       {"outcome", OutcomeOf(report)},
                       {"as_expected", AsExpected(report)}};
    // The port path is the system's; a name that is not UTF-8 keeps the line readable.
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
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
