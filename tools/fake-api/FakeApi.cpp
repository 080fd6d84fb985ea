// fake-api: a small stand-in of the production-management web API.
//
//   fake-api [--port N] [--host ADDR] [--cert FILE --key FILE] [--record FILE]
//            [--login-path PATH] [--token TEXT] [--first-id N]
//            [--set-cookie NAME=VALUE] [--rule JSON]...
//   fake-api --show FILE     prints a record file as "METHOD path" + body lines
//
// Default answers:
//   POST   .../<login-path> (default /login)      200 {"message":"<token>"}
//   POST   .../OrdensProducao/CreateDinamico      200 [<id>]  (id counts up from --first-id)
//   POST   .../OrdensProducaoAgrupamento          200 {"sucesso":true}
//   DELETE .../OrdensProducao/DeletarPorCodigo    200 (empty body)
//   anything else                                  404
// Like the real API it refuses, before any rule is looked at:
//   the three order calls without "Authorization: Bearer <token>" naming a
//   token that its login handed out (--token, or a "message" of a login
//   answer given by a rule)                                   401
//   the login and the order calls without a Content-Type of
//   application/json, or with a body that is not JSON          400
// A rule (--rule or POST /__fake/rules with the same JSON) replaces the answer
// of matching requests, and can also answer badly: never, too slowly, cut
// off, with no byte at all, or with a huge or chunked body; see FakeApiRules.h. DELETE /__fake/rules drops every
// rule; GET /__fake/requests lists the recorded requests.
//
// Every request outside /__fake is recorded as one JSON line
// {"method","path","headers":{..},"body"} in the --record file (and in memory).
// With --cert and --key it serves HTTPS. Port 0 takes a free port; the port in
// use is printed as "PORT <n>" on the first line of standard output.
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <set>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "FakeApiRules.h"

namespace {

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string cert, key, record;
    std::string loginPath = "/login";
    std::string token = "fake-token";
    long long firstId = 1;
    std::string cookie = "fakeapi-session=1";
    std::vector<std::string> rules;
};

[[noreturn]] void Usage(const std::string& why) {
    std::cerr << "fake-api: " << why << "\n"
              << "usage: fake-api [--port N] [--host ADDR] [--cert FILE --key FILE] [--record FILE]\n"
                 "                [--login-path PATH] [--token TEXT] [--first-id N]\n"
                 "                [--set-cookie NAME=VALUE] [--rule JSON]...\n"
                 "       fake-api --show FILE\n"
                 "\n"
                 "A rule answers the requests it matches instead of the default answer:\n"
                 "  {\"path\":\"/OrdensProducaoAgrupamento\",   the request path ends with it (required)\n"
                 "   \"method\":\"POST\",                      any method when absent\n"
                 "   \"body_contains\":\"000124\",             any body when absent\n"
                 "   \"status\":500, \"body\":\"...\",           200 and the default body when absent\n"
                 "   \"content_type\":\"text/plain; charset=ISO-8859-1\", \"latin1\":true,\n"
                 "   \"delay_ms\":2000, \"times\":1,             for ever when times is absent\n"
                 "   \"action\":\"hold\",                       hold (no answer), stall (headers only),\n"
                 "                                         cut (half the body), drop (close at once)\n"
                 "   \"hold_ms\":300000,                      how long hold and stall keep the connection\n"
                 "   \"body_bytes\":17000000, \"chunked\":true}  a body of that size, in chunks\n"
                 "The rule added last wins. At run time: POST /__fake/rules (a rule),\n"
                 "DELETE /__fake/rules (drop all), GET /__fake/requests (the requests so far).\n";
    std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage("missing value after " + a);
            return argv[++i];
        };
        if (a == "--port") o.port = std::atoi(value().c_str());
        else if (a == "--host") o.host = value();
        else if (a == "--cert") o.cert = value();
        else if (a == "--key") o.key = value();
        else if (a == "--record") o.record = value();
        else if (a == "--login-path") o.loginPath = value();
        else if (a == "--token") o.token = value();
        else if (a == "--first-id") o.firstId = std::atoll(value().c_str());
        else if (a == "--set-cookie") o.cookie = value();
        else if (a == "--rule") o.rules.push_back(value());
        else if (a == "--help" || a == "-h") Usage("help");
        else Usage("unknown option " + a);
    }
    if (o.cert.empty() != o.key.empty()) Usage("--cert and --key go together");
    return o;
}

