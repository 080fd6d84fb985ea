// The event loop of the service without a window: the timers' rules, the
// stop signals and the watchdog pings while it waits.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "NotifySocket.h"
#include "ShellTestUtil.h"
#include "StopSignalsTesting.h"
#include "shell/HeadlessLoop.h"
#include "shell/StopSignals.h"
#include "shell/TfmDEZORiv.h"

using Clock = std::chrono::steady_clock;

namespace {

// Sends SIGTERM to the process after `ms` milliseconds (when not cancelled),
// and takes a stop signal left pending at the end.
class StopAfter {
public:
    explicit StopAfter(int ms)
        : FThread([this, ms] {
              auto until = Clock::now() + std::chrono::milliseconds(ms);
              while (!FCancel && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
              if (!FCancel) ::kill(::getpid(), SIGTERM);
          }) {}
    ~StopAfter() {
        FCancel = true;
        FThread.join();
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGINT);
        timespec zero{0, 0};
        while (sigtimedwait(&set, nullptr, &zero) > 0) {
        }
    }

private:
    std::atomic<bool> FCancel{false};
    std::thread FThread;
};

class HeadlessLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        shell::BlockStopSignals();
        shell::testing::ClearStopRequest();
    }
    // A stop is sticky for the process: each case starts without one.
    void TearDown() override { shell::testing::ClearStopRequest(); }
};

TEST_F(HeadlessLoopTest, RunsNeverOverlapAndTheNextStartsOneIntervalAfterTheEnd) {
    TfmDEZORiv form;
    shell::THeadlessLoop loop(form);
    std::vector<std::pair<Clock::time_point, Clock::time_point>> runs;
    form.ProcessaArquivos = [&](TfmDEZORiv&) {
        auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(120));  // longer than the interval
        runs.emplace_back(start, Clock::now());
        if (runs.size() == 2) throw std::runtime_error("erro no meio");  // the loop goes on
        if (runs.size() == 4) loop.Quit();
    };
    form.tmVerifica.SetInterval(50);
    form.tmVerifica.SetEnabled(true);
    StopAfter guard(5000);
    EXPECT_EQ(loop.Run(), 0);
    ASSERT_EQ(runs.size(), 4u);
    for (size_t i = 1; i < runs.size(); ++i) {
        auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(runs[i].first - runs[i - 1].second);
        EXPECT_GE(gap.count(), 45) << "run " << i;
    }
    EXPECT_EQ(form.ErrorCount(), 1);
}

TEST_F(HeadlessLoopTest, IntervalZeroNeverFiresAndOffNeverFires) {
    TfmDEZORiv form;
    shell::THeadlessLoop loop(form);
    int envio = 0, verifica = 0;
    form.AutenticaUsuario = [&](TfmDEZORiv&) { return ++envio, false; };
    form.ProcessaArquivos = [&](TfmDEZORiv&) { ++verifica; };
    form.tmEnvioOP.SetInterval(0);
    form.tmEnvioOP.SetEnabled(true);
    form.tmVerifica.SetInterval(20);  // off
    StopAfter stop(300);
    EXPECT_EQ(loop.Run(), SIGTERM);
    EXPECT_EQ(envio, 0);
    EXPECT_EQ(verifica, 0);
}

TEST_F(HeadlessLoopTest, StopSignalEndsTheLoopAfterTheTickInProgress) {
    for (int sig : {SIGTERM, SIGINT}) {
        shell::testing::ClearStopRequest();
        TfmDEZORiv form;
        shell::THeadlessLoop loop(form);
        bool tickDone = false;
        int ticks = 0;
        form.ProcessaArquivos = [&](TfmDEZORiv&) {
            ++ticks;
            ::kill(::getpid(), sig);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            tickDone = true;
        };
        form.tmVerifica.SetInterval(10);
        form.tmVerifica.SetEnabled(true);
        StopAfter guard(5000);
        EXPECT_EQ(loop.Run(), sig);
        EXPECT_TRUE(tickDone);
        EXPECT_EQ(ticks, 1);
    }
}

TEST_F(HeadlessLoopTest, PingsTheWatchdogWhileItWaits) {
    shelltest::NotifySocket manager;
    manager.Export(200000);  // a watchdog of 200 ms: a ping every 50 ms
    TfmDEZORiv form;
    shell::THeadlessLoop loop(form);
    form.tmVerifica.SetInterval(60000);
    form.tmVerifica.SetEnabled(true);  // the next run is a minute away
    {
        StopAfter stop(500);
        EXPECT_EQ(loop.Run(), SIGTERM);
    }
    auto messages = manager.Receive(200);
    EXPECT_GE(shelltest::CountOf(messages, "WATCHDOG=1"), 4u);
    EXPECT_LE(shelltest::CountOf(messages, "WATCHDOG=1"), 12u);
}

}  // namespace
