// A throwaway PostgreSQL 15 cluster of a test's own on 127.0.0.1: made with
// initdb as the scripts/test-env/10-postgres.sh cluster is (owned by the
// postgres user when the test runs as root, password authentication over
// TCP), its postmaster a child of the test process. Unlike that cluster it
// commits synchronously: a reported commit survives a killed server (not a
// crash of the machine, as nothing is synced to disk).
#pragma once
#include <memory>
#include <string>

#include "test_support/ChildProcess.h"
#include "test_support/PrivateDbServer.h"

namespace testsupport {

class PrivatePgServer : public PrivateDbServer {
public:
    PrivatePgServer();
    ~PrivatePgServer() override;

    std::string Dialect() const override { return "PG"; }
    void Start() override;
    // Fast shut-down: sessions are ended with an error, open work undone.
    void Stop() override;
    // Immediate shut-down: no checkpoint, crash recovery at the next start.
    void StopImmediate();
    // SIGKILL of the postmaster. Its backends notice and end by themselves;
    // those still there after a few seconds are killed as well, so that the
    // cluster can start again.
    void Kill() override;
    bool Running() const override;

    int Port() const override { return FPort; }
    const std::string& Folder() const override { return FFolder; }
    const std::string& Password() const { return FPassword; }

    std::string CreateDatabase(const std::string& name) override;
    std::unique_ptr<TKVDatabase> Connection(const std::string& database, int port = 0) const override;
    std::string IniBancoSection(const std::string& database, int port = 0) const override;

private:
    void Create();
    bool Launch();  // false: the postmaster ended before accepting connections
    void EndPostmaster(int signal, const char* how);
    std::string LogTail() const;

    std::string FFolder;  // with a trailing '/'
    std::string FPassword;
    int FPort = 0;
    bool FCreated = false;
    std::unique_ptr<ChildProcess> FPostmaster;
};

}  // namespace testsupport
