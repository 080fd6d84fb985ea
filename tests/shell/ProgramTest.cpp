// The built dezoriv program, run as an operator or a service manager would.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <sys/stat.h>
#include <vector>

#include "NotifySocket.h"
#include "ShellTestUtil.h"

using shelltest::TempDir;

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1, err = -1;
};

Child Spawn(const std::vector<std::string>& args, bool withDisplay = false) {
    int out[2], err[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]);
        ::close(err[0]);
        ::setenv("LC_ALL", "C", 1);
        if (!withDisplay) {
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
        }
        std::vector<char*> argv;
        static std::string program = DEZORIV_PROGRAM;
        argv.push_back(program.data());
        for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    return {pid, out[0], err[0]};
}

// Reads both pipes until they close or the deadline passes (then kills).
// Returns the exit status (or -signal).
int Finish(Child& c, std::string& out, std::string& err, int timeoutMs = 60000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd fds[2] = {{c.out, POLLIN, 0}, {c.err, POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        if (left <= 0) {
            ::kill(c.pid, SIGKILL);
            ADD_FAILURE() << "program did not end in time";
            break;
        }
        if (::poll(fds, 2, left) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? out : err).append(buf, static_cast<size_t>(n));
            }
        }
    }
    int status = 0;
    ::waitpid(c.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

int RunProgram(const std::vector<std::string>& args, std::string& out, std::string& err) {
    Child c = Spawn(args);
    return Finish(c, out, err);
}

const std::string MsgTipo = "Definir o tipo de integra\xC3\xA7\xC3\xA3o. \n\rMET=Metal\xC3\xBArgico\n\rTEC=Tecelagem\n";
const std::string Stamp = R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)";
// The start-up line on the console, first of all.
const std::string StartLine = "\\[Memo1\\] " + Stamp + "-DEZORIV [0-9.]+ INICIADO; [^\n]*\n";

TEST(Program, OnceWithATecConfiguration) {
    TempDir dir;
    shelltest::WriteFile(dir.Path() / "DEZORiv.ini", "[Plataforma]\r\nTipo=TEC\r\n");
    std::string out, err;
    int status = RunProgram({"--headless", "--once", "--dir", dir.Path().string()}, out, err);
    EXPECT_TRUE(status == 0 || status == 1) << status << "\n" << err;
    std::regex first("^" + StartLine + "\\[mmOrdemTecel\\] " + Stamp + " - Inicio do Processo\\. Intervalo de 5 minuto\\(s\\)\n"
                     "\\[mmOrdemTecel\\] " + Stamp + " - Inicio do envio dos dados da OP\\.\n");
    EXPECT_TRUE(std::regex_search(out, first)) << out;
    // The same lines reached the day's activity-log file.
    std::string log;
    for (auto& e : std::filesystem::directory_iterator(dir.Path() / "Logs/Brevant")) log += shelltest::ReadFile(e.path());
    EXPECT_NE(log.find(" - Inicio do Processo. Intervalo de 5 minuto(s)\r\n"), std::string::npos) << log;
    // An error of the tick (no API configured here) is reported, never fatal.
    if (status == 1) {
        EXPECT_NE(out.find("[Memo1] "), std::string::npos);
    } else {
        EXPECT_NE(out.find(" - Fim do envio dos dados da OP.\n"), std::string::npos);
    }
}

