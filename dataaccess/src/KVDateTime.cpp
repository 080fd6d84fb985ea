// Date-time values counted in days since 30 December 1899.
#include "dataaccess/KVDateTime.h"

#include <cmath>
#include <ctime>
#include <mutex>
#include <sys/time.h>

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

constexpr long long kEpochOffset = 25569;  // 1970-01-01 as a day number
constexpr double kMsPerDay = 86400000.0;

}  // namespace

TDateTime EncodeKVDateTime(const TKVDateParts& p) {
    const long long days = DaysFromCivil(p.Year, static_cast<unsigned>(p.Month),
                                         static_cast<unsigned>(p.Day)) + kEpochOffset;
    const double ms = ((p.Hour * 60.0 + p.Minute) * 60.0 + p.Second) * 1000.0 + p.MilliSecond;
    const double frac = ms / kMsPerDay;
    // Before the epoch day the time of day is counted away from zero.
    return days < 0 ? static_cast<double>(days) - frac : static_cast<double>(days) + frac;
}

TKVDateParts DecodeKVDateTime(TDateTime value) {
    TKVDateParts p;
    double whole = std::trunc(value);
    double frac = std::fabs(value - whole);
    long long ms = std::llround(frac * kMsPerDay);
    if (ms >= 86400000LL) {  // rounding reached the next day
        ms -= 86400000LL;
        whole += value < 0 ? -1 : 1;
    }
    CivilFromDays(static_cast<long long>(whole) - kEpochOffset, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(ms / 3600000);
    p.Minute = static_cast<int>(ms / 60000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.MilliSecond = static_cast<int>(ms % 1000);
    return p;
}

namespace {
std::mutex gClockMutex;
std::function<TDateTime()> gClock;
}  // namespace

void SetKVClock(std::function<TDateTime()> clock) {
    std::lock_guard lock(gClockMutex);
    gClock = std::move(clock);
}

TDateTime KVNow() {
    {
        std::lock_guard lock(gClockMutex);
        if (gClock) return gClock();
    }
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    localtime_r(&tv.tv_sec, &tm);
    TKVDateParts p;
    p.Year = tm.tm_year + 1900;
    p.Month = tm.tm_mon + 1;
    p.Day = tm.tm_mday;
    p.Hour = tm.tm_hour;
    p.Minute = tm.tm_min;
    p.Second = tm.tm_sec;
    p.MilliSecond = static_cast<int>(tv.tv_usec / 1000);
    return EncodeKVDateTime(p);
}
