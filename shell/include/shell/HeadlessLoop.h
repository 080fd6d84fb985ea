// The event loop of the service without a window (a server, a service
// manager, a console): it runs the form's two timers, ends on SIGTERM or
// SIGINT, and pings the service manager's watchdog while it waits. It needs
// no window system and no Qt, and behaves as the window's loop does: a tick
// calls the timer's handler through TfmDEZORiv::Dispatch; a timer switched
// off and on restarts its period; an interval of 0 never fires; a longer
// interval than MaxTimerInterval is cut to it; a stop signal that arrives
// during a tick ends the loop once that tick has finished.
#pragma once
#include <chrono>

class TfmDEZORiv;

namespace shell {

class TTimer;

class THeadlessLoop {
public:
    // The stop signals must be blocked already (BlockStopSignals).
    explicit THeadlessLoop(TfmDEZORiv& form);
    ~THeadlessLoop();
    THeadlessLoop(const THeadlessLoop&) = delete;
    THeadlessLoop& operator=(const THeadlessLoop&) = delete;

    // Runs until a stop signal (returns its number) or Quit() (returns 0).
    int Run();
    // Ends Run() once the handler in progress returns.
    void Quit() { FQuit = true; }

private:
    using Clock = std::chrono::steady_clock;
    struct TBinding {
        TTimer* Timer = nullptr;
        Clock::time_point Due{};
    };
    void Bind(TBinding& binding, TTimer& timer);
    // Reads a waiting stop signal (which then counts as a stop request):
    // its number, or 0 when none is waiting.
    int ReadStopSignal();
    TfmDEZORiv& FForm;
    TBinding FVerifica, FEnvioOP;
    int FSignalFd = -1;
    bool FQuit = false;
};

}  // namespace shell
