// The export's HTTP client when the API or the network misbehaves: requests
// that never end, connections that die, answers too big or malformed, a stop
// of the service in the middle of a request; and what the fake API refuses.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "FakeApiProcess.h"
#include "HttpClient.h"
#include "RequestExchange.h"
#include "StopSignalsTesting.h"
#include "TestSeams.h"
#include "shell/StopSignals.h"

using exportjob::EHttpError;
using exportjob::THttpClient;
using Clock = std::chrono::steady_clock;

namespace {

const std::string Create = "/OrdensProducao/CreateDinamico";
const std::string Delete = "/OrdensProducao/DeletarPorCodigo";

void AsOrderClient(THttpClient& client, const std::string& token = "fake-token") {
    client.ContentType = "application/json; charset=utf-8";
    client.Accept = "application/json";
    client.CustomHeaders = {"Authorization:Bearer " + token};
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Shortened limits for one test, the fixed ones again afterwards.
struct ShortLimits {
    ShortLimits(long connectMs, long totalMs, long lowSpeedSeconds) {
        exportjob::testing::SetHttpLimits(connectMs, totalMs, lowSpeedSeconds);
    }
    ~ShortLimits() { exportjob::testing::ResetHttpLimits(); }
};

int CountRequests(const FakeApiProcess& api, const std::string& method, const std::string& path) {
    int n = 0;
    for (const auto& r : api.Requests())
        if (r["method"] == method && r["path"] == path) ++n;
    return n;
}

}  // namespace

TEST(HttpFaults, RequestsThatDoNotFinishFailWithinTheirLimits) {
    FakeApiProcess api;
    api.AddRule({{"path", "/silent"}, {"action", "hold"}, {"hold_ms", 20000}});
    api.AddRule({{"path", "/headers-only"}, {"action", "stall"}, {"hold_ms", 20000}});
    struct Case {
        std::string path;
        long totalMs, lowSpeedSeconds;
        std::string message;  // part of libcurl's message
        double atMost;        // seconds
    } cases[] = {
        // No answer at all: the whole-request limit, or the low-speed one.
        {"/silent", 1000, 30, "timed out", 3},
        {"/silent", 20000, 1, "too slow", 4},
        // Headers, then nothing: the same two limits.
        {"/headers-only", 1000, 30, "timed out", 3},
        {"/headers-only", 20000, 1, "too slow", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " " + c.message);
        ShortLimits limits(15000, c.totalMs, c.lowSpeedSeconds);
        THttpClient client(400, true);
        auto start = Clock::now();
        try {
            client.Send("POST", api.BaseUrl() + c.path, "[]");
            ADD_FAILURE() << "no error";
        } catch (const EHttpError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_EQ(e.Status(), 0);
        }
        EXPECT_LT(SecondsSince(start), c.atMost);
    }
}

TEST(HttpFaults, AConnectionThatIsNeverAcceptedFailsAtTheConnectLimit) {
    // A listening socket whose queue is full: the kernel drops further
    // connection attempts, and the client waits for an answer to its SYN.
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    ASSERT_EQ(listen(listener, 0), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    ShortLimits limits(1000, 20000, 30);
    THttpClient client(400, true);
    auto start = Clock::now();
    try {
        client.Send("POST", "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x", "[]");
        ADD_FAILURE() << "no error";
    } catch (const EHttpError& e) {
        EXPECT_NE(std::string(e.what()).find("onnect"), std::string::npos) << e.what();
    }
    EXPECT_LT(SecondsSince(start), 4);
    for (int fd : fillers) close(fd);
    close(listener);
}

TEST(HttpFaults, AStopAbortsARequestAndNoFurtherOneGoesOut) {
    FakeApiProcess api;
    api.AddRule({{"path", Create}, {"action", "hold"}, {"hold_ms", 20000}});
    THttpClient client(400, true);
    AsOrderClient(client);

    auto start = Clock::now();
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        shell::RequestStop();
    });
    EXPECT_THROW(client.Send("POST", api.BaseUrl() + Create, "[{}]"), shell::TStopRequested);
    stopper.join();
    EXPECT_LT(SecondsSince(start), 2);

    // Once a stop was asked for, nothing more is sent, and a fixed wait
    // ends at once.
    EXPECT_THROW(client.Send("DELETE", api.BaseUrl() + Delete, "[\"1\"]"), shell::TStopRequested);
    EXPECT_EQ(CountRequests(api, "DELETE", Delete), 0);
    exportjob::testing::SetWaitScale(1);
    start = Clock::now();
    exportjob::WaitMs(5000);
    EXPECT_LT(SecondsSince(start), 0.5);
    exportjob::testing::SetWaitScale(0);
    shell::testing::ClearStopRequest();
}

