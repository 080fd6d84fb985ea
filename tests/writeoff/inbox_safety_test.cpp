// What keeps an inbox file's orders whole, on real PostgreSQL and embedded
// Firebird: a file still being written waits, a taken name in Processados
// never keeps a file in the inbox, a second process on the folder is
// refused, a value too long for its column refuses its order, and a stock
// update changes exactly the row its movement names.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "WriteOffHarness.h"
#include "test_support/ServiceProgram.h"
#include "test_support/WriteOffInvariants.h"
#include "test_support/WriteOffOrders.h"

using testsupport::Backend;
using writeofftest::Installation;
using writeofftest::WithToday;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

const std::string kScan = "FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS";

class InboxSafetyTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        DEZORIV_REQUIRE_BACKEND(GetParam());
        erp = std::make_unique<Installation>(GetParam());
    }
    std::unique_ptr<Installation> erp;
};

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file written slowly - every line in two halves with pauses between -
// while runs go on: no run takes it before it is complete, and the runs
// after the writer is done post every order once, with its full values.
TEST_P(InboxSafetyTest, FileWrittenSlowlyIsTakenOnlyWhenComplete) {
    testsupport::WriteOffOrders orders(300001, 1, 8, 1101);
    {
        auto db = erp->OpenConnection();
        orders.AddToErp(*db);
        db->Close();
    }
    testsupport::WriteOffInvariants invariants(orders, [this] { return erp->OpenConnection(); }, erp->Folder());
    const std::string content = orders.Files()[0].content;
    const std::string path = erp->Inbox() + orders.Files()[0].name;

    std::atomic<bool> written{false};
    std::thread writer([&] {
        std::ofstream out(path, std::ios::binary);
        size_t start = 0;
        while (start < content.size()) {
            size_t end = content.find('\n', start) + 1;
            size_t half = start + (end - start) / 2;
            for (auto [from, to] : {std::pair{start, half}, std::pair{half, end}}) {
                out.write(content.data() + from, static_cast<std::streamsize>(to - from));
                out.flush();
                std::this_thread::sleep_for(std::chrono::milliseconds(60));
            }
            start = end;
        }
        out.close();
        written = true;
    });

    // Runs one after the other, a tenth of a second apart, while the writer writes.
    int runsWhileWriting = 0;
    for (int i = 0; i < 100 && !written; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Lines lines = erp->RunOnce();
        ++runsWhileWriting;
        for (const auto& line : lines) {
            if (line == kScan) continue;
            EXPECT_TRUE(StartsWith(line, "ARQUIVO AINDA EM GRAVACAO, CONTINUA EM RECEBIDOS PARA A PROXIMA EXECUCAO: ") ||
                        StartsWith(line, "ARQUIVO ALTERADO DURANTE A LEITURA, NADA IMPORTADO") || written)
                << line;
        }
    }
    writer.join();
    EXPECT_GE(runsWhileWriting, 2);

    for (int i = 0; i < 3 && !Installation::List(erp->Inbox()).empty(); ++i) erp->RunOnce();
    EXPECT_EQ(Installation::List(erp->Inbox()), Lines{});
    const auto report = invariants.Check(1, true);
    EXPECT_TRUE(report.Holds()) << report.Text();
    EXPECT_EQ(report.posted, 8u);
    EXPECT_EQ(ReadAll(erp->Processed() + orders.Files()[0].name), content);
}

