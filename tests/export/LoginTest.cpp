// Login to the web API: what each kind of answer does to the result, the
// token and the log; the JSON field reader; the exception dump.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <fstream>
#include <sstream>

#include "FakeApiProcess.h"
#include "StopSignalsTesting.h"
#include "TestSeams.h"
#include "shell/StopSignals.h"
#include "export/Export.h"
#include "shell/RegionalSettings.h"

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

// A main object with only what the login reads, in a folder of its own.
struct Service {
    Service() {
        folder = fs::temp_directory_path() / ("export-login-" + std::to_string(::getpid()) + "-" +
                                              std::to_string(++counter));
        fs::create_directories(folder);
        form.sPath = folder.string() + "/";
        form.sUsuario = "tecelagem";
        form.sSenha = "segredo";
        form.iIdCliente = 7;
        exportjob::testing::SetWaitScale(0);
    }
    ~Service() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    Lines Log() const {
        Lines out;
        for (const auto& l : form.mmOrdemTecel.Lines()) out.push_back(l.substr(l.find(" - ") + 3));
        return out;
    }
    static inline int counter = 0;
    fs::path folder;
    TfmDEZORiv form;
};

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

TEST(Login, AnswersDecideResultTokenAndLog) {
    const std::string start = "Autenticando usuário tecelagem para envio das OPs.";
    const std::string ok = "Usuário tecelagem autenticado, para envio das OPs.";
    const std::string connect = "Não foi possível conectar para envio das OPs. ";
    struct Case {
        int status;
        std::string contentType, body;
        bool result;
        std::string token;  // "<old>" when the earlier token must stay
        Lines log;          // after the start line; a line ending in "..." is a prefix
    } cases[] = {
        {200, "", R"({"message":"abc.def"})", true, "abc.def", {ok}},
        {200, "", R"({"x":1,"message":"m1","message2":"m2"})", true, "m1", {ok}},
        // Of two "message" members the first counts; nested ones do not.
        {200, "", R"({"message":"first","message":"second"})", true, "first", {ok}},
        {200, "", R"({"a":{"message":"inner","message":"x"},"message":"outer"})", true, "outer", {ok}},
        // A token that cannot go into a header line is a failed login.
        {200, "", R"({"message":"abc\r\nX-Injected: 1"})", false, "<old>",
         {connect + "O token recebido contém caracteres de controle e foi recusado"}},
        {200, "", R"({"message":"abc\u0000def"})", false, "<old>",
         {connect + "O token recebido contém caracteres de controle e foi recusado"}},
        {200, "", R"({"message":"tab\there"})", false, "<old>",
         {connect + "O token recebido contém caracteres de controle e foi recusado"}},
        {200, "", R"({"message":null})", true, "", {ok}},
        {200, "", R"({"message":"NuLL"})", true, "", {ok}},
        {200, "", R"({"message":"\"quoted\""})", true, "quoted", {ok}},
        {200, "", R"({"message":12345})", true, "12345", {ok}},
        {200, "", R"({"message":""})", true, "", {ok}},
        {200, "", R"({"message":{"a":1}})", true, "",
         {"Não foi possivel encontrar o campo no JSON  Erro: ...", ok}},
        {200, "", R"({"Message":"x"})", false, "<old>", {"Não foi possível gerar o token de autenticação."}},
        {200, "", R"([{"message":"x"}])", false, "<old>", {connect + "..."}},
        {200, "", "", true, "<old>", {}},
        {200, "text/html", "<html>ok</html>", true, "<old>", {}},
        {401, "", "", true, "<old>", {}},
        {404, "text/html", "<html>not found</html>", true, "<old>", {}},
        {403, "", R"({"erro":"x"})", false, "<old>", {"Não foi possível gerar o token de autenticação."}},
        // A refusal that carries a "message" is a failed login, not a token.
        {401, "", R"({"message":"Usuário ou senha inválidos"})", false, "<old>",
         {connect + "HTTP/1.1 401 Unauthorized"}},
        {499, "", R"({"message":"x"})", false, "<old>", {connect + "HTTP/1.1 499..."}},
        {500, "", R"({"message":"x"})", false, "<old>", {connect + "HTTP/1.1 500 Internal Server Error"}},
    };
    FakeApiProcess api;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body);
        std::string path = "/auth" + std::to_string(++n);
        nlohmann::json rule = {{"path", path}, {"status", c.status}, {"body", c.body}};
        if (!c.contentType.empty()) rule["content_type"] = c.contentType;
        api.AddRule(rule);
        Service s;
        s.form.sToken = "old";
        s.form.sURLAut = api.BaseUrl() + path + "//";
        EXPECT_EQ(exportjob::AutenticaUsuario(s.form), c.result);
        EXPECT_EQ(s.form.sToken, c.token == "<old>" ? "old" : c.token);
        Lines log = s.Log();
        ASSERT_EQ(log.size(), c.log.size() + 1);
        EXPECT_EQ(log[0], start);
        for (size_t i = 0; i < c.log.size(); ++i) {
            const std::string& want = c.log[i];
            if (want.size() > 3 && want.compare(want.size() - 3, 3, "...") == 0)
                EXPECT_EQ(log[i + 1].rfind(want.substr(0, want.size() - 3), 0), 0u) << log[i + 1];
            else
                EXPECT_EQ(log[i + 1], want);
        }
        // The login address is used without its trailing "/" characters.
        EXPECT_EQ(api.Requests().back()["path"], path);
    }
}

