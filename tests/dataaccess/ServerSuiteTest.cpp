// One suite run against PostgreSQL, embedded Firebird and the Firebird server:
// what the query, transaction and connection components do with real servers.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "dataaccess/TKVQuery.h"
#include "dataaccess/TKVTransaction.h"
#include "TraceFiles.h"
#include "test_support/TestDatabases.h"

using testsupport::Backend;

namespace {

class ServerSuite : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        DEZORIV_REQUIRE_BACKEND(GetParam());
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->name()) + "-" + std::to_string(::getpid());
        for (auto& ch : name)
            if (ch == '/') ch = '_';
        folder = testsupport::TestTempFolder() + "/suite-" + name;
        std::filesystem::remove_all(folder);
        SetApplicationFolder(folder);
        db = testsupport::NewDatabase(GetParam());
        transaction = std::make_unique<TKVTransaction>(db.get());
        testsupport::RunSqlText(*db,
                                "CREATE TABLE ITEM (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(40), "
                                "VALOR NUMERIC(15,2), QTDE NUMERIC(15,0), DATA DATE, MOMENTO TIMESTAMP);\n"
                                "INSERT INTO ITEM (ID, NOME, VALOR, QTDE) VALUES (1, 'um', 1.50, 10);\n"
                                "INSERT INTO ITEM (ID, NOME, VALOR, QTDE) VALUES (2, 'dois', 2.25, 20);\n");
    }

    void TearDown() override {
        TKVCustomQuery::SetTimeLimits(60000, 30000);
        TKVCustomQuery::SetRetryWait(1000);
    }

    bool IsPG() const { return GetParam() == Backend::PG; }

    // A second connection to the same database.
    std::unique_ptr<TKVDatabase> SecondConnection() {
        auto other = std::make_unique<TKVDatabase>();
        other->GetDatabase(db.get());
        return other;
    }

    static void ExecOn(TKVDatabase& on, const std::string& sql) {
        TKVQuery q;
        q.SetDatabase(&on);
        q.SQL.Add(sql);
        q.ExecSQL();
    }

    int CountHere() {
        TKVQuery q;
        q.SetDatabase(db.get());
        q.SQL.Add("SELECT COUNT(*) AS N FROM ITEM");
        q.Open();
        return static_cast<int>(q.FieldByName("N").AsInteger());
    }

    // The trace file of this machine, split into lines.
    std::vector<std::string> TraceLinesNow() {
        std::vector<std::string> lines;
        std::ifstream in(folder + "/Logs/" + GetMachineName() + "-" + Today() + ".log", std::ios::binary);
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }
    static std::string Today() {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        char buf[16];
        std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
        return buf;
    }

    std::string folder;

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

// Firebird keeps its transaction over a commit retaining; PostgreSQL begins
// the next one with the next statement, so no session sits idle in a
// transaction after its work was committed.
TEST_P(ServerSuite, CommitRetainingKeepsWorkAndATransaction) {
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (3, 'tres')");
    EXPECT_EQ(CountFromOutside(), 2);
    transaction->CommitRetaining();
    EXPECT_EQ(transaction->Active(), !IsPG());
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
    EXPECT_EQ(transaction->Active(), !IsPG());
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

TEST_P(ServerSuite, OpenExecutesLowerCaseUpdatesAndOpensEverythingElse) {
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add("update ITEM set NOME = 'novo' where ID = 1");
    q.Open();
    EXPECT_FALSE(q.Active());
    EXPECT_EQ(q.RowsAffected(), 1);
    q.SQL.Clear();
    q.SQL.Add("/* leitura */ SELECT NOME FROM ITEM WHERE ID = 1");
    q.Open();
    ASSERT_TRUE(q.Active());
    EXPECT_EQ(q.FieldByName("NOME").AsString(), "novo");
}

TEST_P(ServerSuite, WideRowsMemosAndNulls) {
    testsupport::RunSqlText(*db, std::string("CREATE TABLE NOTA (ID INTEGER NOT NULL PRIMARY KEY, OBS ") +
                                     (IsPG() ? "TEXT" : "BLOB SUB_TYPE TEXT") + ", CODIGO CHAR(3));\n" +
                                     "INSERT INTO NOTA VALUES (1, 'linha 1\nlinha 2', 'A');\n" +
                                     "INSERT INTO NOTA VALUES (2, NULL, NULL);\n");
    TKVQuery q;
    q.SetDatabase(db.get());
    std::string columns;
    for (int i = 1; i <= 20; ++i) columns += "ID + " + std::to_string(i) + " AS C" + std::to_string(i) + ", ";
    q.SQL.Add("SELECT " + columns + "OBS, CODIGO FROM NOTA ORDER BY ID");
    q.Open();
    ASSERT_EQ(q.FieldCount(), 22);
    EXPECT_EQ(q.FieldByName("C20").AsInteger(), 21);
    auto* obs = dynamic_cast<TKVBlobField*>(&q.FieldByName("OBS"));
    ASSERT_NE(obs, nullptr);
    EXPECT_EQ(obs->AsString(), "linha 1\nlinha 2");
    EXPECT_EQ(q.FieldByName("CODIGO").AsString(), "A");  // fixed-length text without padding
    q.Next();
    EXPECT_TRUE(q.FieldByName("OBS").IsNull());
    EXPECT_TRUE(q.FieldByName("CODIGO").IsNull());
    EXPECT_FALSE(q.FieldByName("C1").IsNull());
}

TEST_P(ServerSuite, TextTravelsAsUtf8) {
    Exec("UPDATE ITEM SET NOME = 'Ação çé ß €' WHERE ID = 2");
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add("SELECT NOME FROM ITEM WHERE NOME LIKE 'Ação%'");
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.FieldByName("NOME").AsString(), "Ação çé ß €");
}