// A file that grows while its orders are posted stays in the inbox instead
// of going to Processados with lines nobody read; the next run refuses the
// orders posted already and posts the new one.
TEST_P(InboxSafetyTest, FileChangedWhileItsOrdersArePostedStaysForTheNextRun) {
    erp->Execute("INSERT INTO OF1_001 (NUMERO, CODIGO, CODCLI, DT_EMISSAO, QTDE, QTDE_B, IMPOF) "
                 "VALUES ('5006', 'PA-600', '00020', '2024-03-01', 2, 0, 0)");
    erp->Execute("INSERT INTO OF_ITEN_001 (NUMERO, CODIGO, COR, TAM, QTDE, QTDE_B) "
                 "VALUES ('5006', 'PA-600', '0', '0', 2, 0)");
    erp->DropFile("a.txt", "001;5001;10;S;01;02;E;L1;A\r\n002;MP-100;M;A12\r\n"
                           "001;5002;4;S;01;02;E;;B\r\n002;MP-100;M;A12\r\n");
    // An ERP user holds order 5002 until the shop floor has appended 5006,
    // which it does once 5001 is posted.
    auto user = erp->OpenConnection();
    user->Execute("UPDATE OF1_001 SET QTDE_B = QTDE_B WHERE NUMERO = '5002'", 0);
    std::thread shopFloor([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (erp->Rows("LOG", {"CHAVE"}, "CHAVE").empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ofstream(erp->Inbox() + "a.txt", std::ios::binary | std::ios::app)
            << "001;5006;2;S;01;02;E;;B\r\n002;MP-100;M;A12\r\n";
        user->RollbackRetaining();
    });
    Lines first = erp->RunOnce();
    shopFloor.join();
    user->Close();
    EXPECT_EQ(first, (Lines{kScan, "IMPORTACAO CONCLUIDA DA OF: 5001", "IMPORTACAO CONCLUIDA DA OF: 5002",
                            "ARQUIVO ALTERADO DURANTE A IMPORTACAO, CONTINUA EM RECEBIDOS PARA A PROXIMA EXECUCAO: "
                            "a.txt"}));
    EXPECT_EQ(erp->RunOnce(), (Lines{kScan, "OF NAO ESTA EM ABERTO. OF: 5001", "OF NAO ESTA EM ABERTO. OF: 5002",
                                     "IMPORTACAO CONCLUIDA DA OF: 5006", "ARQUIVO MOVIDO PARA PROCESSADO: a.txt"}));
    EXPECT_EQ(erp->Rows("MAT_MOV_001", {"NUM_DOCTO"}, "NUM_DOCTO, ORDEM"),
              (Lines{"5001", "5002", "5006"}));
}

// A name already in Processados: the file goes there under a new name that
// starts with its own; the same for the ".erro" name of a failed file.
// Nothing is overwritten.
TEST_P(InboxSafetyTest, TakenNamesInProcessadosGiveNewNames) {
    const std::string first = "001;5001;10;S;01;02;E;L1;A\r\n002;MP-100;M;A12\r\n";
    const std::string second = "001;5002;4;S;01;02;E;;B\r\n002;MP-100;M;A12\r\n";
    erp->DropFile("producao.txt", first);
    EXPECT_EQ(erp->RunOnce().back(), "ARQUIVO MOVIDO PARA PROCESSADO: producao.txt");
    erp->DropFile("producao.txt", second);
    Lines lines = erp->RunOnce();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "IMPORTACAO CONCLUIDA DA OF: 5002");
    const std::regex moved(
        R"(ARQUIVO MOVIDO PARA PROCESSADO: producao\.txt COMO (producao\.txt\.\d{8}-\d{6}) \(JA HAVIA UM ARQUIVO COM ESSE NOME\))");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[2], m, moved)) << lines[2];
    EXPECT_EQ(Installation::List(erp->Inbox()), Lines{});
    EXPECT_EQ(Installation::List(erp->Processed()), (Lines{"producao.txt", m[1].str()}));
    EXPECT_EQ(ReadAll(erp->Processed() + "producao.txt"), first);
    EXPECT_EQ(ReadAll(erp->Processed() + m[1].str()), second);

    // Two failed files of one name: the second keeps the suffix under a new name.
    const std::string bad = "001;5004;1;S;01;02;E;;\r\n";
    for (int i = 0; i < 2; ++i) {
        erp->DropFile("ruim.txt", bad + std::to_string(i));
        lines = erp->RunOnce();
        ASSERT_EQ(lines.size(), 3u);
        if (i == 0) {
            EXPECT_EQ(lines[2], "ARQUIVO COM ERRO: ruim.txt");
        } else {
            EXPECT_TRUE(std::regex_match(
                lines[2], m, std::regex(R"(ARQUIVO COM ERRO: ruim\.txt - GUARDADO EM PROCESSADOS COMO: (ruim\.txt\.\d{8}-\d{6}\.erro))")))
                << lines[2];
        }
    }
    EXPECT_EQ(Installation::List(erp->Inbox()), Lines{});
    EXPECT_EQ(ReadAll(erp->Processed() + "ruim.txt.erro"), bad + "0");
    EXPECT_EQ(ReadAll(erp->Processed() + m[1].str()), bad + "1");
}

