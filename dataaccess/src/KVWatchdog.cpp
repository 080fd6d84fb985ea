#include "KVWatchdog.h"

namespace kvdriver {

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(FMutex);
        FStop = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void Watchdog::Arm(int timeoutMs) {
    std::lock_guard lock(FMutex);
    if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
    FDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    FArmed = true;
    FFired = false;
    if (FDeadline < FWaitingUntil) FWake.notify_all();
}

bool Watchdog::Disarm() {
    std::lock_guard lock(FMutex);  // waits for a cancel being sent right now
    FArmed = false;
    const bool fired = FFired;
    FFired = false;
    return fired;
}

void Watchdog::Run() {
    std::unique_lock lock(FMutex);
    while (!FStop) {
        if (!FArmed || FFired) {
            FWaitingUntil = std::chrono::steady_clock::time_point::max();
            FWake.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() >= FDeadline) {
            FFired = true;
            FCancel();  // under the lock: Disarm waits until the cancel is out
            continue;
        }
        FWaitingUntil = FDeadline;
        FWake.wait_until(lock, FWaitingUntil);
    }
}

}  // namespace kvdriver
