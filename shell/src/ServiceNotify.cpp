#include "shell/ServiceNotify.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <chrono>

namespace shell {

namespace {

using Clock = std::chrono::steady_clock;

// Read at every call: the environment is the manager's word, and reading
// it costs next to nothing beside a run's statements.
int64_t WatchdogPeriodMs() noexcept {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return 0;
    return static_cast<int64_t>(usec / 1000);
}

}  // namespace

void NotifyReady(const std::string& status) noexcept {
    std::string text = "READY=1\nSTATUS=" + status;
    sd_notify(0, text.c_str());
}

void NotifyStopping() noexcept { sd_notify(0, "STOPPING=1"); }

int64_t WatchdogPingInterval() noexcept {
    int64_t period = WatchdogPeriodMs();
    return period > 0 ? std::max<int64_t>(period / 4, 1) : 0;
}

void ServiceProgress() noexcept {
    const int64_t interval = WatchdogPingInterval();
    if (interval == 0) return;
    static Clock::time_point last{};
    const auto now = Clock::now();
    const auto gap = std::chrono::milliseconds(std::min<int64_t>(interval, 1000));
    if (last != Clock::time_point{} && now - last < gap) return;
    last = now;
    sd_notify(0, "WATCHDOG=1");
}

}  // namespace shell
