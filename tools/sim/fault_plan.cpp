#include "tools/sim/fault_plan.h"

#include <charconv>
#include <vector>

namespace comflash::sim {
namespace {

constexpr std::uint32_t kOffsetStep = 256;
constexpr std::uint32_t kLastBlockOffset = 0xFF00;

struct StepName {
    FaultStep step;
    std::string_view name;
};
constexpr StepName kStepNames[] = {
    {FaultStep::Identity, "identity"}, {FaultStep::Init, "init"},     {FaultStep::Block, "block"},
    {FaultStep::Checksum, "checksum"}, {FaultStep::Serial, "serial"},
};

struct NoiseName {
    NoiseMode mode;
    std::string_view name;
};
constexpr NoiseName kNoiseNames[] = {
    {NoiseMode::Both, "both"}, {NoiseMode::Bursts, "bursts"}, {NoiseMode::Prefix, "prefix"}};

std::pair<std::string_view, std::string_view> SplitAtColon(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        return {text, {}};
    return {text.substr(0, colon), text.substr(colon + 1)};
}

std::uint64_t ParseNumber(std::string_view text, std::string_view what) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        throw FaultSyntaxError(std::string(what) + " must be a number, not \"" + std::string(text) +
                               "\"");
    }
    return value;
}

std::uint16_t ParseBlockOffset(std::string_view text, std::string_view kind) {
    if (text.empty()) {
        throw FaultSyntaxError(std::string(kind) + " needs the block offset, for example " +
                               std::string(kind) + ":512");
    }
    const std::uint64_t offset = ParseNumber(text, "the block offset");
    if (offset % kOffsetStep != 0 || offset > kLastBlockOffset) {
        throw FaultSyntaxError("block offset " + std::string(text) +
                               " is not one the host sends: use a multiple of 256 up to 65280");
    }
    return static_cast<std::uint16_t>(offset);
}

// "identity", "init", "block:OFFSET", "checksum" or "serial".
void ParseStep(std::string_view text, std::string_view kind, Fault& fault) {
    const auto [name, argument] = SplitAtColon(text);
    for (const auto& entry : kStepNames) {
        if (entry.name != name)
            continue;
        fault.step = entry.step;
        if (entry.step == FaultStep::Block) {
            fault.offset = ParseBlockOffset(argument, std::string(kind) + ":block");
        } else if (!argument.empty()) {
            throw FaultSyntaxError(std::string(kind) + ":" + std::string(name) +
                                   " takes no further argument");
        }
        return;
    }
    throw FaultSyntaxError(std::string(kind) +
                           " needs the step: identity, init, block:OFFSET, checksum or serial");
}

void RefuseArgument(std::string_view kind, std::string_view argument) {
    if (!argument.empty())
        throw FaultSyntaxError(std::string(kind) + " takes no argument");
}

std::string StepText(const Fault& fault) {
    for (const auto& entry : kStepNames) {
        if (entry.step != fault.step)
            continue;
        std::string text(entry.name);
        if (fault.step == FaultStep::Block)
            text += ":" + std::to_string(fault.offset);
        return text;
    }
    return "?";
}

// splitmix64: small, fast and the same on every platform, unlike the
// standard distributions.
class PlanRandom {
public:
    explicit PlanRandom(std::uint64_t state) : state_(state) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double Fraction() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : Next() % n; }

private:
    std::uint64_t state_;
};

Fault DrawFault(const RandomFaults& settings, unsigned device) {
    PlanRandom random(settings.seed ^ (0xD1B54A32D192ED03ULL * (std::uint64_t{device} + 1)));
    if (random.Fraction() >= settings.rate)
        return {};

    // Faults of the update path only: a serial-number fault or an L3 hello
    // would need a host set up for it.
    std::vector<Fault> candidates = {
        {.kind = FaultKind::InitRefused},
        {.kind = FaultKind::BlockRefused},
        {.kind = FaultKind::WrongChecksum},
        {.kind = FaultKind::NoReply, .step = FaultStep::Identity},
        {.kind = FaultKind::NoReply, .step = FaultStep::Init},
        {.kind = FaultKind::NoReply, .step = FaultStep::Block},
        {.kind = FaultKind::NoReply, .step = FaultStep::Checksum},
        {.kind = FaultKind::SplitReply, .step = FaultStep::Identity},
        {.kind = FaultKind::SplitReply, .step = FaultStep::Init},
        {.kind = FaultKind::SplitReply, .step = FaultStep::Block},
        {.kind = FaultKind::SplitReply, .step = FaultStep::Checksum},
        {.kind = FaultKind::Noise},
        {.kind = FaultKind::HelloNoDigit},
        {.kind = FaultKind::HelloVersion0},
        {.kind = FaultKind::DoubleHello},
    };
    if (settings.allowVanish)
        candidates.push_back({.kind = FaultKind::Vanish});

    Fault fault = candidates[random.Below(candidates.size())];
    const std::uint64_t blocks =
        (std::uint64_t{settings.imageLength} + kOffsetStep - 1) / kOffsetStep;
    fault.offset = static_cast<std::uint16_t>(random.Below(blocks) * kOffsetStep);
    return fault;
}

}  // namespace

