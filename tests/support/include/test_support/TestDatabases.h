// Test databases on the project's test servers (see scripts/test-env/):
// a fresh PostgreSQL database or Firebird file per test, and a TKVDatabase
// configured for it as the service would configure its connection.
//
// Servers are found through DEZORIV_PG_HOST/PORT/USER/PASSWORD and
// DEZORIV_FB_SERVER/USER/PASSWORD/DIR. Embedded Firebird needs nothing.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataaccess/TKVDatabase.h"

namespace testsupport {

// Where a test database lives.
enum class Backend { PG, FBEmbedded, FBRemote };

// All three, in a fixed order (for parameterised suites).
const std::vector<Backend>& AllBackends();
// "PG", "FBEmbedded", "FBRemote" (usable as a test name suffix).
std::string BackendName(Backend backend);
// The dialect code of the backend's connection: "PG" or "FB".
std::string DialectOf(Backend backend);

// True when a missing server must fail a test (CI or DEZORIV_REQUIRE_SERVERS set).
bool ServersRequired();
// Whether the backend's server variables are set (embedded: always).
bool BackendAvailable(Backend backend);
// What is missing, for the message of a skipped or failed test.
std::string MissingServerReason(Backend backend);

// Fresh, empty databases. Each call gives a new unique one.
std::string CreatePgDatabase();                          // returns the database name
std::string CreateFbFile(bool onServer);                 // returns the file path
// A folder for this test process's own files (created when missing).
std::string TestTempFolder();

// Connections configured for a database (not yet connected): the lines the
// service would give for the backend.
std::unique_ptr<TKVDatabase> PgConnection(const std::string& database);
std::unique_ptr<TKVDatabase> FbEmbeddedConnection(const std::string& path);
std::unique_ptr<TKVDatabase> FbRemoteConnection(const std::string& path);

// A fresh database on the backend and a connection configured for it.
std::unique_ptr<TKVDatabase> NewDatabase(Backend backend);

// A fresh, empty folder below TestTempFolder(), named prefix + a unique
// suffix, given with a trailing '/'.
std::string NewTestFolder(const std::string& prefix);
// The database that CreatePgDatabase or CreateFbFile(false) made for a
// service installation of a test: the [Banco] section of its DEZORiv.ini
// (PostgreSQL or embedded Firebird), a connection for it, and single
// statements run untranslated on a connection of their own.
std::string IniBancoSection(Backend backend, const std::string& database);
std::unique_ptr<TKVDatabase> ConnectionFor(Backend backend, const std::string& database);
void ExecuteCommitted(Backend backend, const std::string& database, const std::string& sql);
kvdriver::ResultSet QueryRows(Backend backend, const std::string& database, const std::string& sql);

// Runs the statements of a script (separated by ";" at the end of a line)
// through the connection's driver session, untranslated, committing after
// each one. Lines starting with "--" are comments.
void RunSqlScript(TKVDatabase& db, const std::string& path);
void RunSqlText(TKVDatabase& db, const std::string& text);
// The statements of a script text, as RunSqlText splits them.
std::vector<std::string> SplitSqlScript(const std::string& text);

}  // namespace testsupport

// Use at the start of a test body or SetUp: fails the test when the backend's
// server is missing and servers are required, skips it otherwise.
#define DEZORIV_REQUIRE_BACKEND(backend)                                                   \
    do {                                                                                   \
        if (!::testsupport::BackendAvailable(backend)) {                                   \
            if (::testsupport::ServersRequired()) {                                        \
                FAIL() << ::testsupport::MissingServerReason(backend);                     \
            } else {                                                                       \
                GTEST_SKIP() << ::testsupport::MissingServerReason(backend);               \
            }                                                                              \
        }                                                                                  \
    } while (0)
