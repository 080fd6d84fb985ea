// Grouping of the line orders under the main order, and the deletion of an
// order's earlier copy on the server.
#include "ExportRun.h"
#include "RequestExchange.h"
#include "dataaccess/KVErrors.h"
#include "export/Export.h"

namespace exportjob {

void EnviaOrdemAgrupamento(TRunContext& ctx) {
    TfmDEZORiv& form = ctx.Form;
    shell::TWorkTable& cds = form.CDSOrdTecelagem;
    form.LogAtividade("Inicio do envio do agrupamento");
    if (!cds.Locate("SelOrdTecPai", "S")) {
        form.LogAtividade("Produto principal não foi encontrado para fazer o agrupamento.");
        return;
    }
    int32_t parentId = cds["IDProg"].AsInteger();
    double parentQty = cds["QtdePai"].AsFloat();

    std::string body;
    std::string url = form.sURLReq + PathGrouping;
    // The restriction ends with the grouping, also when a stop or a lost
    // connection ends the run from inside it.
    struct TFilterGuard {
        shell::TWorkTable& table;
        ~TFilterGuard() { table.ClearFilter(); }
    } filterGuard{cds};
    try {
        cds.SetFilter("SelOrdTecPai", "N");
        Json groups = Json::array();
        for (cds.First(); !cds.Eof(); cds.Next()) {
            Json g = Json::object();
            g["IdStatus"] = 1;
            g["IdOrdemProducaoPai"] = parentId;
            g["IdOrganizacaoPai"] = 1;
            g["QuantidadePai"] = parentQty;
            g["IdOrdemProducaoFilho"] = cds["IDProg"].AsInteger();
            g["IdOrganizacaoFilho"] = 1;
            g["QuantidadeFilho"] = cds["QtdeFilho"].AsFloat();
            groups.push_back(std::move(g));
        }
        body = JsonToText(groups);
        ctx.ResponseText.clear();
        TAnswer answer = PostOrder(form, url, body);
        ctx.ResponseText = answer.Text;
        if (Accepted(answer)) {
            form.LogAtividade("Feito o agrupamento das ordens " + LogText(answer.Text));
            // Each line as it was read and sent, not the record's width-cut
            // copy, which could name another order's line.
            for (cds.First(); !cds.Eof(); cds.Next())
                AtualizaStatusEnviado(form, cds["NumeroLinha"].AsString(), cds["CodigoLinha"].AsString(),
                                      cds["CorLinha"].AsString());
        } else {
            form.LogAtividade("Não foi possível fazer o agrupamento das ordens. Retorno " + LogText(answer.Text));
        }
    } catch (const std::exception& e) {
        // A lost database connection (while marking) ends the run.
        if (IsConnectionLost(e)) throw;
        form.LogAtividade(std::string("Não foi possível fazer o agrupamento das ordens. Exceção ") +
                          LogText(e.what()));
        GravaArquivoExcecao(form, "EnviaOrdemAgrupamento_" + ctx.Header.Numero, body, url, e.what(), "POST");
    }
}

bool DeletarPorCodigo(TRunContext& ctx, const std::string& numero) {
    TfmDEZORiv& form = ctx.Form;
    std::string body;
    std::string url = form.sURLReq + PathDelete;
    try {
        body = JsonToText(Json::array({numero}));
        ctx.ResponseText.clear();
        TAnswer answer = DeleteOrder(form, url, body);
        ctx.ResponseText = answer.Text;
        if (answer.Status == 200) {
            form.LogAtividade("OP " + numero + " excluída com sucesso");
            return true;
        }
        form.LogAtividade("Não foi possível excluir a OP " + numero + " Erro " + LogText(answer.Text));
        return false;
    } catch (const std::exception& e) {
        form.LogAtividade("Não foi possível excluir OP " + numero + " Erro " + LogText(e.what()));
        GravaArquivoExcecao(form, "DeletarPorCodigo_" + numero, body, url, e.what(), "DELETE");
        return false;
    }
}

}  // namespace exportjob
