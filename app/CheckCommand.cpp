// `dezoriv check [--dir DIR]`: tests a service folder's configuration the way
// the service would use it, one line per item, "OK <item>: <what>" or
// "ERRO <item>: <what went wrong>":
//   - DEZORiv.ini read, every key known (an unknown one is named), Tipo,
//     Minutos and, for TEC, the API addresses;
//   - the folders the job uses: present and writable;
//   - the database: connects, reads each table the job uses, server version;
//   - for TEC, the API: a login with the configured user, nothing else.
// Exit 0 only when every line is OK, 1 otherwise, 64 on bad usage.
//
// It never posts, moves, marks or sends anything: the service's own
// start-up and login run on a copy of DEZORiv.ini in a temporary folder,
// where their log lines (and any SQL trace) go and are thrown away.
#include "CheckCommand.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dataaccess/KVPlatform.h"
#include "dataaccess/ServiceFolder.h"
#include "dataaccess/TKVQuery.h"
#include "export/Export.h"
#include "shell/IniFile.h"
#include "shell/SqlHelpers.h"
#include "shell/TfmDEZORiv.h"
#include "shell/Timer.h"

namespace fs = std::filesystem;

namespace {

constexpr int ExitUsage = 64;

// The keys the service reads, per section (names in any letter case).
const std::map<std::string, std::set<std::string>>& KnownKeys() {
    static const std::map<std::string, std::set<std::string>> keys = {
        {"plataforma", {"tipo"}},
        {"tempo", {"minutos"}},
        {"banco", {"servidor", "base", "banco", "usuario", "senha"}},
        {"tecelagem", {"urlreq", "urlaut", "usuario", "senha", "idcliente"}},
    };
    return keys;
}

// The ERP tables each job reads or writes (logical names).
const std::vector<std::string>& TablesOf(const std::string& tipo) {
    static const std::vector<std::string> met = {"PCPFT",   "MATERIAL", "MAT_ITEN", "PRODUTO", "PA_ITEN",
                                                 "UNIDADE", "TABBAI",   "DEPOSITO", "OF1",     "OF_ITEN",
                                                 "OF_TEMPO", "CADFLUXO", "PA_MOV",  "MAT_MOV", "LOG"};
    static const std::vector<std::string> tec = {"TECEL", "TECEL_ITEN", "MATERIAL", "PEDIDO",
                                                 "RAPORT", "CADRAPORT", "TIPO_APL"};
    return tipo == "MET" ? met : tec;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

class TReport {
public:
    void Ok(const std::string& item, const std::string& what) { Line("OK", item, what); }
    void Error(const std::string& item, const std::string& what) {
        ++FErrors;
        Line("ERRO", item, what);
    }
    int Errors() const { return FErrors; }

private:
    static void Line(const char* word, const std::string& item, const std::string& what) {
        std::printf("%s %s: %s\n", word, item.c_str(), OneLine(what).c_str());
        std::fflush(stdout);
    }
    int FErrors = 0;
};

// A folder the job uses: present and writable. Logs may be absent when the
// service folder is writable (the service creates it).
void CheckFolder(TReport& report, const std::string& folder, const std::string& name, bool createdByService) {
    const std::string path = folder + name;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        if (createdByService && ::access(folder.c_str(), W_OK) == 0) {
            report.Ok("pasta " + name, "ausente, o servi\xC3\xA7o a cria em " + path);
            return;
        }
        report.Error("pasta " + name, "n\xC3\xA3o existe: " + path);
        return;
    }
    if (!fs::is_directory(path, ec)) {
        report.Error("pasta " + name, "n\xC3\xA3o \xC3\xA9 uma pasta: " + path);
        return;
    }
    if (::access(path.c_str(), W_OK | X_OK) != 0) {
        report.Error("pasta " + name, "sem permiss\xC3\xA3o de escrita: " + path);
        return;
    }
    report.Ok("pasta " + name, path);
}

// The server's name and version, by a statement of its dialect.
std::string ServerVersion(TKVDatabase& db) {
    std::string sql;
    if (db.DriverName == "PG")
        sql = "SELECT VERSION() AS VERSAO";
    else if (db.DriverName == "Ora")
        sql = "SELECT BANNER AS VERSAO FROM V$VERSION WHERE ROWNUM = 1";
    else
        sql = "SELECT 'Firebird ' || RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') AS VERSAO FROM RDB$DATABASE";
    TKVQuery q;
    q.SetDatabase(&db);
    q.SQL.SetText(sql);
    q.Open();
    std::string version = q.Eof() ? std::string() : q.FieldByName("VERSAO").AsString();
    q.Close();
    return version;
}

void CheckDatabase(TReport& report, TfmDEZORiv& form, const std::string& tipo) {
    TKVDatabase& db = form.dbKV;
    if (db.DriverName.empty()) {
        report.Error("banco", "n\xC3\xA3o configurado ([Banco] base vazio)");
        return;
    }
    std::string where = db.DriverName + " " + (db.HostName.empty() ? std::string("(local)") : db.HostName) +
                        (db.Port != 0 ? ":" + std::to_string(db.Port) : std::string()) + " base " + db.Database +
                        " usu\xC3\xA1rio " + db.User;
    try {
        db.Open();
        report.Ok("banco", "conectado a " + where + "; servidor " + ServerVersion(db));
    } catch (const std::exception& e) {
        report.Error("banco", where + ": " + e.what());
        return;
    }
    for (const std::string& table : TablesOf(tipo)) {
        // The audit table LOG is the only one without the company suffix.
        const std::string physical = table == "LOG" ? table : shell::TableName(table);
        try {
            TKVQuery q;
            q.SetDatabase(&db);
            q.SQL.SetText("SELECT COUNT(*) AS N FROM " + physical + " WHERE 1 = 0");
            q.Open();
            q.Close();
            report.Ok("tabela " + physical, "lida");
        } catch (const std::exception& e) {
            report.Error("tabela " + physical, e.what());
        }
    }
    try {
        form.KVTransaction.Rollback();
        db.Close();
    } catch (...) {
    }
}

void CheckApi(TReport& report, TfmDEZORiv& form) {
    bool ok = false;
    try {
        ok = exportjob::AutenticaUsuario(form) && !form.sToken.empty();
    } catch (const std::exception& e) {
        report.Error("API", e.what());
        return;
    }
    if (ok) {
        report.Ok("API", "login de " + form.sUsuario + " aceito em " + form.sURLAut);
        return;
    }
    // The login's last activity line says why.
    std::string why = "login recusado em " + form.sURLAut;
    const auto& lines = form.mmOrdemTecel.Lines();
    if (!lines.empty()) {
        const std::string& last = lines.back();
        size_t dash = last.find(" - ");
        why += ": " + (dash == std::string::npos ? last : last.substr(dash + 3));
    }
    report.Error("API", why);
}

// A temporary copy of the service folder's DEZORiv.ini, removed again.
class TScratchFolder {
public:
    TScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "dezoriv-check.XXXXXX").string();
        if (::mkdtemp(pattern.data())) FPath = pattern + "/";
    }
    ~TScratchFolder() {
        std::error_code ec;
        if (!FPath.empty()) fs::remove_all(FPath, ec);
    }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

}  // namespace