TEST_P(ServerSuite, FixedPointAndIntegerColumnsAsTheRulesDeliverThem) {
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add("SELECT VALOR, QTDE, ID FROM ITEM WHERE ID = 2");
    q.Open();
    // PostgreSQL NUMERIC arrives as currency, read through TKVFloatField;
    // Firebird NUMERIC(15,2) as a plain float, NUMERIC(15,0) as an integer.
    auto& valor = q.FieldByName("VALOR");
    EXPECT_EQ(valor.DataType(), IsPG() ? TKVFieldType::Currency : TKVFieldType::Float);
    EXPECT_EQ(dynamic_cast<TKVFloatField*>(&valor) != nullptr, IsPG());
    EXPECT_DOUBLE_EQ(valor.AsFloat(), 2.25);
    EXPECT_EQ(valor.AsString(), "2.25");
    auto& qtde = q.FieldByName("QTDE");
    if (IsPG()) {
        EXPECT_EQ(qtde.DataType(), TKVFieldType::Currency);
    } else {
        EXPECT_EQ(qtde.DataType(), TKVFieldType::LargeInt);
        EXPECT_TRUE(std::holds_alternative<int64_t>(qtde.Value()));
    }
    EXPECT_EQ(qtde.AsInteger(), 20);
    EXPECT_EQ(q.FieldByName("ID").DataType(), TKVFieldType::Integer);
}

TEST_P(ServerSuite, ExecSQLOnALockedRowTimesOutAsProbableDeadlock) {
    auto other = SecondConnection();
    ExecOn(*other, "UPDATE ITEM SET NOME = 'bloqueado' WHERE ID = 1");  // holds the row
    TKVCustomQuery::SetTimeLimits(400, 400);
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add("UPDATE ITEM SET NOME = 'espera' WHERE ID = 1");
    const auto start = std::chrono::steady_clock::now();
    try {
        q.ExecSQL();
        FAIL() << "the locked row should make the statement time out";
    } catch (const EKVDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), "ERRO PROVÁVEL DE DEADLOCK :\r\rUPDATE ITEM SET NOME = 'espera' WHERE ID = 1\r\n");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const auto lines = TraceLinesNow();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("|ExecSQL ("), std::string::npos);
    EXPECT_NE(lines[0].find("TIMEOUT EXPIRED"), std::string::npos);
    // The connection stays usable.
    other->Close();
    EXPECT_EQ(CountHere(), 2);
}

