// Translation of a statement of the house dialect into Firebird, PostgreSQL
// or Oracle SQL. Pure text functions; the query component keeps the memo and
// writes the trace around them.
#pragma once
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sqltranslate {

// The translator's refusal ("Função não reconhecida." ...): a general error.
class ETranslateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs a catalogue statement (house dialect) on the query's connection and
// returns the values of its first column, row by row. Oracle only.
using CatalogueRunner = std::function<std::vector<std::string>(const std::string& sql)>;

// Passes of the pipeline for one statement text (lines ended by CR LF), for
// the dialect code "FB", "PG" or "Ora" (any other: only the stages that say
// so). Throws ETranslateError when a house function is left over, when a
// HORA[..] flag is not a Boolean, and (without a catalogue runner) when an
// Oracle alias.* needs the catalogue. Errors of the runner pass through.
std::string TranslateText(const std::string& text, const std::string& dialect,
                          const CatalogueRunner& catalogue = {});

// Translation memo of a query: `original` is the last house-dialect text that
// was translated and `anterior` its translation. True when `text` needs no
// translation: it equals `original` in any letter case (then `text` becomes
// `anterior`), or it is `anterior` itself, so a translated text is never
// translated a second time.
bool MemoHit(std::string& text, const std::string& original, const std::string& anterior);

}  // namespace sqltranslate
