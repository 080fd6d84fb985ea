// The driver seam below the connection: one session per connection and one
// statement per execution. Real drivers: "PG" (libpq) and "FB" (fbclient,
// remote or embedded). Tests may install a scripted driver to check the exact
// texts of statements without a server.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/TKVField.h"

namespace kvdriver {

struct ColumnInfo {
    std::string name;          // as the server reports it (PG lower case, FB upper case)
    TKVFieldType type = TKVFieldType::Unknown;  // source type, before mapping rules
    int precision = 0, scale = 0, size = 0;
};

struct ResultSet {
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<TKVValue>> rows;
    long long rowsAffected = -1;
};

// Errors of a driver are EKVDatabaseError with the server's message and its
// code; a statement that outlives its time limit fails with a message that
// contains "TIMEOUT EXPIRED" (code kvdriver::TimeoutCode). An error after
// which the connection is gone (or one that could not be made) has
// ConnectionLost() set; the connection then drops the session unused.
inline constexpr const char* TimeoutCode = "TIMEOUT";

// A session holds one default transaction. Execute starts it on its own when
// none is open; it stays open until committed or rolled back.
class Session {
public:
    virtual ~Session() = default;
    virtual void StartTransaction() = 0;
    virtual bool InTransaction() const = 0;
    virtual void CommitRetaining() = 0;
    virtual void RollbackRetaining() = 0;
    virtual void Rollback() = 0;  // ends the transaction (disconnect, end of a run)
    // Runs one statement; timeoutMs 0 means no limit.
    virtual ResultSet Execute(const std::string& sql, int timeoutMs) = 0;
};

// A statement whose server does not answer is abandoned, and its connection
// taken for lost, once its time limit plus graceMs has passed (60 000 ms), or,
// without a time limit, after noLimitMs (600 000 ms). Connecting gives up
// after 15 s. Tests shorten the bounds; the service never changes them.
void SetDeadConnectionBounds(int graceMs, int noLimitMs);

// Opens a session from the connection's driver name and Name=Value lines.
using SessionFactory = std::function<std::unique_ptr<Session>(
    const std::string& driverName, const std::vector<std::string>& params)>;

// The factory every connection uses unless one is set on it. Knows "PG" and
// "FB"; any other driver name fails with a clear EKVDatabaseError.
std::unique_ptr<Session> OpenSession(const std::string& driverName,
                                     const std::vector<std::string>& params);

// The value of the line "name=..." of a parameter list (name compared without
// letter case); empty when absent.
std::string ParamValue(const std::vector<std::string>& params, const std::string& name);
bool HasParam(const std::vector<std::string>& params, const std::string& name);

}  // namespace kvdriver
