// The query component: binding, routing of Open, execution under time limits,
// PostgreSQL's transaction handling, error wording and failure trace.
#include "dataaccess/TKVQuery.h"

#include <algorithm>
#include <atomic>

#include "dataaccess/KVErrors.h"
#include "dataaccess/KVPlatform.h"
#include "dataaccess/TKVGravaLog.h"
#include "dataaccess/TKVTransaction.h"
#include "textutil/AsciiCase.h"

namespace {

std::atomic<int> gLimitFB{60000};
std::atomic<int> gLimitOther{30000};
std::atomic<int> gRetryWait{1000};

const std::string kNoDialect;

using textutil::UpperAscii;

// A database error with a message of its own and the code and connection
// state of the error it replaces.
EKVDatabaseError Reworded(const std::string& message, const std::exception& e) {
    if (const auto* db = dynamic_cast<const EKVDatabaseError*>(&e))
        return EKVDatabaseError(message, db->ServerCode(), db->ConnectionLost());
    return EKVDatabaseError(message);
}

// The field class of a delivered column type.
std::unique_ptr<TKVField> MakeField(const std::string& name, TKVFieldType type) {
    switch (type) {
        case TKVFieldType::Currency: return std::make_unique<TKVFloatField>(name);
        case TKVFieldType::Memo:
        case TKVFieldType::FmtMemo:
        case TKVFieldType::OraClob: return std::make_unique<TKVBlobField>(name);
        default: return std::make_unique<TKVField>(name, type);
    }
}

bool IsFloatType(TKVFieldType t) {
    return t == TKVFieldType::Float || t == TKVFieldType::Currency || t == TKVFieldType::BCD ||
           t == TKVFieldType::FMTBcd;
}

bool IsIntegerType(TKVFieldType t) {
    return t == TKVFieldType::Integer || t == TKVFieldType::SmallInt || t == TKVFieldType::LargeInt ||
           t == TKVFieldType::AutoInc;
}

// A value as the delivered type holds it.
TKVValue Convert(TKVValue v, TKVFieldType type) {
    if (IsFloatType(type)) {
        if (const auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
    } else if (IsIntegerType(type)) {
        if (const auto* d = std::get_if<double>(&v)) return static_cast<int64_t>(*d);
    }
    return v;
}

}  // namespace

// ---- TKVStrings -------------------------------------------------------------

std::string TKVStrings::Text() const {
    std::string text;
    for (const auto& line : FLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TKVStrings::SetText(const std::string& text) {
    FLines.clear();
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            FLines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) FLines.push_back(text.substr(start));
}

// ---- TKVCustomQuery ---------------------------------------------------------

TKVCustomQuery::TKVCustomQuery() = default;

TKVCustomQuery::~TKVCustomQuery() {
    Close();
}

void TKVCustomQuery::SetTimeLimits(int fbMs, int otherMs) {
    gLimitFB = fbMs;
    gLimitOther = otherMs;
}

void TKVCustomQuery::SetRetryWait(int ms) {
    gRetryWait = ms;
}

int TKVCustomQuery::RetryWaitMs() {
    return gRetryWait;
}

void TKVCustomQuery::SetDatabase(TKVDatabase* database) {
    FDatabase = database;
}

const std::string& TKVCustomQuery::Dialect() const {
    return FDatabase ? FDatabase->DriverName : kNoDialect;
}

bool TKVCustomQuery::DefaultTransactionActive() const {
    if (!FDatabase) return false;
    if (auto* t = FDatabase->Transaction()) return t->Active();
    return FDatabase->InTransaction();
}

void TKVCustomQuery::RequireDatabase() const {
    if (!FDatabase) throw EKVDatabaseError("KVQuery sem conexão: a propriedade Database não foi definida.");
}

int TKVCustomQuery::ExecTimeLimit() const {
    if (!TempoLimite) return 0;
    return Dialect() == "FB" ? gLimitFB.load() : gLimitOther.load();
}

void TKVCustomQuery::Open() {
    try {
        if (!TimeOutOpen || Dialect() == "PG") FTimeLimitMs = 0;
        const std::string head = UpperAscii(SQL.Text().substr(0, 6));
        if (head.find("UPDATE") != std::string::npos || head.find("INSERT") != std::string::npos ||
            head.find("DELETE") != std::string::npos) {
            ExecSQL();
        } else {
            OpenCursor();
        }
    } catch (const std::exception& e) {
        if (Dialect() == "PG" && DefaultTransactionActive()) {
            // Undo the aborted work; one more try when the first rollback fails.
            try {
                FDatabase->RollbackRetaining();
            } catch (...) {
                try {
                    FDatabase->RollbackRetaining();
                } catch (...) {
                }
            }
        }
        throw Reworded("Erro KVQuery.Open: " + std::string(e.what()), e);
    }
}

void TKVCustomQuery::OpenCursor() {
    RequireDatabase();
    Close();
    TranslateSQL();
    auto result = FDatabase->Execute(SQL.Text(), FTimeLimitMs);
    FFields.clear();
    FFields.reserve(result.columns.size());
    std::vector<TKVFieldType> types;
    types.reserve(result.columns.size());
    for (const auto& column : result.columns) {
        types.push_back(FDatabase->MapType(column));
        FFields.push_back(MakeField(column.name, types.back()));
    }
    for (auto& row : result.rows)
        for (size_t c = 0; c < row.size() && c < types.size(); ++c) row[c] = Convert(std::move(row[c]), types[c]);
    FRows = std::move(result.rows);
    FRowsAffected = result.rowsAffected;
    FActive = true;
    First();
}

void TKVCustomQuery::ExecSQL() {
    RequireDatabase();
    Close();
    TranslateSQL();
    const std::string statement = SQL.Text();
    try {
        FTimeLimitMs = ExecTimeLimit();
        if (Dialect() == "PG" && !DefaultTransactionActive()) FDatabase->StartTransaction();
        FRowsAffected = FDatabase->Execute(statement, FTimeLimitMs).rowsAffected;
    } catch (const std::exception& e) {
        std::string message = e.what();
        if (Dialect() == "PG") {
            try {
                if (DefaultTransactionActive()) FDatabase->RollbackRetaining();
            } catch (...) {
                // The original error is what the caller needs to see.
            }
        }
        WriteSqlTrace(GetMachineName(), GetLocalIP(), FDatabase->NmUsuario,
                      "ExecSQL (" + message + "): " + statement);
        // A connection that could not be made within its time-out is no
        // deadlock, whatever the client library's words.
        if (!IsConnectionLost(e) && UpperAscii(message).find("TIMEOUT EXPIRED") != std::string::npos)
            message = "ERRO PROVÁVEL DE DEADLOCK :\r\r" + statement;
        throw Reworded(message, e);
    }
}

void TKVCustomQuery::TryExecSQL() {
    RequireDatabase();
    Close();
    TranslateSQL();
    const std::string statement = SQL.Text();
    FTimeLimitMs = ExecTimeLimit();
    int failures = 0;
    for (;;) {
        if (failures > 0) KVSleep(gRetryWait);
        try {
            if (Dialect() == "PG" && !DefaultTransactionActive()) FDatabase->StartTransaction();
            FRowsAffected = FDatabase->Execute(statement, FTimeLimitMs).rowsAffected;
            return;
        } catch (const std::exception& e) {
            ++failures;
            const std::string message = e.what();
            const std::string upper = UpperAscii(message);
            // A lost connection is never tried again here: the open work went
            // with it, and the caller must know.
            const bool retryable = !IsConnectionLost(e) && (upper.find("TIMEOUT EXPIRED") != std::string::npos ||
                                                            upper.find("DEADLOCK") != std::string::npos);
            if (retryable && failures <= 3) continue;
            WriteSqlTrace(GetMachineName(), GetLocalIP(), FDatabase->NmUsuario,
                          "TryExecSQL (Tentativa: " + std::to_string(failures) + ") (" + message + "): " + statement);
            throw Reworded(message, e);
        }
    }
}

void TKVCustomQuery::Close() {
    FActive = false;
    FEof = true;
    FRows.clear();
    FFields.clear();
    FCurrent = 0;
}

void TKVCustomQuery::LoadCurrentRow() {
    if (FRows.empty()) {
        for (auto& f : FFields) f->SetValue({});
        return;
    }
    const auto& row = FRows[static_cast<size_t>(FCurrent)];
    for (size_t c = 0; c < FFields.size(); ++c) FFields[c]->SetValue(c < row.size() ? row[c] : TKVValue{});
}

void TKVCustomQuery::First() {
    FCurrent = 0;
    FEof = FRows.empty();
    LoadCurrentRow();
}

void TKVCustomQuery::Next() {
    if (static_cast<size_t>(FCurrent) + 1 < FRows.size()) {
        ++FCurrent;
        LoadCurrentRow();
    } else {
        FEof = true;
    }
}

bool TKVCustomQuery::Eof() const {
    return FEof;
}

bool TKVCustomQuery::IsEmpty() const {
    return FRows.empty();
}

int TKVCustomQuery::RecordCount() const {
    return static_cast<int>(FRows.size());
}

int TKVCustomQuery::RecNo() const {
    return FRows.empty() ? 0 : FCurrent + 1;
}

int TKVCustomQuery::FieldCount() const {
    return static_cast<int>(FFields.size());
}

TKVField& TKVCustomQuery::Fields(int index) {
    if (index < 0 || static_cast<size_t>(index) >= FFields.size())
        throw EKVDatabaseError("Índice de campo fora dos limites: " + std::to_string(index));
    return *FFields[static_cast<size_t>(index)];
}

TKVField* TKVCustomQuery::FindField(const std::string& name) {
    for (auto& f : FFields)
        if (textutil::EqualsIgnoringAsciiCase(f->FieldName(), name)) return f.get();
    return nullptr;
}

TKVField& TKVCustomQuery::FieldByName(const std::string& name) {
    if (auto* f = FindField(name)) return *f;
    throw EKVDatabaseError("KVQuery: campo '" + name + "' não encontrado.");
}

void TKVCustomQuery::Delete() {
    if (BloqueiaDelete) throw EAbort();
    // Deleting through a result set needs the key of the row's table, which a
    // free-text statement does not give; the service deletes with statements.
    throw EKVDatabaseError("KVQuery: exclusão de registro pelo conjunto de resultados não suportada; use DELETE.");
}
