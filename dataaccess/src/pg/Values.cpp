#include "Values.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kvdriver::pg {

namespace {

enum : Oid {
    kBool = 16, kBytea = 17, kChar = 18, kName = 19, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25,
    kOid = 26, kFloat4 = 700, kFloat8 = 701, kBpchar = 1042, kVarchar = 1043, kDate = 1082, kTime = 1083,
    kTimestamp = 1114, kTimestamptz = 1184, kNumeric = 1700
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

// "yyyy-mm-dd", "hh:mm:ss[.ffffff]" or both, as PostgreSQL's ISO output
// writes them; a time zone suffix is ignored.
bool ParseIso(const char* text, bool date, bool time, TDateTime& out) {
    TKVDateParts p;
    const char* s = text;
    if (date) {
        if (std::sscanf(s, "%d-%d-%d", &p.Year, &p.Month, &p.Day) != 3) return false;
        s = std::strchr(s, ' ');
        if (time && !s) return false;
        if (s) ++s;
    } else {
        p.Year = 1899, p.Month = 12, p.Day = 30;
    }
    if (time && s) {
        double seconds = 0;
        if (std::sscanf(s, "%d:%d:%lf", &p.Hour, &p.Minute, &seconds) != 3) return false;
        p.Second = static_cast<int>(seconds);
        p.MilliSecond = static_cast<int>((seconds - p.Second) * 1000.0 + 0.5);
        if (p.MilliSecond >= 1000) p.MilliSecond = 999;
    }
    out = EncodeKVDateTime(p);
    return true;
}

}  // namespace

ColumnInfo DescribeColumn(const PGresult* result, int column) {
    ColumnInfo info;
    info.name = PQfname(result, column);
    const int mod = PQfmod(result, column);
    switch (PQftype(result, column)) {
        case kBool: info.type = TKVFieldType::Boolean; break;
        case kBytea: info.type = TKVFieldType::Blob; break;
        case kInt2: info.type = TKVFieldType::SmallInt; break;
        case kInt4:
        case kOid: info.type = TKVFieldType::Integer; break;
        case kInt8: info.type = TKVFieldType::LargeInt; break;
        case kFloat4:
        case kFloat8: info.type = TKVFieldType::Float; break;
        case kNumeric:
            info.type = TKVFieldType::BCD;
            if (mod >= 4) {
                info.precision = ((mod - 4) >> 16) & 0xffff;
                info.scale = (mod - 4) & 0xffff;
            }
            break;
        case kDate: info.type = TKVFieldType::Date; break;
        case kTime: info.type = TKVFieldType::Time; break;
        case kTimestamp:
        case kTimestamptz: info.type = TKVFieldType::TimeStamp; break;
        case kText: info.type = TKVFieldType::WideMemo; break;
        case kBpchar:
        case kVarchar:
            info.type = TKVFieldType::WideString;
            if (mod >= 4) info.size = mod - 4;
            break;
        case kChar:
        case kName:
        default: info.type = TKVFieldType::WideString; break;
    }
    return info;
}

TKVValue ReadValue(const PGresult* result, int row, int column, TKVFieldType sourceType, Oid type) {
    if (PQgetisnull(result, row, column)) return {};
    const char* text = PQgetvalue(result, row, column);
    switch (sourceType) {
        case TKVFieldType::Boolean: return static_cast<int64_t>(text[0] == 't' ? 1 : 0);
        case TKVFieldType::SmallInt:
        case TKVFieldType::Integer:
        case TKVFieldType::LargeInt: return static_cast<int64_t>(std::strtoll(text, nullptr, 10));
        case TKVFieldType::Float:
        case TKVFieldType::BCD: return std::strtod(text, nullptr);
        case TKVFieldType::Date:
        case TKVFieldType::Time:
        case TKVFieldType::TimeStamp: {
            TDateTime value = 0;
            const bool date = sourceType != TKVFieldType::Time;
            const bool time = sourceType != TKVFieldType::Date;
            if (ParseIso(text, date, time, value)) return value;
            return std::string(text);  // infinity and the like stay as text
        }
        case TKVFieldType::Blob: {
            std::string bytes;
            const size_t n = std::strlen(text);
            if (n >= 2 && text[0] == '\\' && text[1] == 'x') {
                bytes.reserve((n - 2) / 2);
                for (size_t i = 2; i + 1 < n; i += 2)
                    bytes += static_cast<char>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1]));
                return bytes;
            }
            return std::string(text, n);
        }
        default: {
            std::string s(text, static_cast<size_t>(PQgetlength(result, row, column)));
            // Fixed-length text comes without its trailing blanks.
            if (type == kBpchar)
                while (!s.empty() && s.back() == ' ') s.pop_back();
            return s;
        }
    }
}

}  // namespace kvdriver::pg
