#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ShellTestUtil.h"
#include "dataaccess/KVErrors.h"
#include "shell/TfmDEZORiv.h"

namespace fs = std::filesystem;
using shelltest::FixedClock;
using shelltest::TempDir;

namespace {

// Files of a folder with their contents ("name=content"), sorted.
std::vector<std::string> Contents(const fs::path& folder) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(folder))
        files.push_back(e.path().filename().string() + "=" + shelltest::ReadFile(e.path()));
    std::sort(files.begin(), files.end());
    return files;
}

// The current file goes to Processados with ".erro" appended; a name already
// taken there (by the file itself or by its ".erro" form) gives it a new one
// that starts with the original name, so nothing is overwritten and nothing
// stays in the inbox because of its name.
TEST(ErrorHandler, FileOutcomes) {
    using Files = std::vector<std::string>;
    struct HandlerCase {
        const char* name;
        bool inboxFile;   // Recebidos/A.txt exists
        Files processed;  // what Processados holds before
        bool setPaths;    // Origem/Destino name A.txt
        Files after;      // what Processados holds after
        const char* lastLine;
    };
    const HandlerCase cases[] = {
        {"moved and renamed", true, {}, true, {"A.txt.erro=inbox"}, "ARQUIVO COM ERRO: A.txt"},
        {"name taken: moved under a new name, then renamed as usual", true, {"A.txt=older"}, true,
         {"A.txt.erro=inbox", "A.txt=older"}, "ARQUIVO COM ERRO: A.txt"},
        {"renamed name taken: the new name keeps the suffix", true, {"A.txt.erro=older"}, true,
         {"A.txt.20240315-140509.erro=inbox", "A.txt.erro=older"},
         "ARQUIVO COM ERRO: A.txt - GUARDADO EM PROCESSADOS COMO: A.txt.20240315-140509.erro"},
        {"both names and the first new one taken", true,
         {"A.txt=older", "A.txt.erro=older", "A.txt.20240315-140509.erro=oldest"}, true,
         {"A.txt.20240315-140509-2.erro=inbox", "A.txt.20240315-140509.erro=oldest", "A.txt.erro=older",
          "A.txt=older"},
         "ARQUIVO COM ERRO: A.txt - GUARDADO EM PROCESSADOS COMO: A.txt.20240315-140509-2.erro"},
        {"inbox file gone already", false, {"A.txt=older"}, true, {"A.txt=older"}, "ARQUIVO COM ERRO: A.txt"},
        {"no current file", false, {}, false, {}, "ARQUIVO COM ERRO: "},
    };
    FixedClock clock(shelltest::LocalTime(2024, 3, 15, 14, 5, 9));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directories(dir.Path() / "Recebidos");
        fs::create_directories(dir.Path() / "Processados");
        auto inbox = dir.Path() / "Recebidos/A.txt";
        if (c.inboxFile) shelltest::WriteFile(inbox, "inbox");
        for (const auto& file : c.processed) {
            const size_t eq = file.find('=');
            shelltest::WriteFile(dir.Path() / "Processados" / file.substr(0, eq), file.substr(eq + 1));
        }

        TfmDEZORiv form;
        form.sPath = dir.Slash();
        if (c.setPaths) {
            form.Origem = inbox.string();
            form.Destino = (dir.Path() / "Processados/A.txt").string();
        }
        form.ApplicationEvents1Exception("Erro KVQuery.Open: tabela n\xC3\xA3o encontrada");

        EXPECT_FALSE(fs::exists(inbox));
        Files after = c.after;
        std::sort(after.begin(), after.end());
        EXPECT_EQ(Contents(dir.Path() / "Processados"), after);

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
