// A TCP relay in the test process between the service and a database
// server: it listens on 127.0.0.1 on a port of its own and forwards every
// connection to 127.0.0.1:target. A test points the service's settings at
// the relay and then changes what the network does:
//
//   Forward       bytes pass both ways (the start mode);
//   Stall         every connection stays open, nothing passes either way,
//                 new connections are accepted and never answered: a network
//                 or a server that stops answering without closing;
//   NeverConnect  as Stall, and connecting does not complete at all (the
//                 handshake is never answered), for connect time-outs;
//   Resume        back to Forward; connections held meanwhile go on.
//
// One thread polls every socket with a bounded wait; a mode change returns
// once the thread has put it into effect.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class TcpRelay {
public:
    explicit TcpRelay(int targetPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    int Port() const { return FPort; }

    void Stall();
    // Throws std::runtime_error when this machine still completes the
    // handshake of a connection to a full listening queue.
    void NeverConnect();
    void Resume();

    // Connections accepted so far, bytes passed so far (both ways).
    int Accepted() const { return FAccepted; }
    uint64_t BytesPassed() const { return FBytes; }

private:
    enum class Mode { Forward, Stall, NeverConnect };
    struct Link;

    void SetMode(Mode mode);
    void Run();
    void ApplyMode(Mode mode);
    void OpenListener(int backlog);
    void CloseListener();
    void FillQueue();
    bool AcceptOne();
    void AcceptPending();
    void ConnectUpstream(Link& link);

    int FTarget;
    int FPort = 0;
    int FListener = -1;
    int FWake[2] = {-1, -1};
    std::vector<int> FQueueFillers;
    std::vector<std::unique_ptr<Link>> FLinks;
    Mode FMode = Mode::Forward;

    std::mutex FMutex;
    std::condition_variable FApplied;
    Mode FRequested = Mode::Forward;
    uint64_t FRequests = 0, FDone = 0;
    std::string FError;

    std::atomic<bool> FStop{false};
    std::atomic<int> FAccepted{0};
    std::atomic<uint64_t> FBytes{0};
    std::thread FThread;
};

// What a connection attempt to 127.0.0.1:port comes to within `wait`.
enum class ConnectOutcome { Connected, Refused, Pending };
ConnectOutcome TryConnect(int port, std::chrono::milliseconds wait);

}  // namespace testsupport
