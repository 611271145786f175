// What a front end (comflash-cli, comflash-station) needs of the line
// database: whether this build has it, the options' meaning, and one link per
// process that gives the ports their serial numbers and takes their devices'
// rows. Built with libpq (line_link_postgres.cpp) or without it
// (line_link_absent.cpp); the front ends are the same either way.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "app/device_record.h"
#include "app/serial_number_source.h"
#include "app/settings_store.h"

namespace comflash {

// What the operator asked for.
struct LineChoice {
    std::optional<std::string> address;  // --line CONNINFO
    std::optional<std::string> station;  // --station NAME
    bool standalone = false;             // --standalone
};

// False in a build without libpq.
bool LineBuiltIn();

// For --help in a build without the line database: why its options are refused.
inline constexpr const char* kLineNotBuiltIn =
    "this build has no line database (it was built without libpq, the PostgreSQL client "
    "library; see \"A line of stations\" in the README)";

// The line to work on: --line, else COMFLASH_LINE, else `remembered` (the
// station window's stored "Line"); nothing with --standalone or when none is
// set. Raises UsageError for --standalone with --line, and for --station
// without a line.
std::optional<std::string> ChosenLine(const LineChoice& choice, const std::string& remembered = {});

class LineLink {
public:
    virtual ~LineLink() = default;

    // The link to `address` as the station of `choice` (by default the host
    // name), its spool in the settings folder. Contacts nothing itself: a
    // worker connects at once. Raises UsageError in a build without the line
    // database, and the line's error when the address cannot be read.
    static std::unique_ptr<LineLink> Open(const std::string& address, const LineChoice& choice,
                                          const SettingsStore& settings);

    virtual const std::string& Station() const = 0;
    // Serial numbers from the line; paused (not Available) while it is away.
    virtual SerialNumberSource& SerialNumbers() = 0;
    // A row per finished device.
    virtual DeviceRecorder& Record() = 0;

    // Waits up to `within` until serial numbers can be taken.
    virtual bool WaitReachable(std::chrono::milliseconds within) = 0;
    // Joins the series of the station's stored number; its next number.
    // Raises as a reservation does.
    virtual std::string Join() = 0;

    // What to say once when the line goes away ("line database unreachable
    // (why)") and once when it is back; nothing while its state holds.
    virtual std::optional<std::string> StateChange() = 0;

    // Sends what the station owes the line, waiting at most `within`. Empty
    // when all went, else what waits and where.
    virtual std::string Flush(std::chrono::milliseconds within) = 0;
};

// Writing serial numbers without the line: raises SerialNumberError when
// `number` belongs to a series this station provisioned through the line,
// unless `standalone`.
void CheckStandaloneWrite(const SettingsStore& settings, const std::string& number,
                          bool standalone);

}  // namespace comflash
