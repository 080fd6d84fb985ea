// Judging answers: acceptance, the identifier of a created order, and the
// division that refuses a zero divisor.
#include <gtest/gtest.h>

#include "RequestExchange.h"

using namespace exportjob;

TEST(RequestExchange, IdentifierOfACreatedOrder) {
    struct Case {
        const char* text;
        int id;  // 0: an error
    } cases[] = {{"[57]", 57}, {"[57]x", 57}, {"[1]\n", 1}, {"[-3]", -3}, {"57]", 7},
                 {"[2147483647]", 2147483647}, {"[2147483648]", 0}, {"[]", 0}, {"]", 0},
                 {"[57", 0}, {"[ 57]", 0}, {"[5a]", 0}, {"[57,58]", 0}, {"", 0}};
    for (const auto& c : cases) {
        if (c.id) {
            EXPECT_EQ(ParseCreatedId(c.text), c.id) << c.text;
        } else {
            EXPECT_THROW(ParseCreatedId(c.text), std::exception) << c.text;
        }
    }
}

TEST(RequestExchange, AcceptedAnswers) {
    EXPECT_TRUE(Accepted({200, "[1]"}));
    EXPECT_TRUE(Accepted({200, " x "}));
    EXPECT_FALSE(Accepted({200, " \r\n\t "}));
    EXPECT_FALSE(Accepted({200, ""}));
    EXPECT_FALSE(Accepted({201, "[1]"}));
    EXPECT_FALSE(Accepted({302, "[1]"}));
}

TEST(RequestExchange, DivisionRefusesZero) {
    EXPECT_EQ(Divide(150, 12), 12.5);
    EXPECT_THROW(Divide(150, 0), std::domain_error);
    EXPECT_THROW(Divide(0, 0), std::domain_error);
}
