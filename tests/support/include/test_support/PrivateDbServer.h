// A database server of a test's own, which the test may stop, kill and start
// again (on the same data folder and port) without disturbing the shared
// test servers of scripts/test-env. Its folder lies below TestTempFolder()
// and is removed with the object; a server still running then is stopped.
#pragma once
#include <memory>
#include <string>

#include "dataaccess/TKVDatabase.h"

namespace testsupport {

class PrivateDbServer {
public:
    virtual ~PrivateDbServer() = default;

    // "PG" or "FB": the dialect of its connections.
    virtual std::string Dialect() const = 0;

    // The first call creates the server (a fresh port, folder and superuser
    // password) and starts it; later calls start it again on the same folder
    // and port. Returns once it accepts connections; throws when it does not.
    virtual void Start() = 0;
    // Orderly shut-down: open connections are closed by the server.
    virtual void Stop() = 0;
    // SIGKILL of the server process: connections break without a word.
    virtual void Kill() = 0;
    virtual bool Running() const = 0;

    virtual int Port() const = 0;
    virtual const std::string& Folder() const = 0;

    // Creates an empty database; gives what names it in connections and in
    // DEZORiv.ini (the PostgreSQL database name, the Firebird file path).
    virtual std::string CreateDatabase(const std::string& name) = 0;
    // A connection to the database (not yet connected), as the superuser,
    // through 127.0.0.1:port (0: the server's own port).
    virtual std::unique_ptr<TKVDatabase> Connection(const std::string& database, int port = 0) const = 0;
    // The [Banco] section of a DEZORiv.ini that reaches the database through
    // 127.0.0.1:port (0: the server's own port; another one: a relay).
    virtual std::string IniBancoSection(const std::string& database, int port = 0) const = 0;
};

// A database of the server loaded with the write-off ERP fixture; gives its
// name as CreateDatabase does.
std::string CreateWriteOffErp(PrivateDbServer& server, const std::string& name = "erp");

// A password of letters and digits.
std::string RandomPassword();

}  // namespace testsupport
