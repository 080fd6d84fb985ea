// The write-off run end to end, on real PostgreSQL and embedded Firebird:
// inbox files in, ERP rows, pane lines and moved files out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "StopSignalsTesting.h"
#include "WriteOffHarness.h"
#include "shell/StopSignals.h"

using testsupport::Backend;
using writeofftest::Installation;
using writeofftest::WithToday;
using Lines = std::vector<std::string>;

namespace {

class WriteOffRunTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        DEZORIV_REQUIRE_BACKEND(GetParam());
        erp = std::make_unique<Installation>(GetParam());
    }
    std::unique_ptr<Installation> erp;
};

const char* kTwoOrders = "OF_5001_5002.txt";

TEST_P(WriteOffRunTest, FileWithTwoOrdersPostsBoth) {
    erp->DropSample(kTwoOrders);
    auto before = erp->Snapshot();

    EXPECT_EQ(erp->RunOnce(), (Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS",
                                     "IMPORTACAO CONCLUIDA DA OF: 5001", "IMPORTACAO CONCLUIDA DA OF: 5002",
                                     "ARQUIVO MOVIDO PARA PROCESSADO: OF_5001_5002.txt"}));
    EXPECT_EQ(Installation::List(erp->Inbox()), Lines{});
    EXPECT_EQ(Installation::List(erp->Processed()), Lines{kTwoOrders});

    auto after = erp->Snapshot();
    // Time records still open are closed; the one closed before stays.
    EXPECT_EQ(after["OF_TEMPO"], (Lines{"5001|1|B", "5001|2|B", "5001|3|B", "5002|1|B", "5002|2|B", "5005|1|"}));
    EXPECT_EQ(after["OF1"], WithToday({"5001|1|10|{HOJE}", "5002|1|4|{HOJE}", "5003|1|6|2024-02-28",
                                       "5004|0|0|NULL", "5005|0|0|NULL"}));
    EXPECT_EQ(after["OF_ITEN"], (Lines{"5001|0|10", "5002|0|4", "5003|0|6", "5004|20|0", "5005|5|0"}));
    // 5001 takes 2.5 x 10 of MP-100 and 4 x 2 x 10 of MP-200; 5002 takes 6 x 4 and 0.5 x 4.
    EXPECT_EQ(after["MAT_ITEN"], (Lines{"MP-100|A12|01|451", "MP-100|A13|01|20", "MP-200|P01|01|920",
                                       "MP-300|T01|01|3"}));
    EXPECT_EQ(after["PA_ITEN"],
              (Lines{"PA-500|0|0|1|000000|02|7890000005001|17890000005008|CLI-500|100|5|ACO CARBONO|10|S",
                     "PA-500|0|0|1|L5001|02|7890000005001|17890000005008|CLI-500|10|5|ACO CARBONO|10|S",
                     "PA-600|0|0|1|000000|02||||4|0||0|S",
                     "SUB-20|0|0|1|B7|01|7890000000207|||30|1|ACO|0|S",
                     "SUB-30|0|G|1|C1|01|7890000000306|||50|2|ACO|0|S"}));
    // Unit cost of 5001: materials 25 x 8.5 + 10 x 12 + 80 x 0.25 = 352.5, machines
    // 1.51 h x 60 + 2.25 h x 90 + 0.5 h x 60 = 323.1, over 10 pieces = 67.56; the
    // average with 100 in stock at 10 is (100 x 10 + 675.6) / 110 = 15.2327.
    // 5002: (24 x 8.5 + 2 x 30 + 1 h x 90) / 4 = 88.5, no stock before.
    EXPECT_EQ(after["PRODUTO"], (Lines{"PA-500|15.2327|PRATELEIRA 3", "PA-600|88.5|DEPOSITO B", "PA-700|25|NULL",
                                      "SUB-20|12|PRATELEIRA 1", "SUB-30|7|PRATELEIRA 2"}));
    EXPECT_EQ(after["PA_MOV"],
              WithToday({before["PA_MOV"][0],
                         "42|SUB-20|S|0|10|B7|01|S|5001|VELDOR|{HOJE}||0|1|12|1|00010|20|BO",
                         "43|PA-500|E|0|10|L5001|02|E|5001|VELDOR|{HOJE}||0|1|67.56|1|00010|150|BO",
                         "44|PA-600|E|0|4|000000|02|E|5002|VELDOR|{HOJE}||0|1|88.5|1|00020|0|BO",
                         before["PA_MOV"][1]}));
    EXPECT_EQ(after["MAT_MOV"], WithToday({"5001|1|{HOJE}|00010|MP-100|0|8.5|8.5|01||A12|VELDOR|S|S|EN|25",
                                           "5001|3|{HOJE}|00010|MP-200|0|0.25|0.25|01||P01|VELDOR|S|S|EN|80",
                                           "5002|1|{HOJE}|00020|MP-100|0|8.5|8.5|01||A12|VELDOR|S|S|EN|24",
                                           "5002|2|{HOJE}|00020|MP-300|0|30|30|01||T01|VELDOR|S|S|EN|2"}));
    EXPECT_EQ(after["LOG"],
              WithToday({"VELDOR|{HOJE}|OF_IMPORTACAO|IMPORTACAO CONCLUIDA DA OF: 5001|_001|5001|"
                         "Movimenta\xC3\xA7\xC3\xA3o|fmDEZORiv",
                         "VELDOR|{HOJE}|OF_IMPORTACAO|IMPORTACAO CONCLUIDA DA OF: 5002|_001|5002|"
                         "Movimenta\xC3\xA7\xC3\xA3o|fmDEZORiv"}));

    // The same file read again: both orders are no longer open, nothing
    // changes, and the file goes to Processados under a new name, since
    // its own is taken there.
    erp->DropSample(kTwoOrders);
    Lines again = erp->RunOnce();
    ASSERT_EQ(again.size(), 4u);
    EXPECT_EQ(Lines(again.begin(), again.begin() + 3),
              (Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS", "OF NAO ESTA EM ABERTO. OF: 5001",
                     "OF NAO ESTA EM ABERTO. OF: 5002"}));
    EXPECT_EQ(again[3].rfind("ARQUIVO MOVIDO PARA PROCESSADO: OF_5001_5002.txt COMO OF_5001_5002.txt.", 0), 0u)
        << again[3];
    EXPECT_EQ(erp->Snapshot(), after);
    EXPECT_EQ(Installation::List(erp->Inbox()), Lines{});
    EXPECT_EQ(Installation::List(erp->Processed()).size(), 2u);
}

