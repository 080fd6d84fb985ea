// Material requirements of one consumed lot: the technical sheet of the
// ordered product joined with the stock of the lot in the input warehouse.
#include "shell/SqlHelpers.h"
#include "WriteOffSteps.h"

namespace writeoff {

void BuscaEstoque(TfmDEZORiv& fm, const ConsumedLot& lot) {
    using shell::QuotedStr;
    using shell::TableName;

    const std::string of = fm.TbOF["OF"].AsString();
    const double quantity = fm.TbOF["QtdeBai"].AsFloat();
    const std::string warehouse = QuotedStr(fm.TbOF["DepositoSaida"].AsString());
    const std::string code = QuotedStr(lot.Codigo);
    const std::string lotText = QuotedStr(lot.Lote);
    const bool material = lot.Tipo == "M";

    TKVQuery& q = fm.QryBusca;
    q.Close();
    std::vector<std::string> lines = {
        "SELECT CASE WHEN PCPFT.PESO > 0 THEN (PCPFT.QTDE * PCPFT.PESO) ELSE PCPFT.QTDE END AS QTDE, ",
        "PCPFT.TIPO, PCPFT.CODIGO2, ",
        "MATERIAL.GRUPO AS GRUPO_MA,",
        "PRODUTO.GRUPO AS GRUPO_PA,",
        "MATERIAL.UNIDADE AS UNI_MAT, PRODUTO.UNIDADE AS UNI_PRO, ",
        "MAX(MAT_ITEN.PRECO_MED) AS CUSTO_MAT, PRODUTO.CUSTO, ",
        "MAT_ITEN.COR, PA_ITEN.COR AS COR_P, PA_ITEN.TAM,",
        "MAT_ITEN.LOTE, PA_ITEN.LOTE AS LOTE_P,",
        "PA_ITEN.DEPOSITO AS DEPOSITO_P, MAT_ITEN.DEPOSITO, ",
        "MAX(PA_ITEN.QUANTIDADE) AS QTDE_P, MAX(MAT_ITEN.QTDE) AS QTDE_M ",
        "FROM " + TableName("PCPFT") + " PCPFT ",
        "LEFT JOIN " + TableName("MATERIAL") + " MATERIAL ON (PCPFT.CODIGO2 = MATERIAL.CODIGO AND PCPFT.TIPO = " +
            QuotedStr("M") + ")",
        "LEFT JOIN " + TableName("MAT_ITEN") + " MAT_ITEN ON (MATERIAL.CODIGO = MAT_ITEN.CODIGO)",
        "LEFT JOIN " + TableName("PRODUTO") + " PRODUTO ON (PCPFT.CODIGO2 = PRODUTO.CODIGO AND PCPFT.TIPO = " +
            QuotedStr("P") + ")",
        "LEFT JOIN " + TableName("PA_ITEN") + " PA_ITEN ON (PRODUTO.CODIGO = PA_ITEN.CODIGO)",
        "WHERE PCPFT.CODIGO =" + QuotedStr(fm.TbOF["Produto"].AsString()),
    };
    if (material) {
        lines.push_back("AND PCPFT.TIPO = " + QuotedStr("M"));
        lines.push_back("AND MAT_ITEN.CODIGO = " + code);
        lines.push_back("AND MAT_ITEN.LOTE = " + lotText);
        lines.push_back("AND MAT_ITEN.DEPOSITO = " + warehouse);
    } else {
        lines.push_back("AND PCPFT.TIPO = " + QuotedStr("P"));
        lines.push_back("AND PRODUTO.CODIGO = " + code);
        lines.push_back("AND PA_ITEN.LOTE = " + lotText);
        lines.push_back("AND PA_ITEN.DEPOSITO = " + warehouse);
    }
    lines.push_back("GROUP BY PCPFT.QTDE, PCPFT.PESO, PCPFT.TIPO, PCPFT.CODIGO2, ");
    lines.push_back("MATERIAL.GRUPO, PRODUTO.GRUPO, MATERIAL.UNIDADE, PRODUTO.UNIDADE,");
    lines.push_back("PRODUTO.CUSTO, MAT_ITEN.COR, PA_ITEN.COR, PA_ITEN.TAM,");
    lines.push_back("MAT_ITEN.LOTE, PA_ITEN.LOTE, PA_ITEN.DEPOSITO, MAT_ITEN.DEPOSITO");
    SetLines(q, lines);
    q.Open();

    if (q.IsEmpty()) {
        q.Close();
        fm.LinhaMemo1("OF NAO ENCONTRADA: " + of);
        return;
    }
    // Stock values are stored uncut: a cut lot or code would name no stock
    // row, or another one (TValueTooLong refuses the order instead).
    for (q.First(); !q.Eof(); q.Next()) {
        const std::string tipo = q.FieldByName("TIPO").AsString();
        const bool isMaterial = tipo == "M";
        fm.TbEstoque.Append();
        SetText(fm.TbEstoque, "Tipo", tipo);
        SetText(fm.TbEstoque, "Codigo", q.FieldByName("CODIGO2").AsString());
        fm.TbEstoque["Consumo"] = quantity * q.FieldByName("QTDE").AsFloat();
        fm.TbEstoque["Estoque"] = q.FieldByName(isMaterial ? "QTDE_M" : "QTDE_P").AsFloat();
        fm.TbEstoque["Custo"] = q.FieldByName(isMaterial ? "CUSTO_MAT" : "CUSTO").AsFloat();
        SetText(fm.TbEstoque, "Unidade", q.FieldByName(isMaterial ? "UNI_MAT" : "UNI_PRO").AsString());
        SetText(fm.TbEstoque, "Cor", q.FieldByName(isMaterial ? "COR" : "COR_P").AsString());
        SetText(fm.TbEstoque, "Tam", isMaterial ? std::string("0") : q.FieldByName("TAM").AsString());
        SetText(fm.TbEstoque, "Lote", q.FieldByName(isMaterial ? "LOTE" : "LOTE_P").AsString());
        SetText(fm.TbEstoque, "Deposito", q.FieldByName(isMaterial ? "DEPOSITO" : "DEPOSITO_P").AsString());
        fm.TbEstoque.Post();
    }
    q.Close();
}

}  // namespace writeoff
