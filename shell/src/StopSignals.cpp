#include "shell/StopSignals.h"

#ifdef DEZORIV_GUI
#include <QSocketNotifier>
#endif

#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "StopSignalsTesting.h"

namespace shell {

namespace {

std::atomic<bool> stopFlag{false};

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

bool StopRequested() {
    if (stopFlag.load(std::memory_order_relaxed)) return true;
    // Blocked signals stay pending until the event loop reads them; a run in
    // progress sees them here.
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) == 0 && (sigismember(&pending, SIGTERM) == 1 || sigismember(&pending, SIGINT) == 1)) {
        stopFlag.store(true, std::memory_order_relaxed);
        return true;
    }
    return false;
}

void RequestStop() { stopFlag.store(true, std::memory_order_relaxed); }

void testing::ClearStopRequest() {
    sigset_t set = StopSet();
    timespec zero{0, 0};
    while (sigtimedwait(&set, nullptr, &zero) > 0) {
    }
    stopFlag.store(false, std::memory_order_relaxed);
}

void BlockStopSignals() {
    sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int OpenStopSignalFd() {
    sigset_t set = StopSet();
    return signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

#ifdef DEZORIV_GUI
TStopSignalWatcher::TStopSignalWatcher(std::function<void(int)> onStop) : FOnStop(std::move(onStop)) {
    sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    FFd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (FFd < 0) return;
    FNotifier = std::make_unique<QSocketNotifier>(FFd, QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] {
        signalfd_siginfo info{};
        bool got = false;
        while (::read(FFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) got = true;
        if (!got) return;
        RequestStop();
        if (FOnStop) FOnStop(static_cast<int>(info.ssi_signo));
    });
}

TStopSignalWatcher::~TStopSignalWatcher() {
    FNotifier.reset();
    if (FFd >= 0) ::close(FFd);
}

#endif

bool TStopSignalWatcher::Pending() {
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    return sigismember(&pending, SIGTERM) == 1 || sigismember(&pending, SIGINT) == 1;
}

}  // namespace shell
