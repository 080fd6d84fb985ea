#include <gtest/gtest.h>

#ifdef DEZORIV_GUI
#include <QCoreApplication>
#include <QTimer>
#endif

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "ShellTestUtil.h"
#ifdef DEZORIV_GUI
#include "shell/EventLoop.h"
#endif
#include "shell/StopSignals.h"
#include "shell/TfmDEZORiv.h"

using shelltest::TempDir;
using Clock = std::chrono::steady_clock;

namespace {


TEST(Ticks, WriteOffTickSwitchesItsTimerOffDuringTheRun) {
    struct {
        const char* name;
        bool fails;
    } cases[] = {{"run ends normally", false}, {"run ends by an error", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TfmDEZORiv form;
        form.tmVerifica.SetEnabled(true);
        bool enabledDuringRun = true;
        int runs = 0;
        form.ProcessaArquivos = [&](TfmDEZORiv& f) {
            ++runs;
            enabledDuringRun = f.tmVerifica.Enabled();
            if (c.fails) throw std::runtime_error("falhou");
        };
        for (auto handler : {&TfmDEZORiv::tmVerificaTimer, &TfmDEZORiv::Button1Click}) {
            bool ok = form.Dispatch([&] { (form.*handler)(); });
            EXPECT_EQ(ok, !c.fails);
            EXPECT_FALSE(enabledDuringRun);
            EXPECT_TRUE(form.tmVerifica.Enabled());
        }
        EXPECT_EQ(runs, 2);
        EXPECT_EQ(form.ErrorCount(), c.fails ? 2 : 0);
    }
}

TEST(Ticks, ExportTick) {
    struct {
        const char* name;
        int authResult;  // 1 true, 0 false, -1 throws
        bool sendThrows;
        bool sent;
        std::vector<std::string> lines;
        int errors;
    } cases[] = {
        {"login and export", 1, false, true, {"Inicio do envio dos dados da OP.", "Fim do envio dos dados da OP."}, 0},
        {"login refused: no export", 0, false, false,
         {"Inicio do envio dos dados da OP.", "Fim do envio dos dados da OP."}, 0},
        {"login raises", -1, false, false, {"Inicio do envio dos dados da OP."}, 1},
        {"export raises", 1, true, true, {"Inicio do envio dos dados da OP."}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        TfmDEZORiv form;
        form.sPath = dir.Slash();
        form.tmEnvioOP.SetEnabled(true);
        bool sent = false, onDuringRun = true;
        form.AutenticaUsuario = [&](TfmDEZORiv& f) {
            onDuringRun = f.tmEnvioOP.Enabled();
            if (c.authResult < 0) throw std::runtime_error("sem rede");
            return c.authResult == 1;
        };
        form.EnviaOPs = [&](TfmDEZORiv& f) {
            sent = true;
            onDuringRun = onDuringRun || f.tmEnvioOP.Enabled();
            if (c.sendThrows) throw std::runtime_error("falhou");
        };
        form.Dispatch([&] { form.tmEnvioOPTimer(); });
        EXPECT_EQ(sent, c.sent);
        EXPECT_FALSE(onDuringRun);
        EXPECT_TRUE(form.tmEnvioOP.Enabled());
        std::vector<std::string> lines;
        for (const auto& l : form.mmOrdemTecel.Lines()) lines.push_back(l.substr(l.find(" - ") + 3));
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(form.ErrorCount(), c.errors);
        // The handler switches the inbox timer on in every installation.
        EXPECT_EQ(form.tmVerifica.Enabled(), c.errors > 0);
    }
}

#ifdef DEZORIV_GUI
class EventLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        static char name[] = "shell_tests";
        static char* argv[] = {name, nullptr};
        static int argc = 1;
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }
    // Runs the loop for at most `ms` milliseconds.
    void RunFor(int ms) {
        QTimer::singleShot(ms, [] { QCoreApplication::quit(); });
        QCoreApplication::exec();
    }
    std::unique_ptr<QCoreApplication> app;
};

TEST_F(EventLoopTest, RunsNeverOverlapAndTheNextStartsOneIntervalAfterTheEnd) {
    TfmDEZORiv form;
    shell::TEventLoopTimers timers(form);
    std::vector<std::pair<Clock::time_point, Clock::time_point>> runs;
    form.ProcessaArquivos = [&](TfmDEZORiv&) {
        auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(120));  // longer than the interval
        runs.emplace_back(start, Clock::now());
        if (runs.size() == 2) throw std::runtime_error("erro no meio");  // the loop goes on
        if (runs.size() == 4) QCoreApplication::quit();
    };
    form.tmVerifica.SetInterval(50);
    form.tmVerifica.SetEnabled(true);
    RunFor(5000);
    ASSERT_EQ(runs.size(), 4u);
    for (size_t i = 1; i < runs.size(); ++i) {
        auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(runs[i].first - runs[i - 1].second);
        EXPECT_GE(gap.count(), 45) << "run " << i;
    }
    EXPECT_EQ(form.ErrorCount(), 1);
}

TEST_F(EventLoopTest, IntervalZeroNeverFiresAndOffNeverFires) {
    TfmDEZORiv form;
    shell::TEventLoopTimers timers(form);
    int envio = 0, verifica = 0;
    form.AutenticaUsuario = [&](TfmDEZORiv&) { return ++envio, false; };
    form.ProcessaArquivos = [&](TfmDEZORiv&) { ++verifica; };
    form.tmEnvioOP.SetInterval(0);
    form.tmEnvioOP.SetEnabled(true);
    form.tmVerifica.SetInterval(20);  // off
    TempDir dir;
    form.sPath = dir.Slash();
    RunFor(300);
    EXPECT_EQ(envio, 0);
    EXPECT_EQ(verifica, 0);
    EXPECT_TRUE(form.tmEnvioOP.Enabled());
}

TEST_F(EventLoopTest, StopSignalEndsTheLoopAfterTheTickInProgress) {
    shell::BlockStopSignals();
    TfmDEZORiv form;
    shell::TEventLoopTimers timers(form);
    bool tickDone = false, stoppedAfterTick = false;
    int stopSignal = 0;
    shell::TStopSignalWatcher watcher([&](int sig) {
        stopSignal = sig;
        stoppedAfterTick = tickDone;
        QCoreApplication::quit();
    });
    form.ProcessaArquivos = [&](TfmDEZORiv&) {
        ::kill(::getpid(), SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        tickDone = true;
    };
    form.tmVerifica.SetInterval(10);
    form.tmVerifica.SetEnabled(true);
    RunFor(5000);
    EXPECT_EQ(stopSignal, SIGTERM);
    EXPECT_TRUE(stoppedAfterTick);
}

TEST(EventLoop, LongIntervalsAreCutToWhatQtTakes) {
    EXPECT_EQ(shell::QtTimerInterval(0), 0);
    EXPECT_EQ(shell::QtTimerInterval(-5), 0);
    EXPECT_EQ(shell::QtTimerInterval(300000), 300000);
    EXPECT_EQ(shell::QtTimerInterval(99999LL * 60000), INT_MAX);
}

#endif  // DEZORIV_GUI

}  // namespace
