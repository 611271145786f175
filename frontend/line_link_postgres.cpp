// The line database through libpq: one LineDatabase per process, its serial
// numbers and its record.
#include <algorithm>
#include <utility>

#include "app/settings_folder.h"
#include "frontend/line_link.h"
#include "line/line_database.h"
#include "line/line_options.h"
#include "line/line_serial_numbers.h"

namespace comflash {
namespace {

constexpr std::chrono::milliseconds kAwayFlushWait{1000};

class PostgresLineLink final : public LineLink {
public:
    PostgresLineLink(const std::string& address, std::string station, const SettingsStore& settings)
        : database_(address, std::move(station), SettingsFolder()),
          numbers_(database_, settings) {}

    const std::string& Station() const override { return database_.Station(); }
    SerialNumberSource& SerialNumbers() override { return numbers_; }
    DeviceRecorder& Record() override { return database_; }

    bool WaitReachable(std::chrono::milliseconds within) override {
        return database_.WaitAvailable(within);
    }

    std::string Join() override { return numbers_.Join(); }

    std::optional<std::string> StateChange() override {
        const bool away = !database_.Available();
        if (away == saidAway_)
            return std::nullopt;
        saidAway_ = away;
        if (away)
            return "line database unreachable (" + database_.Problem() + ")";
        return std::string("line database reachable again");
    }

    std::string Flush(std::chrono::milliseconds within) override {
        // A line that is away now is not waited for long: what waits goes
        // with the next run.
        if (database_.Flush(database_.Available() ? within : std::min(within, kAwayFlushWait)))
            return {};
        const std::size_t waiting = database_.Waiting();
        return std::to_string(waiting) + (waiting == 1 ? " entry" : " entries") +
               " (device rows, fates of serial numbers) not yet sent to the line database (" +
               database_.Problem() + "): kept in " + SettingsFolder().string() +
               "/line-spool, sent by the next run of this station";
    }

private:
    line::LineDatabase database_;
    line::LineSerialNumbers numbers_;
    // Starts as if the line were up: a front end waits for it at the start,
    // and says so when it does not come.
    bool saidAway_ = false;
};

}  // namespace

bool LineBuiltIn() {
    return true;
}

std::unique_ptr<LineLink> LineLink::Open(const std::string& address, const LineChoice& choice,
                                         const SettingsStore& settings) {
    return std::make_unique<PostgresLineLink>(
        address,
        choice.station && !choice.station->empty() ? *choice.station : line::DefaultStationName(),
        settings);
}

}  // namespace comflash
