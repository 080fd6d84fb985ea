// The query component against a scripted driver: routing of Open, the
// translation step, time limits, PostgreSQL's transaction handling, error
// wording, the failure trace and TryExecSQL's retries.
#include <gtest/gtest.h>

#include <chrono>

#include "ScriptedSession.h"
#include "TraceFiles.h"
#include "dataaccess/TKVQuery.h"
#include "dataaccess/TKVTransaction.h"

namespace {

// A query whose translation step only counts its calls.
class CountingQuery : public TKVCustomQuery {
public:
    void TranslateSQL() override { ++translations; }
    int translations = 0;
};

class QueryExecution : public TraceFolderFixture {
protected:
    void Connect(const std::string& dialect) {
        db.DriverName = dialect;
        script = UseScriptedDriver(db);
        db.SetConnected(true);
        q.SetDatabase(&db);
    }
    void TearDown() override {
        TKVCustomQuery::SetTimeLimits(60000, 30000);
        TKVCustomQuery::SetRetryWait(1000);
        TraceFolderFixture::TearDown();
    }

    TKVDatabase db;
    std::shared_ptr<Script> script;
    CountingQuery q;
};

TEST_F(QueryExecution, OpenRoutesByTheFirstSixCharacters) {
    struct Case {
        std::string text;
        bool executed;
    } cases[] = {
        {"update ITEM set A = 1", true},
        {"UPDATE ITEM SET A = 1", true},
        {"Insert into ITEM values (1)", true},
        {"delete from ITEM", true},
        {"SELECT * FROM ITEM", false},
        {" UPDATE ITEM SET A = 1", false},
        {"\r\nUPDATE ITEM SET A = 1", false},
        {"/* x */ UPDATE ITEM SET A = 1", false},
        {"-- x\r\nDELETE FROM ITEM", false},
        {"upd", false},
    };
    Connect("FB");
    for (const auto& c : cases) {
        script->calls.clear();
        q.translations = 0;
        q.SQL.Clear();
        q.SQL.Add(c.text);
        q.Open();
        EXPECT_EQ(q.Active(), !c.executed) << c.text;
        EXPECT_EQ(q.translations, 1) << c.text;
        ASSERT_EQ(script->Count("Execute"), 1) << c.text;
        // Executions carry the FB limit; an opened result set has none.
        EXPECT_EQ(script->calls.back(), (c.executed ? "Execute 60000: " : "Execute 0: ") + c.text + "\r\n") << c.text;
        q.Close();
    }
}

TEST_F(QueryExecution, TimeLimitPerDialectAndSetting) {
    struct Case {
        std::string dialect;
        bool tempoLimite;
        int limit;
    } cases[] = {{"FB", true, 60000}, {"PG", true, 30000}, {"Ora", true, 30000}, {"FB", false, 0}, {"PG", false, 0}};
    for (const auto& c : cases) {
        TKVDatabase local;
        local.DriverName = c.dialect;
        auto s = UseScriptedDriver(local);
        CountingQuery query;
        query.SetDatabase(&local);
        query.TempoLimite = c.tempoLimite;
        query.SQL.Add("UPDATE T SET A = 1");
        query.ExecSQL();
        EXPECT_EQ(query.TimeLimitMs(), c.limit) << c.dialect;
        EXPECT_EQ(s->calls.back(), "Execute " + std::to_string(c.limit) + ": UPDATE T SET A = 1\r\n");
        query.TryExecSQL();
        EXPECT_EQ(s->calls.back(), "Execute " + std::to_string(c.limit) + ": UPDATE T SET A = 1\r\n");
    }
}

TEST_F(QueryExecution, OpenKeepsTheLastLimitOnlyWithTimeOutOpenAndNotOnPG) {
    struct Case {
        std::string dialect;
        bool timeOutOpen;
        int openLimit;
    } cases[] = {{"FB", false, 0}, {"FB", true, 60000}, {"PG", true, 0}, {"Ora", true, 30000}};
    for (const auto& c : cases) {
        TKVDatabase local;
        local.DriverName = c.dialect;
        auto s = UseScriptedDriver(local);
        CountingQuery query;
        query.SetDatabase(&local);
        query.TimeOutOpen = c.timeOutOpen;
        query.SQL.Add("UPDATE T SET A = 1");
        query.ExecSQL();
        query.SQL.Clear();
        query.SQL.Add("SELECT A FROM T");
        query.Open();
        EXPECT_EQ(s->calls.back(), "Execute " + std::to_string(c.openLimit) + ": SELECT A FROM T\r\n") << c.dialect;
    }
}

TEST_F(QueryExecution, PostgreSQLStartsTheTransactionItselfFirebirdLeavesItToTheDriver) {
    for (const std::string dialect : {"PG", "FB"}) {
        TKVDatabase local;
        local.DriverName = dialect;
        auto s = UseScriptedDriver(local);
        TKVTransaction t(&local);
        CountingQuery query;
        query.SetDatabase(&local);
        query.SQL.Add("UPDATE T SET A = 1");
        query.ExecSQL();
        query.ExecSQL();  // a transaction is open now: no second start
        EXPECT_EQ(s->Count("StartTransaction"), dialect == "PG" ? 1 : 0) << dialect;
        EXPECT_EQ(s->Count("Execute"), 2);
    }
}

TEST_F(QueryExecution, FailedExecSQLIsTracedAndWorded) {
    struct Case {
        std::string dialect, error, message;
        bool rolledBack;
    } cases[] = {
        {"FB", "Timeout expired: 60000 ms", "ERRO PROVÁVEL DE DEADLOCK :\r\rUPDATE T SET A = 1\r\n", false},
        {"PG", "TIMEOUT EXPIRED: canceling statement", "ERRO PROVÁVEL DE DEADLOCK :\r\rUPDATE T SET A = 1\r\n", true},
        {"FB", "deadlock; update conflicts with concurrent update", "deadlock; update conflicts with concurrent update",
         false},
        {"PG", "syntax error at or near \"UPDAT\"", "syntax error at or near \"UPDAT\"", true},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(folder + "/Logs");
        TKVDatabase local;
        local.DriverName = c.dialect;
        auto s = UseScriptedDriver(local);
        s->onExecute = [&](const std::string&, int) -> kvdriver::ResultSet { throw EKVDatabaseError(c.error, "X1"); };
        CountingQuery query;
        query.SetDatabase(&local);
        query.SQL.Add("UPDATE T SET A = 1");
        try {
            query.ExecSQL();
            FAIL();
        } catch (const EKVDatabaseError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
            EXPECT_EQ(e.ServerCode(), "X1");
        }
        EXPECT_EQ(s->Count("RollbackRetaining"), c.rolledBack ? 1 : 0) << c.dialect << " " << c.error;
        EXPECT_EQ(TraceLines(GetMachineName()),
                  std::vector<std::string>{"|" + GetLocalIP() + "|fmDEZORiv||<stamp>|ExecSQL (" + c.error +
                                           "): UPDATE T SET A = 1|"});
    }
}

// A lost connection keeps its mark through every wording, is neither retried
// nor rolled back on a session that is gone, and is no "probable deadlock"
// even when the client library says "timeout expired"; the next statement
// connects again.
TEST_F(QueryExecution, LostConnectionDropsTheSessionThroughEveryExecution) {
    TKVCustomQuery::SetRetryWait(1);
    struct Case {
        std::string dialect, how, message;
    } cases[] = {
        {"PG", "ExecSQL", "server closed the connection unexpectedly"},
        {"PG", "TryExecSQL", "server closed the connection unexpectedly"},
        {"PG", "Open", "Erro KVQuery.Open: server closed the connection unexpectedly"},
        {"FB", "ExecSQL", "server closed the connection unexpectedly"},
        {"FB", "TryExecSQL", "server closed the connection unexpectedly"},
        {"FB", "Open", "Erro KVQuery.Open: server closed the connection unexpectedly"},
    };
    for (const auto& c : cases) {
        for (const std::string error : {"server closed the connection unexpectedly", "timeout expired"}) {
            TKVDatabase local;
            local.DriverName = c.dialect;
            auto s = UseScriptedDriver(local);
            s->onExecute = [&](const std::string&, int) -> kvdriver::ResultSet {
                throw EKVDatabaseError(error, "08006", true);
            };
            CountingQuery query;
            query.SetDatabase(&local);
            query.SQL.Add("SELECT A FROM T");
            try {
                if (c.how == "ExecSQL") query.ExecSQL();
                if (c.how == "TryExecSQL") query.TryExecSQL();
                if (c.how == "Open") query.Open();
                FAIL() << c.dialect << " " << c.how;
            } catch (const EKVDatabaseError& e) {
                std::string expected = c.message;
                expected.replace(expected.find("server closed the connection unexpectedly"), 41, error);
                EXPECT_EQ(std::string(e.what()), expected) << c.dialect << " " << c.how;
                EXPECT_TRUE(e.ConnectionLost()) << c.dialect << " " << c.how;
            }
            EXPECT_EQ(s->Count("Execute"), 1) << c.dialect << " " << c.how;
            EXPECT_EQ(s->Count("RollbackRetaining"), 0) << c.dialect << " " << c.how;
            EXPECT_FALSE(local.Connected()) << c.dialect << " " << c.how;
            s->onExecute = nullptr;
            query.ExecSQL();
            EXPECT_EQ(s->connects, 2) << c.dialect << " " << c.how;
        }
    }
}

TEST_F(QueryExecution, FailedOpenIsWrappedAndRolledBackOnPostgreSQL) {
    struct Case {
        std::string dialect, text, error, message;
        int rollbacks;
    } cases[] = {
        {"PG", "SELECT X FROM T", "column \"x\" does not exist", "Erro KVQuery.Open: column \"x\" does not exist", 1},
        {"FB", "SELECT X FROM T", "Column unknown; X", "Erro KVQuery.Open: Column unknown; X", 0},
        {"FB", "INSERT INTO T VALUES (1)", "deadlock; update conflicts with concurrent update",
         "Erro KVQuery.Open: deadlock; update conflicts with concurrent update", 0},
        {"FB", "INSERT INTO T VALUES (1)", "TIMEOUT EXPIRED",
         "Erro KVQuery.Open: ERRO PROVÁVEL DE DEADLOCK :\r\rINSERT INTO T VALUES (1)\r\n", 0},
        // ExecSQL rolls back first, then Open once more.
        {"PG", "INSERT INTO T VALUES (1)", "duplicate key", "Erro KVQuery.Open: duplicate key", 2},
    };
    for (const auto& c : cases) {
        TKVDatabase local;
        local.DriverName = c.dialect;
        auto s = UseScriptedDriver(local);
        s->onExecute = [&](const std::string&, int) -> kvdriver::ResultSet { throw EKVDatabaseError(c.error); };
        CountingQuery query;
        query.SetDatabase(&local);
        query.SQL.Add(c.text);
        try {
            query.Open();
            FAIL();
        } catch (const EKVDatabaseError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(s->Count("RollbackRetaining"), c.rollbacks) << c.dialect << " " << c.text;
        EXPECT_FALSE(query.Active());
    }
}

TEST_F(QueryExecution, TranslationErrorsReachExecSQLCallersUnchangedAndOpenCallersWrapped) {
    struct FailingTranslation : TKVCustomQuery {
        void TranslateSQL() override { throw std::runtime_error("Função não reconhecida."); }
    };
    Connect("PG");
    FailingTranslation query;
    query.SetDatabase(&db);
    query.SQL.Add("UPDATE T SET A = UDF_X(1)");
    try {
        query.ExecSQL();
        FAIL();
    } catch (const EKVDatabaseError&) {
        FAIL() << "a translation error is not a database error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Função não reconhecida.");
    }
    EXPECT_THROW(query.TryExecSQL(), std::runtime_error);
    try {
        query.Open();
        FAIL();
    } catch (const EKVDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Erro KVQuery.Open: Função não reconhecida.");
    }
    EXPECT_EQ(script->Count("Execute"), 0);
    EXPECT_EQ(ReadTrace(GetMachineName()), "");  // no execution, no trace
}

TEST_F(QueryExecution, TryExecSQLRetriesTimeoutsAndDeadlocksFourTimesInAll) {
    TKVCustomQuery::SetRetryWait(20);
    Connect("FB");
    struct Case {
        std::string error;
        int executions;
    } cases[] = {{"TIMEOUT EXPIRED", 4}, {"lock conflict on no wait transaction; deadlock", 4},
                 {"Deadlock detected", 4}, {"Dynamic SQL Error; Token unknown", 1}};
    for (const auto& c : cases) {
        std::filesystem::remove_all(folder + "/Logs");
        script->calls.clear();
        script->onExecute = [&](const std::string&, int) -> kvdriver::ResultSet { throw EKVDatabaseError(c.error); };
        q.SQL.Clear();
        q.SQL.Add("UPDATE T SET A = 1");
        const auto start = std::chrono::steady_clock::now();
        try {
            q.TryExecSQL();
            FAIL();
        } catch (const EKVDatabaseError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);  // unchanged, not reworded
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(script->Count("Execute"), c.executions) << c.error;
        EXPECT_GE(waited, std::chrono::milliseconds(20 * (c.executions - 1)));
        EXPECT_EQ(script->Count("RollbackRetaining"), 0);
        EXPECT_EQ(TraceLines(GetMachineName()),
                  std::vector<std::string>{"|" + GetLocalIP() + "|fmDEZORiv||<stamp>|TryExecSQL (Tentativa: " +
                                           std::to_string(c.executions) + ") (" + c.error +
                                           "): UPDATE T SET A = 1|"});
    }
}

TEST_F(QueryExecution, TryExecSQLSucceedsOnALaterAttemptWithoutTrace) {
    TKVCustomQuery::SetRetryWait(1);
    Connect("PG");
    int attempts = 0;
    script->onExecute = [&](const std::string&, int) -> kvdriver::ResultSet {
        if (++attempts < 3) throw EKVDatabaseError("deadlock detected", "40P01");
        kvdriver::ResultSet rs;
        rs.rowsAffected = 1;
        return rs;
    };
    q.SQL.Add("UPDATE T SET A = 1");
    q.TryExecSQL();
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(q.translations, 1);
    EXPECT_EQ(q.RowsAffected(), 1);
    EXPECT_EQ(ReadTrace(GetMachineName()), "");
}

TEST_F(QueryExecution, FieldsGetTheClassOfTheirDeliveredType) {
    Connect("PG");
    script->onExecute = [](const std::string&, int) {
        return OneRow({{"valor", TKVFieldType::BCD, 12.5, 15, 2},
                       {"obs", TKVFieldType::WideMemo, std::string("texto")},
                       {"nome", TKVFieldType::WideString, std::string("abc"), 0, 0, 40},
                       {"qtde", TKVFieldType::Integer, int64_t{7}}});
    };
    q.SQL.Add("SELECT valor, obs, nome, qtde FROM t");
    q.Open();
    ASSERT_EQ(q.FieldCount(), 4);
    auto* valor = dynamic_cast<TKVFloatField*>(&q.FieldByName("VALOR"));
    ASSERT_NE(valor, nullptr);
    EXPECT_EQ(valor->DataType(), TKVFieldType::Currency);
    EXPECT_EQ(valor->AsString(), "12.5");
    EXPECT_DOUBLE_EQ(valor->AsFloat(), 12.5);
    auto* obs = dynamic_cast<TKVBlobField*>(q.FindField("obs"));
    ASSERT_NE(obs, nullptr);
    EXPECT_EQ(obs->DataType(), TKVFieldType::Memo);
    EXPECT_EQ(obs->AsString(), "texto");
    EXPECT_EQ(q.FieldByName("nome").DataType(), TKVFieldType::String);
    EXPECT_EQ(dynamic_cast<TKVFloatField*>(&q.FieldByName("nome")), nullptr);
    EXPECT_EQ(q.FieldByName("qtde").AsInteger(), 7);
    EXPECT_EQ(q.FindField("missing"), nullptr);
    try {
        q.FieldByName("missing");
        FAIL();
    } catch (const EKVDatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos);
    }
}

