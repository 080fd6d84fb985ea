// The relay the network faults are made with, against an echo server: what
// passes in each mode, and that connecting to it can be made to hang here.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>

#include "FaultHarness.h"
#include "test_support/LocalPorts.h"
#include "test_support/TcpRelay.h"

using testsupport::ConnectOutcome;
using testsupport::TcpRelay;
using testsupport::TryConnect;

namespace {

// Answers every byte it gets with the same byte, on one connection at a time.
class EchoServer {
public:
    EchoServer() {
        FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(FListener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int attempt = 0; attempt < 20; ++attempt) {
            FPort = testsupport::FreeLocalPort();
            a.sin_port = htons(static_cast<uint16_t>(FPort));
            if (::bind(FListener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) break;
        }
        ::listen(FListener, 16);
        FThread = std::thread([this] { Serve(); });
    }
    ~EchoServer() {
        FStop = true;
        FThread.join();
        ::close(FListener);
    }
    int Port() const { return FPort; }

private:
    void Serve() {
        std::vector<int> clients;
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (!FStop && std::chrono::steady_clock::now() < end) {
            std::vector<pollfd> fds{{FListener, POLLIN, 0}};
            for (int c : clients) fds.push_back({c, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
            if (fds[0].revents & POLLIN) clients.push_back(::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC));
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!fds[i].revents) continue;
                char buf[4096];
                const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
                if (n > 0) (void)!::send(fds[i].fd, buf, static_cast<size_t>(n), MSG_NOSIGNAL);
            }
        }
        for (int c : clients) ::close(c);
    }
    int FListener = -1, FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

int ConnectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

// What comes back within `waitMs`.
std::string Receive(int fd, size_t wanted, int waitMs) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (got.size() < wanted && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

void Send(int fd, const std::string& text) {
    ASSERT_EQ(::send(fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
}

TEST(TcpRelayTest, ForwardsStallsAndResumes) {
    EchoServer echo;
    TcpRelay relay(echo.Port());
    const int a = ConnectTo(relay.Port());
    Send(a, "one");
    EXPECT_EQ(Receive(a, 3, 5000), "one");

    relay.Stall();
    Send(a, "two");
    EXPECT_EQ(Receive(a, 3, 500), "") << "a stalled relay passed bytes";
    // A connection made while stalled is accepted but never answered.
    const int b = ConnectTo(relay.Port());
    Send(b, "three");
    EXPECT_EQ(Receive(b, 5, 500), "");

    relay.Resume();
    EXPECT_EQ(Receive(a, 3, 5000), "two") << "bytes held while stalled must pass on resume";
    EXPECT_EQ(Receive(b, 5, 5000), "three");
    ::close(a);
    ::close(b);
}

TEST(TcpRelayTest, ConnectingCanBeMadeToHang) {
    EchoServer echo;
    TcpRelay relay(echo.Port());
    const int a = ConnectTo(relay.Port());
    relay.NeverConnect();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(TryConnect(relay.Port(), std::chrono::milliseconds(3000)), ConnectOutcome::Pending)
        << "the kernel completed a handshake on a full listening queue";
    std::cout << "[measured] a connection to the relay was still pending after " << faults::SecondsSince(start)
              << " s" << std::endl;
    Send(a, "held");
    EXPECT_EQ(Receive(a, 4, 300), "") << "a connection made before passed bytes";

    relay.Resume();
    EXPECT_EQ(TryConnect(relay.Port(), std::chrono::milliseconds(3000)), ConnectOutcome::Connected);
    EXPECT_EQ(Receive(a, 4, 5000), "held");
    ::close(a);
}

TEST(TcpRelayTest, TargetDownClosesTheConnection) {
    const int downPort = testsupport::FreeLocalPort();
    TcpRelay relay(downPort);
    const int a = ConnectTo(relay.Port());
    pollfd p{a, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    char c;
    EXPECT_LE(::recv(a, &c, 1, 0), 0);
    ::close(a);
}

}  // namespace
