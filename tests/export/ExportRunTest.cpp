// The export run end to end: a real ERP database with the fixture, the
// service's main object, and the fake web API on a free port.
#include <gtest/gtest.h>

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
