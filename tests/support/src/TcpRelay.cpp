// The relay's thread: one poll over the listening socket, the wake-up pipe
// and both ends of every connection; modes applied between two polls.
#include "test_support/TcpRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "test_support/LocalPorts.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBufferCap = 256 * 1024;
constexpr size_t kMaxLinks = 128;
constexpr int kPollMs = 100;
// The relay lives as long as its test; this only bounds a forgotten one.
constexpr auto kLongestLife = std::chrono::hours(2);

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

void NonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void NoDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

struct TcpRelay::Link {
    int client = -1, server = -1;  // server -1: accepted while stalled, not connected yet
    std::string up, down;          // client to server, server to client
    bool closed = false;

    void Close() {
        // What is buffered goes out once more, as far as the sockets take it.
        if (server >= 0 && !up.empty()) (void)!::send(server, up.data(), up.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (client >= 0 && !down.empty())
            (void)!::send(client, down.data(), down.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        CloseFd(client);
        CloseFd(server);
        closed = true;
    }
};

TcpRelay::TcpRelay(int targetPort) : FTarget(targetPort) {
    if (::pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("TcpRelay: pipe failed");
    for (int attempt = 0; attempt < 20 && FListener < 0; ++attempt) {
        FPort = FreeLocalPort();
        try {
            OpenListener(SOMAXCONN);
        } catch (const std::exception&) {
            FListener = -1;
        }
    }
    if (FListener < 0) throw std::runtime_error("TcpRelay: no port to listen on");
    FThread = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay() {
    FStop = true;
    (void)!::write(FWake[1], "x", 1);
    if (FThread.joinable()) FThread.join();
    for (auto& link : FLinks) link->Close();
    for (int& fd : FQueueFillers) CloseFd(fd);
    CloseListener();
    CloseFd(FWake[0]);
    CloseFd(FWake[1]);
}

void TcpRelay::Stall() { SetMode(Mode::Stall); }
void TcpRelay::NeverConnect() { SetMode(Mode::NeverConnect); }
void TcpRelay::Resume() { SetMode(Mode::Forward); }

void TcpRelay::SetMode(Mode mode) {
    std::unique_lock<std::mutex> lock(FMutex);
    FRequested = mode;
    const uint64_t request = ++FRequests;
    (void)!::write(FWake[1], "x", 1);
    if (!FApplied.wait_for(lock, std::chrono::seconds(10), [&] { return FDone >= request; }))
        throw std::runtime_error("TcpRelay: mode change not applied within 10 s");
    if (!FError.empty()) {
        const std::string error = std::exchange(FError, {});
        throw std::runtime_error(error);
    }
}

void TcpRelay::OpenListener(int backlog) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("TcpRelay: socket failed");
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in a = Loopback(FPort);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        throw std::runtime_error("TcpRelay: cannot listen on 127.0.0.1:" + std::to_string(FPort) + ": " + why);
    }
    NonBlocking(fd);
    FListener = fd;
}

void TcpRelay::CloseListener() { CloseFd(FListener); }

// With a backlog of 0 the queue holds one connection that nobody accepts;
// the handshake of every further one is dropped by the kernel, so connecting
// stays pending until the client gives up.
void TcpRelay::FillQueue() {
    for (int i = 0; i < 16; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) break;
        FQueueFillers.push_back(fd);
        const sockaddr_in a = Loopback(FPort);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) continue;
        if (errno != EINPROGRESS) continue;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 200) == 0) return;  // this one stays pending: the queue is full
    }
    throw std::runtime_error("TcpRelay: connections to a full listening queue still complete here");
}

