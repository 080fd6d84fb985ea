#include "Values.h"

#include <cmath>
#include <cstring>

#include "SqlTypes.h"
#include "dataaccess/KVErrors.h"

namespace kvdriver::firebird {

namespace {

constexpr int kCharsetOctets = 1;
constexpr double kTimeUnitsPerDay = 864000000.0;  // ISC_TIME counts 1/10000 s
constexpr long long kDateOffset = 15018;            // 17 Nov 1858 → 30 Dec 1899

TDateTime ToDateTime(long long iscDate, long long iscTime) {
    const double days = static_cast<double>(iscDate - kDateOffset);
    const double frac = static_cast<double>(iscTime) / kTimeUnitsPerDay;
    return days < 0 ? days - frac : days + frac;
}

double Scaled(long long v, int scale) {
    return static_cast<double>(v) / std::pow(10.0, -scale);
}

std::string ReadBlob(isc_db_handle* db, isc_tr_handle* tr, ISC_QUAD* id) {
    ISC_STATUS_ARRAY status;
    isc_blob_handle blob = 0;
    if (isc_open_blob2(status, db, tr, &blob, id, 0, nullptr))
        throw EKVDatabaseError(StatusMessage(status), std::to_string(status[1]));
    std::string out;
    char segment[32768];
    for (;;) {
        unsigned short got = 0;
        const ISC_STATUS rc = isc_get_segment(status, &blob, &got, sizeof segment, segment);
        if (rc != 0 && rc != isc_segment) break;
        out.append(segment, got);
    }
    const ISC_STATUS code = status[1];
    ISC_STATUS_ARRAY closeStatus;
    isc_close_blob(closeStatus, &blob);
    if (code != 0 && code != isc_segstr_eof && code != isc_segment)
        throw EKVDatabaseError(StatusMessage(status), std::to_string(code));
    return out;
}

// A column of a type this driver has no reading for fails the statement:
// taking its values for NULL would let a sum or a cost pass as missing.
[[noreturn]] void RaiseUnreadable(const XSQLVAR& v) {
    const int type = v.sqltype & ~1;
    throw EKVDatabaseError("A coluna " + std::string(v.aliasname, static_cast<size_t>(v.aliasname_length)) +
                           " tem o tipo " + SqlTypeName(type) + " (código " + std::to_string(type) +
                           "), que o acesso ao Firebird não lê. Use CAST na consulta para um tipo suportado.");
}

}  // namespace

std::string StatusMessage(const ISC_STATUS* status) {
    std::string message;
    char buf[1024];
    const ISC_STATUS* p = status;
    while (fb_interpret(buf, sizeof buf, &p)) {
        if (!message.empty()) message += "; ";
        message += buf;
    }
    return message.empty() ? "erro desconhecido do Firebird" : message;
}

OutputRow::OutputRow(XSQLDA* sqlda) : FSqlda(sqlda), FNulls(static_cast<size_t>(sqlda->sqld)) {
    for (int i = 0; i < sqlda->sqld; ++i) {
        XSQLVAR& v = sqlda->sqlvar[i];
        size_t size = static_cast<size_t>(v.sqllen);
        if ((v.sqltype & ~1) == SQL_VARYING) size += sizeof(short);
        FBuffers.push_back(std::make_unique<char[]>(size + 8));
        v.sqldata = FBuffers.back().get();
        v.sqlind = &FNulls[static_cast<size_t>(i)];
        v.sqltype |= 1;  // every column may be NULL
    }
}

std::vector<ColumnInfo> OutputRow::Describe() const {
    std::vector<ColumnInfo> out;
    for (int i = 0; i < FSqlda->sqld; ++i) {
        const XSQLVAR& v = FSqlda->sqlvar[i];
        ColumnInfo c;
        c.name.assign(v.aliasname, static_cast<size_t>(v.aliasname_length));
        c.size = v.sqllen;
        c.scale = -v.sqlscale;
        const int type = v.sqltype & ~1;
        const bool scaled = v.sqlscale < 0;
        switch (type) {
            case SQL_SHORT: c.type = scaled ? TKVFieldType::BCD : TKVFieldType::SmallInt; c.precision = 4; break;
            case SQL_LONG: c.type = scaled ? TKVFieldType::BCD : TKVFieldType::Integer; c.precision = 9; break;
            case SQL_INT64: c.type = scaled ? TKVFieldType::BCD : TKVFieldType::LargeInt; c.precision = 18; break;
            case SQL_FLOAT:
            case SQL_DOUBLE:
            case SQL_D_FLOAT: c.type = TKVFieldType::Float; break;
            case SQL_TIMESTAMP: c.type = TKVFieldType::TimeStamp; break;
            case SQL_TYPE_DATE: c.type = TKVFieldType::Date; break;
            case SQL_TYPE_TIME: c.type = TKVFieldType::Time; break;
            case SQL_BLOB: c.type = v.sqlsubtype == 1 ? TKVFieldType::Memo : TKVFieldType::Blob; break;
            case SQL_BOOLEAN: c.type = TKVFieldType::Boolean; break;
            case SQL_TEXT:
            case SQL_VARYING: c.type = TKVFieldType::String; break;
            case SQL_NULL: c.type = TKVFieldType::Unknown; break;  // holds nothing but NULL
            default: RaiseUnreadable(v);
        }
        if (!scaled) c.scale = 0;
        out.push_back(std::move(c));
    }
    return out;
}

std::vector<TKVValue> OutputRow::Read(isc_db_handle* db, isc_tr_handle* tr) const {
    std::vector<TKVValue> row;
    row.reserve(static_cast<size_t>(FSqlda->sqld));
    for (int i = 0; i < FSqlda->sqld; ++i) {
        const XSQLVAR& v = FSqlda->sqlvar[i];
        if (*v.sqlind < 0) {
            row.emplace_back();
            continue;
        }
        const char* data = v.sqldata;
        const int type = v.sqltype & ~1;
        switch (type) {
            case SQL_SHORT: {
                short x;
                std::memcpy(&x, data, sizeof x);
                if (v.sqlscale < 0) row.emplace_back(Scaled(x, v.sqlscale));
                else row.emplace_back(static_cast<int64_t>(x));
                break;
            }
            case SQL_LONG: {
                ISC_LONG x;
                std::memcpy(&x, data, sizeof x);
                if (v.sqlscale < 0) row.emplace_back(Scaled(x, v.sqlscale));
                else row.emplace_back(static_cast<int64_t>(x));
                break;
            }
            case SQL_INT64: {
                ISC_INT64 x;
                std::memcpy(&x, data, sizeof x);
                if (v.sqlscale < 0) row.emplace_back(Scaled(x, v.sqlscale));
                else row.emplace_back(static_cast<int64_t>(x));
                break;
            }
            case SQL_FLOAT: {
                float x;
                std::memcpy(&x, data, sizeof x);
                row.emplace_back(static_cast<double>(x));
                break;
            }
            case SQL_DOUBLE:
            case SQL_D_FLOAT: {
                double x;
                std::memcpy(&x, data, sizeof x);
                row.emplace_back(x);
                break;
            }
            case SQL_TIMESTAMP: {
                ISC_TIMESTAMP x;
                std::memcpy(&x, data, sizeof x);
                row.emplace_back(ToDateTime(x.timestamp_date, x.timestamp_time));
                break;
            }
            case SQL_TYPE_DATE: {
                ISC_DATE x;
                std::memcpy(&x, data, sizeof x);
                row.emplace_back(ToDateTime(x, 0));
                break;
            }
            case SQL_TYPE_TIME: {
                ISC_TIME x;
                std::memcpy(&x, data, sizeof x);
                row.emplace_back(static_cast<double>(x) / kTimeUnitsPerDay);
                break;
            }
            case SQL_BOOLEAN: row.emplace_back(static_cast<int64_t>(*reinterpret_cast<const unsigned char*>(data) ? 1 : 0)); break;
            case SQL_TEXT: {
                std::string s(data, static_cast<size_t>(v.sqllen));
                // Fixed-length text comes without its trailing blanks.
                if ((v.sqlsubtype & 0xff) != kCharsetOctets)
                    while (!s.empty() && s.back() == ' ') s.pop_back();
                row.emplace_back(std::move(s));
                break;
            }
            case SQL_VARYING: {
                short len;
                std::memcpy(&len, data, sizeof len);
                row.emplace_back(std::string(data + sizeof(short), static_cast<size_t>(len)));
                break;
            }
            case SQL_BLOB: {
                ISC_QUAD id;
                std::memcpy(&id, data, sizeof id);
                row.emplace_back(ReadBlob(db, tr, &id));
                break;
            }
            case SQL_NULL: row.emplace_back(); break;
            default: RaiseUnreadable(v);
        }
    }
    return row;
}

}  // namespace kvdriver::firebird
