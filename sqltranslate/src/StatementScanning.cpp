// Scanners over statement text and the final scanning pass: date literals,
// day differences, weekdays and KV_BLOB. The pass runs on a statement whose
// literals are hidden (Literals.h), so what it finds lies outside them.
#include <string_view>
#include <unordered_set>
#include <vector>

#include "TextOps.h"
#include "MaskedPasses.h"

namespace sqltranslate {

using namespace text;

long long FindClosingParen(std::string_view s) {
    // Pairs each "(" with the next ")" from the left, as a depth count; the
    // first character is never examined, and a string literal (a quote to
    // the next quote that is not doubled) is stepped over whole.
    long long depth = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth == 0) return static_cast<long long>(i) + 1;
            --depth;
        } else if (c == '\'') {
            for (++i; i < s.size(); ++i) {
                if (s[i] != '\'') continue;
                if (i + 1 < s.size() && s[i + 1] == '\'') {
                    ++i;  // a doubled quote stays inside
                    continue;
                }
                break;
            }
        }
    }
    return 1;
}

std::string TrailingWord(std::string_view s) {
    size_t i = s.size();
    while (i > 0 && s[i - 1] != ' ' && s[i - 1] != ',') --i;
    return std::string(s.substr(i));
}

bool CharCountIs(std::string_view s, char ch, int n) {
    int count = 0;
    for (char c : s)
        if (c == ch) ++count;
    return count == n;
}

namespace {

// A field of a house literal: trimmed, "0" in front, decimal digits only.
bool ReadField(std::string_view s, long long index, long long count, unsigned& value) {
    std::string field = Trim(Copy(s, index, count));
    unsigned v = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
        if (v > 65535) return false;
    }
    value = v;
    return true;
}

bool IsLeapYear(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool IsValidDate(unsigned year, unsigned month, unsigned day) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    unsigned last = kDays[month - 1] + ((month == 2 && IsLeapYear(year)) ? 1 : 0);
    return day <= last;
}

bool IsValidTime(unsigned h, unsigned m, unsigned s) {
    return (h < 24 && m < 60 && s < 60) || (h == 24 && m == 0 && s == 0);
}

using textutil::TrimBlanksView;

// Walks the quoted literals of s: each step reads the text after the first
// quote (trimmed, cut before the next quote) and then steps over both quotes.
template <class F>
void ForEachLiteral(std::string_view s, F&& onLiteral) {
    std::string_view scan = s;
    for (size_t q = scan.find('\''); q != npos; q = scan.find('\'')) {
        std::string_view lit = TrimBlanksView(scan.substr(q + 1));
        size_t end = lit.find('\'');
        onLiteral(end == npos ? std::string_view{} : lit.substr(0, end));
        scan = TrimBlanksView(scan.substr(q + 1));
        size_t next = scan.find('\'');
        scan = TrimBlanksView(next == npos ? scan : scan.substr(next + 1));
    }
}

// Every quoted literal of body becomes CAST('literal' AS DATE). A literal
// that repeats is cast once: casting every occurrence again for each
// repetition would nest the casts and take time cubic in their number.
std::string CastLiterals(std::string body) {
    const std::string original = body;
    std::vector<std::string_view> done;
    ForEachLiteral(original, [&](std::string_view lit) {
        for (std::string_view d : done)
            if (d == lit) return;
        done.push_back(lit);
        std::string quoted = "'" + std::string(lit) + "'";
        body = ReplaceAll(body, quoted, "CAST(" + quoted + " AS DATE)");
    });
    return body;
}

std::string WithoutParens(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != '(' && c != ')') out += c;
    return out;
}

// Runs over every call of name (exact case) in a copy of the statement. Each
// call runs from the name to the first ")" after it; makeBody gives the text
// that replaces every occurrence of the call. A name without any ")" after it
// is stepped over, so the walk always ends. A call met again (in any letter
// case) has no occurrence left to replace and is passed over, which keeps
// statements made of many copies of one call from costing a pass each.
template <class F>
std::string ForEachCall(std::string t, std::string_view name, F&& makeBody) {
    const std::string copy = t;
    std::string_view scan = copy;
    std::unordered_set<std::string> done;
    for (size_t p = scan.find(name); p != npos; p = scan.find(name)) {
        scan = TrimBlanksView(scan.substr(p));
        size_t close = scan.find(')');
        if (close == npos) {
            scan = scan.substr(name.size());
            continue;
        }
        std::string_view call = scan.substr(0, close + 1);
        if (done.insert(Upper(call)).second) t = ReplaceAllCI(t, call, makeBody(call));
        scan = TrimBlanksView(scan.substr(close + 1));
    }
    return t;
}

}  // namespace

