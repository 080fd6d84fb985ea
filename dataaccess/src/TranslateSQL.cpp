// TKVQuery::TranslateSQL: the translation memo and the trace hand-off around
// the house-dialect translator.
#include <string>
#include <vector>

#include "dataaccess/KVErrors.h"
#include "dataaccess/TKVGravaLog.h"
#include "dataaccess/TKVQuery.h"
#include "sqltranslate/SqlTranslate.h"

namespace {

// Runs a catalogue statement on a query of its own, bound to the same
// connection (and so the same transaction), and reads the first column of
// every row. Opening translates it like any other statement.
std::vector<std::string> RunCatalogue(TKVDatabase* database, const std::string& sql) {
    TKVQuery query;
    query.SetDatabase(database);
    query.SQL.SetText(sql);
    query.Open();
    std::vector<std::string> values;
    if (query.FieldCount() > 0)
        for (query.First(); !query.Eof(); query.Next()) values.push_back(query.Fields(0).AsString());
    query.Close();
    return values;
}

}  // namespace

void TKVQuery::TranslateSQL() {
    TKVDatabase* database = Database();
    if (!database) throw EKVDatabaseError("KVQuery sem conexão: a propriedade Database não foi definida.");

    const std::string current = SQL.Text();
    std::string text = current;
    if (sqltranslate::MemoHit(text, FSQLOriginal, FSQLAnterior)) {
        if (text != current) SQL.SetText(text);
    } else {
        std::string translated;
        try {
            translated = sqltranslate::TranslateText(
                text, database->DriverName,
                [database](const std::string& sql) { return RunCatalogue(database, sql); });
        } catch (...) {
            // No pair is left behind that could hand a translation to another
            // text, and the query keeps its house-dialect text: running it
            // again fails the same way instead of passing a half-translated
            // text through the passes a second time.
            FSQLOriginal.clear();
            FSQLAnterior.clear();
            throw;
        }
        SQL.SetText(translated);
        FSQLOriginal = text;
        // What the query now holds (line breaks as SQL gives them back), so
        // that executing it again is recognised as already translated.
        FSQLAnterior = SQL.Text();
    }

    if (database->GravaLog && database->DadosGravaLog()) {
        const TKVGravaLog& holder = *database->DadosGravaLog();
        WriteSqlTrace(holder.NmMaquina, holder.NrIP, database->NmUsuario, SQL.Text());
    }
}
