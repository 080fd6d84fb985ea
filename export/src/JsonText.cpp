#include "JsonText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "shell/Utf8.h"

namespace exportjob {

std::string FormatGeneral(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0) return "0";
    // 15 significant digits, rounded once: d.dddddddddddddde[+-]XX
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    std::string text = buf;
    bool negative = text[0] == '-';
    if (negative) text.erase(0, 1);
    size_t e = text.find('e');
    int exponent = std::atoi(text.c_str() + e + 1);
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += "E" + std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else {
        size_t whole = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits + std::string(whole - digits.size(), '0');
        } else {
            out += digits.substr(0, whole) + "." + digits.substr(whole);
        }
    }
    return out;
}

namespace {

// Reads one code point of UTF-8 text; an invalid byte stands for itself
// (as a Latin-1 character) so that nothing is lost silently.
unsigned NextCodePoint(const std::string& s, size_t& i) {
    char32_t cp;
    if (const size_t n = shell::DecodeUtf8(s, i, cp); n > 0) {
        i += n;
        return static_cast<unsigned>(cp);
    }
    return static_cast<unsigned char>(s[i++]);
}

void AppendEscape(std::string& out, unsigned unit) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04X", unit);
    out += buf;
}

void WriteString(std::string& out, const std::string& s, bool ascii) {
    out += '"';
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"') { out += "\\\""; ++i; continue; }
        if (c == '\\') { out += "\\\\"; ++i; continue; }
        if (!ascii) {
            switch (c) {
                case '\b': out += "\\b"; break;
                case '\f': out += "\\f"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (c < 0x20) AppendEscape(out, c);
                    else out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        if (c == '/') { out += "\\/"; ++i; continue; }
        if (c >= 0x20 && c < 0x7F) { out += static_cast<char>(c); ++i; continue; }
        unsigned cp = NextCodePoint(s, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendEscape(out, 0xD800 + (cp >> 10));
            AppendEscape(out, 0xDC00 + (cp & 0x3FF));
        } else {
            AppendEscape(out, cp);
        }
    }
    out += '"';
}

void Write(std::string& out, const Json& v, bool ascii) {
    switch (v.type()) {
        case Json::value_t::null: out += "null"; break;
        case Json::value_t::boolean: out += v.get<bool>() ? "true" : "false"; break;
        case Json::value_t::number_integer: out += std::to_string(v.get<long long>()); break;
        case Json::value_t::number_unsigned: out += std::to_string(v.get<unsigned long long>()); break;
        case Json::value_t::number_float: out += FormatGeneral(v.get<double>()); break;
        case Json::value_t::string: WriteString(out, v.get_ref<const std::string&>(), ascii); break;
        case Json::value_t::array: {
            out += '[';
            bool first = true;
            for (const auto& item : v) {
                if (!first) out += ',';
                first = false;
                Write(out, item, ascii);
            }
            out += ']';
            break;
        }
        case Json::value_t::object: {
            out += '{';
            bool first = true;
            for (const auto& [key, item] : v.items()) {
                if (!first) out += ',';
                first = false;
                WriteString(out, key, ascii);
                out += ':';
                Write(out, item, ascii);
            }
            out += '}';
            break;
        }
        default: throw std::runtime_error("Valor JSON sem representação em texto");
    }
}

}  // namespace

std::string JsonToText(const Json& value) {
    std::string out;
    Write(out, value, false);
    return out;
}

std::string JsonToAsciiText(const Json& value) {
    std::string out;
    Write(out, value, true);
    return out;
}

}  // namespace exportjob