bool ParseDateLiteral(std::string_view s, unsigned& month, unsigned& day, unsigned& year) {
    unsigned m = 0, d = 0, y = 0;
    if (!ReadField(s, 1, 2, m) || !ReadField(s, 4, 2, d) || !ReadField(s, 7, 4, y)) return false;
    if (!IsValidDate(y, m, d)) return false;
    month = m, day = d, year = y;
    return true;
}

bool ParseDateTimeLiteral(std::string_view s, unsigned& month, unsigned& day, unsigned& year, unsigned& hour,
                          unsigned& minute, unsigned& second) {
    unsigned mo = 0, d = 0, y = 0, h = 0, mi = 0, se = 0;
    if (!ReadField(s, 1, 2, mo) || !ReadField(s, 4, 2, d) || !ReadField(s, 7, 4, y) || !ReadField(s, 12, 2, h) ||
        !ReadField(s, 15, 2, mi) || !ReadField(s, 18, 2, se))
        return false;
    if (!IsValidDate(y, mo, d) || !IsValidTime(h, mi, se)) return false;
    month = mo, day = d, year = y, hour = h, minute = mi, second = se;
    return true;
}

std::string ZeroFill(unsigned value, int width) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width - static_cast<int>(s.size())), '0');
    return s;
}

namespace masked {

std::string RewriteDatesAndBlobs(const std::string& input, const std::string& dialect) {
    std::string t = input;

    // A. Month-first date literals.
    if (dialect != "FB") {
        const std::string copy = t;
        ForEachLiteral(copy, [&](std::string_view lit) {
            unsigned mo, d, y, h, mi, s;
            std::string repl;
            if (lit.size() == 10 && CharCountIs(lit, '/', 2)) {
                if (!ParseDateLiteral(lit, mo, d, y)) return;
                if (dialect == "Ora")
                    repl = ZeroFill(d, 2) + "@/@" + ZeroFill(mo, 2) + "/" + std::to_string(y);
                else if (dialect == "PG")
                    repl = std::to_string(y) + "-" + std::to_string(mo) + "-" + std::to_string(d);
            } else if (lit.size() == 19 && CharCountIs(lit, '/', 2) && lit.find(':') != npos) {
                if (!ParseDateTimeLiteral(lit, mo, d, y, h, mi, s)) return;
                const std::string time = " " + std::to_string(h) + ":" + std::to_string(mi) + ":" + std::to_string(s);
                if (dialect == "Ora")
                    repl = ZeroFill(d, 2) + "@/@" + ZeroFill(mo, 2) + "/" + std::to_string(y) + time;
                else if (dialect == "PG")
                    repl = std::to_string(y) + "-" + std::to_string(mo) + "-" + std::to_string(d) + time;
            } else {
                return;
            }
            t = ReplaceAllCI(t, lit, repl);
        });
        if (Contains(t, "'")) t = ReplaceAll(t, "@/@", "/");
    }

    // B. Day differences and weekdays.
    if (ContainsCI(t, "UDF_")) {
        static constexpr std::string_view kDiff = "DIFERENCAENTREDATAS";
        t = ReplaceAllCI(t, "UDF_DAYSPAN", kDiff);
        t = ReplaceAllCI(t, "UDF_DAYSBETWEEN", kDiff);
        t = ForEachCall(std::move(t), kDiff, [](std::string_view call) {
            std::string body = ReplaceAll(WithoutParens(ReplaceAll(call, kDiff, "")), ",", "-");
            return "ABS(CAST(" + CastLiterals(body) + " AS INTEGER))";
        });
        const bool fb = dialect == "FB";
        t = ForEachCall(std::move(t), "UDF_WEEKDAY", [fb](std::string_view call) {
            std::string body = CastLiterals(WithoutParens(ReplaceAll(call, "UDF_WEEKDAY", "")));
            return fb ? "EXTRACT(WEEKDAY FROM " + body + ")" : "CAST(TO_CHAR(" + body + ", 'D') AS INTEGER)-1";
        });
    }

    // C. KV_BLOB (and Oracle's own form written by hand).
    t = ReplaceAllCI(t, "dbms_lob.substr", "KV_BLOB");
    const bool ora = dialect == "Ora";
    t = ForEachCall(std::move(t), "KV_BLOB", [ora](std::string_view call) {
        std::string body = WithoutParens(ReplaceAll(call, "KV_BLOB", ""));
        return ora ? "dbms_lob.substr(" + body + ") " : body;
    });
    return t;
}

}  // namespace masked
}  // namespace sqltranslate
