// One connection to the line database through libpq's C interface, with a
// bound on every wait: a server that stops answering (a pulled cable, a
// machine gone) costs a station a few seconds, never a hang.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace comflash::line {

// How long a request may wait for its reply before the connection is given up.
inline constexpr std::chrono::milliseconds kReplyTimeout{5000};

// A statement's rows, as text.
class PgResult {
public:
    explicit PgResult(pg_result* result);
    ~PgResult();
    PgResult(PgResult&& other) noexcept;
    PgResult& operator=(PgResult&&) = delete;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    int Rows() const;
    bool IsNull(int row, int column) const;
    std::string Text(int row, int column) const;
    long long Number(int row, int column) const;

private:
    pg_result* result_;
};

using PgParams = std::vector<std::optional<std::string>>;

class PgConnection {
public:
    // Connects, waiting at most a few seconds. `conninfo` is a libpq
    // connection string or postgresql:// URI; what it does not say comes from
    // libpq's PG* environment variables. Raises LineUnreachable.
    explicit PgConnection(const std::string& conninfo);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Runs one statement; outside BEGIN ... COMMIT it is one transaction.
    // Raises LineError with the server's SQLSTATE when the server refuses it,
    // and LineUnreachable when the connection breaks or no reply comes within
    // `within`; then the connection is closed and the statement's outcome is
    // unknown (it may have been committed).
    PgResult Exec(const std::string& sql, const PgParams& params = {},
                  std::chrono::milliseconds within = kReplyTimeout);

    // False once the connection is closed, or the server has closed it while
    // it was idle (a restart, an administrator): checked without waiting.
    bool StillOpen();

private:
    [[noreturn]] void GiveUp(const std::string& why);
    pg_conn* conn_;
};

// Raises LineError when libpq cannot read `conninfo`, saying why (without
// repeating the text, which may hold a password).
void CheckConninfo(const std::string& conninfo);

}  // namespace comflash::line
