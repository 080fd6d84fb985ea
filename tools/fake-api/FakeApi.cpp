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
// A rule (--rule or POST /__fake/rules with the same JSON) replaces the answer
// of matching requests; see FakeApiRules.h. DELETE /__fake/rules drops every
// rule; GET /__fake/requests lists the recorded requests.
//
// Every request outside /__fake is recorded as one JSON line
// {"method","path","headers":{..},"body"} in the --record file (and in memory).
// With --cert and --key it serves HTTPS. Port 0 takes a free port; the port in
// use is printed as "PORT <n>" on the first line of standard output.
#include <chrono>
#include <cstdio>
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
                 "   \"delay_ms\":2000, \"times\":1}             for ever when times is absent\n"
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

    void Answer(const httplib::Request& req, httplib::Response& res) {
        using fakeapi::EndsWith;
        std::optional<fakeapi::Rule> rule;
        std::string body, contentType = "application/json; charset=utf-8";
        int status = 200;
        {
            std::lock_guard lock(FMutex);
            Record(req);
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
        res.status = status;
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
