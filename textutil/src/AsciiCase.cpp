#include "textutil/AsciiCase.h"

#include <cstdint>
#include <cstring>

namespace textutil {

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    // Eight bytes at a time: a byte gets bit 0x20 cleared when it is 'a'..'z'.
    // Bytes of 0x80 and above (UTF-8) are left alone.
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    size_t i = 0;
    for (; i + 8 <= out.size(); i += 8) {
        uint64_t x;
        std::memcpy(&x, out.data() + i, 8);
        const uint64_t h = x & ~kHigh;
        const uint64_t atLeastA = h + (0x80 - 'a') * kOnes;
        const uint64_t aboveZ = h + (0x80 - 'z' - 1) * kOnes;
        const uint64_t lower = atLeastA & ~aboveZ & ~x & kHigh;
        x ^= lower >> 2;
        std::memcpy(out.data() + i, &x, 8);
    }
    for (; i < out.size(); ++i) out[i] = UpperAsciiChar(out[i]);
    return out;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = LowerAsciiChar(c);
    return out;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && UpperAsciiChar(a[i]) != UpperAsciiChar(b[i])) return false;
    return true;
}

}  // namespace textutil
