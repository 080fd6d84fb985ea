#include "shell/TfmDEZORiv.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "dataaccess/KVErrors.h"
#include "shell/ActivityLog.h"
#include "shell/IniFile.h"
#include "shell/RegionalSettings.h"
#include "shell/StopSignals.h"

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n\f\v");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n\f\v");
    return s.substr(b, e - b + 1);
}

std::string UpperAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string ExecutableFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "./";
    std::string folder = exe.parent_path().string();
    return folder + "/";
}

// Runs one step of the error handler; the handler itself never raises.
template <typename F>
void Guarded(F&& f) noexcept {
    try {
        f();
    } catch (...) {
    }
}

}  // namespace

TfmDEZORiv::TfmDEZORiv()
    : TbOF("TbOF", shell::TbOFColumns()),
      TbLotes("TbLotes", shell::TbLotesColumns()),
      TbEstoque("TbEstoque", shell::TbEstoqueColumns()),
      CDSOrdTecelagem("CDSOrdTecelagem", shell::CDSOrdTecelagemColumns()),
      Memo1("Memo1"),
      mmOrdemTecel("mmOrdemTecel") {
    KVTransaction.SetDatabase(&dbKV);
    dbKV.GravaLog = false;
    dbKV.Port = 0;
    for (TKVQuery* q : {&QryBusca, &QryAponta, &QryGrava, &QryUpdate, &QryRaport}) {
        q->SetDatabase(&dbKV);
        q->AutoTransacao = true;
        q->TempoLimite = true;
    }
    tmVerifica.OnTimer = [this] { tmVerificaTimer(); };
    tmEnvioOP.OnTimer = [this] { tmEnvioOPTimer(); };
}

TfmDEZORiv::~TfmDEZORiv() = default;

void TfmDEZORiv::FormCreate() {
    // 1. Work tables empty, write-off pane cleared.
    TbLotes.EmptyDataSet();
    TbEstoque.EmptyDataSet();
    TbOF.EmptyDataSet();
    CDSOrdTecelagem.EmptyDataSet();
    Memo1.Clear();

    // 2. Service folder.
    sPath = ServiceFolder.empty() ? ExecutableFolder() : ServiceFolder;
    if (sPath.back() != '/') sPath += '/';

    // 3. Configuration (a missing file gives every default).
    shell::TIniFile ini(sPath + "DEZORiv.ini");

    // 4. Job type.
    sTipo = ini.ReadString("Plataforma", "Tipo", "");
    const std::string tipo = Trim(sTipo);
    if (tipo != "MET" && tipo != "TEC") {
        FTipoInvalido = true;
        if (ShowMessage)
            ShowMessage(Caption, MsgTipoInvalido);
        else
            std::fprintf(stderr, "%s\n", MsgTipoInvalido);
        return;
    }

    // 5. Interval in minutes; a value that is no whole number raises.
    FMinutos = shell::StrToInt(ini.ReadString("Tempo", "Minutos", "5"));

    // 6. Database name: server immediately followed by the database.
    const std::string base = ini.ReadString("Banco", "base", "");
    dbKV.SetDatabaseName(ini.ReadString("Banco", "servidor", "localhost") + base);

    // 7-10. Dialect, credentials, host and port.
    if (!Trim(dbKV.Database).empty()) {
        dbKV.DriverName = "FB";
        dbKV.User = ini.ReadString("Banco", "usuario", "sysdba");
        dbKV.Password = ini.ReadString("Banco", "senha", "plumtrees");
        const std::string banco = UpperAscii(ini.ReadString("Banco", "banco", ""));
        if (banco == "ORACLE") {
            dbKV.DriverName = "Ora";
            dbKV.SetDatabaseName(base);
            dbKV.Database = base;
            dbKV.HostName = ini.ReadString("Banco", "servidor", "");
            dbKV.Port = 1521;
        } else if (banco == "POSTGRES") {
            dbKV.DriverName = "PG";
            const std::string servidor = ini.ReadString("Banco", "servidor", "");
            std::string host = servidor, portText;
            if (size_t colon = servidor.find(':'); colon != std::string::npos) {
                host = servidor.substr(0, colon);
                portText = servidor.substr(colon + 1);
            }
            dbKV.SetDatabaseName(base);
            dbKV.Database = base;
            dbKV.HostName = host;
            int32_t port = 5432;
            if (!portText.empty() && !shell::TryStrToInt(portText, port)) port = 5432;
            dbKV.Port = port;
        }
    }

    const int64_t interval = static_cast<int64_t>(FMinutos) * 60000;
    // 11. Write-off.
    if (tipo == "MET") {
        tmVerifica.SetInterval(interval);
        tmVerifica.SetEnabled(true);
    }
    // 12. Export.
    if (tipo == "TEC") {
        sURLReq = ini.ReadString("Tecelagem", "URLReq", "");
        sURLAut = ini.ReadString("Tecelagem", "URLAut", "");
        sUsuario = ini.ReadString("Tecelagem", "Usuario", "");
        sSenha = ini.ReadString("Tecelagem", "Senha", "");
        iIdCliente = ini.ReadInteger("Tecelagem", "idCliente", 0);
        LogAtividade("Inicio do Processo. Intervalo de " + std::to_string(FMinutos) + " minuto(s)");
        tmEnvioOP.SetInterval(interval);
        tmEnvioOP.SetEnabled(true);
    }
}

