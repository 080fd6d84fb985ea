// SIGTERM and SIGINT stop the service: they are blocked in every thread (so
// no library's handler can act on them) and read from a signalfd by the event
// loop, which then quits. Work in progress looks at StopRequested(), which
// also sees a signal still waiting to be read, and ends early: a request of
// the export is aborted, a fixed wait is cut short, the write-off ends after
// the order it is posting.
#pragma once
#include <functional>
#include <memory>

class QSocketNotifier;

namespace shell {

// Blocks SIGTERM and SIGINT in the calling thread. Call first thing in
// main(), before any thread exists, so every later thread inherits the mask.
void BlockStopSignals();

// True once a stop was asked for: SIGTERM or SIGINT is waiting for the calling
// thread or the process, or has been received, or RequestStop() was called.
// Cheap enough to be asked often (a flag and one system call); safe from any
// thread. The answer never goes back to false.
bool StopRequested();

// Asks every run in progress to stop, as a stop signal does.
void RequestStop();

// Raised by work that ends early because a stop was asked for. Not an error:
// it derives from no std::exception, so the per-item error handling of the
// jobs lets it pass to the run, which says what was left undone.
struct TStopRequested {};

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
