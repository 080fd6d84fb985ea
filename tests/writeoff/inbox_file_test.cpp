// Decoding, line and field splitting of inbox files, and time texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "writeoff/InboxFile.h"

using namespace writeoff;

namespace {

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::string utf8;
};

TEST(InboxFileTest, DecodesByMarkOrContent) {
    const DecodeCase cases[] = {
        {"plain ascii", "001;123", "001;123"},
        {"utf-8 without mark", "LOCAL \xC3\x89", "LOCAL \xC3\x89"},
        {"utf-8 mark dropped", "\xEF\xBB\xBF" "002;A", "002;A"},
        {"windows-1252 when not utf-8", "PRATELEIRA \xC9 \x80", "PRATELEIRA \xC3\x89 \xE2\x82\xAC"},
        {"lone continuation byte is 1252", "A\x93" "B\x94", "A\xE2\x80\x9C" "B\xE2\x80\x9D"},
        {"overlong utf-8 is 1252", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
        {"utf-16le", std::string("\xFF\xFE" "0\0" "1\0" ";\0" "\xC9\0", 10), "01;\xC3\x89"},
        {"utf-16be", std::string("\xFE\xFF" "\0" "0" "\0" "\n" "\x20\xAC", 8), "0\n\xE2\x82\xAC"},
        {"utf-16le surrogate pair", std::string("\xFF\xFE" "\x3D\xD8\x00\xDE", 6), "\xF0\x9F\x98\x80"},
        {"utf-16le lone surrogate", std::string("\xFF\xFE" "\x3D\xD8" "A\0", 6), "\xEF\xBF\xBD" "A"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeInboxText(c.bytes), c.utf8) << c.name;
}

TEST(InboxFileTest, SplitsLinesAtEveryBreakKind) {
    using V = std::vector<std::string>;
    const std::pair<std::string, V> cases[] = {
        {"a\r\nb\rc\nd", V{"a", "b", "c", "d"}},
        {"a\r\n", V{"a"}},
        {"a\n\nb", V{"a", "", "b"}},
        {"a\r\r\n", V{"a", ""}},
        {"\n", V{""}},
        {"", V{}},
        {"001;1;2;S;01;02;E;L;X", V{"001;1;2;S;01;02;E;L;X"}},
    };
    for (const auto& [text, lines] : cases) EXPECT_EQ(SplitLines(text), lines) << text;
}

TEST(InboxFileTest, SplitsFieldsWithQuotedRule) {
    using V = std::vector<std::string>;
    const std::pair<std::string, V> cases[] = {
        {"001;123;10,5;S;01;02;E;L77;PRATELEIRA 3",
         V{"001", "123", "10,5", "S", "01", "02", "E", "L77", "PRATELEIRA 3"}},
        {"002;\"AB;12\";M;L1", V{"002", "AB,12", "M", "L1"}},
        {"001;\"9;1\";4", V{"001", "9,1", "4"}},
        {"001;124;4;S;01;02;E;;", V{"001", "124", "4", "S", "01", "02", "E", ""}},
        {"a;;b", V{"a", "", "b"}},
        {";a;b", V{"a", "b"}},
        {"\"a;b\";c", V{"\"a", "b\"", "c"}},        // no quote rule for the first field
        {"a;\"b;c", V{"a", "b", "c"}},              // unclosed quote: only the quote goes
        {"a;\"x;y\"z;w", V{"a", "x,yz", "w"}},     // text after the closing quote joins
        {"a;\"\";b", V{"a", "", "b"}},
        {"", V{}},
        {";", V{}},
        {"a", V{"a"}},
    };
    for (const auto& [line, fields] : cases) EXPECT_EQ(SplitFields(line), fields) << line;
}

TEST(InboxFileTest, ConvertsTimeTextToHours) {
    struct Case { const char* text; double hours; std::vector<TimePart> bad; };
    const Case cases[] = {
        {"01:30:36", 1.51, {}},
        {"00:00:00", 0, {}},
        {"23:59:59", 23.9997, {}},
        {"02:15:00", 2.25, {}},
        {"00:00:01", 0.0003, {}},
        {"1", 1, {}},  // missing parts count 0
        {"", 0, {}},
        {"xx:30:00", 0.5, {TimePart::Hours}},
        {"01:3a:00", 1, {TimePart::Minutes}},
        {"01:00: 9", 1, {TimePart::Seconds}},
    };
    for (const auto& c : cases) {
        std::vector<TimePart> seen;
        EXPECT_DOUBLE_EQ(TimeTextToHours(c.text, [&](TimePart p) { seen.push_back(p); }), c.hours)
            << c.text;
        EXPECT_EQ(seen, c.bad) << c.text;
    }
    EXPECT_STREQ(TimePartMessage(TimePart::Hours), "Hora cadastrada de forma incorreta.");
    EXPECT_STREQ(TimePartMessage(TimePart::Minutes), "Minuto cadastrado de forma incorreta.");
    EXPECT_STREQ(TimePartMessage(TimePart::Seconds), "Segundo cadastrada de forma incorreta.");
}

TEST(InboxFileTest, DurationKeepsTimeOfDayOnly) {
    const double hour = 1.0 / 24, second = hour / 3600;
    EXPECT_EQ(DurationTimeText(1.5 * hour + 36 * second), "01:30:36");
    EXPECT_EQ(DurationTimeText(25 * hour), "01:00:00");
    EXPECT_EQ(DurationTimeText(0), "00:00:00");
    EXPECT_EQ(DurationTimeText(-0.25), "06:00:00");
    EXPECT_EQ(DurationTimeText(1.0 - 0.0001 * second), "00:00:00");
}

TEST(InboxFileTest, ReadsFilesAndRefusesFolders) {
    auto dir = std::filesystem::temp_directory_path() /
               ("inbox-file-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "x.txt");
    {
        std::ofstream f(dir / "a.txt", std::ios::binary);
        f << "\xEF\xBB\xBF" "001;1\r\n002;M\r\n";
    }
    EXPECT_EQ(ReadInboxLines(dir / "a.txt"), (std::vector<std::string>{"001;1", "002;M"}));
    EXPECT_THROW(ReadInboxLines(dir / "x.txt"), std::runtime_error);
    EXPECT_THROW(ReadInboxLines(dir / "missing.txt"), std::runtime_error);
    std::filesystem::remove_all(dir);
}

}  // namespace
