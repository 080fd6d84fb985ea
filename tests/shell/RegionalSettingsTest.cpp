#include <gtest/gtest.h>

#include <cstdlib>

#include "shell/RegionalSettings.h"

using namespace shell;

namespace {

std::tm Day(int y, int m, int d, int hh, int mm, int ss) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    t.tm_hour = hh;
    t.tm_min = mm;
    t.tm_sec = ss;
    return t;
}

class RegionalSettingsTest : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("LC_ALL");
        ReloadFormatSettings();
    }
};

TEST_F(RegionalSettingsTest, CLocaleAndUnknownLocalesUseTheUsualLayout) {
    for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_YY.UTF-8"}) {
        setenv("LC_ALL", name, 1);
        ReloadFormatSettings();
        EXPECT_EQ(FormatSettings().DecimalSeparator, ',') << name;
        EXPECT_EQ(DateTimeText(Day(2024, 3, 15, 14, 5, 9)), "15/03/2024 14:05:09") << name;
        EXPECT_EQ(ShortDateText(Day(2024, 3, 5, 23, 0, 0)), "05/03/2024") << name;
    }
}

TEST_F(RegionalSettingsTest, SettingsCanBeReplaced) {
    TFormatSettings us;
    us.ShortDateFormat = "%m/%d/%Y";
    us.LongTimeFormat = "%I:%M:%S %p";
    us.DecimalSeparator = '.';
    SetFormatSettings(us);
    EXPECT_EQ(DateTimeText(Day(2024, 3, 15, 14, 5, 9)), "03/15/2024 02:05:09 PM");
    double v = 0;
    EXPECT_TRUE(TryStrToFloatLocale("12.5", v));
    EXPECT_DOUBLE_EQ(v, 12.5);
    EXPECT_FALSE(TryStrToFloatLocale("12,5", v));
}

TEST_F(RegionalSettingsTest, QuantitiesWithTheDecimalComma) {
    setenv("LC_ALL", "C", 1);
    ReloadFormatSettings();
    struct {
        const char* text;
        bool ok;
        double value;
    } cases[] = {
        {"12,5", true, 12.5}, {"3", true, 3},       {" 7,25 ", true, 7.25}, {"-0,5", true, -0.5},
        {"1,5E2", true, 150}, {"12.5", false, 0},   {"1.234,5", false, 0},  {"", false, 0},
        {"abc", false, 0},    {"1,2,3", false, 0},  {",", false, 0},        {"nan", false, 0},
        {"inf", false, 0},    {"0x10", false, 0},
    };
    for (const auto& c : cases) {
        double v = -99;
        EXPECT_EQ(TryStrToFloatLocale(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        }
    }
    EXPECT_THROW(StrToFloatLocale("x"), std::invalid_argument);
}

TEST_F(RegionalSettingsTest, ClockSeam) {
    setenv("LC_ALL", "C", 1);
    ReloadFormatSettings();
    std::tm t = Day(2024, 12, 31, 23, 59, 58);
    auto when = std::chrono::system_clock::from_time_t(std::mktime(&t));
    SetClock([when] { return when; });
    EXPECT_EQ(DateTimeText(), "31/12/2024 23:59:58");
    SetClock({});
    EXPECT_NE(DateTimeText(), "31/12/2024 23:59:58");
}

}  // namespace