TEST_P(ServerSuite, SlowStatementTimesOut) {
    TKVCustomQuery::SetTimeLimits(300, 300);
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add(IsPG() ? "SELECT pg_sleep(10)"
                     : "SELECT COUNT(*) FROM RDB$FIELDS A, RDB$FIELDS B, RDB$FIELDS C, RDB$FIELDS D");
    const auto start = std::chrono::steady_clock::now();
    try {
        q.ExecSQL();
        FAIL() << "the statement should time out";
    } catch (const EKVDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("ERRO PROVÁVEL DE DEADLOCK :\r\r", 0), 0u) << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    q.TempoLimite = false;
    q.SQL.Clear();
    q.SQL.Add("UPDATE ITEM SET NOME = 'depois' WHERE ID = 1");
    q.ExecSQL();
    EXPECT_EQ(q.TimeLimitMs(), 0);
    EXPECT_EQ(q.RowsAffected(), 1);
}

TEST_P(ServerSuite, TryExecSQLRetriesALockedRowThenReportsTheTimeout) {
    auto other = SecondConnection();
    ExecOn(*other, "UPDATE ITEM SET NOME = 'bloqueado' WHERE ID = 1");
    TKVCustomQuery::SetTimeLimits(200, 200);
    TKVCustomQuery::SetRetryWait(10);
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add("UPDATE ITEM SET NOME = 'espera' WHERE ID = 1");
    std::string message;
    try {
        q.TryExecSQL();
        FAIL();
    } catch (const EKVDatabaseError& e) {
        message = e.what();
    }
    // Firebird keeps the transaction usable, so all four tries time out.
    // PostgreSQL aborts the transaction at the first time-out and TryExecSQL
    // makes no rollback: the second try fails at once and is not retried.
    const std::string tries = IsPG() ? "2" : "4";
    const auto lines = TraceLinesNow();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("|TryExecSQL (Tentativa: " + tries + ") (" + message + "): UPDATE ITEM SET NOME = 'espera' WHERE ID = 1|"),
              std::string::npos)
        << lines[0];
    if (!IsPG()) {
        EXPECT_NE(message.find("TIMEOUT EXPIRED"), std::string::npos);
    }
}

TEST_P(ServerSuite, DeadlockBetweenTwoConnectionsFailsOneOfThem) {
    auto other = SecondConnection();
    ExecOn(*db, "UPDATE ITEM SET NOME = 'a1' WHERE ID = 1");
    ExecOn(*other, "UPDATE ITEM SET NOME = 'b2' WHERE ID = 2");
    std::string failures[2];
    auto cross = [](TKVDatabase& on, int id, std::string& failure) {
        try {
            ExecOn(on, "UPDATE ITEM SET NOME = 'x' WHERE ID = " + std::to_string(id));
        } catch (const std::exception& e) {
            failure = e.what();
            on.RollbackRetaining();  // releases the victim's rows
        }
    };
    std::thread first(cross, std::ref(*db), 2, std::ref(failures[0]));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::thread second(cross, std::ref(*other), 1, std::ref(failures[1]));
    first.join();
    second.join();
    const int failed = !failures[0].empty() + !failures[1].empty();
    EXPECT_EQ(failed, 1) << failures[0] << " / " << failures[1];
    std::string upper = failures[0] + failures[1];
    for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_NE(upper.find("DEADLOCK"), std::string::npos) << upper;
    EXPECT_EQ(upper.find("ERRO PROV"), std::string::npos);  // the server's report, not a time-out
}

TEST_P(ServerSuite, FailedExecSQLUndoesTheTransactionOnPostgreSQLOnly) {
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (3, 'tres')");
    EXPECT_THROW(Exec("INSERT INTO ITEM (ID, NOME) VALUES (1, 'duplicado')"), EKVDatabaseError);
    EXPECT_EQ(transaction->Active(), !IsPG());
    EXPECT_EQ(CountHere(), IsPG() ? 2 : 3);
    transaction->CommitRetaining();
    EXPECT_EQ(CountFromOutside(), IsPG() ? 2 : 3);
}

