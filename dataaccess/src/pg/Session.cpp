#include "Session.h"

#include <libpq-fe.h>
#include <sys/socket.h>

#include <cstdlib>

#include "../KVWatchdog.h"
#include "Values.h"
#include "dataaccess/KVErrors.h"
#include "textutil/Blanks.h"

namespace kvdriver::pg {

namespace {

using textutil::TrimRightBlanks;

void IgnoreNotice(void*, const char*) {}

// libpq's objects, each released by its owner.
struct ResultClear {
    void operator()(PGresult* res) const { PQclear(res); }
};
using Result = std::unique_ptr<PGresult, ResultClear>;
struct ConnFinish {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
using Connection = std::unique_ptr<PGconn, ConnFinish>;

// SQLSTATEs after which the server has ended the session: connection
// exceptions (class 08), admin_shutdown, crash_shutdown, cannot_connect_now.
bool EndsTheSession(const std::string& code) {
    return code.rfind("08", 0) == 0 || code == "57P01" || code == "57P02" || code == "57P03";
}

// The cancel key of a connection, on its own: a cancel request may still be on
// its way after the session is gone.
using CancelKey = std::shared_ptr<PGcancel>;

class PgSession final : public Session {
public:
    explicit PgSession(const std::vector<std::string>& params)
        : FWatchdog([key = FCancelKey] { SendCancel(key); }, [this] { Abandon(); }) {
        std::string host = ParamValue(params, "Server");
        std::string port = ParamValue(params, "Port");
        if (const auto slash = host.find('/'); slash != std::string::npos) {
            if (port.empty()) port = host.substr(slash + 1);
            host.erase(slash);
        }
        const std::string db = ParamValue(params, "Database");
        const std::string user = ParamValue(params, "User_name");
        const std::string password = ParamValue(params, "Password");

        std::vector<const char*> keys, values;
        auto add = [&](const char* k, const std::string& v) {
            if (!v.empty()) {
                keys.push_back(k);
                values.push_back(v.c_str());
            }
        };
        add("host", host);
        add("port", port);
        add("dbname", db);
        add("user", user);
        add("password", password);
        // A dead network must not hold the service: connecting gives up after
        // 15 s; an idle or waiting connection is probed after 30 s of silence
        // and taken for dead when 3 probes 10 s apart go unanswered, or when
        // data sent stays unacknowledged for 60 s.
        const std::string encoding = "UTF8", options = "-c DateStyle=ISO,DMY", timeout = "15",
                          app = "dezoriv", on = "1", idle = "30", interval = "10", count = "3",
                          userTimeout = "60000";
        add("client_encoding", encoding);
        add("options", options);
        add("connect_timeout", timeout);
        add("application_name", app);
        add("keepalives", on);
        add("keepalives_idle", idle);
        add("keepalives_interval", interval);
        add("keepalives_count", count);
        add("tcp_user_timeout", userTimeout);
        keys.push_back(nullptr);
        values.push_back(nullptr);

        FOwnedConn.reset(PQconnectdbParams(keys.data(), values.data(), 0));
        FConn = FOwnedConn.get();
        if (!FConn || PQstatus(FConn) != CONNECTION_OK)
            throw EKVDatabaseError(FConn ? TrimRightBlanks(PQerrorMessage(FConn)) : "sem memória", "08001", true);
        PQsetNoticeProcessor(FConn, IgnoreNotice, nullptr);
        *FCancelKey = CancelKey(PQgetCancel(FConn), PQfreeCancel);
        FSocket = PQsocket(FConn);
    }

    ~PgSession() override {
        FWatchdog.Stop();  // before the connection goes
    }

    void StartTransaction() override { Command("BEGIN"); }

    bool InTransaction() const override {
        const auto status = PQtransactionStatus(FConn);
        return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
    }

    void CommitRetaining() override {
        const auto status = PQtransactionStatus(FConn);
        if (status == PQTRANS_INERROR) {
            // PostgreSQL would answer COMMIT with a silent rollback here.
            Command("ROLLBACK");
            throw EKVDatabaseError(
                "A transação foi cancelada por um erro anterior e foi desfeita; nada foi gravado.", "25P02");
        }
        // The next statement begins the next transaction: no session sits
        // "idle in transaction" between two runs, holding locks.
        if (status != PQTRANS_IDLE) Command("COMMIT");
    }

    void RollbackRetaining() override {
        if (PQtransactionStatus(FConn) != PQTRANS_IDLE) Command("ROLLBACK");
    }

    void Rollback() override {
        if (PQtransactionStatus(FConn) != PQTRANS_IDLE) Command("ROLLBACK");
    }

