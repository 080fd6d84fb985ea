// String literals are opaque to every pass; what the house dialect defines on
// literals still works: dates, HORA inside a time literal, the literal
// arguments of the bracket and house functions, the '' comparisons.
#include <gtest/gtest.h>

#include "sqltranslate/Passes.h"
#include "sqltranslate/SqlTranslate.h"

using namespace sqltranslate;

namespace {

std::string L(const std::string& s) { return s + "\r\n"; }

struct Case {
    std::string input, fb, pg, ora;  // ora empty: not checked
};

void Check(const Case& c) {
    EXPECT_EQ(TranslateText(c.input, "FB"), c.fb) << "FB: " << c.input;
    EXPECT_EQ(TranslateText(c.input, "PG"), c.pg) << "PG: " << c.input;
    if (!c.ora.empty()) {
        EXPECT_EQ(TranslateText(c.input, "Ora"), c.ora) << "Ora: " << c.input;
    }
}

TEST(Literals, HouseSyntaxInsideALiteralIsAValue) {
    const std::string same[] = {
        L("SELECT 'UDF_LEN(X)', 'KV_BLOB(A)', 'dbms_lob.substr(A)' FROM T"),
        L("UPDATE T SET A = 'DESCENDING', B = 'current_date coalesce(' WHERE C = 'SUBSTRING(X FROM 1 FOR 2)'"),
        L("SELECT * FROM T WHERE A = 'LIST[X, '';'', Y]' AND B = 'WEEK_NUMBER[X]' AND C = 'FIRST[(SELECT 1) X, ''E'', 1]'"),
        L("INSERT INTO T (A, B) VALUES ('x = '''' ok', 'POSITION(''A'', B)')"),
        L("SELECT 1 FROM T WHERE A = ')' AND B = UPPER('(')"),
        // a house function name in a literal is no leftover
        L("SELECT 'UDF_NVL(' FROM T"),
    };
    for (const std::string& s : same) Check({s, s, s, s});
}

TEST(Literals, HouseSyntaxOutsideLiteralsStillTranslates) {
    Check({L("SELECT UDF_LEN(A) FROM T WHERE B = 'UDF_LEN(B)' ORDER BY A DESCENDING"),
           L("SELECT CHAR_LENGTH(A) FROM T WHERE B = 'UDF_LEN(B)' ORDER BY A DESC"),
           L("SELECT CHAR_LENGTH(A) FROM T WHERE B = 'UDF_LEN(B)' ORDER BY A DESC"),
           L("SELECT length(A) FROM T WHERE B = 'UDF_LEN(B)' ORDER BY A DESC")});
    // arguments that are literals with parentheses and commas in them
    Check({L("SELECT UDF_MINUTESBETWEEN(A, 'x,(y') FROM T"), L("SELECT ABS(TRUNC((A- 'x,(y') / 60)) FROM T"),
           L("SELECT ABS(TRUNC(EXTRACT(EPOCH FROM A -  'x,(y') / 60))  FROM T"),
           L("SELECT ABS(TRUNC((CAST(A AS DATE)-CAST( 'x,(y' AS DATE))*1440)) FROM T")});
    Check({L("SELECT KV_BLOB(P.OBS) FROM P WHERE P.A = 'KV_BLOB(x)'"),
           L("SELECT P.OBS FROM P WHERE P.A = 'KV_BLOB(x)'"), L("SELECT P.OBS FROM P WHERE P.A = 'KV_BLOB(x)'"),
           L("SELECT dbms_lob.substr(P.OBS)  FROM P WHERE P.A = 'KV_BLOB(x)'")});
    // a separator with a quote of its own is read whole
    Check({L("SELECT LIST[I.COD, 'a''b', I.COD] FROM I"), L("SELECT LIST(I.COD, 'a''b') FROM I"),
           L("SELECT STRING_AGG(I.COD, 'a''b') FROM I"), ""});
}

TEST(Literals, HoraInsideATimeLiteral) {
    Check({L("SELECT * FROM T WHERE H = 'HORA[12/30/1899 08:30:00,0]'"), L("SELECT * FROM T WHERE H = '08:30:00'"),
           L("SELECT * FROM T WHERE H = '1899-12-30 8:30:0'"), L("SELECT * FROM T WHERE H = '30/12/1899 8:30:0'")});
    // opener and "]" in different literals, or one in and one out: no call
    const std::string spans[] = {L("SELECT 'HORA[a', '0]' FROM T"), L("SELECT 'HORA[a', 0] FROM T"),
                                 L("SELECT HORA[a, ',0]' FROM T"), L("SELECT 'x HORA[a,y] x' FROM T")};
    for (const std::string& s : spans) Check({s, s, s, s});
    // outside literals a flag that is no Boolean still fails
    EXPECT_THROW(TranslateText(L("SELECT HORA[a,y] FROM T"), "FB"), ETranslateError);
}

TEST(Literals, DatesAndDayDifferences) {
    Check({L("SELECT UDF_DAYSBETWEEN(P.DATA, '12/25/2024') FROM P WHERE P.OBS = 'UDF_DAYSBETWEEN(a, b)'"),
           L("SELECT ABS(CAST(P.DATA- CAST('12/25/2024' AS DATE) AS INTEGER)) FROM P WHERE P.OBS = "
             "'UDF_DAYSBETWEEN(a, b)'"),
           L("SELECT ABS(CAST(P.DATA- CAST('2024-12-25' AS DATE) AS INTEGER)) FROM P WHERE P.OBS = "
             "'UDF_DAYSBETWEEN(a, b)'"),
           L("SELECT ABS(CAST(P.DATA- CAST('25/12/2024' AS DATE) AS INTEGER)) FROM P WHERE P.OBS = "
             "'UDF_DAYSBETWEEN(a, b)'")});
}

TEST(Literals, EmptyStringComparisonsStayRewritten) {
    EXPECT_EQ(TranslateText(L("SELECT * FROM P WHERE A = '' AND B = 'x = '''' y'"), "Ora"),
              L("SELECT * FROM P WHERE A  IS NULL  AND B = 'x = '''' y'"));
}

TEST(Literals, LeftoverCheckLooksOutsideLiteralsOnly) {
    try {
        TranslateText(L("SELECT UDF_FOO('UDF_BAR(') FROM T"), "FB");
        FAIL() << "not refused";
    } catch (const ETranslateError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Função não reconhecida.\r\n\r\nUDF_FOO\r\n\r\nImpossível continuar.");
    }
    EXPECT_EQ(UnrecognisedFunctionMessage(L("SELECT 'UDF_A(' || UDF_B(X) FROM T")),
              "Função não reconhecida.\r\n\r\nUDF_B\r\n\r\nImpossível continuar.");
}

TEST(Literals, ScannersStepOverLiterals) {
    EXPECT_EQ(FindClosingParen("(')', A)"), 8);
    EXPECT_EQ(FindClosingParen("(''')', A)"), 10);
    EXPECT_EQ(FindClosingParen("('x"), 1);  // no end of the literal: no ")"
}

TEST(Literals, TextThatLooksLikeTheTranslatorsOwnMarksComesBackAsWritten) {
    // bytes that no UTF-8 text holds, in and out of literals, and a quote
    // that never closes: the rest of the text is one literal
    const std::string odd[] = {L("SELECT '\xFF\x80\xFE', \xFF\x80\xFE FROM T"), L("SELECT \xFF FROM T"),
                               L("UPDATE T SET A = 'UDF_LEN(")};
    for (const std::string& s : odd) Check({s, s, s, s});
}

}  // namespace
