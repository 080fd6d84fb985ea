// Translation of a statement of the house dialect into Firebird, PostgreSQL
// or Oracle SQL. Pure text functions; the query component keeps the memo and
// writes the trace around them.
#pragma once
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sqltranslate {

// Why the translator gave up on a statement.
enum class TTranslateFault {
    UnrecognisedFunction,  // a house function is left over ("Função não reconhecida." ...)
    InvalidHoraFlag,       // the flag of a HORA[..] is not a Boolean
    CatalogueUnavailable,  // an Oracle alias.* needs the catalogue and there is no connection
};

// Every refusal of the translator; Fault() tells them apart, and so do the
// three types below, for callers that catch only one of them.
class ETranslateError : public std::runtime_error {
public:
    ETranslateError(TTranslateFault fault, const std::string& message)
        : std::runtime_error(message), FFault(fault) {}
    TTranslateFault Fault() const { return FFault; }

private:
    TTranslateFault FFault;
};

class EUnrecognisedFunction : public ETranslateError {
public:
    explicit EUnrecognisedFunction(const std::string& message)
        : ETranslateError(TTranslateFault::UnrecognisedFunction, message) {}
};

class EInvalidHoraFlag : public ETranslateError {
public:
    explicit EInvalidHoraFlag(const std::string& message)
        : ETranslateError(TTranslateFault::InvalidHoraFlag, message) {}
};

class ECatalogueUnavailable : public ETranslateError {
public:
    explicit ECatalogueUnavailable(const std::string& message)
        : ETranslateError(TTranslateFault::CatalogueUnavailable, message) {}
};

// Raises the error of the given fault (its own type) with the message.
[[noreturn]] void ThrowTranslateError(TTranslateFault fault, const std::string& message);

// Runs a catalogue statement (house dialect) on the query's connection and
// returns the values of its first column, row by row. Oracle only.
using CatalogueRunner = std::function<std::vector<std::string>(const std::string& sql)>;

// Passes of the pipeline for one statement text (lines ended by CR LF), for
// the dialect code "FB", "PG" or "Ora" (any other: only the stages that say
// so). Throws EUnrecognisedFunction when a house function is left over,
// EInvalidHoraFlag when a HORA[..] flag is not a Boolean, and (without a
// catalogue runner) ECatalogueUnavailable when an Oracle alias.* needs the
// catalogue; all three are ETranslateError. Errors of the runner pass through.
std::string TranslateText(const std::string& text, const std::string& dialect,
                          const CatalogueRunner& catalogue = {});

// Translation memo of a query: `original` is the last house-dialect text that
// was translated and `anterior` its translation. True when `text` needs no
// translation: it equals `original` in any letter case (then `text` becomes
// `anterior`), or it is `anterior` itself, so a translated text is never
// translated a second time.
bool MemoHit(std::string& text, const std::string& original, const std::string& anterior);

}  // namespace sqltranslate
