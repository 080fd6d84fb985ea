// The helpers that reach the database, on real PostgreSQL and Firebird.
#include <gtest/gtest.h>

#include "ShellTestUtil.h"
#include "dataaccess/KVPlatform.h"
#include "dataaccess/TKVQuery.h"
#include "shell/SqlHelpers.h"
#include "shell/TfmDEZORiv.h"
#include "test_support/TestDatabases.h"

using testsupport::Backend;

namespace {

void CopySettings(const TKVDatabase& from, TKVDatabase& to) {
    to.DriverName = from.DriverName;
    to.SetDatabaseName(from.DatabaseName());
    to.Database = from.Database;
    to.HostName = from.HostName;
    to.Port = from.Port;
    to.User = from.User;
    to.Password = from.Password;
}

std::string Schema(const std::string& dialect) {
    const std::string text = dialect == "PG" ? "TEXT" : "BLOB SUB_TYPE TEXT";
    return "CREATE TABLE LOG (USUARIO VARCHAR(20), DATA DATE, HORA TIME, TELA VARCHAR(60),\n"
           " DESCRICAO VARCHAR(200), EMPRESA VARCHAR(10), CHAVE VARCHAR(40), OPERACAO VARCHAR(30),\n"
           " FORMULARIO VARCHAR(60));\n"
           "CREATE TABLE OF1_001 (NUMERO VARCHAR(6), CODIGO VARCHAR(15), CODCLI VARCHAR(5),\n"
           " QTDE NUMERIC(15,4), OBS " + text + ", ENTREGA DATE);\n"
           "INSERT INTO OF1_001 VALUES ('123', 'P1', 'C1', 12.5, 'nota longa', DATE '2024-03-15');\n"
           "INSERT INTO OF1_001 VALUES ('124', NULL, NULL, NULL, NULL, NULL);\n"
           "INSERT INTO OF1_001 VALUES ('L1,2', 'P3', 'C3', 1, NULL, NULL);\n";
}

class DbHelpersTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        DEZORIV_REQUIRE_BACKEND(GetParam());
        shell::SetFormatSettings(shell::TFormatSettings{});
        fresh = testsupport::NewDatabase(GetParam());
        CopySettings(*fresh, form.dbKV);
        testsupport::RunSqlText(form.dbKV, Schema(fresh->DriverName));
    }

    TfmDEZORiv form;
    std::unique_ptr<TKVDatabase> fresh;
};

TEST_P(DbHelpersTest, AuditRecordWritesOneCommittedRowIntoLog) {
    SetActiveWindowName("fmDEZORiv");
    shell::AuditRecord(form, "of_importa\xC3\xA7\xC3\xA3o", "Importacao concluida da OF: 001234", 3, "001234");
    shell::AuditRecord(form, "T'ELA", "d'escri\xC3\xA7\xC3\xA3o", 0, "K'1", std::string("fmOutra"));
    shell::AuditRecord(form, "T", "sem janela", 2, "K", std::string());

    // Each description went to Memo1 unchanged first.
    ASSERT_EQ(form.Memo1.Count(), 3u);
    EXPECT_NE(form.Memo1.Lines()[0].find("-Importacao concluida da OF: 001234"), std::string::npos);

    // Read back through another connection: the rows were committed.
    TKVDatabase reader;
    CopySettings(form.dbKV, reader);
    if (GetParam() == Backend::FBEmbedded) form.dbKV.Close();  // one attachment to an embedded file at a time
    TKVQuery q;
    q.SetDatabase(&reader);
    q.SQL.Add("SELECT USUARIO, TELA, DESCRICAO, EMPRESA, CHAVE, OPERACAO, FORMULARIO,");
    q.SQL.Add(" CASE WHEN DATA = CURRENT_DATE THEN 'S' ELSE 'N' END AS HOJE,");
    q.SQL.Add(" CASE WHEN HORA IS NULL THEN 'N' ELSE 'S' END AS TEM_HORA");
    q.SQL.Add("FROM LOG ORDER BY CHAVE");
    q.Open();
    struct Row {
        const char *tela, *descricao, *chave, *operacao, *formulario;
    } expected[] = {
        {"OF_IMPORTA\xC3\x87\xC3\x83O", "IMPORTACAO CONCLUIDA DA OF: 001234", "001234", "Movimenta\xC3\xA7\xC3\xA3o",
         "fmDEZORiv"},
        {"T", "SEM JANELA", "K", "Exclus\xC3\xA3o", ""},
        {"T'ELA", "D'ESCRI\xC3\x87\xC3\x83O", "K'1", "Inclus\xC3\xA3o", "fmOutra"},
    };
    for (const auto& e : expected) {
        ASSERT_FALSE(q.Eof());
        EXPECT_EQ(q.FieldByName("USUARIO").AsString(), "VELDOR");
        EXPECT_EQ(q.FieldByName("TELA").AsString(), e.tela);
        EXPECT_EQ(q.FieldByName("DESCRICAO").AsString(), e.descricao);
        EXPECT_EQ(q.FieldByName("EMPRESA").AsString(), "_001");
        EXPECT_EQ(q.FieldByName("CHAVE").AsString(), e.chave);
        EXPECT_EQ(q.FieldByName("OPERACAO").AsString(), e.operacao);
        EXPECT_EQ(q.FieldByName("FORMULARIO").AsString(), e.formulario);
        EXPECT_EQ(q.FieldByName("HOJE").AsString(), "S");
        EXPECT_EQ(q.FieldByName("TEM_HORA").AsString(), "S");
        q.Next();
    }
    EXPECT_TRUE(q.Eof());
}

