// Small helpers of the shell's tests: a private folder per test, a fixed
// clock and the C regional settings, file reading.
#pragma once
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "shell/RegionalSettings.h"

namespace shelltest {

// A fresh folder below the test run's folder (or /tmp), removed at the end.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        const char* base = std::getenv("DEZORIV_TEST_RUN_DIR");
        std::filesystem::path root = base && *base ? base : std::filesystem::temp_directory_path();
        FPath = root / ("shell-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(FPath);
        std::filesystem::create_directories(FPath);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(FPath, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::string Slash() const { return FPath.string() + "/"; }

private:
    std::filesystem::path FPath;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::chrono::system_clock::time_point LocalTime(int y, int m, int d, int hh, int mm, int ss) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    t.tm_hour = hh;
    t.tm_min = mm;
    t.tm_sec = ss;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

// C regional settings (dd/mm/yyyy hh:mm:ss) and a clock standing at the
// given time while the object lives.
class FixedClock {
public:
    explicit FixedClock(std::chrono::system_clock::time_point when) : FNow(when) {
        shell::SetFormatSettings(shell::TFormatSettings{});
        shell::SetClock([this] { return FNow; });
    }
    ~FixedClock() { shell::SetClock({}); }
    void Set(std::chrono::system_clock::time_point when) { FNow = when; }

private:
    std::chrono::system_clock::time_point FNow;
};

}  // namespace shelltest
