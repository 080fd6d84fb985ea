#include "shell/Utf8.h"

namespace shell {

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string ReplaceInvalidUtf8(const std::string& bytes) {
    if (IsValidUtf8(bytes)) return bytes;
    std::string out;
    out.reserve(bytes.size() + 16);
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp;
        const size_t len = DecodeUtf8(bytes, i, cp);
        if (len == 0) {
            AppendUtf8(out, 0xFFFD);
            ++i;
        } else {
            out.append(bytes, i, len);
            i += len;
        }
    }
    return out;
}

}  // namespace shell

namespace shell {

size_t DecodeUtf8(std::string_view text, size_t at, char32_t& cp) {
    if (at >= text.size()) return 0;
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    size_t len;
    char32_t value, min;
    if ((c & 0xE0) == 0xC0) {
        len = 2, value = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, value = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, value = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (at + len > text.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const unsigned char cc = static_cast<unsigned char>(text[at + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        value = (value << 6) | (cc & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    cp = value;
    return len;
}

bool IsValidUtf8(std::string_view text) {
    char32_t cp;
    for (size_t i = 0; i < text.size();) {
        const size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

size_t Utf8CharLength(std::string_view text, size_t at) {
    if (at >= text.size()) return 0;
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    size_t j = at + 1;
    while (j < text.size() && j < at + len && (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80) ++j;
    return j - at;
}

}  // namespace shell
