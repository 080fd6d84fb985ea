#include "Session.h"

#include <ibase.h>

#include <cstdlib>
#include <cstring>

#include "../KVWatchdog.h"
#include "Values.h"
#include "dataaccess/KVErrors.h"

namespace kvdriver::firebird {

namespace {

constexpr ISC_STATUS kCancelled = 335544794;  // isc_cancelled: operation was cancelled

void AddText(std::string& dpb, char tag, const std::string& value) {
    if (value.empty()) return;
    dpb += tag;
    dpb += static_cast<char>(value.size() > 255 ? 255 : value.size());
    dpb.append(value, 0, 255);
}

[[noreturn]] void Raise(const ISC_STATUS* status) {
    throw EKVDatabaseError(StatusMessage(status), std::to_string(status[1]));
}

struct SqldaDeleter {
    void operator()(XSQLDA* p) const { std::free(p); }
};
using SqldaPtr = std::unique_ptr<XSQLDA, SqldaDeleter>;

SqldaPtr NewSqlda(int columns) {
    auto* p = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(columns)));
    p->version = SQLDA_VERSION1;
    p->sqln = static_cast<short>(columns);
    return SqldaPtr(p);
}

class FbSession final : public Session {
public:
    explicit FbSession(const std::vector<std::string>& params) : FWatchdog([this] { SendCancel(); }) {
        const std::string path = AttachPath(params);
        std::string dpb(1, static_cast<char>(isc_dpb_version1));
        AddText(dpb, isc_dpb_user_name, ParamValue(params, "User_name"));
        AddText(dpb, isc_dpb_password, ParamValue(params, "Password"));
        AddText(dpb, isc_dpb_lc_ctype, "UTF8");
        ISC_STATUS_ARRAY status;
        if (isc_attach_database(status, 0, path.c_str(), &FDb, static_cast<short>(dpb.size()), dpb.data())) Raise(status);
    }

    ~FbSession() override {
        ISC_STATUS_ARRAY status;
        if (FTr) isc_rollback_transaction(status, &FTr);
        if (FDb) isc_detach_database(status, &FDb);
    }

    void StartTransaction() override {
        if (FTr) return;
        static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                                   isc_tpb_wait};
        ISC_STATUS_ARRAY status;
        if (isc_start_transaction(status, &FTr, 1, &FDb, static_cast<unsigned short>(sizeof tpb), tpb)) Raise(status);
    }

    bool InTransaction() const override { return FTr != 0; }

    void CommitRetaining() override {
        ISC_STATUS_ARRAY status;
        if (!FTr) {
            StartTransaction();
            return;
        }
        if (isc_commit_retaining(status, &FTr)) Raise(status);
    }

    void RollbackRetaining() override {
        ISC_STATUS_ARRAY status;
        if (!FTr) {
            StartTransaction();
            return;
        }
        if (isc_rollback_retaining(status, &FTr)) Raise(status);
    }

    void Rollback() override {
        ISC_STATUS_ARRAY status;
        if (FTr && isc_rollback_transaction(status, &FTr)) Raise(status);
    }

    ResultSet Execute(const std::string& sql, int timeoutMs) override {
        StartTransaction();
        ISC_STATUS_ARRAY status;
        isc_stmt_handle stmt = 0;
        if (isc_dsql_allocate_statement(status, &FDb, &stmt)) Raise(status);
        struct Dropper {
            isc_stmt_handle* h;
            ~Dropper() {
                ISC_STATUS_ARRAY s;
                if (*h) isc_dsql_free_statement(s, h, DSQL_drop);
            }
        } dropper{&stmt};

        SqldaPtr out = NewSqlda(16);
        if (isc_dsql_prepare(status, &FTr, &stmt, 0, sql.c_str(), 3, out.get())) Raise(status);
        if (out->sqld > out->sqln) {
            const int n = out->sqld;
            out = NewSqlda(n);
            if (isc_dsql_describe(status, &stmt, 1, out.get())) Raise(status);
        }
        // Only a statement with output columns needs its kind: a cursor to
        // fetch, or a procedure (or RETURNING) with one row of values.
        const int kind = out->sqld > 0 ? StatementType(stmt) : 0;

        ResultSet result;
        if (timeoutMs > 0) FWatchdog.Arm(timeoutMs);
        try {
            if (kind == isc_info_sql_stmt_select || kind == isc_info_sql_stmt_select_for_upd) {
                OutputRow row(out.get());
                result.columns = row.Describe();
                if (isc_dsql_execute(status, &FTr, &stmt, 3, nullptr)) Raise(status);
                ISC_STATUS rc;
                while ((rc = isc_dsql_fetch(status, &stmt, 3, out.get())) == 0) result.rows.push_back(row.Read(&FDb, &FTr));
                if (rc != 100) Raise(status);
                result.rowsAffected = static_cast<long long>(result.rows.size());
            } else if (out->sqld > 0) {
                OutputRow row(out.get());
                result.columns = row.Describe();
                if (isc_dsql_execute2(status, &FTr, &stmt, 3, nullptr, out.get())) Raise(status);
                result.rows.push_back(row.Read(&FDb, &FTr));
                result.rowsAffected = RowsAffected(stmt);
            } else {
                if (isc_dsql_execute(status, &FTr, &stmt, 3, nullptr)) Raise(status);
                result.rowsAffected = RowsAffected(stmt);
            }
        } catch (const EKVDatabaseError& e) {
            const bool expired = timeoutMs > 0 && FWatchdog.Disarm();
            if (expired && e.ServerCode() == std::to_string(kCancelled))
                throw EKVDatabaseError("TIMEOUT EXPIRED: o comando excedeu o tempo limite de " +
                                           std::to_string(timeoutMs) + " ms (" + e.what() + ")",
                                       TimeoutCode);
            throw;
        }
        if (timeoutMs > 0) FWatchdog.Disarm();
        return result;
    }

