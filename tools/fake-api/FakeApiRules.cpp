#include "FakeApiRules.h"

#include <stdexcept>

namespace fakeapi {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

Rule RuleFromJson(const nlohmann::json& j) {
    Rule r;
    r.method = j.value("method", "");
    r.path = j.at("path").get<std::string>();
    r.bodyContains = j.value("body_contains", "");
    r.status = j.value("status", 200);
    if (j.contains("body") && !j["body"].is_null()) r.body = j["body"].get<std::string>();
    r.contentType = j.value("content_type", "");
    r.latin1 = j.value("latin1", false);
    r.delayMs = j.value("delay_ms", 0);
    r.times = j.value("times", -1);
    r.action = j.value("action", "");
    if (!r.action.empty() && r.action != "hold" && r.action != "stall" && r.action != "cut" && r.action != "drop")
        throw std::invalid_argument("unknown action " + r.action);
    r.holdMs = j.value("hold_ms", 300000);
    r.bodyBytes = j.value("body_bytes", -1LL);
    r.chunked = j.value("chunked", false);
    return r;
}

std::optional<Rule> Rules::Take(const std::string& method, const std::string& path, const std::string& body) {
    for (auto it = FRules.rbegin(); it != FRules.rend(); ++it) {
        if (it->times == 0) continue;
        if (!it->method.empty() && it->method != method) continue;
        if (!EndsWith(path, it->path)) continue;
        if (!it->bodyContains.empty() && body.find(it->bodyContains) == std::string::npos) continue;
        if (it->times > 0) --it->times;
        return *it;
    }
    return std::nullopt;
}

std::string Utf8ToLatin1(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned cp = 0;
        size_t len = 1;
        if (c < 0x80) cp = c;
        else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) { cp = ((c & 0x1Fu) << 6) | (text[i + 1] & 0x3Fu); len = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = 0x100; len = 3; }
        else if ((c & 0xF8) == 0xF0) { cp = 0x100; len = 4; }
        else cp = '?';
        out += cp < 0x100 ? static_cast<char>(cp) : '?';
        i += len;
    }
    return out;
}

}  // namespace fakeapi
