// UTF-8 encoding of single code points, shared by the text handling of the
// service (upper-casing, inbox decoding).
#pragma once
#include <string>

namespace shell {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace shell
