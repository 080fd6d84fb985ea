#include "writeoff/InboxFile.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "shell/Utf8.h"

namespace writeoff {
namespace {

using shell::AppendUtf8;
using shell::IsValidUtf8;

// Windows-1252 characters 0x80 to 0x9F; the five unassigned ones map to
// themselves as C1 controls, as Windows does.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string FromCp1252(const std::string& s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) out += ch;
        else if (c < 0xA0) AppendUtf8(out, kCp1252High[c - 0x80]);
        else AppendUtf8(out, c);
    }
    return out;
}

std::string FromUtf16(const std::string& s, size_t start, bool bigEndian) {
    std::string out;
    out.reserve(s.size() / 2);
    auto unit = [&](size_t i) -> char16_t {
        unsigned char a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]);
        return bigEndian ? static_cast<char16_t>((a << 8) | b) : static_cast<char16_t>((b << 8) | a);
    };
    size_t i = start;
    while (i + 1 < s.size()) {
        char16_t u = unit(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size()) {
            char16_t low = unit(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? char32_t(0xFFFD) : char32_t(u));
    }
    if (i < s.size()) AppendUtf8(out, 0xFFFD);  // a dangling odd byte
    return out;
}

bool StartsWith(const std::string& s, const char* prefix, size_t n) {
    return s.size() >= n && s.compare(0, n, prefix, n) == 0;
}

}  // namespace

std::string DecodeInboxText(const std::string& bytes) {
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) return bytes.substr(3);
    if (StartsWith(bytes, "\xFF\xFE", 2)) return FromUtf16(bytes, 2, false);
    if (StartsWith(bytes, "\xFE\xFF", 2)) return FromUtf16(bytes, 2, true);
    if (IsValidUtf8(bytes)) return bytes;
    return FromCp1252(bytes);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0, i = 0, n = text.size();
    while (i < n) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(text.substr(start, i - start));
            i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n) lines.push_back(text.substr(start));
    return lines;
}

std::vector<std::string> ReadInboxLines(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw std::runtime_error("Nao foi possivel ler o arquivo " + path.string() + ": e uma pasta");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("Nao foi possivel abrir o arquivo " + path.string());
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) throw std::runtime_error("Nao foi possivel ler o arquivo " + path.string());
    return SplitLines(DecodeInboxText(buffer.str()));
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string rest = line;
    if (!rest.empty() && rest.front() == ';') rest.erase(0, 1);
    size_t sep;
    while ((sep = rest.find(';')) != std::string::npos) {
        fields.push_back(rest.substr(0, sep));
        rest.erase(0, sep + 1);
        if (!rest.empty() && rest.front() == '"') {
            rest.erase(0, 1);
            size_t close = rest.find('"');
            if (close != std::string::npos) {
                std::string quoted = rest.substr(0, close);
                for (char& c : quoted)
                    if (c == ';') c = ',';
                rest = quoted + rest.substr(close + 1);
            }
        }
    }
    if (!rest.empty()) fields.push_back(rest);
    return fields;
}

const char* TimePartMessage(TimePart part) {
    switch (part) {
        case TimePart::Hours: return "Hora cadastrada de forma incorreta.";
        case TimePart::Minutes: return "Minuto cadastrado de forma incorreta.";
        case TimePart::Seconds: return "Segundo cadastrada de forma incorreta.";
    }
    return "";
}

double TimeTextToHours(const std::string& text, const std::function<void(TimePart)>& badPart) {
    auto part = [&](size_t from, TimePart which) -> int {
        std::string digits = "0" + (from < text.size() ? text.substr(from, 2) : std::string());
        long value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') {
                if (badPart) badPart(which);
                return 0;
            }
            value = value * 10 + (c - '0');
        }
        return static_cast<int>(value);
    };
    int hours = part(0, TimePart::Hours);
    int minutes = part(3, TimePart::Minutes);
    int seconds = part(6, TimePart::Seconds);
    double value = hours + (minutes + seconds / 60.0) / 60.0;
    return std::round(value * 10000.0) / 10000.0;
}

std::string DurationTimeText(double days) {
    if (!std::isfinite(days)) days = 0;
    double fraction = std::fabs(days - std::trunc(days));
    long long ms = std::llround(fraction * 86400000.0);
    if (ms >= 86400000LL) ms = 0;
    long long secs = ms / 1000;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", secs / 3600, (secs / 60) % 60, secs % 60);
    return buf;
}

}  // namespace writeoff
