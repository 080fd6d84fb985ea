// SUBSTRING(x FROM a FOR b), the TO_CHAR forms of the time-part house
// functions, and the AS that Oracle refuses between ")" and an alias.
#include <algorithm>

#include "TextOps.h"
#include "MaskedPasses.h"

namespace sqltranslate::masked {

using namespace text;

std::string RewriteSubstring(const std::string& input) {
    std::string t = input;
    // Every round replaces a call by a strictly shorter text, so this ends.
    for (size_t a = FindCI(t, "SUBSTRING"); a != npos; a = FindCI(t, "SUBSTRING")) {
        size_t off = a + 9;
        std::string_view rest = std::string_view(t).substr(off);

        // A keyword that is missing counts as position 0: the classic Copy
        // then drops the keyword's length less one from the front.
        long long c = PosCI(" FROM ", rest);
        std::string x = Copy(rest, 1, c - 1);
        size_t drop = static_cast<size_t>(std::min<long long>(c + 5, static_cast<long long>(rest.size())));
        off += drop;
        rest = std::string_view(t).substr(off);

        long long e = PosCI(" FOR ", rest);
        std::string s = Copy(rest, 1, e - 1);
        drop = static_cast<size_t>(std::min<long long>(e + 4, static_cast<long long>(rest.size())));
        off += drop;

        // Closing parenthesis of the call: pair "(" with ")" from the left.
        std::string tail = t.substr(off);
        for (;;) {
            size_t open = tail.find('('), close = tail.find(')');
            if (open == npos || close == npos || close < open) break;
            tail[close] = '#';
            tail[open] = '!';
        }
        size_t close = tail.find(')');
        size_t len = close == npos ? 0 : close + 1;
        std::string n = tail.substr(0, len);
        for (char& ch : n) ch = ch == '#' ? ')' : ch == '!' ? '(' : ch;

        t = t.substr(0, a) + "SUBSTR" + x + "," + s + "," + n + t.substr(off + len);
    }
    return t;
}

std::string RewriteToChar(const std::string& t, std::string_view name, std::string_view format) {
    size_t p = FindCI(t, name);
    if (p == npos) return t;
    std::string_view rest = std::string_view(t).substr(p + name.size());
    long long close = FindClosingParen(rest);
    std::string arg = Copy(rest, 1, close);
    size_t end = std::min(t.size(), p + name.size() + static_cast<size_t>(close));
    return t.substr(0, p) + "(TO_CHAR(" + arg + ",'" + std::string(format) + "'))" + t.substr(end);
}

namespace {

bool IsBlankOrBreak(char c) { return c == ' ' || c == '\r' || c == '\n'; }

// The first seven characters of what follows the two letters, with CR LF as
// a blank, trimmed and upper-cased.
std::string NextWord7(const std::string& t, size_t from) {
    std::string w;
    size_t i = from;
    while (i < t.size() && IsTrimmed(t[i])) ++i;
    while (i < t.size() && w.size() < 7) {
        if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') {
            w += ' ';
            i += 2;
        } else {
            w += Up(t[i++]);
        }
    }
    return w;
}

bool IsCastTarget(const std::string& w) {
    return w == "DECIMAL" || w == "INTEGER" || w == "VARCHAR" || w == "NUMERIC" || w.rfind("DATE", 0) == 0 ||
           w.rfind("TIME", 0) == 0;
}

}  // namespace

std::string RewriteAliasAs(const std::string& input) {
    std::string t = input;
    size_t a = FindCI(t, "AS");
    // 1-based: a > 1 and a < length - 1.
    while (a != npos && a >= 1 && a + 2 < t.size()) {
        const bool exact = t[a] == 'A' && t[a + 1] == 'S';
        size_t i = a;
        while (i > 0 && IsBlankOrBreak(t[i - 1])) --i;
        const bool afterParen = i > 0 && t[i - 1] == ')';
        const char next = t[a + 2];
        const bool beforeAlias = IsBlankOrBreak(next) || next == '(';
        if (afterParen && beforeAlias && !IsCastTarget(NextWord7(t, a + 2))) {
            t.erase(a, 2);
        } else {
            t[a] = exact ? '@' : '%';
            t[a + 1] = exact ? '%' : '@';
        }
        // Nothing before a can have become "AS": search on from the character before.
        a = FindCI(t, "AS", a == 0 ? 0 : a - 1);
    }
    t = ReplaceAll(t, "@%", "AS");
    return ReplaceAll(t, "%@", "as");
}

}  // namespace sqltranslate::masked
