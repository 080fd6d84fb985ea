// Result column values and their conversions.
#include "dataaccess/TKVField.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "dataaccess/KVErrors.h"

namespace {

bool IsDateType(TKVFieldType t) {
    return t == TKVFieldType::Date || t == TKVFieldType::Time || t == TKVFieldType::DateTime ||
           t == TKVFieldType::TimeStamp;
}

std::string Two(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

std::string DateText(const TKVDateParts& p) {
    char b[32];
    std::snprintf(b, sizeof b, "%02d/%02d/%04d", p.Day, p.Month, p.Year);
    return b;
}

std::string TimeText(const TKVDateParts& p) {
    return Two(p.Hour) + ":" + Two(p.Minute) + ":" + Two(p.Second);
}

// Shortest text of a double with up to 15 significant digits, "." as the
// decimal separator.
std::string FloatText(double v) {
    char b[64];
    std::snprintf(b, sizeof b, "%.15g", v);
    return b;
}

double ParseFloat(const std::string& text) {
    std::string t = text;
    for (auto& c : t)
        if (c == ',') c = '.';
    const char* begin = t.c_str();
    while (*begin == ' ') ++begin;
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    while (end && *end == ' ') ++end;
    if (end == begin || (end && *end)) throw EKVDatabaseError("'" + text + "' não é um valor numérico válido");
    return v;
}

// Reads "yyyy-mm-dd[ hh:mm:ss]" or "dd/mm/yyyy[ hh:mm:ss]".
TDateTime ParseDateTime(const std::string& text) {
    TKVDateParts p;
    int a = 0, b = 0, c = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &a, &b, &c, &h, &mi, &s) >= 3) {
        p.Year = a, p.Month = b, p.Day = c;
    } else if (std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &a, &b, &c, &h, &mi, &s) >= 3) {
        p.Day = a, p.Month = b, p.Year = c;
    } else if (std::sscanf(text.c_str(), "%d:%d:%d", &h, &mi, &s) >= 2) {
    } else {
        throw EKVDatabaseError("'" + text + "' não é uma data e hora válida");
    }
    p.Hour = h, p.Minute = mi, p.Second = s;
    return EncodeKVDateTime(p);
}

}  // namespace

std::string TKVField::AsString() const {
    if (IsNull()) return {};
    if (const auto* s = std::get_if<std::string>(&FValue)) return *s;
    if (const auto* i = std::get_if<int64_t>(&FValue)) {
        if (FDataType == TKVFieldType::Boolean) return *i ? "True" : "False";
        return std::to_string(*i);
    }
    const double d = std::get<double>(FValue);
    if (IsDateType(FDataType)) {
        const auto p = DecodeKVDateTime(d);
        if (FDataType == TKVFieldType::Date) return DateText(p);
        // A time column that still carries a date (a time stamp delivered as
        // time) shows both.
        if (FDataType == TKVFieldType::Time && std::trunc(d) == 0) return TimeText(p);
        return DateText(p) + " " + TimeText(p);
    }
    return FloatText(d);
}

double TKVField::AsFloat() const {
    if (IsNull()) return 0.0;
    if (const auto* d = std::get_if<double>(&FValue)) return *d;
    if (const auto* i = std::get_if<int64_t>(&FValue)) return static_cast<double>(*i);
    return ParseFloat(std::get<std::string>(FValue));
}

int64_t TKVField::AsInteger() const {
    if (IsNull()) return 0;
    if (const auto* i = std::get_if<int64_t>(&FValue)) return *i;
    if (const auto* d = std::get_if<double>(&FValue)) return static_cast<int64_t>(std::nearbyint(*d));
    const std::string& s = std::get<std::string>(FValue);
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (end == s.c_str() || *end) return static_cast<int64_t>(std::nearbyint(ParseFloat(s)));
    return v;
}

TDateTime TKVField::AsDateTime() const {
    if (IsNull()) return 0.0;
    if (const auto* d = std::get_if<double>(&FValue)) return *d;
    if (const auto* i = std::get_if<int64_t>(&FValue)) return static_cast<double>(*i);
    return ParseDateTime(std::get<std::string>(FValue));
}

TKVFloatField::TKVFloatField(std::string name, int size) : TKVField(std::move(name), TKVFieldType::Currency) {
    if (size < 0 || size > 32) throw EKVDatabaseError("Invalid field size");
}

TKVBlobField::TKVBlobField(std::string name, TKVFieldType assignedType)
    : TKVField(std::move(name), assignedType == TKVFieldType::OraClob ? TKVFieldType::Memo : assignedType) {}
