// LIST[..], HORA[..], WEEK_NUMBER[..] and FIRST[..] in every dialect.
#include <gtest/gtest.h>

#include <algorithm>

#include "sqltranslate/Passes.h"

using namespace sqltranslate;

namespace {

struct Case {
    const char* input;
    const char* fb;
    const char* pg;
    const char* ora;
    const char* other;  // any other dialect code
};

using Pass = std::string (*)(const std::string&, const std::string&);

void Check(Pass pass, const Case& c) {
    EXPECT_EQ(pass(c.input, "FB"), c.fb) << "FB: " << c.input;
    EXPECT_EQ(pass(c.input, "PG"), c.pg) << "PG: " << c.input;
    EXPECT_EQ(pass(c.input, "Ora"), c.ora) << "Ora: " << c.input;
    EXPECT_EQ(pass(c.input, "SQLite"), c.other) << "other: " << c.input;
}

const char* const kFirstI = "FIRST[(SELECT P.COD, P.NOME FROM PRODUTO P WHERE P.ATIVO = 1 ORDER BY P.NOME) X, 'I', 10]";
const char* const kFirstE = "FIRST[(SELECT P.COD, P.NOME FROM PRODUTO P WHERE P.ATIVO = 1 ORDER BY P.NOME) X, 'E', 10]";

}  // namespace

TEST(RewriteList, EveryDialect) {
    const Case cases[] = {
        {"LIST[I.COD, ';', I.COD]", "LIST(I.COD, ';')", "STRING_AGG(I.COD, ';')",
         "REGEXP_REPLACE( REGEXP_REPLACE( XMLAGG(XMLELEMENT(E,I.COD,';').EXTRACT('//text()') ORDER BY  I.COD)"
         ".GETCLOBVAL() ,'([^;]+)(;\\1)*(;|$)', '\\1\\3') ,'(;;)','') ",
         ""},
        {"LIST[DISTINCT I.COD, ', ', I.COD]", "LIST(DISTINCT I.COD, ', ')", "STRING_AGG(DISTINCT I.COD, ', ')",
         "REGEXP_REPLACE( REGEXP_REPLACE( XMLAGG(XMLELEMENT(E, I.COD,', ').EXTRACT('//text()') ORDER BY  I.COD)"
         ".GETCLOBVAL() ,'([^, ]+)(, \\1)*(, |$)', '\\1\\3') ,'(, , )','') ",
         ""},
        // two identical calls go in one round, two different ones in two
        {"SELECT LIST[A, ',', A], LIST[A, ',', A], LIST[B, '-', B] FROM T",
         "SELECT LIST(A, ','), LIST(A, ','), LIST(B, '-') FROM T",
         "SELECT STRING_AGG(A, ','), STRING_AGG(A, ','), STRING_AGG(B, '-') FROM T", nullptr, "SELECT , ,  FROM T"},
        // lower-case openers are not rewritten
        {"SELECT list[A, ',', A] FROM T", "SELECT list[A, ',', A] FROM T", "SELECT list[A, ',', A] FROM T",
         "SELECT list[A, ',', A] FROM T", "SELECT list[A, ',', A] FROM T"},
        // an opener without its "]" stays as written, and the pass ends
        {"SELECT LIST[A, ',', A FROM T", "SELECT LIST[A, ',', A FROM T", "SELECT LIST[A, ',', A FROM T",
         "SELECT LIST[A, ',', A FROM T", "SELECT LIST[A, ',', A FROM T"},
        {"SELECT LIST[A, ',', A] || LIST[B", "SELECT LIST(A, ',') || LIST[B", "SELECT STRING_AGG(A, ',') || LIST[B",
         nullptr, "SELECT  || LIST[B"},
    };
    for (const auto& c : cases) {
        if (c.ora) {
            Check(RewriteList, c);
        } else {
            EXPECT_EQ(RewriteList(c.input, "FB"), c.fb);
            EXPECT_EQ(RewriteList(c.input, "PG"), c.pg);
            EXPECT_EQ(RewriteList(c.input, "SQLite"), c.other);
        }
    }
}