TEST_P(WriteOffRunTest, RefusedOrdersChangeNothing) {
    struct Case {
        const char* file;
        Lines expected;
    };
    const Case cases[] = {
        {"001;5001;10;X;01;99;E;L1;A\n002;MP-100;M;A12\n", {"TIPO DE SAIDA INVALIDO: X OF: 5001"}},
        {"001;5001;10;S;01;99;E;L1;A\n002;MP-100;M;A12\n", {"DEPOSITO DE ENTRADA INVALIDO: 99 OF: 5001"}},
        {"001;5001;10;S;01;02;Z;L1;A\n002;MP-100;M;A12\n", {"TIPO DE ENTRADA INVALIDO: Z OF: 5001"}},
        {"001;5001;10;S;01;02;E;L1;A\n", {"ESTOQUE INVALIDO: SEM REGISTRO OF: 5001"}},
        {"001;5001;10;S;01;02;E;L1;A\n002;MP-100;M;NAOEXISTE\n",
         {"OF NAO ENCONTRADA: 5001", "ESTOQUE INVALIDO: SEM REGISTRO OF: 5001"}},
        {"001;5003;6;S;01;02;E;L1;A\n002;MP-100;M;A12\n", {"OF NAO ESTA EM ABERTO. OF: 5003"}},
    };
    auto before = erp->Snapshot();
    int n = 0;
    for (const auto& c : cases) {
        std::string name = "case" + std::to_string(++n) + ".txt";
        erp->DropFile(name, c.file);
        Lines expected{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        expected.push_back("ARQUIVO MOVIDO PARA PROCESSADO: " + name);
        EXPECT_EQ(erp->RunOnce(), expected) << c.file;
        EXPECT_EQ(erp->Snapshot(), before) << c.file;
    }
}

TEST_P(WriteOffRunTest, InsufficientStockIsAudited) {
    erp->DropSample("OF_5003_5004.txt");
    auto before = erp->Snapshot();
    const std::string refusal = "ESTOQUE INSUFICIENTE DO INSUMO MP-100 OF 5004";
    EXPECT_EQ(erp->RunOnce(), (Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS",
                                     "OF NAO ESTA EM ABERTO. OF: 5003", refusal, refusal,
                                     "ARQUIVO MOVIDO PARA PROCESSADO: OF_5003_5004.txt"}));
    auto after = erp->Snapshot();
    EXPECT_EQ(after["LOG"], WithToday({"VELDOR|{HOJE}|OF_IMPORTACAO|" + refusal + "|_001|5004|"
                                       "Movimenta\xC3\xA7\xC3\xA3o|fmDEZORiv"}));
    after.erase("LOG");
    before.erase("LOG");
    EXPECT_EQ(after, before);
}

