// UTF-8 helpers shared by the text handling of the service (upper-casing,
// column widths, inbox decoding, answers of the web API).
#pragma once
#include <string>
#include <string_view>

namespace shell {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Decodes the character that starts at byte `at`: gives its length in bytes
// (1 to 4) and sets `cp`, or gives 0 when no well-formed character starts
// there (a stray or missing continuation byte, an overlong form, a
// surrogate, a value above U+10FFFF, or `at` past the end).
size_t DecodeUtf8(std::string_view text, size_t at, char32_t& cp);

// True when the whole text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Bytes of the character that starts at `at` for counting characters: a
// lead byte and the continuation bytes that follow it, as many as the lead
// byte announces; a stray continuation byte or any other byte is one
// character of its own. Never 0 before the end.
size_t Utf8CharLength(std::string_view text, size_t at);

// The bytes as UTF-8, each byte that does not begin a well-formed sequence
// replaced by U+FFFD. Well-formed text comes back unchanged.
std::string ReplaceInvalidUtf8(const std::string& bytes);

}  // namespace shell
