// Main order of a weaving order, with the warping-machine roll operations
// derived from the fabric's raport.
#include <cmath>

#include "ExportRun.h"
#include "RequestExchange.h"
#include "dataaccess/KVErrors.h"
#include "export/Export.h"
#include "shell/SqlHelpers.h"

namespace exportjob {

using shell::QuotedStr;
using shell::TableName;

std::string RaportSQL(const std::string& numero, const std::string& kind) {
    return "SELECT DISTINCT RAPORT.MATERIAL, RAPORT.CODIGO, RAPORT.AGRUPADOR, RAPORT.DESPERDICIO,\n"
           "TIPO_APL.DESCRICAO AS DESC_AGRUPADOR,\n"
           "(SELECT SUM(CADRAPORT.ALIMENTADORES)\n"
           "FROM " + TableName("CADRAPORT") + " CADRAPORT\n"
           "WHERE CADRAPORT.CODIGO = RAPORT.CODIGO\n"
           "AND  CADRAPORT.MILIMETROS = (SELECT SUM(CADRAPORT.MILIMETROS)\n"
           "                             FROM " + TableName("CADRAPORT") + " CADRAPORT\n"
           "                             WHERE CADRAPORT.CODIGO = RAPORT.CODIGO\n"
           "AND RAPORT.AGRUPADOR = " + QuotedStr(kind) + ")) AS CARRETEIS\n"
           "FROM " + TableName("TECEL_ITEN") + " TECI\n"
           "LEFT JOIN " + TableName("RAPORT") + " RAPORT ON (RAPORT.MATERIAL = TECI.CODIGO AND TECI.COR = RAPORT.COR)\n"
           "LEFT JOIN " + TableName("TIPO_APL") + " TIPO_APL ON (TIPO_APL.CODIGO = RAPORT.AGRUPADOR)\n"
           "WHERE TECI.NUMERO = " + QuotedStr(numero) + "\n"
           "AND RAPORT.AGRUPADOR = " + QuotedStr(kind) + "\n"
           "AND RAPORT.DESPERDICIO > 0";
}

namespace {

constexpr const char* DataZero = "1900-01-01 00:00:00.000";
constexpr const char* TempoZero = "1900-01-01T00:00:00";

struct TRollKind {
    const char* Code;
    const char* LogWord;
};
constexpr TRollKind RollKinds[] = {
    {"CP", "Corpo Urdideira Rolo "},
    {"ES", "Escrita Urdideira Rolo "},
    {"LS", "Listra Urdideira Rolo "},
};

Json Pair(const std::string& chave, const std::string& valor) {
    Json p = Json::object();
    p["Chave"] = chave;
    p["Valor"] = valor;
    return p;
}

// Nearest hundredth, halves away from zero. The waste factor comes from a
// decimal column: the nudge keeps 1.005 from rounding down because of its
// binary representation.
double RoundHundredths(double value) {
    double scaled = value * 100;
    return std::round(scaled + std::copysign(1e-9, scaled)) / 100;
}

Json RollOperation(int sequencia, int rolo, double quantidade, const std::string& codigo,
                   const std::string& destino) {
    Json op = Json::object();
    op["CodPostoOperacao"] = "525";
    op["CodOperacao"] = "10";
    op["IdStatus"] = 1;
    op["Sequencia"] = sequencia;
    op["Pessoas"] = 1;
    op["Descricao"] = "Urdideira Rolo " + std::to_string(rolo);
    op["DataHoraInicio"] = DataZero;
    op["DataHoraFim"] = DataZero;
    op["TempoCiclo"] = TempoZero;
    op["TempoSetup"] = TempoZero;
    op["Quantidade"] = quantidade;
    op["QuantidadePorCiclo"] = 1;
    op["QuantidadeProduzida"] = 0;
    op["InformacoesComplementares"] =
        Json::array({Pair("TIPO DE FIO", codigo), Pair("DESTINO", destino), Pair("CORES", destino)});
    return op;
}

// Appends the roll operations of every kind to `roteiros`; an error stops
// the roll step and leaves the rolls made so far. A lost database connection
// ends the run instead: the main order is not sent without its rolls.
void BuildRolls(TRunContext& ctx, Json& roteiros) {
    TfmDEZORiv& form = ctx.Form;
    const TOrderLine& h = ctx.Header;
    int sequencia = 100;
    int rolo = 1;
    form.LogAtividade("Iniciando montagem dos rolos da URDIDEIRA");
    try {
        TKVQuery& raport = form.QryRaport;
        for (const TRollKind& kind : RollKinds) {
            raport.Close();
            SetLines(raport, RaportSQL(h.Numero, kind.Code));
            raport.Open();
            double desperdicio = 0;
            int64_t carreteis = 0;
            std::string codigo, destino;
            if (!raport.IsEmpty()) {
                raport.First();
                desperdicio = raport.FieldByName("DESPERDICIO").AsFloat();
                carreteis = raport.FieldByName("CARRETEIS").AsInteger();
                codigo = raport.FieldByName("CODIGO").AsString();
                destino = raport.FieldByName("DESC_AGRUPADOR").AsString();
            }
            double fator = RoundHundredths(desperdicio);
            if (ctx.CyclesTotal == 0) throw std::domain_error(ctx.PiecesTotal == 0
                                                                  ? "Operação de ponto flutuante inválida"
                                                                  : "Divisão de ponto flutuante por zero");
            double quantidade = ctx.PiecesTotal / ctx.CyclesTotal * fator;
            for (int64_t i = 0; i < carreteis; ++i) {
                roteiros.push_back(RollOperation(sequencia, rolo, quantidade, codigo, destino));
                form.LogAtividade(kind.LogWord + std::to_string(rolo));
                ++sequencia;
                ++rolo;
            }
        }
    } catch (const std::exception& e) {
        if (IsConnectionLost(e)) throw;
        form.LogAtividade("Não foi possível enviar a OP Urdideira " + h.Numero + " Produto " + h.Codigo +
                          ". Exceção " + e.what());
    }
    form.LogAtividade("Fim na montagem dos rolos da URDIDEIRA");
}

}  // namespace

bool EnviaOrdemPrincipal(TRunContext& ctx) {
    TfmDEZORiv& form = ctx.Form;
    const TOrderLine& h = ctx.Header;
    std::string body;
    std::string url = form.sURLReq + PathCreate;
    std::string prefix = "EnviaOrdemPrincipal_" + h.Numero;
    try {
        Json doc = Json::object();
        doc["IdOrganizacao"] = 1;
        doc["IdStatus"] = 1;
        doc["IdProgramacao"] = 1;
        doc["CodOrdemProducao"] = h.Numero;
        doc["Nome"] = h.DescMat;
        doc["DataInicio"] = DataZero;
        doc["DataFim"] = DataZero;
        doc["Quantidade"] = ctx.PiecesTotal;
        Json item = Json::object();
        item["Codigo"] = h.Codigo;
        item["Descricao"] = h.DescMat;
        item["CodigoUnidade"] = h.Unidade;
        doc["Item"] = item;
        doc["InformacoesComplementares"] = OrderInformation(h.Ficha, h.Entrega, h.ArtCli);

        Json roteiros = Json::array();
        BuildRolls(ctx, roteiros);
        roteiros.push_back(WeavingOperation(h.Maquina, 200, ctx.CyclesTotal, h.Rpm, h.KgHora));
        doc["Roteiros"] = std::move(roteiros);
        body = JsonToText(Json::array({doc}));

        ctx.ResponseText.clear();
        TAnswer answer = PostOrder(form, url, body);
        ctx.ResponseText = answer.Text;
        if (!Accepted(answer)) {
            GravaArquivoExcecao(form, prefix, body, url, "", "POST");
            form.LogAtividade("Não foi possível enviar a OP Principal " + h.Numero + " Produto " + h.Codigo +
                              ". Exceção " + LogText(answer.Text));
            return false;
        }
        form.LogAtividade("Envio da OP Principal " + h.Numero + " Produto " + h.Codigo);
        int id = ParseCreatedId(answer.Text);
        shell::TWorkTable& cds = form.CDSOrdTecelagem;
        cds.Append();
        cds["SelOrdTecPai"] = "S";
        cds["IDProg"] = static_cast<int32_t>(id);
        cds["QtdePai"] = ctx.PiecesTotal;
        cds.Post();
        return true;
    } catch (const std::exception& e) {
        if (IsConnectionLost(e)) throw;  // ends the run
        form.LogAtividade("Não foi possível enviar OP Principal " + h.Numero + " Produto " + h.Codigo +
                          ". Exceção " + LogText(e.what()));
        GravaArquivoExcecao(form, prefix, body, url, e.what(), "POST");
        return false;
    }
}

}  // namespace exportjob