TEST_P(DbHelpersTest, AuditRecordErrorReachesTheCallerAfterThePaneLine) {
    testsupport::RunSqlText(form.dbKV, "DROP TABLE LOG;\n");
    EXPECT_ANY_THROW(shell::AuditRecord(form, "T", "linha antes do erro", 3, "K"));
    ASSERT_EQ(form.Memo1.Count(), 1u);
    EXPECT_NE(form.Memo1.Lines()[0].find("-linha antes do erro"), std::string::npos);
}

TEST_P(DbHelpersTest, ExistenceCheck) {
    struct {
        const char *table, *fields, *values;
        bool exists;
    } cases[] = {
        {"OF1", "NUMERO", "'123'", true},
        {"OF1", "NUMERO", "'999'", false},
        {"OF1", "NUMERO;CODIGO", "'123';'P1'", true},
        {"OF1", "NUMERO,CODIGO", "'123','P1'", true},   // commas separate too
        {"OF1", "NUMERO;CODIGO", "'123';'P2'", false},
        {"OF1", "NUMERO", "'12%'", true},               // like: a wildcard matches
        {"OF1", "NUMERO", "'L1,2'", false},             // the comma splits the value
        {"NAO_EXISTE", "NUMERO", "'123'", false},       // a database error reads as "no"
        {"OF1", "COLUNA_NAO_EXISTE", "'1'", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shell::RecordExists(form.dbKV, c.table, c.fields, c.values), c.exists)
            << c.table << " " << c.fields << " " << c.values;
}

TEST_P(DbHelpersTest, ExistenceCheckInsideAWritingUnitRaisesInsteadOfReadingNo) {
    // Work of the unit so far, not yet committed.
    TKVQuery write;
    write.SetDatabase(&form.dbKV);
    write.SQL.Add("UPDATE OF1_001 SET CODCLI = 'C9' WHERE NUMERO = '123'");
    write.ExecSQL();

    EXPECT_TRUE(shell::RecordExistsOrRaise(form.dbKV, "OF1", "NUMERO", "'123'"));
    EXPECT_FALSE(shell::RecordExistsOrRaise(form.dbKV, "OF1", "NUMERO", "'999'"));
    EXPECT_THROW(shell::RecordExistsOrRaise(form.dbKV, "NAO_EXISTE", "NUMERO", "'123'"), EKVDatabaseError);

    // On PostgreSQL the failed check has already undone the unit's work, which
    // is why a posting must stop there instead of carrying on with "no".
    form.KVTransaction.CommitRetaining();
    std::string codcli;
    shell::LookupValue(form.dbKV, "OF1", "NUMERO", "CODCLI", "'123'", codcli);
    EXPECT_EQ(codcli, fresh->DriverName == "PG" ? "C1" : "C9");
}

TEST_P(DbHelpersTest, SingleValueLookup) {
    struct {
        const char *column, *values;
        bool notNull;
        const char* text;  // after starting from "anterior"
    } cases[] = {
        {"CODIGO", "'123'", true, "P1"},
        {"CODCLI", "'123'", true, "C1"},
        {"CODIGO", "'124'", false, "anterior"},  // NULL leaves the variable as it was
        {"CODIGO", "'999'", true, ""},           // no row gives the empty text
        {"OBS", "'123'", true, "nota longa"},    // blob as its text
        {"QTDE", "'123'", true, "12.5"},
        {"CODIGO", "'L1,2'", true, "P3"},        // lists used unchanged
    };
    for (const auto& c : cases) {
        std::string text = "anterior";
        EXPECT_EQ(shell::LookupValue(form.dbKV, "OF1", "NUMERO", c.column, c.values, text), c.notNull)
            << c.column << " " << c.values;
        EXPECT_EQ(text, c.text) << c.column << " " << c.values;
    }
    shell::TLookupValue value;
    ASSERT_TRUE(shell::LookupValue(form.dbKV, "OF1", "NUMERO", "QTDE", "'123'", value));
    EXPECT_DOUBLE_EQ(value.AsFloat(), 12.5);
    ASSERT_TRUE(shell::LookupValue(form.dbKV, "OF1", "NUMERO", "ENTREGA", "'123'", value));
    EXPECT_EQ(value.AsString().substr(0, 10), "15/03/2024");
    shell::TLookupValue kept{std::string("antigo"), TKVFieldType::String};
    EXPECT_FALSE(shell::LookupValue(form.dbKV, "OF1", "NUMERO", "QTDE", "'124'", kept));
    EXPECT_EQ(kept.AsString(), "antigo");
    // Database errors reach the caller.
    std::string text;
    EXPECT_ANY_THROW(shell::LookupValue(form.dbKV, "NAO_EXISTE", "NUMERO", "CODIGO", "'1'", text));
}

INSTANTIATE_TEST_SUITE_P(Servers, DbHelpersTest, ::testing::ValuesIn(testsupport::AllBackends()),
                         [](const auto& info) { return testsupport::BackendName(info.param); });

}  // namespace
