// TCP ports on 127.0.0.1 for servers of a test's own.
#pragma once
#include <sys/types.h>

namespace testsupport {

// A port nobody listens on now, below the kernel's range of ephemeral ports
// (so no outgoing connection takes it while a server of ours is down).
int FreeLocalPort();

// Whether process `pid` itself holds a listening socket on 127.0.0.1:port
// (not another process that took the port).
bool ProcessListensOn(pid_t pid, int port);

}  // namespace testsupport