// One execution runs one statement: a text that holds a second statement
// (as a value that broke out of its literal would make it) is refused whole,
// and neither statement takes effect.
TEST_P(ServerSuite, ATextOfTwoStatementsRunsNeither) {
    transaction->CommitRetaining();
    const std::string twice[] = {
        "UPDATE ITEM SET NOME = 'x' WHERE ID = 1; DELETE FROM ITEM",
        "UPDATE ITEM SET NOME = 'x' WHERE ID = 1;\r\nINSERT INTO ITEM (ID, NOME) VALUES (9, 'nove')",
    };
    for (const std::string& sql : twice) {
        EXPECT_THROW(Exec(sql), EKVDatabaseError) << sql;
        if (transaction->Active()) transaction->RollbackRetaining();
        EXPECT_EQ(CountFromOutside(), 2) << sql;
        EXPECT_EQ(CountFromOutside("NOME = 'x'"), 0) << sql;
    }
    // A statement that ends with its own ";" alone still runs.
    Exec("UPDATE ITEM SET NOME = 'y' WHERE ID = 2;");
    transaction->CommitRetaining();
    EXPECT_EQ(CountFromOutside("NOME = 'y'"), 1);
}

TEST_P(ServerSuite, FailedOpenIsWrappedAndLeavesTheConnectionUsable) {
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (3, 'tres')");
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add("SELECT NADA FROM ITEM");
    try {
        q.Open();
        FAIL();
    } catch (const EKVDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Erro KVQuery.Open: ", 0), 0u) << e.what();
    }
    EXPECT_EQ(CountHere(), IsPG() ? 2 : 3);
}

TEST_P(ServerSuite, ConnectingToAMissingDatabaseFailsAndCreatesNothing) {
    auto missing = std::make_unique<TKVDatabase>();
    missing->DriverName = db->DriverName;
    missing->HostName = db->HostName;
    missing->Port = db->Port;
    missing->User = db->User;
    missing->Password = db->Password;
    missing->Database = IsPG() ? "nao_existe_" + std::to_string(::getpid()) : db->Database + ".nao-existe.fdb";
    EXPECT_THROW(missing->SetConnected(true), EKVDatabaseError);
    EXPECT_FALSE(missing->Connected());
    if (!IsPG()) {
        EXPECT_FALSE(std::filesystem::exists(missing->Database));
    }
}

TEST_P(ServerSuite, GetDatabaseWrapsARefusedLogin) {
    if (GetParam() == Backend::FBEmbedded) GTEST_SKIP() << "embedded Firebird checks no password";
    TKVDatabase parent;
    parent.DriverName = db->DriverName;
    parent.HostName = db->HostName;
    parent.Database = db->Database;
    parent.Port = db->Port;
    parent.User = db->User;
    parent.Password = "senha-errada";
    TKVDatabase child;
    try {
        child.GetDatabase(&parent);
        FAIL();
    } catch (const EKVDatabaseError& e) {
        const std::string m = e.what();
        EXPECT_EQ(m.rfind("Erro ao abrir a base \r", 0), 0u) << m;
        EXPECT_GT(m.size(), std::string("Erro ao abrir a base \r").size());
    }
    EXPECT_FALSE(child.Connected());
}

