// Reading the SQL trace in tests: each test points the service folder at a
// fresh temporary folder of its own.
#pragma once
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dataaccess/KVPlatform.h"
#include "test_support/TestDatabases.h"

class TraceFolderFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = testsupport::TestTempFolder() + "/trace-" + std::to_string(::getpid()) + "-" + info->name();
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        SetApplicationFolder(folder);
        SetActiveWindowName("fmDEZORiv");
    }
    void TearDown() override { SetActiveWindowName(""); }

    static std::string Today() {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        char buf[16];
        std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
        return buf;
    }

    std::string TracePath(const std::string& machine) const {
        return folder + "/Logs/" + (machine.empty() ? "MaqDesconhecida" : machine) + "-" + Today() + ".log";
    }

    // The whole file, bytes as written.
    std::string ReadTrace(const std::string& machine) const {
        std::ifstream in(TracePath(machine), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Lines split at CR LF, with the time stamp field replaced by "<stamp>".
    std::vector<std::string> TraceLines(const std::string& machine) const {
        std::vector<std::string> lines;
        const std::string all = ReadTrace(machine);
        size_t start = 0, end;
        while ((end = all.find("\r\n", start)) != std::string::npos) {
            std::string line = all.substr(start, end - start);
            // "|ip|window|user|dd/mm/yy hh:mm:ss|..."
            size_t bar = 0;
            for (int i = 0; i < 3 && bar != std::string::npos; ++i) bar = line.find('|', bar + 1);
            if (bar != std::string::npos && line.size() > bar + 18) line.replace(bar + 1, 17, "<stamp>");
            lines.push_back(line);
            start = end + 2;
        }
        return lines;
    }

    std::string folder;
};
