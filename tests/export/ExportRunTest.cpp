// The export run end to end: a real ERP database with the fixture, the
// service's main object, and the fake web API on a free port.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

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

class ExportRun : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        DEZORIV_REQUIRE_BACKEND(GetParam());
        shell::SetFormatSettings(shell::TFormatSettings{});  // dd/mm/yyyy
    }
};

std::string Name(const ::testing::TestParamInfo<Backend>& info) { return testsupport::BackendName(info.param); }

}  // namespace

// Two orders in one run: the requests in the run's order, the log, and every
// line marked as sent.
TEST_P(ExportRun, TwoOrdersGoOutInOrderAndTheirLinesAreMarked) {
    FakeApiProcess api({"--first-id", "900"});
    Installation inst(GetParam(), api);
    Lines log = inst.RunOnce();

    EXPECT_EQ(RequestLines(api),
              (Lines{Login, Delete, Create, Create, Create, Group, Delete, Create, Create, Group}));
    EXPECT_EQ(log, (Lines{
                       "Inicio do envio dos dados da OP.",
                       "Autenticando usuário tecelagem para envio das OPs.",
                       "Usuário tecelagem autenticado, para envio das OPs.",
                       "OP 000123 excluída com sucesso",
                       "Envio da OP 000123 Produto TEC01 Cor 002",
                       "Envio da OP 000123 Produto TEC02 Cor 001",
                       "Iniciando montagem dos rolos da URDIDEIRA",
                       "Corpo Urdideira Rolo 1",
                       "Corpo Urdideira Rolo 2",
                       "Corpo Urdideira Rolo 3",
                       "Listra Urdideira Rolo 4",
                       "Listra Urdideira Rolo 5",
                       "Fim na montagem dos rolos da URDIDEIRA",
                       "Envio da OP Principal 000123 Produto TEC01",
                       "Inicio do envio do agrupamento",
                       "Feito o agrupamento das ordens {\"sucesso\":true}",
                       "Atualizado o status para Enviado na Ordem 000123 Produto TEC01 Cor 002",
                       "Atualizado o status para Enviado na Ordem 000123 Produto TEC02 Cor 001",
                       "OP 000124 excluída com sucesso",
                       "Envio da OP 000124 Produto TEC01 Cor 005",
                       "Iniciando montagem dos rolos da URDIDEIRA",
                       "Fim na montagem dos rolos da URDIDEIRA",
                       "Envio da OP Principal 000124 Produto TEC01",
                       "Inicio do envio do agrupamento",
                       "Feito o agrupamento das ordens {\"sucesso\":true}",
                       "Atualizado o status para Enviado na Ordem 000124 Produto TEC01 Cor 005",
                       "Fim do envio dos dados da OP.",
                   }));
    EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|S"}));
    // Order 000124 names a customer order that does not exist: its delivery
    // date is the date scale's day zero.
    auto requests = api.Requests();
    EXPECT_NE(requests.at(7)["body"].get<std::string>().find(
                  R"({"Chave":"PEDIDO","Valor":"P200"},{"Chave":"DATA ENTREGA","Valor":"30/12/1899"},{"Chave":"DESENHO","Valor":""})"),
              std::string::npos);

    // The activity-log file holds the same lines, each with its own time stamp.
    Lines file = inst.LogFileLines();
    ASSERT_GE(file.size(), log.size());
    Lines tail(file.end() - static_cast<long>(log.size()), file.end());
    for (size_t i = 0; i < log.size(); ++i) {
        size_t sep = tail[i].find(" - ");
        ASSERT_NE(sep, std::string::npos) << tail[i];
        EXPECT_EQ(tail[i].substr(sep + 3), log[i]);
    }

    // Nothing is left: the next run only logs in.
    Lines again = inst.RunOnce();
    EXPECT_EQ(again.size(), 4u);
    EXPECT_EQ(RequestLines(api).size(), 11u);
}

INSTANTIATE_TEST_SUITE_P(Backends, ExportRun, ::testing::Values(Backend::PG, Backend::FBEmbedded), Name);

