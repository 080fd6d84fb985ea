// Fresh test databases on the test servers.
#include "test_support/TestDatabases.h"

#include <ibase.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace testsupport {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// A name no other test process will choose: pid, a counter and random bits.
std::string UniqueSuffix() {
    static std::atomic<int> counter{0};
    static const unsigned salt = std::random_device{}();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d_%d_%08x", static_cast<int>(getpid()), ++counter, salt);
    return buf;
}

std::string FbMessage(const ISC_STATUS* status) {
    std::string message;
    char buf[512];
    const ISC_STATUS* p = status;
    while (fb_interpret(buf, sizeof buf, &p)) {
        if (!message.empty()) message += "; ";
        message += buf;
    }
    return message;
}

void AddDpbText(std::string& dpb, char tag, const std::string& value) {
    dpb += tag;
    dpb += static_cast<char>(value.size());
    dpb += value;
}

void AddDpbInt(std::string& dpb, char tag, int value) {
    dpb += tag;
    dpb += static_cast<char>(4);
    for (int i = 0; i < 4; ++i) dpb += static_cast<char>((value >> (8 * i)) & 0xff);
}

const char* kEmbeddedUser = "SYSDBA";
const char* kEmbeddedPassword = "masterkey";

}  // namespace

const std::vector<Backend>& AllBackends() {
    static const std::vector<Backend> all{Backend::PG, Backend::FBEmbedded, Backend::FBRemote};
    return all;
}

std::string BackendName(Backend backend) {
    switch (backend) {
        case Backend::PG: return "PG";
        case Backend::FBEmbedded: return "FBEmbedded";
        case Backend::FBRemote: return "FBRemote";
    }
    return "?";
}

std::string DialectOf(Backend backend) {
    return backend == Backend::PG ? "PG" : "FB";
}

bool ServersRequired() {
    return !Env("CI").empty() || !Env("DEZORIV_REQUIRE_SERVERS").empty();
}

bool BackendAvailable(Backend backend) {
    switch (backend) {
        case Backend::PG: return !Env("DEZORIV_PG_HOST").empty() && !Env("DEZORIV_PG_PORT").empty();
        case Backend::FBRemote: return !Env("DEZORIV_FB_SERVER").empty() && !Env("DEZORIV_FB_DIR").empty();
        case Backend::FBEmbedded: return true;
    }
    return false;
}

std::string MissingServerReason(Backend backend) {
    const std::string hint = " (run the tests through scripts/run-tests.sh, or eval \"$(bash scripts/dev-servers.sh start)\")";
    if (backend == Backend::PG) return "PostgreSQL test server not configured: DEZORIV_PG_HOST/PORT unset" + hint;
    return "Firebird test server not configured: DEZORIV_FB_SERVER/DIR unset" + hint;
}

std::string TestTempFolder() {
    std::string base = Env("DEZORIV_TEST_RUN_DIR");
    if (base.empty()) base = "/tmp/dezoriv-tests-" + std::to_string(getuid());
    const std::string folder = base + "/files";
    std::filesystem::create_directories(folder);
    return folder;
}

std::string CreatePgDatabase() {
    if (!BackendAvailable(Backend::PG)) throw std::runtime_error(MissingServerReason(Backend::PG));
    const std::string name = "t_" + UniqueSuffix();
    const std::string host = Env("DEZORIV_PG_HOST"), port = Env("DEZORIV_PG_PORT"), user = Env("DEZORIV_PG_USER"),
                      password = Env("DEZORIV_PG_PASSWORD");
    const char* keys[] = {"host", "port", "user", "password", "dbname", nullptr};
    const char* values[] = {host.c_str(), port.c_str(), user.c_str(), password.c_str(), "postgres", nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 0);
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(conn);
        PQfinish(conn);
        throw std::runtime_error("cannot reach the PostgreSQL test server: " + message);
    }
    PGresult* res = PQexec(conn, ("CREATE DATABASE " + name + " TEMPLATE template0 ENCODING 'UTF8'").c_str());
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    const std::string message = PQerrorMessage(conn);
    PQclear(res);
    PQfinish(conn);
    if (!ok) throw std::runtime_error("CREATE DATABASE failed: " + message);
    return name;
}

