// `dezoriv check`: a good configuration and bad ones, against the test
// servers and tools/fake-api, run as an operator would run it.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "FakeApiProcess.h"
#include "erp_fixture/ErpFixture.h"
#include "test_support/TestDatabases.h"

namespace fs = std::filesystem;
using testsupport::Backend;

namespace {

struct Result {
    int status = -1;
    std::string out;
};

Result Check(const std::string& folder) {
    std::string command = std::string(DEZORIV_PROGRAM) + " check --dir '" + folder + "' 2>&1";
    Result r;
    std::FILE* p = ::popen(command.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// A local port nobody listens on.
int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// Every file below a folder with its size: what "changes nothing" compares.
std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> files;
    for (auto& e : fs::recursive_directory_iterator(folder))
        files.insert(e.path().string() + (e.is_regular_file() ? " " + std::to_string(e.file_size()) : "/"));
    return files;
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// A write-off installation on a fresh PostgreSQL database with the ERP tables.
std::string MetFolder(std::string& database) {
    database = testsupport::CreatePgDatabase();
    auto db = testsupport::ConnectionFor(Backend::PG, database);
    erp_fixture::LoadWriteOff(*db);
    db->Close();
    std::string folder = testsupport::NewTestFolder("check-");
    fs::create_directories(folder + "Recebidos");
    fs::create_directories(folder + "Processados");
    fs::create_directories(folder + "Logs");
    Write(folder + "Recebidos/OF1.txt", "001;123;10,5;S;01;02;E;L1;A1\r\n");
    return folder;
}

std::string MetIni(const std::string& database) {
    return "[Plataforma]\nTipo = MET \n[Tempo]\nMinutos=5\n" + testsupport::IniBancoSection(Backend::PG, database);
}

TEST(CheckCommand, GoodWriteOffConfigurationIsAllOkAndChangesNothing) {
    DEZORIV_REQUIRE_BACKEND(Backend::PG);
    std::string database;
    std::string folder = MetFolder(database);
    Write(folder + "DEZORiv.ini", MetIni(database));
    auto before = Listing(folder);
    Result r = Check(folder);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("ERRO"), std::string::npos) << r.out;
    for (const char* line : {"OK DEZORiv.ini: ", "OK chaves: ", "OK Plataforma/Tipo: MET\n", "OK Tempo/Minutos: 5\n",
                             "OK pasta Recebidos: ", "OK pasta Processados: ", "OK pasta Logs: ",
                             "OK banco: conectado a PG 127.0.0.1:", "; servidor PostgreSQL ",
                             "OK tabela PCPFT_001: lida\n", "OK tabela MAT_MOV_001: lida\n", "OK tabela LOG: lida\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_EQ(Listing(folder), before);
}

TEST(CheckCommand, BadConfigurationsNameWhatIsWrong) {
    DEZORIV_REQUIRE_BACKEND(Backend::PG);
    std::string database;
    std::string folder = MetFolder(database);
    const std::string good = MetIni(database);
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string ini = good;
        ini.replace(ini.find(from), from.size(), to);
        return ini;
    };
    const std::string senha = "senha=" + std::string(std::getenv("DEZORIV_PG_PASSWORD"));
    const std::string servidor = "servidor=" + std::string(std::getenv("DEZORIV_PG_HOST")) + ":" +
                                 std::getenv("DEZORIV_PG_PORT");
    struct {
        const char* name;
        std::string ini;
        std::string folderToRemove;
        std::string expected;  // a regular expression over the output
    } cases[] = {
        {"wrong password", replaced(senha, "senha=errada"), "", "ERRO banco: PG 127\\.0\\.0\\.1:[0-9]+ base [^\\n]*: [^\\n]*password"},
        {"unreachable server", replaced(servidor, "servidor=127.0.0.1:" + std::to_string(ClosedPort())), "",
         "ERRO banco: PG [^\\n]*(refused|recusada)"},
        {"missing folder", good, "Processados", "ERRO pasta Processados: n\xC3\xA3o existe: [^\\n]*Processados\\n"},
        {"unknown key", good + "[Banco]\nsennha=x\n[Extra]\nchave=1\n", "",
         "ERRO chave: desconhecida: \\[Banco\\] sennha\\nERRO chave: desconhecida: \\[Extra\\] chave\\n"},
        {"missing table", "", "", "ERRO tabela OF_TEMPO_001: "},
        {"interval that never runs", replaced("Minutos=5", "Minutos=0"), "",
         "ERRO Tempo/Minutos: 0: a tarefa nunca seria executada\\n"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string ini = c.ini;
        if (std::string(c.name) == "missing table") {
            testsupport::ExecuteCommitted(Backend::PG, database, "ALTER TABLE OF_TEMPO_001 RENAME TO OF_TEMPO_X");
            ini = good;
        }
        Write(folder + "DEZORiv.ini", ini);
        if (!c.folderToRemove.empty()) fs::remove_all(folder + c.folderToRemove);
        Result r = Check(folder);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_TRUE(std::regex_search(r.out, std::regex(c.expected))) << r.out;
        if (!c.folderToRemove.empty()) fs::create_directories(folder + c.folderToRemove);
        if (std::string(c.name) == "missing table")
            testsupport::ExecuteCommitted(Backend::PG, database, "ALTER TABLE OF_TEMPO_X RENAME TO OF_TEMPO_001");
    }
}

TEST(CheckCommand, NoConfigurationFile) {
    std::string folder = testsupport::NewTestFolder("check-");
    Result r = Check(folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ERRO DEZORiv.ini: not found: " + folder + "DEZORiv.ini\n");
}

// The export: the API gets a login and nothing else; an API that cannot be
// reached is named.
TEST(CheckCommand, ExportConfigurationLogsInOnlyOnce) {
    std::string file = testsupport::CreateFbFile(false);
    {
        auto db = testsupport::ConnectionFor(Backend::FBEmbedded, file);
        erp_fixture::LoadWriteOff(*db);
        erp_fixture::RunScript(*db, erp_fixture::FixtureDir() + "/erp_export_fb.sql");
        db->Close();
    }
    FakeApiProcess api;
    std::string folder = testsupport::NewTestFolder("check-");
    auto ini = [&](const std::string& aut) {
        return "[Plataforma]\nTipo=TEC\n" + testsupport::IniBancoSection(Backend::FBEmbedded, file) +
               "[Tecelagem]\nURLReq=" + api.BaseUrl() + "\nURLAut = \"" + aut + "/login\"\nUsuario=op\nSenha=s;#x\nidCliente=3\n";
    };
    Write(folder + "DEZORiv.ini", ini(api.BaseUrl()));
    Result r = Check(folder);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("OK pasta Logs: ausente"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("OK banco: conectado a FB (local) base " + file), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("; servidor Firebird 3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("OK tabela TECEL_ITEN_001: lida\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("OK API: login de op aceito em " + api.BaseUrl() + "/login\n"), std::string::npos) << r.out;
    auto requests = api.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].dump().find("OrdensProducao"), std::string::npos) << requests[0].dump();
    EXPECT_FALSE(fs::exists(folder + "Logs"));  // no log line left behind

    Write(folder + "DEZORiv.ini", ini("http://127.0.0.1:" + std::to_string(ClosedPort())));
    r = Check(folder);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("ERRO API: login recusado em http://127\\.0\\.0\\.1:[0-9]+/login: "
                                                    "N\xC3\xA3o foi poss\xC3\xADvel conectar para envio das OPs\\. ")))
        << r.out;
    EXPECT_NE(r.out.find("OK banco: "), std::string::npos) << r.out;
}

}  // namespace
