#include "SqlTypes.h"

namespace kvdriver::firebird {

std::string SqlTypeName(int sqltype) {
    switch (sqltype & ~1) {
        case SQL_TEXT: return "CHAR";
        case SQL_VARYING: return "VARCHAR";
        case SQL_SHORT: return "SMALLINT";
        case SQL_LONG: return "INTEGER";
        case SQL_INT64: return "BIGINT";
        case SQL_FLOAT: return "FLOAT";
        case SQL_DOUBLE: return "DOUBLE PRECISION";
        case SQL_D_FLOAT: return "D_FLOAT";
        case SQL_TIMESTAMP: return "TIMESTAMP";
        case SQL_TYPE_DATE: return "DATE";
        case SQL_TYPE_TIME: return "TIME";
        case SQL_BLOB: return "BLOB";
        case SQL_ARRAY: return "ARRAY";
        case SQL_QUAD: return "QUAD";
        case SQL_BOOLEAN: return "BOOLEAN";
        case SQL_NULL: return "NULL";
        case SQL_INT128: return "INT128";
        case SQL_DEC16: return "DECFLOAT(16)";
        case SQL_DEC34: return "DECFLOAT(34)";
        case SQL_TIMESTAMP_TZ: return "TIMESTAMP WITH TIME ZONE";
        case SQL_TIME_TZ: return "TIME WITH TIME ZONE";
        case SQL_TIMESTAMP_TZ_EX: return "EXTENDED TIMESTAMP WITH TIME ZONE";
        case SQL_TIME_TZ_EX: return "EXTENDED TIME WITH TIME ZONE";
        default: return "desconhecido";
    }
}

}  // namespace kvdriver::firebird