TEST(HttpFaults, EachRequestIsSentAtMostOnce) {
    // The API closes the connection after reading the request, without a
    // byte of answer (a server restarting, a proxy timing out). On a reused
    // connection libcurl would take that for a stale one and send again.
    for (std::string action : {"drop", "cut"}) {
        SCOPED_TRACE(action);
        FakeApiProcess api;
        api.AddRule({{"path", Create}, {"action", action}, {"times", 1}, {"body", "[99]"}});
        THttpClient client(400, true);
        AsOrderClient(client);
        client.Send("DELETE", api.BaseUrl() + Delete, "[\"1\"]");
        EXPECT_THROW(client.Send("POST", api.BaseUrl() + Create, "[{}]"), EHttpError);
        EXPECT_EQ(CountRequests(api, "POST", Create), 1);
        // The client goes on working afterwards.
        EXPECT_EQ(client.Send("POST", api.BaseUrl() + Create, "[{}]").Text, "[1]");
    }
}

TEST(HttpFaults, AnswersOverSixteenMebibytesAreErrors) {
    FakeApiProcess api;
    const long long over = 16LL * 1024 * 1024 + 1;
    api.AddRule({{"path", "/sized"}, {"body_bytes", over}});
    api.AddRule({{"path", "/chunked"}, {"body_bytes", over}, {"chunked", true}});
    api.AddRule({{"path", "/chunked-ok"}, {"body", "[5]"}, {"body_bytes", 1000000}, {"chunked", true}});
    THttpClient client(400, true);
    for (std::string path : {"/sized", "/chunked"}) {
        try {
            client.Send("POST", api.BaseUrl() + path, "[]");
            ADD_FAILURE() << path << ": no error";
        } catch (const EHttpError& e) {
            EXPECT_STREQ(e.what(), "Resposta do servidor maior que 16 MiB, recusada") << path;
        }
    }
    EXPECT_EQ(client.Send("POST", api.BaseUrl() + "/chunked-ok", "[]").Text.size(), 1000000u);
}

TEST(HttpFaults, HeaderLinesWithALineBreakAreRefused) {
    FakeApiProcess api;
    for (std::string token : {"a\r\nX-Injected: 1", "a\nb", "a\rb"}) {
        THttpClient client(400, true);
        AsOrderClient(client, token);
        EXPECT_THROW(client.Send("POST", api.BaseUrl() + Create, "[{}]"), EHttpError);
    }
    EXPECT_TRUE(api.Requests().empty());
}

TEST(FakeApi, RefusesWhatARealApiRefuses) {
    FakeApiProcess api({"--token", "tok-1"});
    struct Case {
        std::string method, path, contentType, authorization, body;
        int status;
    } cases[] = {
        {"POST", Create, "application/json; charset=utf-8", "Authorization:Bearer tok-1", "[{}]", 200},
        {"DELETE", Delete, "application/json; charset=utf-8", "Authorization:Bearer tok-1", "[\"1\"]", 200},
        {"POST", Create, "application/json", "", "[{}]", 401},
        {"POST", Create, "application/json", "Authorization:Bearer outro", "[{}]", 401},
        {"POST", Create, "application/json", "Authorization:Basic dG9rLTE=", "[{}]", 401},
        {"POST", "/OrdensProducaoAgrupamento", "", "Authorization:Bearer tok-1", "[]", 400},
        {"POST", Create, "text/plain", "Authorization:Bearer tok-1", "[{}]", 400},
        {"DELETE", Delete, "application/json", "Authorization:Bearer tok-1", "000123", 400},
        {"POST", "/login", "application/json", "", "{\"login\":\"x\"}", 200},
        {"POST", "/login", "application/json", "", "login=x", 400},
        {"POST", "/login", "", "", "{}", 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.path + " [" + c.contentType + "] [" + c.authorization + "] " + c.body);
        THttpClient client(1000, false);
        client.ContentType = c.contentType;
        if (!c.authorization.empty()) client.CustomHeaders = {c.authorization};
        EXPECT_EQ(client.Send(c.method, api.BaseUrl() + c.path, c.body).Status, c.status);
    }
}

TEST(LogText, AnswerTextStaysOnItsLineAndIsCut) {
    using exportjob::LogText;
    using exportjob::MaxLogTextBytes;
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"[57]", "[57]"},
        {"erro\r\nX-Log: falso", "erro  X-Log: falso"},
        {"a\tb\x1b[2Jc\x7f", "a b [2Jc "},
        {"Ação", "Ação"},
    };
    for (const auto& c : cases) EXPECT_EQ(LogText(c.in), c.out) << c.in;

    std::string exact(MaxLogTextBytes, 'x');
    EXPECT_EQ(LogText(exact), exact);
    std::string longer = exact + "y";
    EXPECT_EQ(LogText(longer), exact + " [...]");
    // The cut never splits a character.
    std::string accented = std::string(MaxLogTextBytes - 1, 'x') + "ção";
    EXPECT_EQ(LogText(accented), std::string(MaxLogTextBytes - 1, 'x') + " [...]");
}
