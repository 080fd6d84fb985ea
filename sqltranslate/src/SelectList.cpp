// Oracle refuses large-object columns in a SELECT with DISTINCT or GROUP BY:
// every alias.* of such a statement is spelled out from the catalogue, without
// its BLOB and CLOB columns.
#include <algorithm>

#include "TextOps.h"
#include "MaskedPasses.h"

namespace sqltranslate {

using namespace text;

const TBaseAlias* TTableAliasList::Find(std::string_view alias) const {
    for (const auto& [name, base] : FItems)
        if (EqualsCI(name, alias)) return &base;
    return nullptr;
}

std::string TableColumnsStatement(const std::string& table, bool leaveOutLargeObjects) {
    std::string sql = "SELECT T.COLUMN_NAME AS NmCampo FROM USER_TAB_COLUMNS t\r\n";
    sql += "WHERE t.TABLE_NAME = " + Quoted(table) + "\r\n";
    if (leaveOutLargeObjects) sql += "AND Ltrim(Rtrim(T.DATA_TYPE)) NOT IN (" + Quoted("BLOB") + ", " + Quoted("CLOB") + ")\r\n";
    sql += "ORDER BY T.COLUMN_ID\r\n";
    return sql;
}

std::string ListTableColumns(const std::string& table, const std::string& alias, bool leaveOutLargeObjects,
                             const CatalogueRunner& catalogue) {
    if (!catalogue)
        throw ECatalogueUnavailable("Sem conexão com o banco de dados: as colunas de " + alias + ".* (tabela " + table +
                              ") vêm do catálogo USER_TAB_COLUMNS do Oracle.");
    const std::vector<std::string> names = catalogue(TableColumnsStatement(table, leaveOutLargeObjects));
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += alias;
        out += "." + Trim(names[i]);
        out += i + 1 < names.size() ? ", " : " ";
    }
    return out;
}

std::string ExpandAliasColumns(const TTableAliasList& aliases, const std::string& alias,
                               const CatalogueRunner& catalogue) {
    const TBaseAlias* base = aliases.Find(alias);
    if (!base) return "*";
    return ListTableColumns(base->NmBase, alias, true, catalogue);
}

namespace masked {

TTableAliasList CollectTableAliases(const std::string& text) {
    TTableAliasList list;
    const std::string all = Upper(Trim(CrLfTo(text, "  ")));
    std::string_view s = all;
    // Cuts the first word off s: the text before its first blank ("" and s
    // unchanged when it has none).
    auto word = [&s]() {
        size_t b = s.find(' ');
        if (b == npos) return std::string();
        std::string w(s.substr(0, b));
        s = s.substr(b + 1);
        return w;
    };
    // s is upper case: the case-insensitive search finds exactly the keyword.
    for (;;) {
        size_t k = std::min(FindCI(s, " FROM "), FindCI(s, " JOIN "));
        if (k == npos) break;
        s = s.substr(k + 6);
        std::string table = word();
        std::string alias = word();
        list.Add(std::move(alias), std::move(table));
    }
    return list;
}

std::string RewriteSelectList(const std::string& input, const CatalogueRunner& catalogue) {
    if (!ContainsCI(input, "DISTINCT") && !ContainsCI(input, "GROUP BY")) return input;
    std::string t = input;
    if (Contains(t, ".*")) {
        const TTableAliasList aliases = CollectTableAliases(t);
        size_t from = 0;
        for (size_t s = t.find(".*"); s != npos; s = t.find(".*", from)) {
            const std::string flat = Trim(CrLfTo(t, "  "));
            const std::string w = Upper(TrailingWord(Copy(flat, 1, static_cast<long long>(s))));
            if (w.find_first_of(" ),") != npos) {
                // Not an alias (for example "(...).*"): left as written, and the
                // search goes on after it so that the rewrite ends.
                from = s + 2;
                continue;
            }
            const std::string repl = ExpandAliasColumns(aliases, w, catalogue);
            t.replace(s, 2, repl);
            from = s + repl.size();
            // "A..*" with "*" in place of the second ".*" holds a new ".*".
            if (s > 0 && s < t.size() && t[s - 1] == '.' && t[s] == '*') from = s - 1;
        }
    }
    return ReplaceAll(t, "@@@@@@@@", "DISTINCT");
}

}  // namespace masked
}  // namespace sqltranslate