bool Fault::TriggersAt(FaultStep at, std::uint16_t blockOffset) const {
    const bool blockHere = at == FaultStep::Block && blockOffset == offset;
    switch (kind) {
        case FaultKind::InitRefused:
            return at == FaultStep::Init;
        case FaultKind::BlockRefused:
            return blockHere;
        case FaultKind::Vanish:
            return step == FaultStep::Serial ? at == FaultStep::Serial : blockHere;
        case FaultKind::WrongChecksum:
            return at == FaultStep::Checksum;
        case FaultKind::SerialRefused:
        case FaultKind::ReturnsAfter:
        case FaultKind::WrongRecord:
            return at == FaultStep::Serial;
        case FaultKind::NoReply:
        case FaultKind::SplitReply:
        case FaultKind::StoredNoReply:
        case FaultKind::LateReply:
            return at == step && (at != FaultStep::Block || blockHere);
        default:
            return false;
    }
}

bool Fault::IsBadHello() const {
    return kind == FaultKind::HelloNoDigit || kind == FaultKind::HelloVersion0 ||
           kind == FaultKind::HelloL3;
}

bool Fault::LeavesHostWaiting() const {
    return kind == FaultKind::NoReply || kind == FaultKind::SplitReply ||
           kind == FaultKind::BlockRefused || kind == FaultKind::Vanish ||
           kind == FaultKind::StoredNoReply || kind == FaultKind::LateReply ||
           kind == FaultKind::ReturnsAfter;
}

bool Fault::NoiseBursts() const {
    return kind == FaultKind::Noise && noise != NoiseMode::Prefix;
}
bool Fault::NoisePrefix() const {
    return kind == FaultKind::Noise && noise != NoiseMode::Bursts;
}

std::string FaultName(const Fault& fault) {
    switch (fault.kind) {
        case FaultKind::None:
            return "none";
        case FaultKind::InitRefused:
            return "init-refused";
        case FaultKind::BlockRefused:
            return "block-refused:" + std::to_string(fault.offset);
        case FaultKind::WrongChecksum:
            return "wrong-checksum";
        case FaultKind::NoReply:
            return "no-reply:" + StepText(fault);
        case FaultKind::SplitReply:
            return "split-reply:" + StepText(fault);
        case FaultKind::Noise:
            for (const auto& entry : kNoiseNames) {
                if (entry.mode == fault.noise && entry.mode != NoiseMode::Both) {
                    return "noise:" + std::string(entry.name);
                }
            }
            return "noise";
        case FaultKind::HelloNoDigit:
            return "hello-no-digit";
        case FaultKind::HelloVersion0:
            return "hello-version0";
        case FaultKind::HelloL3:
            return "hello-l3:" + std::to_string(fault.helloVersion);
        case FaultKind::DoubleHello:
            return "double-hello";
        case FaultKind::Vanish:
            return fault.step == FaultStep::Serial ? "vanish:serial"
                                                   : "vanish:" + std::to_string(fault.offset);
        case FaultKind::SerialRefused:
            return "serial-refused";
        case FaultKind::StoredNoReply:
            return "stored-no-reply:" + StepText(fault);
        case FaultKind::LateReply:
            return "late-reply:" + StepText(fault);
        case FaultKind::ReturnsAfter:
            return "returns-after:serial";
        case FaultKind::WrongRecord:
            return "wrong-record:serial";
    }
    return "?";
}