TEST(Program, InvalidTipoShowsTheMessageAndExitsWithTwo) {
    struct {
        const char* name;
        const char* ini;  // nullptr: no file
    } cases[] = {{"no DEZORiv.ini", nullptr}, {"Tipo in lower case", "[Plataforma]\nTipo=tec\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.ini) shelltest::WriteFile(dir.Path() / "DEZORiv.ini", c.ini);
        for (auto args : {std::vector<std::string>{"--headless", "--once", "--dir", dir.Path().string()},
                          std::vector<std::string>{"--dir", dir.Path().string()}}) {
            std::string out, err;
            EXPECT_EQ(RunProgram(args, out, err), 2);
            EXPECT_EQ(err, MsgTipo);
            // Only the start-up line, which says where DEZORiv.ini was looked for.
            std::regex only("^\\[Memo1\\] " + Stamp + "-DEZORIV [0-9.]+ INICIADO; PASTA: [^\n]*; INI: " +
                            (c.ini ? std::string() : std::string("not found: ")) + "[^\n]*/DEZORiv\\.ini; TIPO: INVALIDO " +
                            "[^\n]*\n$");
            EXPECT_TRUE(std::regex_search(out, only)) << out;
        }
        EXPECT_FALSE(std::filesystem::exists(dir.Path() / "Logs/Brevant"));
    }
}

TEST(Program, OnceReportsAnErrorOfTheStartUpWithOne) {
    TempDir dir;
    shelltest::WriteFile(dir.Path() / "DEZORiv.ini", "[Plataforma]\nTipo=TEC\n[Tempo]\nMinutos=abc\n");
    std::string out, err;
    EXPECT_EQ(RunProgram({"--once", "--dir", dir.Path().string()}, out, err), 1);
    std::regex lines("^" + StartLine + "\\[Memo1\\] " + Stamp + "-EXECAO DO SISTEMA: 'ABC' IS NOT A VALID INTEGER VALUE\n"
                     "\\[Memo1\\] " + Stamp + "-ARQUIVO COM ERRO: \n");
    EXPECT_TRUE(std::regex_search(out, lines)) << out;
}

TEST(Program, OnceWithAMetConfigurationWhoseDatabaseIsMissing) {
    // The inbox run fails at its first statement because the database cannot
    // be opened: nothing is wrong with the file, so it stays in the inbox for
    // the next run, and one pane line says why. The run still counts as failed.
    TempDir dir;
    shelltest::WriteFile(dir.Path() / "DEZORiv.ini", "[Plataforma]\nTipo=MET\n[Banco]\nservidor=\nbase=" +
                                                         (dir.Path() / "nao-existe.fdb").string() + "\n");
    const std::string content = "001;123;10,5;S;01;02;E;L1;A1\r\n002;M1;M;LOT1\r\n";
    shelltest::WriteFile(dir.Path() / "Recebidos/A.txt", content);
    std::filesystem::create_directories(dir.Path() / "Processados");
    std::string out, err;
    EXPECT_EQ(RunProgram({"--once", "--dir", dir.Path().string()}, out, err), 1) << err;
    std::regex lines("^" + StartLine + "\\[Memo1\\] " + Stamp + "-FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS\n"
                     "\\[Memo1\\] " + Stamp +
                     "-BANCO DE DADOS INDISPONIVEL, ARQUIVOS CONTINUAM EM RECEBIDOS PARA A PROXIMA EXECUCAO: "
                     "[^\n]*NAO-EXISTE\\.FDB[^\n]*\n$");
    EXPECT_TRUE(std::regex_search(out, lines)) << out;
    EXPECT_EQ(shelltest::ReadFile(dir.Path() / "Recebidos/A.txt"), content);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path() / "Processados"));
}

TEST(Program, StopSignalEndsTheHeadlessLoop) {
    for (int sig : {SIGTERM, SIGINT}) {
        TempDir dir;
        shelltest::WriteFile(dir.Path() / "DEZORiv.ini", "[Plataforma]\nTipo=TEC\n[Tempo]\nMinutos=60\n");
        Child c = Spawn({"--dir", dir.Path().string()});  // headless: no display
        // Wait for the start-up line, then stop it.
        std::string out;
        pollfd p{c.out, POLLIN, 0};
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (out.find("minuto(s)\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            if (::poll(&p, 1, 1000) > 0) {
                char buf[1024];
                ssize_t n = ::read(c.out, buf, sizeof buf);
                if (n <= 0) break;
                out.append(buf, static_cast<size_t>(n));
            }
        }
        ASSERT_NE(out.find("Intervalo de 60 minuto(s)"), std::string::npos) << out;
        ::kill(c.pid, sig);
        std::string rest, err;
        EXPECT_EQ(Finish(c, rest, err, 10000), 0) << "signal " << sig << "\n" << err;
    }
}

// One process per service folder: while one runs, another on the same folder
// (a loop or a --once run) refuses to start, names the one that runs, and
// changes nothing; the lock goes with its holder, also when it is killed.
TEST(Program, ASecondProcessOnTheSameFolderIsRefused) {
    TempDir dir;
    const std::string folder = dir.Slash();
    shelltest::WriteFile(dir.Path() / "DEZORiv.ini", "[Plataforma]\nTipo=TEC\n[Tempo]\nMinutos=60\n");
    Child first = Spawn({"--dir", folder});
    std::string out;
    pollfd p{first.out, POLLIN, 0};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (out.find("minuto(s)\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        if (::poll(&p, 1, 1000) > 0) {
            char buf[1024];
            ssize_t n = ::read(first.out, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
        }
    }
    ASSERT_NE(out.find("Intervalo de 60 minuto(s)"), std::string::npos) << out;

    for (const std::vector<std::string>& args : {std::vector<std::string>{"--once", "--dir", folder},
                                                 std::vector<std::string>{"--headless", "--dir", folder}}) {
        std::string secondOut, secondErr;
        EXPECT_EQ(RunProgram(args, secondOut, secondErr), 75) << args[0] << "\n" << secondErr;
        EXPECT_EQ(secondErr, "dezoriv: Outro processo do DEZORiv (PID " + std::to_string(first.pid) +
                                 ") j\xC3\xA1 atende a pasta " + folder +
                                 ". Este n\xC3\xA3o foi iniciado: apenas um processo por pasta.\n");
        EXPECT_EQ(secondOut, "");  // no start-up, no tick
    }
    int status = 0;
    EXPECT_EQ(::waitpid(first.pid, &status, WNOHANG), 0) << "the first process must go on";

    // Killed, it leaves the lock file but no lock.
    ::kill(first.pid, SIGKILL);
    std::string rest, err;
    EXPECT_EQ(Finish(first, rest, err, 10000), -SIGKILL);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "DEZORiv.lock"));
    shelltest::WriteFile(dir.Path() / "DEZORiv.ini", "[Plataforma]\nTipo=MET\n");
    std::filesystem::create_directories(dir.Path() / "Recebidos");
    std::string thirdOut, thirdErr;
    EXPECT_EQ(RunProgram({"--once", "--dir", folder}, thirdOut, thirdErr), 0) << thirdErr;
    EXPECT_NE(thirdOut.find("-FEITO VERIFICA"), std::string::npos) << thirdOut;
}

