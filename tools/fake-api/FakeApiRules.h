// Answer rules of the fake web API: a request whose method, path and body
// match a rule gets the rule's status, body, content type and delay instead of
// the default answer.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace fakeapi {

struct Rule {
    std::string method;        // empty: any method
    std::string path;          // the request path must end with it
    std::string bodyContains;  // empty: any body
    int status = 200;
    std::optional<std::string> body;  // absent: the default body of the path
    std::string contentType;          // empty: the default content type
    bool latin1 = false;              // send the body converted to ISO-8859-1
    int delayMs = 0;
    int times = -1;  // uses left; -1 for ever
    // How the answer goes out, for the faults a real API or network shows:
    //   ""      the whole answer at once
    //   "hold"  never answers: the connection stays open, silent, for holdMs
    //   "stall" sends the status line and headers, then no body for holdMs
    //   "cut"   declares the whole body, sends half of it and closes
    //   "drop"  closes the connection without a byte of answer
    std::string action;
    int holdMs = 300000;
    long long bodyBytes = -1;  // >= 0: the body repeated (or 'x') to this size
    bool chunked = false;      // send the body in chunks, without a length
};

// Reads a rule from its JSON form:
// {"method":"POST","path":"/x","body_contains":"abc","status":500,
//  "body":"...","content_type":"text/plain","latin1":true,"delay_ms":100,"times":1,
//  "action":"hold","hold_ms":60000,"body_bytes":17000000,"chunked":true}
Rule RuleFromJson(const nlohmann::json& j);

// The rule set; the rule added last wins. Not thread-safe by itself.
class Rules {
public:
    void Add(Rule rule) { FRules.push_back(std::move(rule)); }
    void Clear() { FRules.clear(); }
    // Finds the matching rule and uses it up once.
    std::optional<Rule> Take(const std::string& method, const std::string& path, const std::string& body);

private:
    std::vector<Rule> FRules;
};

bool EndsWith(const std::string& text, const std::string& tail);
// UTF-8 to ISO-8859-1; characters outside Latin-1 become '?'.
std::string Utf8ToLatin1(const std::string& text);

}  // namespace fakeapi
