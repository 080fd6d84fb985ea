// Field classes and value conversions, and the date-time numbering.
#include <gtest/gtest.h>

#include <cmath>

#include "dataaccess/KVDateTime.h"
#include "dataaccess/KVErrors.h"
#include "dataaccess/TKVField.h"

namespace {

TEST(DateTime, DayNumbersAndTimeOfDay) {
    struct Case {
        TKVDateParts parts;
        double value;
    } cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
        {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
        {{2024, 3, 5, 0, 0, 0, 0}, 45356.0},
        {{2024, 3, 5, 12, 0, 0, 0}, 45356.5},
        {{2000, 2, 29, 6, 0, 0, 0}, 36585.25},
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(EncodeKVDateTime(c.parts), c.value) << c.value;
        const auto back = DecodeKVDateTime(c.value);
        EXPECT_EQ(back.Year, c.parts.Year);
        EXPECT_EQ(back.Month, c.parts.Month);
        EXPECT_EQ(back.Day, c.parts.Day);
        EXPECT_EQ(back.Hour, c.parts.Hour);
    }
    const auto p = DecodeKVDateTime(EncodeKVDateTime({2024, 3, 5, 14, 7, 9, 250}));
    EXPECT_EQ(p.Hour * 10000 + p.Minute * 100 + p.Second, 140709);
    EXPECT_EQ(p.MilliSecond, 250);
    EXPECT_GT(KVNow(), 45000.0);
}

TEST(Fields, ConversionsByType) {
    struct Case {
        TKVFieldType type;
        TKVValue value;
        std::string text;
        double number;
    } cases[] = {
        {TKVFieldType::Integer, int64_t{42}, "42", 42},
        {TKVFieldType::Float, 0.1, "0.1", 0.1},
        {TKVFieldType::Currency, 1234.5, "1234.5", 1234.5},
        {TKVFieldType::String, std::string("12,5"), "12,5", 12.5},
        {TKVFieldType::Boolean, int64_t{1}, "True", 1},
        {TKVFieldType::Date, 45356.0, "05/03/2024", 45356.0},
        {TKVFieldType::TimeStamp, 45356.5, "05/03/2024 12:00:00", 45356.5},
        {TKVFieldType::Time, 0.75, "18:00:00", 0.75},
        {TKVFieldType::Integer, TKVValue{}, "", 0},
    };
    for (const auto& c : cases) {
        TKVField f("F", c.type);
        f.SetValue(c.value);
        EXPECT_EQ(f.AsString(), c.text);
        EXPECT_DOUBLE_EQ(f.AsFloat(), c.number) << c.text;
    }
    TKVField n("N", TKVFieldType::Float);
    EXPECT_TRUE(n.IsNull());
    EXPECT_EQ(n.AsInteger(), 0);
    n.SetValue(2.5);
    EXPECT_EQ(n.AsInteger(), 2);  // rounds half to even
    n.SetValue(3.5);
    EXPECT_EQ(n.AsInteger(), 4);
    TKVField s("S", TKVFieldType::String);
    s.SetValue(std::string("abc"));
    EXPECT_THROW(s.AsFloat(), EKVDatabaseError);
    s.SetValue(std::string("2024-03-05 14:07:09"));
    EXPECT_EQ(DecodeKVDateTime(s.AsDateTime()).Minute, 7);
}

TEST(Fields, FloatFieldSizeLimit) {
    EXPECT_NO_THROW(TKVFloatField("CUSTO", 32));
    try {
        TKVFloatField("CUSTO", 33);
        FAIL();
    } catch (const EKVDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Invalid field size");
    }
    TKVFloatField f("CUSTO");
    EXPECT_EQ(f.DataType(), TKVFieldType::Currency);
    f.SetValue(1.75);
    EXPECT_EQ(f.AsString(), "1.75");  // no currency symbol
}

TEST(Fields, BlobFieldStoresOracleClobAsMemo) {
    EXPECT_EQ(TKVBlobField("OBS").DataType(), TKVFieldType::Memo);
    EXPECT_EQ(TKVBlobField("OBS", TKVFieldType::OraClob).DataType(), TKVFieldType::Memo);
    EXPECT_EQ(TKVBlobField("OBS", TKVFieldType::FmtMemo).DataType(), TKVFieldType::FmtMemo);
    TKVBlobField b("OBS");
    b.SetValue(std::string("linha 1\r\nlinha 2"));
    EXPECT_EQ(b.AsString(), "linha 1\r\nlinha 2");
}

}  // namespace
