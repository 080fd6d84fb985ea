#include "shell/TextCase.h"

#include <locale.h>
#include <wctype.h>

#include "shell/Utf8.h"

namespace shell {

namespace {

// Upper case of one code point by the Unicode tables of the C library's
// C.UTF-8 locale, whatever locale the process runs in.
char32_t UpperCodePoint(char32_t cp) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!utf8) return cp >= 'a' && cp <= 'z' ? cp - 'a' + 'A' : cp;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), utf8));
}

}  // namespace

std::string UpperCaseText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) {
            out += text[i++];  // not UTF-8: keep the byte
            continue;
        }
        AppendUtf8(out, UpperCodePoint(cp));
        i += len;
    }
    return out;
}

}  // namespace shell
