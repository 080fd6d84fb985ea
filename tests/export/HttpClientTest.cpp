// The export's HTTP client against the fake web API and a raw socket that
// shows the request bytes as they went on the wire.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "FakeApiProcess.h"
#include "HttpClient.h"

using exportjob::EHttpError;
using exportjob::THttpClient;

namespace {

// Accepts one connection, keeps the request bytes and answers with `answer`.
class RawServer {
public:
    explicit RawServer(std::string answer) : FAnswer(std::move(answer)) {
        FListen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(FListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len);
        FPort = ntohs(addr.sin_port);
        listen(FListen, 1);
        FThread = std::thread([this] { Serve(); });
    }
    ~RawServer() {
        FThread.join();
        close(FListen);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort); }
    std::string Request() {
        FThread.join();
        FThread = std::thread([] {});
        return FRequest;
    }

private:
    void Serve() {
        int fd = accept(FListen, nullptr, nullptr);
        char buf[4096];
        size_t bodyStart = std::string::npos, length = 0;
        while (true) {
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) break;
            FRequest.append(buf, static_cast<size_t>(n));
            if (bodyStart == std::string::npos && (bodyStart = FRequest.find("\r\n\r\n")) != std::string::npos) {
                bodyStart += 4;
                auto p = FRequest.find("Content-Length: ");
                if (p != std::string::npos) length = std::strtoul(FRequest.c_str() + p + 16, nullptr, 10);
            }
            if (bodyStart != std::string::npos && FRequest.size() >= bodyStart + length) break;
        }
        (void)!write(fd, FAnswer.data(), FAnswer.size());
        close(fd);
    }

    std::string FAnswer, FRequest;
    int FListen = -1;
    int FPort = 0;
    std::thread FThread;
};

// An order client with the headers of an export run and the fake API's token.
void AsOrderClient(THttpClient& client, const std::string& token = "fake-token") {
    client.ContentType = "application/json; charset=utf-8";
    client.Accept = "application/json";
    client.CustomHeaders = {"Authorization:Bearer " + token};
}

}  // namespace

