// The query's translation step: memo, write-back, refusal, Oracle catalogue
// and the trace hand-off, over a scripted driver that records what is sent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ScriptedCatalogue.h"
#include "dataaccess/KVPlatform.h"
#include "dataaccess/TKVQuery.h"
#include "sqltranslate/SqlTranslate.h"

namespace {

void SetLines(TKVQuery& q, std::initializer_list<std::string> lines) {
    q.SQL.Clear();
    for (const auto& l : lines) q.SQL.Add(l);
}

class TranslateSQLTest : public ::testing::Test {
protected:
    TKVDatabase db;
    std::shared_ptr<CatalogueScript> script;
    TKVQuery q;

    void Use(const std::string& dialect) {
        script = UseCatalogueScript(db, dialect);
        q.SetDatabase(&db);
    }
};

}  // namespace

TEST_F(TranslateSQLTest, TranslatesBeforeExecutionAndWritesTheTextBack) {
    Use("PG");
    SetLines(q, {"SELECT UDF_NVL(SUM(P.QTDE)) AS Q FROM P", "WHERE P.DATA >= '12/25/2024'"});
    q.ExecSQL();
    const std::string expected = "SELECT COALESCE(SUM(P.QTDE),0) AS Q FROM P\r\nWHERE P.DATA >= '2024-12-25'\r\n";
    ASSERT_EQ(script->executed.size(), 1u);
    EXPECT_EQ(script->executed[0], expected);
    EXPECT_EQ(q.SQL.Text(), expected);
    EXPECT_EQ(q.TranslationMemoForTests().Original, "SELECT UDF_NVL(SUM(P.QTDE)) AS Q FROM P\r\nWHERE P.DATA >= '12/25/2024'\r\n");
    EXPECT_EQ(q.TranslationMemoForTests().Translation, expected);
}

TEST_F(TranslateSQLTest, SameTextInAnotherCaseGetsTheFirstTranslation) {
    Use("PG");
    SetLines(q, {"SELECT A FROM T WHERE D = '01/05/2024'"});
    q.ExecSQL();
    SetLines(q, {"select a from t where d = '01/05/2024'"});
    q.ExecSQL();
    ASSERT_EQ(script->executed.size(), 2u);
    EXPECT_EQ(script->executed[1], "SELECT A FROM T WHERE D = '2024-1-5'\r\n");
}

TEST_F(TranslateSQLTest, ExecutingAgainNeverTranslatesTwice) {
    // An Oracle date with a day of 12 or less reads again as a house date and
    // would be swapped back by a second translation.
    Use("Ora");
    SetLines(q, {"UPDATE T SET D = '01/05/2024'", "WHERE C = 1"});
    q.ExecSQL();
    q.ExecSQL();
    q.TryExecSQL();
    ASSERT_EQ(script->executed.size(), 3u);
    for (const auto& sql : script->executed) EXPECT_EQ(sql, "UPDATE T SET D = '05/01/2024'\r\nWHERE C = 1\r\n");
}

TEST_F(TranslateSQLTest, TextThatLosesItsLineBreakIsStillRecognised) {
    // Oracle's empty-string pass drops the closing line break of an UPDATE;
    // the query gives it back, and the memo must still see its own text.
    Use("Ora");
    SetLines(q, {"UPDATE T SET OBS = ''", "WHERE COD = '' AND D = '02/03/2024'"});
    q.ExecSQL();
    q.ExecSQL();
    ASSERT_EQ(script->executed.size(), 2u);
    EXPECT_EQ(script->executed[0], "UPDATE T SET OBS = ''\r\nWHERE COD  IS NULL  AND D = '03/02/2024'\r\n");
    EXPECT_EQ(script->executed[1], script->executed[0]);
}

TEST_F(TranslateSQLTest, EmptyTextPassesThrough) {
    Use("FB");
    q.ExecSQL();
    ASSERT_EQ(script->executed.size(), 1u);
    EXPECT_EQ(script->executed[0], "");
}

