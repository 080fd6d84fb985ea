// The connection component: name split, connect set-up, mapping rules,
// copying from a parent connection, trace switch.
#include "dataaccess/TKVDatabase.h"

#include <algorithm>
#include <chrono>

#include "dataaccess/KVPlatform.h"
#include "dataaccess/TKVTransaction.h"
#include "textutil/Blanks.h"

namespace {

// A loss found this fast is a connection closed while idle, not a silent
// network.
constexpr auto kQuickLoss = std::chrono::seconds(5);

using textutil::TrimBlanks;

using T = TKVFieldType;
using R = std::pair<int, int>;

std::vector<TKVMapRule> RulesFor(const std::string& driver) {
    if (driver == "FB")
        return {
            {T::BCD, R{2, 21}, R{2, 15}, std::nullopt, T::Float},
            {T::FMTBcd, R{2, 21}, R{2, 15}, std::nullopt, T::Float},
            {T::TimeStamp, std::nullopt, std::nullopt, std::nullopt, T::Time},
        };
    if (driver == "Ora")
        return {
            {T::BCD, R{0, 18}, R{2, 4}, R{2, 8}, T::Currency},
            {T::FMTBcd, R{0, 38}, R{0, 38}, R{2, 8}, T::Float},
            {T::BCD, R{0, 9}, R{0, 0}, R{0, 0}, T::Integer},
            {T::DateTime, std::nullopt, std::nullopt, std::nullopt, T::Date},
            {T::TimeStamp, std::nullopt, std::nullopt, std::nullopt, T::Time},
            {T::WideLargeMemo, std::nullopt, std::nullopt, std::nullopt, T::LargeMemo},
        };
    if (driver == "PG")
        return {
            {T::BCD, std::nullopt, std::nullopt, std::nullopt, T::Currency},
            {T::FMTBcd, std::nullopt, std::nullopt, std::nullopt, T::Float},
            {T::DateTime, std::nullopt, std::nullopt, std::nullopt, T::Date},
            {T::TimeStamp, std::nullopt, std::nullopt, std::nullopt, T::Time},
            {T::WideMemo, std::nullopt, std::nullopt, std::nullopt, T::Memo},
            {T::WideLargeMemo, std::nullopt, std::nullopt, std::nullopt, T::LargeMemo},
            {T::WideString, std::nullopt, std::nullopt, std::nullopt, T::String},
        };
    return {};
}

bool InRange(const std::optional<std::pair<int, int>>& range, int v) {
    return !range || (v >= range->first && v <= range->second);
}

}  // namespace

TKVCustomDatabase::TKVCustomDatabase() = default;

TKVCustomDatabase::~TKVCustomDatabase() {
    if (FTransaction) FTransaction->FDatabase = nullptr;
    try {
        Disconnect();
    } catch (...) {
    }
}

void TKVCustomDatabase::SetDatabaseName(const std::string& name) {
    FDatabaseName = name;
    if (TrimBlanks(name).empty()) return;
    const auto colon = name.find(':');
    if (colon != std::string::npos && DriverName != "SQLite") {
        HostName = name.substr(0, colon);
        Database = TrimBlanks(name.substr(colon + 1));
    } else {
        Database = name;
        HostName.clear();
    }
}

void TKVCustomDatabase::SetConnected(bool value) {
    if (value) {
        if (!FSession) Connect();
    } else {
        GravaLog = false;
        Disconnect();
    }
}

void TKVCustomDatabase::Connect() {
    FResumable = false;
    FMapRules.clear();
    const std::string driver = DriverName;
    FParams.clear();
    DriverName = driver;

    const std::string host = TrimBlanks(HostName);
    if (!host.empty()) FParams.push_back("Server=" + host);
    FParams.push_back("Database=" + TrimBlanks(Database));
    if (const auto u = TrimBlanks(User); !u.empty()) FParams.push_back("User_name=" + u);
    if (const auto p = TrimBlanks(Password); !p.empty()) FParams.push_back("Password=" + p);
    if (Port != 0) FParams.push_back("Port=" + std::to_string(Port));
    if (DriverName == "Ora") {
        FParams.push_back("AuthMode=NORMAL");
    } else if (DriverName == "FB") {
        if (!host.empty()) FParams.push_back("Protocol=TCPIP");
        FParams.push_back("PageSize=4096");
    }
    FMapRules = RulesFor(DriverName);

    FSession = FFactory ? FFactory(DriverName, FParams) : kvdriver::OpenSession(DriverName, FParams);
}

void TKVCustomDatabase::Disconnect() noexcept {
    if (!FSession) return;
    auto session = std::move(FSession);
    FPendingWork = false;
    // Open work is rolled back when the connection closes; a session that
    // cannot do it is closed all the same (the server undoes the work).
    try {
        if (session->InTransaction()) session->Rollback();
    } catch (...) {
    }
}

void TKVCustomDatabase::DropSession() noexcept {
    if (!FSession) return;
    FLostWork = FLostWork || FPendingWork;
    FPendingWork = false;
    FSession.reset();  // the drivers' destructors never throw
}