TEST_P(WriteOffRunTest, FailedWriteIsUndoneWholeAndReported) {
    // SUB-30 is stocked under the size "G", which the movement row writes
    // unquoted: the server refuses it after the order's other writes ran.
    erp->DropFile("a.txt",
                  "001;5005;5;S;01;02;E;L5005;A\r\n002;MP-100;M;A12\r\n002;SUB-30;P;C1\r\n"
                  "001;5001;10;S;01;02;E;L5001;PRATELEIRA 3\r\n002;MP-100;M;A12\r\n");
    auto before = erp->Snapshot();
    Lines lines = erp->RunOnce();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].rfind("ERRO NA BAIXA, OF NAO IMPORTADA (ALTERACOES DESFEITAS). OF: 5005 - ", 0), 0u)
        << lines[1];
    EXPECT_EQ(lines[2], "IMPORTACAO CONCLUIDA DA OF: 5001");
    EXPECT_EQ(lines[3], "ARQUIVO MOVIDO PARA PROCESSADO: a.txt");

    auto after = erp->Snapshot();
    ASSERT_EQ(after["PA_ITEN"].size(), before["PA_ITEN"].size() + 1);  // 5001's new lot
    ASSERT_EQ(after["OF1"].size(), 5u);
    // Nothing of 5005 stays: its time record is open, the order is not
    // imported, SUB-30 keeps its stock and no movement names it.
    EXPECT_EQ(after["OF_TEMPO"].back(), "5005|1|");
    EXPECT_EQ(after["OF1"][4], "5005|0|0|NULL");
    EXPECT_EQ(after["OF_ITEN"][4], "5005|5|0");
    EXPECT_EQ(after["PA_ITEN"].back(), before["PA_ITEN"].back());
    for (const auto& row : after["MAT_MOV"]) EXPECT_EQ(row.rfind("5005|", 0), std::string::npos) << row;
    for (const auto& row : after["PA_MOV"]) EXPECT_EQ(row.find("|5005|"), std::string::npos) << row;
    // 5001 posted with only its MP-100 lot: 500 - 25.
    EXPECT_EQ(after["MAT_ITEN"][0], "MP-100|A12|01|475");
    EXPECT_EQ(after["OF1"][0], WithToday({"5001|1|10|{HOJE}"})[0]);
    EXPECT_EQ(after["LOG"].size(), 1u);
}