namespace {

class ExportRunPg : public ::testing::Test {
protected:
    void SetUp() override {
        DEZORIV_REQUIRE_BACKEND(Backend::PG);
        shell::SetFormatSettings(shell::TFormatSettings{});  // dd/mm/yyyy
    }
};

// The requests of the fake API whose path ends with `tail`.
std::vector<nlohmann::json> RequestsTo(const FakeApiProcess& api, const std::string& tail) {
    std::vector<nlohmann::json> out;
    for (const auto& r : api.Requests()) {
        std::string path = r["path"];
        if (path.size() >= tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0)
            out.push_back(r);
    }
    return out;
}

std::vector<std::string> Bodies(const FakeApiProcess& api, const std::string& tail) {
    std::vector<std::string> out;
    for (const auto& r : RequestsTo(api, tail)) out.push_back(r["body"]);
    return out;
}

}  // namespace

// Every body of one order, byte for byte, and the headers they travel with.
TEST_F(ExportRunPg, BodiesOfOneOrderByteForByte) {
    FakeApiProcess api({"--first-id", "900", "--token", "tok-42"});
    exporttest::Options options;
    options.usuario = "tecelagem/ç";
    options.senha = "s\"enhã";
    Installation inst(Backend::PG, api, options);
    inst.Execute("DELETE FROM TECEL_ITEN_001 WHERE NUMERO = '000124'");
    inst.RunOnce();

    EXPECT_EQ(Bodies(api, "/login"),
              Lines{R"({"login":"tecelagem\/\u00E7","senha":"s\"enh\u00E3","idCliente":12})"});
    EXPECT_EQ(Bodies(api, "/DeletarPorCodigo"), Lines{R"(["000123"])"});
    const std::string zero = "\"1900-01-01 00:00:00.000\"";
    const std::string tzero = "\"1900-01-01T00:00:00\"";
    const std::string times = "\"DataHoraInicio\":" + zero + ",\"DataHoraFim\":" + zero +
                              ",\"TempoCiclo\":" + tzero + ",\"TempoSetup\":" + tzero;
    const std::string info =
        R"("InformacoesComplementares":[{"Chave":"PEDIDO","Valor":"P100"},{"Chave":"DATA ENTREGA","Valor":"15/03/2024"},{"Chave":"DESENHO","Valor":"DES-77"}])";
    const std::string weaving40 =
        R"({"CodPostoOperacao":"TEAR01","CodOperacao":"1","IdStatus":1,"Sequencia":10,"Pessoas":1,"Descricao":"Tecelagem",)" +
        times +
        R"(,"Quantidade":1,"QuantidadePorCiclo":40,"QuantidadeProduzida":0,"InformacoesComplementares":[{"Chave":"RPM","Valor":"450"},{"Chave":"METROS_MINUTO","Valor":)";
    auto roll = [&](int seq, int roll, const std::string& qty, const std::string& code, const std::string& dest) {
        return R"({"CodPostoOperacao":"525","CodOperacao":"10","IdStatus":1,"Sequencia":)" + std::to_string(seq) +
               R"(,"Pessoas":1,"Descricao":"Urdideira Rolo )" + std::to_string(roll) + "\"," + times +
               R"(,"Quantidade":)" + qty +
               R"(,"QuantidadePorCiclo":1,"QuantidadeProduzida":0,"InformacoesComplementares":[{"Chave":"TIPO DE FIO","Valor":")" +
               code + R"("},{"Chave":"DESTINO","Valor":")" + dest + R"("},{"Chave":"CORES","Valor":")" + dest +
               "\"}]}";
    };
    EXPECT_EQ(
        Bodies(api, "/CreateDinamico"),
        (Lines{
            R"([{"IdOrganizacao":1,"IdStatus":1,"IdProgramacao":1,"CodOrdemProducao":"000123-002","Nome":"TECIDO JACQUARD AZUL","DataInicio":)" +
                zero + ",\"DataFim\":" + zero +
                R"(,"Quantidade":12.5,"Item":{"Codigo":"TEC01-002","Descricao":"TECIDO JACQUARD AZUL","CodigoUnidade":"MT"},)" +
                info + ",\"Roteiros\":[" + weaving40 + "12.5}]}]}]",
            R"([{"IdOrganizacao":1,"IdStatus":1,"IdProgramacao":1,"CodOrdemProducao":"000123-001","Nome":"FITA ELÁSTICA AÇÃO","DataInicio":)" +
                zero + ",\"DataFim\":" + zero +
                R"(,"Quantidade":9,"Item":{"Codigo":"TEC02-001","Descricao":"FITA ELÁSTICA AÇÃO","CodigoUnidade":"MT"},)" +
                info + ",\"Roteiros\":[" + weaving40 + "8}]}]}]",
            R"([{"IdOrganizacao":1,"IdStatus":1,"IdProgramacao":1,"CodOrdemProducao":"000123","Nome":"TECIDO JACQUARD AZUL","DataInicio":)" +
                zero + ",\"DataFim\":" + zero +
                R"(,"Quantidade":21.5,"Item":{"Codigo":"TEC01","Descricao":"TECIDO JACQUARD AZUL","CodigoUnidade":"MT"},)" +
                info + ",\"Roteiros\":[" + roll(100, 1, "0.44075", "RAP-A", "CORPO") + "," +
                roll(101, 2, "0.44075", "RAP-A", "CORPO") + "," + roll(102, 3, "0.44075", "RAP-A", "CORPO") + "," +
                roll(103, 4, "0.394166666666667", "RAP-B", "LISTRA") + "," +
                roll(104, 5, "0.394166666666667", "RAP-B", "LISTRA") + "," +
                R"({"CodPostoOperacao":"TEAR01","CodOperacao":"1","IdStatus":1,"Sequencia":200,"Pessoas":1,"Descricao":"Tecelagem",)" +
                times +
                R"(,"Quantidade":1,"QuantidadePorCiclo":60,"QuantidadeProduzida":0,"InformacoesComplementares":[{"Chave":"RPM","Valor":"450"},{"Chave":"METROS_MINUTO","Valor":12.5}]}]}])",
        }));
    EXPECT_EQ(
        Bodies(api, "/OrdensProducaoAgrupamento"),
        Lines{
            R"([{"IdStatus":1,"IdOrdemProducaoPai":902,"IdOrganizacaoPai":1,"QuantidadePai":21.5,"IdOrdemProducaoFilho":900,"IdOrganizacaoFilho":1,"QuantidadeFilho":150},)"
            R"({"IdStatus":1,"IdOrdemProducaoPai":902,"IdOrganizacaoPai":1,"QuantidadePai":21.5,"IdOrdemProducaoFilho":901,"IdOrganizacaoFilho":1,"QuantidadeFilho":90}])"});

    for (const auto& r : api.Requests()) {
        if (r["path"] == "/login") continue;
        EXPECT_EQ(r["headers"].value("Authorization", ""), "Bearer tok-42");
        EXPECT_EQ(r["headers"].value("Content-Type", ""), "application/json; charset=utf-8");
        EXPECT_EQ(r["headers"].value("Accept", ""), "application/json");
    }
    // The order client keeps the cookie the API set on the first answer.
    EXPECT_EQ(RequestsTo(api, "/OrdensProducaoAgrupamento").at(0)["headers"].value("Cookie", ""),
              "fakeapi-session=1");
    EXPECT_EQ(inst.Form().CDSOrdTecelagem.TotalRows(), 3);
}

