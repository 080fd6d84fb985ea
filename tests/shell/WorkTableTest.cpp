#include <gtest/gtest.h>

#include "shell/WorkTable.h"

using namespace shell;

namespace {

TEST(WorkTable, AppendMakesTheRowCurrentAndAFullPassKeepsTheLast) {
    TWorkTable t("TbEstoque", TbEstoqueColumns());
    EXPECT_TRUE(t.Eof());
    EXPECT_TRUE(t.IsEmpty());
    for (int i = 1; i <= 3; ++i) {
        t.Append();
        t["Codigo"] = "C" + std::to_string(i);
        t["Consumo"] = i * 1.5;
        t.Post();
        EXPECT_EQ(t["Codigo"].AsString(), "C" + std::to_string(i));
        EXPECT_FALSE(t.Eof());
    }
    EXPECT_EQ(t.RecordCount(), 3);
    std::string seen;
    for (t.First(); !t.Eof(); t.Next()) seen += t["Codigo"].AsString();
    EXPECT_EQ(seen, "C1C2C3");
    // After the pass the last row is still current.
    EXPECT_EQ(t["Codigo"].AsString(), "C3");
    EXPECT_DOUBLE_EQ(t["Consumo"].AsFloat(), 4.5);
    EXPECT_EQ(t.RecNo(), 3);
}

TEST(WorkTable, UnsetColumnsReadEmptyOrZero) {
    TWorkTable t("TbOF", TbOFColumns());
    EXPECT_EQ(t["OF"].AsString(), "");  // no row at all
    EXPECT_EQ(t["QtdeBai"].AsFloat(), 0.0);
    t.Append();
    EXPECT_TRUE(t["CustoProduto"].IsNull());
    EXPECT_EQ(t["CustoProduto"].AsFloat(), 0.0);
    EXPECT_EQ(t["Lote"].AsString(), "");
    EXPECT_EQ(t["qtdebai"].AsInteger(), 0);  // names are case-insensitive
}

TEST(WorkTable, TextIsCutToTheColumnWidthInCharacters) {
    struct {
        const char* column;
        const char* value;
        const char* stored;
    } cases[] = {
        {"OF", "1234567890", "123456"},
        {"OF", "12345", "12345"},
        {"TpSaida", "AB", "A"},
        {"Local", "\xC3\x81rea de expedi\xC3\xA7\xC3\xA3o principal do galp\xC3\xA3o 2",
         "\xC3\x81rea de expedi\xC3\xA7\xC3\xA3o principal do"},  // 30 characters, not bytes
        {"DepositoSaida", "\xC3\xA7\xC3\xA7\xC3\xA7\xC3\xA7\xC3\xA7\xC3\xA7\xC3\xA7",
         "\xC3\xA7\xC3\xA7\xC3\xA7\xC3\xA7\xC3\xA7\xC3\xA7"},
        {"Cliente", "", ""},
    };
    TWorkTable t("TbOF", TbOFColumns());
    t.Append();
    for (const auto& c : cases) {
        t[c.column] = c.value;
        EXPECT_EQ(t[c.column].AsString(), c.stored) << c.column << " <- " << c.value;
    }
}

TEST(WorkTable, NumbersAndTextConvert) {
    TWorkTable t("CDSOrdTecelagem", CDSOrdTecelagemColumns());
    t.Append();
    t["IDProg"] = int32_t{4711};
    t["QtdePai"] = 12.5;
    t["Numero"] = 123456.0;  // a number into a text column is its text
    EXPECT_EQ(t["IDProg"].AsString(), "4711");
    EXPECT_EQ(t["QtdePai"].AsString(), "12.5");
    EXPECT_EQ(t["Numero"].AsString(), "123456");
    t["QtdeFilho"].SetAsString("3,25");
    EXPECT_DOUBLE_EQ(t["QtdeFilho"].AsFloat(), 3.25);
    EXPECT_THROW(t["QtdeFilho"].SetAsString("abc"), std::invalid_argument);
    EXPECT_THROW(t["Nada"], std::out_of_range);
}

TEST(WorkTable, WritingWithoutACurrentRowIsRefused) {
    TWorkTable t("TbLotes", TbLotesColumns());
    EXPECT_THROW(t["Codigo"] = "X", std::logic_error);
}

TEST(WorkTable, EmptyingLeavesNoCurrentRow) {
    TWorkTable t("TbLotes", TbLotesColumns());
    t.Append();
    t["Codigo"] = "A";
    t.EmptyDataSet();
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t["Codigo"].AsString(), "");
    t.First();
    EXPECT_TRUE(t.Eof());
}

