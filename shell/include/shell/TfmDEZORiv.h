// The main object of the service (instance name "fmDEZORiv"): it owns every
// piece of run-time state - the connection, the query components, the HTTP
// client slot of the export, the work tables, the two timers and the two log
// panes - and holds the start-up, the tick handlers and the handler of
// unexpected errors. The window (or the console) is only a view of it.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/TKVDatabase.h"
#include "dataaccess/TKVQuery.h"
#include "dataaccess/TKVTransaction.h"
#include "shell/LinePane.h"
#include "shell/Timer.h"
#include "shell/WorkTable.h"

namespace shell {
class TIniFile;
}

// The export's HTTP client. The export library defines it and creates it on
// first use; the main object owns it for the life of the program through its
// real type, with the deleter the export gives it (the shell knows no HTTP).
class TIdHTTPOrdens;
struct TIdHTTPOrdensDeleter {
    void (*Destroy)(TIdHTTPOrdens*) = nullptr;
    void operator()(TIdHTTPOrdens* client) const {
        if (client && Destroy) Destroy(client);
    }
};

class TfmDEZORiv {
public:
    // Title of the window, also the caption of its message box.
    static constexpr const char* Caption = "Integra\xC3\xA7\xC3\xA3o OP\"s";
    // Text of the message box of a missing or invalid Tipo.
    static constexpr const char* MsgTipoInvalido =
        "Definir o tipo de integra\xC3\xA7\xC3\xA3o. \n\rMET=Metal\xC3\xBArgico\n\rTEC=Tecelagem";

    TfmDEZORiv();
    ~TfmDEZORiv();
    TfmDEZORiv(const TfmDEZORiv&) = delete;
    TfmDEZORiv& operator=(const TfmDEZORiv&) = delete;

    // Connection and its default transaction (not ended after a statement,
    // rolled back on close, trace off, port 0 until the start-up sets it).
    TKVDatabase dbKV;
    TKVTransaction KVTransaction;

    // Query components bound to dbKV.
    TKVQuery QryBusca;   // bill-of-materials lookup
    TKVQuery QryAponta;  // order time records
    TKVQuery QryGrava;   // stock posting
    TKVQuery QryUpdate;  // stock posting
    TKVQuery QryRaport;  // raport of the main weaving order

    // HTTP client of the export; filled by the export library on first use.
    std::unique_ptr<TIdHTTPOrdens, TIdHTTPOrdensDeleter> IdHTTPOrdens;

    // Work tables.
    shell::TWorkTable TbOF;
    shell::TWorkTable TbLotes;
    shell::TWorkTable TbEstoque;
    shell::TWorkTable CDSOrdTecelagem;

    // Timers: both off, 300000 ms, until the start-up switches one on.
    shell::TTimer tmVerifica;  // write-off (MET)
    shell::TTimer tmEnvioOP;   // export (TEC)

    // Log panes.
    shell::TLinePane Memo1;         // write-off lines, audit echo, error handler
    shell::TLinePane mmOrdemTecel;  // activity log

    // Settings and state.
    std::string sPath;     // service folder with a trailing '/'
    std::string sTipo;     // Plataforma/Tipo as read (untrimmed)
    std::string sURLReq;   // Tecelagem/URLReq
    std::string sURLAut;   // Tecelagem/URLAut
    std::string sUsuario;  // Tecelagem/Usuario
    std::string sSenha;    // Tecelagem/Senha
    std::string sToken;    // bearer token of the API, empty at start
    int32_t iIdCliente = 0;  // Tecelagem/idCliente
    std::string Origem;    // inbox file being processed
    std::string Destino;   // where that file goes in the processed folder

    // Job hooks, set by the program.
    std::function<void(TfmDEZORiv&)> ProcessaArquivos;  // MET run
    std::function<bool(TfmDEZORiv&)> AutenticaUsuario;  // TEC login
    std::function<void(TfmDEZORiv&)> EnviaOPs;          // TEC run

    // Where this object's service lives (holds DEZORiv.ini, Recebidos,
    // Processados, Logs). Empty: the process's service folder
    // (ApplicationFolder, which the program sets). Read by FormCreate into sPath.
    std::string ServiceFolder;

    // Shows the modal information message box (caption, text). The window
    // or the console sets it; unset, the text goes to standard error.
    std::function<void(const std::string& caption, const std::string& text)> ShowMessage;

    // Start-up: tables, sPath, DEZORiv.ini, connection settings, one timer.
    void FormCreate();
    // True when the start-up stopped at a missing or invalid Tipo.
    bool TipoInvalido() const { return FTipoInvalido; }
    // Interval in minutes read by the start-up (5 when it did not get there).
    int32_t IntervaloMinutos() const { return FMinutos; }
    // What the start-up said of itself on Memo1 (without the date-time
    // text): version, folder, INI file, job, database, interval; then a
    // warning when the interval lets the job never run or is cut.
    const std::vector<std::string>& StartupLines() const { return FStartupLines; }

    // Tick handlers.
    void tmVerificaTimer();
    void Button1Click();
    void tmEnvioOPTimer();

    // Handler of every error that escapes a tick, the button or the start-up.
    void ApplicationEvents1Exception(const std::string& message);
    // The same for an exception: when it says that the database could not be
    // reached, no inbox file is set aside (nothing is wrong with it): one
    // pane line says so, and the files wait in Recebidos for the next run.
    void ApplicationEvents1Exception(const std::exception& error);

    // Runs an event handler as the event loop does: an escaping error goes
    // to ApplicationEvents1Exception. Returns false when one did.
    bool Dispatch(const std::function<void()>& handler);
    // Errors that reached ApplicationEvents1Exception so far.
    int ErrorCount() const { return FErrorCount; }

    // Activity log line (mmOrdemTecel + daily file); never fails.
    void LogAtividade(const std::string& message);
    // Write-off pane line (Memo1 only).
    void LinhaMemo1(const std::string& message);

private:
    void RunInboxTick();
    // Ends the connection's transaction for real at the end of a tick.
    void EndOfTick() noexcept;
    std::string StartupText(const shell::TIniFile& ini) const;
    void ReportStartup(const shell::TIniFile& ini) noexcept;
    bool FTipoInvalido = false;
    bool FMinutosRead = false;
    std::vector<std::string> FStartupLines;
    int32_t FMinutos = 5;
    int FErrorCount = 0;
};
