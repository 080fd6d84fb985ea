#include "ConnectProbe.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "dataaccess/KVErrors.h"

namespace kvdriver::firebird {

namespace {

constexpr const char* kNetConnectErr = "335544722";  // isc_net_connect_err

// Each address gets what is left of the bound. True when the handshake
// completed or was refused (the host answered), false when it stayed pending.
bool Answers(const addrinfo& ai, std::chrono::steady_clock::time_point deadline) {
    const int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai.ai_protocol);
    if (fd < 0) return true;  // nothing to learn here: let the attach speak
    bool answered = true;
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) != 0 && errno == EINPROGRESS) {
        answered = false;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd, POLLOUT, 0};
            const int n = ::poll(&p, 1, static_cast<int>(left.count()));
            if (n > 0) {
                answered = true;
                break;
            }
            if (n < 0 && errno != EINTR) {
                answered = true;
                break;
            }
        }
    }
    ::close(fd);
    return answered;
}

}  // namespace

ServerAddress AddressOf(const std::string& server, const std::string& port) {
    ServerAddress a{server, port.empty() ? "3050" : port};
    if (const auto slash = server.find('/'); slash != std::string::npos) {
        a.host = server.substr(0, slash);
        a.port = server.substr(slash + 1);
    }
    return a;
}

void ProbeServer(const ServerAddress& address, int seconds) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found) != 0 || !found) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool answered = false;
    for (const addrinfo* ai = found; ai && !answered; ai = ai->ai_next) answered = Answers(*ai, deadline);
    ::freeaddrinfo(found);
    if (!answered)
        throw EKVDatabaseError("O servidor " + address.host + "/" + address.port + " não respondeu ao pedido de conexão em " +
                                   std::to_string(seconds) + " s.",
                               kNetConnectErr, true);
}

}  // namespace kvdriver::firebird
