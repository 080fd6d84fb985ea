// Building blocks of the jobs' SQL: table-name resolution, quoting, the
// filter builder, the existence check, the single-value lookup and
// the audit record in the ERP's table LOG.
#pragma once
#include <optional>
#include <string>

#include "dataaccess/TKVDatabase.h"
#include "dataaccess/TKVField.h"
#include "shell/TextCase.h"  // UpperCaseText, used by the export through this header

class TfmDEZORiv;

namespace shell {

// Company suffix of the physical tables (and the EMPRESA of the audit record).
inline constexpr const char* CompanySuffix = "_001";

// Logical to physical table name: "PA_MOV" -> "PA_MOV_001" (case kept).
std::string TableName(const std::string& logicalName);

// SQL string literal: 'O''NEIL'; "" gives ''.
std::string QuotedStr(const std::string& text);

// " 1=1 " + (" and " + field + " like " + value) per field entry. Lists are
// split at ";" (a ";" as last character stays in the last entry; empty
// entries count; nothing trimmed). Throws std::invalid_argument when the
// value list has fewer entries than the field list.
std::string BuildFilter(const std::string& fields, const std::string& values);

// SELECT DISTINCT 1 FROM <table>_001 WHERE <filter>, "," read as ";" in both
// lists. True when a row exists; a database error counts as no row, except a
// lost connection or a passing failure (time limit, deadlock), which is raised:
// the database could not say.
bool RecordExists(TKVDatabase& db, const std::string& table, const std::string& fields,
                  const std::string& values);
// The same check for callers inside a unit of work that is already writing:
// a database error is raised instead of reading as "does not exist", because
// on PostgreSQL the failed statement has already undone the work so far and
// carrying on would commit only the rest of it.
bool RecordExistsOrRaise(TKVDatabase& db, const std::string& table, const std::string& fields,
                         const std::string& values);

// Value of a single-value lookup: text, number or date-time (as the column's type says).
struct TLookupValue {
    TKVValue Value = std::string();
    TKVFieldType DataType = TKVFieldType::String;

    std::string AsString() const;  // numbers with "."; dates as date-time text
    double AsFloat() const;        // text that is no number gives 0
};

// select <column> from <table>_001 where <filter> (lists used unchanged).
// No row: `value` becomes the empty text, returns true. NULL on the first
// row: `value` is left exactly as it was, returns false. Otherwise the
// column's value (a blob as its text), returns true. Database errors propagate.
bool LookupValue(TKVDatabase& db, const std::string& table, const std::string& fields,
                 const std::string& column, const std::string& values, TLookupValue& value);
// The same, converted to text; a NULL leaves `text` as it was.
bool LookupValue(TKVDatabase& db, const std::string& table, const std::string& fields,
                 const std::string& column, const std::string& values, std::string& text);

// Audit operation codes.
enum class TAuditOperation { Inclusao = 0, Alteracao = 1, Exclusao = 2, Movimentacao = 3 };
// "Inclusão", "Alteração", "Exclusão", "Movimentação"; std::out_of_range otherwise.
std::string AuditOperationWord(int code);

// The INSERT INTO LOG statement of an audit record, one clause per line.
std::string AuditRecordSQL(const std::string& tela, const std::string& descricao, int operacao,
                           const std::string& chave, const std::string& windowName);

// Audit record: writes the description as a write-off pane line, inserts
// the row into LOG through a new query on form.dbKV and commits retaining.
// windowName: the window given; nullopt takes the active window's name.
// A database error propagates (after the pane line).
void AuditRecord(TfmDEZORiv& form, const std::string& tela, const std::string& descricao,
                 int operacao, const std::string& chave,
                 const std::optional<std::string>& windowName = std::nullopt);

}  // namespace shell