class FakeApi {
public:
    explicit FakeApi(Options options) : FOptions(std::move(options)), FNextId(FOptions.firstId) {
        FTokens.insert(FOptions.token);
        if (!FOptions.record.empty()) {
            FRecord.open(FOptions.record, std::ios::binary | std::ios::app);
            if (!FRecord) Usage("cannot open " + FOptions.record);
        }
        for (const auto& text : FOptions.rules) {
            try {
                FRules.Add(fakeapi::RuleFromJson(nlohmann::json::parse(text)));
            } catch (const std::exception& e) {
                Usage(std::string("bad rule: ") + e.what());
            }
        }
    }

    void Install(httplib::Server& server) {
        server.Post("/__fake/rules", [this](const httplib::Request& req, httplib::Response& res) {
            try {
                auto rule = fakeapi::RuleFromJson(nlohmann::json::parse(req.body));
                std::lock_guard lock(FMutex);
                FRules.Add(std::move(rule));
                res.set_content("{}", "application/json");
            } catch (const std::exception& e) {
                res.status = 400;
                res.set_content(e.what(), "text/plain");
            }
        });
        server.Delete("/__fake/rules", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(FMutex);
            FRules.Clear();
            res.set_content("{}", "application/json");
        });
        server.Get("/__fake/requests", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(FMutex);
            res.set_content(FRequests.dump(), "application/json");
        });
        auto handler = [this](const httplib::Request& req, httplib::Response& res) { Answer(req, res); };
        server.Get(".*", handler);
        server.Post(".*", handler);
        server.Put(".*", handler);
        server.Patch(".*", handler);
        server.Delete(".*", handler);
    }

