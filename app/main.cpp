// The dezoriv program: the service with its window, or headless on a console.
//
//   dezoriv [--headless] [--once] [--dir DIR]
//   dezoriv check [--dir DIR]
//   dezoriv translate ...
//   dezoriv --version
//
// Headless (asked for, no DISPLAY/WAYLAND_DISPLAY, or a build without the
// window): both panes go to standard output as "[Memo1] <line>" and
// "[mmOrdemTecel] <line>"; the message box text goes to standard error; the
// event loop needs no window system. SIGTERM or SIGINT ends the program
// after the tick in progress. Under systemd (Type=notify) the service says
// when it is ready and pings the watchdog while it makes progress. One
// process per service folder: a second one on the same folder is refused
// (exit status 75); `translate`, `check` and `--version` take no lock.
#ifdef DEZORIV_GUI
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QWidget>
#endif

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "CheckCommand.h"
#include "TranslateCommand.h"
#include "dataaccess/KVPlatform.h"
#include "dataaccess/ServiceFolder.h"
#include "export/Export.h"
#include "shell/ConsoleEcho.h"
#include "shell/FolderLock.h"
#include "shell/HeadlessLoop.h"
#include "shell/ServiceNotify.h"
#include "shell/StopSignals.h"
#include "shell/TfmDEZORiv.h"
#include "shell/Version.h"
#include "writeoff/WriteOff.h"
#ifdef DEZORIV_GUI
#include "shell/EventLoop.h"
#include "shell/MainWindow.h"
#endif


namespace {

constexpr int ExitError = 1;       // an error reached the error handler (--once)
constexpr int ExitTipoInvalido = 2;
constexpr int ExitFolderInUse = 75;  // another process has the service folder
constexpr int ExitUsage = 64;

void PrintUsage(std::FILE* to) {
    std::fputs(
        "Usage: dezoriv [--headless] [--once] [--dir DIR]\n"
        "       dezoriv check [--dir DIR]\n"
        "       dezoriv translate --help\n"
        "       dezoriv --version\n"
        "\n"
        "  --dir DIR   service folder: DEZORiv.ini, Recebidos, Processados, Logs\n"
        "              (default: the folder of the executable)\n"
        "  --headless  no window: the panes go to standard output, prefixed\n"
        "              \"[Memo1] \" and \"[mmOrdemTecel] \" (automatic without a display)\n"
        "  --once      run the configured job's tick once and exit\n"
        "              (0: no error, 1: an error reached the error handler,\n"
        "               2: Plataforma/Tipo missing or invalid)\n"
        "  --version   the program's version\n"
        "  --help      this text\n"
        "  check       tests the configuration of the service folder and changes\n"
        "              nothing (exit 0 only when every line is OK)\n"
        "\n"
        "One process per service folder (lock on DIR/DEZORiv.lock): a second\n"
        "one on the same folder is refused and exits with 75.\n",
        to);
}

#ifdef DEZORIV_GUI
bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "translate") == 0) return RunTranslateCommand(argc - 1, argv + 1);
    if (argc > 1 && std::strcmp(argv[1], "check") == 0)
        return RunCheckCommand(argc - 1, argv + 1, ExecutableFolder(argv[0]));

    bool headless = false, once = false;
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--headless") {
            headless = true;
        } else if (a == "--once") {
            once = true;
        } else if (a == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (a.rfind("--dir=", 0) == 0) {
            dir = a.substr(6);
        } else if (a == "--version") {
            std::printf("dezoriv %s\n", shell::ProgramVersion());
            return 0;
        } else if (a == "--help" || a == "-h") {
            PrintUsage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "dezoriv: unknown option %s\n", a.c_str());
            PrintUsage(stderr);
            return ExitUsage;
        }
    }
    // --once never opens a window: it reports on the console.
#ifdef DEZORIV_GUI
    if (once || !HasDisplay()) headless = true;
#else
    headless = true;
#endif

    // Before any thread exists: stop signals are taken by the event loop only.
    shell::BlockStopSignals();

    std::error_code ec;
    SetApplicationFolder(dir.empty() ? ExecutableFolder(argv[0])
                                     : std::filesystem::absolute(dir, ec).lexically_normal().string());
    const std::string folder = ApplicationFolder();
    SetActiveWindowName("fmDEZORiv");

#ifdef DEZORIV_GUI
    std::unique_ptr<QApplication> app;
    if (!headless) app = std::make_unique<QApplication>(argc, argv);
#endif
    // The C library follows the environment's locale, as with a window;
    // numbers in SQL, JSON and logs must not follow it (regional settings
    // are read apart).
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");

    // Held until the program ends; two processes on one folder would read
    // the same inbox files and post the same orders twice.
    shell::TFolderLock folderLock(folder);
    if (!folderLock.Held()) {
        std::fprintf(stderr, "dezoriv: %s\n", folderLock.Refusal().c_str());
#ifdef DEZORIV_GUI
        if (!headless)
            QMessageBox::information(nullptr, QString::fromUtf8(TfmDEZORiv::Caption),
                                     QString::fromUtf8(folderLock.Refusal().c_str()));
#endif
        return ExitFolderInUse;
    }

    TfmDEZORiv form;
    form.ProcessaArquivos = writeoff::ProcessaArquivos;
    form.AutenticaUsuario = exportjob::AutenticaUsuario;
    form.EnviaOPs = exportjob::EnviaOPs;

    if (headless) {
        shell::TConsoleEcho console(form);
        if (once) {
            form.Dispatch([&form] { form.FormCreate(); });
            if (form.TipoInvalido()) return ExitTipoInvalido;
            if (form.tmEnvioOP.Enabled())
                form.Dispatch([&form] { form.tmEnvioOPTimer(); });
            else if (form.tmVerifica.Enabled())
                form.Dispatch([&form] { form.tmVerificaTimer(); });
            return form.ErrorCount() > 0 ? ExitError : 0;
        }
        shell::THeadlessLoop loop(form);
        form.Dispatch([&form] { form.FormCreate(); });
        if (form.TipoInvalido()) return ExitTipoInvalido;
        shell::NotifyReady(form.StartupLines().empty() ? std::string() : form.StartupLines().front());
        loop.Run();
        shell::NotifyStopping();
        return 0;
    }

#ifdef DEZORIV_GUI
    std::unique_ptr<QWidget> window = shell::CreateMainWindow(form);
    shell::TEventLoopTimers timers(form);
    bool stopRequested = false;
    shell::TStopSignalWatcher stop([&stopRequested](int) {
        stopRequested = true;
        QApplication::closeAllWindows();  // also a modal message box
        QCoreApplication::quit();
    });
    // The start-up's message box may close before the window is shown; that
    // must not count as closing the last window.
    QApplication::setQuitOnLastWindowClosed(false);
    form.Dispatch([&form] { form.FormCreate(); });
    if (stopRequested) return 0;  // stopped while the message box was open
    // The start-up line also goes to the console.
    for (const auto& line : form.StartupLines()) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    window->show();
    QApplication::setQuitOnLastWindowClosed(true);
    return app->exec();
#else
    return 0;
#endif
}
