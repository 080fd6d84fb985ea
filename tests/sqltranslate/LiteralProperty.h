// The rule that values never change a statement, as a check over two texts of
// one statement: one built with plain placeholder values and one built with
// other (hostile) values, both after translation. Shared by the translator's
// property test, the fuzz target and the write-off's end-to-end test.
#pragma once
#include <random>
#include <string>
#include <vector>

namespace literalproperty {

// A statement cut at its string literals: outside[0] literal[0] outside[1] ...
// A quote opens a literal, a doubled quote stays inside it, a quote without
// its partner opens a literal that runs to the end.
struct TPieces {
    std::vector<std::string> Outside;
    std::vector<std::string> Literals;  // contents as written (quotes doubled)
};

inline TPieces Split(const std::string& s) {
    TPieces p;
    std::string cur;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] != '\'') {
            cur += s[i++];
            continue;
        }
        p.Outside.push_back(cur);
        cur.clear();
        size_t j = i + 1;
        std::string lit;
        while (j < s.size()) {
            if (s[j] == '\'' && j + 1 < s.size() && s[j + 1] == '\'') {
                lit += "''";
                j += 2;
            } else if (s[j] == '\'') {
                break;
            } else {
                lit += s[j++];
            }
        }
        p.Literals.push_back(lit);
        i = j + 1;
    }
    p.Outside.push_back(cur);
    return p;
}

// A value's content inside its literal.
inline std::string Escaped(const std::string& v) {
    std::string out;
    for (char c : v) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

// A value that is itself a house literal (a month-first date or date-time,
// trimmed, or a HORA[..] call): the translation may change it, inside its
// own literal only.
inline bool IsHouseLiteral(const std::string& v) {
    size_t b = 0, e = v.size();
    while (b < e && static_cast<unsigned char>(v[b]) <= 0x20) ++b;
    while (e > b && static_cast<unsigned char>(v[e - 1]) <= 0x20) --e;
    const std::string t = v.substr(b, e - b);
    size_t slashes = 0;
    for (char c : t) slashes += c == '/';
    if ((t.size() == 10 || t.size() == 19) && slashes == 2) return true;
    const size_t h = v.find("HORA[");
    return h != std::string::npos && v.find(']', h) != std::string::npos;
}

struct TValue {
    std::string Plain;    // placeholder the plain statement was built with
    std::string Hostile;  // what the other statement holds in its place
};

// Empty when the two translations agree: the same text outside the literals,
// the same number of literals, each placeholder's literal holding exactly
// the hostile value (or, for a house literal, anything), every other literal
// the same. Otherwise what differs.
inline std::string Compare(const std::string& plainOut, const std::string& hostileOut,
                           const std::vector<TValue>& values) {
    const TPieces p = Split(plainOut), h = Split(hostileOut);
    if (p.Literals.size() != h.Literals.size())
        return "literal count " + std::to_string(p.Literals.size()) + " / " + std::to_string(h.Literals.size());
    for (size_t i = 0; i < p.Outside.size(); ++i)
        if (p.Outside[i] != h.Outside[i])
            return "text outside the literals differs at piece " + std::to_string(i) + ": [" + p.Outside[i] +
                   "] / [" + h.Outside[i] + "]";
    for (size_t i = 0; i < p.Literals.size(); ++i) {
        const TValue* v = nullptr;
        for (const TValue& c : values)
            if (Escaped(c.Plain) == p.Literals[i]) v = &c;
        if (!v) {
            if (p.Literals[i] != h.Literals[i])
                return "literal " + std::to_string(i) + " differs: [" + p.Literals[i] + "] / [" + h.Literals[i] + "]";
        } else if (!IsHouseLiteral(v->Hostile) && h.Literals[i] != Escaped(v->Hostile)) {
            return "value changed in literal " + std::to_string(i) + ": [" + Escaped(v->Hostile) + "] became [" +
                   h.Literals[i] + "]";
        }
    }
    return {};
}

// Pieces that hostile values are made of: quotes, brackets, parentheses,
// house function names and pseudo-functions, comment marks, statement ends,
// line breaks, patterns of the passes, UTF-8 and bytes that are no UTF-8.
inline const std::vector<std::string>& HostilePieces() {
    static const std::vector<std::string> pieces = {
        "'", "''", "'''", "[", "]", "(", ")", ",", ";", "--", "/*", "*/", "\r\n", "\n", "\r", " ", "  ",
        "UDF_LEN(", "UDF_NVL(", "udf_copy(", "UDF_MINUTESBETWEEN(", "UDF_DAYSBETWEEN(", "UDF_WEEKDAY(",
        "UDF_HOUR(", "UDF_X", "DESCENDING", "KV_BLOB(", "dbms_lob.substr(", "FIRST[(", "LIST[", "HORA[",
        "WEEK_NUMBER[", "'E'", "'I'", "= ''", "<> ''", "=''", "AS", "As", " FROM ", " FOR ", " IN ", ".*",
        "SELECT", "WHERE", "GROUP BY", "DISTINCT", "POSITION(", "SUBSTRING(", "ASCII_CHAR", "current_date",
        "COALESCE", "#", "!", "@%", "%@", "@/@", "@@@@@@@@", "#POSITION#", "$", "12/25/2024", "1/2/2024",
        "UPDATE", "SET", "DELETE", "\xC3\xA7\xC3\xA3o", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xFF",
        "\xFE\x80", "\xFF\x80\xFE", "A", "7", "X'); DROP TABLE T; --"};
    return pieces;
}

// A hostile value of 1 to 8 pieces; now and then a long one (kilobytes).
inline std::string HostileValue(std::mt19937& rng) {
    const auto& pieces = HostilePieces();
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1), count(1, 8), longOne(0, 40);
    std::string v;
    const size_t n = longOne(rng) == 0 ? 600 : count(rng);
    for (size_t i = 0; i < n; ++i) v += pieces[pick(rng)];
    return v;
}

// Values of the house dialect's own literals: they may change inside their
// literal, and nowhere else.
inline const std::vector<std::string>& HouseLiteralValues() {
    static const std::vector<std::string> values = {"12/25/2024", "02/29/2024 23:59:59", " 01/05/2024 ",
                                                    "HORA[12/30/1899 08:30:00,0]", "HORA[12/30/1899 08:30:00,1]"};
    return values;
}

}  // namespace literalproperty
