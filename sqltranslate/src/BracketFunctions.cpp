// The bracket pseudo-functions LIST[..], HORA[..], WEEK_NUMBER[..] and
// FIRST[..], rewritten into each server's own SQL.
#include <climits>

#include "TextOps.h"
#include "MaskedPasses.h"

namespace sqltranslate {

using namespace text;

namespace {

// The frame shared by the four rewriters: the first call of the opener (exact
// case) runs to the first "]" after it, and every occurrence of that call is
// replaced by what makeRepl builds from the text between the brackets.
//
// A well-formed statement needs at most one round per opener it holds. The
// loop also stops when an opener has no "]" after it (no later opener can have
// one either), after that many rounds, and before a round that would make the
// text larger than maxSize (calls whose parts hold further calls can double
// the text each round); what is left then reaches the server as written.
template <class F>
std::string RewriteBrackets(const std::string& input, std::string_view opener, size_t maxSize, F&& makeRepl) {
    std::string t = input;
    size_t rounds = 0;
    const size_t maxRounds = CountCI(input, opener);  // exact matches are a subset
    for (size_t p = t.find(opener); p != npos; p = t.find(opener)) {
        size_t q = t.find(']', p);
        if (q == npos || ++rounds > maxRounds) break;
        std::string call = t.substr(p, q - p + 1);
        std::string inner = t.substr(p + opener.size(), q - p - opener.size());
        std::string next = ReplaceAll(t, call, makeRepl(inner));
        if (next.size() > maxSize) break;
        t = std::move(next);
    }
    return t;
}

// The text before the first comma ("" when there is none).
std::string BeforeFirstComma(const std::string& s) { return Copy(s, 1, Pos(",", s) - 1); }

// A Boolean written as text: a whole number (0 is false) or True/False in any
// letter case.
bool ReadBoolean(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;  // a number may have blanks before it
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i < s.size()) {
        bool digits = true;
        long long v = 0;
        for (size_t k = i; k < s.size() && digits; ++k) {
            if (s[k] < '0' || s[k] > '9')
                digits = false;
            else if ((v = v * 10 + (s[k] - '0')) > INT_MAX)
                digits = false;
        }
        if (digits) return v != 0;
    }
    if (EqualsCI(s, "True")) return true;
    if (EqualsCI(s, "False")) return false;
    throw EInvalidHoraFlag("'" + s + "' is not a valid boolean value");
}

}  // namespace

size_t BracketSizeLimit(size_t size) { return 16 * size + 16384; }

