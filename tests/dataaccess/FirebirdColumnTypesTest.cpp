// Result columns of types the Firebird driver does not read fail with a
// message that names the column and its type, never as NULL values.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "dataaccess/KVErrors.h"
#include "dataaccess/TKVQuery.h"
#include "firebird/SqlTypes.h"
#include "firebird/Values.h"
#include "test_support/TestDatabases.h"

using kvdriver::firebird::OutputRow;
using testsupport::Backend;

namespace {

struct SqldaFree {
    void operator()(XSQLDA* p) const { std::free(p); }
};

// A one-column descriptor as the server describes a column of `sqltype`.
std::unique_ptr<XSQLDA, SqldaFree> OneColumn(int sqltype, const char* alias, short length) {
    auto* p = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(1)));
    p->version = SQLDA_VERSION1;
    p->sqln = p->sqld = 1;
    XSQLVAR& v = p->sqlvar[0];
    v.sqltype = static_cast<short>(sqltype | 1);
    v.sqllen = length;
    v.aliasname_length = static_cast<short>(std::strlen(alias));
    std::memcpy(v.aliasname, alias, std::strlen(alias));
    return std::unique_ptr<XSQLDA, SqldaFree>(p);
}

TEST(FirebirdColumnTypes, UnreadableTypesFailNamingColumnAndType) {
    struct Case {
        int sqltype;
        short length;
        const char* name;
    } cases[] = {
        {SQL_INT128, 16, "INT128"},
        {SQL_DEC16, 8, "DECFLOAT(16)"},
        {SQL_DEC34, 16, "DECFLOAT(34)"},
        {SQL_TIMESTAMP_TZ, 10, "TIMESTAMP WITH TIME ZONE"},
        {SQL_TIME_TZ, 6, "TIME WITH TIME ZONE"},
        {SQL_TIMESTAMP_TZ_EX, 12, "EXTENDED TIMESTAMP WITH TIME ZONE"},
        {SQL_TIME_TZ_EX, 8, "EXTENDED TIME WITH TIME ZONE"},
        {SQL_ARRAY, 8, "ARRAY"},
        {31000, 8, "desconhecido"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sqltype);
        auto sqlda = OneColumn(c.sqltype, "CUSTO_MEDIO", c.length);
        OutputRow row(sqlda.get());
        const std::string expected = "A coluna CUSTO_MEDIO tem o tipo " + std::string(c.name) + " (código " +
                                     std::to_string(c.sqltype) + "), que o acesso ao Firebird não lê.";
        try {
            row.Describe();
            ADD_FAILURE() << "Describe accepted the column";
        } catch (const EKVDatabaseError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(expected, 0), 0u) << e.what();
        }
        // A value of the column is never taken for NULL either.
        *sqlda->sqlvar[0].sqlind = 0;
        EXPECT_THROW(row.Read(nullptr, nullptr), EKVDatabaseError);
    }
}

// The types the driver reads still pass, and a NULL-typed column reads NULL.
TEST(FirebirdColumnTypes, ReadTypesPass) {
    struct Case {
        int sqltype;
        short length;
        TKVFieldType type;
    } cases[] = {
        {SQL_LONG, 4, TKVFieldType::Integer},
        {SQL_INT64, 8, TKVFieldType::LargeInt},
        {SQL_DOUBLE, 8, TKVFieldType::Float},
        {SQL_TIMESTAMP, 8, TKVFieldType::TimeStamp},
        {SQL_BOOLEAN, 1, TKVFieldType::Boolean},
        {SQL_NULL, 0, TKVFieldType::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sqltype);
        auto sqlda = OneColumn(c.sqltype, "V", c.length);
        OutputRow row(sqlda.get());
        EXPECT_EQ(row.Describe().at(0).type, c.type);
        *sqlda->sqlvar[0].sqlind = c.sqltype == SQL_NULL ? -1 : 0;
        EXPECT_EQ(row.Read(nullptr, nullptr).size(), 1u);
    }
}

// Through the query on a real server: an array column, the one such type
// Firebird 3 has, fails the Open with the column's name.
class FirebirdColumnTypesOnServer : public ::testing::TestWithParam<Backend> {};

TEST_P(FirebirdColumnTypesOnServer, ArrayColumnFailsTheOpen) {
    DEZORIV_REQUIRE_BACKEND(GetParam());
    auto db = testsupport::NewDatabase(GetParam());
    testsupport::RunSqlText(*db,
                            "CREATE TABLE MEDIDAS (ID INTEGER NOT NULL, LEITURAS INTEGER[3]);\n"
                            "INSERT INTO MEDIDAS (ID) VALUES (1);\n");
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add("SELECT ID, LEITURAS FROM MEDIDAS");
    try {
        q.Open();
        ADD_FAILURE() << "the query opened";
    } catch (const EKVDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("A coluna LEITURAS tem o tipo ARRAY (código 540)"), std::string::npos)
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, FirebirdColumnTypesOnServer, ::testing::Values(Backend::FBEmbedded, Backend::FBRemote),
                         [](const auto& info) { return testsupport::BackendName(info.param); });

}  // namespace
