#include "shell/ConsoleEcho.h"

#include "shell/TfmDEZORiv.h"

namespace shell {

TConsoleEcho::TConsoleEcho(TfmDEZORiv& form, std::FILE* out, std::FILE* err) : FForm(form) {
    auto echo = [out](const char* name) {
        return [out, name](const std::string& line) {
            std::fprintf(out, "[%s] %s\n", name, line.c_str());
            std::fflush(out);
        };
    };
    FMemo1Id = form.Memo1.AddObserver(echo("Memo1"));
    FOrdemId = form.mmOrdemTecel.AddObserver(echo("mmOrdemTecel"));
    form.ShowMessage = [err](const std::string&, const std::string& text) {
        std::fprintf(err, "%s\n", text.c_str());
        std::fflush(err);
    };
}

TConsoleEcho::~TConsoleEcho() {
    FForm.Memo1.RemoveObserver(FMemo1Id);
    FForm.mmOrdemTecel.RemoveObserver(FOrdemId);
    FForm.ShowMessage = nullptr;
}

}  // namespace shell
