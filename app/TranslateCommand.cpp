// `dezoriv translate --dialect FB|PG|Ora`: reads one house-dialect statement
// from standard input, writes its translation to standard output.
#include "TranslateCommand.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

#include "sqltranslate/SqlTranslate.h"

namespace {

constexpr const char* kUsage = "usage: dezoriv translate --dialect FB|PG|Ora < statement.sql\n";

// Lines as the query's SQL holds them: split at LF or CR LF, each line
// followed by CR LF.
std::string AsStatementText(const std::string& input) {
    std::string text;
    size_t start = 0;
    while (start < input.size()) {
        size_t lf = input.find('\n', start);
        size_t end = lf == std::string::npos ? input.size() : lf;
        size_t lineEnd = (lf != std::string::npos && end > start && input[end - 1] == '\r') ? end - 1 : end;
        text.append(input, start, lineEnd - start);
        text += "\r\n";
        start = lf == std::string::npos ? input.size() : lf + 1;
    }
    return text;
}

// CR LF written as LF.
std::string WithLf(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        out += s[i];
    }
    return out;
}

}  // namespace

int RunTranslateCommand(int argc, char** argv) {
    std::string dialect;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--dialect") == 0 && i + 1 < argc && dialect.empty()) {
            dialect = argv[++i];
        } else if (std::strncmp(arg, "--dialect=", 10) == 0 && dialect.empty()) {
            dialect = arg + 10;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (dialect != "FB" && dialect != "PG" && dialect != "Ora") {
        std::fputs(kUsage, stderr);
        return 2;
    }

    const std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    try {
        // No database here: a statement that needs Oracle's catalogue fails
        // with the translator's own clear error.
        const std::string out = WithLf(sqltranslate::TranslateText(AsStatementText(input), dialect));
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    } catch (const std::exception& e) {
        const std::string message = WithLf(e.what()) + "\n";
        std::fwrite(message.data(), 1, message.size(), stderr);
        return 1;
    }
}
