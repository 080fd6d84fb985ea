// What the service tells a service manager, read from a notification socket
// of the test's own.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "NotifySocket.h"
#include "shell/ServiceNotify.h"

namespace {

TEST(ServiceNotify, ReadyProgressAndStoppingReachTheManager) {
    shelltest::NotifySocket manager;
    manager.Export(400000);  // watchdog of 400 ms
    EXPECT_EQ(shell::WatchdogPingInterval(), 100);
    shell::NotifyReady("DEZORIV INICIADO");
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    // Called between every order: at most one ping per quarter period.
    for (int i = 0; i < 50; ++i) shell::ServiceProgress();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    shell::ServiceProgress();
    shell::NotifyStopping();
    auto messages = manager.Receive(1000, 4);
    EXPECT_EQ(messages, (std::vector<std::string>{"READY=1\nSTATUS=DEZORIV INICIADO", "WATCHDOG=1", "WATCHDOG=1",
                                                  "STOPPING=1"}));
}

TEST(ServiceNotify, WithoutAManagerNothingIsSent) {
    shelltest::NotifySocket manager;  // not exported
    EXPECT_EQ(shell::WatchdogPingInterval(), 0);
    shell::NotifyReady("x");
    shell::ServiceProgress();
    shell::NotifyStopping();
    EXPECT_TRUE(manager.Receive(100).empty());

    // A manager without a watchdog gets READY and STOPPING, no pings.
    manager.Export(0);
    shell::NotifyReady("y");
    shell::ServiceProgress();
    shell::NotifyStopping();
    EXPECT_EQ(manager.Receive(300, 2), (std::vector<std::string>{"READY=1\nSTATUS=y", "STOPPING=1"}));
}

}  // namespace
