#include "Literals.h"

#include <cstring>

#include "TextOps.h"
#include "sqltranslate/Passes.h"

namespace sqltranslate::literals {

namespace {

inline bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The date-literal pass reads the content trimmed of blanks and control
// characters; so does this test.
using textutil::TrimBlanksView;

}  // namespace

bool StaysVisible(std::string_view content) {
    if (content.empty()) return true;
    if (content.size() == 1) return IsAlnum(content[0]);
    const std::string_view lit = TrimBlanksView(content);
    unsigned mo, d, y, h, mi, s;
    if (lit.size() == 10 && CharCountIs(lit, '/', 2)) return ParseDateLiteral(lit, mo, d, y);
    if (lit.size() == 19 && CharCountIs(lit, '/', 2) && lit.find(':') != std::string_view::npos)
        return ParseDateTimeLiteral(lit, mo, d, y, h, mi, s);
    return false;
}

namespace {

void AppendToken(std::string& out, size_t index) {
    out += kTokenStart;
    do {
        out += static_cast<char>(0x80 + (index & 63));
        index >>= 6;
    } while (index != 0);
    out += kTokenEnd;
}

}  // namespace

size_t TMaskedText::IndexOf(std::string_view content) {
    size_t index = 0;
    while (index < Contents.size() && Contents[index] != content) ++index;
    if (index == Contents.size()) Contents.emplace_back(content);
    return index;
}

std::string TMaskedText::TokenOf(size_t index) {
    std::string token;
    AppendToken(token, index);
    return token;
}

bool ReadToken(std::string_view text, size_t& index, size_t& length) {
    if (text.empty() || text[0] != kTokenStart) return false;
    size_t value = 0, shift = 0, i = 1;
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80 || c > 0xBF) break;
        if (shift > 48) return false;
        value |= static_cast<size_t>(c - 0x80) << shift;
        shift += 6;
    }
    if (i == 1 || i >= text.size() || text[i] != kTokenEnd) return false;
    index = value;
    length = i + 1;
    return true;
}

CatalogueRunner RestoringRunner(const TMaskedText& m, const CatalogueRunner& catalogue) {
    if (!catalogue) return {};
    return [&m, &catalogue](const std::string& sql) { return catalogue(m.Restore(sql)); };
}

TMaskedText Mask(std::string_view text) {
    TMaskedText m;
    std::string& out = m.Text;
    out.reserve(text.size() + 16);
    m.Contents.reserve(16);
    // A 0xFF outside the literals is rare: only then is every byte looked at.
    const bool anyTokenStart = std::memchr(text.data(), kTokenStart, text.size()) != nullptr;
    size_t i = 0;
    while (i < text.size()) {
        // Next quote or token start, whichever comes first.
        size_t next = i;
        if (anyTokenStart) {
            while (next < text.size() && text[next] != '\'' && text[next] != kTokenStart) ++next;
        } else {
            const void* q = std::memchr(text.data() + i, '\'', text.size() - i);
            next = q ? static_cast<size_t>(static_cast<const char*>(q) - text.data()) : text.size();
        }
        out.append(text.substr(i, next - i));
        if (next == text.size()) break;
        if (text[next] == kTokenStart) {
            AppendToken(out, m.IndexOf(text.substr(next, 1)));
            i = next + 1;
            continue;
        }
        // A literal: up to the quote that is not doubled.
        size_t j = next + 1;
        bool closed = false;
        while (j < text.size()) {
            const void* q = std::memchr(text.data() + j, '\'', text.size() - j);
            if (!q) {
                j = text.size();
                break;
            }
            j = static_cast<size_t>(static_cast<const char*>(q) - text.data());
            if (j + 1 < text.size() && text[j + 1] == '\'') {
                j += 2;
                continue;
            }
            closed = true;
            break;
        }
        const std::string_view content = text.substr(next + 1, j - next - 1);
        out += '\'';
        if (StaysVisible(content))
            out.append(content);
        else
            AppendToken(out, m.IndexOf(content));
        if (closed) out += '\'';
        i = closed ? j + 1 : text.size();
    }
    return m;
}

std::string TMaskedText::Restore(std::string_view text) const {
    if (Contents.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size() + 64);
    size_t i = 0;
    while (i < text.size()) {
        const void* p = std::memchr(text.data() + i, kTokenStart, text.size() - i);
        const size_t at = p ? static_cast<size_t>(static_cast<const char*>(p) - text.data()) : text.size();
        out.append(text.substr(i, at - i));
        if (at == text.size()) break;
        size_t index = 0, length = 0;
        if (ReadToken(text.substr(at), index, length) && index < Contents.size()) {
            out += Contents[index];
            i = at + length;
        } else {
            // A piece of a token that a pass cut (a fixed-length cut of a
            // malformed call): left as it is, and the server refuses it.
            out += text[at];
            i = at + 1;
        }
    }
    return out;
}

}  // namespace sqltranslate::literals
