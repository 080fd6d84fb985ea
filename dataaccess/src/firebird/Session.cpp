#include "Session.h"

#include <ibase.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "../KVWatchdog.h"
#include "ConnectProbe.h"
#include "LegacyBinds.h"
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

// Whether a status vector says the attachment is gone: network errors, a
// lost connection, a server or database shutting down. Every code of the
// vector counts (a network error usually comes first, its cause after it).
bool LosesConnection(const ISC_STATUS* status) {
    static const ISC_STATUS lost[] = {
        335544721,  // isc_network_error
        335544722,  // isc_net_connect_err
        335544723,  // isc_net_connect_listen_err
        335544726,  // isc_net_read_err
        335544727,  // isc_net_write_err
        335544741,  // isc_lost_db_connection
        335544648,  // isc_conn_lost
        335544704,  // isc_net_lookup_err
        335544421,  // isc_connect_reject
        335544528,  // isc_shutdown
        335544506,  // isc_shutinprog
        335544856,  // isc_att_shutdown
        335544971,  // isc_net_server_shutdown
        335544324,  // isc_bad_db_handle (the attachment is no more)
    };
    for (const ISC_STATUS* p = status; *p != isc_arg_end;) {
        const ISC_STATUS kind = p[0];
        if (kind == isc_arg_gds)
            for (ISC_STATUS code : lost)
                if (p[1] == code) return true;
        if (kind == isc_arg_cstring) {
            p += 3;
        } else {
            p += 2;
        }
    }
    return false;
}

[[noreturn]] void Raise(const ISC_STATUS* status) {
    throw EKVDatabaseError(StatusMessage(status), std::to_string(status[1]), LosesConnection(status));
}

constexpr char kConnectTimeoutSeconds = 15;

// The process's TCP sockets (the client library gives no access to the one
// of an attachment: it is found as the socket that attaching added).
std::set<int> TcpSockets() {
    std::set<int> fds;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec)) {
        const int fd = std::atoi(it->path().filename().c_str());
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        int type = 0;
        socklen_t typeLen = sizeof type;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) continue;
        if (addr.ss_family != AF_INET && addr.ss_family != AF_INET6) continue;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLen) != 0 || type != SOCK_STREAM) continue;
        fds.insert(fd);
    }
    return fds;
}

// The same intent as the PostgreSQL connection's settings: a silent peer is
// probed after 30 s and taken for dead after 3 unanswered probes 10 s apart,
// or when data sent stays unacknowledged for 60 s.
void KeepAlive(int fd) {
    const int on = 1, idle = 30, interval = 10, count = 3;
    const unsigned int userTimeout = 60000;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
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
    explicit FbSession(const std::vector<std::string>& params)
        : FWatchdog([handle = FHandle] { SendCancel(handle); }, [this] { Abandon(); }) {
        const std::string path = AttachPath(params);
        const bool remote = HasParam(params, "Server");
        std::string dpb(1, static_cast<char>(isc_dpb_version1));
        AddText(dpb, isc_dpb_user_name, ParamValue(params, "User_name"));
        AddText(dpb, isc_dpb_password, ParamValue(params, "Password"));
        AddText(dpb, isc_dpb_lc_ctype, "UTF8");
        dpb += static_cast<char>(isc_dpb_connect_timeout);
        dpb += static_cast<char>(1);
        dpb += kConnectTimeoutSeconds;
        if (remote) ProbeServer(AddressOf(ParamValue(params, "Server"), ParamValue(params, "Port")), kConnectTimeoutSeconds);
        const std::set<int> before = remote ? TcpSockets() : std::set<int>{};
        ISC_STATUS_ARRAY status;
        if (isc_attach_database(status, 0, path.c_str(), &FDb, static_cast<short>(dpb.size()), dpb.data()))
            // Whatever kept the attachment from being made, the database
            // could not be reached.
            throw EKVDatabaseError(StatusMessage(status), std::to_string(status[1]), true);
        *FHandle = FDb;
        if (remote)
            for (int fd : TcpSockets())
                if (!before.count(fd)) {
                    KeepAlive(fd);
                    FSockets.push_back(fd);
                }
        // Firebird 4 and later: the legacy forms of their newer types, so a
        // site works without changing its server's configuration.
        if (!ApplyLegacyBinds(&FDb, status)) {
            const EKVDatabaseError error(StatusMessage(status), std::to_string(status[1]), true);
            ISC_STATUS_ARRAY ignored;
            isc_detach_database(ignored, &FDb);
            throw error;
        }
    }

    ~FbSession() override {
        FWatchdog.Stop();
        ISC_STATUS_ARRAY status;
        if (FTr) isc_rollback_transaction(status, &FTr);
        if (FTr) fb_disconnect_transaction(status, &FTr);  // the connection is gone
        if (FDb) isc_detach_database(status, &FDb);
    }

    void StartTransaction() override {
        if (FTr) return;
        Watched watch(*this, 0);
        static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                                   isc_tpb_wait};
        ISC_STATUS_ARRAY status;
        if (isc_start_transaction(status, &FTr, 1, &FDb, static_cast<unsigned short>(sizeof tpb), tpb))
            watch.Raise(status);
    }

    bool InTransaction() const override { return FTr != 0; }

    void CommitRetaining() override {
        ISC_STATUS_ARRAY status;
        if (!FTr) return;  // nothing was done since the transaction ended
        Watched watch(*this, 0);
        if (isc_commit_retaining(status, &FTr)) watch.Raise(status);
    }

    void RollbackRetaining() override {
        ISC_STATUS_ARRAY status;
        if (!FTr) return;
        Watched watch(*this, 0);
        if (isc_rollback_retaining(status, &FTr)) watch.Raise(status);
    }

    void Rollback() override {
        ISC_STATUS_ARRAY status;
        if (!FTr) return;
        Watched watch(*this, 0);
        if (isc_rollback_transaction(status, &FTr)) watch.Raise(status);
    }

    ResultSet Execute(const std::string& sql, int timeoutMs) override {
        StartTransaction();
        Watched watch(*this, timeoutMs);
        try {
            ResultSet result = Run(sql);
            watch.Done();
            return result;
        } catch (const EKVDatabaseError& e) {
            watch.Rethrow(e);
        }
    }

