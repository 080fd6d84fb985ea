// Receipt of the finished product: its stock row grows (or is created), a
// receipt movement is written, and the product master gets the order's stock
// location and a new weighted average cost.
#include "shell/SqlHelpers.h"
#include "shell/NumberText.h"
#include "textutil/Blanks.h"
#include "WriteOffSteps.h"

namespace writeoff {
namespace {

using shell::NumberText;
using shell::QuotedStr;
using shell::TableName;

using textutil::TrimBlanks;

}  // namespace

double CustoMedio(TfmDEZORiv& fm, const std::string& produto, double n, double u) {
    if (fm.TbEstoque["Custo"].AsFloat() <= 0) return 0;

    // Unit factor from the unit of the last consumed row.
    std::string productUnit;
    shell::LookupValue(fm.dbKV, "PRODUTO", "CODIGO", "UNIDADE", QuotedStr(fm.TbEstoque["Codigo"].AsString()),
                       productUnit);
    productUnit = TrimBlanks(productUnit);
    const std::string rowUnit = TrimBlanks(fm.TbEstoque["Unidade"].AsString());
    double factor = 0;
    if (!rowUnit.empty() && rowUnit != productUnit) {
        shell::TLookupValue qtde{0.0, TKVFieldType::Float};
        shell::LookupValue(fm.dbKV, "UNIDADE", "UNIDADE", "QTDE", QuotedStr(fm.TbEstoque["Unidade"].AsString()),
                           qtde);
        factor = qtde.AsFloat();
    }
    if (factor == 0) factor = 1;

    const double e = n * factor;
    const double v = e * u;

    TKVQuery q;
    q.SetDatabase(&fm.dbKV);
    SetLines(q, {"SELECT SUM(PA_ITEN.QUANTIDADE) AS QTDE, MAX(PRODUTO.CUSTO) AS CUSTO ",
                 "FROM " + TableName("PRODUTO") + " PRODUTO ",
                 "INNER JOIN " + TableName("PA_ITEN") + " PA_ITEN ON (PA_ITEN.CODIGO = PRODUTO.CODIGO)",
                 "WHERE PRODUTO.CODIGO = " + QuotedStr(produto)});
    q.Open();
    double stock = 0, cost = 0;
    if (!q.IsEmpty()) {
        stock = q.FieldByName("QTDE").AsFloat();
        cost = q.FieldByName("CUSTO").AsFloat();
    }
    q.Close();

    if (stock <= 0 || cost <= 0) return e > 0 ? v / e : 0;
    return (stock * cost + v) / (stock + e);
}

void EntradaProduto(TfmDEZORiv& fm, const std::string& dateText) {
    const std::string produto = fm.TbOF["Produto"].AsString();
    const std::string qProduto = QuotedStr(produto);
    const double quantity = fm.TbOF["QtdeBai"].AsFloat();
    const std::string loteText = fm.TbOF["Lote"].AsString();
    const std::string lote = QuotedStr(loteText.empty() ? "000000" : loteText);
    const std::string depEntrada = QuotedStr(fm.TbOF["DepositoEntrada"].AsString());

    double avg = CustoMedio(fm, produto, quantity, fm.TbOF["CustoProduto"].AsFloat());

    std::string barra, barra28, barraCli, composicao;
    long long ordem = 0;
    double precoVenda = 0;

    TKVQuery q;
    q.SetDatabase(&fm.dbKV);
    SetLines(q, {"SELECT PR.CUSTO, PR.PRECO, MAX(PA.COMPOSICAO) AS COMPOSICAO, MAX(PA.BARRA) AS BARRA, ",
                 "MAX(PA.BARRA28) AS BARRA28, MAX(PA.BARRACLI) AS BARRACLI, MAX(PA.ORDEM) AS ORDEM ",
                 "FROM " + TableName("PRODUTO") + " PR ",
                 "INNER JOIN " + TableName("PA_ITEN") + " PA ON (PR.CODIGO = PA.CODIGO)",
                 "WHERE PR.CODIGO = " + qProduto, "AND PA.COR = " + QuotedStr("0"),
                 "AND PA.TAM = " + QuotedStr("0"), "GROUP BY PR.CUSTO, PR.PRECO "});
    q.Open();
    if (!q.IsEmpty()) {
        q.First();
        barra = q.FieldByName("BARRA").AsString();
        barra28 = q.FieldByName("BARRA28").AsString();
        barraCli = q.FieldByName("BARRACLI").AsString();
        ordem = q.FieldByName("ORDEM").AsInteger();
        if (ordem < 0) ordem = 0;
        precoVenda = q.FieldByName("PRECO").AsFloat();
        composicao = q.FieldByName("COMPOSICAO").AsString();
        if (avg == 0) avg = q.FieldByName("CUSTO").AsFloat();
    }
    q.Close();

    SetLines(q, {"SELECT MAX(QTDE_MIN) AS MINIMO FROM " + TableName("PA_ITEN") + " WHERE CODIGO = " + qProduto +
                 " AND COR = " + QuotedStr("0")});
    q.Open();
    const double minimo = q.IsEmpty() ? 0 : q.FieldByName("MINIMO").AsFloat();
    q.Close();

    TKVQuery& u = fm.QryUpdate;
    u.Close();
    // The existence check compares with LIKE, so a lot such as L_1 also
    // "finds" LX1; the UPDATE names the exact row (size "0" included) and,
    // changing none, the row is created as for a lot not in stock.
    bool updated = false;
    if (shell::RecordExistsOrRaise(fm.dbKV, "PA_ITEN", "CODIGO,COR,TAM,DEPOSITO,LOTE",
                            qProduto + "," + QuotedStr("0") + "," + QuotedStr("0") + "," + depEntrada + "," + lote)) {
        SetLines(u, {"UPDATE " + TableName("PA_ITEN"), "SET QUANTIDADE = QUANTIDADE + " + NumberText(quantity),
                     ", BARRA = " + QuotedStr(barra), "WHERE CODIGO = " + qProduto, "AND COR = " + QuotedStr("0"),
                     "AND DEPOSITO = " + depEntrada, "AND LOTE = " + lote, "AND TAM = " + QuotedStr("0")});
        u.ExecSQL();
        updated = OneStockRow(u, "PA_ITEN", "CODIGO " + qProduto + ", COR '0', LOTE " + lote + ", DEPOSITO " + depEntrada +
                                                 ", TAM '0'");
        u.Close();
    }
    if (!updated) {
        std::vector<std::string> lines = {
            "INSERT INTO " + TableName("PA_ITEN") + "(",
            "CODIGO, COR, TAM, TIPO, LOTE, DEPOSITO, BARRA, BARRA28, BARRACLI, QUANTIDADE, ORDEM, COMPOSICAO, QTDE_MIN, ATIVO) VALUES ("};
        const std::vector<std::string> values = {
            qProduto, QuotedStr("0"), QuotedStr("0"), QuotedStr("1"), lote, depEntrada,
            QuotedStr(barra), QuotedStr(barra28), QuotedStr(barraCli), NumberText(quantity),
            std::to_string(ordem), QuotedStr(composicao), NumberText(minimo), QuotedStr("S")};
        for (size_t i = 0; i < values.size(); ++i)
            lines.push_back(values[i] + (i + 1 == values.size() ? ")" : ","));
        SetLines(u, lines);
        u.ExecSQL();
    }

    const int movimento = ProximaOrdem(fm);
    std::vector<std::string> lines = {
        "INSERT INTO " + TableName("PA_MOV") + " ",
        "(CODIGO,TIP_BAI,COR,QTDE,LOTE,DEPOSITO,OPERACAO,NUM_DOCTO,DESCRICAO,DT_MVTO,CODFUN,ORDEM,TAMANHO,TIPO,CUSTO,PRECO,TURNO,CODCLI,TP_MOV)",
        "VALUES"};
    AddValueLines(lines, {qProduto, QuotedStr(fm.TbOF["TpEntrada"].AsString()), QuotedStr("0"), NumberText(quantity),
                          lote, depEntrada, QuotedStr("E"), QuotedStr(fm.TbOF["OF"].AsString()), QuotedStr("VELDOR"),
                          dateText, QuotedStr(""), std::to_string(movimento), QuotedStr("0"), QuotedStr("1"),
                          NumberText(fm.TbOF["CustoProduto"].AsFloat()), NumberText(precoVenda), QuotedStr("1"),
                          QuotedStr(fm.TbOF["Cliente"].AsString()), QuotedStr("BO")});
    u.Close();
    SetLines(u, lines);
    u.ExecSQL();

    TKVQuery& g = fm.QryGrava;
    g.Close();
    SetLines(g, {"UPDATE " + TableName("PRODUTO") + " SET ", "LOCAL = " + QuotedStr(fm.TbOF["Local"].AsString()),
                 ",CUSTO = " + NumberText(avg), "WHERE CODIGO = " + qProduto});
    g.ExecSQL();
}

}  // namespace writeoff
