// Values never change a statement, end to end on real PostgreSQL and
// embedded Firebird: an inbox file whose codes, lots and location are full of
// quotes, brackets, house function names and comment marks posts exactly what
// it names, stores the values as written and leaves every other stock row as
// it was. The statements of the run, recorded as they reach the driver, match
// those of the same run with plain values outside their literals, in this
// server's dialect and, translated again, in the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "LiteralProperty.h"
#include "WriteOffHarness.h"
#include "sqltranslate/SqlTranslate.h"

using literalproperty::TValue;
using testsupport::Backend;
using writeofftest::Installation;
using writeofftest::RecordingSession;
using Lines = std::vector<std::string>;

namespace {

struct TOrderValues {
    std::string Code;        // consumed material (MATERIAL, MAT_ITEN, PCPFT)
    std::string Lot;         // its lot in stock
    std::string ProductLot;  // lot the finished product is received into
    std::string Location;    // stock location written into the product
};

const TOrderValues kPlain{"MPX", "LPX", "PPX", "LOCALX"};
// Within the widths of the columns and work tables; no ";" (the inbox's
// separator) and no line break (its record end).
const TOrderValues kHostile{"M'--/*UDF_LEN(", "L'']FIRST[('I'", "KV_BLOB(')/*x",
                            "DESCENDING '\xC3\xA3' ]LIST[ -- UDF_"};

std::string Q(const std::string& v) { return "'" + literalproperty::Escaped(v) + "'"; }

struct TRun {
    std::unique_ptr<Installation> Erp;
    Lines Statements;
    Lines Pane;
    std::map<std::string, Lines> Before, After;
};

// Order 5001 (product PA-500, 2 pieces) consuming the material of the values.
TRun PostOrder(Backend backend, const TOrderValues& v) {
    TRun run;
    run.Erp = std::make_unique<Installation>(backend);
    Installation& erp = *run.Erp;
    erp.Execute("INSERT INTO MATERIAL_001 (CODIGO, DESCRICAO, GRUPO, UNIDADE) VALUES (" + Q(v.Code) +
                ", 'MATERIAL DE TESTE', 'ACO', 'KG')");
    erp.Execute("INSERT INTO MAT_ITEN_001 (CODIGO, COR, LOTE, DEPOSITO, QTDE, PRECO_MED) VALUES (" + Q(v.Code) +
                ", '0', " + Q(v.Lot) + ", '01', 100, 2)");
    // A second lot of the same material, which the order does not name.
    erp.Execute("INSERT INTO MAT_ITEN_001 (CODIGO, COR, LOTE, DEPOSITO, QTDE, PRECO_MED) VALUES (" + Q(v.Code) +
                ", '0', 'OUTRO', '01', 50, 2)");
    erp.Execute("INSERT INTO PCPFT_001 (CODIGO, CODIGO2, TIPO, QTDE, PESO) VALUES ('PA-500', " + Q(v.Code) +
                ", 'M', 1.5, NULL)");
    erp.Form().dbKV.SetSessionFactory([&run](const std::string& driver, const std::vector<std::string>& params) {
        return std::make_unique<RecordingSession>(kvdriver::OpenSession(driver, params), run.Statements);
    });
    erp.DropFile("OF_HOSTIL.txt", "001;5001;2;S;01;02;E;" + v.ProductLot + ";" + v.Location + "\n002;" + v.Code +
                                      ";M;" + v.Lot + "\n");
    run.Before = erp.Snapshot();
    run.Pane = erp.RunOnce();
    run.After = erp.Snapshot();
    return run;
}

Lines Sorted(Lines rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Rows of after that before does not hold.
Lines Added(const Lines& before, const Lines& after) {
    Lines added;
    for (const auto& row : after)
        if (std::find(before.begin(), before.end(), row) == before.end()) added.push_back(row);
    return added;
}

std::vector<TValue> Values() {
    return {{kPlain.Code, kHostile.Code},
            {kPlain.Lot, kHostile.Lot},
            {kPlain.ProductLot, kHostile.ProductLot},
            {kPlain.Location, kHostile.Location}};
}

class HostileValuesTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override { DEZORIV_REQUIRE_BACKEND(GetParam()); }
};

TEST_P(HostileValuesTest, AnInboxFileOfHostileValuesPostsWhatItNamesAndStoresThemAsWritten) {
    const TRun run = PostOrder(GetParam(), kHostile);
    const TOrderValues& v = kHostile;
    EXPECT_EQ(run.Pane, (Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS", "IMPORTACAO CONCLUIDA DA OF: 5001",
                               "ARQUIVO MOVIDO PARA PROCESSADO: OF_HOSTIL.txt"}));

    // The named lot gives 2 x 1.5; every other stock row stays.
    Lines stock = run.Before.at("MAT_ITEN");
    const std::string named = v.Code + "|" + v.Lot + "|01|";
    auto it = std::find(stock.begin(), stock.end(), named + "100");
    ASSERT_NE(it, stock.end());
    *it = named + "97";
    EXPECT_EQ(Sorted(run.After.at("MAT_ITEN")), Sorted(stock));