// A rejected line stays unsent and goes again, alone, with its order at the
// next run; its main order is then built from that line only.
TEST_F(ExportRunPg, RejectedLineIsSentAgainWithItsOrderAtTheNextRun) {
    FakeApiProcess api({"--first-id", "1"});
    api.AddRule({{"path", "/CreateDinamico"}, {"body_contains", "\"CodOrdemProducao\":\"000123-001\""},
                 {"status", 201}, {"body", "[77]"}, {"times", 1}});
    Installation inst(Backend::PG, api);
    Lines log = inst.RunOnce();
    EXPECT_NE(std::find(log.begin(), log.end(), "Não foi possível enviar a OP 000123 Produto TEC02 Cor 001. Retorno [77]"),
              log.end());
    EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|S", "000123|TEC02|001|-", "000124|TEC01|005|S"}));
    EXPECT_EQ(Bodies(api, "/OrdensProducaoAgrupamento").at(0),
              R"([{"IdStatus":1,"IdOrdemProducaoPai":2,"IdOrganizacaoPai":1,"QuantidadePai":21.5,"IdOrdemProducaoFilho":1,"IdOrganizacaoFilho":1,"QuantidadeFilho":150}])");

    size_t before = api.Requests().size();
    Lines second = inst.RunOnce();
    auto requests = RequestLines(api);
    EXPECT_EQ(Lines(requests.begin() + static_cast<long>(before), requests.end()),
              (Lines{Login, Delete, Create, Create, Group}));
    auto creates = Bodies(api, "/CreateDinamico");
    nlohmann::json main = nlohmann::json::parse(creates.back())[0];
    EXPECT_EQ(main["CodOrdemProducao"], "000123");
    EXPECT_EQ(main["Item"]["Codigo"], "TEC02");
    EXPECT_EQ(creates.back().find("\"Quantidade\":9,"), creates.back().find("\"Quantidade\":"));
    EXPECT_EQ(main["Roteiros"].back()["QuantidadePorCiclo"], 20);
    EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|S"}));
}

