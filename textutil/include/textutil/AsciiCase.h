// Letter case of the ASCII letters a to z only: every other byte (accented
// letters in UTF-8 among them) stays as it is, so a position found in the
// changed text is the same position in the text itself.
#pragma once
#include <string>
#include <string_view>

namespace textutil {

inline char UpperAsciiChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
inline char LowerAsciiChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string UpperAscii(std::string_view s);
std::string LowerAscii(std::string_view s);
// Equal but for the case of ASCII letters.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace textutil