TEST(RewriteHora, DropsTheDateForFirebirdWhenTheFlagIsFalse) {
    const Case cases[] = {
        {"HORA[12/30/1899 08:30:00,0]", "08:30:00", "12/30/1899 08:30:00", "12/30/1899 08:30:00",
         "12/30/1899 08:30:00"},
        {"HORA[12/30/1899 08:30:00,1]", "12/30/1899 08:30:00", "12/30/1899 08:30:00", "12/30/1899 08:30:00",
         "12/30/1899 08:30:00"},
        {"HORA[12/30/1899 08:30:00,false]", "08:30:00", "12/30/1899 08:30:00", "12/30/1899 08:30:00",
         "12/30/1899 08:30:00"},
        {"HORA[12/30/1899 08:30:00,TRUE]", "12/30/1899 08:30:00", "12/30/1899 08:30:00", "12/30/1899 08:30:00",
         "12/30/1899 08:30:00"},
        {"HORA[X,-3]", "X", "X", "X", "X"},
        {"HORA[X, 0]", "", "X", "X", "X"},
    };
    for (const auto& c : cases) Check(RewriteHora, c);
}

TEST(RewriteHora, RefusesAFlagThatIsNotABoolean) {
    struct Case { const char* input; const char* message; } cases[] = {
        {"HORA[X,sim]", "'sim' is not a valid boolean value"},
        {"HORA[X, True]", "' True' is not a valid boolean value"},
        {"HORA[X,False ]", "'False ' is not a valid boolean value"},
        {"HORA[X,]", "'' is not a valid boolean value"},
        {"HORA[X,1 ]", "'1 ' is not a valid boolean value"},
    };
    for (const auto& c : cases) {
        for (const char* d : {"FB", "PG", "Ora"}) {
            try {
                RewriteHora(c.input, d);
                ADD_FAILURE() << c.input << " was accepted";
            } catch (const ETranslateError& e) {
                EXPECT_STREQ(e.what(), c.message);
            }
        }
    }
}

TEST(RewriteWeekNumber, EveryDialect) {
    Check(RewriteWeekNumber, {"WEEK_NUMBER[ P.DATA ]", "EXTRACT(WEEK FROM P.DATA)", "TO_CHAR(P.DATA,'IW')",
                              "TO_CHAR(P.DATA,'IW')", "TO_CHAR(P.DATA,'IW')"});
}

