#include "shell/RegionalSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace shell {

namespace {

// Locale name the environment gives a category, as setlocale(cat, "") would.
std::string EnvLocaleName(const char* categoryVar) {
    for (const char* var : {"LC_ALL", categoryVar, "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return v;
    }
    return "C";
}

bool IsCLocale(const std::string& name) {
    return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

char FirstSeparator(const std::string& format, char fallback) {
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%') {
            ++i;
            continue;
        }
        if (!std::isalnum(static_cast<unsigned char>(format[i])) && format[i] != ' ') return format[i];
    }
    return fallback;
}

TFormatSettings ReadEnvironment() {
    TFormatSettings s;  // C/POSIX defaults
    std::string timeName = EnvLocaleName("LC_TIME");
    if (!IsCLocale(timeName)) {
        if (locale_t loc = newlocale(LC_TIME_MASK, timeName.c_str(), static_cast<locale_t>(0))) {
            const char* d = nl_langinfo_l(D_FMT, loc);
            const char* t = nl_langinfo_l(T_FMT, loc);
            if (d && *d) s.ShortDateFormat = d;
            if (t && *t) s.LongTimeFormat = t;
            if (s.LongTimeFormat == "%r") {
                const char* ampm = nl_langinfo_l(T_FMT_AMPM, loc);
                s.LongTimeFormat = (ampm && *ampm) ? ampm : "%I:%M:%S %p";
            }
            s.DateSeparator = FirstSeparator(s.ShortDateFormat, '/');
            s.TimeSeparator = FirstSeparator(s.LongTimeFormat, ':');
            freelocale(loc);
        }
    }
    std::string numericName = EnvLocaleName("LC_NUMERIC");
    if (!IsCLocale(numericName)) {
        if (locale_t loc = newlocale(LC_NUMERIC_MASK, numericName.c_str(), static_cast<locale_t>(0))) {
            const char* radix = nl_langinfo_l(RADIXCHAR, loc);
            if (radix && std::strlen(radix) == 1) s.DecimalSeparator = radix[0];
            freelocale(loc);
        }
    }
    return s;
}

std::optional<TFormatSettings>& Settings() {
    static std::optional<TFormatSettings> settings;
    return settings;
}

TClock& Clock() {
    static TClock clock;
    return clock;
}

locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

std::string Format(const std::string& pattern, const std::tm& t) {
    char buf[256];
    size_t n = strftime_l(buf, sizeof buf, pattern.c_str(), &t, CLocale());
    return std::string(buf, n);
}

}  // namespace

const TFormatSettings& FormatSettings() {
    auto& s = Settings();
    if (!s) s = ReadEnvironment();
    return *s;
}

void ReloadFormatSettings() { Settings() = ReadEnvironment(); }
void SetFormatSettings(const TFormatSettings& settings) { Settings() = settings; }

void SetClock(TClock clock) { Clock() = std::move(clock); }

std::chrono::system_clock::time_point ClockNow() {
    return Clock() ? Clock()() : std::chrono::system_clock::now();
}

std::tm LocalNow() {
    std::time_t t = std::chrono::system_clock::to_time_t(ClockNow());
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}

std::string ShortDateText(const std::tm& t) { return Format(FormatSettings().ShortDateFormat, t); }

std::string DateTimeText(const std::tm& t) {
    return ShortDateText(t) + " " + Format(FormatSettings().LongTimeFormat, t);
}

std::string DateTimeText() { return DateTimeText(LocalNow()); }

bool TryStrToFloatLocale(const std::string& text, double& value) {
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) return false;
    size_t e = text.find_last_not_of(" \t");
    std::string t = text.substr(b, e - b + 1);
    char sep = FormatSettings().DecimalSeparator;
    bool seenSep = false, seenDigit = false;
    for (char& c : t) {
        if (c == sep) {
            if (seenSep) return false;
            seenSep = true;
            c = '.';
        } else if (c >= '0' && c <= '9') {
            seenDigit = true;
        } else if (c == '.' || c == ',') {
            return false;  // the other separator: thousands or a wrong locale
        } else if (!(c == '+' || c == '-' || c == 'e' || c == 'E')) {
            return false;
        }
    }
    if (!seenDigit) return false;
    char* end = nullptr;
    double v = strtod_l(t.c_str(), &end, CLocale());
    if (!end || *end != '\0') return false;
    value = v;
    return true;
}

double StrToFloatLocale(const std::string& text) {
    double value = 0;
    if (!TryStrToFloatLocale(text, value))
        throw std::invalid_argument("'" + text + "' is not a valid floating point value");
    return value;
}

}  // namespace shell