TEST(HttpClient, HeaderLinesAndDeleteBodyGoOutAsWritten) {
    RawServer server("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    THttpClient client(400, true);
    client.ContentType = "application/json; charset=utf-8";
    client.Accept = "application/json";
    client.CustomHeaders = {"Authorization:Bearer "};
    auto response = client.Send("DELETE", server.Url() + "/x//OrdensProducao/DeletarPorCodigo", "[\"000123\"]");
    EXPECT_EQ(response.Status, 200);
    std::string request = server.Request();
    EXPECT_EQ(request.rfind("DELETE /x//OrdensProducao/DeletarPorCodigo HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nAuthorization:Bearer \r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nContent-Type: application/json; charset=utf-8\r\n"), std::string::npos);
    EXPECT_NE(request.find("\r\nAccept: application/json\r\n"), std::string::npos);
    EXPECT_EQ(request.substr(request.size() - 10), "[\"000123\"]");
}

TEST(HttpClient, StatusThresholdDecidesWhatIsAnError) {
    FakeApiProcess api;
    struct Case {
        int status, errorFrom;
        bool error;
    } cases[] = {{200, 400, false}, {201, 400, false}, {302, 400, false}, {399, 400, false},
                 {400, 400, true},  {404, 400, true},  {401, 500, false}, {499, 500, false},
                 {500, 500, true},  {503, 400, true}};
    for (const auto& c : cases) {
        std::string path = "/s" + std::to_string(c.status);
        api.AddRule({{"path", path}, {"status", c.status}, {"body", "corpo"}});
        THttpClient client(c.errorFrom, false);
        try {
            auto response = client.Send("POST", api.BaseUrl() + path, "[]");
            EXPECT_FALSE(c.error) << c.status;
            EXPECT_EQ(response.Status, c.status);
            EXPECT_EQ(response.Text, "corpo");
        } catch (const EHttpError& e) {
            EXPECT_TRUE(c.error) << c.status << " " << e.what();
            EXPECT_EQ(e.Status(), c.status);
            EXPECT_EQ(std::string(e.what()).rfind("HTTP/1.1 " + std::to_string(c.status), 0), 0u) << e.what();
        }
    }
}

TEST(HttpClient, BodiesAreDecodedByTheirDeclaredCharset) {
    FakeApiProcess api;
    api.AddRule({{"path", "/latin1"}, {"body", "Ação"}, {"latin1", true},
                 {"content_type", "text/plain; charset=ISO-8859-1"}});
    api.AddRule({{"path", "/none"}, {"body", "Ação"}, {"content_type", "text/plain"}});
    // A charset that cannot be converted: read as UTF-8, so that an accepted
    // answer is not taken for a failure; bytes that are no UTF-8 are replaced.
    api.AddRule({{"path", "/bad"}, {"body", "[7] Ação"}, {"content_type", "text/plain; charset=nao-existe"}});
    api.AddRule({{"path", "/badbytes"}, {"body", "[8] Ação"}, {"latin1", true},
                 {"content_type", "application/json; charset=x-desconhecido"}});
    api.AddRule({{"path", "/utf8bytes"}, {"body", "Ação"}, {"latin1", true}, {"content_type", "text/plain; charset=utf-8"}});
    THttpClient client(400, false);
    EXPECT_EQ(client.Send("POST", api.BaseUrl() + "/latin1", "").Text, "Ação");
    EXPECT_EQ(client.Send("POST", api.BaseUrl() + "/none", "").Text, "Ação");
    EXPECT_EQ(client.Send("POST", api.BaseUrl() + "/bad", "").Text, "[7] Ação");
    EXPECT_EQ(client.Send("POST", api.BaseUrl() + "/badbytes", "").Text, "[8] A\xEF\xBF\xBD\xEF\xBF\xBDo");
    EXPECT_EQ(client.Send("POST", api.BaseUrl() + "/utf8bytes", "").Text, "A\xEF\xBF\xBD\xEF\xBF\xBDo");
}

TEST(HttpClient, OrderClientKeepsCookiesLoginClientDoesNot) {
    FakeApiProcess api;
    for (bool keep : {true, false}) {
        THttpClient client(400, keep);
        AsOrderClient(client);
        client.Send("DELETE", api.BaseUrl() + "/OrdensProducao/DeletarPorCodigo", "[\"1\"]");
        client.Send("POST", api.BaseUrl() + "/OrdensProducao/CreateDinamico", "[{}]");
        auto last = api.Requests().back();
        EXPECT_EQ(last["headers"].value("Cookie", ""), keep ? "fakeapi-session=1" : "") << keep;
    }
}

TEST(HttpClient, NoConnectionIsAnErrorWithLibcurlsMessage) {
    // A port that was just free: the fake API's, after it stopped.
    std::string url;
    {
        FakeApiProcess api;
        url = api.BaseUrl();
    }
    THttpClient client(400, true);
    try {
        client.Send("POST", url + "/x", "[]");
        FAIL() << "no error";
    } catch (const EHttpError& e) {
        EXPECT_EQ(e.Status(), 0);
        EXPECT_NE(std::string(e.what()).find("onnect"), std::string::npos) << e.what();
    }
}

TEST(HttpClient, HttpsVerifiesTheServerCertificate) {
    if (!FakeApiProcess::HttpsAvailable()) {
        if (std::getenv("CI") || std::getenv("DEZORIV_REQUIRE_SERVERS")) FAIL() << "DEZORIV_FAKE_API_CERT not set";
        GTEST_SKIP() << "DEZORIV_FAKE_API_CERT not set (scripts/test-env/40-fake-api-cert.sh)";
    }
    FakeApiProcess api({}, true);
    std::string url = api.BaseUrl() + "/OrdensProducao/CreateDinamico";
    {
        unsetenv("CURL_CA_BUNDLE");
        THttpClient client(400, true);
        AsOrderClient(client);
        try {
            client.Send("POST", url, "[{}]");
            FAIL() << "an untrusted certificate was accepted";
        } catch (const EHttpError& e) {
            EXPECT_NE(std::string(e.what()).find("certificate"), std::string::npos) << e.what();
        }
    }
    {
        setenv("CURL_CA_BUNDLE", std::getenv("DEZORIV_FAKE_API_CERT"), 1);
        THttpClient client(400, true);
        AsOrderClient(client);
        auto response = client.Send("POST", url, "[{}]");
        unsetenv("CURL_CA_BUNDLE");
        EXPECT_EQ(response.Status, 200);
        EXPECT_EQ(response.Text, "[1]");
    }
    EXPECT_EQ(api.Requests().size(), 1u);
}
