// The service killed with SIGKILL at random moments of `dezoriv --once`
// runs: the server undoes the killed run's open work, nothing is set aside,
// and the runs after it post every order exactly once.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <iostream>
#include <random>

#include "FaultHarness.h"

namespace faults {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKills = 10;
// Two to three seconds of work per file on this kind of machine, so that
// most kills land in the middle of a run.
size_t OrdersPerFile(ServerKind kind) { return kind == ServerKind::PG ? 400 : 160; }
constexpr int kMostRunsToWorkOff = 3;

class ServiceKillTest : public ::testing::TestWithParam<ServerKind> {};

TEST_P(ServiceKillTest, KilledRunsLoseNothing) {
    const unsigned seed = TestSeed(GetParam() == ServerKind::PG ? 3101 : 3102, "service kills " + KindName(GetParam()));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayMs(200, 1500);
    FaultInstallation erp(GetParam());
    erp.AddOrders(kKills, OrdersPerFile(GetParam()), seed);
    const auto suiteStart = Clock::now();

    int killedMidRun = 0;
    for (int round = 0; round < kKills; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        erp.DropNext();
        const int delay = delayMs(random);
        auto program = erp.StartProgram();
        const std::optional<int> endedBefore = program->Wait(std::chrono::milliseconds(delay));
        const int end = endedBefore ? *endedBefore : program->Kill();
        const auto lines = testsupport::PaneLines(program->Out());
        const RunOutcome outcome = ReadRun(lines);
        std::cout << "[round " << round << "] " << (endedBefore ? "the run ended before the kill" : "killed")
                  << " after " << delay << " ms: " << outcome.posted << " posted, " << outcome.refused
                  << " refused as done, " << outcome.moved << " files moved" << std::endl;
        if (endedBefore) {
            EXPECT_EQ(*endedBefore, 0) << Joined(lines) << "\nstderr: " << program->Err();
            EXPECT_TRUE(outcome.other.empty()) << Joined(lines);
        } else {
            ++killedMidRun;
            EXPECT_EQ(end, -SIGKILL);
            EXPECT_TRUE(outcome.other.empty()) << "before the kill" << Joined(lines);
        }
        EXPECT_TRUE(erp.InboxHoldsTheLastFiles()) << "in Recebidos:" << Joined(erp.InboxFiles());
        const auto report = erp.Check(false);
        EXPECT_TRUE(report.Holds()) << report.Text();
    }
    EXPECT_GE(killedMidRun, kKills / 2) << "too few runs were killed in the middle: make the files longer";

    // Runs with nobody in the way work the inbox off.
    int runs = 0;
    double lastRunSeconds = 0;
    while (runs < kMostRunsToWorkOff && !erp.InboxFiles().empty()) {
        std::vector<std::string> lines;
        const auto start = Clock::now();
        const int status = erp.RunProgram(lines);
        lastRunSeconds = SecondsSince(start);
        ++runs;
        EXPECT_EQ(status, 0) << Joined(lines);
        EXPECT_TRUE(ReadRun(lines).other.empty()) << Joined(lines);
    }
    EXPECT_EQ(runs, 1) << "the first run after the kills must post everything that waited";
    const auto report = erp.Check(true);
    EXPECT_TRUE(report.Holds()) << report.Text();
    std::cout << "[result] " << report.Text() << "; " << killedMidRun << " of " << kKills
              << " runs killed in the middle; worked off in " << runs << " run(s), the last " << lastRunSeconds
              << " s; " << SecondsSince(suiteStart) << " s in all" << std::endl;
}

INSTANTIATE_TEST_SUITE_P(Servers, ServiceKillTest, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return KindName(info.param); });

}  // namespace
}  // namespace faults
