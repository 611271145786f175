#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "line/line_error.h"
#include "line/line_schema.h"
#include "line/serial_series.h"
#include "line_commands.h"

namespace comflash::line::tool {
namespace {

using Clock = std::chrono::steady_clock;

// A series of the bench's own, so that a line's real series stay untouched.
std::string BenchPrefix() {
    std::random_device random;
    std::string prefix = "BENCH";
    for (int i = 0; i < 4; ++i)
        prefix += static_cast<char>('A' + random() % 26);
    return prefix;
}

struct Client {
    std::vector<int> values;
    std::string error;
};

// One connection: reserve a number, confirm it written, again, until the end.
void RunClient(const std::string& conninfo, const std::string& prefix, int index,
               std::atomic<int>& ready, Clock::time_point& start, std::atomic<bool>& go,
               double seconds, Client& client) {
    try {
        PgConnection connection(conninfo);
        ++ready;
        while (!go)
            std::this_thread::yield();
        const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(seconds));
        const std::string station = "bench-" + std::to_string(index);
        while (Clock::now() < end) {
            const Reservation taken = ReserveNumber(connection, prefix, 0, station, "bench");
            SettleReservation(connection, taken.id, SerialFate::Written);
            client.values.push_back(taken.value);
        }
    } catch (const std::exception& e) {
        ++ready;
        client.error = e.what();
    }
}

struct Round {
    std::size_t numbers = 0;
    std::size_t twice = 0;
    bool tableAgrees = false;
    std::string error;
};

Round RunRound(const std::string& conninfo, PgConnection& control, int clients, double seconds) {
    const std::string prefix = BenchPrefix();
    std::vector<Client> results(static_cast<std::size_t>(clients));
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    Clock::time_point start;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back(RunClient, std::cref(conninfo), std::cref(prefix), i, std::ref(ready),
                             std::ref(start), std::ref(go), seconds,
                             std::ref(results[static_cast<std::size_t>(i)]));
    }
    // Every connection is made before the clock starts.
    while (ready < clients)
        std::this_thread::yield();
    start = Clock::now();
    go = true;
    for (auto& thread : threads)
        thread.join();

    Round round;
    std::vector<int> all;
    for (const Client& client : results) {
        all.insert(all.end(), client.values.begin(), client.values.end());
        if (!client.error.empty() && round.error.empty())
            round.error = client.error;
    }
    round.numbers = all.size();
    std::sort(all.begin(), all.end());
    for (std::size_t i = 1; i < all.size(); ++i)
        round.twice += all[i] == all[i - 1] ? 1 : 0;
    // The line's own account: one row per number, each written once.
    PgResult counted = control.Exec(
        "SELECT count(*), count(DISTINCT value), count(*) FILTER (WHERE state = 'written') "
        "FROM comflash_serial_numbers WHERE prefix = $1",
        {prefix});
    round.tableAgrees = static_cast<std::size_t>(counted.Number(0, 0)) == round.numbers &&
                        counted.Number(0, 0) == counted.Number(0, 1) &&
                        counted.Number(0, 0) == counted.Number(0, 2);
    control.Exec("DELETE FROM comflash_serial_numbers WHERE prefix = $1", {prefix},
                 std::chrono::seconds(60));
    control.Exec("DELETE FROM comflash_series WHERE prefix = $1", {prefix});
    return round;
}

}  // namespace

bool RunBench(const std::string& conninfo, const std::vector<int>& clients, double seconds,
              std::ostream& out) {
    PgConnection control(conninfo);
    EnsureLineSchema(control);
    bool good = true;
    out << "reserving and confirming serial numbers, " << seconds << " s per count:\n";
    for (int count : clients) {
        const Round round = RunRound(conninfo, control, count, seconds);
        char line[160];
        std::snprintf(line, sizeof line, "  %3d client%s %8zu numbers  %9.0f numbers/s  ", count,
                      count == 1 ? ": " : "s:", round.numbers,
                      static_cast<double>(round.numbers) / seconds);
        out << line;
        if (round.twice == 0 && round.tableAgrees) {
            out << "none twice\n";
        } else {
            good = false;
            out << round.twice << " handed out twice"
                << (round.tableAgrees ? "" : "; the line's table disagrees") << '\n';
        }
        if (!round.error.empty()) {
            good = false;
            out << "    a client stopped: " << round.error << '\n';
        }
        out.flush();
    }
    return good;
}

}  // namespace comflash::line::tool