TEST_F(QueryExecution, DeleteThroughTheResultIsRefusedInSilence) {
    Connect("FB");
    script->onExecute = [](const std::string&, int) { return OneRow({{"ID", TKVFieldType::Integer, int64_t{1}}}); };
    q.SQL.Add("SELECT ID FROM T");
    q.Open();
    EXPECT_THROW(q.Delete(), EAbort);
    EXPECT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(script->Count("Execute"), 1);  // nothing sent
    q.BloqueiaDelete = false;
    EXPECT_THROW(q.Delete(), EKVDatabaseError);  // not offered: said so, not pretended
    EXPECT_EQ(q.RecordCount(), 1);
}

TEST_F(QueryExecution, UnboundQueryFailsClearly) {
    CountingQuery unbound;
    unbound.SQL.Add("UPDATE T SET A = 1");
    EXPECT_THROW(unbound.ExecSQL(), EKVDatabaseError);
    EXPECT_THROW(unbound.TryExecSQL(), EKVDatabaseError);
    try {
        unbound.Open();
        FAIL();
    } catch (const EKVDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Erro KVQuery.Open: ", 0), 0u);
    }
}

TEST_F(QueryExecution, StatementTextEndsEveryLineWithCRLF) {
    TKVStrings sql;
    sql.Add("SELECT A");
    sql.Add("FROM B");
    EXPECT_EQ(sql.Text(), "SELECT A\r\nFROM B\r\n");
    sql.SetText("X\r\nY\nZ\rW");
    EXPECT_EQ(sql.Text(), "X\r\nY\r\nZ\r\nW\r\n");
    sql.Clear();
    EXPECT_EQ(sql.Text(), "");
}

}  // namespace