template <typename F>
decltype(auto) TKVCustomDatabase::Guarded(F&& call) {
    kvdriver::Session& session = Session();
    try {
        return call(session);
    } catch (const EKVDatabaseError& e) {
        if (e.ConnectionLost()) DropSession();
        throw;
    }
}

// A connection that sat idle between two units of work may have been closed
// meanwhile (a server restart, a firewall that drops idle connections); the
// first call of the next unit then finds it closed at once. No work was
// open on it, so the call goes once more on a new connection. A connection
// that fails slowly (a silent network) is not tried again: its bound has
// already been spent.
template <typename F>
decltype(auto) TKVCustomDatabase::Resuming(F&& call) {
    const bool resumable = FSession && FResumable && !FPendingWork && !FLostWork;
    const auto started = std::chrono::steady_clock::now();
    try {
        return Guarded(call);
    } catch (const EKVDatabaseError& e) {
        if (!resumable || !e.ConnectionLost() || std::chrono::steady_clock::now() - started > kQuickLoss) throw;
    }
    FLostWork = false;
    return Guarded(call);
}

void TKVCustomDatabase::GetDatabase(TKVCustomDatabase* parent) {
    if (!parent) throw EKVDatabaseError("Conexão pai não existe.");
    if (Connected()) SetConnected(false);
    DriverName = parent->DriverName;
    SetDatabaseName(parent->DatabaseName());
    Database = parent->Database;
    HostName = parent->HostName;
    Port = parent->Port;
    User = parent->User;
    Password = parent->Password;
    try {
        SetConnected(true);
    } catch (const EKVDatabaseError& e) {
        throw EKVDatabaseError("Erro ao abrir a base \r" + std::string(e.what()), e.ServerCode(), e.ConnectionLost());
    } catch (const std::exception& e) {
        throw EKVDatabaseError("Erro ao abrir a base \r" + std::string(e.what()));
    }
}

void TKVCustomDatabase::SetGravaLog(bool value) {
    GravaLog = value;
    if (value) {
        if (!FDadosGravaLog) {
            FDadosGravaLog = std::make_unique<TKVGravaLog>();
            FDadosGravaLog->NmMaquina = GetMachineName();
            FDadosGravaLog->NrIP = GetLocalIP();
        } else if (!TrimBlanks(FDadosGravaLog->NmMaquina).empty()) {
            FDadosGravaLog->NmMaquina = GetMachineName();
            FDadosGravaLog->NrIP = GetLocalIP();
        }
    } else {
        FDadosGravaLog.reset();
    }
}

void TKVCustomDatabase::SetTransaction(TKVCustomTransaction* transaction) {
    if (FTransaction == transaction) return;
    TKVCustomTransaction* old = FTransaction;
    FTransaction = transaction;
    if (old && old->FDatabase == this) old->FDatabase = nullptr;
    if (transaction && transaction->FDatabase != this) transaction->SetDatabase(this);
}

kvdriver::ResultSet TKVCustomDatabase::Execute(const std::string& sql, int timeoutMs) {
    return Resuming([&](kvdriver::Session& s) {
        FPendingWork = true;
        FResumable = false;
        return s.Execute(sql, timeoutMs);
    });
}

void TKVCustomDatabase::StartTransaction() {
    Resuming([](kvdriver::Session& s) { s.StartTransaction(); });
}

void TKVCustomDatabase::CommitRetaining() {
    if (FLostWork) {
        // What the statements after the loss did must not be committed as if
        // it were the whole unit of work.
        FLostWork = false;
        if (FSession) {
            try {
                Guarded([](kvdriver::Session& s) { s.RollbackRetaining(); });
            } catch (...) {
            }
        }
        FPendingWork = false;
        throw EKVDatabaseError(
            "A conexão com o banco de dados foi perdida antes da gravação; o servidor desfez o trabalho "
            "não gravado.",
            "08006", true);
    }
    if (!FSession) return;
    Guarded([](kvdriver::Session& s) { s.CommitRetaining(); });
    FPendingWork = false;
    FResumable = true;
}

void TKVCustomDatabase::RollbackRetaining() {
    if (!FSession) return;
    Guarded([](kvdriver::Session& s) { s.RollbackRetaining(); });
    FPendingWork = false;
    FResumable = true;
}

void TKVCustomDatabase::EndTransaction() noexcept {
    FLostWork = false;
    FPendingWork = false;
    if (!FSession) return;
    try {
        if (FSession->InTransaction()) FSession->Rollback();
        FResumable = true;
    } catch (...) {
        DropSession();
        FLostWork = false;
    }
}

kvdriver::Session& TKVCustomDatabase::Session() {
    if (!FSession) SetConnected(true);
    return *FSession;
}

bool TKVCustomDatabase::InTransaction() const {
    return FSession && FSession->InTransaction();
}

void TKVCustomDatabase::SetSessionFactory(kvdriver::SessionFactory factory) {
    FFactory = std::move(factory);
}

TKVFieldType TKVCustomDatabase::MapType(const kvdriver::ColumnInfo& column) const {
    for (const auto& rule : FMapRules)
        if (rule.source == column.type && InRange(rule.precision, column.precision) &&
            InRange(rule.scale, column.scale) && InRange(rule.size, column.size))
            return rule.target;
    return column.type;
}
