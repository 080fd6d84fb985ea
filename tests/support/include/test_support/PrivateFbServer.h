// A Firebird 3 server process of a test's own on 127.0.0.1, configured as
// scripts/test-env/20-firebird.sh configures the shared one (a private
// configuration folder with its own security database and SYSDBA password),
// run as a child of the test. Database files live in its data folder.
#pragma once
#include <memory>
#include <string>

#include "test_support/ChildProcess.h"
#include "test_support/PrivateDbServer.h"

namespace testsupport {

class PrivateFbServer : public PrivateDbServer {
public:
    PrivateFbServer();
    ~PrivateFbServer() override;

    std::string Dialect() const override { return "FB"; }
    void Start() override;
    // SIGTERM: the server shuts down and closes its connections (SIGKILL
    // when it has not ended after a few seconds).
    void Stop() override;
    void Kill() override;
    bool Running() const override;

    int Port() const override { return FPort; }
    const std::string& Folder() const override { return FFolder; }
    const std::string& Password() const { return FPassword; }
    std::string DataFolder() const { return FFolder + "data/"; }

    std::string CreateDatabase(const std::string& name) override;
    std::unique_ptr<TKVDatabase> Connection(const std::string& database, int port = 0) const override;
    std::string IniBancoSection(const std::string& database, int port = 0) const override;

private:
    void Create();
    void WriteConfiguration();
    bool Launch();  // false: the server ended, or another process holds the port
    std::string LogTail() const;

    std::string FFolder;  // with a trailing '/'
    std::string FPassword;
    int FPort = 0;
    bool FCreated = false;
    std::unique_ptr<ChildProcess> FServer;
};

}  // namespace testsupport
