// A small reader of INI files with the usual profile rules: section and key
// names are case-insensitive, an absent key gives the default, a present key
// with nothing after "=" gives the empty text. A value is the text after the
// first "=" with the blanks around it dropped and, when the whole of it
// stands inside double quotes, without them; ";" and "#" inside a value are
// kept (a password may hold them). Names are trimmed; lines starting with
// ";" or "#" are comments.
// The first occurrence of a repeated key wins. A missing or unreadable file
// reads as empty.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace shell {

class TIniFile {
public:
    TIniFile() = default;
    // Reads the file now; a missing file gives an empty profile.
    explicit TIniFile(const std::string& fileName);

    static TIniFile FromText(const std::string& text);

    bool Loaded() const { return FLoaded; }  // the file existed and was read

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // Whole number or the default (a value that is not a number gives it too).
    int32_t ReadInteger(const std::string& section, const std::string& key,
                        int32_t defaultValue) const;
    bool ValueExists(const std::string& section, const std::string& key) const;

    // Every key read, in file order, with its section's and its own name as
    // first written (a repeated key is listed once).
    struct TKeyName {
        std::string Section;
        std::string Key;
    };
    std::vector<TKeyName> KeyNames() const;

private:
    void Parse(const std::string& text);
    std::map<std::string, std::map<std::string, std::string>> FSections;  // lower-case names
    std::map<std::string, std::string> FSectionNames;                     // lower-case -> first written
    std::vector<TKeyName> FNames;                                         // lower-case section, key as written
    bool FLoaded = false;
};

// Text to a 32-bit integer: optional blanks, sign, decimal digits.
bool TryStrToInt(const std::string& text, int32_t& value);
// As above, throwing std::invalid_argument "'<text>' is not a valid integer value".
int32_t StrToInt(const std::string& text);

}  // namespace shell
