// Oracle's alias.* expansion from the catalogue.
#include <gtest/gtest.h>

#include <map>

#include "sqltranslate/Passes.h"

using namespace sqltranslate;

namespace {

// A catalogue of a few tables; records the statements it was given.
struct FakeCatalogue {
    std::map<std::string, std::vector<std::string>> columns{
        {"PRODUTO", {"COD", "NOME", "GRUPO"}},  // FOTO (BLOB) is left out by the statement
        {"GRUPO", {"COD", "NOME"}},
        {"VAZIA", {}},
    };
    std::vector<std::string> statements;

    CatalogueRunner Runner() {
        return [this](const std::string& sql) {
            statements.push_back(sql);
            for (const auto& [table, cols] : columns)
                if (sql.find("'" + table + "'") != std::string::npos) return cols;
            return std::vector<std::string>{};
        };
    }
};

}  // namespace

TEST(CollectTableAliases, ReadsTheWordsAfterFromAndJoin) {
    struct Case { const char* sql; std::vector<std::pair<std::string, std::string>> expected; } cases[] = {
        {"SELECT DISTINCT P.*, G.NOME FROM PRODUTO P INNER JOIN GRUPO G ON G.COD = P.GRUPO",
         {{"P", "PRODUTO"}, {"G", "GRUPO"}}},
        {"select * from produto p left join grupo g on 1=1", {{"P", "PRODUTO"}, {"G", "GRUPO"}}},
        // letters are folded as ASCII only; other bytes stay as written
        {"select * from produção_tabela_longa pç left join `az{@[ g on 1=1",
         {{"Pç", "PRODUçãO_TABELA_LONGA"}, {"G", "`AZ{@["}}},
        // a plain JOIN right after the alias is not seen
        {"SELECT * FROM A X JOIN B Y ON 1=1", {{"X", "A"}}},
        // a line break right after FROM: empty table, the table taken for the alias
        {"SELECT * FROM\r\nA X WHERE 1=1", {{"A", ""}}},
        {"SELECT * FROM A X, B Y WHERE 1=1", {{"X,", "A"}}},
        {"SELECT 1 FROM T", {{"", ""}}},
    };
    for (const auto& c : cases) {
        const TTableAliasList list = CollectTableAliases(c.sql);
        std::vector<std::pair<std::string, std::string>> got;
        for (const auto& [alias, base] : list.Items()) got.emplace_back(alias, base.NmBase);
        EXPECT_EQ(got, c.expected) << c.sql;
    }
}

TEST(ListTableColumns, CatalogueStatementAndFormat) {
    FakeCatalogue cat;
    EXPECT_EQ(ListTableColumns("PRODUTO", "P", true, cat.Runner()), ".COD, P.NOME, P.GRUPO ");
    ASSERT_EQ(cat.statements.size(), 1u);
    EXPECT_EQ(cat.statements[0],
              "SELECT T.COLUMN_NAME AS NmCampo FROM USER_TAB_COLUMNS t\r\n"
              "WHERE t.TABLE_NAME = 'PRODUTO'\r\n"
              "AND Ltrim(Rtrim(T.DATA_TYPE)) NOT IN ('BLOB', 'CLOB')\r\n"
              "ORDER BY T.COLUMN_ID\r\n");
    EXPECT_EQ(ListTableColumns("VAZIA", "V", true, cat.Runner()), "");
    EXPECT_EQ(TableColumnsStatement("O'BRIEN", false),
              "SELECT T.COLUMN_NAME AS NmCampo FROM USER_TAB_COLUMNS t\r\nWHERE t.TABLE_NAME = 'O''BRIEN'\r\n"
              "ORDER BY T.COLUMN_ID\r\n");
    cat.columns["PRODUTO"] = {"  COD  "};
    EXPECT_EQ(ListTableColumns("PRODUTO", "P", true, cat.Runner()), ".COD ");
}

