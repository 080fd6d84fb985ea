// Small text helpers shared by the translation passes. Letter case is folded
// for ASCII letters only, so upper-casing never moves a byte: a position found
// in the upper-cased text is the same position in the text itself.
#pragma once
#include <string>
#include <string_view>

#include "textutil/AsciiCase.h"
#include "textutil/Blanks.h"

namespace sqltranslate::text {

inline constexpr size_t npos = std::string::npos;

// Letter case and blanks as every layer sees them.
inline char Up(char c) { return textutil::UpperAsciiChar(c); }
inline bool IsTrimmed(char c) { return textutil::IsBlank(c); }
inline std::string Upper(std::string_view s) { return textutil::UpperAscii(s); }
inline std::string Trim(std::string_view s) { return textutil::TrimBlanks(s); }
inline std::string TrimLeft(std::string_view s) { return textutil::TrimLeftBlanks(s); }

// Position of needle in hay at or after from, matched without regard to case.
size_t FindCI(std::string_view hay, std::string_view needle, size_t from = 0);
inline bool ContainsCI(std::string_view hay, std::string_view needle) { return FindCI(hay, needle) != npos; }
inline bool Contains(std::string_view hay, std::string_view needle) { return hay.find(needle) != npos; }
size_t CountCI(std::string_view hay, std::string_view needle);
inline bool EqualsCI(std::string_view a, std::string_view b) { return textutil::EqualsIgnoringAsciiCase(a, b); }

// Every occurrence, left to right, not looking again inside a replacement.
// An empty needle leaves the text as it is.
std::string ReplaceAll(std::string_view s, std::string_view needle, std::string_view repl);
std::string ReplaceAllCI(std::string_view s, std::string_view needle, std::string_view repl);
std::string ReplaceFirst(std::string_view s, std::string_view needle, std::string_view repl);
std::string ReplaceFirstCI(std::string_view s, std::string_view needle, std::string_view repl);

// The substring of count characters from the 1-based index, with the forgiving
// bounds of the classic Copy: an index below 1 shortens the count, a count
// reaching past the end stops at the end, anything empty gives "".
inline constexpr long long kToEnd = 1LL << 60;
std::string Copy(std::string_view s, long long index, long long count = kToEnd);

// 1-based position of needle in s at or after the 1-based offset; 0 when absent.
long long Pos(std::string_view needle, std::string_view s, long long offset = 1);
long long PosCI(std::string_view needle, std::string_view s, long long offset = 1);

// The SQL string literal of s: apostrophes doubled, enclosed in apostrophes.
std::string Quoted(std::string_view s);

// Every CR LF pair replaced by repl.
inline std::string CrLfTo(std::string_view s, std::string_view repl) { return ReplaceAll(s, "\r\n", repl); }

}  // namespace sqltranslate::text
