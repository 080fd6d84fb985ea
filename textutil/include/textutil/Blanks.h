// Blank trimming. A blank is a space or any control character (every byte
// up to 0x20); bytes of 0x80 and above (UTF-8) are never blanks.
#pragma once
#include <string>
#include <string_view>

namespace textutil {

inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// The text without the blanks at both ends, at the start, or at the end.
std::string_view TrimBlanksView(std::string_view s);
std::string TrimBlanks(std::string_view s);
std::string TrimLeftBlanks(std::string_view s);
std::string TrimRightBlanks(std::string_view s);

}  // namespace textutil
