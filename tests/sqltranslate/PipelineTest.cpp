// The whole pipeline per dialect: worked examples, the house-function table,
// refusals, and statements the service itself issues.
#include <gtest/gtest.h>

#include "sqltranslate/Passes.h"
#include "sqltranslate/SqlTranslate.h"

using sqltranslate::ETranslateError;
using sqltranslate::TranslateText;

namespace {

// Statement texts as the query holds them: every line ended by CR LF.
std::string L(const std::string& s) { return s + "\r\n"; }

struct Case {
    std::string input;
    std::string fb;   // empty: not checked for this dialect
    std::string pg;
    std::string ora;
};

void Check(const Case& c) {
    if (!c.fb.empty()) {
        EXPECT_EQ(TranslateText(c.input, "FB"), c.fb) << "FB: " << c.input;
    }
    if (!c.pg.empty()) {
        EXPECT_EQ(TranslateText(c.input, "PG"), c.pg) << "PG: " << c.input;
    }
    if (!c.ora.empty()) {
        EXPECT_EQ(TranslateText(c.input, "Ora"), c.ora) << "Ora: " << c.input;
    }
}

std::string Refusal(const std::string& name) {
    return "Função não reconhecida.\r\n\r\n" + name + "\r\n\r\nImpossível continuar.";
}

void ExpectRefused(const std::string& input, const std::string& dialect, const std::string& name) {
    try {
        std::string out = TranslateText(input, dialect);
        ADD_FAILURE() << dialect << " accepted " << input << " as " << out;
    } catch (const ETranslateError& e) {
        EXPECT_EQ(e.what(), Refusal(name)) << dialect << ": " << input;
    }
}

}  // namespace

TEST(TranslateText, WorkedExamples) {
    const std::string mb = L("SELECT UDF_MINUTESBETWEEN(P.FIM, P.INICIO) FROM P");
    const Case cases[] = {
        {mb, L("SELECT ABS(TRUNC((P.FIM- P.INICIO) / 60)) FROM P"),
         L("SELECT ABS(TRUNC(EXTRACT(EPOCH FROM P.FIM -  P.INICIO) / 60))  FROM P"),
         L("SELECT ABS(TRUNC((CAST(P.FIM AS DATE)-CAST( P.INICIO AS DATE))*1440)) FROM P")},
        {L("SELECT UDF_NVL(SUM(P.QTDE)) FROM P"), "", L("SELECT COALESCE(SUM(P.QTDE),0) FROM P"),
         L("SELECT NVL(SUM(P.QTDE),0) FROM P")},
        {L("SELECT 1 FROM P WHERE POSITION ('A', P.NOME) > 0"), L("SELECT 1 FROM P WHERE POSITION ('A', P.NOME) > 0"),
         L("SELECT 1 FROM P WHERE POSITION('A' IN  P.NOME) > 0"), L("SELECT 1 FROM P WHERE INSTR( P.NOME,'A') > 0")},
        {L("SELECT MAX(ORDEM) AS ORDEM FROM X WHERE DT_MVTO > CURRENT_DATE-30"),
         L("SELECT MAX(ORDEM) AS ORDEM FROM X WHERE DT_MVTO > CURRENT_DATE-30"),
         L("SELECT MAX(ORDEM) AS ORDEM FROM X WHERE DT_MVTO > CURRENT_DATE-30"),
         L("SELECT MAX(ORDEM)  ORDEM FROM X WHERE DT_MVTO > sysdate-30")},
        {L("INSERT INTO T (A, B, C) VALUES (1, CURRENT_DATE , CURRENT_TIME , CURRENT_TIMESTAMP)"), "", "",
         L("INSERT INTO T (A, B, C) VALUES (1, sysdate , current_timestamp , current_timestamp)")},
        // no house element: Firebird gets it back, DESCENDING aside
        {L("SELECT A FROM T ORDER BY A DESCENDING, B descending"), L("SELECT A FROM T ORDER BY A DESC, B DESC"),
         L("SELECT A FROM T ORDER BY A DESC, B DESC"), L("SELECT A FROM T ORDER BY A DESC, B DESC")},
        {"", "", "", ""},
    };
    for (const auto& c : cases) Check(c);
    for (const char* d : {"FB", "PG", "Ora"}) EXPECT_EQ(TranslateText("", d), "");
}

