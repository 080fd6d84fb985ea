// The stop request that runs in progress look at: a stop signal still
// waiting to be read counts, and a run that ends early for a stop is no error.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

#include "ShellTestUtil.h"
#include "StopSignalsTesting.h"
#include "shell/StopSignals.h"
#include "shell/TfmDEZORiv.h"

using shelltest::TempDir;

TEST(StopSignals, APendingSignalOrARequestIsAStop) {
    shell::BlockStopSignals();
    for (int sig : {0, SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        shell::testing::ClearStopRequest();
        EXPECT_FALSE(shell::StopRequested());
        if (sig == 0)
            shell::RequestStop();
        else
            ASSERT_EQ(pthread_kill(pthread_self(), sig), 0);  // blocked: it stays pending
        EXPECT_TRUE(shell::StopRequested());
        EXPECT_TRUE(shell::StopRequested());  // and stays a stop
    }
    shell::testing::ClearStopRequest();
    EXPECT_FALSE(shell::StopRequested());
}

TEST(StopSignals, ARunEndedForAStopIsNoErrorAndSetsNoFileAside) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "Recebidos");
    std::filesystem::create_directories(dir.Path() / "Processados");
    shelltest::WriteFile(dir.Path() / "Recebidos/A.txt", "001;1");
    TfmDEZORiv form;
    form.Origem = (dir.Path() / "Recebidos/A.txt").string();
    form.Destino = (dir.Path() / "Processados/A.txt").string();
    EXPECT_TRUE(form.Dispatch([] { throw shell::TStopRequested{}; }));
    EXPECT_EQ(form.ErrorCount(), 0);
    EXPECT_EQ(form.Memo1.Count(), 0u);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "Recebidos/A.txt"));
}