// A main order that is not accepted: no grouping, nothing of its order
// marked, a dump of the request. Rejected answers dump an empty exception
// section; errors dump the error.
TEST_F(ExportRunPg, MainOrderNotAcceptedLeavesItsOrderUnsentWithADump) {
    struct Case {
        int status;
        std::string body, logLine, exception;
    } cases[] = {
        {200, "  ", "Não foi possível enviar a OP Principal 000124 Produto TEC01. Exceção   ", ""},
        {500, "falhou", "Não foi possível enviar OP Principal 000124 Produto TEC01. Exceção HTTP/1.1 500 Internal Server Error",
         "HTTP/1.1 500 Internal Server Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        FakeApiProcess api;
        api.AddRule({{"path", "/CreateDinamico"}, {"body_contains", "\"CodOrdemProducao\":\"000124\""},
                     {"status", c.status}, {"body", c.body}});
        Installation inst(Backend::PG, api);
        Lines log = inst.RunOnce();
        EXPECT_NE(std::find(log.begin(), log.end(), c.logLine), log.end());
        EXPECT_EQ(RequestLines(api),
                  (Lines{Login, Delete, Create, Create, Create, Group, Delete, Create, Create}));
        EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|"}));
        std::string body = Bodies(api, "/CreateDinamico").back();
        EXPECT_EQ(inst.Dump("EnviaOrdemPrincipal_000124"),
                  "URL: " + api.BaseUrl() + "/api/OrdensProducao/CreateDinamico\r\nMétodo: POST\r\n\r\n" +
                      "-------------------- BODY --------------------\r\n" + body + "\r\n" +
                      std::string(40, '-') + "\r\n\r\n-------------------- EXCECAO --------------------\r\n" +
                      c.exception + "\r\n" + std::string(40, '-') + "\r\n");
    }
}

// Failures around an order (deletion, grouping) and what they leave marked.
TEST_F(ExportRunPg, DeletionAndGroupingFailures) {
    struct Case {
        const char* name;
        nlohmann::json rule;
        std::string logLine;
        Lines marks;
        std::string dumpPrefix;
    } cases[] = {
        {"deletion 204",
         {{"path", "/DeletarPorCodigo"}, {"body_contains", "000124"}, {"status", 204}, {"body", ""}},
         "Não foi possível excluir a OP 000124 Erro ",
         {"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|S"},
         ""},
        {"deletion 404",
         {{"path", "/DeletarPorCodigo"}, {"body_contains", "000124"}, {"status", 404}, {"body", "nada"}},
         "Não foi possível excluir OP 000124 Erro HTTP/1.1 404 Not Found",
         {"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|S"},
         "DeletarPorCodigo_000124"},
        {"grouping rejected",
         {{"path", "/OrdensProducaoAgrupamento"}, {"body_contains", "\"QuantidadeFilho\":60"}, {"body", ""}},
         "Não foi possível fazer o agrupamento das ordens. Retorno ",
         {"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|"},
         ""},
        {"grouping error",
         {{"path", "/OrdensProducaoAgrupamento"}, {"body_contains", "\"QuantidadeFilho\":60"}, {"status", 503},
          {"body", "x"}},
         "Não foi possível fazer o agrupamento das ordens. Exceção HTTP/1.1 503 Service Unavailable",
         {"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|"},
         "EnviaOrdemAgrupamento_000124"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeApiProcess api;
        api.AddRule(c.rule);
        Installation inst(Backend::PG, api);
        Lines log = inst.RunOnce();
        EXPECT_NE(std::find(log.begin(), log.end(), c.logLine), log.end());
        EXPECT_EQ(inst.Lines(), c.marks);
        if (!c.dumpPrefix.empty()) {
            EXPECT_NE(inst.Dump(c.dumpPrefix), "");
        }
    }
}

// The roll operations: waste factor to two decimals, sequence and roll
// numbers running on across kinds, and a cycles total of zero.
TEST_F(ExportRunPg, RollOperations) {
    FakeApiProcess api;
    Installation inst(Backend::PG, api);
    inst.Execute("DELETE FROM TECEL_ITEN_001 WHERE NUMERO = '000123' AND CODIGO = 'TEC02'");
    // Pieces total 1200 / 12 = 100, cycles total 40.
    inst.Execute("UPDATE TECEL_ITEN_001 SET QTDE = 1200 WHERE NUMERO = '000123'");
    inst.Execute("UPDATE TECEL_ITEN_001 SET CICLOS = 0 WHERE NUMERO = '000124'");
    inst.Execute("INSERT INTO RAPORT_001 (MATERIAL, COR, CODIGO, AGRUPADOR, DESPERDICIO) VALUES ('TEC01', '005', 'RAP-A', 'CP', 2)");
    Lines log = inst.RunOnce();

    auto creates = Bodies(api, "/CreateDinamico");
    ASSERT_EQ(creates.size(), 4u);
    nlohmann::json first = nlohmann::json::parse(creates[1])[0]["Roteiros"];
    ASSERT_EQ(first.size(), 6u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(first[i]["Sequencia"], 100 + i);
        EXPECT_EQ(first[i]["Descricao"], "Urdideira Rolo " + std::to_string(i + 1));
    }
    EXPECT_NE(creates[1].find(R"("Descricao":"Urdideira Rolo 3",)"), std::string::npos);
    // 100 / 40 * 1.23 (1.2345 to two decimals) and 100 / 40 * 1.1
    EXPECT_NE(creates[1].find(R"("Quantidade":3.075,"QuantidadePorCiclo":1)"), std::string::npos) << creates[1];
    EXPECT_NE(creates[1].find(R"("Quantidade":2.75,"QuantidadePorCiclo":1)"), std::string::npos) << creates[1];
    EXPECT_EQ(first[5]["Sequencia"], 200);
    EXPECT_EQ(first[5]["QuantidadePorCiclo"], 40);

    // Order 000124 has a cycles total of zero: no rolls, only the weaving.
    nlohmann::json second = nlohmann::json::parse(creates[3])[0]["Roteiros"];
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0]["Sequencia"], 200);
    EXPECT_EQ(second[0]["QuantidadePorCiclo"], 0);
    auto at = std::find(log.begin(), log.end(), "Envio da OP 000124 Produto TEC01 Cor 005");
    ASSERT_NE(at, log.end());
    EXPECT_EQ(Lines(at + 1, at + 4),
              (Lines{"Iniciando montagem dos rolos da URDIDEIRA",
                     "Não foi possível enviar a OP Urdideira 000124 Produto TEC01. Exceção Divisão de ponto flutuante por zero",
                     "Fim na montagem dos rolos da URDIDEIRA"}));
    EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|S", "000124|TEC01|005|S"}));
}

