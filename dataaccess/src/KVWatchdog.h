// A per-session thread that cancels a running statement when its time limit
// passes. Arm before the statement, Disarm after it; Disarm tells whether the
// cancel was sent. After Disarm returns no cancel is in flight.
#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kvdriver {

class Watchdog {
public:
    explicit Watchdog(std::function<void()> cancel) : FCancel(std::move(cancel)) {}
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void Arm(int timeoutMs);
    bool Disarm();

private:
    void Run();

    std::function<void()> FCancel;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::thread FThread;
    bool FArmed = false, FFired = false, FStop = false;
    std::chrono::steady_clock::time_point FDeadline;
    // The deadline the thread sleeps towards (max while idle). Arming with a
    // later deadline needs no wake-up: the thread wakes, looks and sleeps on.
    std::chrono::steady_clock::time_point FWaitingUntil = std::chrono::steady_clock::time_point::max();
};

}  // namespace kvdriver