private:
    int StatementType(isc_stmt_handle& stmt) {
        static const char items[] = {isc_info_sql_stmt_type};
        char buf[16] = {};
        ISC_STATUS_ARRAY status;
        if (isc_dsql_sql_info(status, &stmt, sizeof items, items, sizeof buf, buf)) Raise(status);
        if (buf[0] != isc_info_sql_stmt_type) return 0;
        const short len = static_cast<short>(isc_vax_integer(buf + 1, 2));
        return static_cast<int>(isc_vax_integer(buf + 3, len));
    }

    long long RowsAffected(isc_stmt_handle& stmt) {
        static const char items[] = {isc_info_sql_records};
        char buf[64] = {};
        ISC_STATUS_ARRAY status;
        if (isc_dsql_sql_info(status, &stmt, sizeof items, items, sizeof buf, buf)) return -1;
        if (buf[0] != isc_info_sql_records) return 0;
        long long total = 0;
        const char* p = buf + 3;
        const char* end = buf + sizeof buf;
        while (p < end && *p != isc_info_end) {
            const char item = *p++;
            const short len = static_cast<short>(isc_vax_integer(p, 2));
            p += 2;
            const long long value = isc_vax_integer(p, len);
            p += len;
            if (item == isc_info_req_update_count || item == isc_info_req_delete_count ||
                item == isc_info_req_insert_count)
                total += value;
        }
        return total;
    }

    void SendCancel() {
        ISC_STATUS_ARRAY status;
        fb_cancel_operation(status, &FDb, fb_cancel_raise);
    }

    isc_db_handle FDb = 0;
    isc_tr_handle FTr = 0;
    Watchdog FWatchdog;
};

}  // namespace

std::string AttachPath(const std::vector<std::string>& params) {
    std::string server = ParamValue(params, "Server");
    const std::string database = ParamValue(params, "Database");
    if (server.empty()) return database;
    const std::string port = ParamValue(params, "Port");
    if (!port.empty() && server.find('/') == std::string::npos) server += "/" + port;
    return server + ":" + database;
}

std::unique_ptr<Session> OpenSession(const std::vector<std::string>& params) {
    return std::make_unique<FbSession>(params);
}

}  // namespace kvdriver::firebird
