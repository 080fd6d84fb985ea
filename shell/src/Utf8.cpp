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

namespace {

// Length of the well-formed sequence that starts at s[i], 0 when none does.
size_t SequenceLength(const std::string& s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    size_t len;
    char32_t cp, min;
    if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; min = 0x10000; }
    else return 0;
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

bool IsValidUtf8(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size();) {
        size_t len = SequenceLength(bytes, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string ReplaceInvalidUtf8(const std::string& bytes) {
    if (IsValidUtf8(bytes)) return bytes;
    std::string out;
    out.reserve(bytes.size() + 16);
    for (size_t i = 0; i < bytes.size();) {
        size_t len = SequenceLength(bytes, i);
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