int RunCheckCommand(int argc, char** argv, const std::string& executableFolder) {
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (a.rfind("--dir=", 0) == 0) {
            dir = a.substr(6);
        } else if (a == "--help" || a == "-h") {
            std::puts("usage: dezoriv check [--dir DIR]");
            return 0;
        } else {
            std::fprintf(stderr, "dezoriv check: unknown option %s\nusage: dezoriv check [--dir DIR]\n", a.c_str());
            return ExitUsage;
        }
    }
    std::error_code ec;
    std::string folder = dir.empty() ? executableFolder : fs::absolute(dir, ec).lexically_normal().string();
    if (folder.empty() || folder.back() != '/') folder += '/';

    TReport report;
    const std::string iniPath = folder + "DEZORiv.ini";
    shell::TIniFile ini(iniPath);
    if (!ini.Loaded()) {
        report.Error("DEZORiv.ini", "not found: " + iniPath);
        return 1;
    }
    report.Ok("DEZORiv.ini", iniPath);

    // Keys.
    int unknown = 0;
    for (const auto& name : ini.KeyNames()) {
        auto section = KnownKeys().find(Lower(name.Section));
        if (section != KnownKeys().end() && section->second.count(Lower(name.Key))) continue;
        ++unknown;
        report.Error("chave", "desconhecida: [" + name.Section + "] " + name.Key);
    }
    if (unknown == 0) report.Ok("chaves", std::to_string(ini.KeyNames().size()) + " chaves, todas conhecidas");

    const std::string tipo = ini.ReadString("Plataforma", "Tipo", "");
    if (tipo != "MET" && tipo != "TEC") {
        report.Error("Plataforma/Tipo", "'" + tipo + "' n\xC3\xA3o \xC3\xA9 MET nem TEC");
        return 1;
    }
    report.Ok("Plataforma/Tipo", tipo);

    bool minutosOk = false;
    int32_t minutos = 0;
    const std::string minutosText = ini.ReadString("Tempo", "Minutos", "5");
    if (!shell::TryStrToInt(minutosText, minutos)) {
        report.Error("Tempo/Minutos", "'" + minutosText + "' n\xC3\xA3o \xC3\xA9 um n\xC3\xBAmero inteiro");
    } else if (minutos <= 0) {
        report.Error("Tempo/Minutos", std::to_string(minutos) + ": a tarefa nunca seria executada");
    } else if (static_cast<int64_t>(minutos) * 60000 > shell::MaxTimerInterval) {
        report.Error("Tempo/Minutos", std::to_string(minutos) + " acima do m\xC3\xA1ximo de " +
                                          std::to_string(shell::MaxTimerInterval / 60000));
    } else {
        minutosOk = true;
        report.Ok("Tempo/Minutos", std::to_string(minutos));
    }
    if (tipo == "TEC") {
        for (const char* key : {"URLReq", "URLAut", "Usuario"}) {
            std::string value = ini.ReadString("Tecelagem", key, "");
            if (value.empty())
                report.Error(std::string("Tecelagem/") + key, "vazio");
            else
                report.Ok(std::string("Tecelagem/") + key, value);
        }
    }

    // Folders.
    if (tipo == "MET") {
        CheckFolder(report, folder, "Recebidos", false);
        CheckFolder(report, folder, "Processados", false);
    }
    CheckFolder(report, folder, "Logs", true);

    // Database and API, through the service's own start-up on a copy.
    TScratchFolder scratch;
    std::string text;
    {
        std::ifstream in(iniPath, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    // The start-up stops at an invalid interval: the copy gets a valid one
    // first (the first occurrence of a key wins).
    if (!minutosOk) text = "[Tempo]\nMinutos=5\n" + text;
    std::ofstream copy;
    if (!scratch.Path().empty()) copy.open(scratch.Path() + "DEZORiv.ini", std::ios::binary);
    if (!(copy << text) || !copy.flush()) {
        report.Error("banco", "pasta tempor\xC3\xA1ria n\xC3\xA3o criada em " + fs::temp_directory_path().string());
        return 1;
    }
    copy.close();
    // The service folder of the start-up below; a failed statement's trace
    // goes there too.
    SetApplicationFolder(scratch.Path());
    SetActiveWindowName("fmDEZORiv");
    TfmDEZORiv form;
    form.ShowMessage = [](const std::string&, const std::string&) {};
    if (!form.Dispatch([&form] { form.FormCreate(); })) {
        report.Error("in\xC3\xAD" "cio", form.Memo1.Lines().empty() ? std::string("falhou") : form.Memo1.Lines().back());
        return 1;
    }
    CheckDatabase(report, form, tipo);
    if (tipo == "TEC") CheckApi(report, form);

    return report.Errors() == 0 ? 0 : 1;
}