private:
    void Record(const httplib::Request& req) {
        nlohmann::ordered_json headers = nlohmann::ordered_json::object();
        for (const auto& [name, value] : req.headers) {
            if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT")
                continue;
            if (headers.contains(name)) headers[name] = headers[name].get<std::string>() + "\n" + value;
            else headers[name] = value;
        }
        nlohmann::ordered_json line = {
            {"method", req.method}, {"path", req.path}, {"headers", headers}, {"body", req.body}};
        std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        FRequests.push_back(nlohmann::json::parse(text));
        if (FRecord.is_open()) {
            FRecord << text << '\n';
            FRecord.flush();
        }
    }

    bool IsLogin(const httplib::Request& req) const {
        return req.method == "POST" && fakeapi::EndsWith(req.path, FOptions.loginPath);
    }
    static bool IsOrderCall(const httplib::Request& req) {
        using fakeapi::EndsWith;
        return (req.method == "POST" && (EndsWith(req.path, "/OrdensProducao/CreateDinamico") ||
                                         EndsWith(req.path, "/OrdensProducaoAgrupamento"))) ||
               (req.method == "DELETE" && EndsWith(req.path, "/OrdensProducao/DeletarPorCodigo"));
    }

    // What a real API refuses: 401 or 400 with its reason, 0 when the
    // request is acceptable. Called with the mutex held.
    int Refusal(const httplib::Request& req, std::string& reason) const {
        if (!IsLogin(req) && !IsOrderCall(req)) return 0;
        if (IsOrderCall(req)) {
            std::string auth = req.get_header_value("Authorization");
            const std::string bearer = "Bearer";
            std::string token;
            bool isBearer = auth.compare(0, bearer.size(), bearer) == 0;
            if (isBearer) {
                token = auth.substr(bearer.size());
                size_t b = token.find_first_not_of(' ');
                token = b == std::string::npos ? std::string() : token.substr(b);
            }
            if (!req.has_header("Authorization") || !isBearer || !FTokens.count(token)) {
                reason = "Authorization ausente ou token desconhecido";
                return 401;
            }
        }
        std::string type = req.get_header_value("Content-Type");
        std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
        if (type.rfind("application/json", 0) != 0) {
            reason = "Content-Type deve ser application/json";
            return 400;
        }
        if (nlohmann::json::parse(req.body, nullptr, false).is_discarded()) {
            reason = "corpo nao e JSON";
            return 400;
        }
        return 0;
    }

    // Remembers the token of a login answer, as the real API would.
    void NoteToken(const std::string& body) {
        auto j = nlohmann::json::parse(body, nullptr, false);
        if (!j.is_object() || !j.contains("message")) return;
        const auto& m = j["message"];
        if (m.is_string()) FTokens.insert(m.get<std::string>());
        else if (m.is_number()) FTokens.insert(m.dump());
    }

    // Closes the client's connection of this request at once, before any
    // byte of the answer: the socket is found by its two ports.
    static void DropConnection(const httplib::Request& req) {
        for (int fd = 3; fd < 65536; ++fd) {
            sockaddr_storage local{}, peer{};
            socklen_t llen = sizeof local, plen = sizeof peer;
            if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &llen) != 0) continue;
            if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &plen) != 0) continue;
            if (local.ss_family != AF_INET || peer.ss_family != AF_INET) continue;
            if (ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port) != req.local_port ||
                ntohs(reinterpret_cast<sockaddr_in*>(&peer)->sin_port) != req.remote_port)
                continue;
            shutdown(fd, SHUT_RDWR);
            return;
        }
    }

    static void Hold(int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    // Sends the answer the way the rule says.
    static void Deliver(const fakeapi::Rule& rule, httplib::Response& res, std::string body,
                        const std::string& contentType) {
        if (rule.bodyBytes >= 0) {
            std::string unit = body.empty() ? std::string("x") : body;
            body.clear();
            body.reserve(static_cast<size_t>(rule.bodyBytes));
            while (body.size() < static_cast<size_t>(rule.bodyBytes)) body += unit;
            body.resize(static_cast<size_t>(rule.bodyBytes));
        }
        if (rule.action == "stall") {
            int holdMs = rule.holdMs;
            res.set_content_provider(body.size() + 1, contentType, [holdMs](size_t, size_t, httplib::DataSink&) {
                Hold(holdMs);
                return false;
            });
            return;
        }
        if (rule.action == "cut") {
            auto shared = std::make_shared<std::string>(std::move(body));
            res.set_content_provider(shared->size(), contentType,
                                     [shared](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset == 0) sink.write(shared->data(), shared->size() / 2);
                                         return false;  // closes the connection mid-answer
                                     });
            return;
        }
        if (rule.chunked) {
            auto shared = std::make_shared<std::string>(std::move(body));
            res.set_chunked_content_provider(contentType, [shared](size_t offset, httplib::DataSink& sink) {
                if (offset >= shared->size()) {
                    sink.done();
                    return true;
                }
                size_t n = std::min<size_t>(65536, shared->size() - offset);
                return sink.write(shared->data() + offset, n);
            });
            return;
        }
        if (!body.empty() || res.status == 200) res.set_content(body, contentType.c_str());
    }

    void Answer(const httplib::Request& req, httplib::Response& res) {
        using fakeapi::EndsWith;
        std::optional<fakeapi::Rule> rule;
        std::string body, contentType = "application/json; charset=utf-8";
        int status = 200;
        {
            std::lock_guard lock(FMutex);
            Record(req);
            std::string reason;
            if (int refusal = Refusal(req, reason)) {
                res.status = refusal;
                res.set_content(nlohmann::json({{"message", reason}}).dump(), "application/json; charset=utf-8");
                return;
            }
            rule = FRules.Take(req.method, req.path, req.body);
            bool useDefault = !rule || !rule->body;
            if (req.method == "POST" && EndsWith(req.path, FOptions.loginPath)) {
                if (useDefault) body = nlohmann::json({{"message", FOptions.token}}).dump();
            } else if (req.method == "POST" && EndsWith(req.path, "/OrdensProducao/CreateDinamico")) {
                if (useDefault) body = "[" + std::to_string(FNextId++) + "]";
                SetCookie(res);
            } else if (req.method == "POST" && EndsWith(req.path, "/OrdensProducaoAgrupamento")) {
                if (useDefault) body = "{\"sucesso\":true}";
                SetCookie(res);
            } else if (req.method == "DELETE" && EndsWith(req.path, "/OrdensProducao/DeletarPorCodigo")) {
                SetCookie(res);
            } else {
                status = 404;
                if (useDefault) {
                    body = "not found";
                    contentType = "text/plain; charset=utf-8";
                }
            }
        }
        if (rule) {
            status = rule->status;
            if (rule->body) body = rule->latin1 ? fakeapi::Utf8ToLatin1(*rule->body) : *rule->body;
            if (!rule->contentType.empty()) contentType = rule->contentType;
            if (rule->delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rule->delayMs));
        }
        if (IsLogin(req)) {
            std::lock_guard lock(FMutex);
            NoteToken(body);
        }
        if (rule && rule->action == "hold") {
            Hold(rule->holdMs);
            DropConnection(req);
            return;
        }
        if (rule && rule->action == "drop") {
            DropConnection(req);
            return;
        }
        res.status = status;
        if (rule) {
            Deliver(*rule, res, std::move(body), contentType);
            return;
        }
        if (!body.empty() || status == 200) res.set_content(body, contentType.c_str());
    }

    void SetCookie(httplib::Response& res) {
        if (!FOptions.cookie.empty()) res.set_header("Set-Cookie", FOptions.cookie + "; Path=/");
    }

    Options FOptions;
    std::mutex FMutex;
    fakeapi::Rules FRules;
    long long FNextId;
    std::ofstream FRecord;
    nlohmann::json FRequests = nlohmann::json::array();
    std::set<std::string> FTokens;  // tokens handed out by the login
};

}  // namespace