TEST(RewriteFirst, InnerAndOuterLimits) {
    const std::string fb10 = "SELECT FIRST 10  P.COD, P.NOME FROM PRODUTO P WHERE P.ATIVO = 1 ORDER BY P.NOME";
    const std::string query = "SELECT P.COD, P.NOME FROM PRODUTO P WHERE P.ATIVO = 1 ORDER BY P.NOME";
    const Case cases[] = {
        {kFirstI, fb10.c_str(), "SELECT P.COD, P.NOME FROM PRODUTO P  WHERE  P.ATIVO = 1 ORDER BY P.NOME LIMIT 10",
         "SELECT P.COD, P.NOME FROM PRODUTO P WHERE ROWNUM <= 10 AND  P.ATIVO = 1 ORDER BY P.NOME", query.c_str()},
        {kFirstE, fb10.c_str(),
         "SELECT * FROM (SELECT P.COD, P.NOME FROM PRODUTO P WHERE P.ATIVO = 1 ORDER BY P.NOME LIMIT 10) X",
         "SELECT * FROM (SELECT P.COD, P.NOME FROM PRODUTO P WHERE P.ATIVO = 1 ORDER BY P.NOME) WHERE ROWNUM <= 10",
         query.c_str()},
        {"FIRST[(SELECT P.COD FROM PRODUTO P ORDER BY P.COD) X, 'I', 5]",
         "SELECT FIRST 5  P.COD FROM PRODUTO P ORDER BY P.COD", "SELECT P.COD FROM PRODUTO P  ORDER BY P.COD LIMIT 5",
         "SELECT P.COD FROM PRODUTO P  WHERE  ROWNUM <= 5 ORDER BY P.COD",
         "SELECT P.COD FROM PRODUTO P ORDER BY P.COD"},
        {"FIRST[(SELECT P.GRUPO, COUNT(*) FROM PRODUTO P GROUP BY P.GRUPO ORDER BY 2) X, 'I', 3]",
         "SELECT FIRST 3  P.GRUPO, COUNT(*) FROM PRODUTO P GROUP BY P.GRUPO ORDER BY 2",
         "SELECT P.GRUPO, COUNT(*) FROM PRODUTO P  GROUP BY P.GRUPO ORDER BY 2 LIMIT 3",
         "SELECT P.GRUPO, COUNT(*) FROM PRODUTO P  WHERE  ROWNUM <= 3 GROUP BY P.GRUPO ORDER BY 2",
         "SELECT P.GRUPO, COUNT(*) FROM PRODUTO P GROUP BY P.GRUPO ORDER BY 2"},
        {"FIRST[(SELECT P.COD FROM PRODUTO P) X, 'I', 5]", "SELECT FIRST 5  P.COD FROM PRODUTO P",
         "SELECT P.COD FROM PRODUTO P LIMIT 5", "SELECT P.COD FROM PRODUTO P WHERE ROWNUM <= 5",
         "SELECT P.COD FROM PRODUTO P"},
        // line breaks inside the brackets become blanks
        {"FIRST[(SELECT P.COD\r\nFROM PRODUTO P) X,\r\n'I', 5]", "SELECT FIRST 5  P.COD FROM PRODUTO P",
         "SELECT P.COD FROM PRODUTO P LIMIT 5", "SELECT P.COD FROM PRODUTO P WHERE ROWNUM <= 5",
         "SELECT P.COD FROM PRODUTO P"},
        // a 'E' inside the query is taken for the mode; n is read after the next comma
        {"FIRST[(SELECT T.A FROM T WHERE T.TIPO = 'E') X, 'I', 5]", "SELECT FIRST 'I', 5  T.A FROM T WHERE T.TIPO = 'E'",
         "SELECT * FROM (SELECT T.A FROM T WHERE T.TIPO = 'E' LIMIT 'I', 5) X",
         "SELECT * FROM (SELECT T.A FROM T WHERE T.TIPO = 'E') WHERE ROWNUM <= 'I', 5",
         "SELECT T.A FROM T WHERE T.TIPO = 'E'"},
        // the Oracle row limit goes into the first WHERE, even a subquery's
        {"FIRST[(SELECT A FROM T WHERE B IN (SELECT C FROM U WHERE D = 1)) X, 'I', 2]",
         "SELECT FIRST 2  A FROM T WHERE B IN (SELECT C FROM U WHERE D = 1)",
         "SELECT A FROM T  WHERE  B IN (SELECT C FROM U WHERE D = 1) LIMIT 2",
         "SELECT A FROM T WHERE ROWNUM <= 2 AND  B IN (SELECT C FROM U WHERE D = 1)",
         "SELECT A FROM T WHERE B IN (SELECT C FROM U WHERE D = 1)"},
        // no closing bracket: the pass ends and leaves it
        {"FIRST[(SELECT A FROM T) X, 'I', 2", "FIRST[(SELECT A FROM T) X, 'I', 2", "FIRST[(SELECT A FROM T) X, 'I', 2",
         "FIRST[(SELECT A FROM T) X, 'I', 2", "FIRST[(SELECT A FROM T) X, 'I', 2"},
    };
    for (const auto& c : cases) Check(RewriteFirst, c);
}

TEST(BracketFunctions, ListInsideFirstWorksFirstInsideListBreaks) {
    const std::string in = "FIRST[(SELECT LIST[A, ',', A] FROM T) X, 'I', 1]";
    EXPECT_EQ(RewriteFirst(RewriteList(in, "PG"), "PG"), "SELECT STRING_AGG(A, ',') FROM T LIMIT 1");
    const std::string broken = "LIST[FIRST[(SELECT A FROM T) X, 'I', 1], ',', A]";
    EXPECT_EQ(RewriteList(broken, "FB"), "LIST(FIRST[(SELECT A FROM T) X, 'I'), ',', A]");
}

TEST(BracketFunctions, SelfReproducingCallsEnd) {
    // Oracle's LIST copies its separator several times; a separator that holds
    // the opener must not make the pass run for ever.
    const std::string in = "SELECT LIST[A, 'LIST[', B] FROM T";
    const std::string out = RewriteList(in, "Ora");
    EXPECT_LE(out.size(), BracketSizeLimit(in.size()));
    EXPECT_EQ(RewriteHora("HORAHORA[[x,1]", "FB"), "HORA[x");
}

TEST(BracketFunctions, GrowthStopsAtTheSizeLimit) {
    // FIRST copies its query and its count, which here overlap: each round
    // doubles the nested calls. The rounds stop before the limit is passed.
    std::string in = "X";
    for (int i = 0; i < 40; ++i) in = "FIRST[(S 'E', " + in + ")";
    in += std::string(40, ']');
    for (const char* d : {"FB", "PG", "Ora"}) {
        EXPECT_LE(RewriteFirst(in, d).size(), BracketSizeLimit(in.size())) << d;
        EXPECT_LE(RewriteFirst(in, d, 1000).size(), std::max<size_t>(1000, in.size())) << d;
    }
}