    const Lines matMov = Added(run.Before.at("MAT_MOV"), run.After.at("MAT_MOV"));
    ASSERT_EQ(matMov.size(), 1u);
    EXPECT_NE(matMov[0].find("|" + v.Code + "|0|2|2|01||" + v.Lot + "|VELDOR|"), std::string::npos) << matMov[0];

    // The product comes in under the hostile lot, and gets the location.
    const Lines paIten = Added(run.Before.at("PA_ITEN"), run.After.at("PA_ITEN"));
    ASSERT_EQ(paIten.size(), 1u);
    EXPECT_EQ(paIten[0].rfind("PA-500|0|0|1|" + v.ProductLot + "|02|", 0), 0u) << paIten[0];
    EXPECT_EQ(Added(run.After.at("PA_ITEN"), run.Before.at("PA_ITEN")), Lines{});  // nothing else changed
    const Lines paMov = Added(run.Before.at("PA_MOV"), run.After.at("PA_MOV"));
    ASSERT_EQ(paMov.size(), 1u);
    EXPECT_NE(paMov[0].find("|PA-500|E|0|2|" + v.ProductLot + "|02|E|5001|"), std::string::npos) << paMov[0];
    const Lines produto = Added(run.Before.at("PRODUTO"), run.After.at("PRODUTO"));
    ASSERT_EQ(produto.size(), 1u);
    EXPECT_EQ(produto[0].rfind("PA-500|", 0), 0u);
    EXPECT_EQ(produto[0].substr(produto[0].rfind('|') + 1), v.Location);
    EXPECT_EQ(Added(run.After.at("PRODUTO"), run.Before.at("PRODUTO")).size(), 1u);  // only PA-500's old row
}

TEST_P(HostileValuesTest, TheStatementsOfTheRunDifferFromPlainOnesOnlyInsideTheirValues) {
    const TRun plain = PostOrder(GetParam(), kPlain);
    const TRun hostile = PostOrder(GetParam(), kHostile);
    ASSERT_EQ(plain.Statements.size(), hostile.Statements.size());
    ASSERT_GT(plain.Statements.size(), 15u);
    const std::vector<TValue> values = Values();
    const bool fb = GetParam() == Backend::FBEmbedded;
    for (size_t i = 0; i < plain.Statements.size(); ++i) {
        const std::string& p = plain.Statements[i];
        const std::string& h = hostile.Statements[i];
        EXPECT_EQ(literalproperty::Compare(p, h, values), "") << p << "\n" << h;
        if (!fb) continue;
        // Firebird's translation leaves these statements as the job wrote
        // them, so what Firebird got is the house text: it goes through the
        // other dialects too.
        ASSERT_EQ(sqltranslate::TranslateText(p, "FB"), p);
        for (const std::string dialect : {"PG", "Ora"})
            EXPECT_EQ(literalproperty::Compare(sqltranslate::TranslateText(p, dialect),
                                               sqltranslate::TranslateText(h, dialect), values),
                      "")
                << dialect << "\n" << h;
    }
}

// The same statements with values of the whole hostile alphabet (line breaks,
// ";", long texts, bytes that are no UTF-8), which no inbox file can carry:
// each value literal of the plain run's statements takes a hostile value.
TEST(HostileValuesAlphabet, EveryWriteOffStatementKeepsItsValuesIntactInEveryDialect) {
    DEZORIV_REQUIRE_BACKEND(Backend::FBEmbedded);
    const TRun plain = PostOrder(Backend::FBEmbedded, kPlain);
    std::mt19937 rng(7071);
    for (const std::string& statement : plain.Statements) {
        const literalproperty::TPieces pieces = literalproperty::Split(statement);
        for (int round = 0; round < 40; ++round) {
            std::vector<TValue> values;
            std::string built = pieces.Outside[0];
            for (size_t i = 0; i < pieces.Literals.size(); ++i) {
                std::string content = pieces.Literals[i];
                for (const std::string& placeholder : {kPlain.Code, kPlain.Lot, kPlain.ProductLot, kPlain.Location})
                    if (content == placeholder) {
                        const std::string value = literalproperty::HostileValue(rng);
                        values.push_back({placeholder, value});
                        content = literalproperty::Escaped(value);
                    }
                built += "'" + content + "'" + pieces.Outside[i + 1];
            }
            if (values.empty()) break;  // a statement without values of the file
            for (const std::string dialect : {"FB", "PG", "Ora"}) {
                std::string out;
                ASSERT_NO_THROW(out = sqltranslate::TranslateText(built, dialect)) << built;
                const std::string diff =
                    literalproperty::Compare(sqltranslate::TranslateText(statement, dialect), out, values);
                ASSERT_EQ(diff, "") << dialect << "\n" << built << "\nbecame\n" << out;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, HostileValuesTest, ::testing::Values(Backend::PG, Backend::FBEmbedded),
                         [](const auto& info) { return info.param == Backend::PG ? "PG" : "FBEmbedded"; });

}  // namespace
