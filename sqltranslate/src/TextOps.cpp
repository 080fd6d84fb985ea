#include "TextOps.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace sqltranslate::text {

namespace {

inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline char Low(char c) { return textutil::LowerAsciiChar(c); }

// The needle character the search runs on: the one that is rarest in SQL
// text. Characters without letter case need one memchr stream, letters two.
struct AnchorRanks {
    unsigned char rank[256];
    AnchorRanks() {
        static constexpr std::string_view kRareLetters = "JQZXKWVYBGHFPMUDCLNIORSATE";
        for (int c = 0; c < 256; ++c) rank[c] = 0;  // brackets, slashes, marks and the like
        for (char c : std::string_view("(),.'=\r\n")) rank[static_cast<unsigned char>(c)] = 60;
        rank[static_cast<unsigned char>('_')] = 30;
        rank[static_cast<unsigned char>(' ')] = 90;
        for (size_t i = 0; i < kRareLetters.size(); ++i) {
            rank[static_cast<unsigned char>(kRareLetters[i])] = static_cast<unsigned char>(10 + i);
            rank[static_cast<unsigned char>(kRareLetters[i] - 'A' + 'a')] = static_cast<unsigned char>(10 + i);
        }
    }
};

inline unsigned AnchorRank(char c) {
    static const AnchorRanks kRanks;
    return kRanks.rank[static_cast<unsigned char>(c)];
}

size_t AnchorIndex(std::string_view needle) {
    size_t best = 0;
    for (size_t k = 1; k < needle.size(); ++k)
        if (AnchorRank(needle[k]) < AnchorRank(needle[best])) best = k;
    return best;
}

// Next position of c at or after from, below end (end when absent).
inline size_t NextOf(const char* base, size_t from, size_t end, char c) {
    if (from >= end) return end;
    const void* p = std::memchr(base + from, c, end - from);
    return p ? static_cast<size_t>(static_cast<const char*>(p) - base) : end;
}

}  // namespace

size_t FindCI(std::string_view hay, std::string_view needle, size_t from) {
    if (needle.empty()) return from <= hay.size() ? from : npos;
    if (hay.size() < needle.size() || from > hay.size() - needle.size()) return npos;
    const size_t k = AnchorIndex(needle);
    const char up = Up(needle[k]), low = Low(needle[k]);
    const char* base = hay.data();
    const size_t end = hay.size() - needle.size() + k + 1;  // anchor positions below end
    size_t nextUp = NextOf(base, from + k, end, up);
    size_t nextLow = up == low ? end : NextOf(base, from + k, end, low);
    while (true) {
        const size_t j = std::min(nextUp, nextLow);
        if (j >= end) return npos;
        const size_t start = j - k;
        size_t m = 0;
        while (m < needle.size() && Up(base[start + m]) == Up(needle[m])) ++m;
        if (m == needle.size()) return start;
        if (j == nextUp) nextUp = NextOf(base, j + 1, end, up);
        if (j == nextLow) nextLow = NextOf(base, j + 1, end, low);
    }
}

size_t CountCI(std::string_view hay, std::string_view needle) {
    if (needle.empty()) return 0;
    size_t n = 0;
    for (size_t p = FindCI(hay, needle); p != npos; p = FindCI(hay, needle, p + needle.size())) ++n;
    return n;
}

namespace {
template <bool CI>
std::string Replace(std::string_view s, std::string_view needle, std::string_view repl, bool all) {
    if (needle.empty()) return std::string(s);
    auto find = [&](size_t from) { return CI ? FindCI(s, needle, from) : s.find(needle, from); };
    size_t p = find(0);
    if (p == npos) return std::string(s);
    std::string out;
    out.reserve(s.size() + (repl.size() > needle.size() ? 4 * (repl.size() - needle.size()) : 0));
    size_t from = 0;
    while (p != npos) {
        out.append(s.substr(from, p - from));
        out.append(repl);
        from = p + needle.size();
        if (!all) break;
        p = find(from);
    }
    out.append(s.substr(from));
    return out;
}
}  // namespace

std::string ReplaceAll(std::string_view s, std::string_view needle, std::string_view repl) {
    return Replace<false>(s, needle, repl, true);
}
std::string ReplaceAllCI(std::string_view s, std::string_view needle, std::string_view repl) {
    return Replace<true>(s, needle, repl, true);
}
std::string ReplaceFirst(std::string_view s, std::string_view needle, std::string_view repl) {
    return Replace<false>(s, needle, repl, false);
}
std::string ReplaceFirstCI(std::string_view s, std::string_view needle, std::string_view repl) {
    return Replace<true>(s, needle, repl, false);
}

std::string Copy(std::string_view s, long long index, long long count) {
    const long long len = static_cast<long long>(s.size());
    if (index < 1) {
        count += index - 1;
        index = 1;
    }
    if (count <= 0 || index > len) return {};
    count = std::min(count, len - index + 1);
    return std::string(s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count)));
}

long long Pos(std::string_view needle, std::string_view s, long long offset) {
    if (offset < 1) offset = 1;
    if (offset > static_cast<long long>(s.size()) + 1) return 0;
    size_t p = s.find(needle, static_cast<size_t>(offset - 1));
    return p == npos ? 0 : static_cast<long long>(p) + 1;
}

long long PosCI(std::string_view needle, std::string_view s, long long offset) {
    if (offset < 1) offset = 1;
    if (offset > static_cast<long long>(s.size()) + 1) return 0;
    size_t p = FindCI(s, needle, static_cast<size_t>(offset - 1));
    return p == npos ? 0 : static_cast<long long>(p) + 1;
}

std::string Quoted(std::string_view s) {
    std::string out = "'";
    for (char c : s) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

}  // namespace sqltranslate::text