TEST_P(WriteOffRunTest, MalformedFileEndsRunAndOthersWait) {
    // The sample's last order line has an empty lot and location: its trailing
    // empty field is dropped, so it has eight fields.
    erp->DropFile("1_amostra.txt",
                  "001;5001;10,5;S;01;02;E;L77;PRATELEIRA 3\r\n002;MP-100;M;A12\r\n002;SUB-20;P;B7\r\n"
                  "001;5002;4;S;01;02;E;;\r\n");
    erp->DropSample(kTwoOrders);
    auto before = erp->Snapshot();

    Lines lines = erp->RunOnce();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "EXECAO DO SISTEMA: ARQUIVO 1_AMOSTRA.TXT, LINHA 4: REGISTRO 001 COM 8 CAMPOS, ESPERADOS 9");
    EXPECT_EQ(lines[2], "ARQUIVO COM ERRO: 1_amostra.txt");
    EXPECT_EQ(Installation::List(erp->Processed()), Lines{"1_amostra.txt.erro"});
    EXPECT_EQ(Installation::List(erp->Inbox()), Lines{kTwoOrders});
    EXPECT_EQ(erp->Snapshot(), before);

    // The next run takes the file that waited.
    EXPECT_EQ(erp->RunOnce().back(), std::string("ARQUIVO MOVIDO PARA PROCESSADO: ") + kTwoOrders);
    EXPECT_EQ(Installation::List(erp->Processed()), (Lines{"1_amostra.txt.erro", kTwoOrders}));
}

TEST_P(WriteOffRunTest, OrderOfQuantityZeroPostsWithoutReceipt) {
    erp->DropFile("zero.txt", "001;5001;0;S;01;02;E;L1;A\n002;MP-100;M;A12\n");
    auto before = erp->Snapshot();
    EXPECT_EQ(erp->RunOnce(), (Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS",
                                     "IMPORTACAO CONCLUIDA DA OF: 5001", "ARQUIVO MOVIDO PARA PROCESSADO: zero.txt"}));
    auto after = erp->Snapshot();
    EXPECT_EQ(after["PRODUTO"], before["PRODUTO"]);
    EXPECT_EQ(after["PA_ITEN"], before["PA_ITEN"]);
    EXPECT_EQ(after["MAT_ITEN"], before["MAT_ITEN"]);
    EXPECT_EQ(after["OF1"][0], WithToday({"5001|1|0|{HOJE}"})[0]);
    EXPECT_EQ(after["MAT_MOV"], WithToday({"5001|1|{HOJE}|00010|MP-100|0|8.5|8.5|01||A12|VELDOR|S|S|EN|0"}));
}

TEST_P(WriteOffRunTest, LotsOfEarlierFilesOfTheRunTakePart) {
    // 5004 is refused in the first file for want of paint; in the second file
    // it comes again with a smaller quantity and another lot, and is posted
    // with the lots of both files.
    erp->DropFile("1.txt", "001;5004;20;S;01;02;E;L1;A\n002;MP-300;M;T01\n");
    erp->DropFile("2.txt", "001;5004;2;S;01;02;E;L1;A\n002;MP-100;M;A12\n");
    const std::string refusal = "ESTOQUE INSUFICIENTE DO INSUMO MP-300 OF 5004";
    EXPECT_EQ(erp->RunOnce(), (Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS", refusal, refusal,
                                     "ARQUIVO MOVIDO PARA PROCESSADO: 1.txt", "IMPORTACAO CONCLUIDA DA OF: 5004",
                                     "ARQUIVO MOVIDO PARA PROCESSADO: 2.txt"}));
    EXPECT_EQ(erp->Snapshot()["MAT_MOV"],
              WithToday({"5004|1|{HOJE}|00030|MP-300|0|30|30|01||T01|VELDOR|S|S|EN|1",
                         "5004|2|{HOJE}|00030|MP-100|0|8.5|8.5|01||A12|VELDOR|S|S|EN|12"}));
}