// A line whose fabric has no piece weight: its document fails with an empty
// body in the dump, and the division of the order total ends the run.
TEST_F(ExportRunPg, ZeroPieceWeightEndsTheRun) {
    FakeApiProcess api;
    Installation inst(Backend::PG, api);
    inst.Execute("UPDATE MATERIAL_001 SET PESO = 0 WHERE CODIGO = 'TEC02'");
    Lines log = inst.RunOnce();
    EXPECT_EQ(RequestLines(api), (Lines{Login, Delete, Create}));
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(Lines(log.end() - 4, log.end()),
              (Lines{"Envio da OP 000123 Produto TEC01 Cor 002",
                     "Não foi possível enviar OP 000123 Produto TEC02 Cor 001. Exceção Divisão de ponto flutuante por zero",
                     "Não foi possível integrar as OPs. Erro Divisão de ponto flutuante por zero",
                     "Fim do envio dos dados da OP."}));
    EXPECT_EQ(inst.Dump("EnviaOrdem_000123-001"),
              "URL: " + api.BaseUrl() + "/api/OrdensProducao/CreateDinamico\r\nMétodo: POST\r\n\r\n" +
                  "-------------------- BODY --------------------\r\n\r\n" + std::string(40, '-') +
                  "\r\n\r\n-------------------- EXCECAO --------------------\r\n"
                  "Divisão de ponto flutuante por zero\r\n" +
                  std::string(40, '-') + "\r\n");
    EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|-", "000123|TEC02|001|-", "000124|TEC01|005|"}));
}

