// An export installation for tests: a fresh ERP database with the fixture, a
// service folder with DEZORiv.ini (TEC) pointing at a fake web API, and the
// main object started from that folder as the program starts it.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "FakeApiProcess.h"
#include "shell/TfmDEZORiv.h"
#include "test_support/TestDatabases.h"

namespace exporttest {

struct Options {
    bool sampleData = true;         // load tests/fixture/erp_export_data.sql
    std::string urlReqSuffix = "/api";
    std::string urlAutSuffix = "/login";
    std::string usuario = "tecelagem";
    std::string senha = "segredo";
    int idCliente = 12;
};

class Installation {
public:
    Installation(testsupport::Backend backend, const FakeApiProcess& api, Options options = {});
    ~Installation();

    TfmDEZORiv& Form() { return *FForm; }
    const std::string& Folder() const { return FFolder; }
    // The ERP database's name (PostgreSQL) or file (Firebird).
    const std::string& Database() const { return FDatabase; }

    // One tick of tmEnvioOP as the event loop runs it; gives the
    // mmOrdemTecel lines it added, without their date-time prefix.
    std::vector<std::string> RunOnce();

    // Runs a statement on a fresh connection (untranslated) and commits.
    void Execute(const std::string& sql);
    // Rows of a query on a fresh connection, columns joined with "|", NULL as
    // "NULL", blanks at the end of a value removed.
    std::vector<std::string> Rows(const std::string& sql);
    // "NUMERO|CODIGO|COR|ENVIADO" of every line, in key order.
    std::vector<std::string> Lines();

    // Contents of a dump file written today for the prefix ("" when none).
    std::string Dump(const std::string& prefix) const;
    // Lines of today's activity-log file, as written.
    std::vector<std::string> LogFileLines() const;

private:
    std::unique_ptr<TKVDatabase> Connect();

    testsupport::Backend FBackend;
    std::string FFolder;
    std::string FDatabase;
    std::unique_ptr<TfmDEZORiv> FForm;
};

// The request list of the fake API as "METHOD path" lines.
std::vector<std::string> RequestLines(const FakeApiProcess& api);

}  // namespace exporttest