// A second dezoriv on the folder refuses to start while the first posts a
// long file; the first posts every order once.
TEST_P(InboxSafetyTest, SecondProcessOnTheFolderIsRefused) {
    if (GetParam() == Backend::FBEmbedded) {
        // The program opens the database file itself; embedded Firebird lets
        // one process at a time use a file, and this test process has it.
        GTEST_SKIP() << "needs a database the program and the test can share";
    }
    testsupport::WriteOffOrders orders(310001, 1, 150, 1102);
    {
        auto db = erp->OpenConnection();
        orders.AddToErp(*db);
        db->Close();
    }
    testsupport::WriteOffInvariants invariants(orders, [this] { return erp->OpenConnection(); }, erp->Folder());
    orders.Drop(0, erp->Inbox());

    testsupport::ChildProcess first(testsupport::ServiceOnce(DEZORIV_PROGRAM, erp->Folder()));
    // Wait for its first posting: it is then busy with the file.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (erp->Rows("LOG", {"CHAVE"}, "CHAVE").empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(first.Wait(std::chrono::milliseconds(0)).has_value()) << "the run ended before it was seen";

    auto second = testsupport::RunCommand(testsupport::ServiceOnce(DEZORIV_PROGRAM, erp->Folder()),
                                          std::chrono::seconds(30));
    EXPECT_EQ(second.status, 75) << second.output;
    EXPECT_NE(second.output.find("Outro processo do DEZORiv (PID " + std::to_string(first.Pid()) + ")"),
              std::string::npos)
        << second.output;
    EXPECT_EQ(testsupport::PaneLines(second.output), Lines{});
    EXPECT_FALSE(first.Wait(std::chrono::milliseconds(0)).has_value()) << "the first process must go on";

    const std::optional<int> end = first.Wait(std::chrono::seconds(120));
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(*end, 0) << first.Err();
    const auto report = invariants.Check(1, true);
    EXPECT_TRUE(report.Holds()) << report.Text();
    EXPECT_EQ(report.posted, 150u);
}

