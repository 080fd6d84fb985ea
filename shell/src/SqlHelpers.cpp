#include "shell/SqlHelpers.h"

#include <stdexcept>
#include <vector>

#include "dataaccess/KVPlatform.h"
#include "dataaccess/TKVQuery.h"
#include "dataaccess/KVErrors.h"
#include "shell/ActivityLog.h"
#include "shell/NumberText.h"
#include "shell/RegionalSettings.h"
#include "shell/TfmDEZORiv.h"
#include "shell/WorkTable.h"

namespace shell {

namespace {

// Entries of a list: split at ";" except a ";" that is the last character.
std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> entries;
    if (list.empty()) return entries;
    std::string current;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == ';' && i + 1 < list.size()) {
            entries.push_back(current);
            current.clear();
        } else {
            current += list[i];
        }
    }
    entries.push_back(current);
    return entries;
}

std::string CommasToSemicolons(std::string s) {
    for (auto& c : s)
        if (c == ',') c = ';';
    return s;
}

bool IsBlobType(TKVFieldType t) {
    switch (t) {
        case TKVFieldType::Memo:
        case TKVFieldType::WideMemo:
        case TKVFieldType::FmtMemo:
        case TKVFieldType::WideLargeMemo:
        case TKVFieldType::LargeMemo:
        case TKVFieldType::OraClob:
        case TKVFieldType::Blob:
            return true;
        default:
            return false;
    }
}

bool IsDateType(TKVFieldType t) {
    return t == TKVFieldType::Date || t == TKVFieldType::Time || t == TKVFieldType::DateTime ||
           t == TKVFieldType::TimeStamp;
}


}  // namespace

std::string TableName(const std::string& logicalName) { return logicalName + CompanySuffix; }

std::string QuotedStr(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

std::string BuildFilter(const std::string& fields, const std::string& values) {
    const auto fieldList = SplitList(fields);
    const auto valueList = SplitList(values);
    if (valueList.size() < fieldList.size())
        throw std::invalid_argument("Filtro com menos valores que campos: " + fields + " / " + values);
    std::string filter = " 1=1 ";
    for (size_t i = 0; i < fieldList.size(); ++i) filter += " and " + fieldList[i] + " like " + valueList[i];
    return filter;
}

bool RecordExistsOrRaise(TKVDatabase& db, const std::string& table, const std::string& fields,
                         const std::string& values) {
    TKVQuery q;
    q.SetDatabase(&db);
    q.SQL.Add("SELECT DISTINCT 1 FROM " + TableName(table) + " WHERE " +
              BuildFilter(CommasToSemicolons(fields), CommasToSemicolons(values)));
    q.Open();
    bool found = !q.Eof();
    q.Close();
    return found;
}

bool RecordExists(TKVDatabase& db, const std::string& table, const std::string& fields,
                  const std::string& values) {
    try {
        return RecordExistsOrRaise(db, table, fields, values);
    } catch (const std::exception& e) {
        // A database that could not answer now says nothing about the
        // record: reading that as "does not exist" would refuse an order for
        // a reason it does not have.
        if (IsConnectionLost(e) || IsTransient(e)) throw;
        return false;
    } catch (...) {
        // Whatever else went wrong reads as "does not exist".
        return false;
    }
}

std::string TLookupValue::AsString() const {
    if (auto s = std::get_if<std::string>(&Value)) return *s;
    if (auto i = std::get_if<int64_t>(&Value)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&Value)) {
        if (IsDateType(DataType)) {
            TKVDateParts p = DecodeKVDateTime(*d);
            std::tm t{};
            t.tm_year = p.Year - 1900;
            t.tm_mon = p.Month - 1;
            t.tm_mday = p.Day;
            t.tm_hour = p.Hour;
            t.tm_min = p.Minute;
            t.tm_sec = p.Second;
            return DataType == TKVFieldType::Date ? ShortDateText(t) : DateTimeText(t);
        }
        return NumberText(*d);
    }
    return {};
}

double TLookupValue::AsFloat() const {
    if (auto d = std::get_if<double>(&Value)) return *d;
    if (auto i = std::get_if<int64_t>(&Value)) return static_cast<double>(*i);
    if (auto s = std::get_if<std::string>(&Value)) {
        try {
            size_t used = 0;
            double v = std::stod(*s, &used);
            return used == s->size() ? v : 0.0;
        } catch (...) {
            return 0.0;
        }
    }
    return 0.0;
}

bool LookupValue(TKVDatabase& db, const std::string& table, const std::string& fields,
                 const std::string& column, const std::string& values, TLookupValue& value) {
    TKVQuery q;
    q.SetDatabase(&db);
    q.SQL.Add("select " + column + " from " + TableName(table) + " where " + BuildFilter(fields, values));
    q.Open();
    if (q.Eof()) {
        value = TLookupValue{};
        q.Close();
        return true;
    }
    TKVField& field = q.Fields(0);
    if (field.IsNull()) {
        q.Close();
        return false;  // the caller's variable keeps what it held
    }
    if (IsBlobType(field.DataType())) {
        value = TLookupValue{field.AsString(), TKVFieldType::String};
    } else {
        value = TLookupValue{field.Value(), field.DataType()};
    }
    q.Close();
    return true;
}

bool LookupValue(TKVDatabase& db, const std::string& table, const std::string& fields,
                 const std::string& column, const std::string& values, std::string& text) {
    TLookupValue value;
    if (!LookupValue(db, table, fields, column, values, value)) return false;
    text = value.AsString();
    return true;
}

std::string AuditOperationWord(int code) {
    switch (code) {
        case 0: return "Inclus\xC3\xA3o";
        case 1: return "Altera\xC3\xA7\xC3\xA3o";
        case 2: return "Exclus\xC3\xA3o";
        case 3: return "Movimenta\xC3\xA7\xC3\xA3o";
        default: throw std::out_of_range("C\xC3\xB3" "digo de opera\xC3\xA7\xC3\xA3o inv\xC3\xA1lido: " + std::to_string(code));
    }
}

std::string AuditRecordSQL(const std::string& tela, const std::string& descricao, int operacao,
                           const std::string& chave, const std::string& windowName) {
    const std::vector<std::string> lines = {
        "INSERT INTO LOG (USUARIO, DATA, HORA, TELA, DESCRICAO, EMPRESA, CHAVE, OPERACAO, FORMULARIO)",
        "VALUES",
        "(" + QuotedStr("VELDOR"),
        ", CURRENT_DATE ",
        ", CURRENT_TIME ",
        "," + QuotedStr(UpperCaseText(tela)),
        "," + QuotedStr(UpperCaseText(descricao)),
        "," + QuotedStr(CompanySuffix),
        "," + QuotedStr(chave),
        "," + QuotedStr(AuditOperationWord(operacao)),
        "," + QuotedStr(CutToWidth(windowName, 45)) + ")",
    };
    std::string sql;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) sql += "\r\n";
        sql += lines[i];
    }
    return sql;
}

void AuditRecord(TfmDEZORiv& form, const std::string& tela, const std::string& descricao, int operacao,
                 const std::string& chave, const std::optional<std::string>& windowName) {
    WriteOffLine(form, descricao);
    const std::string window = windowName ? *windowName : ActiveWindowName();
    TKVQuery q;
    q.SetDatabase(&form.dbKV);
    q.SQL.SetText(AuditRecordSQL(tela, descricao, operacao, chave, window));
    q.ExecSQL();
    form.KVTransaction.CommitRetaining();
}

}  // namespace shell