// HTTPS: the API's certificate is verified; an untrusted one stops the login.
TEST_F(ExportRunPg, HttpsWithTrustedAndUntrustedCertificate) {
    if (!FakeApiProcess::HttpsAvailable()) {
        if (testsupport::ServersRequired()) FAIL() << "DEZORIV_FAKE_API_CERT not set";
        GTEST_SKIP() << "DEZORIV_FAKE_API_CERT not set (scripts/test-env/40-fake-api-cert.sh)";
    }
    FakeApiProcess api({}, true);
    Installation inst(Backend::PG, api);

    unsetenv("CURL_CA_BUNDLE");
    Lines log = inst.RunOnce();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2].rfind("Não foi possível conectar para envio das OPs. ", 0), 0u) << log[2];
    EXPECT_NE(log[2].find("certificate"), std::string::npos) << log[2];
    EXPECT_TRUE(api.Requests().empty());

    setenv("CURL_CA_BUNDLE", std::getenv("DEZORIV_FAKE_API_CERT"), 1);
    inst.RunOnce();
    unsetenv("CURL_CA_BUNDLE");
    EXPECT_EQ(RequestLines(api).size(), 10u);
    EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|S"}));
}

// An order whose first line has a blank product code gets no main order when
// it is the last one of the run, and does when another order follows.
TEST_F(ExportRunPg, BlankProductCodeOfTheLastOrderSkipsItsMainOrder) {
    FakeApiProcess api;
    Installation inst(Backend::PG, api);
    inst.Execute("INSERT INTO MATERIAL_001 (CODIGO, DESCRICAO, GRUPO, UNIDADE, KG_HORA, PESO) VALUES (' ', 'SEM CODIGO', 'TEC', 'MT', 1, 1)");
    inst.Execute("INSERT INTO TECEL_001 (NUMERO, MAQUINA, RPM, FICHA) VALUES ('000000', 'TEAR09', 100, 'P100')");
    inst.Execute("INSERT INTO TECEL_001 (NUMERO, MAQUINA, RPM, FICHA) VALUES ('Z00001', 'TEAR09', 100, 'P100')");
    inst.Execute("INSERT INTO TECEL_ITEN_001 (NUMERO, CODIGO, COR, QTDE, CICLOS) VALUES ('000000', ' ', '001', 5, 1)");
    inst.Execute("INSERT INTO TECEL_ITEN_001 (NUMERO, CODIGO, COR, QTDE, CICLOS) VALUES ('Z00001', ' ', '001', 5, 1)");
    inst.RunOnce();
    EXPECT_EQ(RequestLines(api), (Lines{Login, Delete, Create, Create, Group, Delete, Create, Create, Create, Group,
                                        Delete, Create, Create, Group, Delete, Create}));
    EXPECT_EQ(inst.Lines(), (Lines{"000000||001|S", "000123|TEC01|002|S", "000123|TEC02|001|S",
                                   "000124|TEC01|005|S", "Z00001||001|-"}));
}

