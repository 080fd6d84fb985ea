// A PostgreSQL cluster of a test's own: initdb, settings, the postmaster run
// as a child of the test, readiness through libpq, the three ways to stop.
#include "test_support/PrivatePgServer.h"

#include <libpq-fe.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "test_support/LocalPorts.h"
#include "test_support/TestDatabases.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

const char* kPgBin = "/usr/lib/postgresql/15/bin/";
const char* kPgUser = "postgres";
using Clock = std::chrono::steady_clock;

void HandTo(const std::string& path, const char* user) {
    if (::geteuid() != 0) return;
    const passwd* pw = ::getpwnam(user);
    if (!pw) throw std::runtime_error(std::string("no user ") + user);
    if (::chown(path.c_str(), pw->pw_uid, pw->pw_gid) != 0) throw std::runtime_error("cannot chown " + path);
}

// Processes whose parent is `pid`.
std::vector<pid_t> ChildrenOf(pid_t pid) {
    std::vector<pid_t> children;
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(it->path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == pid) children.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return children;
}

bool Alive(pid_t pid) { return ::kill(pid, 0) == 0; }

}  // namespace

PrivatePgServer::PrivatePgServer() : FFolder(NewTestFolder("pg-")), FPassword(RandomPassword()) {}

PrivatePgServer::~PrivatePgServer() {
    try {
        if (Running()) Stop();
    } catch (...) {
    }
    FPostmaster.reset();
    std::error_code ec;
    fs::remove_all(FFolder, ec);
}

void PrivatePgServer::Create() {
    HandTo(FFolder, kPgUser);
    fs::permissions(FFolder, fs::perms::owner_all);
    const std::string pwfile = FFolder + "pwfile";
    std::ofstream(pwfile) << FPassword << "\n";
    HandTo(pwfile, kPgUser);
    fs::create_directories(FFolder + "sock");
    HandTo(FFolder + "sock", kPgUser);

    ChildOptions initdb;
    initdb.argv = {std::string(kPgBin) + "initdb", "-D", FFolder + "data", "-U", kPgUser, "-E", "UTF8",
                   "--locale=C.UTF-8", "--auth-local=trust", "--auth-host=scram-sha-256", "--no-sync",
                   "--pwfile=" + pwfile};
    initdb.runAsUser = kPgUser;
    const CommandResult made = RunCommand(initdb, std::chrono::seconds(120));
    if (made.status != 0) throw std::runtime_error("initdb failed (" + DescribeEnd(made.status) + "):\n" + made.output);
    FCreated = true;
}

bool PrivatePgServer::Launch() {
    // Settings of the cluster (the port may change on the first start). A
    // commit's WAL is written before the commit is reported (synchronous
    // commit): the tests kill the server, and a reported commit must survive
    // that. Writes need not reach the disk (no fsync): the machine stays up.
    std::ofstream(FFolder + "data/postgresql.auto.conf", std::ios::trunc)
        << "listen_addresses = '127.0.0.1'\n"
        << "port = " << FPort << "\n"
        << "unix_socket_directories = '" << FFolder << "sock'\n"
        << "fsync = off\nsynchronous_commit = on\nfull_page_writes = off\n"
        << "lc_messages = 'C'\ndeadlock_timeout = 200ms\nmax_connections = 50\nshared_buffers = 16MB\n";
    HandTo(FFolder + "data/postgresql.auto.conf", kPgUser);

    ChildOptions postgres;
    postgres.argv = {std::string(kPgBin) + "postgres", "-D", FFolder + "data"};
    postgres.runAsUser = kPgUser;
    postgres.workingFolder = FFolder;
    postgres.logFile = FFolder + "server.log";
    FPostmaster = std::make_unique<ChildProcess>(postgres);

    const std::string port = std::to_string(FPort);
    const char* keys[] = {"host", "port", "dbname", "user", "connect_timeout", nullptr};
    const char* values[] = {"127.0.0.1", port.c_str(), "postgres", kPgUser, "2", nullptr};
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline) {
        if (FPostmaster->Wait(std::chrono::milliseconds(0))) return false;
        if (PQpingParams(keys, values, 0) == PQPING_OK) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FPostmaster->Kill();
    throw std::runtime_error("PostgreSQL did not accept connections within 60 s:\n" + LogTail());
}

