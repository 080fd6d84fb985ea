// The passes as callers outside the pipeline see them: each hides the string
// literals of its input, runs on that, and gives the literals back, so that
// no pass on its own finds anything inside a literal either.
#include "Literals.h"
#include "MaskedPasses.h"

namespace sqltranslate {

namespace {

// Runs pass on the text with its literals hidden.
template <class F>
std::string OnMasked(const std::string& text, F&& pass) {
    const literals::TMaskedText m = literals::Mask(text);
    return m.Restore(pass(m.Text));
}

}  // namespace

std::string RewriteDatesAndBlobs(const std::string& text, const std::string& dialect) {
    return OnMasked(text, [&](const std::string& t) { return masked::RewriteDatesAndBlobs(t, dialect); });
}

std::string RewriteSubstring(const std::string& text) {
    return OnMasked(text, [](const std::string& t) { return masked::RewriteSubstring(t); });
}

std::string RewriteToChar(const std::string& text, std::string_view name, std::string_view format) {
    return OnMasked(text, [&](const std::string& t) { return masked::RewriteToChar(t, name, format); });
}

std::string RewriteAliasAs(const std::string& text) {
    return OnMasked(text, [](const std::string& t) { return masked::RewriteAliasAs(t); });
}

std::string RewriteEmptyStrings(const std::string& text) {
    return OnMasked(text, [](const std::string& t) { return masked::RewriteEmptyStrings(t); });
}

std::string RewriteList(const std::string& text, const std::string& dialect) {
    return RewriteList(text, dialect, BracketSizeLimit(text.size()));
}
std::string RewriteHora(const std::string& text, const std::string& dialect) {
    return RewriteHora(text, dialect, BracketSizeLimit(text.size()));
}
std::string RewriteWeekNumber(const std::string& text, const std::string& dialect) {
    return RewriteWeekNumber(text, dialect, BracketSizeLimit(text.size()));
}
std::string RewriteFirst(const std::string& text, const std::string& dialect) {
    return RewriteFirst(text, dialect, BracketSizeLimit(text.size()));
}

std::string RewriteList(const std::string& text, const std::string& dialect, size_t maxSize) {
    return OnMasked(text, [&](const std::string& t) { return masked::RewriteList(t, dialect, maxSize); });
}

std::string RewriteHora(const std::string& text, const std::string& dialect, size_t maxSize) {
    literals::TMaskedText m = literals::Mask(text);
    std::string t = masked::RewriteHora(m.Text, dialect, maxSize);
    t = masked::RewriteHoraInLiterals(m, t, dialect);
    return m.Restore(t);
}

std::string RewriteWeekNumber(const std::string& text, const std::string& dialect, size_t maxSize) {
    return OnMasked(text, [&](const std::string& t) { return masked::RewriteWeekNumber(t, dialect, maxSize); });
}

std::string RewriteFirst(const std::string& text, const std::string& dialect, size_t maxSize) {
    return OnMasked(text, [&](const std::string& t) { return masked::RewriteFirst(t, dialect, maxSize); });
}

TTableAliasList CollectTableAliases(const std::string& text) {
    const literals::TMaskedText m = literals::Mask(text);
    TTableAliasList list;
    const TTableAliasList found = masked::CollectTableAliases(m.Text);
    for (const auto& [alias, base] : found.Items())
        list.Add(m.Restore(alias), m.Restore(base.NmBase));
    return list;
}

std::string RewriteSelectList(const std::string& text, const CatalogueRunner& catalogue) {
    const literals::TMaskedText m = literals::Mask(text);
    return m.Restore(masked::RewriteSelectList(m.Text, literals::RestoringRunner(m, catalogue)));
}

std::string RewriteMinutesBetween(const std::string& text, const std::string& dialect) {
    return RewriteMinutesBetween(text, dialect, BracketSizeLimit(text.size()));
}
std::string RewriteMinutesBetween(const std::string& text, const std::string& dialect, size_t maxSize) {
    return OnMasked(text, [&](const std::string& t) { return masked::RewriteMinutesBetween(t, dialect, maxSize); });
}

std::string RewriteNvl(const std::string& text, std::string_view prefix) {
    return OnMasked(text, [&](const std::string& t) { return masked::RewriteNvl(t, prefix); });
}

std::string RewritePosition(const std::string& text, const std::string& dialect) {
    return RewritePosition(text, dialect, BracketSizeLimit(text.size()));
}
std::string RewritePosition(const std::string& text, const std::string& dialect, size_t maxSize) {
    return OnMasked(text, [&](const std::string& t) { return masked::RewritePosition(t, dialect, maxSize); });
}

}  // namespace sqltranslate
