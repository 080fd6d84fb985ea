// `dezoriv translate`: standard input to standard output, refusals to
// standard error with status 1, bad usage with status 2.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun Translate(const std::string& args, const std::string& input) {
    const std::string base = (std::filesystem::temp_directory_path() /
                              ("dezoriv-translate-cmd-" + std::to_string(::getpid())))
                                 .string();
    std::ofstream(base + ".in", std::ios::binary) << input;
    const std::string cmd = std::string(DEZORIV_BINARY) + " translate " + args + " < " + base + ".in > " + base +
                            ".out 2> " + base + ".err";
    const int raw = std::system(cmd.c_str());
    auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    CommandRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(base + ".out"), slurp(base + ".err")};
    for (const char* ext : {".in", ".out", ".err"}) std::filesystem::remove(base + ext);
    return run;
}

}  // namespace

TEST(TranslateCommand, TranslatesStandardInput) {
    struct Case { const char* args; const char* input; const char* output; } cases[] = {
        {"--dialect PG", "SELECT UDF_MINUTESBETWEEN(P.FIM, P.INICIO) FROM P\nWHERE D = '12/25/2024'\n",
         "SELECT ABS(TRUNC(EXTRACT(EPOCH FROM P.FIM -  P.INICIO) / 60))  FROM P\nWHERE D = '2024-12-25'\n"},
        {"--dialect FB", "SELECT A FROM T\r\nORDER BY A DESCENDING", "SELECT A FROM T\nORDER BY A DESC\n"},
        {"--dialect=Ora", "UPDATE P SET OBS = ''\nWHERE COD = ''\n", "UPDATE P SET OBS = ''\nWHERE COD  IS NULL "},
        {"--dialect Ora", "", ""},
    };
    for (const auto& c : cases) {
        const CommandRun r = Translate(c.args, c.input);
        EXPECT_EQ(r.status, 0) << c.input << r.err;
        EXPECT_EQ(r.out, c.output) << c.input;
        EXPECT_EQ(r.err, "");
    }
}

TEST(TranslateCommand, ErrorsGoToStandardError) {
    CommandRun r = Translate("--dialect Ora", "SELECT UDF_NVL(A), UDF_NVL(B) FROM T\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Função não reconhecida.\n\nUDF_NVL\n\nImpossível continuar.\n");

    r = Translate("--dialect Ora", "SELECT DISTINCT P.* FROM PRODUTO P\nWHERE 1=1\n");
    EXPECT_EQ(r.status, 1);  // the catalogue needs a connection
    EXPECT_NE(r.err.find("USER_TAB_COLUMNS"), std::string::npos) << r.err;

    r = Translate("--dialect FB", "SELECT HORA[X,talvez] FROM T\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "'talvez' is not a valid boolean value\n");
}

TEST(TranslateCommand, BadUsage) {
    for (const char* args : {"", "--dialect", "--dialect MSSQL", "--dialect PG --dialect FB", "PG"}) {
        const CommandRun r = Translate(args, "SELECT 1 FROM T\n");
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("usage: dezoriv translate --dialect FB|PG|Ora", 0), 0u) << args << ": " << r.err;
        EXPECT_EQ(r.out, "");
    }
}
