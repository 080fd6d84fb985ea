// Oracle's comparisons with ''.
#include <gtest/gtest.h>

#include "sqltranslate/Passes.h"

using namespace sqltranslate;

TEST(RewriteEmptyStrings, ComparisonsBecomeNullTests) {
    struct Case { const char* input; const char* expected; } cases[] = {
        {"SELECT * FROM P WHERE P.OBS = '' AND P.COD <> '' AND P.X >= ''\r\n",
         "SELECT * FROM P WHERE P.OBS  IS NULL  AND P.COD  IS NOT NULL  AND P.X  IS NOT NULL \r\n"},
        {"UPDATE P SET OBS = '' WHERE COD = ''\r\n", "UPDATE P SET OBS = '' WHERE COD  IS NULL "},
        {"DELETE FROM P WHERE OBS=''\r\n", "DELETE FROM P WHERE OBS IS NULL "},
        {"SELECT * FROM P WHERE A <= ''\r\n", "SELECT * FROM P WHERE A  IS NOT NULL \r\n"},
        {"SELECT * FROM P WHERE A<>''\r\n", "SELECT * FROM P WHERE A IS NOT NULL \r\n"},
        {"SELECT * FROM P WHERE A = 'X'\r\n", "SELECT * FROM P WHERE A = 'X'\r\n"},
        // "<> ''" goes also in the SET list; "= ''" there stays
        {"UPDATE P SET OBS = '', X = (CASE WHEN Y <> '' THEN 1 END) WHERE C = 1\r\n",
         "UPDATE P SET OBS = '', X = (CASE WHEN Y  IS NOT NULL  THEN 1 END) WHERE C = 1"},
        // without WHERE the whole UPDATE is rewritten
        {"UPDATE P SET OBS = ''\r\n", "UPDATE P SET OBS  IS NULL \r\n"},
        {"SELECT * FROM P WHERE A != ''\r\n", "SELECT * FROM P WHERE A ! IS NULL \r\n"},
        // a doubled quote inside a literal is no empty string: the literal
        // ''A (a quote and A) and It''s are values, left alone
        {"SELECT * FROM P WHERE A = '''A'\r\n", "SELECT * FROM P WHERE A = '''A'\r\n"},
        {"UPDATE P SET OBS = 'It''s' WHERE C = 1\r\n", "UPDATE P SET OBS = 'It''s' WHERE C = 1\r\n"},
        {"UPDATE P SET OBS = 'It''s' WHERE C = ''\r\n", "UPDATE P SET OBS = 'It''s' WHERE C  IS NULL "},
        {"SELECT * FROM P WHERE A = 'It''s'\r\n", "SELECT * FROM P WHERE A = 'It''s'\r\n"},
        {"=''", " IS NULL "},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(RewriteEmptyStrings(c.input), c.expected) << c.input;
}
