// The export run when the database connection is lost in the middle of it:
// the service's PostgreSQL connection is ended by the server (from a second
// connection) while the fake API holds back its answer to one request.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "ExportHarness.h"
#include "shell/RegionalSettings.h"

using exporttest::Installation;
using exporttest::RequestLines;
using testsupport::Backend;
using Lines = std::vector<std::string>;

namespace {

const std::string Create = "POST /api/OrdensProducao/CreateDinamico";
const std::string Group = "POST /api/OrdensProducaoAgrupamento";
const std::string Delete = "DELETE /api/OrdensProducao/DeletarPorCodigo";
const std::string Login = "POST /login";

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Runs one statement as the test server's superuser; the first value of the
// first row, or the error.
std::string AdminQuery(const std::string& sql) {
    const char* keys[] = {"host", "port", "user", "password", "dbname", nullptr};
    const std::string host = Env("DEZORIV_PG_HOST"), port = Env("DEZORIV_PG_PORT"), user = Env("DEZORIV_PG_USER"),
                      password = Env("DEZORIV_PG_PASSWORD");
    const char* values[] = {host.c_str(), port.c_str(), user.c_str(), password.c_str(), "postgres", nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 0);
    std::string out;
    if (PQstatus(conn) != CONNECTION_OK) {
        out = std::string("error: ") + PQerrorMessage(conn);
    } else {
        PGresult* res = PQexec(conn, sql.c_str());
        out = PQresultStatus(res) == PGRES_TUPLES_OK && PQntuples(res) > 0 ? PQgetvalue(res, 0, 0)
                                                                             : std::string("error: ") + PQerrorMessage(conn);
        PQclear(res);
    }
    PQfinish(conn);
    return out;
}

// Once the API has received the request (path ending with `path`, body
// containing `body`), ends the service's connection to `database` and waits
// until it is gone. Gives how many connections were ended.
int EndServiceConnectionDuring(const FakeApiProcess& api, const std::string& path, const std::string& body,
                               const std::string& database) {
    using namespace std::chrono;
    const auto until = steady_clock::now() + seconds(20);
    auto received = [&] {
        try {
            for (const auto& r : api.Requests()) {
                const std::string p = r["path"], b = r["body"];
                if (p.size() >= path.size() && p.compare(p.size() - path.size(), path.size(), path) == 0 &&
                    b.find(body) != std::string::npos)
                    return true;
            }
        } catch (const std::exception&) {
            // A line still being written: read again.
        }
        return false;
    };
    while (!received()) {
        if (steady_clock::now() > until) return -1;
        std::this_thread::sleep_for(milliseconds(10));
    }
    const std::string service = "FROM pg_stat_activity WHERE application_name = 'dezoriv' AND datname = '" +
                                database + "' AND pid <> pg_backend_pid()";
    const std::string ended = AdminQuery("SELECT count(pg_terminate_backend(pid)) " + service);
    while (AdminQuery("SELECT count(*) " + service) != "0") {
        if (steady_clock::now() > until) return -1;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return std::atoi(ended.c_str());
}

class ExportConnectionLoss : public ::testing::Test {
protected:
    void SetUp() override {
        DEZORIV_REQUIRE_BACKEND(Backend::PG);
        shell::SetFormatSettings(shell::TFormatSettings{});  // dd/mm/yyyy
    }
};

// The connection is lost while the API answers a request of order 000123:
// the next database access (the raport of the main order, or the marking of
// the first accepted line) fails, and the run ends at once with its message:
// no further request, no further marking, no dump. Every line stays unsent
// and the next run, connected again, sends both orders and marks them.
TEST_F(ExportConnectionLoss, LostConnectionEndsTheRunAndTheNextRunSendsTheOrdersAgain) {
    struct Case {
        const char* name;
        std::string path, body;  // the request whose answer is held back
        Lines requests;
        Lines logBeforeEnd;  // the lines before the run's error
    } cases[] = {
        {"raport of the main order",
         "/CreateDinamico",
         "\"CodOrdemProducao\":\"000123-001\"",
         {Login, Delete, Create, Create},
         {"Envio da OP 000123 Produto TEC02 Cor 001", "Iniciando montagem dos rolos da URDIDEIRA"}},
        {"marking of the accepted lines",
         "/OrdensProducaoAgrupamento",
         "\"QuantidadeFilho\":150",
         {Login, Delete, Create, Create, Create, Group},
         {"Feito o agrupamento das ordens {\"sucesso\":true}",
          "Não foi possível atualizar o status para Enviado no Produto TEC01 Cor 002 Numero 000123"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeApiProcess api;
        api.AddRule({{"path", c.path}, {"body_contains", c.body}, {"delay_ms", 1500}, {"times", 1}});
        Installation inst(Backend::PG, api);
        const Lines unsent = inst.Lines();

        auto ended = std::async(std::launch::async, EndServiceConnectionDuring, std::cref(api), c.path, c.body,
                                inst.Database());
        Lines log = inst.RunOnce();
        ASSERT_EQ(ended.get(), 1);

        EXPECT_EQ(RequestLines(api), c.requests);
        ASSERT_GE(log.size(), c.logBeforeEnd.size() + 2);
        EXPECT_EQ(Lines(log.end() - 2 - static_cast<long>(c.logBeforeEnd.size()), log.end() - 2), c.logBeforeEnd);
        EXPECT_EQ(log.end()[-2].rfind("Não foi possível integrar as OPs. Erro ", 0), 0u) << log.end()[-2];
        EXPECT_EQ(log.back(), "Fim do envio dos dados da OP.");
        EXPECT_EQ(inst.Dump("EnviaOrdemPrincipal_000123"), "");
        EXPECT_EQ(inst.Dump("EnviaOrdemAgrupamento_000123"), "");
        EXPECT_EQ(inst.Lines(), unsent);

        const size_t before = api.Requests().size();
        inst.RunOnce();
        const Lines all = RequestLines(api);
        EXPECT_EQ(Lines(all.begin() + static_cast<long>(before), all.end()),
                  (Lines{Login, Delete, Create, Create, Create, Group, Delete, Create, Create, Group}));
        EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|S"}));
    }
}

}  // namespace
