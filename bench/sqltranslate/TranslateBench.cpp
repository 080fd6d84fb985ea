// Translation speed: a fresh translation and a memo hit, per dialect, for
// statements the service issues and for 1 KB and 4 KB statements, each beside
// the time of a plain copy of the same text (the floor).
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/TKVQuery.h"
#include "sqltranslate/SqlTranslate.h"

namespace {

std::string Lines(std::initializer_list<const char*> lines) {
    std::string s;
    for (const char* l : lines) (s += l) += "\r\n";
    return s;
}

// A statement of the house dialect with a bit of everything, grown with
// filter lines to about `size` bytes.
std::string MixedStatement(size_t size) {
    std::string s = Lines({
        "SELECT DISTINCT P.*, G.NOME AS GRUPO_NOME, COALESCE(SUM(M.QTDE), 0) AS QTDE,",
        "UDF_MINUTESBETWEEN(T.FIM, T.INICIO) AS MINUTOS, UDF_DAYSBETWEEN(T.DATA, '12/25/2024') AS DIAS,",
        "LIST[M.LOTE, ';', M.LOTE] AS LOTES, SUBSTRING(P.NOME FROM 1 FOR 20) AS NOME_CURTO,",
        "UDF_HOUR(T.INICIO) AS HORA_INI, KV_BLOB(P.OBS) AS OBS",
        "FROM PRODUTO_001 P",
        "INNER JOIN GRUPO_001 G ON (G.CODIGO = P.GRUPO)",
        "LEFT JOIN PA_MOV_001 M ON (M.CODIGO = P.CODIGO)",
        "LEFT JOIN OF_TEMPO_001 T ON (T.NUMERO = M.NUM_DOCTO)",
        "WHERE M.DT_MVTO BETWEEN '01/05/2024' AND '12/25/2024 23:59:59'",
        "AND P.OBS <> '' AND POSITION('X', P.NOME) = 0",
    });
    for (int i = 0; s.size() + 120 < size; ++i)
        s += "AND (P.CAMPO" + std::to_string(i) + " = 'VALOR" + std::to_string(i) + "' OR P.CAMPO" +
             std::to_string(i) + " IS NULL)\r\n";
    s += "GROUP BY P.CODIGO, G.NOME, T.FIM, T.INICIO, T.DATA, P.NOME, P.OBS\r\n";
    s += "ORDER BY P.CODIGO DESCENDING\r\n";
    return s;
}

const std::map<std::string, std::string>& Statements() {
    static const std::map<std::string, std::string> all = {
        {"selection", Lines({"SELECT TECEL.NUMERO, TECEL.MAQUINA, TECEL.DT_INICIO, TECEL.RPM, TECEL_ITEN.CODIGO, "
                             "MATERIAL.DESCRICAO AS DESC_MAT,",
                             "TECEL_ITEN.QTDE, MATERIAL.UNIDADE, MATERIAL.KG_HORA, TECEL_ITEN.COR,",
                             "TECEL_ITEN.ENVIADO, TECEL.FICHA, MATERIAL.GRAMATURA, TECEL.TPONTO, TECEL_ITEN.CICLOS, "
                             "MATERIAL.PESO,",
                             "PED.ENTREGA, PED.ART_CLI", "FROM TECEL_001 TECEL",
                             "INNER JOIN TECEL_ITEN_001 TECEL_ITEN ON (TECEL.NUMERO = TECEL_ITEN.NUMERO)",
                             "LEFT JOIN MATERIAL_001 MATERIAL ON (TECEL_ITEN.CODIGO = MATERIAL.CODIGO)",
                             "LEFT JOIN PEDIDO_001 PED ON (TECEL.FICHA = PED.NUMERO)",
                             "WHERE COALESCE(TECEL_ITEN.ENVIADO,'') = ''",
                             "ORDER BY TECEL.NUMERO, TECEL_ITEN.CODIGO, TECEL_ITEN.COR"})},
        {"movement", Lines({"INSERT INTO PA_MOV_001 ",
                            "(CODIGO,TIP_BAI,COR,QTDE,LOTE,DEPOSITO,OPERACAO,NUM_DOCTO,DESCRICAO,DT_MVTO,CODFUN,ORDEM,"
                            "TAMANHO,TIPO,CUSTO,TURNO,CODCLI,PRECO,TP_MOV)",
                            "VALUES", "('P100'", ",'S'", ",'0'", ",2.5", ",'L1'", ",'01'", ",'S'", ",'4711'",
                            ",'VELDOR'", ",'03/05/2024'", ",''", ",7", ",0", ",'1'", ",1.25", ",'1'", ",'C1'", ",3",
                            ",'BO')"})},
        {"raport", Lines({"SELECT DISTINCT RAPORT.MATERIAL, RAPORT.CODIGO, RAPORT.AGRUPADOR, RAPORT.DESPERDICIO,",
                          "TIPO_APL.DESCRICAO AS DESC_AGRUPADOR,", "(SELECT SUM(CADRAPORT.ALIMENTADORES)",
                          "FROM CADRAPORT_001 CADRAPORT", "WHERE CADRAPORT.CODIGO = RAPORT.CODIGO",
                          "AND  CADRAPORT.MILIMETROS = (SELECT SUM(CADRAPORT.MILIMETROS)",
                          "                             FROM CADRAPORT_001 CADRAPORT",
                          "                             WHERE CADRAPORT.CODIGO = RAPORT.CODIGO",
                          "AND RAPORT.AGRUPADOR = 'U')) AS CARRETEIS", "FROM TECEL_ITEN_001 TECI",
                          "LEFT JOIN RAPORT_001 RAPORT ON (RAPORT.MATERIAL = TECI.CODIGO AND TECI.COR = RAPORT.COR)",
                          "LEFT JOIN TIPO_APL_001 TIPO_APL ON (TIPO_APL.CODIGO = RAPORT.AGRUPADOR)",
                          "WHERE TECI.NUMERO = '000123'", "AND RAPORT.AGRUPADOR = 'U'",
                          "AND RAPORT.DESPERDICIO > 0"})},
        {"mixed1k", MixedStatement(1024)},
        {"mixed4k", MixedStatement(4096)},
    };
    return all;
}

const sqltranslate::CatalogueRunner kCatalogue = [](const std::string&) {
    return std::vector<std::string>{"CODIGO", "NOME", "GRUPO", "UNIDADE", "CUSTO"};
};

void Copy(benchmark::State& state, const std::string& name) {
    const std::string& text = Statements().at(name);
    for (auto _ : state) {
        std::string copy = text;
        benchmark::DoNotOptimize(copy);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void Fresh(benchmark::State& state, const std::string& name, const std::string& dialect) {
    const std::string& text = Statements().at(name);
    try {
        sqltranslate::TranslateText(text, dialect, kCatalogue);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    for (auto _ : state) {
        std::string out = sqltranslate::TranslateText(text, dialect, kCatalogue);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The memo hit as TranslateSQL meets it: the same house text assigned again
// (copied in), compared with the memo, replaced by the remembered translation.
void MemoHit(benchmark::State& state, const std::string& name, const std::string& dialect) {
    const std::string& text = Statements().at(name);
    const std::string original = text;
    const std::string anterior = sqltranslate::TranslateText(text, dialect, kCatalogue);
    for (auto _ : state) {
        std::string t = text;
        bool hit = sqltranslate::MemoHit(t, original, anterior);
        benchmark::DoNotOptimize(hit);
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The whole query step on a memo hit: TKVQuery::TranslateSQL reading its SQL
// lines, finding the memo, writing the translation back. Its floor is
// assigning the text alone.
struct QueryFixture {
    TKVDatabase db;
    TKVQuery q;
    explicit QueryFixture(const std::string& dialect) {
        db.DriverName = dialect;
        q.SetDatabase(&db);
    }
};

void QueryMemoHit(benchmark::State& state, const std::string& name, const std::string& dialect) {
    const std::string& text = Statements().at(name);
    if (dialect == "Ora" && text.find(".*") != std::string::npos) {
        state.SkipWithError("needs the catalogue");
        return;
    }
    QueryFixture f(dialect);
    f.q.SQL.SetText(text);
    f.q.TranslateSQL();
    for (auto _ : state) {
        f.q.SQL.SetText(text);
        f.q.TranslateSQL();
    }
}

void QueryAssign(benchmark::State& state, const std::string& name) {
    const std::string& text = Statements().at(name);
    TKVQuery q;
    for (auto _ : state) {
        q.SQL.SetText(text);
        benchmark::DoNotOptimize(q.SQL.Count());
    }
}

const bool kRegistered = [] {
    for (const auto& [name, text] : Statements()) {
        benchmark::RegisterBenchmark(("Copy/" + name).c_str(), Copy, name);
        for (const std::string dialect : {"FB", "PG", "Ora"}) {
            benchmark::RegisterBenchmark(("Fresh/" + dialect + "/" + name).c_str(), Fresh, name, dialect);
            benchmark::RegisterBenchmark(("MemoHit/" + dialect + "/" + name).c_str(), MemoHit, name, dialect);
        }
        benchmark::RegisterBenchmark(("QueryAssign/" + name).c_str(), QueryAssign, name);
        for (const std::string dialect : {"FB", "PG"})
            benchmark::RegisterBenchmark(("QueryMemoHit/" + dialect + "/" + name).c_str(), QueryMemoHit, name, dialect);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
