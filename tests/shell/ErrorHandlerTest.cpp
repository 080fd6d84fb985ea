#include <gtest/gtest.h>

#include <filesystem>

#include "ShellTestUtil.h"
#include "dataaccess/KVErrors.h"
#include "shell/TfmDEZORiv.h"

namespace fs = std::filesystem;
using shelltest::FixedClock;
using shelltest::TempDir;

namespace {

struct HandlerCase {
    const char* name;
    bool inboxFile;        // Recebidos/A.txt exists
    bool processedFile;    // Processados/A.txt already exists
    bool processedErro;    // Processados/A.txt.erro already exists
    bool setPaths;         // Origem/Destino name A.txt
    // Outcome:
    bool inboxAfter, processedAfter, erroAfter;
    const char* erroContent;  // expected content of A.txt.erro ("" = don't check)
    const char* lastLine;
};

TEST(ErrorHandler, FileOutcomes) {
    const HandlerCase cases[] = {
        {"moved and renamed", true, false, false, true, false, false, true, "inbox", "ARQUIVO COM ERRO: A.txt"},
        {"target already present: file stays in the inbox", true, true, false, true, true, true, false, "",
         "ARQUIVO COM ERRO: A.txt"},
        {"renamed target present: moved, not renamed, nothing overwritten", true, false, true, true, false, true, true,
         "older", "ARQUIVO COM ERRO: A.txt"},
        {"inbox file gone already", false, true, false, true, false, true, false, "", "ARQUIVO COM ERRO: A.txt"},
        {"no current file", false, false, false, false, false, false, false, "", "ARQUIVO COM ERRO: "},
    };
    FixedClock clock(shelltest::LocalTime(2024, 3, 15, 14, 5, 9));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directories(dir.Path() / "Recebidos");
        fs::create_directories(dir.Path() / "Processados");
        auto inbox = dir.Path() / "Recebidos/A.txt";
        auto processed = dir.Path() / "Processados/A.txt";
        auto erro = dir.Path() / "Processados/A.txt.erro";
        if (c.inboxFile) shelltest::WriteFile(inbox, "inbox");
        if (c.processedFile) shelltest::WriteFile(processed, "older");
        if (c.processedErro) shelltest::WriteFile(erro, "older");

        TfmDEZORiv form;
        form.sPath = dir.Slash();
        if (c.setPaths) {
            form.Origem = inbox.string();
            form.Destino = processed.string();
        }
        form.ApplicationEvents1Exception("Erro KVQuery.Open: tabela n\xC3\xA3o encontrada");

        EXPECT_EQ(fs::exists(inbox), c.inboxAfter);
        EXPECT_EQ(fs::exists(processed), c.processedAfter);
        EXPECT_EQ(fs::exists(erro), c.erroAfter);
        if (*c.erroContent) {
            EXPECT_EQ(shelltest::ReadFile(erro), c.erroContent);
        }
        if (c.processedFile) {
            EXPECT_EQ(shelltest::ReadFile(processed), "older");
        }
        if (c.inboxAfter) {
            EXPECT_EQ(shelltest::ReadFile(inbox), "inbox");
        }

        ASSERT_EQ(form.Memo1.Count(), 2u);
        EXPECT_EQ(form.Memo1.Lines()[0],
                  "15/03/2024 14:05:09-EXECAO DO SISTEMA: ERRO KVQUERY.OPEN: TABELA N\xC3\xA3O ENCONTRADA");
        EXPECT_EQ(form.Memo1.Lines()[1], std::string("15/03/2024 14:05:09-") + c.lastLine);
        EXPECT_TRUE(form.tmVerifica.Enabled());
        EXPECT_EQ(form.tmVerifica.Interval(), 300000);
        EXPECT_EQ(form.ErrorCount(), 1);
        // Neither the activity log nor any other file is written.
        EXPECT_FALSE(fs::exists(dir.Path() / "Logs"));
        EXPECT_TRUE(form.mmOrdemTecel.Lines().empty());
    }
}

TEST(ErrorHandler, DispatchHandsEveryEscapingErrorToTheHandler) {
    TfmDEZORiv form;
    EXPECT_TRUE(form.Dispatch([] {}));
    EXPECT_FALSE(form.Dispatch([] { throw std::runtime_error("abc"); }));
    EXPECT_FALSE(form.Dispatch([] { throw 42; }));
    EXPECT_EQ(form.ErrorCount(), 2);
    ASSERT_EQ(form.Memo1.Count(), 4u);
    EXPECT_NE(form.Memo1.Lines()[0].find("-EXECAO DO SISTEMA: ABC"), std::string::npos);
}

// A database that could not be reached says nothing about the inbox file: it
// stays where it is, and one line says that the files wait for the next run.
// Any other database error still sets the file aside.
TEST(ErrorHandler, AnUnreachableDatabaseSetsNoFileAside) {
    FixedClock clock(shelltest::LocalTime(2024, 3, 15, 14, 5, 9));
    for (bool lost : {true, false}) {
        SCOPED_TRACE(lost ? "connection lost" : "other database error");
        TempDir dir;
        fs::create_directories(dir.Path() / "Recebidos");
        fs::create_directories(dir.Path() / "Processados");
        auto inbox = dir.Path() / "Recebidos/A.txt";
        shelltest::WriteFile(inbox, "inbox");
        TfmDEZORiv form;
        form.Origem = inbox.string();
        form.Destino = (dir.Path() / "Processados/A.txt").string();
        EXPECT_FALSE(form.Dispatch([lost] {
            throw EKVDatabaseError("Erro KVQuery.Open: server closed the connection unexpectedly\n\tThis probably "
                                   "means the server terminated abnormally",
                                   "08006", lost);
        }));
        EXPECT_EQ(form.ErrorCount(), 1);
        EXPECT_TRUE(form.tmVerifica.Enabled());
        EXPECT_EQ(fs::exists(inbox), lost);
        EXPECT_EQ(fs::exists(dir.Path() / "Processados/A.txt.erro"), !lost);
        if (lost) {
            EXPECT_EQ(form.Memo1.Lines(),
                      std::vector<std::string>{
                          "15/03/2024 14:05:09-BANCO DE DADOS INDISPONIVEL, ARQUIVOS CONTINUAM EM RECEBIDOS PARA A "
                          "PROXIMA EXECUCAO: ERRO KVQUERY.OPEN: SERVER CLOSED THE CONNECTION UNEXPECTEDLY \tTHIS "
                          "PROBABLY MEANS THE SERVER TERMINATED ABNORMALLY"});
        } else {
            EXPECT_EQ(form.Memo1.Count(), 2u);
        }
    }
}

TEST(ErrorHandler, AViewThatFailsDoesNotStopTheHandler) {
    TfmDEZORiv form;
    form.Memo1.AddObserver([](const std::string&) { throw std::runtime_error("view broken"); });
    EXPECT_NO_THROW(form.ApplicationEvents1Exception("x"));
    EXPECT_TRUE(form.tmVerifica.Enabled());
}

}  // namespace
