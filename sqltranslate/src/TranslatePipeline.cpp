// The translation pipeline: renames, the dialect stages in their fixed order,
// the shared bracket and scanning passes, and the leftover-function check,
// all on the statement with its string literals hidden (Literals.h).
#include <algorithm>

#include "TextOps.h"
#include "Literals.h"
#include "MaskedPasses.h"
#include "sqltranslate/SqlTranslate.h"

namespace sqltranslate {

using namespace text;

namespace {

constexpr std::string_view kMinutesBetween = "UDF_MINUTESBETWEEN";

std::string RenameHouseFunctions(std::string t) {
    static constexpr std::pair<std::string_view, std::string_view> kRenames[] = {
        {"UDF_LEN", "CHAR_LENGTH"},
        {"UDF_TRIM", "TRIM"},
        {"UDF_REPLACE", "REPLACE"},
        {"UDF_DAY(", "EXTRACT(DAY FROM "},
        {"UDF_MONTH(", "EXTRACT(MONTH FROM "},
        {"UDF_YEAR(", "EXTRACT(YEAR FROM "},
        {"UDF_TRUNC", "TRUNC"},
        {"UDF_UPPER", "UPPER"},
        {"UDF_STRIP", "REPLACE"},
        {"UDF_ROUNDDEC", "ROUND"},
    };
    for (const auto& [from, to] : kRenames) t = ReplaceAllCI(t, from, to);
    return t;
}

}  // namespace

namespace masked {

std::string RewriteMinutesBetween(const std::string& input, const std::string& dialect, size_t maxSize) {
    std::string t = input;
    // A well-formed call leaves one name fewer each round. A malformed one
    // (no comma, or one far behind the call) copies text from behind the call
    // into its arguments: a round that leaves no name fewer, or that would
    // make the text larger than maxSize, stops the loop, and the leftover
    // check then refuses the statement.
    for (size_t count = CountCI(t, kMinutesBetween); count > 0;) {
        const size_t p = FindCI(t, kMinutesBetween);
        const std::string_view rest = std::string_view(t).substr(std::min(t.size(), p + 19));
        const long long close = FindClosingParen(rest);
        const long long comma = Pos(",", rest);
        const std::string a = Copy(rest, 1, comma - 1);
        const std::string b = Copy(rest, comma + 1, close - comma - 1);
        std::string repl;
        if (dialect == "FB")
            repl = "ABS(TRUNC((" + a + "-" + b + ") / 60))";
        else if (dialect == "Ora")
            repl = "ABS(TRUNC((CAST(" + a + " AS DATE)-CAST(" + b + " AS DATE))*1440))";
        else
            repl = "ABS(TRUNC(EXTRACT(EPOCH FROM " + a + " - " + b + ") / 60)) ";
        const size_t end = std::min(t.size(), p + 19 + static_cast<size_t>(close));
        std::string next = t.substr(0, p) + repl + t.substr(end);
        const size_t left = CountCI(next, kMinutesBetween);
        if (left >= count || next.size() > maxSize) break;
        t = std::move(next);
        count = left;
    }
    return t;
}

std::string RewriteNvl(const std::string& t, std::string_view prefix) {
    const size_t p = FindCI(t, "UDF_NVL");
    if (p == npos) return t;
    const std::string_view rest = std::string_view(t).substr(p + 7);
    const long long close = FindClosingParen(rest);
    const std::string x = Copy(rest, 2, close - 2);
    const size_t end = std::min(t.size(), p + 7 + static_cast<size_t>(close));
    return t.substr(0, p) + std::string(prefix) + x + ",0)" + t.substr(end);
}

std::string RewritePosition(const std::string& input, const std::string& dialect, size_t maxSize) {
    if (!ContainsCI(input, "POSITION(") && !ContainsCI(input, "POSITION (")) return input;
    std::string t = ReplaceAllCI(input, "POSITION (", "POSITION(");
    const bool ora = dialect == "Ora";
    for (size_t count = CountCI(t, "POSITION("); count > 0;) {
        const size_t p = FindCI(t, "POSITION(");
        const std::string tail = t.substr(p + 9);
        const long long paren = Pos(")", tail);
        const long long comma = Pos(",", tail);
        std::string a, b;
        if (comma != 0) {
            a = Copy(tail, 1, comma - 1);
            b = Copy(tail, comma + 1, paren - comma - 1);
        } else {
            const long long in = PosCI(" IN ", tail);
            a = Copy(tail, 1, in - 1);
            b = Copy(tail, in + 4, paren - in - 4);
        }
        const size_t callLength = 9 + static_cast<size_t>(paren);
        std::string next = t;
        next.replace(p, callLength, ora ? "INSTR(" + b + "," + a + ")" : "#POSITION#(" + a + " IN " + b + ")");
        const size_t left = CountCI(next, "POSITION(");
        // Arguments that carry calls along (or text from far behind the call,
        // comma form) end the loop as the minutes-between rewrite does.
        if (left >= count || next.size() > maxSize) break;
        t = std::move(next);
        count = left;
    }
    if (!ora) t = ReplaceAllCI(t, "#POSITION#", "POSITION");
    return t;
}

}  // namespace masked

namespace {

// The refusal of a statement (hidden literals) that still holds a house
// function: the name runs from the first "UDF_" to the "(" after it.
std::string LeftoverMessage(const std::string& t) {
    std::string name;
    const size_t p = FindCI(t, "UDF_");
    if (p != npos) {
        const size_t q = t.find('(', p);
        if (q != npos) name = t.substr(p, q - p);
    }
    return "Função não reconhecida.\r\n\r\n" + name + "\r\n\r\nImpossível continuar.";
}

}  // namespace

namespace masked {
namespace {

// The passes in their fixed order, on the statement with its literals hidden.
std::string TranslateMasked(literals::TMaskedText& m, const std::string& text, const std::string& dialect,
                            const CatalogueRunner& catalogue) {
    std::string t = ReplaceAllCI(m.Text, "DESCENDING", "DESC");
    if (ContainsCI(t, "UDF_")) t = RenameHouseFunctions(std::move(t));

    // Calls whose parts hold further calls can make a rewrite copy text again
    // and again; no rewrite takes the statement beyond this size.
    const size_t limit = BracketSizeLimit(text.size());

    if (dialect == "FB") {
        t = RewriteMinutesBetween(t, dialect, limit);
        if (ContainsCI(t, "UDF_HOUR")) t = ReplaceAllCI(t, "UDF_HOUR(", "EXTRACT(HOUR FROM ");
        if (ContainsCI(t, "UDF_MINUTE")) t = ReplaceAllCI(t, "UDF_MINUTE(", "EXTRACT(MINUTE FROM ");
    } else if (dialect == "Ora") {
        t = RewriteEmptyStrings(t);
        t = ReplaceAllCI(t, "current_date", "sysdate");
        t = ReplaceAllCI(t, "current_timestamp", "current_time");
        t = ReplaceAllCI(t, "current_time", "current_timestamp");
        t = ReplaceAllCI(t, "char_length", "length");
        t = ReplaceAllCI(t, "coalesce", "nvl");
        if (ContainsCI(t, "UDF_")) {
            if (ContainsCI(t, "UDF_NVL")) t = RewriteNvl(t, "NVL(");
            t = ReplaceAllCI(t, "udf_copy", "substr");
        }
        if (ContainsCI(t, "SELECT")) {
            t = RewriteAliasAs(t);
            // The catalogue statement names a table read from the statement:
            // it gets the literals back before it runs.
            t = RewriteSelectList(t, literals::RestoringRunner(m, catalogue));
        }
        t = RewritePosition(t, dialect, limit);
        t = RewriteMinutesBetween(t, dialect, limit);
    } else if (dialect == "PG") {
        if (ContainsCI(t, "UDF_")) {
            if (ContainsCI(t, "UDF_NVL")) t = RewriteNvl(t, "COALESCE(");
            t = ReplaceAllCI(t, "udf_copy", "SUBSTR");
        }
        t = RewritePosition(t, dialect, limit);
        t = RewriteMinutesBetween(t, dialect, limit);
    }

    if (dialect != "FB") {
        t = ReplaceAllCI(t, "ASCII_CHAR", "CHR");
        t = RewriteSubstring(t);
        if (ContainsCI(t, "UDF_HOUR")) t = RewriteToChar(t, "UDF_HOUR", "HH24");
        if (ContainsCI(t, "UDF_MINUTE")) t = RewriteToChar(t, "UDF_MINUTE", "MI");
        if (ContainsCI(t, "UDF_DAYNAME")) t = RewriteToChar(t, "UDF_DAYNAME", "DAY");
    }

    t = RewriteList(t, dialect, limit);
    t = RewriteHora(t, dialect, limit);
    t = RewriteHoraInLiterals(m, t, dialect);
    t = RewriteWeekNumber(t, dialect, limit);
    t = RewriteFirst(t, dialect, limit);
    t = RewriteDatesAndBlobs(t, dialect);

    if (ContainsCI(t, "UDF_")) throw EUnrecognisedFunction(m.Restore(LeftoverMessage(t)));
    return t;
}

}  // namespace
}  // namespace masked

std::string UnrecognisedFunctionMessage(const std::string& text) {
    const literals::TMaskedText m = literals::Mask(text);
    return m.Restore(LeftoverMessage(m.Text));
}

std::string TranslateText(const std::string& text, const std::string& dialect, const CatalogueRunner& catalogue) {
    literals::TMaskedText m = literals::Mask(text);
    std::string t;
    try {
        t = masked::TranslateMasked(m, text, dialect, catalogue);
    } catch (const ETranslateError& e) {
        // A message that quotes the statement (a HORA flag, an alias) shows
        // its literals as written; the kind of refusal stays.
        ThrowTranslateError(e.Fault(), m.Restore(e.what()));
    }
    return m.Restore(t);
}

void ThrowTranslateError(TTranslateFault fault, const std::string& message) {
    switch (fault) {
        case TTranslateFault::UnrecognisedFunction: throw EUnrecognisedFunction(message);
        case TTranslateFault::InvalidHoraFlag: throw EInvalidHoraFlag(message);
        case TTranslateFault::CatalogueUnavailable: throw ECatalogueUnavailable(message);
    }
    throw ETranslateError(fault, message);
}

bool MemoHit(std::string& text, const std::string& original, const std::string& anterior) {
    if (text == anterior) return true;  // already the translation: never translated twice
    if (text.size() == original.size() && (text == original || EqualsCI(text, original))) {
        text = anterior;
        return true;
    }
    return false;
}

}  // namespace sqltranslate
