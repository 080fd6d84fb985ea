// The export run: selection of the unsent lines, order by order.
#include "ExportRun.h"

#include "dataaccess/KVErrors.h"
#include "export/Export.h"
#include "RequestExchange.h"
#include "shell/ServiceNotify.h"
#include "shell/SqlHelpers.h"
#include "shell/StopSignals.h"
#include "textutil/Blanks.h"

namespace exportjob {

using shell::QuotedStr;
using shell::TableName;

std::string SelectionSQL() {
    return "SELECT TECEL.NUMERO, TECEL.MAQUINA, TECEL.DT_INICIO, TECEL.RPM, TECEL_ITEN.CODIGO, "
           "MATERIAL.DESCRICAO AS DESC_MAT,\n"
           "TECEL_ITEN.QTDE, MATERIAL.UNIDADE, MATERIAL.KG_HORA, TECEL_ITEN.COR,\n"
           "TECEL_ITEN.ENVIADO, TECEL.FICHA, MATERIAL.GRAMATURA, TECEL.TPONTO, TECEL_ITEN.CICLOS, MATERIAL.PESO,\n"
           "PED.ENTREGA, PED.ART_CLI\n"
           "FROM " + TableName("TECEL") + " TECEL\n"
           "INNER JOIN " + TableName("TECEL_ITEN") + " TECEL_ITEN ON (TECEL.NUMERO = TECEL_ITEN.NUMERO)\n"
           "LEFT JOIN " + TableName("MATERIAL") + " MATERIAL ON (TECEL_ITEN.CODIGO = MATERIAL.CODIGO)\n"
           "LEFT JOIN " + TableName("PEDIDO") + " PED ON (TECEL.FICHA = PED.NUMERO)\n"
           "WHERE COALESCE(TECEL_ITEN.ENVIADO,'') = ''\n"
           "ORDER BY TECEL.NUMERO, TECEL_ITEN.CODIGO, TECEL_ITEN.COR";
}

std::string MarkSentSQL(const std::string& numero, const std::string& codigo, const std::string& cor) {
    return "UPDATE " + TableName("TECEL_ITEN") + "\n"
           "SET ENVIADO = 'S'\n"
           "WHERE NUMERO = " + QuotedStr(numero) + "\n"
           "AND CODIGO = " + QuotedStr(codigo) + "\n"
           "AND COR = " + QuotedStr(cor);
}

void SetLines(TKVQuery& query, const std::string& text) {
    query.SQL.Clear();
    size_t start = 0;
    while (true) {
        size_t end = text.find('\n', start);
        query.SQL.Add(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

namespace {

void StartOrder(TRunContext& ctx) {
    ctx.Header = ctx.Line;
    ctx.PiecesTotal = 0;
    ctx.CyclesTotal = 0;
    ctx.Form.CDSOrdTecelagem.EmptyDataSet();
    DeletarPorCodigo(ctx, ctx.Header.Numero);
}

void FinishOrder(TRunContext& ctx) {
    if (EnviaOrdemPrincipal(ctx)) EnviaOrdemAgrupamento(ctx);
}

}  // namespace

TOrderLine ReadOrderLine(TKVQuery& q) {
    TOrderLine l;
    l.Numero = q.FieldByName("NUMERO").AsString();
    l.Codigo = q.FieldByName("CODIGO").AsString();
    l.Cor = q.FieldByName("COR").AsString();
    l.DescMat = q.FieldByName("DESC_MAT").AsString();
    l.Qtde = q.FieldByName("QTDE").AsFloat();
    l.Peso = q.FieldByName("PESO").AsFloat();
    l.Unidade = q.FieldByName("UNIDADE").AsString();
    l.KgHora = q.FieldByName("KG_HORA").AsFloat();
    l.Rpm = q.FieldByName("RPM").AsString();
    l.Maquina = q.FieldByName("MAQUINA").AsString();
    l.Ciclos = static_cast<int32_t>(q.FieldByName("CICLOS").AsInteger());
    l.Ficha = q.FieldByName("FICHA").AsString();
    l.Entrega = q.FieldByName("ENTREGA").IsNull() ? 0 : q.FieldByName("ENTREGA").AsDateTime();
    l.ArtCli = q.FieldByName("ART_CLI").AsString();
    return l;
}

void EnviaOPs(TfmDEZORiv& form) {
    TKVQuery selection;
    selection.SetDatabase(&form.dbKV);
    try {
        // A stop asked for during the login: no statement, no request.
        if (shell::StopRequested()) throw shell::TStopRequested{};
        SetOrderHeaders(form);
        SetLines(selection, SelectionSQL());
        selection.Open();
        if (!selection.IsEmpty()) {
            TRunContext ctx(form);
            selection.First();
            ctx.Line = ReadOrderLine(selection);
            StartOrder(ctx);
            while (!selection.Eof()) {
                shell::ServiceProgress();
                ctx.Line = ReadOrderLine(selection);
                if (ctx.Line.Numero != ctx.Header.Numero) {
                    FinishOrder(ctx);
                    StartOrder(ctx);
                }
                EnviaOrdem(ctx);
                ctx.PiecesTotal += Divide(ctx.Line.Qtde, ctx.Line.Peso);
                // 32-bit sum that wraps like the ERP's integer arithmetic.
                ctx.CyclesTotal = static_cast<int32_t>(static_cast<uint32_t>(ctx.CyclesTotal) +
                                                       static_cast<uint32_t>(ctx.Line.Ciclos));
                selection.Next();
            }
            if (!textutil::TrimBlanksView(ctx.Header.Codigo).empty()) FinishOrder(ctx);
        }
    } catch (const shell::TStopRequested&) {
        // The request in progress was aborted (or none was sent): what it
        // would have marked stays unsent, and its order goes again.
        form.LogAtividade(MsgEnvioInterrompido);
    } catch (const std::exception& e) {
        // Also a lost database connection, from any step: no further request
        // goes out, and the next run connects again.
        form.LogAtividade(std::string("Não foi possível integrar as OPs. Erro ") + LogText(e.what()));
    }
    try {
        selection.Close();
    } catch (...) {
    }
}

void AtualizaStatusEnviado(TfmDEZORiv& form, const std::string& numero, const std::string& codigo,
                           const std::string& cor) {
    TKVQuery query;
    query.SetDatabase(&form.dbKV);
    try {
        SetLines(query, MarkSentSQL(numero, codigo, cor));
        query.ExecSQL();
        form.KVTransaction.CommitRetaining();
        form.LogAtividade("Atualizado o status para Enviado na Ordem " + numero + " Produto " + codigo + " Cor " +
                          cor);
    } catch (const std::exception& e) {
        form.LogAtividade("Não foi possível atualizar o status para Enviado no Produto " + codigo + " Cor " + cor +
                          " Numero " + numero);
        // Without the database no later line can be marked either: the run
        // ends here, and the lines left unmarked go again with their order
        // at the next run.
        if (IsConnectionLost(e)) throw;
    }
    try {
        if (query.Active()) query.Close();
    } catch (...) {
    }
}

}  // namespace exportjob
