// Programs run by tests as child processes: servers of a test's own and the
// built service. A child gets its arguments, extra environment variables, an
// optional user to run as (when the test runs as root), standard input from a
// file, and its output either captured through pipes or appended to a log
// file. A child started with KillWithParent dies with the test process, so a
// crashed test leaves no server behind.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct ChildOptions {
    std::vector<std::string> argv;                            // argv[0] is the program path
    std::vector<std::pair<std::string, std::string>> env;     // set in the child
    std::vector<std::string> unsetEnv;                        // removed in the child
    std::string runAsUser;        // switch to this user when running as root
    std::string workingFolder;    // empty: "/"
    std::string stdinFile;        // empty: /dev/null
    std::string logFile;          // empty: stdout and stderr are captured
    bool killWithParent = true;   // SIGKILL when the test process dies
};

class ChildProcess {
public:
    // Starts the child; throws std::runtime_error when it cannot be started.
    explicit ChildProcess(const ChildOptions& options);
    // Kills a child still running and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return FPid; }
    // Reads captured output and reaps the child, for at most `limit`. Gives
    // its end (exit status, or minus the signal number that ended it) or
    // nothing when it is still running.
    std::optional<int> Wait(std::chrono::milliseconds limit);
    // Whether it has ended (reaped).
    bool Ended() const { return FStatus.has_value(); }
    // Sends a signal when still running.
    void Signal(int signal);
    // Ends it: SIGKILL and reap; gives its end.
    int Kill();

    const std::string& Out() const { return FOut; }
    const std::string& Err() const { return FErr; }

private:
    void ReadAvailable(int waitMs);
    bool TryReap();

    pid_t FPid = -1;
    int FOutFd = -1, FErrFd = -1;
    std::string FOut, FErr;
    std::optional<int> FStatus;
};

// Runs a program to its end (killed after `limit`) and gives its end and
// both outputs joined. Throws std::runtime_error when it outlives the limit.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const ChildOptions& options, std::chrono::milliseconds limit);

// The end of a child as text: "exit 1" or "signal 9".
std::string DescribeEnd(int status);

}  // namespace testsupport
