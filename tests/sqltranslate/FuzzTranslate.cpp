#include "FuzzTranslate.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "LiteralProperty.h"
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

// Statements of the shapes the jobs build, with %s where a value goes (as a
// quoted literal).
const char* const kShapes[] = {
    "UPDATE TECEL_ITEN_001\r\nSET ENVIADO = 'S'\r\nWHERE NUMERO = %s\r\nAND CODIGO = %s\r\nAND COR = %s\r\n",
    "INSERT INTO MAT_MOV_001\r\n(NUM_DOCTO, ORDEM, DT_MOVTO, CODIGO, LOTE, DESCRICAO, QTDE)\r\nVALUES\r\n"
    "(%s\r\n,3\r\n,'05/21/2025'\r\n,%s\r\n,%s\r\n,''\r\n,80)\r\n",
    "SELECT MAX(MAT_ITEN.QTDE) AS QTDE_M FROM PCPFT_001 PCPFT\r\nLEFT JOIN MAT_ITEN_001 MAT_ITEN ON "
    "(PCPFT.CODIGO2 = MAT_ITEN.CODIGO AND PCPFT.TIPO = 'M')\r\nWHERE PCPFT.CODIGO =%s\r\nAND MAT_ITEN.LOTE = %s\r\n"
    "AND MAT_ITEN.DEPOSITO = %s\r\nGROUP BY PCPFT.QTDE, MAT_ITEN.LOTE\r\n",
    "SELECT DISTINCT 1 FROM PA_ITEN_001 WHERE  1=1  and CODIGO like %s and LOTE like %s and DEPOSITO like %s\r\n",
    "UPDATE PRODUTO_001 SET \r\nLOCAL = %s\r\n,CUSTO = 15.23\r\nWHERE CODIGO = %s\r\nAND X <> %s\r\n",
    "INSERT INTO LOG (USUARIO, DATA, HORA, DESCRICAO, CHAVE)\r\nVALUES\r\n('VELDOR'\r\n, CURRENT_DATE \r\n, "
    "CURRENT_TIME \r\n,%s\r\n,%s\r\n,%s)\r\n",
};

std::string Fill(const char* shape, const std::vector<std::string>& values) {
    std::string out;
    size_t k = 0;
    for (const char* p = shape; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += "'" + literalproperty::Escaped(values[k++ % values.size()]) + "'";
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

// Values never change a statement: the input, cut into three values, in
// every value place of every shape, translates to the text of the same shape
// with plain values, each value intact in its literal.
void CheckValuesIntact(const std::string& text) {
    const size_t third = text.size() / 3;
    const std::vector<std::string> hostile = {text.substr(0, third), text.substr(third, third),
                                              text.substr(2 * third)};
    const std::vector<std::string> plain = {"VALOR0X", "VALOR1X", "VALOR2X"};
    std::vector<literalproperty::TValue> values;
    for (size_t i = 0; i < 3; ++i) values.push_back({plain[i], hostile[i]});
    for (const char* shape : kShapes) {
        const std::string plainText = Fill(shape, plain), hostileText = Fill(shape, hostile);
        for (const std::string dialect : {"FB", "PG", "Ora"}) {
            // An empty value is the house dialect's own '': Oracle reads a
            // comparison with it as a NULL test, by design.
            if (dialect == "Ora" && (hostile[0].empty() || hostile[1].empty() || hostile[2].empty())) continue;
            std::string plainOut, hostileOut;
            try {
                plainOut = sqltranslate::TranslateText(plainText, dialect);
                hostileOut = sqltranslate::TranslateText(hostileText, dialect);
            } catch (const std::exception&) {
                Broken("a statement refused for its values", dialect);
            }
            const std::string diff = literalproperty::Compare(plainOut, hostileOut, values);
            if (!diff.empty()) {
                std::fprintf(stderr, "%s\n%s\nbecame\n%s\n", diff.c_str(), hostileText.c_str(), hostileOut.c_str());
                Broken("a value changed the statement", dialect);
            }
        }
    }
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
    CheckValuesIntact(text);
    return 0;
}
