// A station's link to the line database: one per process, shared by its
// ports. Serial numbers are reserved through it while the server answers;
// device rows and the fates of numbers go through a spool on disk, so the
// server going away loses nothing and holds up nothing but serial numbers.
//
// A worker thread connects (creating or upgrading the tables), sends the
// spool in order, and after a failure tries again every few seconds. Every
// member may be called from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/device_record.h"
#include "app/serial_number_source.h"
#include "line/device_row.h"
#include "line/line_spool.h"
#include "line/pg_connection.h"
#include "line/serial_series.h"

namespace comflash::line {

// The least time between two attempts to reach a server that did not answer.
inline constexpr std::chrono::seconds kRetryInterval{3};

class LineDatabase final : public DeviceRecorder {
public:
    // `conninfo`: a libpq connection string or postgresql:// URI. `station`:
    // the name rows and reservations carry. The spool lives in `spoolFolder`
    // (the settings folder). Raises LineError when `conninfo` cannot be read;
    // contacts nothing itself: the worker connects at once.
    LineDatabase(std::string conninfo, std::string station, std::filesystem::path spoolFolder);
    ~LineDatabase() override;
    LineDatabase(const LineDatabase&) = delete;
    LineDatabase& operator=(const LineDatabase&) = delete;

    const std::string& Station() const { return station_; }

    // True while serial numbers can be reserved. Never waits: while the line
    // is away it asks the worker for another attempt, which comes at most
    // every kRetryInterval. A front end leaves hellos unanswered while false.
    bool Available();
    // Why the line is not available, in the server's or libpq's words.
    std::string Problem() const;
    // Waits up to `within` for Available(); for a front end's start and tests.
    bool WaitAvailable(std::chrono::milliseconds within);

    // Keeps a finished device's row: on disk in the spool when this returns,
    // sent by the worker as soon as the server answers, with the station and
    // the tool's version. Raises LineError when the spool cannot be written.
    void Append(const DeviceRecord& record) override;
    // Entries of the spool the server does not have yet.
    std::size_t Waiting() const { return spool_.Count(); }
    // Waits up to `within` until the spool is sent; false when entries remain
    // (they go with a later run).
    bool Flush(std::chrono::milliseconds within);

    // Serial numbers (see serial_series.h). Reserve fails at once with
    // LineUnreachable while the line is away; when the connection breaks
    // during the request the number, if reserved, stays a gap.
    Reservation Reserve(const std::string& prefix, int floor, const std::string& port);
    // Keeps the fate in the spool at once, then writes it to the server when
    // it answers within its reply time-out; the spool sends it otherwise.
    void Settle(const Reservation& reservation, SerialFate fate);
    int Join(const std::string& prefix, int floor);
    // A number whose fate is unknown, and its confirmation by the device that
    // came back holding it (false when it was neither). Raise LineUnreachable
    // while the line is away.
    bool Unconfirmed(const std::string& prefix, int value);
    bool Confirm(const std::string& prefix, int value);
    int NextInSeries(const std::string& prefix, int floor);

private:
    // The connection serial numbers use, or LineUnreachable. Called with
    // takeMutex_ held.
    PgConnection& TakeConnection();
    void LoseTakeConnection(const std::string& why);
    void SetProblem(const std::string& problem);
    void Wake();

    void Work();
    void Step();
    void Connect();
    void CheckIdleTakeConnection();
    void SendSpool();

    const std::string conninfo_;
    const std::string station_;
    LineSpool spool_;

    std::mutex takeMutex_;  // the take connection and its line
    std::unique_ptr<PgConnection> take_;
    std::string takeLineId_;
    std::atomic<bool> takeUp_{false};

    mutable std::mutex stateMutex_;  // what the worker tells the callers
    std::string problem_;
    std::string lineId_;  // the line last reached, for new rows

    // The worker's own: the connection that sends the spool, and when to try
    // connecting again.
    std::unique_ptr<PgConnection> send_;
    std::chrono::steady_clock::time_point nextAttempt_{};

    std::mutex workMutex_;
    std::condition_variable workWake_;
    std::condition_variable stepDone_;
    bool wake_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace comflash::line
