#include "WriteOffHarness.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>

#include "dataaccess/KVPlatform.h"
#include "erp_fixture/ErpFixture.h"
#include "writeoff/WriteOff.h"

namespace fs = std::filesystem;

namespace writeofftest {

namespace {

std::string Normalise(std::string v) {
    while (!v.empty() && v.back() == ' ') v.pop_back();
    static const std::regex number(R"(-?\d+\.\d+)");
    if (std::regex_match(v, number)) {
        while (v.back() == '0') v.pop_back();
        if (v.back() == '.') v.pop_back();
    }
    return v;
}

}  // namespace

Installation::Installation(testsupport::Backend backend) : FBackend(backend) {
    FFolder = testsupport::NewTestFolder("writeoff-");
    fs::create_directories(FFolder + "Recebidos");
    fs::create_directories(FFolder + "Processados");

    FDatabase = backend == testsupport::Backend::PG ? testsupport::CreatePgDatabase() : testsupport::CreateFbFile(false);
    const std::string ini = "[Plataforma]\nTipo=MET\n[Tempo]\nMinutos=5\n" +
                            testsupport::IniBancoSection(backend, FDatabase);
    std::ofstream(FFolder + "DEZORiv.ini") << ini;

    {
        auto db = Connect();
        erp_fixture::LoadWriteOff(*db);
        db->Close();
    }

    SetActiveWindowName("fmDEZORiv");
    FForm = std::make_unique<TfmDEZORiv>();
    FForm->ServiceFolder = FFolder;
    FForm->ProcessaArquivos = writeoff::ProcessaArquivos;
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

void Installation::DropFile(const std::string& name, const std::string& content) {
    std::ofstream(Inbox() + name, std::ios::binary) << content;
}

void Installation::DropSample(const std::string& sampleName) {
    fs::copy_file(erp_fixture::FixtureDir() + "/inbox/" + sampleName, Inbox() + sampleName);
}

std::vector<std::string> Installation::RunOnce() {
    size_t before = FForm->Memo1.Count();
    FForm->Dispatch([&] { FForm->tmVerificaTimer(); });
    std::vector<std::string> lines;
    const auto& all = FForm->Memo1.Lines();
    for (size_t i = before; i < all.size(); ++i) {
        size_t dash = all[i].find('-');
        lines.push_back(dash == std::string::npos ? all[i] : all[i].substr(dash + 1));
    }
    return lines;
}

std::vector<std::string> Installation::List(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Installation::Rows(const std::string& table, const std::vector<std::string>& columns,
                                            const std::string& orderBy) {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < columns.size(); ++i)
        sql += (i ? ", " : "") + std::string("CAST(") + columns[i] + " AS VARCHAR(200))";
    sql += " FROM " + table + " ORDER BY " + orderBy;
    kvdriver::ResultSet result = testsupport::QueryRows(FBackend, FDatabase, sql);
    std::vector<std::string> rows;
    for (const auto& row : result.rows) {
        std::string text;
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) text += "|";
            if (const auto* s = std::get_if<std::string>(&row[i]))
                text += Normalise(*s);
            else if (std::holds_alternative<std::monostate>(row[i]))
                text += "NULL";
            else
                text += "?";
        }
        rows.push_back(text);
    }
    return rows;
}

std::map<std::string, std::vector<std::string>> Installation::Snapshot() {
    std::map<std::string, std::vector<std::string>> s;
    s["OF_TEMPO"] = Rows("OF_TEMPO_001", {"NUMERO", "SEQ", "SITUACAO"}, "NUMERO, SEQ");
    s["OF1"] = Rows("OF1_001", {"NUMERO", "IMPOF", "QTDE_B", "DT_FINAL"}, "NUMERO");
    s["OF_ITEN"] = Rows("OF_ITEN_001", {"NUMERO", "QTDE", "QTDE_B"}, "NUMERO");
    s["MAT_ITEN"] = Rows("MAT_ITEN_001", {"CODIGO", "LOTE", "DEPOSITO", "QTDE"}, "CODIGO, LOTE");
    s["PA_ITEN"] = Rows("PA_ITEN_001",
                        {"CODIGO", "COR", "TAM", "TIPO", "LOTE", "DEPOSITO", "BARRA", "BARRA28", "BARRACLI",
                         "QUANTIDADE", "ORDEM", "COMPOSICAO", "QTDE_MIN", "ATIVO"},
                        "CODIGO, LOTE, DEPOSITO");
    s["PRODUTO"] = Rows("PRODUTO_001", {"CODIGO", "CUSTO", "LOCAL"}, "CODIGO");
    s["PA_MOV"] = Rows("PA_MOV_001",
                       {"ORDEM", "CODIGO", "TIP_BAI", "COR", "QTDE", "LOTE", "DEPOSITO", "OPERACAO", "NUM_DOCTO",
                        "DESCRICAO", "DT_MVTO", "CODFUN", "TAMANHO", "TIPO", "CUSTO", "TURNO", "CODCLI", "PRECO",
                        "TP_MOV"},
                       "ORDEM");
    s["MAT_MOV"] = Rows("MAT_MOV_001",
                        {"NUM_DOCTO", "ORDEM", "DT_MOVTO", "CODCRE", "CODIGO", "COR", "PRECO", "CUSTO", "DEPOSITO",
                         "GRUPO", "LOTE", "DESCRICAO", "OPERACAO", "TIPO", "TP_MOV", "QTDE"},
                        "NUM_DOCTO, ORDEM");
    s["LOG"] = Rows("LOG", {"USUARIO", "DATA", "TELA", "DESCRICAO", "EMPRESA", "CHAVE", "OPERACAO", "FORMULARIO"},
                    "DESCRICAO, CHAVE");
    return s;
}

void Installation::Execute(const std::string& sql) {
    testsupport::ExecuteCommitted(FBackend, FDatabase, sql);
}

std::string Installation::Today() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &t);
    return buf;
}

std::vector<std::string> WithToday(std::vector<std::string> rows) {
    const std::string today = Installation::Today();
    for (auto& r : rows)
        for (size_t p; (p = r.find("{HOJE}")) != std::string::npos;) r.replace(p, 6, today);
    return rows;
}

}  // namespace writeofftest