namespace masked {

std::string RewriteList(const std::string& input, const std::string& dialect, size_t maxSize) {
    return RewriteBrackets(input, "LIST[", maxSize, [&](const std::string& inner) -> std::string {
        const std::string expr = BeforeFirstComma(inner);
        const long long a = Pos("'", inner, static_cast<long long>(expr.size()) + 1);
        const long long b = a == 0 ? 0 : Pos("'", inner, a + 1);
        const std::string sep = Copy(inner, a + 1, b - a - 1);
        const std::string order = Copy(inner, Pos(",", inner, b + 1) + 1);
        if (dialect == "FB") return "LIST(" + expr + ", " + Quoted(sep) + ")";
        if (dialect == "PG") return "STRING_AGG(" + expr + ", " + Quoted(sep) + ")";
        if (dialect == "Ora") {
            const std::string e = ReplaceAllCI(expr, "DISTINCT", "");
            const std::string p1 = "([^" + sep + "]+)(" + sep + "\\1)*(" + sep + "|$)";
            const std::string p2 = "(" + sep + sep + ")";
            return "REGEXP_REPLACE( REGEXP_REPLACE( XMLAGG(XMLELEMENT(E," + e + "," + Quoted(sep) + ").EXTRACT(" +
                   Quoted("//text()") + ") ORDER BY " + order + ").GETCLOBVAL() ," + Quoted(p1) + ", " +
                   Quoted("\\1\\3") + ") ," + Quoted(p2) + "," + Quoted("") + ") ";
        }
        return {};
    });
}

std::string RewriteHora(const std::string& input, const std::string& dialect, size_t maxSize) {
    return RewriteBrackets(input, "HORA[", maxSize, [&](const std::string& inner) -> std::string {
        const std::string value = BeforeFirstComma(inner);
        const bool flag = ReadBoolean(Copy(inner, Pos(",", inner) + 1));
        if (dialect == "FB" && !flag) return Trim(Copy(value, 11));
        return value;
    });
}

std::string RewriteHoraInLiterals(literals::TMaskedText& m, const std::string& input, const std::string& dialect) {
    std::string t = input;
    for (size_t i = 0; i < m.Contents.size(); ++i) {
        if (m.Contents[i].find("HORA[") == npos) continue;
        const std::string value = ReplaceAll(m.Contents[i], "''", "'");
        std::string rewritten;
        try {
            rewritten = RewriteHora(value, dialect, BracketSizeLimit(value.size()));
        } catch (const EInvalidHoraFlag&) {
            continue;
        }
        if (rewritten == value) continue;
        std::string content = ReplaceAll(rewritten, "'", "''");
        if (literals::StaysVisible(content)) t = ReplaceAll(t, literals::TMaskedText::TokenOf(i), content);
        m.Contents[i] = std::move(content);
    }
    return t;
}

std::string RewriteWeekNumber(const std::string& input, const std::string& dialect, size_t maxSize) {
    return RewriteBrackets(input, "WEEK_NUMBER[", maxSize, [&](const std::string& inner) -> std::string {
        const std::string x = Trim(inner);
        if (dialect == "FB") return "EXTRACT(WEEK FROM " + x + ")";
        return "TO_CHAR(" + x + "," + Quoted("IW") + ")";
    });
}

std::string RewriteFirst(const std::string& input, const std::string& dialect, size_t maxSize) {
    return RewriteBrackets(input, "FIRST[", maxSize, [&](const std::string& raw) -> std::string {
        const std::string inner = CrLfTo(raw, " ");
        long long m = Pos("'E'", inner);
        const bool outer = m != 0;
        if (!outer) m = Pos("'I'", inner);
        const long long open = Pos("(", inner);
        const long long close = static_cast<long long>(inner.rfind(')') == npos ? 0 : inner.rfind(')') + 1);
        const std::string query = Trim(Copy(inner, open + 1, close - open - 1));
        const long long comma = m == 0 ? 0 : Pos(",", inner, m);
        const std::string n = Trim(Copy(inner, comma + 1));
        const long long aliasEnd = Pos(",", inner, close + 1);
        const std::string alias = Trim(Copy(inner, close + 1, aliasEnd - close - 1));

        if (dialect == "FB") return "SELECT FIRST " + n + " " + Copy(query, 7);
        if (dialect != "Ora" && dialect != "PG") return query;
        const bool ora = dialect == "Ora";
        const std::string limit = (ora ? "ROWNUM <= " : "LIMIT ") + n;
        if (outer) {
            if (ora) return "SELECT * FROM (" + query + ") WHERE ROWNUM <= " + n;
            return "SELECT * FROM (" + query + " LIMIT " + n + ") " + alias;
        }
        const long long w = PosCI("WHERE", query);
        if (w != 0) {
            if (ora) return Copy(query, 1, w + 4) + " " + limit + " AND " + Copy(query, w + 5);
            return Copy(query, 1, w - 1) + " WHERE " + Copy(query, w + 5) + " " + limit;
        }
        long long g = PosCI("GROUP BY", query);
        if (g == 0) g = PosCI("ORDER BY", query);
        if (g != 0) {
            if (ora) return Copy(query, 1, g - 1) + " WHERE  " + limit + " " + Copy(query, g);
            return Copy(query, 1, g - 1) + " " + Copy(query, g) + " " + limit;
        }
        if (ora) return query + " WHERE " + limit;
        return query + " " + limit;
    });
}

}  // namespace masked
}  // namespace sqltranslate
