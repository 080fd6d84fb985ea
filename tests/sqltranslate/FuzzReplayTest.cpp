// Replays the fuzz seed corpus (and whatever the fuzzer found and was kept)
// through the same entry as the fuzz target.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "FuzzTranslate.h"

TEST(FuzzCorpus, EveryInputTranslatesOrIsRefused) {
    namespace fs = std::filesystem;
    const fs::path dir = DEZORIV_TRANSLATE_CORPUS;
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(FuzzTranslateOne(reinterpret_cast<const uint8_t*>(data.data()), data.size()), 0);
        ++count;
    }
    EXPECT_GT(count, 10u);
}
