#include <gtest/gtest.h>

#include "shell/NumberText.h"
#include "shell/SqlHelpers.h"
#include "shell/TextCase.h"

using namespace shell;

namespace {

TEST(SqlHelpers, TableNameResolution) {
    const char* cases[][2] = {{"PA_MOV", "PA_MOV_001"}, {"pa_mov", "pa_mov_001"}, {"OF_TEMPO", "OF_TEMPO_001"},
                              {"", "_001"}};
    for (auto& c : cases) EXPECT_EQ(TableName(c[0]), c[1]) << c[0];
}

TEST(SqlHelpers, Quoting) {
    const char* cases[][2] = {{"O'NEIL", "'O''NEIL'"}, {"", "''"}, {"'", "''''"}, {"a''b", "'a''''b'"},
                              {"A\xC3\xA7o", "'A\xC3\xA7o'"}, {"x;y,z", "'x;y,z'"}};
    for (auto& c : cases) EXPECT_EQ(QuotedStr(c[0]), c[1]) << c[0];
}

TEST(SqlHelpers, NumberText) {
    struct {
        double value;
        const char* text;
    } cases[] = {
        {12.5, "12.5"},          {3, "3"},
        {-0.25, "-0.25"},        {1234.5, "1234.5"},
        {0, "0"},                {-0.0, "0"},
        {1e-6, "1E-6"},          {0.00001, "0.00001"},
        {0.000012345, "0.000012345"}, {1e15, "1E15"},
        {999999999999999, "999999999999999"}, {1e20, "1E20"},
        {1.5e20, "1.5E20"},      {-2.5e-7, "-2.5E-7"},
        {1.0 / 3, "0.333333333333333"}, {2.0 / 3, "0.666666666666667"},
        {0.1 + 0.2, "0.3"},      {123456789.123456789, "123456789.123457"},
        {100, "100"},            {1e14, "100000000000000"},
        {0.5, "0.5"},            {-1234567.89, "-1234567.89"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberText(c.value), c.text) << c.text;
}

TEST(SqlHelpers, FilterBuilder) {
    struct {
        const char* fields;
        const char* values;
        const char* filter;
    } cases[] = {
        {"CODIGO;COR", "'A01';'AZ'", " 1=1  and CODIGO like 'A01' and COR like 'AZ'"},
        {"A;B;", "1;2", " 1=1  and A like 1 and B; like 2"},
        {"NUMERO", "'123'", " 1=1  and NUMERO like '123'"},
        {"A", "1;2;3", " 1=1  and A like 1"},      // surplus values ignored
        {"A;;B", "1;2;3", " 1=1  and A like 1 and  like 2 and B like 3"},  // empty entries count
        {" A ; B", "1 ; 2", " 1=1  and  A  like 1  and  B like  2"},      // nothing trimmed
        {"", "", " 1=1 "},
        {"A", "'L1,2'", " 1=1  and A like 'L1,2'"},  // commas are not separators here
    };
    for (const auto& c : cases) EXPECT_EQ(BuildFilter(c.fields, c.values), c.filter) << c.fields;
}

TEST(SqlHelpers, FilterBuilderRefusesTooFewValues) {
    EXPECT_THROW(BuildFilter("A;B", "1"), std::invalid_argument);
}

TEST(SqlHelpers, AuditOperationWords) {
    EXPECT_EQ(AuditOperationWord(0), "Inclus\xC3\xA3o");
    EXPECT_EQ(AuditOperationWord(1), "Altera\xC3\xA7\xC3\xA3o");
    EXPECT_EQ(AuditOperationWord(2), "Exclus\xC3\xA3o");
    EXPECT_EQ(AuditOperationWord(3), "Movimenta\xC3\xA7\xC3\xA3o");
    EXPECT_THROW(AuditOperationWord(4), std::out_of_range);
    EXPECT_THROW(AuditOperationWord(-1), std::out_of_range);
}

TEST(SqlHelpers, UpperCaseTextIncludesAccentedLetters) {
    const char* cases[][2] = {
        {"importacao concluida da of: 001234", "IMPORTACAO CONCLUIDA DA OF: 001234"},
        {"n\xC3\xA3o encontrado", "N\xC3\x83O ENCONTRADO"},
        {"a\xC3\xA7\xC3\xA3o \xC3\xA9 \xC3\xBA", "A\xC3\x87\xC3\x83O \xC3\x89 \xC3\x9A"},
        {"\xC3\x9F", "\xC3\x9F"},  // sharp s keeps its one character
        {"O'neil", "O'NEIL"},
        {"bad\xFFutf", "BAD\xFFUTF"},
        // Malformed sequences stay byte for byte: an overlong NUL is no NUL.
        {"a\xC0\x80" "b", "A\xC0\x80" "B"},
        {"a\xE2\x82", "A\xE2\x82"},
    };
    for (auto& c : cases) EXPECT_EQ(UpperCaseText(c[0]), c[1]) << c[0];
}

TEST(SqlHelpers, AuditStatementText) {
    EXPECT_EQ(AuditRecordSQL("of_importacao", "Estoque insuficiente do insumo O'X OF 001234", 3, "001'234", "fmDEZORiv"),
              "INSERT INTO LOG (USUARIO, DATA, HORA, TELA, DESCRICAO, EMPRESA, CHAVE, OPERACAO, FORMULARIO)\r\n"
              "VALUES\r\n"
              "('VELDOR'\r\n"
              ", CURRENT_DATE \r\n"
              ", CURRENT_TIME \r\n"
              ",'OF_IMPORTACAO'\r\n"
              ",'ESTOQUE INSUFICIENTE DO INSUMO O''X OF 001234'\r\n"
              ",'_001'\r\n"
              ",'001''234'\r\n"
              ",'Movimenta\xC3\xA7\xC3\xA3o'\r\n"
              ",'fmDEZORiv')");
    // The window name is cut to 45 characters; no window gives ''.
    std::string longName(50, 'w');
    std::string sql = AuditRecordSQL("T", "D", 0, "K", longName);
    EXPECT_NE(sql.find(",'" + std::string(45, 'w') + "')"), std::string::npos);
    EXPECT_EQ(sql.find(std::string(46, 'w')), std::string::npos);
    EXPECT_NE(AuditRecordSQL("T", "D", 0, "K", "").find(",'')"), std::string::npos);
}

}  // namespace
