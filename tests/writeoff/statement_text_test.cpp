// Exact texts of the bill-of-materials statement and the movement inserts as
// they reach the Firebird driver, recorded by a session wrapped around the
// real embedded one.
#include <gtest/gtest.h>

#include <ctime>

#include "WriteOffHarness.h"

using writeofftest::Installation;
using writeofftest::RecordingSession;

namespace {

std::string Text(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

std::vector<std::string> StartingWith(const std::vector<std::string>& log, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& s : log)
        if (s.rfind(prefix, 0) == 0) found.push_back(s);
    return found;
}

TEST(StatementTextTest, BillOfMaterialsAndMovementInserts) {
    Installation erp(testsupport::Backend::FBEmbedded);
    std::vector<std::string> log;
    erp.Form().dbKV.SetSessionFactory([&](const std::string& driver, const std::vector<std::string>& params) {
        return std::make_unique<RecordingSession>(kvdriver::OpenSession(driver, params), log);
    });
    erp.DropSample("OF_5001_5002.txt");
    erp.RunOnce();

    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char date[16];
    std::strftime(date, sizeof date, "'%m/%d/%Y'", &t);

    auto bom = StartingWith(log, "SELECT CASE WHEN PCPFT.PESO");
    ASSERT_EQ(bom.size(), 5u);  // one per consumed lot
    EXPECT_EQ(bom[0], Text({
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
        "FROM PCPFT_001 PCPFT ",
        "LEFT JOIN MATERIAL_001 MATERIAL ON (PCPFT.CODIGO2 = MATERIAL.CODIGO AND PCPFT.TIPO = 'M')",
        "LEFT JOIN MAT_ITEN_001 MAT_ITEN ON (MATERIAL.CODIGO = MAT_ITEN.CODIGO)",
        "LEFT JOIN PRODUTO_001 PRODUTO ON (PCPFT.CODIGO2 = PRODUTO.CODIGO AND PCPFT.TIPO = 'P')",
        "LEFT JOIN PA_ITEN_001 PA_ITEN ON (PRODUTO.CODIGO = PA_ITEN.CODIGO)",
        "WHERE PCPFT.CODIGO ='PA-500'",
        "AND PCPFT.TIPO = 'M'",
        "AND MAT_ITEN.CODIGO = 'MP-100'",
        "AND MAT_ITEN.LOTE = 'A12'",
        "AND MAT_ITEN.DEPOSITO = '01'",
        "GROUP BY PCPFT.QTDE, PCPFT.PESO, PCPFT.TIPO, PCPFT.CODIGO2, ",
        "MATERIAL.GRUPO, PRODUTO.GRUPO, MATERIAL.UNIDADE, PRODUTO.UNIDADE,",
        "PRODUTO.CUSTO, MAT_ITEN.COR, PA_ITEN.COR, PA_ITEN.TAM,",
        "MAT_ITEN.LOTE, PA_ITEN.LOTE, PA_ITEN.DEPOSITO, MAT_ITEN.DEPOSITO"}));
    // The product lot takes the product branch of the conditions.
    EXPECT_NE(bom[1].find("WHERE PCPFT.CODIGO ='PA-500'\r\nAND PCPFT.TIPO = 'P'\r\nAND PRODUTO.CODIGO = 'SUB-20'\r\n"
                          "AND PA_ITEN.LOTE = 'B7'\r\nAND PA_ITEN.DEPOSITO = '01'\r\nGROUP BY"),
              std::string::npos)
        << bom[1];

    auto paMov = StartingWith(log, "INSERT INTO PA_MOV_001 ");
    ASSERT_EQ(paMov.size(), 3u);
    EXPECT_EQ(paMov[0], Text({"INSERT INTO PA_MOV_001 ",
                              "(CODIGO,TIP_BAI,COR,QTDE,LOTE,DEPOSITO,OPERACAO,NUM_DOCTO,DESCRICAO,DT_MVTO,CODFUN,"
                              "ORDEM,TAMANHO,TIPO,CUSTO,TURNO,CODCLI,PRECO,TP_MOV)",
                              "VALUES", "('SUB-20'", ",'S'", ",'0'", ",10", ",'B7'", ",'01'", ",'S'", ",'5001'",
                              ",'VELDOR'", std::string(",") + date, ",''", ",42", ",0", ",'1'", ",12", ",'1'",
                              ",'00010'", ",20", ",'BO')"}));
    EXPECT_EQ(paMov[1], Text({"INSERT INTO PA_MOV_001 ",
                              "(CODIGO,TIP_BAI,COR,QTDE,LOTE,DEPOSITO,OPERACAO,NUM_DOCTO,DESCRICAO,DT_MVTO,CODFUN,"
                              "ORDEM,TAMANHO,TIPO,CUSTO,PRECO,TURNO,CODCLI,TP_MOV)",
                              "VALUES", "('PA-500'", ",'E'", ",'0'", ",10", ",'L5001'", ",'02'", ",'E'", ",'5001'",
                              ",'VELDOR'", std::string(",") + date, ",''", ",43", ",'0'", ",'1'", ",67.56", ",150",
                              ",'1'", ",'00010'", ",'BO')"}));

    // The stock update of a product input names the row's size too (both
    // receipts of the sample go into new stock rows).
    auto paIten = StartingWith(log, "UPDATE PA_ITEN_001");
    ASSERT_EQ(paIten.size(), 1u);
    EXPECT_EQ(paIten[0], Text({"UPDATE PA_ITEN_001", "SET QUANTIDADE = QUANTIDADE - 10", "WHERE CODIGO = 'SUB-20'",
                               "AND COR = '0'", "AND DEPOSITO = '01'", "AND LOTE = 'B7'", "AND TAM = '0'"}));

    auto matMov = StartingWith(log, "INSERT INTO MAT_MOV_001");
    ASSERT_EQ(matMov.size(), 4u);
    EXPECT_EQ(matMov[1], Text({"INSERT INTO MAT_MOV_001",
                               "(NUM_DOCTO, ORDEM, DT_MOVTO, CODCRE, CODIGO, COR, PRECO, CUSTO, ",
                               "DEPOSITO, GRUPO, LOTE, DESCRICAO, OPERACAO, TIPO, TP_MOV, QTDE)", "VALUES",
                               "('5001'", ",3", std::string(",") + date, ",'00010'", ",'MP-200'", ",'0'", ",0.25",
                               ",0.25", ",'01'", ",''", ",'P01'", ",'VELDOR'", ",'S'", ",'S'", ",'EN'", ",80)"}));
}

}  // namespace
