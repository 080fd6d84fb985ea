// Scanners and the final scanning pass (dates, day differences, weekdays, KV_BLOB).
#include <gtest/gtest.h>

#include "sqltranslate/Passes.h"

using namespace sqltranslate;

TEST(FindClosingParen, PairsFromTheLeftAndSkipsTheFirstCharacter) {
    struct Case { const char* text; long long expected; } cases[] = {
        {"(A)", 3},
        {"A)", 2},          // the first character is never examined
        {"(A", 1},          // no ")" at all
        {"", 1},
        {"(SUM(A))+1", 8},  // the ")" that closes the outer call
        {"SUM(A))+1", 7},   // text that begins just after the "("
        {"((A)", 1},        // inner pair consumed, nothing left to close
        {"(A)(B)", 3},
        {"X(A(B)C)D)E", 10},
    };
    for (const auto& c : cases) EXPECT_EQ(FindClosingParen(c.text), c.expected) << c.text;
}

TEST(TrailingWord, StopsAtTheLastBlankOrComma) {
    struct Case { const char* text; const char* expected; } cases[] = {
        {"SELECT T.*", "T.*"}, {"A,B", "B"}, {"SELECT ", ""}, {"A,", ""}, {"WORD", "WORD"},
        {"", ""}, {"A\r\nB", "A\r\nB"},  // line breaks are not separators
    };
    for (const auto& c : cases) EXPECT_EQ(TrailingWord(c.text), c.expected) << c.text;
}

TEST(CharCountIs, CountsExactly) {
    EXPECT_TRUE(CharCountIs("12/25/2024", '/', 2));
    EXPECT_FALSE(CharCountIs("12/25/2024", '/', 3));
    EXPECT_TRUE(CharCountIs("", '/', 0));
}

