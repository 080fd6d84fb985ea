// The legacy type forms a session asks of Firebird 4 and later right after
// attaching: which servers get them, and that Firebird 3 gets nothing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "firebird/LegacyBinds.h"
#include "firebird/Values.h"
#include "test_support/TestDatabases.h"

using kvdriver::firebird::LegacyBindStatements;
using testsupport::Backend;
using Lines = std::vector<std::string>;

namespace {

TEST(FirebirdLegacyBinds, StatementsByServerVersion) {
    const Lines legacy = {"SET BIND OF INT128 TO DOUBLE PRECISION", "SET BIND OF DECFLOAT TO LEGACY",
                          "SET BIND OF TIME ZONE TO LEGACY"};
    struct Case {
        const char* version;
        Lines statements;
    } cases[] = {
        {"3.0.11", {}},
        {"LI-V3.0.11.33637 Firebird 3.0", {}},
        {"WI-V2.5.9.27139 Firebird 2.5", {}},
        {"4.0.2", legacy},
        {"LI-V4.0.2.2816 Firebird 4.0", legacy},
        {"5.0.1", legacy},
        {"WI-T6.0.0.1 Firebird 6.0 Initial", legacy},
        {"LI-V10.1.0.1 Firebird 10.1", legacy},
        {"", {}},
        {"Firebird", {}},
        {"versão 4", {}},
        {"LI-V", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(LegacyBindStatements(c.version), c.statements) << c.version;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

class FirebirdLegacyBindsOnServer : public ::testing::TestWithParam<Backend> {};

// Firebird 3, remote or embedded: the session reads the engine's version and
// sends no statement.
TEST_P(FirebirdLegacyBindsOnServer, Firebird3GetsNothing) {
    DEZORIV_REQUIRE_BACKEND(GetParam());
    const bool remote = GetParam() == Backend::FBRemote;
    const std::string path = testsupport::CreateFbFile(remote);
    const std::string attach = remote ? Env("DEZORIV_FB_SERVER") + ":" + path : path;
    const std::string user = remote ? Env("DEZORIV_FB_USER") : "SYSDBA";
    const std::string password = remote ? Env("DEZORIV_FB_PASSWORD") : "masterkey";
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    for (auto [tag, value] : {std::pair{isc_dpb_user_name, user}, std::pair{isc_dpb_password, password}}) {
        dpb += static_cast<char>(tag);
        dpb += static_cast<char>(value.size());
        dpb += value;
    }
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    ASSERT_EQ(isc_attach_database(status, 0, attach.c_str(), &db, static_cast<short>(dpb.size()), dpb.data()), 0)
        << kvdriver::firebird::StatusMessage(status);

    std::string version;
    EXPECT_TRUE(kvdriver::firebird::ServerVersionText(&db, status, &version));
    EXPECT_EQ(kvdriver::firebird::ServerMajorVersion(version), 3) << version;
    EXPECT_NE(version.find("Firebird 3."), std::string::npos) << version;
    Lines sent;
    EXPECT_TRUE(kvdriver::firebird::ApplyLegacyBinds(&db, status, &sent)) << kvdriver::firebird::StatusMessage(status);
    EXPECT_EQ(sent, Lines{});
    isc_detach_database(status, &db);
}

INSTANTIATE_TEST_SUITE_P(Backends, FirebirdLegacyBindsOnServer, ::testing::Values(Backend::FBEmbedded, Backend::FBRemote),
                         [](const auto& info) { return testsupport::BackendName(info.param); });

}  // namespace
