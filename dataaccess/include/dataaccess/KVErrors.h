// Exceptions of the data-access library.
#pragma once
#include <stdexcept>
#include <string>

// A database error: the message is the Portuguese text callers see; the
// server's own code (SQLSTATE for PostgreSQL, the ISC/GDS code as decimal
// text for Firebird) travels beside it for code that must decide on it.
class EKVDatabaseError : public std::runtime_error {
public:
    explicit EKVDatabaseError(const std::string& message, std::string serverCode = {})
        : std::runtime_error(message), FServerCode(std::move(serverCode)) {}
    const std::string& ServerCode() const { return FServerCode; }

private:
    std::string FServerCode;
};

// An input/output error, raised when a trace file cannot be written.
class EKVInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A silent abort: ends the current operation without a message (a refused
// record delete raises it). Handlers of unexpected errors let it pass quietly.
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};
