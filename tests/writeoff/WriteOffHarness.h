// A write-off installation for tests: a fresh ERP database loaded with the
// fixture, a service folder with DEZORiv.ini (MET) and its inbox folders, and
// the main object started from that folder as the program starts it.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/KVDriver.h"
#include "shell/TfmDEZORiv.h"
#include "test_support/TestDatabases.h"

namespace writeofftest {

class Installation {
public:
    explicit Installation(testsupport::Backend backend);
    ~Installation();

    testsupport::Backend Backend() const { return FBackend; }
    TfmDEZORiv& Form() { return *FForm; }
    const std::string& Folder() const { return FFolder; }
    std::string Inbox() const { return FFolder + "Recebidos/"; }
    std::string Processed() const { return FFolder + "Processados/"; }

    // Writes a file into the inbox (bytes as given).
    void DropFile(const std::string& name, const std::string& content);
    // Copies a sample file of the fixture into the inbox.
    void DropSample(const std::string& sampleName);

    // One tick of tmVerifica as the event loop runs it; gives the Memo1
    // lines it added, without their date-time prefix.
    std::vector<std::string> RunOnce();

    // Names in a folder, sorted.
    static std::vector<std::string> List(const std::string& folder);

    // Rows of a table as "v1|v2|..." through a fresh connection (committed
    // data only): numbers without trailing zeros, dates as YYYY-MM-DD, NULL
    // as "NULL", the literal "{HOJE}" standing for today's date.
    std::vector<std::string> Rows(const std::string& table, const std::vector<std::string>& columns,
                                  const std::string& orderBy);
    // Every write-off table with every column that the job reads or writes.
    std::map<std::string, std::vector<std::string>> Snapshot();
    // Runs a statement on a fresh connection (untranslated) and commits.
    void Execute(const std::string& sql);
    // A connection of the test's own to the ERP database (not yet connected).
    std::unique_ptr<TKVDatabase> OpenConnection() { return Connect(); }

    // Today's date as the rows show it.
    static std::string Today();

private:
    std::unique_ptr<TKVDatabase> Connect();

    testsupport::Backend FBackend;
    std::string FFolder;
    std::string FDatabase;  // PostgreSQL database name or Firebird file
    std::unique_ptr<TfmDEZORiv> FForm;
};

// A driver session wrapped around a real one that records the text of every
// statement it is given, as it reaches the driver (translated).
class RecordingSession : public kvdriver::Session {
public:
    RecordingSession(std::unique_ptr<kvdriver::Session> inner, std::vector<std::string>& log)
        : FInner(std::move(inner)), FLog(log) {}
    void StartTransaction() override { FInner->StartTransaction(); }
    bool InTransaction() const override { return FInner->InTransaction(); }
    void CommitRetaining() override { FInner->CommitRetaining(); }
    void RollbackRetaining() override { FInner->RollbackRetaining(); }
    void Rollback() override { FInner->Rollback(); }
    kvdriver::ResultSet Execute(const std::string& sql, int timeoutMs) override {
        FLog.push_back(sql);
        return FInner->Execute(sql, timeoutMs);
    }

private:
    std::unique_ptr<kvdriver::Session> FInner;
    std::vector<std::string>& FLog;
};

// Replaces "{HOJE}" by today's date in expected rows.
std::vector<std::string> WithToday(std::vector<std::string> rows);

}  // namespace writeofftest
