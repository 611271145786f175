// What goes wrong between a station and the line database.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace comflash::line {

// The server refused a request or holds something this tool cannot use. The
// SQLSTATE is the server's code for it (empty when the fault is ours).
class LineError : public std::runtime_error {
public:
    explicit LineError(const std::string& message, std::string sqlState = {})
        : std::runtime_error(message), sqlState_(std::move(sqlState)) {}
    const std::string& SqlState() const { return sqlState_; }

private:
    std::string sqlState_;
};

// The server cannot be reached, or the connection broke before a request's
// outcome was known. Serial numbers pause until it is back; records wait in
// the spool. what() is "line database unreachable (<why>)".
class LineUnreachable : public LineError {
public:
    explicit LineUnreachable(const std::string& why)
        : LineError("line database unreachable (" + why + ")"), why_(why) {}
    const std::string& Why() const { return why_; }

private:
    std::string why_;
};

}  // namespace comflash::line
