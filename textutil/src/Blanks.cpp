#include "textutil/Blanks.h"

namespace textutil {

std::string_view TrimBlanksView(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string TrimBlanks(std::string_view s) { return std::string(TrimBlanksView(s)); }

std::string TrimLeftBlanks(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && IsBlank(s[b])) ++b;
    return std::string(s.substr(b));
}

std::string TrimRightBlanks(std::string_view s) {
    size_t e = s.size();
    while (e > 0 && IsBlank(s[e - 1])) --e;
    return std::string(s.substr(0, e));
}

}  // namespace textutil
