// A per-session thread that watches the statement in progress:
// - when its time limit passes, it asks the server to cancel it;
// - when the server still has not answered a grace period later (or, for a
//   statement without a limit, after a long bound), it takes the connection
//   for dead and abandons it: the blocked call returns at once with a network
//   error, instead of waiting for a network that stopped answering.
// Arm before the call, Disarm after it (ArmedWatch does both, so that any
// exception disarms it). The cancel request runs on a thread of its own, so a
// cancel that cannot reach the server never holds the session's thread.
#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace kvdriver {

class Watchdog {
public:
    // cancel: asks the server to stop the running statement. It may run after
    // the session is gone, so it must own (or copy) what it uses.
    // abandon: makes the session's blocked call return at once (shuts its
    // socket down); never blocks. Empty when there is no network to lose.
    Watchdog(std::function<void()> cancel, std::function<void()> abandon);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    struct Outcome {
        bool cancelled = false;  // the time limit passed and the cancel was sent
        bool abandoned = false;  // the connection was taken for dead
    };

    // timeoutMs: the statement's time limit, 0 for none.
    void Arm(int timeoutMs);
    // Waits (briefly) for a cancel request still on its way, so that it
    // cannot reach a later statement.
    Outcome Disarm();
    // Ends the thread; called before the session it watches is destroyed.
    void Stop();

private:
    void Run();
    void SendCancel();

    struct CancelState {
        std::mutex mutex;
        std::condition_variable done;
        int inFlight = 0;
    };

    std::function<void()> FCancel, FAbandon;
    std::shared_ptr<CancelState> FCancelState = std::make_shared<CancelState>();
    std::mutex FMutex;
    std::condition_variable FWake;
    std::thread FThread;
    bool FArmed = false, FStop = false;
    bool FCancelDue = false;  // a limit is set and its cancel not yet sent
    Outcome FOutcome;
    std::chrono::steady_clock::time_point FCancelAt, FAbandonAt;
    // The moment the thread sleeps towards (max while it waits to be armed).
    std::chrono::steady_clock::time_point FWaitingUntil = std::chrono::steady_clock::time_point::max();
};

// Arms a watchdog for one call and disarms it when the scope ends, however.
class ArmedWatch {
public:
    ArmedWatch(Watchdog& watchdog, int timeoutMs) : FWatchdog(watchdog) { FWatchdog.Arm(timeoutMs); }
    ~ArmedWatch() {
        if (!FDone) FWatchdog.Disarm();
    }
    ArmedWatch(const ArmedWatch&) = delete;
    ArmedWatch& operator=(const ArmedWatch&) = delete;
    Watchdog::Outcome Disarm() {
        FDone = true;
        return FWatchdog.Disarm();
    }

private:
    Watchdog& FWatchdog;
    bool FDone = false;
};

// The bounds in force (see SetDeadConnectionBounds in KVDriver.h).
int DeadConnectionGraceMs();
int DeadConnectionNoLimitMs();

}  // namespace kvdriver
