// What the service tells its service manager (systemd, Type=notify): that it
// is ready, that it is stopping, and - for the watchdog - that it is still
// making progress. Outside systemd (no NOTIFY_SOCKET) every call does nothing.
//
// The jobs call ServiceProgress() between orders and between requests, and
// the headless event loop during its waits, so a watchdog set above the
// longest single step (a statement, a request, a connect) restarts only a
// process that is really stuck.
#pragma once
#include <cstdint>
#include <string>

namespace shell {

// READY=1, with a status text for `systemctl status`.
void NotifyReady(const std::string& status) noexcept;
// STOPPING=1.
void NotifyStopping() noexcept;
// WATCHDOG=1 when the manager asked for a watchdog; sent at most every
// quarter period (and at most once a second), so it may be called often.
void ServiceProgress() noexcept;
// Milliseconds between the pings the waits must make: a quarter of the
// watchdog period; 0 when no watchdog was asked for.
int64_t WatchdogPingInterval() noexcept;

}  // namespace shell