Fault ParseFault(std::string_view text) {
    const auto [kind, argument] = SplitAtColon(text);
    Fault fault;
    if (kind == "none") {
        RefuseArgument(kind, argument);
    } else if (kind == "init-refused") {
        RefuseArgument(kind, argument);
        fault.kind = FaultKind::InitRefused;
    } else if (kind == "block-refused") {
        fault.kind = FaultKind::BlockRefused;
        fault.offset = ParseBlockOffset(argument, kind);
    } else if (kind == "wrong-checksum") {
        RefuseArgument(kind, argument);
        fault.kind = FaultKind::WrongChecksum;
    } else if (kind == "no-reply") {
        fault.kind = FaultKind::NoReply;
        ParseStep(argument, kind, fault);
    } else if (kind == "split-reply") {
        fault.kind = FaultKind::SplitReply;
        ParseStep(argument, kind, fault);
    } else if (kind == "stored-no-reply") {
        fault.kind = FaultKind::StoredNoReply;
        ParseStep(argument, kind, fault);
    } else if (kind == "late-reply") {
        fault.kind = FaultKind::LateReply;
        ParseStep(argument, kind, fault);
    } else if (kind == "returns-after" || kind == "wrong-record") {
        if (argument != "serial")
            throw FaultSyntaxError(std::string(kind) + " takes the step serial");
        fault.kind = kind == "returns-after" ? FaultKind::ReturnsAfter : FaultKind::WrongRecord;
        fault.step = FaultStep::Serial;
    } else if (kind == "noise") {
        fault.kind = FaultKind::Noise;
        if (!argument.empty()) {
            bool known = false;
            for (const auto& entry : kNoiseNames) {
                if (entry.name == argument) {
                    fault.noise = entry.mode;
                    known = true;
                }
            }
            if (!known)
                throw FaultSyntaxError("noise takes bursts, prefix or both");
        }
    } else if (kind == "hello-no-digit") {
        RefuseArgument(kind, argument);
        fault.kind = FaultKind::HelloNoDigit;
    } else if (kind == "hello-version0") {
        RefuseArgument(kind, argument);
        fault.kind = FaultKind::HelloVersion0;
    } else if (kind == "hello-l3") {
        fault.kind = FaultKind::HelloL3;
        if (!argument.empty()) {
            const std::uint64_t version = ParseNumber(argument, "the hello-l3 version");
            if (version < 1 || version > 2) {
                throw FaultSyntaxError(
                    "hello-l3 takes version 1 or 2 (a host with L3 refuses both)");
            }
            fault.helloVersion = static_cast<std::uint8_t>(version);
        }
    } else if (kind == "double-hello") {
        RefuseArgument(kind, argument);
        fault.kind = FaultKind::DoubleHello;
    } else if (kind == "vanish") {
        fault.kind = FaultKind::Vanish;
        if (argument == "serial")
            fault.step = FaultStep::Serial;
        else
            fault.offset = ParseBlockOffset(argument, kind);
    } else if (kind == "serial-refused") {
        RefuseArgument(kind, argument);
        fault.kind = FaultKind::SerialRefused;
    } else {
        throw FaultSyntaxError("unknown fault \"" + std::string(kind) +
                               "\" (comflash-sim --help lists them)");
    }
    return fault;
}

DeviceFault ParseDeviceFault(std::string_view text) {
    const auto [number, rest] = SplitAtColon(text);
    if (rest.empty()) {
        throw FaultSyntaxError("--fault takes N:KIND[:ARG], for example 2:block-refused:512");
    }
    const std::uint64_t device = ParseNumber(number, "the device number of --fault");
    if (device < 1 || device > 1'000'000'000) {
        throw FaultSyntaxError("--fault: devices count from 1");
    }
    return {static_cast<unsigned>(device), ParseFault(rest)};
}

Fault FaultPlan::For(unsigned device) const {
    if (const auto chosen = chosen_.find(device); chosen != chosen_.end())
        return chosen->second;
    if (random_)
        return DrawFault(*random_, device);
    return {};
}

std::string FaultHelp() {
    return "  init-refused             EEPROM init answered with status 0\n"
           "  block-refused:OFFSET     the block at OFFSET answered with status 0\n"
           "  wrong-checksum           checksum reply with a wrong value\n"
           "  no-reply:STEP            the request of STEP is lost: no reply, nothing\n"
           "                           stored; STEP is identity, init, block:OFFSET,\n"
           "                           checksum or serial\n"
           "  split-reply:STEP         the reply to STEP leaves in two bursts --split-gap apart\n"
           "  stored-no-reply:STEP     the request of STEP is carried out (a record is\n"
           "                           stored), its reply never sent\n"
           "  late-reply:STEP          the request of STEP is carried out and answered after\n"
           "                           --host-timeout, when the host has given up\n"
           "  noise[:bursts|prefix|both]\n"
           "                           stray bytes (never 0xAB) as bursts of their own and/or\n"
           "                           in front of replies (default both)\n"
           "  hello-no-digit           one hello without version digit (length 2)\n"
           "  hello-version0           one hello announcing version 0\n"
           "  hello-l3[:V]             one hello of version V (1 or 2, default 2), which a\n"
           "                           host with L3 ticked refuses\n"
           "  double-hello             two hellos 40 ms apart\n"
           "  vanish:OFFSET|serial     the line disappears when the block at OFFSET (or the\n"
           "                           serial-number record) arrives;\n"
           "                           a new line comes back after --return-delay\n"
           "  serial-refused           serial-number record answered with status 0\n"
           "  returns-after:serial     the record is stored and never answered; the next\n"
           "                           device is this one again, with what it stored\n"
           "  wrong-record:serial      the record is acknowledged, but the device stores it\n"
           "                           with its last character changed\n"
           "  OFFSET is a block offset: a multiple of 256 (decimal or 0x hex).\n";
}

}  // namespace comflash::sim
