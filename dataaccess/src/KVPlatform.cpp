// Host identity and a blocking wait.
#include "dataaccess/KVPlatform.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <mutex>
#include <thread>

namespace {

std::mutex gMutex;
std::string gActiveWindow;

}  // namespace

std::string GetMachineName() {
    char buf[HOST_NAME_MAX + 1] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) return {};
    std::string name(buf);
    // The short network name: without a domain, at most 15 characters.
    if (const auto dot = name.find('.'); dot != std::string::npos) name.erase(dot);
    if (name.size() > 15) name.resize(15);
    return name;
}

std::string GetLocalIP() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return {};
    std::string first, loopback;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
        if (it->ifa_flags & IFF_LOOPBACK) {
            if (loopback.empty()) loopback = text;
        } else if (first.empty()) {
            first = text;
        }
    }
    freeifaddrs(list);
    // A machine with no network but the loopback still reports that one.
    return first.empty() ? loopback : first;
}

std::string ActiveWindowName() {
    std::lock_guard lock(gMutex);
    return gActiveWindow;
}

void SetActiveWindowName(const std::string& name) {
    std::lock_guard lock(gMutex);
    gActiveWindow = name;
}

void KVSleep(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