TEST(TranslateText, HouseFunctionTable) {
    const Case cases[] = {
        {L("SELECT UDF_LEN(A), udf_trim(B), UDF_REPLACE(C, 'x', 'y'), UDF_TRUNC(D), UDF_UPPER(E), UDF_ROUNDDEC(F, 2), "
           "UDF_STRIP(G, ' ', '') FROM T"),
         L("SELECT CHAR_LENGTH(A), TRIM(B), REPLACE(C, 'x', 'y'), TRUNC(D), UPPER(E), ROUND(F, 2), REPLACE(G, ' ', '') "
           "FROM T"),
         L("SELECT CHAR_LENGTH(A), TRIM(B), REPLACE(C, 'x', 'y'), TRUNC(D), UPPER(E), ROUND(F, 2), REPLACE(G, ' ', '') "
           "FROM T"),
         L("SELECT length(A), TRIM(B), REPLACE(C, 'x', 'y'), TRUNC(D), UPPER(E), ROUND(F, 2), REPLACE(G, ' ', '') "
           "FROM T")},
        {L("SELECT UDF_DAY(D), UDF_MONTH(D), UDF_YEAR(D) FROM T"),
         L("SELECT EXTRACT(DAY FROM D), EXTRACT(MONTH FROM D), EXTRACT(YEAR FROM D) FROM T"),
         L("SELECT EXTRACT(DAY FROM D), EXTRACT(MONTH FROM D), EXTRACT(YEAR FROM D) FROM T"),
         L("SELECT EXTRACT(DAY FROM D), EXTRACT(MONTH FROM D), EXTRACT(YEAR FROM D) FROM T")},
        {L("SELECT UDF_HOUR(P.INICIO), UDF_MINUTE(P.INICIO) FROM P"),
         L("SELECT EXTRACT(HOUR FROM P.INICIO), EXTRACT(MINUTE FROM P.INICIO) FROM P"),
         L("SELECT (TO_CHAR((P.INICIO),'HH24')), (TO_CHAR((P.INICIO),'MI')) FROM P"),
         L("SELECT (TO_CHAR((P.INICIO),'HH24')), (TO_CHAR((P.INICIO),'MI')) FROM P")},
        {L("SELECT UDF_DAYNAME(D) FROM T"), "", L("SELECT (TO_CHAR((D),'DAY')) FROM T"),
         L("SELECT (TO_CHAR((D),'DAY')) FROM T")},
        {L("SELECT udf_copy(A, 1, 3) FROM T"), "", L("SELECT SUBSTR(A, 1, 3) FROM T"), L("SELECT substr(A, 1, 3) FROM T")},
        {L("SELECT UDF_DAYSPAN(A, B), UDF_WEEKDAY(D) FROM T"),
         L("SELECT ABS(CAST(A- B AS INTEGER)), EXTRACT(WEEKDAY FROM D) FROM T"),
         L("SELECT ABS(CAST(A- B AS INTEGER)), CAST(TO_CHAR(D, 'D') AS INTEGER)-1 FROM T"),
         L("SELECT ABS(CAST(A- B AS INTEGER)), CAST(TO_CHAR(D, 'D') AS INTEGER)-1 FROM T")},
        {L("SELECT ASCII_CHAR(65), SUBSTRING(A FROM 1 FOR 2) FROM T"), L("SELECT ASCII_CHAR(65), SUBSTRING(A FROM 1 FOR 2) FROM T"),
         L("SELECT CHR(65), SUBSTR(A,1,2) FROM T"), L("SELECT CHR(65), SUBSTR(A,1,2) FROM T")},
        {L("SELECT COALESCE(A, 0), CHAR_LENGTH(B) FROM T"), L("SELECT COALESCE(A, 0), CHAR_LENGTH(B) FROM T"),
         L("SELECT COALESCE(A, 0), CHAR_LENGTH(B) FROM T"), L("SELECT nvl(A, 0), length(B) FROM T")},
        // UDF_NVL's argument keeps its own nested calls
        {L("SELECT UDF_NVL(MAX(COALESCE(A, B))) FROM T"), "", L("SELECT COALESCE(MAX(COALESCE(A, B)),0) FROM T"),
         L("SELECT NVL(MAX(nvl(A, B)),0) FROM T")},
    };
    for (const auto& c : cases) Check(c);
}

