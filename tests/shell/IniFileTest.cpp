#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/IniFile.h"

using shell::TIniFile;

namespace {

struct IniCase {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    const char* expected;  // with default "<d>"
};

TEST(IniFile, ReadsValuesByTheProfileRules) {
    const IniCase cases[] = {
        {"plain", "[Banco]\nsenha=abc\n", "Banco", "senha", "abc"},
        {"section and key in any case", "[BANCO]\nSeNhA=abc\n", "banco", "SENHA", "abc"},
        {"absent key gives the default", "[Banco]\nusuario=x\n", "Banco", "senha", "<d>"},
        {"absent section gives the default", "[Tempo]\nsenha=x\n", "Banco", "senha", "<d>"},
        {"present but empty gives empty", "[Banco]\nsenha=\n", "Banco", "senha", ""},
        {"semicolon and hash stay in the value", "[Banco]\nsenha=a;b #c ;d\n", "Banco", "senha", "a;b #c ;d"},
        {"everything after the first equals sign", "[Banco]\nsenha==x=y\n", "Banco", "senha", "=x=y"},
        {"blanks around the value dropped", "[Plataforma]\nTipo= MET \n", "Plataforma", "Tipo", "MET"},
        {"trailing blank an editor left", "[Banco]\nbanco=POSTGRES \n", "Banco", "banco", "POSTGRES"},
        {"tabs around the value dropped", "[Banco]\nsenha=\t abc\t\n", "Banco", "senha", "abc"},
        {"blanks around equals sign", "[Tecelagem]\nURLAut = http://h/x \r\n", "Tecelagem", "URLAut", "http://h/x"},
        {"blanks inside the value kept", "[Banco]\nsenha= a b \n", "Banco", "senha", "a b"},
        {"value inside double quotes", "[Banco]\nsenha=\"abc\"\n", "Banco", "senha", "abc"},
        {"quotes keep inner blanks", "[Banco]\nsenha= \" a;b#c \" \n", "Banco", "senha", " a;b#c "},
        {"empty quoted value", "[Banco]\nsenha=\"\"\n", "Banco", "senha", ""},
        {"only one pair of quotes removed", "[Banco]\nsenha=\"\"x\"\"\n", "Banco", "senha", "\"x\""},
        {"quote only at the start kept", "[Banco]\nsenha=\"abc\n", "Banco", "senha", "\"abc"},
        {"quote only at the end kept", "[Banco]\nsenha=abc\"\n", "Banco", "senha", "abc\""},
        {"quotes inside the value kept", "[Banco]\nsenha=a\"b\"c\n", "Banco", "senha", "a\"b\"c"},
        {"single quotes kept", "[Banco]\nsenha='abc'\n", "Banco", "senha", "'abc'"},
        {"lone double quote kept", "[Banco]\nsenha=\"\n", "Banco", "senha", "\""},
        {"blank-only value is empty", "[Banco]\nsenha=   \n", "Banco", "senha", ""},
        {"comment-like text after the value kept", "[Banco]\nsenha=abc ;x\n", "Banco", "senha", "abc ;x"},
        {"blanks around the key name", "[Plataforma]\n  Tipo  =MET\n", "Plataforma", "tipo", "MET"},
        {"CR LF line ends", "[Banco]\r\nsenha=x\r\nusuario=y\r\n", "Banco", "senha", "x"},
        {"last line without line end", "[Banco]\nsenha=x", "Banco", "senha", "x"},
        {"comment lines skipped", "[Banco]\n;senha=no\n#senha=no\nsenha=yes\n", "Banco", "senha", "yes"},
        {"first of a repeated key wins", "[Banco]\nsenha=1\nsenha=2\n", "Banco", "senha", "1"},
        {"keys before any section ignored", "senha=x\n[Banco]\n", "Banco", "senha", "<d>"},
        {"keys of another section not mixed", "[A]\nk=1\n[B]\nk=2\n", "A", "k", "1"},
        {"section name with blanks", "[ Banco ]\nsenha=x\n", "Banco", "senha", "x"},
        {"byte-order mark at the start", "\xEF\xBB\xBF[Banco]\nsenha=x\n", "Banco", "senha", "x"},
        {"UTF-8 value unchanged", "[Tecelagem]\nUsuario=Jo\xC3\xA3o\n", "Tecelagem", "Usuario", "Jo\xC3\xA3o"},
        {"line without equals ignored", "[Banco]\nsenha\nusuario=u\n", "Banco", "senha", "<d>"},
    };
    for (const auto& c : cases) {
        TIniFile ini = TIniFile::FromText(c.text);
        EXPECT_EQ(ini.ReadString(c.section, c.key, "<d>"), c.expected) << c.name;
    }
}

TEST(IniFile, ListsTheKeysAsWritten) {
    TIniFile ini = TIniFile::FromText("[Banco]\nSenha=1\nsenha=2\n[tempo]\n Minutos =5\n[BANCO]\nbase=x\n");
    std::vector<std::string> names;
    for (const auto& n : ini.KeyNames()) names.push_back(n.Section + "/" + n.Key);
    EXPECT_EQ(names, (std::vector<std::string>{"Banco/Senha", "tempo/Minutos", "Banco/base"}));
}

TEST(IniFile, MissingFileGivesEveryDefault) {
    TIniFile ini("/nonexistent/folder/DEZORiv.ini");
    EXPECT_FALSE(ini.Loaded());
    EXPECT_EQ(ini.ReadString("Plataforma", "Tipo", ""), "");
    EXPECT_EQ(ini.ReadString("Tempo", "Minutos", "5"), "5");
    EXPECT_EQ(ini.ReadInteger("Tecelagem", "idCliente", 7), 7);
}

TEST(IniFile, ReadsAFile) {
    auto path = std::filesystem::temp_directory_path() / ("ini-test-" + std::to_string(::getpid()) + ".ini");
    {
        std::ofstream out(path, std::ios::binary);
        out << "[Banco]\r\nsenha=p;w#d\r\n";
    }
    TIniFile ini(path.string());
    EXPECT_TRUE(ini.Loaded());
    EXPECT_EQ(ini.ReadString("banco", "SENHA", ""), "p;w#d");
    std::filesystem::remove(path);
}

TEST(IniFile, IntegerValues) {
    struct {
        const char* value;
        int32_t expected;
    } cases[] = {{"12", 12}, {" 12 ", 12}, {"-3", -3}, {"+4", 4}, {"abc", 99}, {"12abc", 99},
                 {"", 99},   {"2147483647", 2147483647}, {"2147483648", 99}, {"1.5", 99}};
    for (const auto& c : cases) {
        TIniFile ini = TIniFile::FromText(std::string("[Tecelagem]\nidCliente=") + c.value + "\n");
        EXPECT_EQ(ini.ReadInteger("Tecelagem", "idCliente", 99), c.expected) << c.value;
    }
}

TEST(IniFile, StrToIntRefusesWhatIsNotAWholeNumber) {
    EXPECT_EQ(shell::StrToInt("5"), 5);
    EXPECT_EQ(shell::StrToInt("-2147483648"), INT32_MIN);
    for (const char* bad : {"", "x", "5 minutos", "5.0", "0x10", "99999999999"}) {
        try {
            shell::StrToInt(bad);
            ADD_FAILURE() << bad;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

}  // namespace
