// The database server goes away in the middle of `dezoriv --once` runs, at
// random moments, and comes back: each cut-off run ends at once without
// setting a file aside, and once the inbox is worked off every order is
// posted exactly once and the stock matches its movements.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <random>

#include "FaultHarness.h"
#include "test_support/PrivatePgServer.h"

namespace faults {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 6;
constexpr size_t kFilesPerRound = 1, kOrdersPerFile = 250;

class ServerStopMidRunTest : public ::testing::TestWithParam<ServerKind> {};

// The ways a server goes away at once: PostgreSQL's immediate shut-down or a
// killed postmaster; a killed Firebird server (its orderly shut-down on
// SIGTERM was seen to let a run go on for over 10 s).
std::string StopServer(testsupport::PrivateDbServer& server, std::mt19937& random) {
    const int way = std::uniform_int_distribution<int>(0, 1)(random);
    if (auto* pg = dynamic_cast<testsupport::PrivatePgServer*>(&server); pg && way == 0) {
        pg->StopImmediate();
        return "immediate shut-down";
    }
    server.Kill();
    return "SIGKILL";
}

TEST_P(ServerStopMidRunTest, RunsCutOffAtRandomMomentsLoseNothing) {
    const unsigned seed = TestSeed(GetParam() == ServerKind::PG ? 2101 : 2102, "server stops " + KindName(GetParam()));
    std::mt19937 random(seed);
    FaultInstallation erp(GetParam());
    erp.AddOrders(kRounds * kFilesPerRound, kOrdersPerFile, seed);
    std::uniform_int_distribution<int> delayMs(200, 1200);
    const auto suiteStart = Clock::now();

    int cutOff = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        erp.DropNext(kFilesPerRound);
        const int delay = delayMs(random);
        auto program = erp.StartProgram();
        const bool endedBefore = program->Wait(std::chrono::milliseconds(delay)).has_value();
        const auto stoppedAt = Clock::now();
        const std::string how = StopServer(erp.Server(), random);
        const std::optional<int> end = program->Wait(std::chrono::seconds(120));
        const double afterStop = SecondsSince(stoppedAt);
        ASSERT_TRUE(end.has_value()) << "the run did not end after the server went away";
        const auto lines = testsupport::PaneLines(program->Out());
        const RunOutcome outcome = ReadRun(lines);
        const bool wasCutOff = !outcome.other.empty() || *end != 0;
        std::cout << "[round " << round << "] server stopped (" << how << ") " << delay << " ms after the start"
                  << (endedBefore ? " (the run had ended)" : "") << "; the run ended " << afterStop
                  << " s later, " << testsupport::DescribeEnd(*end) << ", " << outcome.posted << " posted, "
                  << outcome.refused << " refused as done, " << outcome.moved << " files moved"
                  << (wasCutOff ? "; its last line: " + lines.back() : "") << std::endl;
        if (wasCutOff) {
            ++cutOff;
            EXPECT_EQ(OutageRunProblem(lines), "");
            EXPECT_EQ(*end, 1) << "a run ended by an unreachable database exits with 1" << Joined(lines)
                               << "\nstderr: " << program->Err();
            EXPECT_LT(afterStop, 20.0) << "the run did not end at once when the server went away";
        } else {
            EXPECT_EQ(*end, 0) << program->Err();
        }
        erp.Server().Start();
        EXPECT_TRUE(erp.InboxHoldsTheLastFiles()) << "in Recebidos:" << Joined(erp.InboxFiles());
        const auto report = erp.Check(false);
        EXPECT_TRUE(report.Holds()) << report.Text();
    }
    EXPECT_GE(cutOff, kRounds / 2) << "too few runs were cut off: make the rounds longer";

    // Worked off with the server up: the next run posts what waited.
    std::vector<std::string> lines;
    const auto lastStart = Clock::now();
    const int status = erp.RunProgram(lines);
    std::cout << "[last run] " << testsupport::DescribeEnd(status) << " in " << SecondsSince(lastStart) << " s, "
              << ReadRun(lines).posted << " posted, " << ReadRun(lines).refused << " refused as done" << std::endl;
    EXPECT_EQ(status, 0) << Joined(lines);
    EXPECT_TRUE(ReadRun(lines).other.empty()) << Joined(lines);
    const auto report = erp.Check(true);
    EXPECT_TRUE(report.Holds()) << report.Text();
    std::cout << "[result] " << report.Text() << "; " << cutOff << " of " << kRounds << " runs cut off; "
              << SecondsSince(suiteStart) << " s in all" << std::endl;
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerStopMidRunTest, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return KindName(info.param); });

}  // namespace
}  // namespace faults