TEST(TranslateText, MinutesBetweenEdgeCases) {
    const Case cases[] = {
        // two calls: both rewritten
        {L("SELECT UDF_MINUTESBETWEEN(A,B) + udf_minutesbetween(C,D) FROM T"),
         L("SELECT ABS(TRUNC((A-B) / 60)) + ABS(TRUNC((C-D) / 60)) FROM T"),
         L("SELECT ABS(TRUNC(EXTRACT(EPOCH FROM A - B) / 60))  + ABS(TRUNC(EXTRACT(EPOCH FROM C - D) / 60))  FROM T"),
         L("SELECT ABS(TRUNC((CAST(A AS DATE)-CAST(B AS DATE))*1440)) + ABS(TRUNC((CAST(C AS DATE)-CAST(D AS DATE))*1440)) "
           "FROM T")},
        // a nested call as first argument is split at its own comma
        {L("SELECT UDF_MINUTESBETWEEN(F(A,B),C) FROM T"), L("SELECT ABS(TRUNC((F(A-B),C) / 60)) FROM T"), "", ""},
        // a first argument that begins with "(" ends the call early
        {L("SELECT UDF_MINUTESBETWEEN((A),B) FROM T"), L("SELECT ABS(TRUNC(((A)-) / 60)),B) FROM T"), "", ""},
    };
    for (const auto& c : cases) Check(c);
}

TEST(TranslateText, PositionForms) {
    const Case cases[] = {
        {L("WHERE POSITION('A' IN P.NOME) > 0"), "", L("WHERE POSITION('A' IN P.NOME) > 0"),
         L("WHERE INSTR(P.NOME,'A') > 0")},
        {L("WHERE position( 'A'  in  P.NOME ) > 0"), "", L("WHERE POSITION( 'A'  IN  P.NOME ) > 0"),
         L("WHERE INSTR( P.NOME , 'A' ) > 0")},
        // a later comma anywhere turns the IN form into the comma form
        {L("SELECT POSITION('A' IN B), C FROM T"), "", L("SELECT POSITION('A' IN B) IN ), C FROM T"),
         L("SELECT INSTR(,'A' IN B)), C FROM T")},
        {L("WHERE POSITION(A, B) > 0 AND POSITION(C, D) > 0"), "",
         L("WHERE POSITION(A IN  B) > 0 AND POSITION(C IN  D) > 0"), L("WHERE INSTR( B,A) > 0 AND INSTR( D,C) > 0")},
    };
    for (const auto& c : cases) Check(c);
}

TEST(TranslateText, RefusesLeftoverHouseFunctions) {
    struct Refused { std::string input; std::string dialect; std::string name; } cases[] = {
        {L("SELECT UDF_NVL(A), UDF_NVL(B) FROM T"), "Ora", "UDF_NVL"},
        {L("SELECT UDF_NVL(A), UDF_NVL(B) FROM T"), "PG", "UDF_NVL"},
        {L("SELECT UDF_NVL(A) FROM T"), "FB", "UDF_NVL"},
        {L("SELECT UDF_DAYNAME(A) FROM T"), "FB", "UDF_DAYNAME"},
        {L("SELECT udf_copy(A, 1, 2) FROM T"), "FB", "udf_copy"},
        {L("SELECT UDF_HOUR(A), UDF_HOUR(B) FROM T"), "PG", "UDF_HOUR"},
        {L("SELECT UDF_MINUTE(A), UDF_MINUTE(B) FROM T"), "Ora", "UDF_MINUTE"},
        {L("SELECT UDF_DAY (A) FROM T"), "FB", "UDF_DAY "},  // blank before the parenthesis
        {L("SELECT UDF_FOO FROM T"), "PG", ""},               // no "(" after the name
        {L("SELECT UDF_WHATEVER(1) FROM T"), "SQLite", "UDF_WHATEVER"},
    };
    for (const auto& c : cases) ExpectRefused(c.input, c.dialect, c.name);
}

