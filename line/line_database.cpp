#include "line/line_database.h"

#include <algorithm>
#include <exception>
#include <set>
#include <utility>

#include "line/line_error.h"
#include "line/line_schema.h"
#include "serial/worker_thread.h"

namespace comflash::line {
namespace {

// How often the worker looks at an idle connection and at the spool (which
// other processes of the station may have written to) while nothing wakes it.
constexpr std::chrono::seconds kLookInterval{1};

}  // namespace

LineDatabase::LineDatabase(std::string conninfo, std::string station,
                           std::filesystem::path spoolFolder)
    : conninfo_(std::move(conninfo)),
      station_(std::move(station)),
      spool_(std::move(spoolFolder)),
      problem_("not connected yet") {
    CheckConninfo(conninfo_);
    worker_ = StartWorkerThread([this] { Work(); });
}

LineDatabase::~LineDatabase() {
    {
        std::lock_guard lock(workMutex_);
        stopping_ = true;
    }
    workWake_.notify_all();
    worker_.join();
}

bool LineDatabase::Available() {
    if (takeUp_)
        return true;
    Wake();
    return false;
}

std::string LineDatabase::Problem() const {
    std::lock_guard lock(stateMutex_);
    return problem_;
}

bool LineDatabase::WaitAvailable(std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    Wake();
    std::unique_lock lock(workMutex_);
    // The worker tries again at its own pace; every step it ends is a moment
    // to look.
    return stepDone_.wait_until(lock, deadline, [&] { return takeUp_.load(); });
}

void LineDatabase::SetProblem(const std::string& problem) {
    std::lock_guard lock(stateMutex_);
    problem_ = problem;
}

void LineDatabase::Wake() {
    {
        std::lock_guard lock(workMutex_);
        wake_ = true;
    }
    workWake_.notify_all();
}

void LineDatabase::Append(const DeviceRecord& record) {
    std::string lineId;
    {
        std::lock_guard lock(stateMutex_);
        lineId = lineId_;
    }
    spool_.Append(DeviceEntry(record, station_, COMFLASH_VERSION, NewEntryKey(), lineId));
    Wake();
}

bool LineDatabase::Flush(std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    Wake();
    std::unique_lock lock(workMutex_);
    return stepDone_.wait_until(lock, deadline, [&] { return spool_.Count() == 0; });
}

PgConnection& LineDatabase::TakeConnection() {
    if (take_ == nullptr || !take_->StillOpen()) {
        LoseTakeConnection(take_ == nullptr ? Problem() : "the server closed the connection");
        throw LineUnreachable(Problem());
    }
    return *take_;
}

void LineDatabase::LoseTakeConnection(const std::string& why) {
    if (take_ != nullptr)
        SetProblem(why);
    take_.reset();
    takeUp_ = false;
    Wake();
}

Reservation LineDatabase::Reserve(const std::string& prefix, int floor, const std::string& port) {
    std::lock_guard lock(takeMutex_);
    PgConnection& connection = TakeConnection();
    try {
        Reservation taken = ReserveNumber(connection, prefix, floor, station_, port);
        taken.lineId = takeLineId_;
        return taken;
    } catch (const LineUnreachable& e) {
        LoseTakeConnection(e.Why());
        throw;
    }
}

void LineDatabase::Settle(const Reservation& reservation, SerialFate fate) {
    // On disk first: a run ended by a signal or a crash right after this
    // still owes the line the fate, never loses it. Sending it twice writes
    // nothing the second time: only a reservation still open changes.
    const SpoolEntry entry = FateEntry(reservation.id, fate, reservation.lineId);
    spool_.Append(entry);
    {
        std::lock_guard lock(takeMutex_);
        if (take_ != nullptr && take_->StillOpen() && takeLineId_ == reservation.lineId) {
            try {
                SettleReservation(*take_, reservation.id, fate);
                spool_.Remove({entry.key});
                return;
            } catch (const LineUnreachable& e) {
                LoseTakeConnection(e.Why());
            }
        }
    }
    Wake();
}

int LineDatabase::Join(const std::string& prefix, int floor) {
    std::lock_guard lock(takeMutex_);
    PgConnection& connection = TakeConnection();
    try {
        return JoinSeries(connection, prefix, floor);
    } catch (const LineUnreachable& e) {
        LoseTakeConnection(e.Why());
        throw;
    }
}

bool LineDatabase::Unconfirmed(const std::string& prefix, int value) {
    std::lock_guard lock(takeMutex_);
    PgConnection& connection = TakeConnection();
    try {
        return NumberUnconfirmed(connection, prefix, value);
    } catch (const LineUnreachable& e) {
        LoseTakeConnection(e.Why());
        throw;
    }
}

bool LineDatabase::Confirm(const std::string& prefix, int value) {
    std::lock_guard lock(takeMutex_);
    PgConnection& connection = TakeConnection();
    try {
        return ConfirmNumber(connection, prefix, value);
    } catch (const LineUnreachable& e) {
        LoseTakeConnection(e.Why());
        throw;
    }
}

int LineDatabase::NextInSeries(const std::string& prefix, int floor) {
    std::lock_guard lock(takeMutex_);
    PgConnection& connection = TakeConnection();
    try {
        return line::NextInSeries(connection, prefix, floor);
    } catch (const LineUnreachable& e) {
        LoseTakeConnection(e.Why());
        throw;
    }
}

void LineDatabase::Work() {
    std::unique_lock lock(workMutex_);
    while (!stopping_) {
        wake_ = false;
        lock.unlock();
        Step();
        lock.lock();
        stepDone_.notify_all();
        auto until = std::chrono::steady_clock::now() + kLookInterval;
        if (!takeUp_ || send_ == nullptr)
            until = std::max(std::min(until, nextAttempt_), std::chrono::steady_clock::now());
        workWake_.wait_until(lock, until, [&] { return stopping_ || wake_; });
    }
}

void LineDatabase::Step() {
    try {
        CheckIdleTakeConnection();
        if ((!takeUp_ || send_ == nullptr) && std::chrono::steady_clock::now() >= nextAttempt_)
            Connect();
        if (send_ != nullptr)
            SendSpool();
    } catch (const std::exception& e) {
        // The spool's file cannot be read or rewritten: said, and tried again.
        SetProblem(e.what());
    }
}

void LineDatabase::CheckIdleTakeConnection() {
    std::unique_lock lock(takeMutex_, std::try_to_lock);
    if (lock.owns_lock() && take_ != nullptr && !take_->StillOpen())
        LoseTakeConnection("the server closed the connection");
}

void LineDatabase::Connect() {
    try {
        if (send_ == nullptr) {
            auto connection = std::make_unique<PgConnection>(conninfo_);
            const std::string lineId = EnsureLineSchema(*connection);
            send_ = std::move(connection);
            std::lock_guard lock(stateMutex_);
            lineId_ = lineId;
        }
        if (!takeUp_) {
            auto connection = std::make_unique<PgConnection>(conninfo_);
            const std::string lineId = EnsureLineSchema(*connection);
            std::lock_guard lock(takeMutex_);
            take_ = std::move(connection);
            takeLineId_ = lineId;
            takeUp_ = true;
        }
        SetProblem({});
    } catch (const LineUnreachable& e) {
        SetProblem(e.Why());
        nextAttempt_ = std::chrono::steady_clock::now() + kRetryInterval;
    } catch (const LineError& e) {
        // Reached, but not usable (tables of a newer tool, no rights): it may
        // be mended while the station runs.
        send_.reset();
        SetProblem(e.what());
        nextAttempt_ = std::chrono::steady_clock::now() + kRetryInterval;
    }
}

void LineDatabase::SendSpool() {
    const auto turn = spool_.TrySendTurn();
    if (!turn)
        return;  // another process of this station is sending it
    std::string lineId;
    {
        std::lock_guard lock(stateMutex_);
        lineId = lineId_;
    }
    std::set<std::string> sent;
    for (const SpoolEntry& entry : spool_.Entries()) {
        try {
            SendEntry(*send_, lineId, entry);
            sent.insert(entry.key);
        } catch (const LineUnreachable& e) {
            send_.reset();
            SetProblem(e.Why());
            nextAttempt_ = std::chrono::steady_clock::now() + kRetryInterval;
            break;
        } catch (const LineError& e) {
            spool_.Remove(std::exchange(sent, {}));
            spool_.SetAside(entry, e.what());
        }
    }
    spool_.Remove(sent);
}

}  // namespace comflash::line
