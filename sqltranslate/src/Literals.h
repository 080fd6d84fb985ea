// String literals as opaque text. The values of a statement travel inside
// its literals ('O''NEIL'): before the passes run, the content of every
// literal is swapped for a short token that no pass can match (no letter,
// blank, quote, bracket, parenthesis, comma or sign), and the contents come
// back when the passes are done. So a name, bracket, comment mark or quote
// written inside a value never takes part in a rewrite, however it is spelt.
//
// Three kinds of literal stay in plain sight because the house dialect reads
// them: the empty literal (the '' comparisons), a literal of one letter or
// digit (FIRST's 'E' and 'I'), and a valid house date or date-time literal
// (converted for Oracle and PostgreSQL). None of them holds anything that a
// pass could take for syntax.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "sqltranslate/SqlTranslate.h"

namespace sqltranslate::literals {

// A token: 0xFF, the index in base 64 as bytes 0x80..0xBF (lowest digit
// first), 0xFE. Neither 0xFF nor 0xFE occurs in UTF-8 text; a 0xFF written
// outside the literals is itself held as a token, so that restoring never
// meets one it did not make.
inline constexpr char kTokenStart = '\xFF';
inline constexpr char kTokenEnd = '\xFE';

class TMaskedText {
public:
    // The statement with every hidden literal content replaced by its token.
    std::string Text;

    // What a token stands for (the literal's content as written, its quotes
    // doubled); equal contents share one token.
    std::vector<std::string> Contents;

    // The text with every whole token put back; anything else as it stands.
    std::string Restore(std::string_view text) const;

    // The index of a content (appending the content when it is new).
    size_t IndexOf(std::string_view content);
    // The token of Contents[index].
    static std::string TokenOf(size_t index);
};

// A catalogue runner that gives the statement it runs its literals back (the
// table name comes from the statement); empty when catalogue is empty.
CatalogueRunner RestoringRunner(const TMaskedText& m, const CatalogueRunner& catalogue);

// Hides the literals of a statement. A quote without its closing quote opens
// a literal that runs to the end of the text.
TMaskedText Mask(std::string_view text);

// True for the contents that stay in plain sight (see above).
bool StaysVisible(std::string_view content);

// Reads the token at the start of text: its index, and its length in bytes.
// False when text does not begin with a whole token.
bool ReadToken(std::string_view text, size_t& index, size_t& length);

}  // namespace sqltranslate::literals
