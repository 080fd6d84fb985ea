// The long-running service (its timer on the Qt event loop, every 300 ms)
// while its database server is restarted between two ticks, or is down for
// a few ticks: the files dropped meanwhile are posted once the server is
// back, and none is set aside.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>

#include "FaultHarness.h"
#include "shell/EventLoop.h"
#include "test_support/PrivatePgServer.h"
#include "writeoff/WriteOff.h"

namespace faults {
namespace {

using Clock = std::chrono::steady_clock;
const std::string kScanLine = "FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS";

// The Memo1 lines of each run, split at the line every run starts with.
std::vector<std::vector<std::string>> ByRun(const std::vector<std::string>& lines) {
    std::vector<std::vector<std::string>> runs;
    for (const auto& line : lines) {
        if (line == kScanLine || runs.empty()) runs.emplace_back();
        runs.back().push_back(line);
    }
    return runs;
}

class ServerRestartBetweenTicksTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        erp = std::make_unique<FaultInstallation>(GetParam());
        erp->AddOrders(8, 5, TestSeed(GetParam() == ServerKind::PG ? 1101 : 1102, "ticks " + KindName(GetParam())));
        TfmDEZORiv& form = erp->Form();
        form.ProcessaArquivos = [this](TfmDEZORiv& fm) {
            ++ticks;
            writeoff::ProcessaArquivos(fm);
        };
        form.tmVerifica.SetInterval(300);
        timers = std::make_unique<shell::TEventLoopTimers>(form);
        // Wakes the loop up now and then, so that every wait below is bounded
        // even with the service's timer switched off.
        heartbeat.start(50);
    }
    void TearDown() override {
        timers.reset();
        erp.reset();
    }

    // Runs the event loop until `done` or the time is up; ticks only happen
    // in here, so outside it the service is always between two ticks.
    bool RunLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        while (!done() && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return done();
    }
    bool Processed(size_t file) const {
        return std::filesystem::exists(erp->Processed() + erp->Orders().Files()[file].name);
    }

    std::unique_ptr<FaultInstallation> erp;
    std::unique_ptr<shell::TEventLoopTimers> timers;
    QTimer heartbeat;
    int ticks = 0;
};

TEST_P(ServerRestartBetweenTicksTest, FilesOfTheNextTicksArePostedNothingIsSetAside) {
    auto& server = erp->Server();
    auto* pg = dynamic_cast<testsupport::PrivatePgServer*>(&server);
    struct Restart {
        const char* name;
        std::function<void()> stop;
    };
    std::vector<Restart> restarts = {{"orderly shut-down", [&] { server.Stop(); }},
                                     {"SIGKILL", [&] { server.Kill(); }}};
    if (pg) restarts.push_back({"immediate shut-down", [pg] { pg->StopImmediate(); }});

    erp->DropNext();
    ASSERT_TRUE(RunLoopUntil([&] { return Processed(0); }, std::chrono::seconds(60)))
        << "the first file was not posted" << Joined(erp->NewLines());
    erp->NewLines();

    for (const auto& restart : restarts) {
        SCOPED_TRACE(restart.name);
        const auto stopStart = Clock::now();
        restart.stop();
        server.Start();
        const double restartSeconds = SecondsSince(stopStart);
        erp->DropNext();
        const size_t file = erp->Dropped() - 1;
        const int ticksBefore = ticks;
        const bool posted = RunLoopUntil([&] { return Processed(file) || ticks >= ticksBefore + 3; },
                                         std::chrono::seconds(60)) && Processed(file);
        const auto runs = ByRun(erp->NewLines());
        std::cout << "[restart by " << restart.name << " in " << restartSeconds << " s] the new file was "
                  << (posted ? "posted" : "NOT posted") << " at tick " << ticks - ticksBefore << " after it"
                  << std::endl;
        EXPECT_TRUE(posted) << "the file of the ticks after a restart was not posted:" << Joined(erp->NewLines());
        // The connection closed by the restart is found at the tick's first
        // statement, which goes again on a new connection: that tick posts.
        EXPECT_EQ(ticks - ticksBefore, 1) << "the first tick after a restart must post";
        const auto report = erp->Check(false);
        std::string lines;
        for (const auto& run : runs) lines += Joined(run);
        EXPECT_TRUE(report.Holds()) << report.Text() << "\nthe ticks' lines:" << lines;
    }

    // Down for a few ticks: each of them ends at once, the file waits.
    server.Stop();
    erp->DropNext();
    const size_t waiting = erp->Dropped() - 1;
    const int ticksBefore = ticks;
    RunLoopUntil([&] { return ticks >= ticksBefore + 3; }, std::chrono::seconds(60));
    const auto downRuns = ByRun(erp->NewLines());
    EXPECT_GE(downRuns.size(), 3u);
    for (const auto& run : downRuns) EXPECT_EQ(OutageRunProblem(run), "");
    EXPECT_FALSE(Processed(waiting));
    std::cout << "[server down] " << downRuns.size() << " ticks, the last line: "
              << (downRuns.empty() ? "" : downRuns.back().back()) << std::endl;

    server.Start();
    const int ticksAtStart = ticks;
    EXPECT_TRUE(RunLoopUntil([&] { return Processed(waiting); }, std::chrono::seconds(60)))
        << "the file that waited was not posted once the server was back" << Joined(erp->NewLines());
    EXPECT_LE(ticks - ticksAtStart, 1) << "the first tick with the server back must post";
    const auto report = erp->Check(true);
    EXPECT_TRUE(report.Holds()) << report.Text();
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerRestartBetweenTicksTest, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return KindName(info.param); });

}  // namespace
}  // namespace faults