TEST(Program, WindowEndsOnAStopSignalAlsoWithItsMessageBoxOpen) {
#ifndef DEZORIV_GUI
    GTEST_SKIP() << "a build without the window";
#endif
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        if (std::getenv("CI") || std::getenv("DEZORIV_REQUIRE_SERVERS")) FAIL() << "DISPLAY unset (Xvfb missing)";
        GTEST_SKIP() << "DISPLAY unset";
    }
    for (const char* ini : {"[Plataforma]\nTipo=TEC\n", ""}) {
        SCOPED_TRACE(ini);
        TempDir dir;
        if (*ini) shelltest::WriteFile(dir.Path() / "DEZORiv.ini", ini);
        shelltest::WriteFile(dir.Path() / "xdg/.keep", "");
        ::chmod((dir.Path() / "xdg").c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", (dir.Path() / "xdg").c_str(), 1);
        Child c = Spawn({"--dir", dir.Path().string()}, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // window or message box up
        ::kill(c.pid, SIGTERM);
        std::string out, err;
        EXPECT_EQ(Finish(c, out, err, 10000), 0) << err;
        // The window shows the panes; the console gets the start-up line only.
        std::regex only("^DEZORIV [0-9.]+ INICIADO; [^\n]*\n$");
        EXPECT_TRUE(*ini ? std::regex_search(out, only) : out.empty() || std::regex_search(out, only)) << out;
    }
}

TEST(Program, Options) {
    std::string out, err;
    EXPECT_EQ(RunProgram({"--help"}, out, err), 0);
    EXPECT_NE(out.find("--headless"), std::string::npos);
    EXPECT_NE(out.find("[Memo1] "), std::string::npos);
    out.clear();
    err.clear();
    EXPECT_EQ(RunProgram({"--bogus"}, out, err), 64);
    EXPECT_NE(err.find("unknown option --bogus"), std::string::npos);
}

TEST(Program, Version) {
    std::string out, err;
    EXPECT_EQ(RunProgram({"--version"}, out, err), 0);
    EXPECT_TRUE(std::regex_match(out, std::regex("dezoriv [0-9]+\\.[0-9]+(\\.[0-9]+)?\n"))) << out;
}

// Under systemd (Type=notify, WatchdogSec): READY once started, with the
// start-up line as status; watchdog pings while it waits for its next run;
// STOPPING on SIGTERM.
TEST(Program, TellsTheServiceManagerAndPingsTheWatchdogWhileWaiting) {
    TempDir dir;
    shelltest::WriteFile(dir.Path() / "DEZORiv.ini", "[Plataforma]\nTipo=MET\n[Tempo]\nMinutos=60\n");
    shelltest::NotifySocket manager;
    ::setenv("NOTIFY_SOCKET", manager.Path().c_str(), 1);
    ::setenv("WATCHDOG_USEC", "400000", 1);  // a ping every 100 ms
    Child c = Spawn({"--dir", dir.Path().string()});
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");
    auto first = manager.Receive(10000, 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].rfind("READY=1\nSTATUS=DEZORIV ", 0), 0u) << first[0];
    EXPECT_NE(first[0].find("TIPO: MET"), std::string::npos) << first[0];
    auto waiting = manager.Receive(1000);
    EXPECT_GE(shelltest::CountOf(waiting, "WATCHDOG=1"), 5u);
    ::kill(c.pid, SIGTERM);
    std::string out, err;
    EXPECT_EQ(Finish(c, out, err, 10000), 0) << err;
    auto last = manager.Receive(1000);
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last.back(), "STOPPING=1");
    EXPECT_TRUE(std::regex_search(out, std::regex("^" + StartLine))) << out;
}

}  // namespace