TEST(Login, RequestBodyAndHeaders) {
    FakeApiProcess api;
    Service s;
    s.form.sUsuario = "josé/1";
    s.form.sSenha = "a\"b\\c\x01";
    s.form.iIdCliente = -3;
    s.form.sURLAut = api.BaseUrl() + "/login";
    EXPECT_TRUE(exportjob::AutenticaUsuario(s.form));
    auto r = api.Requests().at(0);
    EXPECT_EQ(r["method"], "POST");
    EXPECT_EQ(r["body"], R"({"login":"jos\u00E9\/1","senha":"a\"b\\c\u0001","idCliente":-3})");
    EXPECT_EQ(r["headers"].value("Content-Type", ""), "application/json");
    EXPECT_EQ(r["headers"].value("Authorization", "none"), "none");
    EXPECT_EQ(s.form.sToken, "fake-token");
}

TEST(Login, AStalledLoginEndsWithinItsLimitAsAFailedLogin) {
    FakeApiProcess api;
    api.AddRule({{"path", "/login"}, {"action", "hold"}, {"hold_ms", 20000}});
    exportjob::testing::SetHttpLimits(15000, 1000, 30);
    Service s;
    s.form.sToken = "old";
    s.form.sURLAut = api.BaseUrl() + "/login";
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(exportjob::AutenticaUsuario(s.form));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    exportjob::testing::ResetHttpLimits();
    Lines log = s.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].rfind("Não foi possível conectar para envio das OPs. Operation timed out after ", 0), 0u)
        << log[1];
    EXPECT_EQ(s.form.sToken, "old");
}

TEST(Login, AStopDuringTheLoginEndsItAtOnce) {
    FakeApiProcess api;
    api.AddRule({{"path", "/login"}, {"action", "hold"}, {"hold_ms", 20000}});
    Service s;
    s.form.sToken = "old";
    s.form.sURLAut = api.BaseUrl() + "/login";
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        shell::RequestStop();
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(exportjob::AutenticaUsuario(s.form));
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    shell::testing::ClearStopRequest();
    EXPECT_EQ(s.Log(), (Lines{"Autenticando usuário tecelagem para envio das OPs.",
                              "Envio das OPs interrompido: o serviço está parando. As OPs não marcadas como "
                              "enviadas serão enviadas na próxima execução."}));
    EXPECT_EQ(s.form.sToken, "old");
}

TEST(Login, NoServerIsAFailedLogin) {
    std::string url;
    {
        FakeApiProcess api;
        url = api.BaseUrl() + "/login";
    }
    Service s;
    s.form.sURLAut = url;
    EXPECT_FALSE(exportjob::AutenticaUsuario(s.form));
    Lines log = s.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].rfind("Não foi possível conectar para envio das OPs. ", 0), 0u);
    EXPECT_GT(log[1].size(), std::string("Não foi possível conectar para envio das OPs. ").size());
}

TEST(LeCampoJSON, PathsDefaultsAndCase) {
    Service s;
    auto v = nlohmann::ordered_json::parse(
        R"({"a":{"b":[10,"x\"",{"c":"null"}]},"t":true,"f":1.5,"e":"","s":"\"abc"})");
    struct Case {
        std::string path;
        bool upper;
        std::string def, want;
    } cases[] = {
        {"a.b[0]", false, "d", "10"},  {"a.b[1]", false, "", "x"},     {"a.b[2].c", false, "d", ""},
        {"t", false, "", "true"},      {"f", false, "", "1.5"},        {"e", false, "d", "d"},
        {"missing", false, "d", "d"},  {"s", true, "", "ABC"},         {"a.b[9]", false, "d", "d"},
    };
    for (const auto& c : cases) EXPECT_EQ(exportjob::LeCampoJSON(s.form, v, c.path, c.upper, c.def), c.want) << c.path;
    EXPECT_TRUE(s.Log().empty());
    EXPECT_EQ(exportjob::LeCampoJSON(s.form, v, "a.b", false, "d"), "");
    ASSERT_EQ(s.Log().size(), 1u);
    EXPECT_EQ(s.Log()[0].rfind("Não foi possivel encontrar o campo no JSON a.b Erro: ", 0), 0u);
}

TEST(ExceptionDump, FolderFileNameAndReplacement) {
    Service s;
    std::tm day{};
    day.tm_year = 124;
    day.tm_mon = 2;
    day.tm_mday = 5;
    day.tm_hour = 10;
    shell::SetClock([&] { return std::chrono::system_clock::from_time_t(std::mktime(&day)); });
    exportjob::GravaArquivoExcecao(s.form, "EnviaOrdem_000123-002", "[1]", "http://x/a", "primeira", "POST");
    exportjob::GravaArquivoExcecao(s.form, "EnviaOrdem_000123-002", "[2]", "http://x/b", "", "POST");
    // Order data with a path separator stays inside the dump folder.
    exportjob::GravaArquivoExcecao(s.form, "DeletarPorCodigo_../../x", "", "http://x/c", "e", "DELETE");
    shell::SetClock({});
    fs::path folder = s.folder / "Logs" / "Brevant" / "Excecao";
    EXPECT_EQ(ReadFile(folder / "EnviaOrdem_000123-002_240305.log"),
              "URL: http://x/b\r\nMétodo: POST\r\n\r\n-------------------- BODY --------------------\r\n[2]\r\n"
              "----------------------------------------\r\n\r\n-------------------- EXCECAO --------------------\r\n"
              "\r\n----------------------------------------\r\n");
    EXPECT_TRUE(fs::exists(folder / "DeletarPorCodigo_.._.._x_240305.log"));
    EXPECT_FALSE(fs::exists(s.folder / "Logs" / "x_240305.log"));
    EXPECT_TRUE(s.Log().empty());

    // A folder that cannot be made: nothing written, nothing logged.
    Service blocked;
    std::ofstream(blocked.folder / "Logs") << "a file, not a folder";
    exportjob::GravaArquivoExcecao(blocked.form, "P", "", "u", "e", "POST");
    EXPECT_TRUE(blocked.Log().empty());
}
