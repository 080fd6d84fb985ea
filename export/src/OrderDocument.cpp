// Order-line document: one production order per weaving-order line.
#include <cmath>

#include "ExportRun.h"
#include "RequestExchange.h"
#include "export/Export.h"
#include "shell/RegionalSettings.h"

namespace exportjob {

namespace {
constexpr const char* DataZero = "1900-01-01 00:00:00.000";
constexpr const char* TempoZero = "1900-01-01T00:00:00";

Json Pair(const std::string& chave, Json valor) {
    Json p = Json::object();
    p["Chave"] = chave;
    p["Valor"] = std::move(valor);
    return p;
}
}  // namespace

std::string ShortDate(TDateTime value) {
    TKVDateParts parts = DecodeKVDateTime(std::floor(value));
    std::tm t{};
    t.tm_year = parts.Year - 1900;
    t.tm_mon = parts.Month - 1;
    t.tm_mday = parts.Day;
    return shell::ShortDateText(t);
}

Json OrderInformation(const std::string& ficha, TDateTime entrega, const std::string& artCli) {
    return Json::array({Pair("PEDIDO", ficha), Pair("DATA ENTREGA", ShortDate(entrega)), Pair("DESENHO", artCli)});
}

Json WeavingOperation(const std::string& maquina, int sequencia, int32_t quantidadePorCiclo, const std::string& rpm,
                      double kgHora) {
    Json op = Json::object();
    op["CodPostoOperacao"] = maquina;
    op["CodOperacao"] = "1";
    op["IdStatus"] = 1;
    op["Sequencia"] = sequencia;
    op["Pessoas"] = 1;
    op["Descricao"] = "Tecelagem";
    op["DataHoraInicio"] = DataZero;
    op["DataHoraFim"] = DataZero;
    op["TempoCiclo"] = TempoZero;
    op["TempoSetup"] = TempoZero;
    op["Quantidade"] = 1;
    op["QuantidadePorCiclo"] = quantidadePorCiclo;
    op["QuantidadeProduzida"] = 0;
    op["InformacoesComplementares"] = Json::array({Pair("RPM", rpm), Pair("METROS_MINUTO", kgHora)});
    return op;
}

Json OrderDocument(const TRunContext& ctx) {
    const TOrderLine& l = ctx.Line;
    Json doc = Json::object();
    doc["IdOrganizacao"] = 1;
    doc["IdStatus"] = 1;
    doc["IdProgramacao"] = 1;
    doc["CodOrdemProducao"] = l.Numero + "-" + l.Cor;
    doc["Nome"] = l.DescMat;
    doc["DataInicio"] = DataZero;
    doc["DataFim"] = DataZero;
    doc["Quantidade"] = Divide(l.Qtde, l.Peso);
    Json item = Json::object();
    item["Codigo"] = l.Codigo + "-" + l.Cor;
    item["Descricao"] = l.DescMat;
    item["CodigoUnidade"] = l.Unidade;
    doc["Item"] = item;
    doc["InformacoesComplementares"] = OrderInformation(l.Ficha, ctx.Header.Entrega, l.ArtCli);
    doc["Roteiros"] = Json::array({WeavingOperation(l.Maquina, 10, ctx.Header.Ciclos, l.Rpm, l.KgHora)});
    return doc;
}

bool EnviaOrdem(TRunContext& ctx) {
    TfmDEZORiv& form = ctx.Form;
    const TOrderLine& l = ctx.Line;
    std::string body;
    std::string url = form.sURLReq + PathCreate;
    try {
        body = JsonToText(Json::array({OrderDocument(ctx)}));
        ctx.ResponseText.clear();
        TAnswer answer = PostOrder(form, url, body);
        ctx.ResponseText = answer.Text;
        if (!Accepted(answer)) {
            form.LogAtividade("Não foi possível enviar a OP " + l.Numero + " Produto " + l.Codigo + " Cor " + l.Cor +
                              ". Retorno " + LogText(answer.Text));
            return false;
        }
        form.LogAtividade("Envio da OP " + l.Numero + " Produto " + l.Codigo + " Cor " + l.Cor);
        int id = ParseCreatedId(answer.Text);
        shell::TWorkTable& cds = form.CDSOrdTecelagem;
        cds.Append();
        cds["SelOrdTecPai"] = "N";
        cds["IDProg"] = static_cast<int32_t>(id);
        cds["Numero"] = l.Numero;
        cds["Codigo"] = l.Codigo;
        cds["Cor"] = l.Cor;
        cds["QtdeFilho"] = l.Qtde;
        // The line as it was read and sent, by which it is marked.
        cds["NumeroLinha"] = l.Numero;
        cds["CodigoLinha"] = l.Codigo;
        cds["CorLinha"] = l.Cor;
        cds.Post();
        return true;
    } catch (const std::exception& e) {
        form.LogAtividade("Não foi possível enviar OP " + l.Numero + " Produto " + l.Codigo + " Cor " + l.Cor +
                          ". Exceção " + LogText(e.what()));
        GravaArquivoExcecao(form, "EnviaOrdem_" + l.Numero + "-" + l.Cor, body, url, e.what(), "POST");
        return false;
    }
}

}  // namespace exportjob
