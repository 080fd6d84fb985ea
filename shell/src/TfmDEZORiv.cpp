#include "shell/TfmDEZORiv.h"

#include <cstdio>

#include "dataaccess/KVErrors.h"
#include "dataaccess/ServiceFolder.h"
#include "shell/ActivityLog.h"
#include "shell/FileMoves.h"
#include "shell/IniFile.h"
#include "shell/RegionalSettings.h"
#include "shell/SqlHelpers.h"
#include "shell/StopSignals.h"
#include "shell/TextCase.h"
#include "shell/Version.h"
#include "textutil/AsciiCase.h"
#include "textutil/Blanks.h"

namespace {

using textutil::TrimBlanks;

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
    sPath = WithTrailingSlash(ServiceFolder.empty() ? ApplicationFolder() : ServiceFolder);

    // 3. Configuration (a missing file gives every default).
    shell::TIniFile ini(sPath + "DEZORiv.ini");
    // The start-up line is written however the start-up ends.
    FStartupLines.clear();
    FMinutosRead = false;
    struct TStartupReport {
        TfmDEZORiv& Form;
        const shell::TIniFile& Ini;
        ~TStartupReport() { Form.ReportStartup(Ini); }
    } report{*this, ini};

    // 4. Job type.
    sTipo = ini.ReadString("Plataforma", "Tipo", "");
    const std::string tipo = TrimBlanks(sTipo);
    if (tipo != "MET" && tipo != "TEC") {
        FTipoInvalido = true;
        ReportStartup(ini);  // before the message box, which waits
        if (ShowMessage)
            ShowMessage(Caption, MsgTipoInvalido);
        else
            std::fprintf(stderr, "%s\n", MsgTipoInvalido);
        return;
    }

    // 5. Interval in minutes; a value that is no whole number raises.
    FMinutos = shell::StrToInt(ini.ReadString("Tempo", "Minutos", "5"));
    FMinutosRead = true;

    // 6. Database name: server immediately followed by the database.
    const std::string base = ini.ReadString("Banco", "base", "");
    dbKV.SetDatabaseName(ini.ReadString("Banco", "servidor", "localhost") + base);

    // 7-10. Dialect, credentials, host and port.
    if (!TrimBlanks(dbKV.Database).empty()) {
        dbKV.DriverName = "FB";
        dbKV.User = ini.ReadString("Banco", "usuario", "sysdba");
        dbKV.Password = ini.ReadString("Banco", "senha", "plumtrees");
        const std::string banco = textutil::UpperAscii(ini.ReadString("Banco", "banco", ""));
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

    ReportStartup(ini);  // first of all lines
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

std::string TfmDEZORiv::StartupText(const shell::TIniFile& ini) const {
    const std::string iniPath = sPath + "DEZORiv.ini";
    std::string text = std::string("DEZORIV ") + shell::ProgramVersion() + " INICIADO; PASTA: " + sPath +
                       "; INI: " + (ini.Loaded() ? iniPath : "not found: " + iniPath);
    const std::string tipo = TrimBlanks(sTipo);
    text += "; TIPO: " + (FTipoInvalido ? "INVALIDO (" + (tipo.empty() ? std::string("VAZIO") : tipo) + ")" : tipo);
    if (dbKV.DriverName.empty()) {
        text += "; BANCO: NAO CONFIGURADO";
    } else {
        text += "; BANCO: " + dbKV.DriverName + " ";
        std::string host = dbKV.HostName.empty() ? std::string("(LOCAL)") : dbKV.HostName;
        if (dbKV.Port != 0) host += ":" + std::to_string(dbKV.Port);
        text += host + " BASE " + dbKV.Database;
    }
    text += "; INTERVALO: " + (FMinutosRead ? std::to_string(FMinutos) + " MINUTO(S)" : std::string("-"));
    return text;
}

void TfmDEZORiv::ReportStartup(const shell::TIniFile& ini) noexcept {
    if (!FStartupLines.empty()) return;
    Guarded([&] {
        FStartupLines.push_back(StartupText(ini));
        if (FMinutosRead && FMinutos <= 0) {
            FStartupLines.push_back("AVISO: TEMPO/MINUTOS = " + std::to_string(FMinutos) +
                                    ", O TEMPORIZADOR NUNCA DISPARA E A TAREFA NUNCA SERA EXECUTADA");
        } else if (FMinutosRead && static_cast<int64_t>(FMinutos) * 60000 > shell::MaxTimerInterval) {
            FStartupLines.push_back("AVISO: TEMPO/MINUTOS = " + std::to_string(FMinutos) + " ACIMA DO MAXIMO DE " +
                                    std::to_string(shell::MaxTimerInterval / 60000) +
                                    " QUE O TEMPORIZADOR COMPORTA, INTERVALO REDUZIDO PARA " +
                                    std::to_string(shell::MaxTimerInterval) + " MS");
        }
    });
    for (const auto& line : FStartupLines) Guarded([&] { LinhaMemo1(line); });
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
    Guarded([&] { shell::WriteOffLine(*this, "EXECAO DO SISTEMA: " + textutil::UpperAscii(message)); });
    // Nothing is overwritten, and no name keeps a file in the inbox: a name
    // already taken in Processados (or with ".erro") gives a new one.
    std::string setAside;
    Guarded([&] {
        const std::string moved = shell::MoveFileUnique(Origem, Destino);
        if (moved.empty()) return;
        setAside = moved;
        const std::string renamed = shell::MoveFileUnique(moved, Destino, ".erro");
        if (!renamed.empty()) setAside = renamed;
    });
    Guarded([&] {
        std::string line = "ARQUIVO COM ERRO: " + shell::ExtractFileName(Destino);
        if (!setAside.empty() && setAside != Destino + ".erro")
            line += " - GUARDADO EM PROCESSADOS COMO: " + shell::ExtractFileName(setAside);
        shell::WriteOffLine(*this, line);
    });
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
                                   "EXECUCAO: " + shell::UpperCaseText(message));
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