TEST(TranslateText, OtherDialectGetsOnlyTheSharedStages) {
    EXPECT_EQ(TranslateText(L("SELECT LIST[A, ',', A], FIRST[(SELECT B FROM U) X, 'I', 3], HORA[X,0], WEEK_NUMBER[D], "
                              "SUBSTRING(A FROM 1 FOR 2) FROM T"),
                            "SQLite"),
              L("SELECT , SELECT B FROM U, X, TO_CHAR(D,'IW'), SUBSTR(A,1,2) FROM T"));
}

TEST(TranslateText, OracleSelectListNeedsTheCatalogue) {
    const std::string sql = L("SELECT DISTINCT P.*, G.NOME FROM PRODUTO P INNER JOIN GRUPO G ON G.COD = P.GRUPO");
    std::vector<std::string> seen;
    auto catalogue = [&](const std::string& s) {
        seen.push_back(s);
        return std::vector<std::string>{"COD", "NOME", "GRUPO"};
    };
    EXPECT_EQ(TranslateText(sql, "Ora", catalogue),
              L("SELECT DISTINCT P.COD, P.NOME, P.GRUPO , G.NOME FROM PRODUTO P INNER JOIN GRUPO G ON G.COD = P.GRUPO"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].find("WHERE t.TABLE_NAME = 'PRODUTO'"), std::string::npos);
    EXPECT_THROW(TranslateText(sql, "Ora"), ETranslateError);
    // Firebird and PostgreSQL never look at the catalogue
    EXPECT_EQ(TranslateText(sql, "PG"), sql);
    EXPECT_EQ(TranslateText(sql, "FB"), sql);
}

