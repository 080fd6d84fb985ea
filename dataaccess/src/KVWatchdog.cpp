#include "KVWatchdog.h"

#include <atomic>

#include "dataaccess/KVDriver.h"

namespace kvdriver {

namespace {

std::atomic<int> gGraceMs{60000};
std::atomic<int> gNoLimitMs{600000};

// How long Disarm waits for a cancel request still on its way.
constexpr auto kCancelSettle = std::chrono::seconds(2);

}  // namespace

void SetDeadConnectionBounds(int graceMs, int noLimitMs) {
    gGraceMs = graceMs;
    gNoLimitMs = noLimitMs;
}

int DeadConnectionGraceMs() { return gGraceMs; }
int DeadConnectionNoLimitMs() { return gNoLimitMs; }

Watchdog::Watchdog(std::function<void()> cancel, std::function<void()> abandon)
    : FCancel(std::move(cancel)), FAbandon(std::move(abandon)) {}

Watchdog::~Watchdog() { Stop(); }

void Watchdog::Stop() {
    {
        std::lock_guard lock(FMutex);
        FStop = true;
        FArmed = false;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

void Watchdog::Arm(int timeoutMs) {
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(FMutex);
        if (FStop) return;
        if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
        FCancelDue = timeoutMs > 0 && FCancel;
        FCancelAt = now + std::chrono::milliseconds(timeoutMs);
        FAbandonAt = timeoutMs > 0 ? FCancelAt + std::chrono::milliseconds(gGraceMs.load())
                                   : now + std::chrono::milliseconds(gNoLimitMs.load());
        FOutcome = {};
        FArmed = true;
        // A thread already sleeping towards an earlier moment needs no
        // wake-up: it wakes, looks, and sleeps on. So a stream of short
        // statements costs no thread switch.
        if ((FCancelDue ? FCancelAt : FAbandonAt) >= FWaitingUntil) return;
    }
    FWake.notify_all();
}

Watchdog::Outcome Watchdog::Disarm() {
    Outcome outcome;
    {
        std::lock_guard lock(FMutex);
        FArmed = false;
        outcome = FOutcome;
    }
    if (outcome.cancelled) {
        std::unique_lock lock(FCancelState->mutex);
        FCancelState->done.wait_for(lock, kCancelSettle, [this] { return FCancelState->inFlight == 0; });
    }
    return outcome;
}

void Watchdog::SendCancel() {
    // On a thread of its own: on a dead network the request may hang for a
    // long time, and it must not keep the watchdog from abandoning the call.
    auto state = FCancelState;
    {
        std::lock_guard lock(state->mutex);
        ++state->inFlight;
    }
    std::thread([cancel = FCancel, state] {
        try {
            cancel();
        } catch (...) {
        }
        std::lock_guard lock(state->mutex);
        --state->inFlight;
        state->done.notify_all();
    }).detach();
}

void Watchdog::Run() {
    std::unique_lock lock(FMutex);
    while (!FStop) {
        if (!FArmed) {
            if (std::chrono::steady_clock::now() < FWaitingUntil) {
                FWake.wait_until(lock, FWaitingUntil);
            } else {
                FWaitingUntil = std::chrono::steady_clock::time_point::max();
                FWake.wait(lock);
            }
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (FCancelDue && now >= FCancelAt) {
            FCancelDue = false;
            FOutcome.cancelled = true;
            SendCancel();
            continue;
        }
        if (!FOutcome.abandoned && now >= FAbandonAt) {
            FOutcome.abandoned = true;
            if (FAbandon) FAbandon();  // never blocks
            continue;
        }
        if (FOutcome.abandoned) {
            FWaitingUntil = std::chrono::steady_clock::time_point::max();
            FWake.wait(lock);
            continue;
        }
        FWaitingUntil = FCancelDue ? FCancelAt : FAbandonAt;
        FWake.wait_until(lock, FWaitingUntil);
    }
}

}  // namespace kvdriver
