#include "Session.h"

#include <libpq-fe.h>

#include <cstdlib>

#include "../KVWatchdog.h"
#include "Values.h"
#include "dataaccess/KVErrors.h"

namespace kvdriver::pg {

namespace {

std::string TrimEnd(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

void IgnoreNotice(void*, const char*) {}

class PgSession final : public Session {
public:
    explicit PgSession(const std::vector<std::string>& params) : FWatchdog([this] { SendCancel(); }) {
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
        const std::string encoding = "UTF8", options = "-c DateStyle=ISO,DMY", timeout = "15",
                          app = "dezoriv";
        add("client_encoding", encoding);
        add("options", options);
        add("connect_timeout", timeout);
        add("application_name", app);
        keys.push_back(nullptr);
        values.push_back(nullptr);

        FConn = PQconnectdbParams(keys.data(), values.data(), 0);
        if (!FConn || PQstatus(FConn) != CONNECTION_OK) {
            const std::string message = FConn ? TrimEnd(PQerrorMessage(FConn)) : "sem memória";
            if (FConn) PQfinish(FConn);
            FConn = nullptr;
            throw EKVDatabaseError(message, "08001");
        }
        PQsetNoticeProcessor(FConn, IgnoreNotice, nullptr);
        FCancel = PQgetCancel(FConn);
    }

    ~PgSession() override {
        if (FCancel) PQfreeCancel(FCancel);
        if (FConn) PQfinish(FConn);
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
            Command("BEGIN");
            throw EKVDatabaseError(
                "A transação foi cancelada por um erro anterior e foi desfeita; nada foi gravado.", "25P02");
        }
        if (status != PQTRANS_IDLE) Command("COMMIT");
        Command("BEGIN");
    }

    void RollbackRetaining() override {
        if (PQtransactionStatus(FConn) != PQTRANS_IDLE) Command("ROLLBACK");
        Command("BEGIN");
    }

    void Rollback() override {
        if (PQtransactionStatus(FConn) != PQTRANS_IDLE) Command("ROLLBACK");
    }

    ResultSet Execute(const std::string& sql, int timeoutMs) override {
        if (PQtransactionStatus(FConn) == PQTRANS_IDLE) Command("BEGIN");
        if (timeoutMs > 0) FWatchdog.Arm(timeoutMs);
        PGresult* res = PQexec(FConn, sql.c_str());
        const bool expired = timeoutMs > 0 && FWatchdog.Disarm();
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
        PQclear(res);
        return out;
    }

private:
    void Command(const char* sql) {
        PGresult* res = PQexec(FConn, sql);
        if (PQresultStatus(res) != PGRES_COMMAND_OK) Fail(res, false, 0);
        PQclear(res);
    }

    [[noreturn]] void Fail(PGresult* res, bool expired, int timeoutMs) {
        std::string code, message;
        if (res) {
            if (const char* s = PQresultErrorField(res, PG_DIAG_SQLSTATE)) code = s;
            if (const char* m = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY)) message = m;
            if (const char* d = PQresultErrorField(res, PG_DIAG_MESSAGE_DETAIL)) message += ". " + std::string(d);
        }
        if (message.empty()) message = TrimEnd(PQerrorMessage(FConn));
        PQclear(res);
        if (expired && code == "57014")
            throw EKVDatabaseError("TIMEOUT EXPIRED: o comando excedeu o tempo limite de " +
                                       std::to_string(timeoutMs) + " ms (" + message + ")",
                                   TimeoutCode);
        throw EKVDatabaseError(message, code);
    }

    void SendCancel() {
        char error[256];
        if (FCancel) PQcancel(FCancel, error, sizeof error);
    }

    PGconn* FConn = nullptr;
    PGcancel* FCancel = nullptr;
    Watchdog FWatchdog;
};

}  // namespace

std::unique_ptr<Session> OpenSession(const std::vector<std::string>& params) {
    return std::make_unique<PgSession>(params);
}

}  // namespace kvdriver::pg
