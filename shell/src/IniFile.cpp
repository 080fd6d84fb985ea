#include "shell/IniFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "textutil/AsciiCase.h"
#include "textutil/Blanks.h"

namespace shell {

namespace {

using textutil::LowerAscii;
using textutil::TrimBlanks;

// A value as the profile reader gives it: the blanks around it dropped, then
// one pair of double quotes around the whole value removed. Everything
// between stays as written (";", "#", blanks and quotes inside).
std::string ProfileValue(const std::string& raw) {
    std::string value = TrimBlanks(raw);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

TIniFile::TIniFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return;
    FLoaded = true;
    Parse(text.str());
}

TIniFile TIniFile::FromText(const std::string& text) {
    TIniFile ini;
    ini.FLoaded = true;
    ini.Parse(text);
    return ini;
}

void TIniFile::Parse(const std::string& input) {
    std::string text = input;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // byte-order mark
    std::string section;
    bool inSection = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();

        std::string trimmed = TrimBlanks(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
        if (trimmed[0] == '[') {
            size_t close = trimmed.find(']');
            std::string name = TrimBlanks(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            section = LowerAscii(name);
            inSection = true;
            FSections[section];
            FSectionNames.emplace(section, name);
            continue;
        }
        if (!inSection) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = LowerAscii(TrimBlanks(line.substr(0, eq)));
        if (key.empty()) continue;
        auto& keys = FSections[section];
        if (keys.count(key)) continue;  // the first occurrence wins
        keys[key] = ProfileValue(line.substr(eq + 1));
        FNames.push_back({section, TrimBlanks(line.substr(0, eq))});
    }
}

std::vector<TIniFile::TKeyName> TIniFile::KeyNames() const {
    std::vector<TKeyName> names;
    for (const auto& n : FNames) {
        auto s = FSectionNames.find(n.Section);
        names.push_back({s == FSectionNames.end() ? n.Section : s->second, n.Key});
    }
    return names;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    auto s = FSections.find(LowerAscii(TrimBlanks(section)));
    if (s == FSections.end()) return false;
    return s->second.count(LowerAscii(TrimBlanks(key))) > 0;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    auto s = FSections.find(LowerAscii(TrimBlanks(section)));
    if (s == FSections.end()) return defaultValue;
    auto k = s->second.find(LowerAscii(TrimBlanks(key)));
    if (k == s->second.end()) return defaultValue;
    return k->second;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                              int32_t defaultValue) const {
    int32_t value = 0;
    if (!ValueExists(section, key)) return defaultValue;
    return TryStrToInt(ReadString(section, key, ""), value) ? value : defaultValue;
}

bool TryStrToInt(const std::string& text, int32_t& value) {
    std::string t = TrimBlanks(text);
    if (t.empty()) return false;
    size_t i = 0;
    bool negative = false;
    if (t[i] == '+' || t[i] == '-') negative = t[i++] == '-';
    if (i >= t.size()) return false;
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
        v = v * 10 + (t[i] - '0');
        if (v > static_cast<long long>(INT32_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    value = static_cast<int32_t>(v);
    return true;
}

int32_t StrToInt(const std::string& text) {
    int32_t value = 0;
    if (!TryStrToInt(text, value)) throw std::invalid_argument("'" + text + "' is not a valid integer value");
    return value;
}

}  // namespace shell
