// SIGTERM and SIGINT end the service between ticks: they are blocked in every
// thread (so no library's handler can act on them) and read from a signalfd
// by the event loop, which then finishes the tick in progress and quits.
#pragma once
#include <functional>
#include <memory>

class QSocketNotifier;

namespace shell {

// Blocks SIGTERM and SIGINT in the calling thread. Call first thing in
// main(), before any thread exists, so every later thread inherits the mask.
void BlockStopSignals();

// A non-blocking signalfd that reads the stop signals (-1 on failure); the
// headless event loop waits on it.
int OpenStopSignalFd();

// Calls onStop from the window's event loop when SIGTERM or SIGINT arrives.
class TStopSignalWatcher {
public:
    explicit TStopSignalWatcher(std::function<void(int signal)> onStop);
    ~TStopSignalWatcher();
    TStopSignalWatcher(const TStopSignalWatcher&) = delete;
    TStopSignalWatcher& operator=(const TStopSignalWatcher&) = delete;

    // True when a stop signal is pending (read without waiting).
    bool Pending();

private:
    int FFd = -1;
    std::function<void(int)> FOnStop;
    std::unique_ptr<QSocketNotifier> FNotifier;
};

}  // namespace shell
