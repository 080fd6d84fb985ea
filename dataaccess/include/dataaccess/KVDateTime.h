// Date-time values as the ERP and the service handle them: a double whose
// whole part counts days since 30 December 1899 and whose fraction is the time
// of day (the usual convention of desktop ERP software).
#pragma once
#include <functional>
#include <string>

using TDateTime = double;

struct TKVDateParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

TDateTime EncodeKVDateTime(const TKVDateParts& parts);
TKVDateParts DecodeKVDateTime(TDateTime value);
// The current local date and time (from the clock set below, if any).
TDateTime KVNow();
// Replaces the clock behind KVNow (tests: a fixed or stepping time); an empty
// function restores the system clock.
void SetKVClock(std::function<TDateTime()> clock);
