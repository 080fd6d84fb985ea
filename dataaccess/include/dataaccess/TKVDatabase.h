// The connection component: dialect code, name split, connect set-up with
// Name=Value lines per dialect, result type mapping rules, SQL trace switch.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dataaccess/KVDriver.h"
#include "dataaccess/KVErrors.h"
#include "dataaccess/TKVField.h"
#include "dataaccess/TKVGravaLog.h"

class TKVCustomTransaction;

// A result type mapping rule: a column of the source type whose precision,
// scale and size fall within the ranges (nullopt: any) is delivered as target.
struct TKVMapRule {
    TKVFieldType source;
    std::optional<std::pair<int, int>> precision, scale, size;
    TKVFieldType target;
};

class TKVCustomDatabase {
public:
    TKVCustomDatabase();
    virtual ~TKVCustomDatabase();  // rolls back open work and disconnects
    TKVCustomDatabase(const TKVCustomDatabase&) = delete;
    TKVCustomDatabase& operator=(const TKVCustomDatabase&) = delete;

    std::string DriverName;  // "FB", "PG" or "Ora" (also "SQLite" for the name split)

    const std::string& DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const std::string& name);  // runs the name split

    std::string HostName;
    std::string Database;
    std::string User;
    std::string Password;
    std::string NmUsuario;
    bool GravaLog = false;  // the property alone does not create a trace holder
    int32_t Port = 0;
    TKVGravaLog* DadosGravaLog() const { return FDadosGravaLog.get(); }

    // Name=Value lines of the last connect set-up, and its mapping rules.
    const std::vector<std::string>& Params() const { return FParams; }
    const std::vector<TKVMapRule>& MapRules() const { return FMapRules; }

    bool Connected() const { return FSession != nullptr; }
    void SetConnected(bool value);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }

    void GetDatabase(TKVCustomDatabase* parent);
    void SetGravaLog(bool value);

    TKVCustomTransaction* Transaction() const { return FTransaction; }
    // Names the default transaction component (it is bound back to this).
    void SetTransaction(TKVCustomTransaction* transaction);
    // The default transaction's operations, on the session (connecting first
    // when closed). A database error that says the connection is gone drops
    // the session without a rollback (the server has already undone the open
    // work), so the next statement connects again; work done since the last
    // commit is then lost, and the next CommitRetaining says so instead of
    // committing what came after the loss.
    kvdriver::ResultSet Execute(const std::string& sql, int timeoutMs);
    void StartTransaction();
    // Commits the work so far; with nothing connected there is nothing to commit.
    void CommitRetaining();
    // Undoes the open work; with nothing connected there is nothing to undo.
    // (Work lost with a connection stays reported until the application
    // rolls back through its transaction component.)
    void RollbackRetaining();
    // Ends the default transaction for real, rolled back, so that none stays
    // open between two runs of a job. Never throws: a session that cannot end
    // its transaction is dropped.
    void EndTransaction() noexcept;
    // Whether the default transaction is open (false when disconnected).
    bool InTransaction() const;

    // The driver session; connects first when closed. Calls made straight on
    // it bypass the dropping of a lost session.
    kvdriver::Session& Session();
    // Replaces the driver factory of this connection (tests use a scripted one).
    void SetSessionFactory(kvdriver::SessionFactory factory);

    // Applies the mapping rules to a source column type.
    TKVFieldType MapType(const kvdriver::ColumnInfo& column) const;

private:
    friend class TKVCustomTransaction;
    void Connect();
    void Disconnect() noexcept;
    // Runs a call on the session; a lost connection drops the session.
    template <typename F>
    decltype(auto) Guarded(F&& call);
    // Guarded, and once more on a new connection when a session left idle
    // after a unit of work turns out closed.
    template <typename F>
    decltype(auto) Resuming(F&& call);
    void DropSession() noexcept;

    std::string FDatabaseName;
    std::vector<std::string> FParams;
    std::vector<TKVMapRule> FMapRules;
    std::unique_ptr<TKVGravaLog> FDadosGravaLog;
    std::unique_ptr<kvdriver::Session> FSession;
    kvdriver::SessionFactory FFactory;
    TKVCustomTransaction* FTransaction = nullptr;
    bool FPendingWork = false;  // statements ran since the last commit or rollback
    bool FLostWork = false;     // that work went with a lost connection
    bool FResumable = false;    // a unit of work ended on this session, no statement since
};

class TKVDatabase : public TKVCustomDatabase {};