// Every value that does not fit its work-table column refuses its order
// with a line that names the field and the value; nothing of the order is
// written, and the other orders of the file are posted.
TEST_P(InboxSafetyTest, ValuesTooLongRefuseTheirOrder) {
    // Cut to six characters, 5001001 would post this order.
    erp->Execute("INSERT INTO OF1_001 (NUMERO, CODIGO, CODCLI, DT_EMISSAO, QTDE, QTDE_B, IMPOF) "
                 "VALUES ('500100', 'PA-500', '00010', '2024-03-01', 10, 0, 0)");
    // A lot of 18 characters: it fits the inbox's lot column (20) but not the
    // stock rows' (15), where a cut lot would name no stock row.
    erp->Execute("INSERT INTO MAT_ITEN_001 (CODIGO, COR, LOTE, DEPOSITO, QTDE, PRECO_MED) "
                 "VALUES ('MP-100', '0', 'A12-LOTE-LONGO-18', '01', 500, 8.5)");
    struct Case {
        const char* order;  // the first order's lines
        const char* line;   // its refusal
    };
    const Case cases[] = {
        {"001;5001001;10;S;01;02;E;L1;A\n002;MP-100;M;A12\n",
         "CAMPO OF COM MAIS DE 6 CARACTERES, OF NAO IMPORTADA: 5001001 OF: 5001001"},
        {"001;5001;10;SS;01;02;E;L1;A\n002;MP-100;M;A12\n",
         "CAMPO TPSAIDA COM MAIS DE 1 CARACTERES, OF NAO IMPORTADA: SS OF: 5001"},
        {"001;5001;10;S;0100001;02;E;L1;A\n002;MP-100;M;A12\n",
         "CAMPO DEPOSITOSAIDA COM MAIS DE 6 CARACTERES, OF NAO IMPORTADA: 0100001 OF: 5001"},
        {"001;5001;10;S;01;0200001;E;L1;A\n002;MP-100;M;A12\n",
         "CAMPO DEPOSITOENTRADA COM MAIS DE 6 CARACTERES, OF NAO IMPORTADA: 0200001 OF: 5001"},
        {"001;5001;10;S;01;02;EE;L1;A\n002;MP-100;M;A12\n",
         "CAMPO TPENTRADA COM MAIS DE 1 CARACTERES, OF NAO IMPORTADA: EE OF: 5001"},
        {"001;5001;10;S;01;02;E;L1234567890123456;A\n002;MP-100;M;A12\n",
         "CAMPO LOTE COM MAIS DE 15 CARACTERES, OF NAO IMPORTADA: L1234567890123456 OF: 5001"},
        {"001;5001;10;S;01;02;E;L1;PRATELEIRA 3 DO CORREDOR CENTRAL\n002;MP-100;M;A12\n",
         "CAMPO LOCAL COM MAIS DE 30 CARACTERES, OF NAO IMPORTADA: PRATELEIRA 3 DO CORREDOR CENTRAL OF: 5001"},
        {"001;5001;10;S;01;02;E;L1;A\n002;MP-100-ESPECIAL1;M;A12\n",
         "CAMPO CODIGO COM MAIS DE 15 CARACTERES, OF NAO IMPORTADA: MP-100-ESPECIAL1 OF: 5001"},
        {"001;5001;10;S;01;02;E;L1;A\n002;MP-100;MM;A12\n",
         "CAMPO TIPO COM MAIS DE 1 CARACTERES, OF NAO IMPORTADA: MM OF: 5001"},
        {"001;5001;10;S;01;02;E;L1;A\n002;MP-100;M;A12\n002;MP-100;M;A12-LOTE-MUITO-LONGO1\n",
         "CAMPO LOTE COM MAIS DE 20 CARACTERES, OF NAO IMPORTADA: A12-LOTE-MUITO-LONGO1 OF: 5001"},
        {"001;5001;10;S;01;02;E;L1;A\n002;MP-100;M;A12-LOTE-LONGO-18\n",
         "CAMPO LOTE COM MAIS DE 15 CARACTERES, OF NAO IMPORTADA: A12-LOTE-LONGO-18 OF: 5001"},
    };
    // Order 5002 after it in the same file posts; undone below for the next case.
    const std::string next = "001;5002;4;S;01;02;E;;B\n002;MP-100;M;A12\n";
    auto before = erp->Snapshot();
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        const std::string name = "caso" + std::to_string(++n) + ".txt";
        erp->DropFile(name, std::string(c.order) + next);
        EXPECT_EQ(erp->RunOnce(), (Lines{kScan, c.line, "IMPORTACAO CONCLUIDA DA OF: 5002",
                                         "ARQUIVO MOVIDO PARA PROCESSADO: " + name}));
        auto after = erp->Snapshot();
        // Nothing but 5002 moved: its 24 of MP-100/A12 and its receipt.
        for (const auto& row : after["MAT_MOV"]) EXPECT_TRUE(StartsWith(row, "5002|")) << row;
        EXPECT_EQ(after["OF1"][0], before["OF1"][0]);  // 5001 open, untouched
        EXPECT_EQ(after["OF1"][1], before["OF1"][1]);  // 500100 untouched
        EXPECT_EQ(erp->Rows("MAT_ITEN_001", {"LOTE", "QTDE"}, "LOTE"),
                  (Lines{"A12|476", "A12-LOTE-LONGO-18|500", "A13|20", "P01|1000", "T01|5"}));
        // Back to the state before, for the next case.
        erp->Execute("DELETE FROM MAT_MOV_001");
        erp->Execute("DELETE FROM PA_MOV_001 WHERE NUM_DOCTO = '5002'");
        erp->Execute("DELETE FROM LOG");
        erp->Execute("DELETE FROM PA_ITEN_001 WHERE CODIGO = 'PA-600'");
        erp->Execute("UPDATE MAT_ITEN_001 SET QTDE = 500 WHERE LOTE = 'A12'");
        erp->Execute("UPDATE OF1_001 SET IMPOF = NULL, QTDE_B = 0, DT_FINAL = NULL WHERE NUMERO = '5002'");
        erp->Execute("UPDATE OF_ITEN_001 SET QTDE = 4, QTDE_B = 0 WHERE NUMERO = '5002'");
        erp->Execute("UPDATE OF_TEMPO_001 SET SITUACAO = '' WHERE NUMERO = '5002'");
        erp->Execute("UPDATE PRODUTO_001 SET CUSTO = 0, LOCAL = NULL WHERE CODIGO = 'PA-600'");
        EXPECT_EQ(erp->Snapshot(), before);
    }
}

