#include "shell/ConsoleEcho.h"

#include "shell/TfmDEZORiv.h"

namespace shell {

TConsoleEcho::TConsoleEcho(TfmDEZORiv& form, std::FILE* out, std::FILE* err) : FForm(form) {
    auto echo = [out](const char* name) {
        return [out, name](const std::string& line) {
            // A line break inside a message (database errors carry CRs)
            // starts a new console line with the same prefix.
            size_t start = 0;
            while (true) {
                size_t brk = line.find_first_of("\r\n", start);
                std::string piece = line.substr(start, brk == std::string::npos ? std::string::npos : brk - start);
                std::fprintf(out, "[%s] %s\n", name, piece.c_str());
                if (brk == std::string::npos) break;
                start = brk + ((line[brk] == '\r' && brk + 1 < line.size() && line[brk + 1] == '\n') ? 2 : 1);
            }
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
