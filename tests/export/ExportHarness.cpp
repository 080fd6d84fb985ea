#include "ExportHarness.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dataaccess/KVPlatform.h"
#include "erp_fixture/ErpFixture.h"
#include "TestSeams.h"
#include "export/Export.h"

namespace fs = std::filesystem;

namespace exporttest {

namespace {

std::string TodayYYMMDD() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char buf[16];
    std::strftime(buf, sizeof buf, "%y%m%d", &t);
    return buf;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

Installation::Installation(testsupport::Backend backend, const FakeApiProcess& api, Options options)
    : FBackend(backend) {
    FFolder = testsupport::NewTestFolder("export-");

    FDatabase = backend == testsupport::Backend::PG ? testsupport::CreatePgDatabase() : testsupport::CreateFbFile(false);
    std::string ini = "[Plataforma]\nTipo=TEC\n[Tempo]\nMinutos=5\n" + testsupport::IniBancoSection(backend, FDatabase);
    ini += "[Tecelagem]\nURLReq=" + api.BaseUrl() + options.urlReqSuffix + "\nURLAut=" + api.BaseUrl() +
           options.urlAutSuffix + "\nUsuario=" + options.usuario + "\nSenha=" + options.senha +
           "\nidCliente=" + std::to_string(options.idCliente) + "\n";
    std::ofstream(FFolder + "DEZORiv.ini") << ini;

    {
        auto db = Connect();
        erp_fixture::LoadWriteOff(*db);
        std::string dialect = backend == testsupport::Backend::PG ? "pg" : "fb";
        erp_fixture::RunScript(*db, erp_fixture::FixtureDir() + "/erp_export_" + dialect + ".sql");
        if (options.sampleData) erp_fixture::RunScript(*db, erp_fixture::FixtureDir() + "/erp_export_data.sql");
        db->Close();
    }

    exportjob::testing::SetWaitScale(0);
    SetActiveWindowName("fmDEZORiv");
    FForm = std::make_unique<TfmDEZORiv>();
    FForm->ServiceFolder = FFolder;
    FForm->AutenticaUsuario = exportjob::AutenticaUsuario;
    FForm->EnviaOPs = exportjob::EnviaOPs;
    FForm->ShowMessage = [](const std::string&, const std::string&) {};
    FForm->FormCreate();
}

Installation::~Installation() {
    FForm.reset();
    std::error_code ec;
    fs::remove_all(FFolder, ec);
}

std::unique_ptr<TKVDatabase> Installation::Connect() {
    return testsupport::ConnectionFor(FBackend, FDatabase);
}

std::vector<std::string> Installation::RunOnce() {
    size_t before = FForm->mmOrdemTecel.Count();
    FForm->Dispatch([&] { FForm->tmEnvioOPTimer(); });
    // The main object keeps its connection open between ticks; the checks
    // read through connections of their own, which an embedded Firebird file
    // allows only once the service's one is closed.
    FForm->dbKV.Close();
    std::vector<std::string> lines;
    const auto& all = FForm->mmOrdemTecel.Lines();
    for (size_t i = before; i < all.size(); ++i) {
        size_t sep = all[i].find(" - ");
        lines.push_back(sep == std::string::npos ? all[i] : all[i].substr(sep + 3));
    }
    return lines;
}

void Installation::Execute(const std::string& sql) {
    FForm->dbKV.Close();
    testsupport::ExecuteCommitted(FBackend, FDatabase, sql);
}

std::vector<std::string> Installation::Rows(const std::string& sql) {
    FForm->dbKV.Close();
    kvdriver::ResultSet result = testsupport::QueryRows(FBackend, FDatabase, sql);
    std::vector<std::string> rows;
    for (const auto& row : result.rows) {
        std::string text;
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) text += "|";
            if (const auto* s = std::get_if<std::string>(&row[i])) {
                std::string v = *s;
                while (!v.empty() && v.back() == ' ') v.pop_back();
                text += v;
            } else if (const auto* n = std::get_if<int64_t>(&row[i])) {
                text += std::to_string(*n);
            } else if (const auto* d = std::get_if<double>(&row[i])) {
                std::ostringstream os;
                os << *d;
                text += os.str();
            } else {
                text += "NULL";
            }
        }
        rows.push_back(text);
    }
    return rows;
}

std::vector<std::string> Installation::Lines() {
    return Rows("SELECT NUMERO, CODIGO, COR, COALESCE(ENVIADO, '-') FROM TECEL_ITEN_001 ORDER BY NUMERO, CODIGO, COR");
}

std::string Installation::Dump(const std::string& prefix) const {
    return ReadFile(FFolder + "Logs/Brevant/Excecao/" + prefix + "_" + TodayYYMMDD() + ".log");
}

std::vector<std::string> Installation::LogFileLines() const {
    std::string text = ReadFile(FFolder + "Logs/Brevant/Brevant_" + TodayYYMMDD() + ".log");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> RequestLines(const FakeApiProcess& api) {
    std::vector<std::string> out;
    for (const auto& r : api.Requests())
        out.push_back(r["method"].get<std::string>() + " " + r["path"].get<std::string>());
    return out;
}

}  // namespace exporttest