std::string CreateFbFile(bool onServer) {
    std::string path, attach, user, password;
    if (onServer) {
        if (!BackendAvailable(Backend::FBRemote)) throw std::runtime_error(MissingServerReason(Backend::FBRemote));
        path = Env("DEZORIV_FB_DIR") + "/t_" + UniqueSuffix() + ".fdb";
        attach = Env("DEZORIV_FB_SERVER") + ":" + path;
        user = Env("DEZORIV_FB_USER");
        password = Env("DEZORIV_FB_PASSWORD");
    } else {
        path = TestTempFolder() + "/t_" + UniqueSuffix() + ".fdb";
        attach = path;
        user = kEmbeddedUser;
        password = kEmbeddedPassword;
    }
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    AddDpbText(dpb, isc_dpb_user_name, user);
    AddDpbText(dpb, isc_dpb_password, password);
    AddDpbInt(dpb, isc_dpb_page_size, 4096);
    AddDpbInt(dpb, isc_dpb_sql_dialect, 3);
    AddDpbInt(dpb, isc_dpb_force_write, 0);  // a test database needs no durable writes
    AddDpbText(dpb, isc_dpb_set_db_charset, "UTF8");
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    if (isc_create_database(status, 0, attach.c_str(), &db, static_cast<short>(dpb.size()), dpb.data(), 0))
        throw std::runtime_error("CREATE DATABASE " + attach + " failed: " + FbMessage(status));
    isc_detach_database(status, &db);
    return path;
}

std::unique_ptr<TKVDatabase> PgConnection(const std::string& database) {
    auto db = std::make_unique<TKVDatabase>();
    db->DriverName = "PG";
    db->HostName = Env("DEZORIV_PG_HOST");
    db->Database = database;
    db->User = Env("DEZORIV_PG_USER");
    db->Password = Env("DEZORIV_PG_PASSWORD");
    db->Port = std::atoi(Env("DEZORIV_PG_PORT").c_str());
    return db;
}

std::unique_ptr<TKVDatabase> FbEmbeddedConnection(const std::string& path) {
    auto db = std::make_unique<TKVDatabase>();
    db->DriverName = "FB";
    db->SetDatabaseName(path);
    db->User = kEmbeddedUser;
    db->Password = kEmbeddedPassword;
    return db;
}

std::unique_ptr<TKVDatabase> FbRemoteConnection(const std::string& path) {
    // DEZORIV_FB_SERVER is "host/port": the host goes to HostName, the port to Port.
    const std::string server = Env("DEZORIV_FB_SERVER");
    const auto slash = server.find('/');
    auto db = std::make_unique<TKVDatabase>();
    db->DriverName = "FB";
    db->HostName = server.substr(0, slash);
    db->Database = path;
    if (slash != std::string::npos) db->Port = std::atoi(server.c_str() + slash + 1);
    db->User = Env("DEZORIV_FB_USER");
    db->Password = Env("DEZORIV_FB_PASSWORD");
    return db;
}

std::unique_ptr<TKVDatabase> NewDatabase(Backend backend) {
    switch (backend) {
        case Backend::PG: return PgConnection(CreatePgDatabase());
        case Backend::FBEmbedded: return FbEmbeddedConnection(CreateFbFile(false));
        case Backend::FBRemote: return FbRemoteConnection(CreateFbFile(true));
    }
    return nullptr;
}

std::string NewTestFolder(const std::string& prefix) {
    const std::string folder = TestTempFolder() + "/" + prefix + UniqueSuffix() + "/";
    std::filesystem::create_directories(folder);
    return folder;
}

std::string IniBancoSection(Backend backend, const std::string& database) {
    if (backend == Backend::PG)
        return "[Banco]\nservidor=" + Env("DEZORIV_PG_HOST") + ":" + Env("DEZORIV_PG_PORT") + "\nbase=" + database +
               "\nusuario=" + Env("DEZORIV_PG_USER") + "\nsenha=" + Env("DEZORIV_PG_PASSWORD") +
               "\nbanco=POSTGRES\n";
    return "[Banco]\nservidor=\nbase=" + database + "\nusuario=SYSDBA\nsenha=masterkey\n";
}

std::unique_ptr<TKVDatabase> ConnectionFor(Backend backend, const std::string& database) {
    switch (backend) {
        case Backend::PG: return PgConnection(database);
        case Backend::FBEmbedded: return FbEmbeddedConnection(database);
        case Backend::FBRemote: return FbRemoteConnection(database);
    }
    return nullptr;
}

void ExecuteCommitted(Backend backend, const std::string& database, const std::string& sql) {
    auto db = ConnectionFor(backend, database);
    kvdriver::Session& session = db->Session();
    if (!session.InTransaction()) session.StartTransaction();
    session.Execute(sql, 0);
    session.CommitRetaining();
    db->Close();
}

kvdriver::ResultSet QueryRows(Backend backend, const std::string& database, const std::string& sql) {
    auto db = ConnectionFor(backend, database);
    kvdriver::Session& session = db->Session();
    if (!session.InTransaction()) session.StartTransaction();
    kvdriver::ResultSet result = session.Execute(sql, 0);
    db->Close();
    return result;
}

}  // namespace testsupport