private:
    ResultSet Run(const std::string& sql) {
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
        return result;
    }

    // One call (or a statement's calls) under the watchdog: a time limit
    // that ran out becomes "TIMEOUT EXPIRED", an abandoned call a lost
    // connection.
    class Watched {
    public:
        Watched(FbSession& session, int timeoutMs) : FArmed(session.FWatchdog, timeoutMs), FTimeoutMs(timeoutMs) {}
        void Done() { FArmed.Disarm(); }
        // Whether a status vector says the attachment is gone: network errors, a
// lost connection, a server or database shutting down. Every code of the
// vector counts (a network error usually comes first, its cause after it).
bool LosesConnection(const ISC_STATUS* status) {
    static const ISC_STATUS lost[] = {
        335544721,  // isc_network_error
        335544722,  // isc_net_connect_err
        335544723,  // isc_net_connect_listen_err
        335544726,  // isc_net_read_err
        335544727,  // isc_net_write_err
        335544741,  // isc_lost_db_connection
        335544648,  // isc_conn_lost
        335544704,  // isc_net_lookup_err
        335544421,  // isc_connect_reject
        335544528,  // isc_shutdown
        335544506,  // isc_shutinprog
        335544856,  // isc_att_shutdown
        335544971,  // isc_net_server_shutdown
        335544324,  // isc_bad_db_handle (the attachment is no more)
    };
    for (const ISC_STATUS* p = status; *p != isc_arg_end;) {
        const ISC_STATUS kind = p[0];
        if (kind == isc_arg_gds)
            for (ISC_STATUS code : lost)
                if (p[1] == code) return true;
        if (kind == isc_arg_cstring) {
            p += 3;
        } else {
            p += 2;
        }
    }
    return false;
}

[[noreturn]] void Raise(const ISC_STATUS* status) {
            try {
                firebird::Raise(status);
            } catch (const EKVDatabaseError& e) {
                Rethrow(e);
            }
        }
        [[noreturn]] void Rethrow(const EKVDatabaseError& e) {
            const Watchdog::Outcome outcome = FArmed.Disarm();
            if (outcome.abandoned)
                throw EKVDatabaseError("O servidor de banco de dados não respondeu no tempo limite; a conexão foi "
                                       "dada como perdida (" + std::string(e.what()) + ")",
                                       e.ServerCode(), true);
            if (outcome.cancelled && e.ServerCode() == std::to_string(kCancelled))
                throw EKVDatabaseError("TIMEOUT EXPIRED: o comando excedeu o tempo limite de " +
                                           std::to_string(FTimeoutMs) + " ms (" + e.what() + ")",
                                       TimeoutCode);
            throw e;
        }

    private:
        ArmedWatch FArmed;
        int FTimeoutMs;
    };

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

    // The handle is copied: the request may run after the session is gone,
    // when the client library answers it with an invalid-handle error.
    static void SendCancel(const std::shared_ptr<isc_db_handle>& handle) {
        ISC_STATUS_ARRAY status;
        isc_db_handle db = *handle;
        if (db) fb_cancel_operation(status, &db, fb_cancel_raise);
    }

    // From the watchdog's thread while a call waits: the wait ends at once.
    void Abandon() {
        for (int fd : FSockets) ::shutdown(fd, SHUT_RDWR);
    }

    isc_db_handle FDb = 0;
    isc_tr_handle FTr = 0;
    std::vector<int> FSockets;  // the attachment's connection to a server
    std::shared_ptr<isc_db_handle> FHandle = std::make_shared<isc_db_handle>(0);
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
