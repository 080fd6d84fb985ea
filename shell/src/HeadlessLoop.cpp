#include "shell/HeadlessLoop.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "shell/ServiceNotify.h"
#include "shell/StopSignals.h"
#include "shell/TfmDEZORiv.h"
#include "shell/Timer.h"

namespace shell {

namespace {

std::chrono::steady_clock::time_point OnePeriodFromNow(const TTimer& timer) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::min(timer.Interval(), MaxTimerInterval));
}

}  // namespace

THeadlessLoop::THeadlessLoop(TfmDEZORiv& form) : FForm(form), FSignalFd(OpenStopSignalFd()) {
    Bind(FVerifica, form.tmVerifica);
    Bind(FEnvioOP, form.tmEnvioOP);
}

THeadlessLoop::~THeadlessLoop() {
    FVerifica.Timer->OnChange = nullptr;
    FEnvioOP.Timer->OnChange = nullptr;
    if (FSignalFd >= 0) ::close(FSignalFd);
}

void THeadlessLoop::Bind(TBinding& binding, TTimer& timer) {
    binding.Timer = &timer;
    // Every change (re)starts the period, as switching a timer on does.
    auto sync = [&binding] { binding.Due = OnePeriodFromNow(*binding.Timer); };
    timer.OnChange = sync;
    sync();
}

int THeadlessLoop::ReadStopSignal() {
    signalfd_siginfo info{};
    if (FSignalFd < 0 || ::read(FSignalFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
    RequestStop();
    return static_cast<int>(info.ssi_signo);
}

int THeadlessLoop::Run() {
    FQuit = false;
    while (!FQuit) {
        // A stop asked for during a run (a signal a job saw, or RequestStop)
        // ends the loop before any further run starts.
        if (StopRequested()) return ReadStopSignal();
        ServiceProgress();  // the wait between runs is progress too

        // Wait for the next due timer, a stop signal, or the next ping.
        const auto now = Clock::now();
        auto until = Clock::time_point::max();
        for (const TBinding* b : {&FVerifica, &FEnvioOP})
            if (b->Timer->Armed()) until = std::min(until, b->Due);
        int64_t waitMs = -1;
        if (until != Clock::time_point::max())
            waitMs = std::max<int64_t>(
                0, std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
        if (const int64_t ping = WatchdogPingInterval(); ping > 0)
            waitMs = waitMs < 0 ? ping : std::min(waitMs, ping);
        // Without a signal descriptor a stop signal stays blocked: poll nothing.
        pollfd fd{FSignalFd, POLLIN, 0};
        const int timeout = waitMs < 0 ? -1 : static_cast<int>(std::min<int64_t>(waitMs, 60000));
        int ready = ::poll(&fd, FSignalFd >= 0 ? 1 : 0, timeout);
        if (ready < 0 && errno != EINTR) return 0;
        if (ready > 0 && (fd.revents & POLLIN))
            if (const int signal = ReadStopSignal()) return signal;

        for (TBinding* b : {&FVerifica, &FEnvioOP}) {
            if (FQuit) break;
            if (!b->Timer->Armed() || Clock::now() < b->Due || StopRequested()) continue;
            // Until the handler switches the timer off and on, the next
            // period counts from now.
            b->Due = OnePeriodFromNow(*b->Timer);
            TTimer* timer = b->Timer;
            FForm.Dispatch([timer] {
                if (timer->OnTimer) timer->OnTimer();
            });
        }
    }
    return 0;
}

}  // namespace shell