void TcpRelay::ConnectUpstream(Link& link) {
    link.server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = Loopback(FTarget);
    if (link.server < 0 || ::connect(link.server, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        link.Close();  // the server is down: the client sees its connection closed
        return;
    }
    NonBlocking(link.server);
    NoDelay(link.server);
}

bool TcpRelay::AcceptOne() {
    const int fd = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return false;
    if (FLinks.size() >= kMaxLinks) {
        ::close(fd);
        return true;
    }
    ++FAccepted;
    NoDelay(fd);
    auto link = std::make_unique<Link>();
    link->client = fd;
    if (FMode == Mode::Forward) ConnectUpstream(*link);
    FLinks.push_back(std::move(link));
    return true;
}

// Connections the kernel has completed but the thread has not accepted yet
// would be reset when their listener closes: they become links first.
void TcpRelay::AcceptPending() {
    if (FListener < 0 || FMode == Mode::NeverConnect) return;
    for (int i = 0; i < 64 && AcceptOne(); ++i) {
    }
}

void TcpRelay::ApplyMode(Mode mode) {
    if (mode == FMode) return;
    if (FMode == Mode::NeverConnect) {
        for (int& fd : FQueueFillers) CloseFd(fd);
        FQueueFillers.clear();
        CloseListener();
        OpenListener(SOMAXCONN);
    }
    if (mode == Mode::NeverConnect) {
        AcceptPending();
        CloseListener();
        OpenListener(0);
        FMode = mode;
        FillQueue();
        return;
    }
    FMode = mode;
    if (mode == Mode::Forward)
        for (auto& link : FLinks)
            if (!link->closed && link->server < 0) ConnectUpstream(*link);
}

void TcpRelay::Run() {
    const auto started = Clock::now();
    std::vector<pollfd> fds;
    std::vector<std::pair<Link*, bool>> owners;  // link and whether the fd is its client end
    while (!FStop && Clock::now() - started < kLongestLife) {
        fds.clear();
        owners.clear();
        fds.push_back({FWake[0], POLLIN, 0});
        owners.push_back({nullptr, false});
        if (FListener >= 0 && FMode != Mode::NeverConnect) {
            fds.push_back({FListener, POLLIN, 0});
            owners.push_back({nullptr, true});
        }
        if (FMode == Mode::Forward) {
            for (auto& link : FLinks) {
                if (link->closed || link->server < 0) continue;
                short c = 0, s = 0;
                if (link->up.size() < kBufferCap) c |= POLLIN;
                if (!link->down.empty()) c |= POLLOUT;
                if (link->down.size() < kBufferCap) s |= POLLIN;
                if (!link->up.empty()) s |= POLLOUT;
                fds.push_back({link->client, c, 0});
                owners.push_back({link.get(), true});
                fds.push_back({link->server, s, 0});
                owners.push_back({link.get(), false});
            }
        }
        if (::poll(fds.data(), fds.size(), kPollMs) < 0 && errno != EINTR) break;

        for (size_t i = 0; i < fds.size(); ++i) {
            const short ev = fds[i].revents;
            if (!ev) continue;
            Link* link = owners[i].first;
            if (!link) {
                if (fds[i].fd == FWake[0]) {
                    char buf[64];
                    while (::read(FWake[0], buf, sizeof buf) > 0) {
                    }
                    std::unique_lock<std::mutex> lock(FMutex);
                    const Mode mode = FRequested;
                    const uint64_t request = FRequests;
                    lock.unlock();
                    std::string error;
                    try {
                        ApplyMode(mode);
                    } catch (const std::exception& e) {
                        error = e.what();
                    }
                    lock.lock();
                    FDone = request;
                    FError = error;
                    FApplied.notify_all();
                } else if (FMode != Mode::NeverConnect && FListener >= 0) {
                    AcceptOne();
                }
                continue;
            }
            if (link->closed || FMode != Mode::Forward) continue;
            const bool isClient = owners[i].second;
            const int fd = isClient ? link->client : link->server;
            std::string& inbound = isClient ? link->up : link->down;    // read from fd
            std::string& outbound = isClient ? link->down : link->up;  // written to fd
            if (ev & POLLOUT) {
                const ssize_t n = ::send(fd, outbound.data(), outbound.size(), MSG_NOSIGNAL);
                if (n > 0) {
                    outbound.erase(0, static_cast<size_t>(n));
                    FBytes += static_cast<uint64_t>(n);
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    link->Close();
                    continue;
                }
            }
            if (ev & (POLLIN | POLLHUP | POLLERR)) {
                char buf[16384];
                const size_t room = kBufferCap - inbound.size();
                const ssize_t n = ::recv(fd, buf, room < sizeof buf ? room : sizeof buf, 0);
                if (n > 0) {
                    inbound.append(buf, static_cast<size_t>(n));
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    link->Close();
                }
            }
        }
        std::erase_if(FLinks, [](const std::unique_ptr<Link>& l) { return l->closed; });
    }
}

ConnectOutcome TryConnect(int port, std::chrono::milliseconds wait) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    const sockaddr_in a = Loopback(port);
    ConnectOutcome outcome = ConnectOutcome::Pending;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
        outcome = ConnectOutcome::Connected;
    } else if (errno != EINPROGRESS) {
        outcome = ConnectOutcome::Refused;
    } else {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) > 0) {
            int error = 0;
            socklen_t len = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
            outcome = error == 0 ? ConnectOutcome::Connected : ConnectOutcome::Refused;
        }
    }
    ::close(fd);
    return outcome;
}

}  // namespace testsupport
