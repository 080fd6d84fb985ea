// Oracle keeps '' as NULL: comparisons with '' become IS NULL / IS NOT NULL.
// In an UPDATE or DELETE the part before WHERE is left alone, so that an
// assignment such as SET OBS = '' stays an assignment.
#include "TextOps.h"
#include "MaskedPasses.h"

namespace sqltranslate {

using namespace text;

namespace masked {

std::string RewriteEmptyStrings(const std::string& input) {
    std::string t = ReplaceAll(input, "<> ''", " IS NOT NULL ");
    t = ReplaceAll(t, "<>''", " IS NOT NULL ");
    if (!Contains(t, "''")) return t;

    std::string head, work;
    const bool update = ContainsCI(t, "UPDATE") && ContainsCI(t, "SET");
    const bool del = ContainsCI(t, "DELETE") && ContainsCI(t, "FROM");
    const size_t where = FindCI(t, "WHERE");
    if ((update || del) && where != npos) {
        head = t.substr(0, where);
        // From WHERE to the end, without the closing line break.
        work = t.substr(where, t.size() >= where + 2 ? t.size() - where - 2 : 0);
    } else {
        work = t;
    }

    // Each round removes one "=" and adds none, so this ends.
    for (;;) {
        size_t eq = work.find("= ''");
        size_t len = 4;
        if (eq == npos) {
            eq = work.find("=''");
            len = 3;
        }
        if (eq == npos) break;
        if (eq > 0 && (work[eq - 1] == '<' || work[eq - 1] == '>'))
            work.replace(eq - 1, len + 1, " IS NOT NULL ");
        else
            work.replace(eq, len, " IS NULL ");
    }
    return head + work;
}

}  // namespace masked
}  // namespace sqltranslate
