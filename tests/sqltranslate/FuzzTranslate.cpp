#include "FuzzTranslate.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sqltranslate/SqlTranslate.h"

namespace {

[[noreturn]] void Broken(const char* rule, const std::string& dialect) {
    std::fprintf(stderr, "translation rule broken (%s): %s\n", dialect.c_str(), rule);
    std::abort();
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

int FuzzTranslateOne(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const sqltranslate::CatalogueRunner catalogue = [](const std::string&) {
        return std::vector<std::string>{"COD", "NOME"};
    };
    for (const std::string dialect : {"FB", "PG", "Ora"}) {
        std::string out;
        try {
            out = sqltranslate::TranslateText(text, dialect, catalogue);
        } catch (const sqltranslate::ETranslateError&) {
            continue;  // refusal or a bad HORA flag: the translator's own error
        }
        // The bracket calls are held to a limit; what the other passes add
        // grows with the text, never by repetition.
        if (out.size() > 256 * size + (1u << 20)) Broken("output out of proportion", dialect);
        std::string again = Lower(text);
        if (!sqltranslate::MemoHit(again, text, out) || again != out) Broken("memo hit", dialect);
        std::string same = out;
        if (!sqltranslate::MemoHit(same, text, out) || same != out) Broken("translation taken for new text", dialect);
    }
    return 0;
}
