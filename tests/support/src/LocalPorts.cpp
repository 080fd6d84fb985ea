// Free ports and listening sockets, read from the kernel's tables.
#include "test_support/LocalPorts.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

namespace testsupport {

namespace {

int EphemeralLow() {
    std::ifstream f("/proc/sys/net/ipv4/ip_local_port_range");
    int low = 32768, high = 60999;
    f >> low >> high;
    return low;
}

bool CanBind(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// Inodes of the sockets listening on the port on 127.0.0.1 or any address.
std::set<std::string> ListeningInodes(int port) {
    std::set<std::string> inodes;
    std::ifstream f("/proc/net/tcp");
    std::string line;
    std::getline(f, line);  // header
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, "%04X", port);
    while (std::getline(f, line)) {
        std::istringstream in(line);
        std::string sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        in >> sl >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        const auto colon = local.find(':');
        if (colon == std::string::npos || state != "0A") continue;
        const std::string address = local.substr(0, colon), portText = local.substr(colon + 1);
        if (portText == wanted && (address == "0100007F" || address == "00000000")) inodes.insert(inode);
    }
    return inodes;
}

}  // namespace

int FreeLocalPort() {
    static std::mt19937 random{std::random_device{}()};
    const int high = EphemeralLow() - 1, low = 20000;
    std::uniform_int_distribution<int> pick(low, high > low ? high : low + 1000);
    for (int attempt = 0; attempt < 500; ++attempt) {
        const int port = pick(random);
        if (CanBind(port) && ListeningInodes(port).empty()) return port;
    }
    throw std::runtime_error("no free TCP port on 127.0.0.1");
}

bool ProcessListensOn(pid_t pid, int port) {
    const std::set<std::string> inodes = ListeningInodes(port);
    if (inodes.empty()) return false;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string target = std::filesystem::read_symlink(it->path(), ec).string();
        if (ec) {
            ec.clear();
            continue;
        }
        if (target.rfind("socket:[", 0) == 0 && inodes.count(target.substr(8, target.size() - 9))) return true;
    }
    return false;
}

}  // namespace testsupport