// Prints the requests of a record file for people: one "METHOD path" line,
// the Authorization header, and the body indented below it.
int Show(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) Usage("cannot open " + file);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        auto r = nlohmann::json::parse(line);
        std::cout << ++n << ". " << r.value("method", "") << " " << r.value("path", "") << "\n";
        if (r["headers"].contains("Authorization"))
            std::cout << "   Authorization: " << r["headers"]["Authorization"].get<std::string>() << "\n";
        std::string body = r.value("body", "");
        if (!body.empty()) std::cout << "   " << body << "\n";
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--show") return Show(argv[2]);
    Options options = ParseOptions(argc, argv);
    std::unique_ptr<httplib::Server> server;
    if (!options.cert.empty()) {
        auto tls = std::make_unique<httplib::SSLServer>(options.cert.c_str(), options.key.c_str());
        if (!tls->is_valid()) Usage("cannot load the certificate or key");
        server = std::move(tls);
    } else {
        server = std::make_unique<httplib::Server>();
    }
    FakeApi api(options);
    api.Install(*server);

    int port = options.port;
    if (port == 0) {
        port = server->bind_to_any_port(options.host);
        if (port < 0) Usage("cannot bind " + options.host);
    } else if (!server->bind_to_port(options.host, port)) {
        Usage("cannot bind " + options.host + ":" + std::to_string(port));
    }
    std::printf("PORT %d\n", port);
    std::fflush(stdout);
    return server->listen_after_bind() ? 0 : 1;
}