// An accepted line whose answer carries no identifier: the accepted line is
// logged, then the error; a dump is written and the line is not recorded.
TEST_F(ExportRunPg, AcceptedAnswerWithoutIdentifier) {
    for (std::string answer : {"57", "[5a]"}) {
        SCOPED_TRACE(answer);
        FakeApiProcess api;
        api.AddRule({{"path", "/CreateDinamico"}, {"body_contains", "\"CodOrdemProducao\":\"000124-005\""},
                     {"body", answer}});
        Installation inst(Backend::PG, api);
        Lines log = inst.RunOnce();
        auto at = std::find(log.begin(), log.end(), "Envio da OP 000124 Produto TEC01 Cor 005");
        ASSERT_NE(at, log.end());
        EXPECT_EQ(at[1].rfind("Não foi possível enviar OP 000124 Produto TEC01 Cor 005. Exceção ", 0), 0u) << at[1];
        EXPECT_NE(inst.Dump("EnviaOrdem_000124-005"), "");
        // The main order still goes; the grouping carries no child.
        EXPECT_EQ(Bodies(api, "/OrdensProducaoAgrupamento").back(), "[]");
        EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|S", "000123|TEC02|001|S", "000124|TEC01|005|"}));
    }
}

// Order numbers and colours longer than the work table's columns: the
// documents carry them whole and the line that was sent is the one marked -
// never another order's line that shares the cut value, and never no line.
TEST_F(ExportRunPg, LongValuesMarkTheLineThatWasSent) {
    FakeApiProcess api;
    api.AddRule({{"path", "/CreateDinamico"}, {"body_contains", "\"CodOrdemProducao\":\"000123-002\""},
                 {"status", 200}, {"body", ""}});
    Installation inst(Backend::PG, api);
    inst.Execute("INSERT INTO TECEL_001 (NUMERO, MAQUINA, RPM, FICHA) VALUES ('0001234', 'TEAR01', 450, 'P100')");
    inst.Execute("INSERT INTO TECEL_ITEN_001 (NUMERO, CODIGO, COR, QTDE, CICLOS) VALUES ('0001234', 'TEC01', '002', 12, 1)");
    inst.Execute("INSERT INTO TECEL_ITEN_001 (NUMERO, CODIGO, COR, QTDE, CICLOS) VALUES ('0001234', 'TEC02', '0011234', 10, 1)");
    Lines log = inst.RunOnce();
    EXPECT_NE(std::find(log.begin(), log.end(), "Atualizado o status para Enviado na Ordem 0001234 Produto TEC02 Cor 0011234"),
              log.end());
    auto creates = Bodies(api, "/CreateDinamico");
    EXPECT_NE(std::find_if(creates.begin(), creates.end(),
                           [](const std::string& b) { return b.find("\"CodOrdemProducao\":\"0001234-0011234\"") != std::string::npos; }),
              creates.end());
    // 000123/TEC01/002 was rejected and stays unsent although 0001234 cut to
    // six characters reads 000123.
    EXPECT_EQ(inst.Lines(), (Lines{"000123|TEC01|002|-", "000123|TEC02|001|S", "0001234|TEC01|002|S",
                                   "0001234|TEC02|0011234|S", "000124|TEC01|005|S"}));
}