// Statements the service issues, as its jobs build them.
TEST(TranslateText, ServiceStatements) {
    const std::string selection = L(
        "SELECT TECEL.NUMERO, TECEL.MAQUINA, TECEL.DT_INICIO, TECEL.RPM, TECEL_ITEN.CODIGO, MATERIAL.DESCRICAO AS "
        "DESC_MAT,\r\n"
        "TECEL_ITEN.QTDE, MATERIAL.UNIDADE, MATERIAL.KG_HORA, TECEL_ITEN.COR,\r\n"
        "TECEL_ITEN.ENVIADO, TECEL.FICHA, MATERIAL.GRAMATURA, TECEL.TPONTO, TECEL_ITEN.CICLOS, MATERIAL.PESO,\r\n"
        "PED.ENTREGA, PED.ART_CLI\r\n"
        "FROM TECEL_001 TECEL\r\n"
        "INNER JOIN TECEL_ITEN_001 TECEL_ITEN ON (TECEL.NUMERO = TECEL_ITEN.NUMERO)\r\n"
        "LEFT JOIN MATERIAL_001 MATERIAL ON (TECEL_ITEN.CODIGO = MATERIAL.CODIGO)\r\n"
        "LEFT JOIN PEDIDO_001 PED ON (TECEL.FICHA = PED.NUMERO)\r\n"
        "WHERE COALESCE(TECEL_ITEN.ENVIADO,'') = ''\r\n"
        "ORDER BY TECEL.NUMERO, TECEL_ITEN.CODIGO, TECEL_ITEN.COR");
    std::string selectionOra = selection;
    selectionOra.replace(selectionOra.find("COALESCE(TECEL_ITEN.ENVIADO,'') = ''"),
                         std::string("COALESCE(TECEL_ITEN.ENVIADO,'') = ''").size(), "nvl(TECEL_ITEN.ENVIADO,'')  IS NULL ");

    const std::string sent = L("UPDATE TECEL_ITEN_001\r\nSET ENVIADO = 'S'\r\nWHERE NUMERO = '000123'\r\n"
                               "AND CODIGO = 'TEC''01'\r\nAND COR = '002'");

    const std::string nextOrder = L("SELECT MAX(ORDEM) AS ORDEM FROM PA_MOV_001\r\nWHERE DT_MVTO > CURRENT_DATE-30");

    const std::string movement = L(
        "INSERT INTO PA_MOV_001 \r\n"
        "(CODIGO,TIP_BAI,COR,QTDE,LOTE,DEPOSITO,OPERACAO,NUM_DOCTO,DESCRICAO,DT_MVTO,CODFUN,ORDEM,TAMANHO,TIPO,CUSTO,"
        "TURNO,CODCLI,PRECO,TP_MOV)\r\nVALUES\r\n('P100'\r\n,'S'\r\n,'0'\r\n,2.5\r\n,'L1'\r\n,'01'\r\n,'S'\r\n,'4711'\r\n,"
        "'VELDOR'\r\n,'03/05/2024'\r\n,''\r\n,7\r\n,0\r\n,'1'\r\n,1.25\r\n,'1'\r\n,'C1'\r\n,3\r\n,'BO')");
    std::string movementPg = movement;
    movementPg.replace(movementPg.find("'03/05/2024'"), 12, "'2024-3-5'");

    const std::string raport = L(
        "SELECT DISTINCT RAPORT.MATERIAL, RAPORT.CODIGO, RAPORT.AGRUPADOR, RAPORT.DESPERDICIO,\r\n"
        "TIPO_APL.DESCRICAO AS DESC_AGRUPADOR,\r\n"
        "(SELECT SUM(CADRAPORT.ALIMENTADORES)\r\n"
        "FROM CADRAPORT_001 CADRAPORT\r\n"
        "WHERE CADRAPORT.CODIGO = RAPORT.CODIGO\r\n"
        "AND  CADRAPORT.MILIMETROS = (SELECT SUM(CADRAPORT.MILIMETROS)\r\n"
        "                             FROM CADRAPORT_001 CADRAPORT\r\n"
        "                             WHERE CADRAPORT.CODIGO = RAPORT.CODIGO\r\n"
        "AND RAPORT.AGRUPADOR = 'U')) AS CARRETEIS\r\n"
        "FROM TECEL_ITEN_001 TECI\r\n"
        "LEFT JOIN RAPORT_001 RAPORT ON (RAPORT.MATERIAL = TECI.CODIGO AND TECI.COR = RAPORT.COR)\r\n"
        "LEFT JOIN TIPO_APL_001 TIPO_APL ON (TIPO_APL.CODIGO = RAPORT.AGRUPADOR)\r\n"
        "WHERE TECI.NUMERO = '000123'\r\nAND RAPORT.AGRUPADOR = 'U'\r\nAND RAPORT.DESPERDICIO > 0");
    std::string raportOra = raport;
    raportOra.replace(raportOra.find(")) AS CARRETEIS"), 15, "))  CARRETEIS");

    const std::string times = L(
        "SELECT OF_TEMPO.*, CADFLUXO.PRECO \r\nFROM OF_TEMPO_001 OF_TEMPO \r\n"
        "LEFT JOIN CADFLUXO_001 CADFLUXO ON (OF_TEMPO.MAQUINA = CADFLUXO.CODIGO)\r\nWHERE OF_TEMPO.NUMERO = '4711'");

    const std::string master = L(
        "SELECT PR.CUSTO, PR.PRECO, MAX(PA.COMPOSICAO) AS COMPOSICAO, MAX(PA.BARRA) AS BARRA, \r\n"
        "MAX(PA.BARRA28) AS BARRA28, MAX(PA.BARRACLI) AS BARRACLI, MAX(PA.ORDEM) AS ORDEM \r\n"
        "FROM PRODUTO_001 PR \r\nINNER JOIN PA_ITEN_001 PA ON (PR.CODIGO = PA.CODIGO)\r\n"
        "WHERE PR.CODIGO = 'P100'\r\nAND PA.COR = '0'\r\nAND PA.TAM = '0'\r\nGROUP BY PR.CUSTO, PR.PRECO ");
    const std::string masterOra = L(
        "SELECT PR.CUSTO, PR.PRECO, MAX(PA.COMPOSICAO)  COMPOSICAO, MAX(PA.BARRA)  BARRA, \r\n"
        "MAX(PA.BARRA28)  BARRA28, MAX(PA.BARRACLI)  BARRACLI, MAX(PA.ORDEM)  ORDEM \r\n"
        "FROM PRODUTO_001 PR \r\nINNER JOIN PA_ITEN_001 PA ON (PR.CODIGO = PA.CODIGO)\r\n"
        "WHERE PR.CODIGO = 'P100'\r\nAND PA.COR = '0'\r\nAND PA.TAM = '0'\r\nGROUP BY PR.CUSTO, PR.PRECO ");

    const Case cases[] = {
        {selection, selection, selection, selectionOra},
        // the doubled quote of TEC''01 belongs to the value: no pass sees it
        {sent, sent, sent, sent},
        {nextOrder, nextOrder, nextOrder,
         L("SELECT MAX(ORDEM)  ORDEM FROM PA_MOV_001\r\nWHERE DT_MVTO > sysdate-30")},
        {movement, movement, movementPg, ""},
        {raport, raport, raport, raportOra},
        {times, times, times, times},
        {master, master, master, masterOra},
    };
    for (const auto& c : cases) Check(c);
}

