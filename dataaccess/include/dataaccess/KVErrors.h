// Exceptions of the data-access library.
#pragma once
#include <stdexcept>
#include <string>

// A database error: the message is the Portuguese text callers see; the
// server's own code (SQLSTATE for PostgreSQL, the ISC/GDS code as decimal
// text for Firebird) travels beside it for code that must decide on it.
class EKVDatabaseError : public std::runtime_error {
public:
    explicit EKVDatabaseError(const std::string& message, std::string serverCode = {}, bool connectionLost = false)
        : std::runtime_error(message), FServerCode(std::move(serverCode)), FConnectionLost(connectionLost) {}
    const std::string& ServerCode() const { return FServerCode; }

    // The database could not be reached: the connection was lost or refused,
    // the server is shutting down, or connecting failed. The server has
    // undone the open work; the connection drops its session, so the next
    // statement connects again. Set by the drivers from the servers' codes
    // and the connection's state, never from the message text.
    bool ConnectionLost() const { return FConnectionLost; }

    // The statement failed for a passing reason: its time limit ran out
    // (typically against a lock an ERP user holds), a deadlock, an update
    // conflict, a lock time-out or a serialization failure. The same work
    // tried again later may well succeed.
    bool Transient() const;

private:
    std::string FServerCode;
    bool FConnectionLost = false;
};

// The same tests on any exception (false for what is not a database error).
bool IsConnectionLost(const std::exception& e);
bool IsTransient(const std::exception& e);

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
