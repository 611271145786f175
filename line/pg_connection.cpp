#include "line/pg_connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>

#include "line/line_error.h"
#include "line/socket_wait.h"

namespace comflash::line {
namespace {

// Say what libpq says, on one line.
std::string OneLine(const char* text) {
    std::string line = text == nullptr ? "" : text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line.empty() ? "no reason given" : line;
}

// Codes that mean the connection is over rather than the request refused:
// class 08 (connection exception) and 57P01-57P03 (the server shutting down,
// or not yet accepting connections).
bool ConnectionGone(const std::string& sqlState) {
    return sqlState.rfind("08", 0) == 0 || sqlState == "57P01" || sqlState == "57P02" ||
           sqlState == "57P03";
}

}  // namespace

PgResult::PgResult(pg_result* result) : result_(result) {}
PgResult::~PgResult() {
    if (result_ != nullptr)
        PQclear(result_);
}
PgResult::PgResult(PgResult&& other) noexcept : result_(other.result_) {
    other.result_ = nullptr;
}

int PgResult::Rows() const {
    return PQntuples(result_);
}

bool PgResult::IsNull(int row, int column) const {
    return PQgetisnull(result_, row, column) != 0;
}

std::string PgResult::Text(int row, int column) const {
    return PQgetvalue(result_, row, column);
}

long long PgResult::Number(int row, int column) const {
    return std::strtoll(PQgetvalue(result_, row, column), nullptr, 10);
}

void CheckConninfo(const std::string& conninfo) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    if (options == nullptr) {
        const std::string why = OneLine(error != nullptr ? error : "out of memory");
        PQfreemem(error);
        throw LineError("the line database address is not understood: " + why +
                        ": give a libpq connection string (host=... dbname=...) or a "
                        "postgresql:// URI");
    }
    PQconninfoFree(options);
}

PgConnection::PgConnection(const std::string& conninfo) {
    // Defaults first, the station's text after them, so that the text may
    // override any of them. Keepalives and the user time-out notice a server
    // that vanished without closing its connections.
    const char* keywords[] = {"connect_timeout",  "keepalives",
                              "keepalives_idle",  "keepalives_interval",
                              "keepalives_count", "tcp_user_timeout",
                              "application_name", "client_encoding",
                              "dbname",           nullptr};
    const char* values[] = {
        "3", "1", "5", "2", "2", "8000", "comflash", "UTF8", conninfo.c_str(), nullptr};
    conn_ = PQconnectdbParams(keywords, values, 1);
    if (conn_ == nullptr)
        throw LineUnreachable("out of memory");
    if (PQstatus(conn_) != CONNECTION_OK)
        GiveUp(OneLine(PQerrorMessage(conn_)));
    // libpq would print the server's notices on standard error.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
}

PgConnection::~PgConnection() {
    if (conn_ != nullptr)
        PQfinish(conn_);
}

void PgConnection::GiveUp(const std::string& why) {
    if (conn_ != nullptr)
        PQfinish(conn_);
    conn_ = nullptr;
    throw LineUnreachable(why);
}

PgResult PgConnection::Exec(const std::string& sql, const PgParams& params,
                            std::chrono::milliseconds within) {
    if (conn_ == nullptr)
        throw LineUnreachable("the connection was closed");
    std::vector<const char*> values;
    for (const auto& param : params)
        values.push_back(param ? param->c_str() : nullptr);
    // Without parameters the simple protocol runs the text, which may hold
    // several statements (the schema's steps).
    const int sent = params.empty()
                         ? PQsendQuery(conn_, sql.c_str())
                         : PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()),
                                             nullptr, values.data(), nullptr, nullptr, 0);
    if (sent == 0)
        GiveUp(OneLine(PQerrorMessage(conn_)));

    const auto deadline = std::chrono::steady_clock::now() + within;
    auto awaitResult = [&] {
        while (PQisBusy(conn_) != 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                GiveUp("no reply within " + std::to_string(within.count() / 1000) + " s");
            const SocketWait wait = WaitReadable(
                PQsocket(conn_), static_cast<int>(std::min<long long>(left.count(), 1000)));
            if (wait == SocketWait::Failed)
                GiveUp("cannot wait for the server's reply");
            if (wait == SocketWait::Ready && PQconsumeInput(conn_) == 0)
                GiveUp(OneLine(PQerrorMessage(conn_)));
        }
    };

    // The first result holds the rows, unless a later statement failed; the
    // whole reply is read all the same, so that the connection is ready for
    // the next request.
    pg_result* kept = nullptr;
    while (true) {
        try {
            awaitResult();
        } catch (...) {
            if (kept != nullptr)
                PQclear(kept);
            throw;
        }
        pg_result* result = PQgetResult(conn_);
        if (result == nullptr)
            break;
        const bool failed = PQresultStatus(result) == PGRES_FATAL_ERROR;
        if (kept == nullptr || (failed && PQresultStatus(kept) != PGRES_FATAL_ERROR)) {
            if (kept != nullptr)
                PQclear(kept);
            kept = result;
        } else {
            PQclear(result);
        }
    }
    PgResult owned(kept);
    if (PQstatus(conn_) != CONNECTION_OK)
        GiveUp(OneLine(PQerrorMessage(conn_)));
    if (kept == nullptr)
        GiveUp("no reply");
    const ExecStatusType status = PQresultStatus(kept);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return owned;
    const char* code = PQresultErrorField(kept, PG_DIAG_SQLSTATE);
    const std::string sqlState = code == nullptr ? "" : code;
    const std::string message = OneLine(PQresultErrorMessage(kept));
    if (ConnectionGone(sqlState))
        GiveUp(message);
    throw LineError(message, sqlState);
}

bool PgConnection::StillOpen() {
    if (conn_ == nullptr)
        return false;
    // An idle connection receives nothing unless the server is ending it
    // (a shutdown's notice, then the end of the stream).
    if (PQstatus(conn_) == CONNECTION_OK &&
        WaitReadable(PQsocket(conn_), 0) == SocketWait::TimedOut)
        return true;
    PQfinish(conn_);
    conn_ = nullptr;
    return false;
}

}  // namespace comflash::line
