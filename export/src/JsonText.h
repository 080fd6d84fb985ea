// JSON texts as the web API receives them.
//
// The order documents go out compact, with their members in the order they
// were added, strings as UTF-8 (no \u escapes for non-ASCII characters) and
// fractional numbers in the general format of the ERP's other number texts.
// The login body is the same JSON written as printable ASCII: every other
// character becomes a \u escape and the solidus is escaped too.
#pragma once
#include <string>

#include <nlohmann/json.hpp>

namespace exportjob {

using Json = nlohmann::ordered_json;

// General number format: up to 15 significant digits, "." as separator, no
// trailing zeros; exponent form ("1E-6", "1.5E20") below 0.00001 and from
// 10^15 on.
std::string FormatGeneral(double value);

// Compact UTF-8 text of a document.
std::string JsonToText(const Json& value);

// Compact printable-ASCII text of a document (the login body).
std::string JsonToAsciiText(const Json& value);

}  // namespace exportjob
