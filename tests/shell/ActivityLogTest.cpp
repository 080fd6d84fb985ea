#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "ShellTestUtil.h"
#include "shell/ActivityLog.h"
#include "shell/FileMoves.h"
#include "shell/TfmDEZORiv.h"
#include "textutil/AsciiCase.h"

namespace fs = std::filesystem;
using shelltest::FixedClock;
using shelltest::LocalTime;
using shelltest::TempDir;

namespace {

TEST(ActivityLog, OneFilePerDayLinesInOrder) {
    TempDir dir;
    TfmDEZORiv form;
    form.sPath = dir.Slash();
    FixedClock clock(LocalTime(2024, 3, 15, 23, 59, 58));
    form.LogAtividade("primeira");
    form.LogAtividade("segunda \xC3\xA7");  // UTF-8 stays UTF-8
    clock.Set(LocalTime(2024, 3, 16, 0, 0, 1));
    form.LogAtividade("depois da meia-noite");
    clock.Set(LocalTime(2025, 1, 2, 8, 0, 0));
    form.LogAtividade("outro ano");

    auto folder = dir.Path() / "Logs/Brevant";
    EXPECT_EQ(shelltest::ReadFile(folder / "Brevant_240315.log"),
              "15/03/2024 23:59:58 - primeira\r\n15/03/2024 23:59:58 - segunda \xC3\xA7\r\n");
    EXPECT_EQ(shelltest::ReadFile(folder / "Brevant_240316.log"), "16/03/2024 00:00:01 - depois da meia-noite\r\n");
    EXPECT_EQ(shelltest::ReadFile(folder / "Brevant_250102.log"), "02/01/2025 08:00:00 - outro ano\r\n");
    const std::vector<std::string> pane = {
        "15/03/2024 23:59:58 - primeira", "15/03/2024 23:59:58 - segunda \xC3\xA7",
        "16/03/2024 00:00:01 - depois da meia-noite", "02/01/2025 08:00:00 - outro ano"};
    EXPECT_EQ(form.mmOrdemTecel.Lines(), pane);
    EXPECT_TRUE(form.Memo1.Lines().empty());
}

TEST(ActivityLog, AppendsToAnExistingFileAndRecreatesADeletedFolder) {
    TempDir dir;
    TfmDEZORiv form;
    form.sPath = dir.Slash();
    FixedClock clock(LocalTime(2024, 3, 15, 10, 0, 0));
    shelltest::WriteFile(dir.Path() / "Logs/Brevant/Brevant_240315.log", "antes\r\n");
    form.LogAtividade("a");
    EXPECT_EQ(shelltest::ReadFile(dir.Path() / "Logs/Brevant/Brevant_240315.log"),
              "antes\r\n15/03/2024 10:00:00 - a\r\n");
    fs::remove_all(dir.Path() / "Logs");
    form.LogAtividade("b");
    EXPECT_EQ(shelltest::ReadFile(dir.Path() / "Logs/Brevant/Brevant_240315.log"), "15/03/2024 10:00:00 - b\r\n");
}

TEST(ActivityLog, NeverFailsWhenTheFileCannotBeWritten) {
    FixedClock clock(LocalTime(2024, 3, 15, 10, 0, 0));
    struct {
        const char* name;
        std::function<void(const fs::path&)> spoil;
    } cases[] = {
        {"Logs is a file", [](const fs::path& d) { shelltest::WriteFile(d / "Logs", "x"); }},
        {"log file name is a folder", [](const fs::path& d) { fs::create_directories(d / "Logs/Brevant/Brevant_240315.log"); }},
        {"read-only log folder",
         [](const fs::path& d) {
             fs::create_directories(d / "Logs/Brevant");
             ::chmod((d / "Logs/Brevant").c_str(), 0500);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        c.spoil(dir.Path());
        TfmDEZORiv form;
        form.sPath = dir.Slash();
        EXPECT_NO_THROW(form.LogAtividade("linha"));
        ASSERT_EQ(form.mmOrdemTecel.Count(), 1u);
        EXPECT_EQ(form.mmOrdemTecel.Lines()[0], "15/03/2024 10:00:00 - linha");
        if (std::string(c.name) == "read-only log folder" && ::geteuid() != 0) {
            EXPECT_FALSE(fs::exists(dir.Path() / "Logs/Brevant/Brevant_240315.log"));
        }
        ::chmod((dir.Path() / "Logs/Brevant").c_str(), 0700);
    }
}

TEST(ActivityLog, WriteOffPaneLine) {
    TempDir dir;
    TfmDEZORiv form;
    form.sPath = dir.Slash();
    FixedClock clock(LocalTime(2024, 3, 15, 10, 0, 0));
    form.LinhaMemo1("FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS");
    EXPECT_EQ(form.Memo1.Lines(),
              std::vector<std::string>{"15/03/2024 10:00:00-FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS"});
    EXPECT_FALSE(fs::exists(dir.Path() / "Logs"));  // no file for the write-off
}

TEST(ActivityLog, FileNamesAndSmallPieces) {
    std::tm t{};
    t.tm_year = 2009 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 5;
    EXPECT_EQ(shell::ActivityLogFileName(t), "Brevant_090105.log");
    EXPECT_EQ(shell::ActivityLogFolder("/srv/dezoriv/"), "/srv/dezoriv/Logs/Brevant/");
    EXPECT_EQ(shell::ActivityLogFolder("/srv/dezoriv"), "/srv/dezoriv/Logs/Brevant/");
    EXPECT_EQ(textutil::UpperAscii("n\xC3\xA3o encontrado"), "N\xC3\xA3O ENCONTRADO");
    EXPECT_EQ(shell::ExtractFileName("/a/b/A.txt"), "A.txt");
    EXPECT_EQ(shell::ExtractFileName("C:\\in\\B.txt"), "B.txt");
    EXPECT_EQ(shell::ExtractFileName(""), "");
}

}  // namespace