void TfmDEZORiv::EndOfTick() noexcept {
    // Every unit of work of the run has been committed (or undone) by now:
    // ending the transaction loses nothing, and leaves none open until the
    // next run, holding locks and the oldest active transaction of the ERP.
    KVTransaction.Rollback();
}

void TfmDEZORiv::RunInboxTick() {
    tmVerifica.SetEnabled(false);
    try {
        if (ProcessaArquivos) ProcessaArquivos(*this);
    } catch (...) {
        EndOfTick();
        tmVerifica.SetEnabled(true);
        throw;
    }
    EndOfTick();
    tmVerifica.SetEnabled(true);
}

void TfmDEZORiv::tmVerificaTimer() { RunInboxTick(); }

void TfmDEZORiv::Button1Click() { RunInboxTick(); }

void TfmDEZORiv::tmEnvioOPTimer() {
    LogAtividade("Inicio do envio dos dados da OP.");
    tmEnvioOP.SetEnabled(false);
    try {
        if (AutenticaUsuario && AutenticaUsuario(*this)) {
            if (EnviaOPs) EnviaOPs(*this);
        }
    } catch (...) {
        EndOfTick();
        tmEnvioOP.SetEnabled(true);
        throw;
    }
    EndOfTick();
    tmEnvioOP.SetEnabled(true);
    LogAtividade("Fim do envio dos dados da OP.");
}

void TfmDEZORiv::ApplicationEvents1Exception(const std::string& message) {
    ++FErrorCount;
    Guarded([&] { shell::WriteOffLine(*this, "EXECAO DO SISTEMA: " + shell::UpperAsciiLetters(message)); });
    Guarded([&] {
        if (shell::MoveFileNoReplace(Origem, Destino)) shell::MoveFileNoReplace(Destino, Destino + ".erro");
    });
    Guarded([&] { shell::WriteOffLine(*this, "ARQUIVO COM ERRO: " + shell::ExtractFileName(Destino)); });
    Guarded([&] { tmVerifica.SetEnabled(true); });
}

void TfmDEZORiv::ApplicationEvents1Exception(const std::exception& error) {
    if (!IsConnectionLost(error)) {
        ApplicationEvents1Exception(std::string(error.what()));
        return;
    }
    ++FErrorCount;
    Guarded([&] {
        std::string message = error.what();
        for (char& c : message)
            if (c == '\r' || c == '\n') c = ' ';
        shell::WriteOffLine(*this, "BANCO DE DADOS INDISPONIVEL, ARQUIVOS CONTINUAM EM RECEBIDOS PARA A PROXIMA "
                                   "EXECUCAO: " + shell::UpperAsciiLetters(message));
    });
    Guarded([&] { tmVerifica.SetEnabled(true); });
}

bool TfmDEZORiv::Dispatch(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const shell::TStopRequested&) {
        // A run that ended early for a stop has said so itself; nothing is
        // wrong with the inbox file it was reading.
        return true;
    } catch (const std::exception& e) {
        ApplicationEvents1Exception(e);
    } catch (...) {
        ApplicationEvents1Exception("Erro desconhecido");
    }
    return false;
}

void TfmDEZORiv::LogAtividade(const std::string& message) { shell::ActivityLog(*this, message); }

void TfmDEZORiv::LinhaMemo1(const std::string& message) { shell::WriteOffLine(*this, message); }