TEST(TranslateText, MalformedCallsThatCopyTextStayBounded) {
    // Minutes-between calls without their comma take their first argument
    // from far behind the call, copying the calls that follow again and again.
    std::string in = "SELECT ";
    for (int i = 0; i < 60; ++i) in += "UDF_MINUTESBETWEEN(A) X ";
    in += ", B FROM T\r\n";
    for (const char* d : {"FB", "PG", "Ora"}) {
        const std::string out = [&] {
            try {
                return sqltranslate::TranslateText(in, d);
            } catch (const ETranslateError& e) {
                return std::string(e.what());
            }
        }();
        EXPECT_LE(out.size(), sqltranslate::BracketSizeLimit(in.size()) * 8) << d;
    }
    // POSITION(a IN b) followed by a comma takes the comma form and copies
    // the text up to that comma into its first argument.
    std::string pos = "SELECT ";
    for (int i = 0; i < 60; ++i) pos += "POSITION(A IN B) ";
    pos += ", C FROM T\r\n";
    for (const char* d : {"PG", "Ora"}) EXPECT_LE(TranslateText(pos, d).size(), sqltranslate::BracketSizeLimit(pos.size())) << d;
}

// Each refusal has its own type and fault code under ETranslateError, and
// keeps its message.
TEST(TranslateText, RefusalsAreToldApart) {
    struct Case {
        std::string sql, dialect;
        sqltranslate::TTranslateFault fault;
        std::string messageStart;
    };
    const Case cases[] = {
        {L("SELECT UDF_NOPE(A) FROM T"), "FB", sqltranslate::TTranslateFault::UnrecognisedFunction,
         "Função não reconhecida."},
        {L("SELECT HORA[A,talvez] FROM T"), "FB", sqltranslate::TTranslateFault::InvalidHoraFlag,
         "'talvez' is not a valid boolean value"},
        {L("SELECT DISTINCT P.*, G.NOME FROM PRODUTO P INNER JOIN GRUPO G ON G.COD = P.GRUPO"), "Ora", sqltranslate::TTranslateFault::CatalogueUnavailable,
         "Sem conexão com o banco de dados"},
    };
    for (const auto& c : cases) {
        try {
            TranslateText(c.sql, c.dialect);
            ADD_FAILURE() << "accepted " << c.sql;
        } catch (const ETranslateError& e) {
            EXPECT_EQ(e.Fault(), c.fault) << c.sql;
            EXPECT_EQ(std::string(e.what()).rfind(c.messageStart, 0), 0u) << e.what();
            const bool typed =
                (c.fault == sqltranslate::TTranslateFault::UnrecognisedFunction) ==
                    (dynamic_cast<const sqltranslate::EUnrecognisedFunction*>(&e) != nullptr) &&
                (c.fault == sqltranslate::TTranslateFault::InvalidHoraFlag) ==
                    (dynamic_cast<const sqltranslate::EInvalidHoraFlag*>(&e) != nullptr) &&
                (c.fault == sqltranslate::TTranslateFault::CatalogueUnavailable) ==
                    (dynamic_cast<const sqltranslate::ECatalogueUnavailable*>(&e) != nullptr);
            EXPECT_TRUE(typed) << c.sql;
        }
    }
}