TEST(WorkTable, RestrictionByColumnValue) {
    TWorkTable t("TbLotes", TbLotesColumns());
    const char* rows[][2] = {{"L1", "100"}, {"L2", "200"}, {"L3", "100"}, {"L4", "300"}};
    for (auto& r : rows) {
        t.Append();
        t["Lote"] = r[0];
        t["OF"] = r[1];
    }
    t.SetFilter("OF", "100");
    EXPECT_TRUE(t.Filtered());
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t["Lote"].AsString(), "L1");  // setting it moves to the first match
    std::string seen;
    for (t.First(); !t.Eof(); t.Next()) seen += t["Lote"].AsString();
    EXPECT_EQ(seen, "L1L3");
    EXPECT_EQ(t["Lote"].AsString(), "L3");

    t.SetFilter("OF", "999");
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_TRUE(t.Eof());
    std::string none;
    for (t.First(); !t.Eof(); t.Next()) none += t["Lote"].AsString();
    EXPECT_EQ(none, "");

    t.ClearFilter();
    EXPECT_EQ(t.RecordCount(), 4);
    seen.clear();
    for (t.First(); !t.Eof(); t.Next()) seen += t["Lote"].AsString();
    EXPECT_EQ(seen, "L1L2L3L4");
}

TEST(WorkTable, RestrictionWithTwoColumnsAndLocate) {
    TWorkTable t("CDSOrdTecelagem", CDSOrdTecelagemColumns());
    const char* rows[][2] = {{"N", "A"}, {"S", "B"}, {"N", "C"}};
    for (auto& r : rows) {
        t.Append();
        t["SelOrdTecPai"] = r[0];
        t["Codigo"] = r[1];
    }
    EXPECT_TRUE(t.Locate("SelOrdTecPai", "S"));
    EXPECT_EQ(t["Codigo"].AsString(), "B");
    EXPECT_FALSE(t.Locate("SelOrdTecPai", "X"));
    t.SetFilter({{"SelOrdTecPai", "N"}, {"Codigo", "C"}});
    EXPECT_EQ(t.RecordCount(), 1);
    EXPECT_EQ(t["Codigo"].AsString(), "C");
    // Matching is exact: "n" is not "N".
    t.SetFilter("SelOrdTecPai", "n");
    EXPECT_EQ(t.RecordCount(), 0);
}

TEST(WorkTable, DeleteAndPrior) {
    TWorkTable t("TbLotes", TbLotesColumns());
    for (const char* c : {"A", "B", "C"}) {
        t.Append();
        t["Codigo"] = c;
    }
    t.First();
    t.Next();
    t.Delete();
    EXPECT_EQ(t["Codigo"].AsString(), "C");
    t.Prior();
    EXPECT_EQ(t["Codigo"].AsString(), "A");
    t.Prior();
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(t.RecordCount(), 2);
}

TEST(WorkTable, ColumnLayouts) {
    struct {
        std::vector<TColumnDef> columns;
        const char* name;
        TColumnKind kind;
        int width;
    } cases[] = {
        {TbOFColumns(), "OF", TColumnKind::Text, 6},        {TbOFColumns(), "Local", TColumnKind::Text, 30},
        {TbOFColumns(), "Cliente", TColumnKind::Text, 5},   {TbOFColumns(), "CustoProduto", TColumnKind::Float, 0},
        {TbLotesColumns(), "OF", TColumnKind::Text, 20},    {TbLotesColumns(), "Lote", TColumnKind::Text, 20},
        {TbEstoqueColumns(), "Tam", TColumnKind::Text, 4},  {TbEstoqueColumns(), "Unidade", TColumnKind::Text, 3},
        {TbEstoqueColumns(), "Estoque", TColumnKind::Float, 0},
        {CDSOrdTecelagemColumns(), "IDProg", TColumnKind::Integer, 0},
        {CDSOrdTecelagemColumns(), "Numero", TColumnKind::Text, 6},
        // Whole values of the line, beside the published, width-cut ones.
        {CDSOrdTecelagemColumns(), "NumeroLinha", TColumnKind::Text, 0},
        {CDSOrdTecelagemColumns(), "CodigoLinha", TColumnKind::Text, 0},
        {CDSOrdTecelagemColumns(), "CorLinha", TColumnKind::Text, 0},
    };
    for (const auto& c : cases) {
        bool found = false;
        for (const auto& col : c.columns)
            if (col.Name == c.name) {
                found = true;
                EXPECT_EQ(col.Kind, c.kind) << c.name;
                EXPECT_EQ(col.Width, c.width) << c.name;
            }
        EXPECT_TRUE(found) << c.name;
    }
    EXPECT_EQ(TbOFColumns().size(), 11u);
    EXPECT_EQ(TbLotesColumns().size(), 4u);
    EXPECT_EQ(TbEstoqueColumns().size(), 10u);
    EXPECT_EQ(CDSOrdTecelagemColumns().size(), 10u);
}

}  // namespace
