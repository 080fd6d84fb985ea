// SUBSTRING, the TO_CHAR time parts and Oracle's alias AS.
#include <gtest/gtest.h>

#include "sqltranslate/Passes.h"

using namespace sqltranslate;

struct Case {
    const char* input;
    const char* expected;
};

TEST(RewriteSubstring, FirebirdFormBecomesSubstr) {
    const Case cases[] = {
        {"SELECT SUBSTRING(P.NOME FROM 1 FOR 3) FROM P\r\n", "SELECT SUBSTR(P.NOME,1,3) FROM P\r\n"},
        {"SUBSTRING(P.NOME FROM 2 FOR (X+1))", "SUBSTR(P.NOME,2,(X+1))"},
        {"SELECT SUBSTRING(NOME FROM 1 FOR 3)", "SELECT SUBSTR(NOME,1,3)"},
        {"SUBSTRING(X from 1 for 2)", "SUBSTR(X,1,2)"},
        {"SELECT substring(A FROM 1 FOR 2), SUBSTRING(B FROM 3 FOR 4) FROM T\r\n",
         "SELECT SUBSTR(A,1,2), SUBSTR(B,3,4) FROM T\r\n"},
        {"SUBSTRING(A FROM 1 FOR (X#Y!))", "SUBSTR(A,1,(X)Y())"},  // "#" and "!" come out as ")" and "("
        {"SUBSTRING(SUBSTRING(A FROM 2 FOR 5) FROM 1 FOR 2)", "SUBSTR(SUBSTR(A,2,5),1,2)"},
        {"SELECT A FROM T\r\n", "SELECT A FROM T\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(RewriteSubstring(c.input), c.expected) << c.input;
}

TEST(RewriteSubstring, MalformedCallsEnd) {
    // Missing keywords or parenthesis: whatever the positions give, but it ends.
    for (const char* in : {"SUBSTRING", "SUBSTRING(", "SUBSTRINGSUBSTRING", "SUBSTRING(A FROM 1)", "SUBSTRING(A, 1, 2)",
                           "SUBSTRINGING FROM 1 FOR 2)", "x SUBSTRING( FOR  FROM ) SUBSTRING"}) {
        const std::string out = RewriteSubstring(in);
        EXPECT_EQ(out.find("SUBSTRING"), std::string::npos) << in << " -> " << out;
    }
    EXPECT_EQ(RewriteSubstring("SUBSTRING(A, 1, 2)"), "SUBSTR,,");
}

TEST(RewriteToChar, FirstCallOnly) {
    const Case cases[] = {
        {"SELECT UDF_HOUR(P.INICIO) FROM P", "SELECT (TO_CHAR((P.INICIO),'HH24')) FROM P"},
        {"udf_minute(X)", "(TO_CHAR((X),'MI'))"},
        {"UDF_DAYNAME(X) || UDF_DAYNAME(Y)", "(TO_CHAR((X),'DAY')) || UDF_DAYNAME(Y)"},
        {"UDF_HOUR(CAST(X AS DATE))+1", "(TO_CHAR((CAST(X AS DATE)),'HH24'))+1"},
    };
    EXPECT_EQ(RewriteToChar(cases[0].input, "UDF_HOUR", "HH24"), cases[0].expected);
    EXPECT_EQ(RewriteToChar(cases[1].input, "UDF_MINUTE", "MI"), cases[1].expected);
    EXPECT_EQ(RewriteToChar(cases[2].input, "UDF_DAYNAME", "DAY"), cases[2].expected);
    EXPECT_EQ(RewriteToChar(cases[3].input, "UDF_HOUR", "HH24"), cases[3].expected);
}

TEST(RewriteAliasAs, DropsTheAsAfterAParenthesis) {
    const Case cases[] = {
        {"SELECT MAX(PA.BARRA) AS BARRA, CASE WHEN X > 0 THEN 1 ELSE 0 END AS QTDE, CAST(SUM(A) AS NUMERIC(15,2)) "
         "FROM (SELECT A FROM T) AS X",
         "SELECT MAX(PA.BARRA)  BARRA, CASE WHEN X > 0 THEN 1 ELSE 0 END AS QTDE, CAST(SUM(A) AS NUMERIC(15,2)) "
         "FROM (SELECT A FROM T)  X"},
        {"select count(*) as n, P.CASA from P", "select count(*)  n, P.CASA from P"},
        {"SELECT 'Casa' As X, Q.aS FROM Q", "SELECT 'Casa' as X, Q.as FROM Q"},  // mixed case comes back lower
        {"CAST(SUM(A) AS CHAR(10))", "CAST(SUM(A)  CHAR(10))"},
        {"CAST(X AS CHAR(10))", "CAST(X AS CHAR(10))"},
        {"CAST(SUM(A) AS DATE), CAST(SUM(B) AS TIMESTAMP), CAST(SUM(C) AS VARCHAR(2)), CAST(MAX(D) AS INTEGER)",
         "CAST(SUM(A) AS DATE), CAST(SUM(B) AS TIMESTAMP), CAST(SUM(C) AS VARCHAR(2)), CAST(MAX(D) AS INTEGER)"},
        {"SELECT MAX(A)\r\nAS M FROM T\r\n", "SELECT MAX(A)\r\n M FROM T\r\n"},  // ")" CR LF AS
        {"SELECT MAX(A) AS(M) FROM T", "SELECT MAX(A) (M) FROM T"},
        {"SELECT MAX(A) ASX FROM T", "SELECT MAX(A) ASX FROM T"},
        {"AS (X) AS Y", "AS (X) AS Y"},      // a first AS at the very start ends the pass at once
        {"SELECT MAX(A) AS", "SELECT MAX(A) AS"},  // nothing after the two letters
        {"SELECT A @% B %@ C", "SELECT A AS B as C"},  // the markers are the pass's own
    };
    for (const auto& c : cases) EXPECT_EQ(RewriteAliasAs(c.input), c.expected) << c.input;
}