// A product lot that the existence check finds only through a LIKE wildcard
// (L_1 against LX1) is received into a stock row of its own; the stock of
// LX1 stays, and the receipt movement names the row that grew.
TEST_P(InboxSafetyTest, WildcardLotIsReceivedIntoItsOwnRow) {
    erp->Execute("INSERT INTO PA_ITEN_001 (CODIGO, COR, TAM, TIPO, LOTE, DEPOSITO, BARRA, BARRA28, BARRACLI, "
                 "QUANTIDADE, ORDEM, COMPOSICAO, QTDE_MIN, ATIVO) VALUES ('PA-500', '0', '0', '1', 'LX1', '02', "
                 "'7890000005001', '', '', 7, 5, 'ACO CARBONO', 10, 'S')");
    erp->DropFile("a.txt", "001;5001;10;S;01;02;E;L_1;A\n002;MP-100;M;A12\n");
    EXPECT_EQ(erp->RunOnce(), (Lines{kScan, "IMPORTACAO CONCLUIDA DA OF: 5001", "ARQUIVO MOVIDO PARA PROCESSADO: a.txt"}));
    EXPECT_EQ(erp->Rows("PA_ITEN_001", {"LOTE", "DEPOSITO", "QUANTIDADE"}, "LOTE"),
              (Lines{"000000|02|100", "B7|01|40", "C1|01|50", "LX1|02|7", "L_1|02|10"}));
    EXPECT_EQ(erp->Rows("PA_MOV_001", {"LOTE", "QTDE"}, "ORDEM"), (Lines{"B7|5", "L_1|10", "000000|20"}));
}

