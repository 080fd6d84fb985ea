// A Firebird server of a test's own: configuration folder, security
// database, the server process as a child of the test, readiness when it
// listens on its port itself.
#include "test_support/PrivateFbServer.h"

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "erp_fixture/ErpFixture.h"
#include "test_support/LocalPorts.h"
#include "test_support/TestDatabases.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

const char* kFbRoot = "/usr/lib/x86_64-linux-gnu/firebird/3.0/";
const char* kFbServer = "/usr/sbin/firebird";
const char* kIsql = "/usr/bin/isql-fb";
using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
    std::ifstream f(path);
    std::ostringstream all;
    all << f.rdbuf();
    return all.str();
}

}  // namespace

PrivateFbServer::PrivateFbServer() : FFolder(NewTestFolder("fb-")), FPassword(RandomPassword().substr(0, 8)) {}

PrivateFbServer::~PrivateFbServer() {
    try {
        if (Running()) Stop();
    } catch (...) {
    }
    FServer.reset();
    std::error_code ec;
    fs::remove_all(FFolder, ec);
}

void PrivateFbServer::WriteConfiguration() {
    std::ofstream(FFolder + "conf/firebird.conf", std::ios::trunc)
        << "RemoteServicePort = " << FPort << "\n"
        << "RemoteBindAddress = 127.0.0.1\n"
        << "SecurityDatabase = " << FFolder << "conf/security3.fdb\n"
        << "DeadlockTimeout = 1\n";
}

void PrivateFbServer::Create() {
    for (const char* sub : {"conf", "lock", "data"}) fs::create_directories(FFolder + sub);
    fs::permissions(FFolder + "data", fs::perms::all);
    for (const char* x : {"plugins", "intl", "UDF", "firebird.msg", "plugins.conf"}) {
        const std::string from = std::string(kFbRoot) + x;
        if (fs::exists(from)) fs::create_symlink(from, FFolder + "conf/" + x);
    }
    FPort = FreeLocalPort();
    WriteConfiguration();

    const std::string script = FFolder + "security.sql";
    std::ofstream(script) << "create database '" << FFolder << "conf/security3.fdb';\n"
                          << "create user SYSDBA password '" << FPassword << "';\ncommit;\n";
    ChildOptions isql;
    isql.argv = {kIsql, "-q"};
    isql.env = {{"FIREBIRD", FFolder + "conf"}, {"FIREBIRD_LOCK", FFolder + "lock"}};
    isql.stdinFile = script;
    const CommandResult made = RunCommand(isql, std::chrono::seconds(60));
    if (made.status != 0 || !fs::exists(FFolder + "conf/security3.fdb"))
        throw std::runtime_error("Firebird security database not made (" + DescribeEnd(made.status) + "):\n" +
                                 made.output);
    FCreated = true;
}

bool PrivateFbServer::Launch() {
    ChildOptions server;
    server.argv = {kFbServer};
    server.env = {{"FIREBIRD", FFolder + "conf"}, {"FIREBIRD_LOCK", FFolder + "lock"}};
    server.workingFolder = FFolder;
    server.logFile = FFolder + "server.log";
    FServer = std::make_unique<ChildProcess>(server);
    // Ready when the server itself listens: it keeps running, without
    // listening, when another process holds its port.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        if (FServer->Wait(std::chrono::milliseconds(0))) return false;
        if (ProcessListensOn(FServer->Pid(), FPort)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    FServer->Kill();
    return false;
}

void PrivateFbServer::Start() {
    if (Running()) return;
    if (FCreated) {
        if (!Launch()) throw std::runtime_error("Firebird did not start again on port " + std::to_string(FPort) +
                                                ":\n" + LogTail());
        return;
    }
    Create();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) {
            FPort = FreeLocalPort();
            WriteConfiguration();
        }
        if (Launch()) return;
    }
    throw std::runtime_error("Firebird did not start:\n" + LogTail());
}

void PrivateFbServer::Stop() {
    if (!Running()) return;
    FServer->Signal(SIGTERM);
    if (!FServer->Wait(std::chrono::seconds(10))) FServer->Kill();
}

void PrivateFbServer::Kill() {
    if (Running()) FServer->Kill();
}

bool PrivateFbServer::Running() const {
    if (!FServer) return false;
    return !FServer->Wait(std::chrono::milliseconds(0)).has_value();
}

std::string PrivateFbServer::CreateDatabase(const std::string& name) {
    const std::string path = DataFolder() + name + ".fdb";
    erp_fixture::CreateFirebirdDatabase("127.0.0.1/" + std::to_string(FPort) + ":" + path, "SYSDBA", FPassword);
    return path;
}

std::unique_ptr<TKVDatabase> PrivateFbServer::Connection(const std::string& database, int port) const {
    auto db = std::make_unique<TKVDatabase>();
    db->DriverName = "FB";
    db->HostName = "127.0.0.1";
    db->Port = port ? port : FPort;
    db->Database = database;
    db->User = "SYSDBA";
    db->Password = FPassword;
    return db;
}

std::string PrivateFbServer::IniBancoSection(const std::string& database, int port) const {
    return "[Banco]\nservidor=127.0.0.1/" + std::to_string(port ? port : FPort) + ":\nbase=" + database +
           "\nusuario=SYSDBA\nsenha=" + FPassword + "\nbanco=\n";
}

std::string PrivateFbServer::LogTail() const {
    std::string text = ReadAll(FFolder + "server.log") + ReadAll(FFolder + "conf/firebird.log");
    return text.size() > 4000 ? text.substr(text.size() - 4000) : text;
}

}  // namespace testsupport