TEST_F(TranslateSQLTest, RefusalExecutesNothingAndNeverHandsOutAnotherTranslation) {
    Use("Ora");
    SetLines(q, {"SELECT UDF_NVL(A) FROM T"});
    q.ExecSQL();
    const std::string refused = "SELECT UDF_NVL(A), UDF_NVL(B) FROM T\r\n";
    for (int round = 0; round < 2; ++round) {  // the same text assigned again fails again
        q.SQL.SetText(refused);
        try {
            q.ExecSQL();
            ADD_FAILURE() << "refused statement was executed";
        } catch (const sqltranslate::ETranslateError& e) {
            EXPECT_STREQ(e.what(), "Função não reconhecida.\r\n\r\nUDF_NVL\r\n\r\nImpossível continuar.");
        }
        EXPECT_EQ(q.SQL.Text(), refused);  // the query keeps its house text
    }
    // executing it again without assigning it fails the same way
    EXPECT_THROW(q.TryExecSQL(), sqltranslate::ETranslateError);
    EXPECT_THROW(q.Open(), EKVDatabaseError);  // Open words it as its own error
    ASSERT_EQ(script->executed.size(), 1u);
    // the earlier statement still gets its own translation
    SetLines(q, {"SELECT UDF_NVL(A) FROM T"});
    q.ExecSQL();
    ASSERT_EQ(script->executed.size(), 2u);
    EXPECT_EQ(script->executed[1], "SELECT NVL(A,0) FROM T\r\n");
}

TEST_F(TranslateSQLTest, OracleSelectListReadsTheCatalogueOnTheSameConnection) {
    Use("Ora");
    script->columns["PRODUTO"] = {"COD", "NOME", "GRUPO"};
    SetLines(q, {"SELECT DISTINCT P.*, G.NOME FROM PRODUTO P", "INNER JOIN GRUPO G ON G.COD = P.GRUPO"});
    q.Open();
    ASSERT_EQ(script->executed.size(), 2u);
    EXPECT_EQ(script->executed[0],
              "SELECT T.COLUMN_NAME AS NmCampo FROM USER_TAB_COLUMNS t\r\n"
              "WHERE t.TABLE_NAME = 'PRODUTO'\r\n"
              "AND Ltrim(Rtrim(T.DATA_TYPE)) NOT IN ('BLOB', 'CLOB')\r\n"
              "ORDER BY T.COLUMN_ID\r\n");
    EXPECT_EQ(script->executed[1],
              "SELECT DISTINCT P.COD, P.NOME, P.GRUPO , G.NOME FROM PRODUTO P\r\nINNER JOIN GRUPO G ON G.COD = P.GRUPO\r\n");
    // a repeated execution is a memo hit: no second catalogue look-up
    q.Open();
    EXPECT_EQ(script->executed.size(), 3u);
    EXPECT_EQ(script->executed[2], script->executed[1]);
}

TEST_F(TranslateSQLTest, CatalogueErrorReachesTheCallerAndNothingRuns) {
    Use("Ora");
    script->catalogueError = "ORA-00942: table or view does not exist";
    SetLines(q, {"SELECT DISTINCT P.* FROM PRODUTO P WHERE 1=1"});
    try {
        q.Open();
        ADD_FAILURE() << "opened without the catalogue";
    } catch (const EKVDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Erro KVQuery.Open: ", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find("ORA-00942"), std::string::npos) << e.what();
    }
    ASSERT_EQ(script->executed.size(), 1u);  // only the catalogue statement
}

TEST_F(TranslateSQLTest, TraceGetsTheFinalTextAlsoOnAMemoHit) {
    const std::string folder = (std::filesystem::temp_directory_path() /
                                ("dezoriv-translate-trace-" + std::to_string(::getpid())))
                                   .string();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    SetApplicationFolder(folder);
    Use("PG");
    db.NmUsuario = "ana";
    db.SetGravaLog(true);
    ASSERT_NE(db.DadosGravaLog(), nullptr);
    db.DadosGravaLog()->NmMaquina = "PCTRADUZ";
    db.DadosGravaLog()->NrIP = "192.0.2.9";
    SetLines(q, {"SELECT A FROM T", "WHERE D = '12/25/2024'"});
    q.ExecSQL();
    q.ExecSQL();
    db.SetGravaLog(false);

    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::directory_iterator(folder + "/Logs")) {
        EXPECT_EQ(entry.path().filename().string().rfind("PCTRADUZ-", 0), 0u);
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines) {
        EXPECT_EQ(line.rfind("|192.0.2.9|", 0), 0u) << line;
        EXPECT_NE(line.find("|ana|"), std::string::npos) << line;
        EXPECT_NE(line.find("|SELECT A FROM T WHERE D = '2024-12-25'|"), std::string::npos) << line;
    }
    std::filesystem::remove_all(folder);
}

TEST(TranslateSQL, WithoutDatabaseThereIsNoDialectToTranslateFor) {
    TKVQuery q;
    q.SQL.Add("SELECT UDF_NVL(A) FROM T");
    EXPECT_THROW(q.TranslateSQL(), EKVDatabaseError);
    EXPECT_EQ(q.SQL.Text(), "SELECT UDF_NVL(A) FROM T\r\n");
    EXPECT_EQ(q.TranslationMemoForTests().Original, "");
}