    ResultSet Execute(const std::string& sql, int timeoutMs) override {
        if (PQtransactionStatus(FConn) == PQTRANS_IDLE) Command("BEGIN");
        Result owned;
        Watchdog::Outcome watch;
        {
            ArmedWatch armed(FWatchdog, timeoutMs);
            // The extended protocol runs exactly one statement: a text that
            // holds a second one is refused whole, so nothing can ride along
            // behind a statement.
            owned.reset(PQexecParams(FConn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
            watch = armed.Disarm();
        }
        if (watch.abandoned) Abandoned();
        PGresult* const res = owned.get();
        const bool expired = watch.cancelled;
        ResultSet out;
        const auto status = PQresultStatus(res);
        if (status == PGRES_TUPLES_OK) {
            const int nc = PQnfields(res), nr = PQntuples(res);
            out.columns.reserve(static_cast<size_t>(nc));
            std::vector<Oid> oids(static_cast<size_t>(nc));
            for (int c = 0; c < nc; ++c) {
                out.columns.push_back(DescribeColumn(res, c));
                oids[static_cast<size_t>(c)] = PQftype(res, c);
            }
            out.rows.resize(static_cast<size_t>(nr));
            for (int r = 0; r < nr; ++r) {
                auto& row = out.rows[static_cast<size_t>(r)];
                row.reserve(static_cast<size_t>(nc));
                for (int c = 0; c < nc; ++c)
                    row.push_back(ReadValue(res, r, c, out.columns[static_cast<size_t>(c)].type,
                                            oids[static_cast<size_t>(c)]));
            }
            out.rowsAffected = nr;
        } else if (status == PGRES_COMMAND_OK || status == PGRES_EMPTY_QUERY) {
            const char* n = PQcmdTuples(res);
            out.rowsAffected = (n && *n) ? std::atoll(n) : 0;
        } else {
            Fail(res, expired, timeoutMs);
        }
        return out;
    }

private:
    void Command(const char* sql) {
        Result res;
        Watchdog::Outcome watch;
        {
            ArmedWatch armed(FWatchdog, 0);
            res.reset(PQexec(FConn, sql));
            watch = armed.Disarm();
        }
        if (watch.abandoned) Abandoned();
        if (PQresultStatus(res.get()) != PGRES_COMMAND_OK) Fail(res.get(), false, 0);
    }

    // The server did not answer within the bound: the socket was shut down.
    [[noreturn]] void Abandoned() {
        throw EKVDatabaseError("O servidor de banco de dados não respondeu no tempo limite; a conexão foi dada "
                               "como perdida (" + TrimRightBlanks(PQerrorMessage(FConn)) + ")",
                               "08006", true);
    }

    [[noreturn]] void Fail(const PGresult* res, bool expired, int timeoutMs) {
        std::string code, message;
        if (res) {
            if (const char* s = PQresultErrorField(res, PG_DIAG_SQLSTATE)) code = s;
            if (const char* m = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY)) message = m;
            if (const char* d = PQresultErrorField(res, PG_DIAG_MESSAGE_DETAIL)) message += ". " + std::string(d);
        }
        if (message.empty()) message = TrimRightBlanks(PQerrorMessage(FConn));
        // Lost: libpq says the connection is bad, or the server said it ends
        // the session.
        const bool lost = PQstatus(FConn) == CONNECTION_BAD || EndsTheSession(code);
        if (expired && code == "57014" && !lost)
            throw EKVDatabaseError("TIMEOUT EXPIRED: o comando excedeu o tempo limite de " +
                                       std::to_string(timeoutMs) + " ms (" + message + ")",
                                   TimeoutCode);
        throw EKVDatabaseError(message, code, lost);
    }

    static void SendCancel(const std::shared_ptr<CancelKey>& key) {
        char error[256];
        if (CancelKey k = *key) PQcancel(k.get(), error, sizeof error);
    }

    // From the watchdog's thread while PQexec waits: the wait ends at once.
    void Abandon() {
        if (FSocket >= 0) ::shutdown(FSocket, SHUT_RDWR);
    }

    Connection FOwnedConn;
    PGconn* FConn = nullptr;  // FOwnedConn's connection
    int FSocket = -1;
    // Filled once the connection exists; the watchdog's cancel holds a copy.
    std::shared_ptr<CancelKey> FCancelKey = std::make_shared<CancelKey>();
    Watchdog FWatchdog;
};

}  // namespace

std::unique_ptr<Session> OpenSession(const std::vector<std::string>& params) {
    return std::make_unique<PgSession>(params);
}

}  // namespace kvdriver::pg
