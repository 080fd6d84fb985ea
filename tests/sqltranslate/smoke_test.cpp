#include <gtest/gtest.h>
#include "sqltranslate/SqlTranslate.h"

TEST(Translate, PlainFirebirdTextIsUnchanged) {
    EXPECT_EQ(sqltranslate::TranslateText("SELECT 1 FROM RDB$DATABASE\r\n", "FB"), "SELECT 1 FROM RDB$DATABASE\r\n");
}