// The new cost of the product from the last consumed row, the unit factor
// and the stock before the receipt.
TEST(WriteOffAverageCostTest, CostFollowsLastRowUnitAndStock) {
    struct Case {
        const char* name;
        std::vector<std::string> setup;
        const char* file;
        std::string product;  // the product's row in PRODUTO afterwards
    };
    const char* order5001 = "001;5001;10;S;01;02;E;L1;P3\n002;MP-100;M;A12\n002;SUB-20;P;B7\n002;MP-200;M;P01\n";
    const Case cases[] = {
        {"last row without cost keeps the standard cost",
         {"UPDATE MAT_ITEN_001 SET PRECO_MED = 0 WHERE CODIGO = 'MP-200'"}, order5001, "PA-500|10|P3"},
        {"no colour-0 stock row either: cost 0",
         {"UPDATE MAT_ITEN_001 SET PRECO_MED = 0 WHERE CODIGO = 'MP-300'",
          "UPDATE PRODUTO_001 SET CUSTO = 33 WHERE CODIGO = 'PA-600'"},
         "001;5002;4;S;01;02;E;;B\n002;MP-100;M;A12\n002;MP-300;M;T01\n", "PA-600|0|B"},
        // 10 x 12 = 120 units at 67.56 beside 100 at 10: (1000 + 8107.2) / 220.
        {"unit factor of the last row's unit", {"UPDATE MATERIAL_001 SET UNIDADE = 'CX' WHERE CODIGO = 'MP-200'"},
         order5001, "PA-500|41.3964|P3"},
    };
    for (const auto& c : cases) {
        Installation erp(Backend::FBEmbedded);
        for (const auto& sql : c.setup) erp.Execute(sql);
        erp.DropFile("a.txt", c.file);
        Lines lines = erp.RunOnce();
        ASSERT_EQ(lines.size(), 3u) << c.name;
        auto products = erp.Snapshot()["PRODUTO"];
        EXPECT_NE(std::find(products.begin(), products.end(), c.product), products.end())
            << c.name << ": " << ::testing::PrintToString(products);
    }
}

// An ERP user holds the row of order 5001: its posting runs out of time and
// is undone, the other order posts, and the file stays in the inbox so that
// the next run, after the user let go, posts 5001 too.
TEST_P(WriteOffRunTest, PostingUndoneForAPassingReasonIsTriedAgainAtTheNextRun) {
    TKVCustomQuery::SetTimeLimits(1500, 1500);
    erp->DropSample(kTwoOrders);
    auto user = erp->OpenConnection();
    user->Execute("UPDATE OF1_001 SET QTDE_B = QTDE_B WHERE NUMERO = '5001'", 0);

    Lines first = erp->RunOnce();
    TKVCustomQuery::SetTimeLimits(60000, 30000);
    ASSERT_EQ(first.size(), 4u) << ::testing::PrintToString(first);
    EXPECT_EQ(first[1].rfind("ERRO TEMPORARIO NA BAIXA, OF NAO IMPORTADA (ALTERACOES DESFEITAS), NOVA TENTATIVA NA "
                             "PROXIMA EXECUCAO. OF: 5001 - ERRO PROV",
                             0),
              0u)
        << first[1];
    EXPECT_EQ(first[2], "IMPORTACAO CONCLUIDA DA OF: 5002");
    EXPECT_EQ(first[3], "ARQUIVO MANTIDO EM RECEBIDOS PARA NOVA TENTATIVA NA PROXIMA EXECUCAO: OF_5001_5002.txt");
    EXPECT_EQ(Installation::List(erp->Inbox()), Lines{kTwoOrders});
    EXPECT_EQ(Installation::List(erp->Processed()), Lines{});
    user->RollbackRetaining();
    user->Close();
    EXPECT_EQ(erp->Rows("MAT_MOV_001", {"NUM_DOCTO"}, "NUM_DOCTO, ORDEM"), (Lines{"5002", "5002"}));

    EXPECT_EQ(erp->RunOnce(), (Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS",
                                     "IMPORTACAO CONCLUIDA DA OF: 5001", "OF NAO ESTA EM ABERTO. OF: 5002",
                                     "ARQUIVO MOVIDO PARA PROCESSADO: OF_5001_5002.txt"}));
    EXPECT_EQ(erp->Rows("MAT_MOV_001", {"NUM_DOCTO"}, "NUM_DOCTO, ORDEM"), (Lines{"5001", "5001", "5002", "5002"}));
    EXPECT_EQ(erp->Rows("OF1_001", {"NUMERO", "IMPOF", "QTDE_B"}, "NUMERO").front(), "5001|1|10");
}

