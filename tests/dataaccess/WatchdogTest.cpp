// The statement watchdog: cancel at the time limit, abandon when the server
// stays silent past the grace, and disarming by scope whatever ends the call.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "KVWatchdog.h"
#include "dataaccess/KVDriver.h"

using namespace std::chrono_literals;
using kvdriver::ArmedWatch;
using kvdriver::Watchdog;

namespace {

class WatchdogTest : public ::testing::Test {
protected:
    void SetUp() override { kvdriver::SetDeadConnectionBounds(300, 400); }
    void TearDown() override { kvdriver::SetDeadConnectionBounds(60000, 600000); }

    std::atomic<int> cancels{0}, abandons{0};
    Watchdog watchdog{[this] { ++cancels; }, [this] { ++abandons; }};
};

TEST_F(WatchdogTest, AStatementWithinItsLimitIsLeftAlone) {
    for (int i = 0; i < 100; ++i) {
        ArmedWatch armed(watchdog, 200);
        const auto outcome = armed.Disarm();
        EXPECT_FALSE(outcome.cancelled);
        EXPECT_FALSE(outcome.abandoned);
    }
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(cancels, 0);
    EXPECT_EQ(abandons, 0);
}

TEST_F(WatchdogTest, CancelAtTheLimitAbandonAfterTheGrace) {
    ArmedWatch armed(watchdog, 100);
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(abandons, 0);
    std::this_thread::sleep_for(300ms);  // 100 ms limit + 300 ms grace passed
    EXPECT_EQ(abandons, 1);
    const auto outcome = armed.Disarm();
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_TRUE(outcome.abandoned);
}

TEST_F(WatchdogTest, AStatementWithoutALimitIsOnlyAbandoned) {
    ArmedWatch armed(watchdog, 0);
    std::this_thread::sleep_for(600ms);  // past the 400 ms bound for statements without a limit
    const auto outcome = armed.Disarm();
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_TRUE(outcome.abandoned);
    EXPECT_EQ(cancels, 0);
    EXPECT_EQ(abandons, 1);
}

// An exception out of the watched call disarms it: the old limit cannot
// cancel the statements that follow.
TEST_F(WatchdogTest, AnExceptionDisarmsTheWatch) {
    try {
        ArmedWatch armed(watchdog, 100);
        throw std::runtime_error("not a database error");
    } catch (const std::runtime_error&) {
    }
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(cancels, 0);
    EXPECT_EQ(abandons, 0);
}

// A cancel that never reaches the server (a dead network) holds neither the
// watchdog, which still abandons the call, nor Disarm for long.
TEST(Watchdog, AHangingCancelHoldsNothing) {
    kvdriver::SetDeadConnectionBounds(200, 400);
    std::atomic<bool> release{false};
    std::atomic<int> abandons{0};
    {
        Watchdog watchdog(
            [&release] {
                for (int i = 0; i < 100 && !release; ++i) std::this_thread::sleep_for(50ms);
            },
            [&abandons] { ++abandons; });
        const auto start = std::chrono::steady_clock::now();
        ArmedWatch armed(watchdog, 50);
        std::this_thread::sleep_for(400ms);
        EXPECT_EQ(abandons, 1);
        const auto outcome = armed.Disarm();
        EXPECT_TRUE(outcome.cancelled && outcome.abandoned);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3500ms);
    }
    release = true;
    kvdriver::SetDeadConnectionBounds(60000, 600000);
    std::this_thread::sleep_for(100ms);  // the cancel's thread ends
}

}  // namespace
