// One suite run against PostgreSQL, embedded Firebird and the Firebird server:
// what the query, transaction and connection components do with real servers.
#include <gtest/gtest.h>

#include <cmath>

#include "dataaccess/TKVQuery.h"
#include "dataaccess/TKVTransaction.h"
#include "test_support/TestDatabases.h"

using testsupport::Backend;

namespace {

class ServerSuite : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        DEZORIV_REQUIRE_BACKEND(GetParam());
        db = testsupport::NewDatabase(GetParam());
        transaction = std::make_unique<TKVTransaction>(db.get());
        testsupport::RunSqlText(*db,
                                "CREATE TABLE ITEM (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(40), "
                                "VALOR NUMERIC(15,2), QTDE NUMERIC(15,0), DATA DATE, MOMENTO TIMESTAMP);\n"
                                "INSERT INTO ITEM (ID, NOME, VALOR, QTDE) VALUES (1, 'um', 1.50, 10);\n"
                                "INSERT INTO ITEM (ID, NOME, VALOR, QTDE) VALUES (2, 'dois', 2.25, 20);\n");
    }

    bool IsPG() const { return GetParam() == Backend::PG; }

    // Number of rows of ITEM seen through a second, independent connection.
    int CountFromOutside(const std::string& where = "1=1") {
        auto other = std::make_unique<TKVDatabase>();
        other->GetDatabase(db.get());
        TKVQuery q;
        q.SetDatabase(other.get());
        q.SQL.Add("SELECT COUNT(*) AS N FROM ITEM WHERE " + where);
        q.Open();
        return static_cast<int>(q.FieldByName("N").AsInteger());
    }

    void Exec(const std::string& sql) {
        TKVQuery q;
        q.SetDatabase(db.get());
        q.SQL.Add(sql);
        q.ExecSQL();
    }

    std::unique_ptr<TKVDatabase> db;
    std::unique_ptr<TKVTransaction> transaction;
};

TEST_P(ServerSuite, ReadsTypedValuesByName) {
    Exec("UPDATE ITEM SET DATA = '2024-03-05', MOMENTO = '2024-03-05 14:07:09' WHERE ID = 1");
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add("SELECT ID, NOME, VALOR, QTDE, DATA, MOMENTO FROM ITEM ORDER BY ID");
    q.Open();
    ASSERT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.FieldByName("id").AsInteger(), 1);
    EXPECT_EQ(q.FieldByName("nome").AsString(), "um");
    EXPECT_DOUBLE_EQ(q.FieldByName("valor").AsFloat(), 1.5);
    EXPECT_EQ(q.FieldByName("qtde").AsInteger(), 10);
    EXPECT_TRUE(std::holds_alternative<double>(q.FieldByName("valor").Value()));
    EXPECT_TRUE(std::holds_alternative<int64_t>(q.FieldByName("id").Value()));
    const auto day = DecodeKVDateTime(q.FieldByName("data").AsDateTime());
    EXPECT_EQ(day.Year * 10000 + day.Month * 100 + day.Day, 20240305);
    const auto stamp = DecodeKVDateTime(q.FieldByName("momento").AsDateTime());
    EXPECT_EQ(stamp.Day * 10000 + stamp.Hour * 100 + stamp.Minute, 51407);
    q.Next();
    EXPECT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldByName("NOME").AsString(), "dois");
    EXPECT_TRUE(q.FieldByName("DATA").IsNull());
    q.Next();
    EXPECT_TRUE(q.Eof());
}

TEST_P(ServerSuite, CommitRetainingKeepsWorkAndATransaction) {
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (3, 'tres')");
    EXPECT_EQ(CountFromOutside(), 2);
    transaction->CommitRetaining();
    EXPECT_TRUE(transaction->Active());
    EXPECT_EQ(CountFromOutside(), 3);
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (4, 'quatro')");
    transaction->CommitRetaining();
    EXPECT_EQ(CountFromOutside(), 4);
}

TEST_P(ServerSuite, RollbackRetainingUndoesWorkSinceLastCommit) {
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (3, 'tres')");
    transaction->CommitRetaining();
    Exec("DELETE FROM ITEM WHERE ID = 1");
    transaction->RollbackRetaining();
    EXPECT_TRUE(transaction->Active());
    EXPECT_EQ(CountFromOutside(), 3);
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add("SELECT NOME FROM ITEM WHERE ID = 1");
    q.Open();
    EXPECT_EQ(q.FieldByName("NOME").AsString(), "um");
}

TEST_P(ServerSuite, ClosingWithUncommittedWorkRollsItBack) {
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (3, 'tres')");
    db->Close();
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(CountFromOutside(), 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerSuite, ::testing::ValuesIn(testsupport::AllBackends()),
                         [](const auto& info) { return testsupport::BackendName(info.param); });

}  // namespace
