// A network that stops answering without closing anything, between the
// service (in this process, connected through a TcpRelay) and its server:
// a statement in flight fails within its bound and the run ends as for any
// unreachable database; connecting through a network that never answers
// fails within the connect bound. After the network is back, the next run
// posts everything.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <random>
#include <thread>

#include "FaultHarness.h"
#include "dataaccess/KVDriver.h"
#include "dataaccess/TKVQuery.h"
#include "test_support/TcpRelay.h"

namespace faults {
namespace {

using Clock = std::chrono::steady_clock;

// The service's own bounds, put back after each test.
constexpr int kFbLimitMs = 60000, kOtherLimitMs = 30000, kGraceMs = 60000, kNoLimitMs = 600000;
// Short bounds of these tests.
constexpr int kTestLimitMs = 2000, kTestGraceMs = 3000, kTestNoLimitMs = 6000;
// Connecting gives up after this long.
constexpr double kConnectBoundSeconds = 15;

class SilentNetworkTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        erp = std::make_unique<FaultInstallation>(GetParam());
        relay = std::make_unique<testsupport::TcpRelay>(erp->Server().Port());
        erp->PointServiceAt(relay->Port());
    }
    void TearDown() override {
        TKVCustomQuery::SetTimeLimits(kFbLimitMs, kOtherLimitMs);
        kvdriver::SetDeadConnectionBounds(kGraceMs, kNoLimitMs);
        erp.reset();
        relay.reset();
    }
    std::unique_ptr<FaultInstallation> erp;
    std::unique_ptr<testsupport::TcpRelay> relay;
};

TEST_P(SilentNetworkTest, StatementOnAStalledConnectionFailsWithinItsBound) {
    const unsigned seed = TestSeed(GetParam() == ServerKind::PG ? 4101 : 4102, "stall " + KindName(GetParam()));
    std::mt19937 random(seed);
    TKVCustomQuery::SetTimeLimits(kTestLimitMs, kTestLimitMs);
    kvdriver::SetDeadConnectionBounds(kTestGraceMs, kTestNoLimitMs);
    const double bound = std::max(kTestLimitMs + kTestGraceMs, kTestNoLimitMs) / 1000.0;

    erp->AddOrders(3, GetParam() == ServerKind::PG ? 150 : 60, seed);
    erp->DropNext(3);
    erp->Form();
    const int stallAfterMs = std::uniform_int_distribution<int>(300, 1000)(random);
    Clock::time_point stalledAt{};
    std::thread staller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(stallAfterMs));
        relay->Stall();
        stalledAt = Clock::now();
    });
    const auto lines = erp->Tick();
    const auto ended = Clock::now();
    staller.join();
    ASSERT_GT(ended, stalledAt) << "the run ended before the network stalled: give it more orders";
    const double stallToEnd = std::chrono::duration<double>(ended - stalledAt).count();
    std::cout << "[measured] " << KindName(GetParam()) << ": network stalled " << stallAfterMs
              << " ms into the run; the run ended " << stallToEnd << " s later (time limit " << kTestLimitMs
              << " ms, grace " << kTestGraceMs << " ms, bound without a limit " << kTestNoLimitMs
              << " ms); its last line: " << lines.back() << std::endl;
    EXPECT_LT(stallToEnd, bound + 8) << "the statement outlived its bound of " << bound << " s";
    EXPECT_EQ(OutageRunProblem(lines), "");
    EXPECT_FALSE(erp->InboxFiles().empty()) << "the stalled run's file must stay in Recebidos";
    EXPECT_TRUE(erp->InboxHoldsTheLastFiles()) << "in Recebidos:" << Joined(erp->InboxFiles());
    auto report = erp->Check(false);
    EXPECT_TRUE(report.Holds()) << report.Text();

    relay->Resume();
    const auto resumed = Clock::now();
    const auto after = erp->Tick();
    std::cout << "[measured] the run after the network came back took " << SecondsSince(resumed) << " s, "
              << ReadRun(after).posted << " posted, " << ReadRun(after).refused << " refused as done" << std::endl;
    EXPECT_TRUE(ReadRun(after).other.empty()) << Joined(after);
    report = erp->Check(true);
    EXPECT_TRUE(report.Holds()) << report.Text();
}

// Run as the program (with the service's own bounds), so that a connect
// that never gives up costs the test a bounded wait only.
TEST_P(SilentNetworkTest, ConnectingThroughASilentNetworkFailsWithinTheConnectBound) {
    struct Case {
        const char* name;
        void (testsupport::TcpRelay::*silence)();
    };
    const Case cases[] = {
        {"the handshake is never answered", &testsupport::TcpRelay::NeverConnect},
        {"the connection is accepted and never answered", &testsupport::TcpRelay::Stall},
    };
    erp->AddOrders(1, 3, 4201);
    erp->DropNext();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ((*relay).*c.silence)();
        const auto start = Clock::now();
        auto program = erp->StartProgram();
        const std::optional<int> end = program->Wait(std::chrono::seconds(60));
        const double seconds = SecondsSince(start);
        if (!end) program->Kill();
        const auto lines = testsupport::PaneLines(program->Out());
        std::cout << "[measured] " << KindName(GetParam()) << ", " << c.name << ": the run "
                  << (end ? "ended after " : "was still connecting after ") << seconds
                  << " s; its last line: " << (lines.empty() ? "" : lines.back()) << std::endl;
        ASSERT_TRUE(end.has_value()) << "connecting did not give up within 60 s";
        EXPECT_LT(seconds, kConnectBoundSeconds + 5);
        EXPECT_EQ(*end, 1);
        EXPECT_EQ(OutageRunProblem(lines), "");
        EXPECT_EQ(erp->InboxFiles().size(), 1u);
        relay->Resume();
    }
    auto report = erp->Check(false);
    EXPECT_TRUE(report.Holds()) << report.Text();

    std::vector<std::string> after;
    EXPECT_EQ(erp->RunProgram(after), 0) << Joined(after);
    EXPECT_EQ(ReadRun(after).posted, 3u) << Joined(after);
    report = erp->Check(true);
    EXPECT_TRUE(report.Holds()) << report.Text();
}

INSTANTIATE_TEST_SUITE_P(Servers, SilentNetworkTest, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return KindName(info.param); });

}  // namespace
}  // namespace faults