void PrivatePgServer::Start() {
    if (Running()) return;
    if (FCreated) {
        if (!Launch()) throw std::runtime_error("PostgreSQL did not start again:\n" + LogTail());
        return;
    }
    Create();
    // A port taken in the meantime by someone else: try another.
    for (int attempt = 0; attempt < 3; ++attempt) {
        FPort = FreeLocalPort();
        if (Launch()) return;
    }
    throw std::runtime_error("PostgreSQL did not start:\n" + LogTail());
}

void PrivatePgServer::EndPostmaster(int signal, const char* how) {
    if (!Running()) return;
    FPostmaster->Signal(signal);
    if (!FPostmaster->Wait(std::chrono::seconds(60))) {
        FPostmaster->Kill();
        throw std::runtime_error(std::string("PostgreSQL did not end after a ") + how + " shut-down:\n" + LogTail());
    }
}

void PrivatePgServer::Stop() { EndPostmaster(SIGINT, "fast"); }

void PrivatePgServer::StopImmediate() { EndPostmaster(SIGQUIT, "immediate"); }

void PrivatePgServer::Kill() {
    if (!Running()) return;
    const std::vector<pid_t> backends = ChildrenOf(FPostmaster->Pid());
    FPostmaster->Kill();
    auto allGone = [&] {
        for (pid_t p : backends)
            if (Alive(p)) return false;
        return true;
    };
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!allGone() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (pid_t p : backends) ::kill(p, SIGKILL);
    const auto last = Clock::now() + std::chrono::seconds(10);
    while (!allGone() && Clock::now() < last) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

bool PrivatePgServer::Running() const {
    if (!FPostmaster) return false;
    return !FPostmaster->Wait(std::chrono::milliseconds(0)).has_value();
}

std::string PrivatePgServer::CreateDatabase(const std::string& name) {
    const std::string port = std::to_string(FPort);
    const char* keys[] = {"host", "port", "dbname", "user", "password", nullptr};
    const char* values[] = {"127.0.0.1", port.c_str(), "postgres", kPgUser, FPassword.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 0);
    std::string message;
    bool ok = PQstatus(conn) == CONNECTION_OK;
    if (ok) {
        PGresult* res = PQexec(conn, ("CREATE DATABASE " + name + " TEMPLATE template0 ENCODING 'UTF8'").c_str());
        ok = PQresultStatus(res) == PGRES_COMMAND_OK;
        PQclear(res);
    }
    if (!ok) message = PQerrorMessage(conn);
    PQfinish(conn);
    if (!ok) throw std::runtime_error("CREATE DATABASE " + name + " failed: " + message);
    return name;
}

std::unique_ptr<TKVDatabase> PrivatePgServer::Connection(const std::string& database, int port) const {
    auto db = std::make_unique<TKVDatabase>();
    db->DriverName = "PG";
    db->HostName = "127.0.0.1";
    db->Port = port ? port : FPort;
    db->Database = database;
    db->User = kPgUser;
    db->Password = FPassword;
    return db;
}

std::string PrivatePgServer::IniBancoSection(const std::string& database, int port) const {
    return "[Banco]\nservidor=127.0.0.1:" + std::to_string(port ? port : FPort) + "\nbase=" + database +
           "\nusuario=" + kPgUser + "\nsenha=" + FPassword + "\nbanco=POSTGRES\n";
}

std::string PrivatePgServer::LogTail() const {
    std::ifstream f(FFolder + "server.log");
    std::ostringstream all;
    all << f.rdbuf();
    const std::string text = all.str();
    return text.size() > 4000 ? text.substr(text.size() - 4000) : text;
}

}  // namespace testsupport