// PostgreSQL answers COMMIT in an aborted transaction with a silent rollback;
// the connection reports it as the failure it is.
// Ends every other session on the test's database from a connection of its
// own, as a server restart or an administrator would.
void KillOtherSessions(TKVDatabase& from, bool pg) {
    TKVQuery q;
    q.SetDatabase(&from);
    if (pg) {
        q.SQL.Add("SELECT pg_terminate_backend(pid) AS K FROM pg_stat_activity "
                  "WHERE datname = current_database() AND pid <> pg_backend_pid()");
        q.Open();
    } else {
        q.SQL.Add("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
        q.ExecSQL();
    }
    from.CommitRetaining();
}

TEST_P(ServerSuite, ALostSessionIsDroppedAndTheNextStatementConnectsAgain) {
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (3, 'tres')");
    auto admin = SecondConnection();
    KillOtherSessions(*admin, IsPG());
    try {
        Exec("INSERT INTO ITEM (ID, NOME) VALUES (4, 'quatro')");
        FAIL() << "a statement on a killed session must fail";
    } catch (const EKVDatabaseError& e) {
        EXPECT_TRUE(e.ConnectionLost()) << e.ServerCode() << " " << e.what();
        EXPECT_FALSE(e.Transient());
    }
    EXPECT_FALSE(db->Connected());
    EXPECT_FALSE(transaction->Active());
    EXPECT_EQ(CountHere(), 2);  // connected again; the server undid the open work
    EXPECT_TRUE(db->Connected());

    // Closing a connection whose session the server ended never throws.
    KillOtherSessions(*admin, IsPG());
    EXPECT_NO_THROW(db->Close());
    EXPECT_FALSE(db->Connected());
}

// A session ended while it held no open work (a server restart between two
// runs, an idle connection dropped by a firewall): the next statement meets
// the closed connection and goes once more on a new one, with no error.
TEST_P(ServerSuite, AStatementOnASessionLostWhileIdleGoesOnANewOne) {
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (3, 'tres')");
    transaction->CommitRetaining();
    auto admin = SecondConnection();
    for (const char* first : {"SELECT COUNT(*) AS N FROM ITEM", "INSERT INTO ITEM (ID, NOME) VALUES (4, 'quatro')"}) {
        SCOPED_TRACE(first);
        KillOtherSessions(*admin, IsPG());
        EXPECT_NO_THROW(Exec(first));
        EXPECT_TRUE(db->Connected());
        transaction->CommitRetaining();
    }
    EXPECT_EQ(CountFromOutside(), 4);
}

TEST_P(ServerSuite, WorkAfterALostConnectionIsNotCommittedAsIfItWereWhole) {
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (3, 'tres')");
    auto admin = SecondConnection();
    KillOtherSessions(*admin, IsPG());
    EXPECT_THROW(Exec("INSERT INTO ITEM (ID, NOME) VALUES (4, 'quatro')"), EKVDatabaseError);
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (5, 'cinco')");  // on a new session
    try {
        transaction->CommitRetaining();
        FAIL() << "the unit of work lost its first part; committing the rest must fail";
    } catch (const EKVDatabaseError& e) {
        EXPECT_TRUE(e.ConnectionLost()) << e.what();
    }
    EXPECT_EQ(CountFromOutside(), 2);
    // The application undoes its unit of work; the next one commits normally.
    transaction->RollbackRetaining();
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (6, 'seis')");
    transaction->CommitRetaining();
    EXPECT_EQ(CountFromOutside(), 3);
}

// The end of a run: committed work stays, what was not committed is undone,
// and no transaction is left open; the next statement begins a new one.
TEST_P(ServerSuite, RollbackEndsTheTransactionForReal) {
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (3, 'tres')");
    transaction->CommitRetaining();
    Exec("INSERT INTO ITEM (ID, NOME) VALUES (4, 'quatro')");
    transaction->Rollback();
    EXPECT_FALSE(transaction->Active());
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(CountFromOutside(), 3);
    EXPECT_EQ(CountHere(), 3);
    EXPECT_TRUE(transaction->Active());
    transaction->Rollback();
    transaction->Rollback();  // nothing open: nothing to do
    EXPECT_FALSE(transaction->Active());
}

TEST(PostgreSQLTransaction, CommitAfterAnAbortedTransactionIsRefused) {
    DEZORIV_REQUIRE_BACKEND(Backend::PG);
    auto db = testsupport::NewDatabase(Backend::PG);
    testsupport::RunSqlText(*db, "CREATE TABLE ITEM (ID INTEGER PRIMARY KEY);\nINSERT INTO ITEM VALUES (1);");
    TKVTransaction transaction(db.get());
    TKVQuery q;
    q.SetDatabase(db.get());
    q.SQL.Add("INSERT INTO ITEM VALUES (2)");
    q.ExecSQL();
    q.SQL.Clear();
    q.SQL.Add("INSERT INTO ITEM VALUES (1)");  // duplicate key: TryExecSQL makes no rollback
    EXPECT_THROW(q.TryExecSQL(), EKVDatabaseError);
    try {
        transaction.CommitRetaining();
        FAIL() << "the commit of an aborted transaction must not look like success";
    } catch (const EKVDatabaseError& e) {
        EXPECT_EQ(e.ServerCode(), "25P02");
    }
    EXPECT_FALSE(transaction.Active());  // rolled back; the next statement begins anew
    q.SQL.Clear();
    q.SQL.Add("SELECT COUNT(*) AS N FROM ITEM");
    q.Open();
    EXPECT_EQ(q.FieldByName("n").AsInteger(), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerSuite, ::testing::ValuesIn(testsupport::AllBackends()),
                         [](const auto& info) { return testsupport::BackendName(info.param); });

}  // namespace