// A stop of the service while an order is being posted: that order is
// finished, the rest of the file waits in Recebidos, and the next run posts
// it (the order already posted is refused as no longer open).
TEST_P(WriteOffRunTest, StopEndsTheRunAfterTheOrderInProgress) {
    erp->DropSample(kTwoOrders);
    erp->DropFile("OF_9999.txt", "001;9999;1;S;01;02;E;L1;A\r\n");
    TfmDEZORiv& form = erp->Form();
    // The stop arrives during the posting of 5001, before its audit line.
    int observer = form.Memo1.AddObserver([](const std::string& line) {
        if (line.find("IMPORTACAO CONCLUIDA DA OF: 5001") != std::string::npos) shell::RequestStop();
    });
    Lines first = erp->RunOnce();
    form.Memo1.RemoveObserver(observer);
    shell::testing::ClearStopRequest();
    const std::string kept = "SERVICO PARANDO, IMPORTACAO INTERROMPIDA. ARQUIVO MANTIDO EM RECEBIDOS, AS OFS "
                             "RESTANTES SERAO IMPORTADAS NA PROXIMA EXECUCAO: ";
    EXPECT_EQ(first, (Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS",
                            "IMPORTACAO CONCLUIDA DA OF: 5001", kept + kTwoOrders}));
    EXPECT_EQ(Installation::List(erp->Inbox()), (Lines{kTwoOrders, "OF_9999.txt"}));
    EXPECT_EQ(Installation::List(erp->Processed()), Lines{});
    EXPECT_EQ(erp->Rows("MAT_MOV_001", {"NUM_DOCTO"}, "NUM_DOCTO, ORDEM"), (Lines{"5001", "5001"}));
    EXPECT_EQ(erp->Form().ErrorCount(), 0);

    Lines second = erp->RunOnce();
    ASSERT_GE(second.size(), 4u);
    EXPECT_EQ(Lines(second.begin(), second.begin() + 4),
              (Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS", "OF NAO ESTA EM ABERTO. OF: 5001",
                     "IMPORTACAO CONCLUIDA DA OF: 5002", "ARQUIVO MOVIDO PARA PROCESSADO: OF_5001_5002.txt"}));
    EXPECT_EQ(erp->Rows("MAT_MOV_001", {"NUM_DOCTO"}, "NUM_DOCTO, ORDEM"), (Lines{"5001", "5001", "5002", "5002"}));

    // A stop asked for before a run: nothing is read or posted.
    erp->DropSample(kTwoOrders);
    shell::RequestStop();
    Lines stopped = erp->RunOnce();
    shell::testing::ClearStopRequest();
    EXPECT_EQ(stopped, (Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS", kept + kTwoOrders}));
}

TEST_P(WriteOffRunTest, EmptyInboxWritesOnlyTheScanLine) {
    EXPECT_EQ(erp->RunOnce(), Lines{"FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS"});
}

INSTANTIATE_TEST_SUITE_P(Backends, WriteOffRunTest, ::testing::Values(Backend::PG, Backend::FBEmbedded),
                         [](const auto& info) { return testsupport::BackendName(info.param); });

}  // namespace
