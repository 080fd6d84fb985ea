// The query component: every statement of the service goes through it. It
// translates the house dialect right before execution, applies time limits,
// handles PostgreSQL's transaction, words its errors and traces failures.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/TKVDatabase.h"
#include "dataaccess/TKVField.h"

// The statement text: a list of lines. Text() joins them with CR LF after
// every line, the last one included.
class TKVStrings {
public:
    void Clear() { FLines.clear(); }
    void Add(const std::string& line) { FLines.push_back(line); }
    std::string Text() const;
    void SetText(const std::string& text);  // splits at CR LF, CR or LF
    size_t Count() const { return FLines.size(); }
    const std::string& operator[](size_t i) const { return FLines[i]; }

private:
    std::vector<std::string> FLines;
};

class TKVCustomQuery {
public:
    TKVCustomQuery();
    virtual ~TKVCustomQuery();
    TKVCustomQuery(const TKVCustomQuery&) = delete;
    TKVCustomQuery& operator=(const TKVCustomQuery&) = delete;

    TKVDatabase* Database() const { return FDatabase; }
    void SetDatabase(TKVDatabase* database);

    bool AutoTransacao = true;   // stored only
    bool TempoLimite = true;     // time limit for ExecSQL / TryExecSQL
    bool BloqueiaDelete = true;  // refuse record deletes through the result set
    bool TimeOutOpen = false;    // keep the time limit when opening (not PG)

    TKVStrings SQL;

    void Open();
    void ExecSQL();
    void TryExecSQL();
    void Close();
    bool Active() const { return FActive; }

    // Result reading.
    void First();
    void Next();
    bool Eof() const;
    bool IsEmpty() const;
    int RecordCount() const;
    int RecNo() const;  // 1-based; 0 when empty
    int FieldCount() const;
    TKVField& Fields(int index);
    TKVField* FindField(const std::string& name);  // case-insensitive; nullptr when absent
    TKVField& FieldByName(const std::string& name);  // throws EKVDatabaseError when absent
    long long RowsAffected() const { return FRowsAffected; }

    // Deletes the current record; refused in silence while BloqueiaDelete
    // (raises EAbort: no message, nothing changed, the caller's code stops).
    void Delete();

    // Hands the text to the dialect translator; TKVQuery provides it.
    virtual void TranslateSQL() {}

    // Time limit now in force for this query, in milliseconds (0: none).
    int TimeLimitMs() const { return FTimeLimitMs; }

    // Time limits of ExecSQL/TryExecSQL per dialect (60 000 ms for "FB",
    // 30 000 ms for the others) and the wait between TryExecSQL attempts
    // (1 000 ms). Tests shorten them; the service never changes them.
    static void SetTimeLimits(int fbMs, int otherMs);
    static void SetRetryWait(int ms);
    static int RetryWaitMs();

protected:
    // Opens the result set: translation first, then the driver.
    void OpenCursor();

private:
    const std::string& Dialect() const;
    bool DefaultTransactionActive() const;
    void RequireDatabase() const;
    void LoadCurrentRow();
    int ExecTimeLimit() const;

    TKVDatabase* FDatabase = nullptr;
    bool FActive = false;
    bool FEof = true;
    int FTimeLimitMs = 0;
    long long FRowsAffected = -1;
    std::vector<std::vector<TKVValue>> FRows;
    std::vector<std::unique_ptr<TKVField>> FFields;
    int FCurrent = 0;
};

class TKVQuery : public TKVCustomQuery {
public:
    void TranslateSQL() override;

    // The translation memo, for tests: the last house-dialect text
    // translated and its translation (both empty after a refusal).
    struct TTranslationMemo {
        const std::string& Original;
        const std::string& Translation;
    };
    TTranslationMemo TranslationMemoForTests() const { return {FSQLOriginal, FSQLAnterior}; }

private:
    // Translation memo: the last house-dialect text and its translation.
    std::string FSQLOriginal;
    std::string FSQLAnterior;
};