// A product input stocked in two sizes of one lot: each size gives up
// exactly what its own movement row says.
TEST_P(InboxSafetyTest, ProductInputInTwoSizesChangesEachSizeOnce) {
    erp->Execute("INSERT INTO PA_ITEN_001 (CODIGO, COR, TAM, TIPO, LOTE, DEPOSITO, BARRA, BARRA28, BARRACLI, "
                 "QUANTIDADE, ORDEM, COMPOSICAO, QTDE_MIN, ATIVO) VALUES ('SUB-20', '0', '1', '1', 'B7', '01', "
                 "'7890000000207', '', '', 40, 1, 'ACO', 0, 'S')");
    erp->DropFile("a.txt", "001;5001;10;S;01;02;E;L1;A\n002;SUB-20;P;B7\n");
    EXPECT_EQ(erp->RunOnce(), (Lines{kScan, "IMPORTACAO CONCLUIDA DA OF: 5001", "ARQUIVO MOVIDO PARA PROCESSADO: a.txt"}));
    EXPECT_EQ(erp->Rows("PA_ITEN_001", {"CODIGO", "TAM", "LOTE", "QUANTIDADE"}, "CODIGO, TAM, LOTE"),
              (Lines{"PA-500|0|000000|100", "PA-500|0|L1|10", "SUB-20|0|B7|30", "SUB-20|1|B7|30", "SUB-30|G|C1|50"}));
    EXPECT_EQ(erp->Rows("PA_MOV_001", {"CODIGO", "TAMANHO", "QTDE"}, "CODIGO, TAMANHO, ORDEM"),
              (Lines{"PA-500|0|10", "PA-500|0|20", "SUB-20|0|5", "SUB-20|0|10", "SUB-20|1|10"}));
}

// A stock update that would change more than one row (a stock table
// without its key, holding one lot twice) undoes the whole order and says
// why; the next order of the file posts.
TEST_P(InboxSafetyTest, StockUpdateOfMoreThanOneRowUndoesTheOrder) {
    erp->Execute("DROP TABLE MAT_ITEN_001");
    erp->Execute("CREATE TABLE MAT_ITEN_001 (CODIGO VARCHAR(15) NOT NULL, COR VARCHAR(6) NOT NULL, "
                 "LOTE VARCHAR(20) NOT NULL, DEPOSITO VARCHAR(6) NOT NULL, QTDE NUMERIC(15,4) DEFAULT 0 NOT NULL, "
                 "PRECO_MED NUMERIC(15,4))");
    for (const char* row : {"'MP-100', '0', 'A12', '01', 250, 8.5", "'MP-100', '0', 'A12', '01', 250, 8.5",
                            "'MP-300', '0', 'T01', '01', 5, 30"})
        erp->Execute(std::string("INSERT INTO MAT_ITEN_001 (CODIGO, COR, LOTE, DEPOSITO, QTDE, PRECO_MED) VALUES (") +
                     row + ")");
    erp->DropFile("a.txt", "001;5001;10;S;01;02;E;L1;A\n002;MP-100;M;A12\n001;5002;4;S;01;02;E;;B\n002;MP-300;M;T01\n");
    EXPECT_EQ(erp->RunOnce(),
              (Lines{kScan,
                     "ERRO NA BAIXA, OF NAO IMPORTADA (ALTERACOES DESFEITAS). OF: 5001 - ATUALIZACAO DE ESTOQUE "
                     "ALTERARIA 2 LINHAS DE MAT_ITEN: CODIGO 'MP-100', COR '0', LOTE 'A12', DEPOSITO '01'",
                     "IMPORTACAO CONCLUIDA DA OF: 5002", "ARQUIVO MOVIDO PARA PROCESSADO: a.txt"}));
    EXPECT_EQ(erp->Rows("MAT_ITEN_001", {"LOTE", "QTDE"}, "LOTE, QTDE"), (Lines{"A12|250", "A12|250", "T01|3"}));
    EXPECT_EQ(erp->Rows("OF1_001", {"NUMERO", "IMPOF"}, "NUMERO").front(), "5001|0");
    EXPECT_EQ(erp->Rows("MAT_MOV_001", {"NUM_DOCTO", "CODIGO"}, "NUM_DOCTO"), (Lines{"5002|MP-300"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, InboxSafetyTest, ::testing::Values(Backend::PG, Backend::FBEmbedded),
                         [](const auto& info) { return testsupport::BackendName(info.param); });

}  // namespace
