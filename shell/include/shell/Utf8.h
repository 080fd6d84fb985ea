// UTF-8 helpers shared by the text handling of the service (upper-casing,
// inbox decoding, answers of the web API).
#pragma once
#include <string>

namespace shell {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or code points above U+10FFFF).
bool IsValidUtf8(const std::string& bytes);

// The bytes as UTF-8, each byte that does not begin a well-formed sequence
// replaced by U+FFFD. Well-formed text comes back unchanged.
std::string ReplaceInvalidUtf8(const std::string& bytes);

}  // namespace shell
