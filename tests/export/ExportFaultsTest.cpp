// The export run when the web API misbehaves: requests that never finish,
// connections that die, hostile answers, and a stop of the service in the
// middle of a request, in the main object and in the built program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "ExportHarness.h"
#include "RequestExchange.h"
#include "StopSignalsTesting.h"
#include "TestSeams.h"
#include "shell/EventLoop.h"
#include "shell/RegionalSettings.h"
#include "shell/StopSignals.h"

using exporttest::Installation;
using exporttest::RequestLines;
using testsupport::Backend;
using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

namespace {

const std::string Create = "POST /api/OrdensProducao/CreateDinamico";
const std::string Group = "POST /api/OrdensProducaoAgrupamento";
const std::string Delete = "DELETE /api/OrdensProducao/DeletarPorCodigo";
const std::string Login = "POST /login";
const std::string Stopped =
    "Envio das OPs interrompido: o serviço está parando. As OPs não marcadas como enviadas serão enviadas na "
    "próxima execução.";
// The fixture's lines before any run (NULL shows as "-").
const Lines Unsent = {"000123|TEC01|002|-", "000123|TEC02|001|-", "000124|TEC01|005|"};

class ExportFaults : public ::testing::Test {
protected:
    void SetUp() override {
        DEZORIV_REQUIRE_BACKEND(Backend::PG);
        shell::SetFormatSettings(shell::TFormatSettings{});  // dd/mm/yyyy
    }
    void TearDown() override {
        exportjob::testing::ResetHttpLimits();
        shell::testing::ClearStopRequest();
    }
};

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool StartsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

// The first log line that begins with `head`, or "".
std::string LineStarting(const Lines& log, const std::string& head) {
    for (const auto& l : log)
        if (StartsWith(l, head)) return l;
    return {};
}

// Waits (at most 20 s) until the API has received a request whose body holds
// `body`; false when none came.
bool WaitForRequest(const FakeApiProcess& api, const std::string& body) {
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < until) {
        try {
            for (const auto& r : api.Requests())
                if (r["body"].get<std::string>().find(body) != std::string::npos) return true;
        } catch (const std::exception&) {
            // A line still being written: read again.
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int Count(const Lines& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

}  // namespace

// A request that never completes ends within its limit as an error of that
// request, with its log line and dump; the run goes on with the rest.
TEST_F(ExportFaults, StalledRequestsEndWithinTheirLimits) {
    struct Case {
        const char* name;
        nlohmann::json rule;
        long totalMs, lowSpeedSeconds;
        std::string logLine;  // its beginning
        std::string dumpPrefix;
        Lines marks;
    } cases[] = {
        {"login never answered",
         {{"path", "/login"}, {"action", "hold"}},
         1000, 30,
         "Não foi possível conectar para envio das OPs. Operation timed out after ",
         "",
         Unsent},
        {"document never answered",
         {{"path", "/CreateDinamico"}, {"body_contains", "\"000123-002\""}, {"action", "hold"}},
         1000, 30,
         "Não foi possível enviar OP 000123 Produto TEC01 Cor 002. Exceção Operation timed out after ",
         "EnviaOrdem_000123-002",
         {"000123|TEC01|002|-", "000123|TEC02|001|S", "000124|TEC01|005|S"}},
        {"main order answers headers and then nothing",
         {{"path", "/CreateDinamico"}, {"body_contains", "\"CodOrdemProducao\":\"000123\""}, {"action", "stall"}},
         20000, 1,
         "Não foi possível enviar OP Principal 000123 Produto TEC01. Exceção Operation too slow. ",
         "EnviaOrdemPrincipal_000123",
         {"000123|TEC01|002|-", "000123|TEC02|001|-", "000124|TEC01|005|S"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeApiProcess api;
        nlohmann::json rule = c.rule;
        rule["hold_ms"] = 30000;
        api.AddRule(rule);
        Installation inst(Backend::PG, api);
        exportjob::testing::SetHttpLimits(15000, c.totalMs, c.lowSpeedSeconds);
        auto start = Clock::now();
        Lines log = inst.RunOnce();
        RecordProperty(std::string("run_seconds_") + c.name, std::to_string(SecondsSince(start)));
        EXPECT_LT(SecondsSince(start), 8);
        std::string line = LineStarting(log, c.logLine);
        EXPECT_NE(line, "") << ::testing::PrintToString(log);
        if (!c.dumpPrefix.empty()) {
            std::string dump = inst.Dump(c.dumpPrefix);
            EXPECT_NE(dump.find("Método: POST\r\n"), std::string::npos) << dump;
            const std::string marker = ". Exceção ";
            EXPECT_NE(dump.find("\r\n" + line.substr(line.find(marker) + marker.size()) + "\r\n"), std::string::npos)
                << dump;
        }
        EXPECT_EQ(log.back(), "Fim do envio dos dados da OP.");
        EXPECT_EQ(inst.Lines(), c.marks);
    }
}

// The API closes the connection while a request is in flight: an error of
// that request, sent once, never a silent second send.
TEST_F(ExportFaults, ADroppedConnectionIsAnErrorAndTheRequestIsNotSentAgain) {
    struct Case {
        const char* name;
        nlohmann::json rule;
        std::string logLine;
        std::string dumpPrefix;
        Lines requests;
        Lines marks;
    } cases[] = {
        {"grouping: closed before any answer",
         {{"path", "/OrdensProducaoAgrupamento"}, {"body_contains", "\"QuantidadeFilho\":150"}, {"action", "drop"}},
         "Não foi possível fazer o agrupamento das ordens. Exceção ",
         "EnviaOrdemAgrupamento_000123",
         {Login, Delete, Create, Create, Create, Group, Delete, Create, Create, Group},
         {"000123|TEC01|002|-", "000123|TEC02|001|-", "000124|TEC01|005|S"}},
        {"document: closed in the middle of the answer",
         {{"path", "/CreateDinamico"}, {"body_contains", "\"000124-005\""}, {"action", "cut"},
          {"body", "[12345678]"}},
         "Não foi possível enviar OP 000124 Produto TEC01 Cor 005. Exceção ",
         "EnviaOrdem_000124-005",
         {Login, Delete, Create, Create, Create, Group, Delete, Create, Create, Group},
         {"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|"}},
        {"deletion: closed before any answer",
         {{"path", "/DeletarPorCodigo"}, {"body_contains", "000124"}, {"action", "drop"}},
         "Não foi possível excluir OP 000124 Erro ",
         "DeletarPorCodigo_000124",
         {Login, Delete, Create, Create, Create, Group, Delete, Create, Create, Group},
         {"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|S"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeApiProcess api;
        nlohmann::json rule = c.rule;
        rule["times"] = 1;  // a second send would be answered normally
        api.AddRule(rule);
        Installation inst(Backend::PG, api);
        Lines log = inst.RunOnce();
        EXPECT_EQ(RequestLines(api), c.requests);
        EXPECT_NE(LineStarting(log, c.logLine), "") << ::testing::PrintToString(log);
        EXPECT_NE(inst.Dump(c.dumpPrefix), "");
        EXPECT_EQ(inst.Lines(), c.marks);
    }
}

// Answers that must not be trusted: each ends as the request's error or is
// read safely, and every log line stays one line.
TEST_F(ExportFaults, HostileAnswers) {
    const std::string longText(5000, 'z');
    struct Case {
        const char* name;
        nlohmann::json rule;
        std::string logLine;  // exact, or its beginning when it ends in "..."
        Lines marks;
    } cases[] = {
        {"document answer over 16 MiB",
         {{"path", "/CreateDinamico"}, {"body_contains", "\"000124-005\""}, {"body_bytes", 16 * 1024 * 1024 + 10},
          {"chunked", true}},
         "Não foi possível enviar OP 000124 Produto TEC01 Cor 005. Exceção Resposta do servidor maior que 16 MiB, "
         "recusada",
         {"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|"}},
        {"accepted answer in a charset that cannot be converted",
         {{"path", "/CreateDinamico"}, {"body_contains", "\"000124-005\""}, {"body", "[77]"},
          {"content_type", "application/json; charset=x-nao-existe"}},
         "Envio da OP 000124 Produto TEC01 Cor 005",
         {"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|S"}},
        {"rejection with line breaks",
         {{"path", "/CreateDinamico"}, {"body_contains", "\"000124-005\""}, {"status", 202},
          {"body", "erro\r\n01/01/2024 00:00:00 - Atualizado o status para Enviado"}},
         "Não foi possível enviar a OP 000124 Produto TEC01 Cor 005. Retorno erro  01/01/2024 00:00:00 - Atualizado "
         "o status para Enviado",
         {"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|"}},
        {"accepted grouping with a long answer",
         {{"path", "/OrdensProducaoAgrupamento"}, {"body_contains", "\"QuantidadeFilho\":60"},
          {"body", "ok\n" + longText}},
         "Feito o agrupamento das ordens ok " + longText.substr(0, exportjob::MaxLogTextBytes - 3) + " [...]",
         {"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|S"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeApiProcess api;
        api.AddRule(c.rule);
        Installation inst(Backend::PG, api);
        Lines log = inst.RunOnce();
        EXPECT_EQ(Count(log, c.logLine), 1) << ::testing::PrintToString(log);
        EXPECT_EQ(inst.Lines(), c.marks);
        for (const auto& l : log) EXPECT_EQ(l.find_first_of("\r\n"), std::string::npos) << l;
        // The day's log file has as many lines as the pane.
        EXPECT_EQ(inst.LogFileLines().size(), inst.Form().mmOrdemTecel.Count());
    }
}

// A stop while the API holds a request of the second order: the request is
// aborted at once, nothing more is sent or marked, and the run says so.
TEST_F(ExportFaults, AStopDuringAStalledRequestEndsTheRunAtOnce) {
    FakeApiProcess api;
    api.AddRule({{"path", "/CreateDinamico"}, {"body_contains", "\"000124-005\""}, {"action", "hold"},
                 {"hold_ms", 30000}});
    Installation inst(Backend::PG, api);
    Clock::time_point stoppedAt;
    std::thread stopper([&] {
        if (WaitForRequest(api, "\"000124-005\"")) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stoppedAt = Clock::now();
        shell::RequestStop();
    });
    Lines log = inst.RunOnce();
    auto ended = Clock::now();
    stopper.join();
    RecordProperty("stop_seconds", std::to_string(std::chrono::duration<double>(ended - stoppedAt).count()));
    EXPECT_LT(std::chrono::duration<double>(ended - stoppedAt).count(), 2);
    EXPECT_EQ(RequestLines(api), (Lines{Login, Delete, Create, Create, Create, Group, Delete, Create}));
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.end()[-2], Stopped);
    EXPECT_EQ(log.back(), "Fim do envio dos dados da OP.");
    EXPECT_EQ(inst.Dump("EnviaOrdem_000124-005"), "");
    EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|"}));

    // The next run, without a stop, sends the order that was left.
    shell::testing::ClearStopRequest();
    api.AddRule({{"path", "/CreateDinamico"}, {"body_contains", "\"000124-005\""}});
    inst.RunOnce();
    EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|S"}));
}

// The service as it runs under a service manager: the event loop starts the
// tick, and SIGTERM arrives while the API holds the first request of the run.
TEST_F(ExportFaults, ServiceLoopEndsOnSigtermDuringAStalledRequest) {
    FakeApiProcess api;
    api.AddRule({{"path", "/DeletarPorCodigo"}, {"action", "hold"}, {"hold_ms", 30000}});
    Installation inst(Backend::PG, api);
    TfmDEZORiv& form = inst.Form();

    shell::BlockStopSignals();
    int argc = 1;
    char name[] = "export_run_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    {
        shell::TEventLoopTimers timers(form);
        shell::TStopSignalWatcher watcher([](int) { QCoreApplication::quit(); });
        form.tmEnvioOP.SetInterval(50);  // the first tick at once
        const pthread_t loop = pthread_self();
        Clock::time_point signalledAt;
        std::thread sender([&] {
            WaitForRequest(api, "[\"000123\"]");
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            signalledAt = Clock::now();
            pthread_kill(loop, SIGTERM);
        });
        // A bound, should the signal go unnoticed.
        QTimer::singleShot(20000, [] { QCoreApplication::quit(); });
        app.exec();
        auto ended = Clock::now();
        sender.join();
        RecordProperty("stop_seconds", std::to_string(std::chrono::duration<double>(ended - signalledAt).count()));
        EXPECT_LT(std::chrono::duration<double>(ended - signalledAt).count(), 2);
    }
    form.dbKV.Close();
    EXPECT_EQ(RequestLines(api), (Lines{Login, Delete}));
    Lines log;
    for (const auto& l : form.mmOrdemTecel.Lines()) log.push_back(l.substr(l.find(" - ") + 3));
    EXPECT_EQ(Count(log, Stopped), 1) << ::testing::PrintToString(log);
    EXPECT_EQ(inst.Lines(), Unsent);
}

namespace {

struct Program {
    pid_t pid = -1;
    int out = -1;
};

Program Start(const std::string& folder) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::setenv("LC_ALL", "C", 1);
        std::string program = DEZORIV_PROGRAM;
        std::string dir = folder;
        char once[] = "--once", dirFlag[] = "--dir";
        char* argv[] = {program.data(), once, dirFlag, dir.data(), nullptr};
        // The child takes stop signals as the program does, not as the test.
        sigset_t all;
        sigemptyset(&all);
        pthread_sigmask(SIG_SETMASK, &all, nullptr);
        ::execv(program.c_str(), argv);
        ::_exit(127);
    }
    ::close(out[1]);
    return {pid, out[0]};
}

// Reads the program's output until it ends (at most `seconds`, then kills
// it); gives its exit status, or -1.
int Finish(Program& p, std::string& out, double seconds) {
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    pollfd fd{p.out, POLLIN, 0};
    while (true) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
        if (left <= 0) {
            ::kill(p.pid, SIGKILL);
            break;
        }
        if (::poll(&fd, 1, left) <= 0) continue;
        char buf[4096];
        ssize_t n = ::read(p.out, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(p.out);
    int status = 0;
    ::waitpid(p.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// The built program run once (--once): a stop signal during a request the
// API holds, or during the fixed wait after a POST, ends the process within
// two seconds; nothing more is sent and nothing is marked.
TEST_F(ExportFaults, ProgramRunOnceEndsOnAStopSignal) {
    struct Case {
        const char* name;
        int signal;
        nlohmann::json rule;  // empty: none
        std::string waitFor;  // the request body after which the signal goes
        int delayMs;          // after that request was received
        Lines requests;
    } cases[] = {
        {"SIGTERM during a stalled request", SIGTERM,
         {{"path", "/CreateDinamico"}, {"body_contains", "\"000123-002\""}, {"action", "hold"}, {"hold_ms", 30000}},
         "\"000123-002\"", 300,
         {Login, Delete, Create}},
        {"SIGINT during the wait after a POST", SIGINT, nullptr, "\"000123-002\"", 300, {Login, Delete, Create}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeApiProcess api;
        if (!c.rule.is_null()) api.AddRule(c.rule);
        Installation inst(Backend::PG, api);
        Program program = Start(inst.Folder());
        ASSERT_TRUE(WaitForRequest(api, c.waitFor));
        std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
        auto signalled = Clock::now();
        ::kill(program.pid, c.signal);
        std::string out;
        EXPECT_EQ(Finish(program, out, 10), 0) << out;
        RecordProperty(std::string("exit_seconds_") + c.name, std::to_string(SecondsSince(signalled)));
        EXPECT_LT(SecondsSince(signalled), 2);
        EXPECT_EQ(RequestLines(api), c.requests);
        EXPECT_NE(out.find(" - " + Stopped + "\n"), std::string::npos) << out;
        EXPECT_EQ(inst.Lines(), Unsent);
    }
}
