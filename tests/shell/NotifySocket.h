// A service manager's notification socket for tests: a datagram socket in a
// temporary folder, named by NOTIFY_SOCKET while the object lives, with the
// watchdog variables of the calling process.
#pragma once
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ShellTestUtil.h"

namespace shelltest {

class NotifySocket {
public:
    NotifySocket() {
        FPath = (FDir.Path() / "notify").string();
        FFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, FPath.c_str(), sizeof addr.sun_path - 1);
        ::bind(FFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    ~NotifySocket() {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::unsetenv("WATCHDOG_PID");
        ::close(FFd);
    }
    const std::string& Path() const { return FPath; }
    // Sets the variables for this process (watchdogUsec 0: no watchdog).
    void Export(long long watchdogUsec) const {
        ::setenv("NOTIFY_SOCKET", FPath.c_str(), 1);
        if (watchdogUsec > 0) {
            ::setenv("WATCHDOG_USEC", std::to_string(watchdogUsec).c_str(), 1);
            ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
        }
    }
    // The messages received within `ms` milliseconds (waits for the first
    // `atLeast` of them at most that long).
    std::vector<std::string> Receive(int ms, size_t atLeast = static_cast<size_t>(-1)) {
        std::vector<std::string> got;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < atLeast) {
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            deadline - std::chrono::steady_clock::now())
                                            .count());
            if (left <= 0) break;
            pollfd p{FFd, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0) continue;
            char buf[4096];
            ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
            if (n > 0) got.emplace_back(buf, static_cast<size_t>(n));
        }
        return got;
    }

private:
    TempDir FDir;
    std::string FPath;
    int FFd = -1;
};

inline size_t CountOf(const std::vector<std::string>& messages, const std::string& text) {
    size_t n = 0;
    for (const auto& m : messages) n += m == text;
    return n;
}

}  // namespace shelltest
