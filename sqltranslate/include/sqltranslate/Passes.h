// The single passes of the translator, each a function from statement text to
// statement text (lines ended by CR LF). TranslateText runs them in their fixed
// order; they are public so that each can be checked on its own. Every pass
// treats string literals as opaque: it finds names, brackets, parentheses,
// commas and patterns only outside them (the pipeline hides the literals once
// for all passes; each pass called on its own hides those of its input).
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sqltranslate/SqlTranslate.h"

namespace sqltranslate {

// ---- Statement scanning ----

// 1-based position in text of the ")" closing the call whose "(" is, or stands
// just before, the first character of text (never examined). 1 when no ")".
long long FindClosingParen(std::string_view text);
// The characters after the last blank or comma of text (all of it when none).
std::string TrailingWord(std::string_view text);
// True when ch occurs exactly n times in text.
bool CharCountIs(std::string_view text, char ch, int n);
// House literals 'mm/dd/yyyy' and 'mm/dd/yyyy hh:nn:ss' (without the quotes).
bool ParseDateLiteral(std::string_view text, unsigned& month, unsigned& day, unsigned& year);
bool ParseDateTimeLiteral(std::string_view text, unsigned& month, unsigned& day, unsigned& year,
                          unsigned& hour, unsigned& minute, unsigned& second);
// Decimal digits of value, left-filled with "0" to at least width characters.
std::string ZeroFill(unsigned value, int width);
// Date literals (not for FB), UDF_DAYSPAN/UDF_DAYSBETWEEN/UDF_WEEKDAY, KV_BLOB.
std::string RewriteDatesAndBlobs(const std::string& text, const std::string& dialect);

// ---- Substrings, time parts and aliases ----

// SUBSTRING(x FROM a FOR b) -> SUBSTR(x,a,b), every call.
std::string RewriteSubstring(const std::string& text);
// First call of name (UDF_HOUR, UDF_MINUTE, UDF_DAYNAME) -> (TO_CHAR((x),'format')).
std::string RewriteToChar(const std::string& text, std::string_view name, std::string_view format);
// Drops the AS between a ")" and an alias (Oracle).
std::string RewriteAliasAs(const std::string& text);

// ---- Empty-string comparisons (Oracle) ----
std::string RewriteEmptyStrings(const std::string& text);

// ---- Bracket pseudo-functions ----
// Each stops before a round that would make the text larger than maxSize
// (by default BracketSizeLimit of its input); the pipeline gives all four
// the limit of the statement it was handed.
size_t BracketSizeLimit(size_t size);
std::string RewriteList(const std::string& text, const std::string& dialect);
std::string RewriteHora(const std::string& text, const std::string& dialect);
std::string RewriteWeekNumber(const std::string& text, const std::string& dialect);
std::string RewriteFirst(const std::string& text, const std::string& dialect);
std::string RewriteList(const std::string& text, const std::string& dialect, size_t maxSize);
std::string RewriteHora(const std::string& text, const std::string& dialect, size_t maxSize);
std::string RewriteWeekNumber(const std::string& text, const std::string& dialect, size_t maxSize);
std::string RewriteFirst(const std::string& text, const std::string& dialect, size_t maxSize);

// ---- Select list (Oracle) ----

// The table an alias stands for.
struct TBaseAlias {
    std::string NmBase;
};

// Alias -> table entries in the order found; lookups ignore letter case and
// return the first match.
class TTableAliasList {
public:
    void Add(std::string alias, std::string table) { FItems.emplace_back(std::move(alias), TBaseAlias{std::move(table)}); }
    const TBaseAlias* Find(std::string_view alias) const;
    const std::vector<std::pair<std::string, TBaseAlias>>& Items() const { return FItems; }

private:
    std::vector<std::pair<std::string, TBaseAlias>> FItems;
};

TTableAliasList CollectTableAliases(const std::string& text);
// The catalogue statement (house dialect) that lists the columns of table.
std::string TableColumnsStatement(const std::string& table, bool leaveOutLargeObjects);
// ".COL1, ALIAS.COL2, ... ALIAS.COLn " from the catalogue; "" when no rows.
std::string ListTableColumns(const std::string& table, const std::string& alias, bool leaveOutLargeObjects,
                             const CatalogueRunner& catalogue);
// The text that replaces ".*" after alias; "*" when the alias is not listed.
std::string ExpandAliasColumns(const TTableAliasList& aliases, const std::string& alias,
                               const CatalogueRunner& catalogue);
std::string RewriteSelectList(const std::string& text, const CatalogueRunner& catalogue);

// ---- Rewrites of single house calls, used by the pipeline ----

// UDF_MINUTESBETWEEN(a, b), every call, in the dialect's form. Like the
// bracket rewriters, it stops before a round that would pass maxSize.
std::string RewriteMinutesBetween(const std::string& text, const std::string& dialect);
std::string RewriteMinutesBetween(const std::string& text, const std::string& dialect, size_t maxSize);
// First UDF_NVL(x) -> prefix + x + ",0)".
std::string RewriteNvl(const std::string& text, std::string_view prefix);
// POSITION(a, b) / POSITION(a IN b), Oracle ("Ora") or PostgreSQL ("PG") form.
std::string RewritePosition(const std::string& text, const std::string& dialect);
std::string RewritePosition(const std::string& text, const std::string& dialect, size_t maxSize);
// The refusal message for a text that still holds a house function.
std::string UnrecognisedFunctionMessage(const std::string& text);

}  // namespace sqltranslate
