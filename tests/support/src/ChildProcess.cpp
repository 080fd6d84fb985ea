// Child processes of tests: fork and exec with the environment, user and
// output prepared before the fork (only async-signal-safe calls after it).
#include "test_support/ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> ChildEnvironment(const ChildOptions& options) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        const bool dropped =
            std::find(options.unsetEnv.begin(), options.unsetEnv.end(), name) != options.unsetEnv.end() ||
            std::any_of(options.env.begin(), options.env.end(), [&](const auto& kv) { return kv.first == name; });
        if (!dropped) env.push_back(entry);
    }
    for (const auto& [name, value] : options.env) env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> p;
    for (auto& t : texts) p.push_back(t.data());
    p.push_back(nullptr);
    return p;
}

[[noreturn]] void ChildFails(int errorPipe) {
    const int e = errno;
    (void)!::write(errorPipe, &e, sizeof e);
    ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const ChildOptions& options) {
    if (options.argv.empty()) throw std::runtime_error("ChildProcess: no program");
    std::vector<std::string> argvTexts = options.argv, envTexts = ChildEnvironment(options);
    std::vector<char*> argv = Pointers(argvTexts), envp = Pointers(envTexts);

    bool switchUser = false;
    uid_t uid = 0;
    gid_t gid = 0;
    if (!options.runAsUser.empty() && ::geteuid() == 0) {
        const passwd* pw = ::getpwnam(options.runAsUser.c_str());
        if (!pw) throw std::runtime_error("ChildProcess: no user " + options.runAsUser);
        switchUser = true;
        uid = pw->pw_uid;
        gid = pw->pw_gid;
    }
    const std::string folder = options.workingFolder.empty() ? "/" : options.workingFolder;
    const std::string input = options.stdinFile.empty() ? "/dev/null" : options.stdinFile;

    int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw std::runtime_error("ChildProcess: cannot open " + input);
    int out[2] = {-1, -1}, err[2] = {-1, -1}, log = -1;
    if (options.logFile.empty()) {
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            ::close(in);
            throw std::runtime_error("ChildProcess: pipe failed");
        }
    } else {
        log = ::open(options.logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (log < 0) {
            ::close(in);
            throw std::runtime_error("ChildProcess: cannot open " + options.logFile);
        }
        if (switchUser) (void)!::fchown(log, uid, gid);
    }
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) throw std::runtime_error("ChildProcess: pipe failed");

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("ChildProcess: fork failed: ") + std::strerror(errno));
    if (pid == 0) {
        ::setpgid(0, 0);  // a terminal's Ctrl-C reaches the test, not its servers
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::dup2(in, 0);
        ::dup2(log >= 0 ? log : out[1], 1);
        ::dup2(log >= 0 ? log : err[1], 2);
        if (switchUser) {
            if (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ChildFails(errorPipe[1]);
        }
        // After the user switch, which clears it.
        if (options.killWithParent) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);
        }
        if (::chdir(folder.c_str()) != 0) ChildFails(errorPipe[1]);
        ::execve(argv[0], argv.data(), envp.data());
        ChildFails(errorPipe[1]);
    }
    ::close(in);
    if (log >= 0) ::close(log);
    ::close(errorPipe[1]);
    if (out[1] >= 0) ::close(out[1]);
    if (err[1] >= 0) ::close(err[1]);
    FPid = pid;
    FOutFd = out[0];
    FErrFd = err[0];

    int childErrno = 0;
    ssize_t n;
    do {
        n = ::read(errorPipe[0], &childErrno, sizeof childErrno);
    } while (n < 0 && errno == EINTR);
    ::close(errorPipe[0]);
    if (n == static_cast<ssize_t>(sizeof childErrno)) {
        Wait(std::chrono::milliseconds(2000));
        throw std::runtime_error("cannot start " + options.argv[0] + ": " + std::strerror(childErrno));
    }
}

ChildProcess::~ChildProcess() {
    if (!FStatus) Kill();
    if (FOutFd >= 0) ::close(FOutFd);
    if (FErrFd >= 0) ::close(FErrFd);
}

void ChildProcess::ReadAvailable(int waitMs) {
    pollfd fds[2];
    int count = 0;
    for (int fd : {FOutFd, FErrFd})
        if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
    if (count == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    if (::poll(fds, static_cast<nfds_t>(count), waitMs) <= 0) return;
    for (int i = 0; i < count; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buf[8192];
        const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        const bool isOut = fds[i].fd == FOutFd;
        if (n <= 0) {
            ::close(fds[i].fd);
            (isOut ? FOutFd : FErrFd) = -1;
        } else {
            (isOut ? FOut : FErr).append(buf, static_cast<size_t>(n));
        }
    }
}

bool ChildProcess::TryReap() {
    if (FStatus) return true;
    int status = 0;
    const pid_t r = ::waitpid(FPid, &status, WNOHANG);
    if (r != FPid) return false;
    FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return true;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const bool reaped = TryReap();
        if (reaped && FOutFd < 0 && FErrFd < 0) return FStatus;
        if (left <= 0) {
            if (reaped) {
                // Output held open by a grandchild: what came so far is enough.
                for (int* fd : {&FOutFd, &FErrFd})
                    if (*fd >= 0) ::close(std::exchange(*fd, -1));
            }
            return FStatus;
        }
        ReadAvailable(static_cast<int>(std::min<long long>(left, 20)));
    }
}

void ChildProcess::Signal(int signal) {
    if (!TryReap()) ::kill(FPid, signal);
}

int ChildProcess::Kill() {
    Signal(SIGKILL);
    // A killed process is reaped at once; the bound only guards against a
    // process stuck in the kernel.
    return Wait(std::chrono::milliseconds(30000)).value_or(-SIGKILL);
}

CommandResult RunCommand(const ChildOptions& options, std::chrono::milliseconds limit) {
    ChildProcess child(options);
    const std::optional<int> end = child.Wait(limit);
    if (!end) {
        child.Kill();
        throw std::runtime_error(options.argv[0] + " did not end within " + std::to_string(limit.count()) +
                                 " ms:\n" + child.Out() + child.Err());
    }
    return {*end, child.Out() + child.Err()};
}

std::string DescribeEnd(int status) {
    return status >= 0 ? "exit " + std::to_string(status) : "signal " + std::to_string(-status);
}

}  // namespace testsupport