TEST(RewriteSelectList, ExpandsAliasStarWhenDistinctOrGroupBy) {
    struct Case { const char* input; const char* expected; size_t lookups; } cases[] = {
        {"SELECT DISTINCT P.*, G.NOME FROM PRODUTO P INNER JOIN GRUPO G ON G.COD = P.GRUPO\r\n",
         "SELECT DISTINCT P.COD, P.NOME, P.GRUPO , G.NOME FROM PRODUTO P INNER JOIN GRUPO G ON G.COD = P.GRUPO\r\n", 1},
        {"SELECT P.*, G.NOME FROM PRODUTO P INNER JOIN GRUPO G ON G.COD = P.GRUPO\r\n",
         "SELECT P.*, G.NOME FROM PRODUTO P INNER JOIN GRUPO G ON G.COD = P.GRUPO\r\n", 0},
        {"SELECT p.*, g.* FROM PRODUTO P LEFT JOIN GRUPO G ON 1=1 GROUP BY 1\r\n",
         "SELECT p.COD, P.NOME, P.GRUPO , g.COD, G.NOME  FROM PRODUTO P LEFT JOIN GRUPO G ON 1=1 GROUP BY 1\r\n", 2},
        // alias not listed: alias.* becomes alias*
        {"SELECT DISTINCT X.* FROM PRODUTO P\r\n", "SELECT DISTINCT X* FROM PRODUTO P\r\n", 0},
        {"SELECT DISTINCT COUNT(P.*) FROM PRODUTO P\r\n", "SELECT DISTINCT COUNT(P*) FROM PRODUTO P\r\n", 0},
        // a table without columns leaves the alias alone
        {"SELECT DISTINCT V.* FROM VAZIA V WHERE 1=1\r\n", "SELECT DISTINCT V FROM VAZIA V WHERE 1=1\r\n", 1},
        // an alias that ends the statement has no blank after it and is not listed
        {"SELECT DISTINCT P.* FROM PRODUTO P\r\n", "SELECT DISTINCT P* FROM PRODUTO P\r\n", 0},
        // the eight at signs stand for DISTINCT
        {"SELECT @@@@@@@@ A FROM T GROUP BY A\r\n", "SELECT DISTINCT A FROM T GROUP BY A\r\n", 0},
        {"SELECT @@@@@@@@ A FROM T\r\n", "SELECT @@@@@@@@ A FROM T\r\n", 0},
        // a ".*" whose word holds ")" is left as written, and the pass ends
        {"SELECT DISTINCT (P).*, P.* FROM PRODUTO P WHERE 1=1\r\n",
         "SELECT DISTINCT (P).*, P.COD, P.NOME, P.GRUPO  FROM PRODUTO P WHERE 1=1\r\n", 1},
        {"SELECT DISTINCT F(X).* FROM PRODUTO P\r\n", "SELECT DISTINCT F(X).* FROM PRODUTO P\r\n", 0},
        // "A..*": the "*" left in place of the second ".*" makes a new one
        {"SELECT DISTINCT P..* FROM PRODUTO P WHERE 1=1\r\n",
         "SELECT DISTINCT P.COD, P.NOME, P.GRUPO  FROM PRODUTO P WHERE 1=1\r\n", 1},
    };
    for (const auto& c : cases) {
        FakeCatalogue cat;
        EXPECT_EQ(RewriteSelectList(c.input, cat.Runner()), c.expected) << c.input;
        EXPECT_EQ(cat.statements.size(), c.lookups) << c.input;
    }
}

TEST(RewriteSelectList, WithoutCatalogueFailsClearly) {
    try {
        RewriteSelectList("SELECT DISTINCT P.* FROM PRODUTO P WHERE 1=1\r\n", {});
        ADD_FAILURE() << "expanded without a catalogue";
    } catch (const ETranslateError& e) {
        EXPECT_NE(std::string(e.what()).find("USER_TAB_COLUMNS"), std::string::npos) << e.what();
    }
    // nothing to look up: no catalogue needed
    EXPECT_EQ(RewriteSelectList("SELECT DISTINCT X.* FROM T A\r\n", {}), "SELECT DISTINCT X* FROM T A\r\n");
}