TEST(ParseDateLiteral, ReadsMonthFirstAndChecksTheCalendar) {
    struct Case { const char* text; bool ok; unsigned m, d, y; } cases[] = {
        {"02/29/2024", true, 2, 29, 2024},  {"02/29/2023", false, 0, 0, 0}, {"02/29/2000", true, 2, 29, 2000},
        {"02/29/1900", false, 0, 0, 0},     {"12/31/9999", true, 12, 31, 9999}, {"01/01/0000", false, 0, 0, 0},
        {"13/25/2024", false, 0, 0, 0},     {"04/31/2024", false, 0, 0, 0}, {"1 /5 /2024", true, 1, 5, 2024},
        {"AB/05/2024", false, 0, 0, 0},     {"-1/05/2024", false, 0, 0, 0}, {"01/05/", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        unsigned m = 0, d = 0, y = 0;
        EXPECT_EQ(ParseDateLiteral(c.text, m, d, y), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ((std::tuple{m, d, y}), (std::tuple{c.m, c.d, c.y})) << c.text;
        }
    }
}

TEST(ParseDateTimeLiteral, AcceptsMidnightAsTwentyFourHours) {
    struct Case { const char* text; bool ok; } cases[] = {
        {"12/25/2024 08:05:09", true}, {"12/25/2024 24:00:00", true}, {"12/25/2024 24:00:01", false},
        {"12/25/2024 23:60:00", false}, {"12/25/2024 23:59:60", false}, {"02/30/2024 10:00:00", false},
        {"12/25/2024 1a:00:00", false},
    };
    for (const auto& c : cases) {
        unsigned mo, d, y, h, mi, s;
        EXPECT_EQ(ParseDateTimeLiteral(c.text, mo, d, y, h, mi, s), c.ok) << c.text;
    }
    unsigned mo, d, y, h, mi, s;
    ASSERT_TRUE(ParseDateTimeLiteral("12/25/2024 08:05:09", mo, d, y, h, mi, s));
    EXPECT_EQ((std::tuple{mo, d, y, h, mi, s}), (std::tuple{12u, 25u, 2024u, 8u, 5u, 9u}));
}

TEST(ZeroFill, FillsButNeverCuts) {
    EXPECT_EQ(ZeroFill(5, 2), "05");
    EXPECT_EQ(ZeroFill(123, 2), "123");
    EXPECT_EQ(ZeroFill(0, 3), "000");
}

struct DialectCase {
    const char* input;
    const char* fb;
    const char* pg;
    const char* ora;
};

static void ExpectDatesAndBlobs(const DialectCase& c) {
    EXPECT_EQ(RewriteDatesAndBlobs(c.input, "FB"), c.fb) << c.input;
    EXPECT_EQ(RewriteDatesAndBlobs(c.input, "PG"), c.pg) << c.input;
    EXPECT_EQ(RewriteDatesAndBlobs(c.input, "Ora"), c.ora) << c.input;
}

TEST(RewriteDatesAndBlobs, DateLiterals) {
    const DialectCase cases[] = {
        {"WHERE P.DATA >= '12/25/2024'\r\n", "WHERE P.DATA >= '12/25/2024'\r\n", "WHERE P.DATA >= '2024-12-25'\r\n",
         "WHERE P.DATA >= '25/12/2024'\r\n"},
        {"WHERE D = '01/05/2024'\r\n", "WHERE D = '01/05/2024'\r\n", "WHERE D = '2024-1-5'\r\n",
         "WHERE D = '05/01/2024'\r\n"},
        {"WHERE D = '12/25/2024 08:05:09'\r\n", "WHERE D = '12/25/2024 08:05:09'\r\n",
         "WHERE D = '2024-12-25 8:5:9'\r\n", "WHERE D = '25/12/2024 8:5:9'\r\n"},
        // not dates: month 13, two-digit year, a blank inside the quotes
        {"WHERE D = '13/25/2024' OR E = '12/25/24' OR F = ' 12/25/2024 '\r\n",
         "WHERE D = '13/25/2024' OR E = '12/25/24' OR F = ' 12/25/2024 '\r\n",
         "WHERE D = '13/25/2024' OR E = '12/25/24' OR F = ' 12/25/2024 '\r\n",
         "WHERE D = '13/25/2024' OR E = '12/25/24' OR F = ' 12/25/2024 '\r\n"},
        // two dates that are each other's swap stay apart in Oracle
        {"BETWEEN '01/02/2024' AND '02/01/2024'\r\n", "BETWEEN '01/02/2024' AND '02/01/2024'\r\n",
         "BETWEEN '2024-1-2' AND '2024-2-1'\r\n", "BETWEEN '02/01/2024' AND '01/02/2024'\r\n"},
        // a date literal is converted; the same text inside another literal
        // is part of that value and stays as written
        {"SELECT '12/25/2024' AS D, 'X 12/25/2024' FROM T\r\n", "SELECT '12/25/2024' AS D, 'X 12/25/2024' FROM T\r\n",
         "SELECT '2024-12-25' AS D, 'X 12/25/2024' FROM T\r\n", "SELECT '25/12/2024' AS D, 'X 12/25/2024' FROM T\r\n"},
        // outside any literal it is converted too
        {"WHERE A = '12/25/2024' OR B = 12/25/2024\r\n", "WHERE A = '12/25/2024' OR B = 12/25/2024\r\n",
         "WHERE A = '2024-12-25' OR B = 2024-12-25\r\n", "WHERE A = '25/12/2024' OR B = 25/12/2024\r\n"},
        // a blank after the opening quote is trimmed away before reading
        {"WHERE D = ' 12/25/2024'\r\n", "WHERE D = ' 12/25/2024'\r\n", "WHERE D = ' 2024-12-25'\r\n",
         "WHERE D = ' 25/12/2024'\r\n"},
        // an unclosed quote is not a literal
        {"WHERE D = '12/25/2024\r\n", "WHERE D = '12/25/2024\r\n", "WHERE D = '12/25/2024\r\n",
         "WHERE D = '12/25/2024\r\n"},
    };
    for (const auto& c : cases) ExpectDatesAndBlobs(c);
}

TEST(RewriteDatesAndBlobs, DateLiteralsOfAnUnknownDialectAreRemoved) {
    EXPECT_EQ(RewriteDatesAndBlobs("WHERE D = '12/25/2024'\r\n", "SQLite"), "WHERE D = ''\r\n");
}

TEST(RewriteDatesAndBlobs, DayDifferenceWeekdayAndBlob) {
    const DialectCase cases[] = {
        {"SELECT UDF_DAYSBETWEEN(P.DATA, '12/25/2024') FROM P\r\n",
         "SELECT ABS(CAST(P.DATA- CAST('12/25/2024' AS DATE) AS INTEGER)) FROM P\r\n",
         "SELECT ABS(CAST(P.DATA- CAST('2024-12-25' AS DATE) AS INTEGER)) FROM P\r\n",
         "SELECT ABS(CAST(P.DATA- CAST('25/12/2024' AS DATE) AS INTEGER)) FROM P\r\n"},
        {"SELECT udf_dayspan(A.INI,A.FIM) FROM A\r\n", "SELECT ABS(CAST(A.INI-A.FIM AS INTEGER)) FROM A\r\n",
         "SELECT ABS(CAST(A.INI-A.FIM AS INTEGER)) FROM A\r\n", "SELECT ABS(CAST(A.INI-A.FIM AS INTEGER)) FROM A\r\n"},
        {"SELECT UDF_WEEKDAY(P.DATA) FROM P\r\n", "SELECT EXTRACT(WEEKDAY FROM P.DATA) FROM P\r\n",
         "SELECT CAST(TO_CHAR(P.DATA, 'D') AS INTEGER)-1 FROM P\r\n",
         "SELECT CAST(TO_CHAR(P.DATA, 'D') AS INTEGER)-1 FROM P\r\n"},
        {"SELECT KV_BLOB(P.OBS) FROM P\r\n", "SELECT P.OBS FROM P\r\n", "SELECT P.OBS FROM P\r\n",
         "SELECT dbms_lob.substr(P.OBS)  FROM P\r\n"},
        {"SELECT DBMS_LOB.SUBSTR(P.OBS) FROM P\r\n", "SELECT P.OBS FROM P\r\n", "SELECT P.OBS FROM P\r\n",
         "SELECT dbms_lob.substr(P.OBS)  FROM P\r\n"},
        // a literal that repeats is cast once, in every place
        {"SELECT UDF_DAYSPAN('12/25/2024', '12/25/2024') FROM T\r\n",
         "SELECT ABS(CAST(CAST('12/25/2024' AS DATE)- CAST('12/25/2024' AS DATE) AS INTEGER)) FROM T\r\n",
         "SELECT ABS(CAST(CAST('2024-12-25' AS DATE)- CAST('2024-12-25' AS DATE) AS INTEGER)) FROM T\r\n",
         "SELECT ABS(CAST(CAST('25/12/2024' AS DATE)- CAST('25/12/2024' AS DATE) AS INTEGER)) FROM T\r\n"},
        // every occurrence of a call goes at once, in any letter case
        {"SELECT KV_BLOB(A) || kv_blob(a) || KV_BLOB(A) FROM T\r\n", "SELECT A || A || A FROM T\r\n",
         "SELECT A || A || A FROM T\r\n",
         "SELECT dbms_lob.substr(A)  || dbms_lob.substr(A)  || dbms_lob.substr(A)  FROM T\r\n"},
        // without any UDF_ the day-difference pass is skipped
        {"SELECT DIFERENCAENTREDATAS(A,B) FROM T\r\n", "SELECT DIFERENCAENTREDATAS(A,B) FROM T\r\n",
         "SELECT DIFERENCAENTREDATAS(A,B) FROM T\r\n", "SELECT DIFERENCAENTREDATAS(A,B) FROM T\r\n"},
        // a nested call as argument comes out broken (cut at the first ")")
        {"SELECT UDF_DAYSBETWEEN(MAX(A), B) FROM T\r\n", "SELECT ABS(CAST(MAXA AS INTEGER)), B) FROM T\r\n",
         "SELECT ABS(CAST(MAXA AS INTEGER)), B) FROM T\r\n", "SELECT ABS(CAST(MAXA AS INTEGER)), B) FROM T\r\n"},
    };
    for (const auto& c : cases) ExpectDatesAndBlobs(c);
}

TEST(RewriteDatesAndBlobs, CallsWithoutClosingParenthesisEnd) {
    for (const char* d : {"FB", "PG", "Ora"}) {
        EXPECT_EQ(RewriteDatesAndBlobs("SELECT KV_BLOB(P.OBS FROM P\r\n", d), "SELECT KV_BLOB(P.OBS FROM P\r\n");
        EXPECT_EQ(RewriteDatesAndBlobs("SELECT UDF_WEEKDAY(X\r\n", d), "SELECT UDF_WEEKDAY(X\r\n");
        EXPECT_EQ(RewriteDatesAndBlobs("SELECT KV_BLOB(A), KV_BLOB(B\r\n", d),
                  std::string(d) == "Ora" ? "SELECT dbms_lob.substr(A) , KV_BLOB(B\r\n" : "SELECT A, KV_BLOB(B\r\n");
    }
}
