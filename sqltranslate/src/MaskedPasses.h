// The passes as they run inside the pipeline: on a statement whose literals
// are hidden (Literals.h). Same contracts as the public passes of Passes.h,
// which hide the literals of their own input and call these.
#pragma once
#include <string>
#include <string_view>

#include "Literals.h"
#include "sqltranslate/Passes.h"

namespace sqltranslate::masked {

std::string RewriteDatesAndBlobs(const std::string& text, const std::string& dialect);
std::string RewriteSubstring(const std::string& text);
std::string RewriteToChar(const std::string& text, std::string_view name, std::string_view format);
std::string RewriteAliasAs(const std::string& text);
std::string RewriteEmptyStrings(const std::string& text);
std::string RewriteList(const std::string& text, const std::string& dialect, size_t maxSize);
std::string RewriteHora(const std::string& text, const std::string& dialect, size_t maxSize);
// HORA[..] calls written inside a literal ('HORA[12/30/1899 08:30:00,0]'):
// rewritten within that literal alone, as RewriteHora rewrites them outside.
// A literal whose call has no Boolean flag is plain text and stays as it is.
// A literal that becomes a house date-time literal is put back in sight, for
// the date pass. Returns the statement; the contents change in m.
std::string RewriteHoraInLiterals(literals::TMaskedText& m, const std::string& text, const std::string& dialect);
std::string RewriteWeekNumber(const std::string& text, const std::string& dialect, size_t maxSize);
std::string RewriteFirst(const std::string& text, const std::string& dialect, size_t maxSize);
TTableAliasList CollectTableAliases(const std::string& text);
std::string RewriteSelectList(const std::string& text, const CatalogueRunner& catalogue);
std::string RewriteMinutesBetween(const std::string& text, const std::string& dialect, size_t maxSize);
std::string RewriteNvl(const std::string& text, std::string_view prefix);
std::string RewritePosition(const std::string& text, const std::string& dialect, size_t maxSize);

}  // namespace sqltranslate::masked
