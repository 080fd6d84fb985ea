// Values never change a statement: the statements that the jobs build with
// values from inbox files, the ERP database and the web API, filled once with
// plain placeholders and once with hostile values, translate for every
// dialect to the same text outside their literals, each value intact in its
// own literal. The write-off's statements are checked the same way, as they
// reach the drivers, by its end-to-end test.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "ExportRun.h"
#include "LiteralProperty.h"
#include "shell/SqlHelpers.h"
#include "sqltranslate/SqlTranslate.h"

using literalproperty::TValue;

namespace {

struct TBuilder {
    const char* name;
    size_t slots;  // values it takes
    std::function<std::string(const std::vector<std::string>&)> build;
    // What the builder stores of a value (the audit record upper-cases).
    std::function<std::string(const std::string&)> stored = [](const std::string& v) { return v; };
};

const std::vector<TBuilder>& Builders() {
    static const std::vector<TBuilder> all = {
        {"selection", 0, [](const std::vector<std::string>&) { return exportjob::SelectionSQL(); }},
        {"marking", 3, [](const std::vector<std::string>& v) { return exportjob::MarkSentSQL(v[0], v[1], v[2]); }},
        {"raport", 2, [](const std::vector<std::string>& v) { return exportjob::RaportSQL(v[0], v[1]); }},
        {"audit key", 1,
         [](const std::vector<std::string>& v) {
             return shell::AuditRecordSQL("OF_IMPORTACAO", "IMPORTACAO CONCLUIDA DA OF: 5001", 3, v[0], "fmDEZORiv");
         }},
        {"audit text", 1,
         [](const std::vector<std::string>& v) {
             return shell::AuditRecordSQL("OF_IMPORTACAO", v[0], 3, "5001", "fmDEZORiv");
         },
         [](const std::string& v) { return shell::UpperCaseText(v); }},
    };
    return all;
}

// The statement as the query hands it to the translator.
std::string AsStatement(const std::string& built) { return built + "\r\n"; }

void ExpectIntact(const TBuilder& b, const std::vector<std::string>& hostile) {
    std::vector<std::string> plain;
    std::vector<TValue> values;
    for (size_t i = 0; i < b.slots; ++i) {
        plain.push_back("VALOR" + std::to_string(i) + "X");
        values.push_back({b.stored(plain.back()), b.stored(hostile[i])});
    }
    const std::string plainText = AsStatement(b.build(plain)), hostileText = AsStatement(b.build(hostile));
    for (const std::string dialect : {"FB", "PG", "Ora"}) {
        std::string plainOut, hostileOut;
        ASSERT_NO_THROW(plainOut = sqltranslate::TranslateText(plainText, dialect)) << b.name;
        ASSERT_NO_THROW(hostileOut = sqltranslate::TranslateText(hostileText, dialect))
            << b.name << " " << dialect << "\n" << hostileText;
        const std::string diff = literalproperty::Compare(plainOut, hostileOut, values);
        ASSERT_EQ(diff, "") << b.name << " " << dialect << "\n" << hostileText << "\nbecame\n" << hostileOut;
    }
}

TEST(HostileValues, EveryBuilderKeepsItsValuesIntactInEveryDialect) {
    std::mt19937 rng(20240512);
    for (const TBuilder& b : Builders()) {
        for (int round = 0; round < 300; ++round) {
            std::vector<std::string> hostile;
            for (size_t i = 0; i < b.slots; ++i) hostile.push_back(literalproperty::HostileValue(rng));
            ExpectIntact(b, hostile);
            if (HasFatalFailure()) return;
        }
        // Each piece alone in every slot, and the house dialect's own literals.
        std::vector<std::string> singles = literalproperty::HostilePieces();
        for (const auto& v : literalproperty::HouseLiteralValues()) singles.push_back(v);
        for (const std::string& v : singles) {
            ExpectIntact(b, std::vector<std::string>(b.slots, v));
            if (HasFatalFailure()) return;
        }
    }
}

// The examples that showed the fault: values that were read as syntax.
TEST(HostileValues, ValuesOnceTakenForSyntaxStayValues) {
    const std::string update =
        "UPDATE T SET LOTE = 'FIRST[(', LOCAL = '|| 1 -- ) X, ''I'', 1]' WHERE ID = 7\r\n";
    for (const std::string dialect : {"FB", "PG", "Ora"})
        EXPECT_EQ(sqltranslate::TranslateText(update, dialect), update) << dialect;

    for (const std::string v : {"Erro em UDF_LEN(x)", "DESCENDING", "KV_BLOB(A)", "dbms_lob.substr(A)", "UDF_NVL(",
                                "x UDF_MINUTESBETWEEN(a, b)", "HORA[a", "LIST[A, ';', B]", "a.* DISTINCT"}) {
        const std::string sql = "SELECT * FROM T WHERE A = '" + v + "' AND B = 1\r\n";
        for (const std::string dialect : {"FB", "PG", "Ora"}) {
            std::string out;
            ASSERT_NO_THROW(out = sqltranslate::TranslateText(sql, dialect)) << v << " " << dialect;
            EXPECT_NE(out.find("'" + v + "'"), std::string::npos) << v << " " << dialect << ": " << out;
        }
    }
}

}  // namespace
