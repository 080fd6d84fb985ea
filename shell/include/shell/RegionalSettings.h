// Regional settings of the host, in one place: the date-time text of log
// lines, the short date format and the decimal separator of inbox quantities.
// They come from the process environment's locale (LC_ALL, LC_TIME,
// LC_NUMERIC, LANG); the global C locale of the process is not changed.
// Under the C/POSIX locale (or an unknown one): dd/mm/yyyy, hh:mm:ss on a
// 24-hour clock, decimal comma.
#pragma once
#include <chrono>
#include <ctime>
#include <functional>
#include <string>

namespace shell {

struct TFormatSettings {
    std::string ShortDateFormat = "%d/%m/%Y";  // strftime pattern
    std::string LongTimeFormat = "%H:%M:%S";   // strftime pattern
    char DateSeparator = '/';
    char TimeSeparator = ':';
    char DecimalSeparator = ',';
};

// Settings of the environment's locale, read once (ReloadFormatSettings
// reads them again, for example after the environment changed).
const TFormatSettings& FormatSettings();
void ReloadFormatSettings();
// Replaces the settings (tests).
void SetFormatSettings(const TFormatSettings& settings);

// The clock of every time stamp of the shell; tests replace it.
using TClock = std::function<std::chrono::system_clock::time_point()>;
void SetClock(TClock clock);  // an empty function restores the system clock
std::chrono::system_clock::time_point ClockNow();
// Local broken-down time of the clock.
std::tm LocalNow();

// Date-time text: short date, one blank, long time (e.g. 15/03/2024 14:05:09).
std::string DateTimeText();
std::string DateTimeText(const std::tm& t);
// Date in the short date format (e.g. 15/03/2024).
std::string ShortDateText(const std::tm& t);

// Reads a decimal number written with the locale's decimal separator (no
// thousands separators, surrounding blanks allowed). Returns false when the
// text is not a number.
bool TryStrToFloatLocale(const std::string& text, double& value);
// As above, throwing std::invalid_argument "'<text>' is not a valid floating point value".
double StrToFloatLocale(const std::string& text);

}  // namespace shell
