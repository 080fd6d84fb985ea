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
    FWake.notify_all();
}

bool Watchdog::Disarm() {
    std::lock_guard lock(FMutex);  // waits for a cancel being sent right now
    FArmed = false;
    const bool fired = FFired;
    FFired = false;
    FWake.notify_all();
    return fired;
}

void Watchdog::Run() {
    std::unique_lock lock(FMutex);
    while (!FStop) {
        if (!FArmed || FFired) {
            FWake.wait(lock);
            continue;
        }
        if (FWake.wait_until(lock, FDeadline) == std::cv_status::timeout && FArmed && !FFired && !FStop &&
            std::chrono::steady_clock::now() >= FDeadline) {
            FFired = true;
            FCancel();  // under the lock: Disarm waits until the cancel is out
        }
    }
}

}  // namespace kvdriver
