// Headless view of the form: every pane line goes to a stream as it is
// appended, prefixed with the pane's name in brackets ("[Memo1] ...",
// "[mmOrdemTecel] ..."), flushed at once. A line break inside a pane line
// (CR LF, CR or LF) continues on a new console line with the same prefix.
// The message box text goes to the error stream unchanged.
#pragma once
#include <cstdio>

class TfmDEZORiv;

namespace shell {

class TConsoleEcho {
public:
    TConsoleEcho(TfmDEZORiv& form, std::FILE* out = stdout, std::FILE* err = stderr);
    ~TConsoleEcho();
    TConsoleEcho(const TConsoleEcho&) = delete;
    TConsoleEcho& operator=(const TConsoleEcho&) = delete;

private:
    TfmDEZORiv& FForm;
    int FMemo1Id, FOrdemId;
};

}  // namespace shell
