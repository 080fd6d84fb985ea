// Number text for statements: general format with 15 significant digits.
#include "shell/NumberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace shell {

std::string NumberText(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0.0) return "0";

    // 15 significant digits, rounded once: d.dddddddddddddde±x
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = value < 0 ? "-" : "";
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += "E" + std::to_string(exponent);
        return out;
    }
    if (exponent >= 0) {
        size_t whole = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits + std::string(whole - digits.size(), '0');
        } else {
            out += digits.substr(0, whole) + "." + digits.substr(whole);
        }
    } else {
        out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    return out;
}

}  // namespace shell
