// PostgreSQL column types and text values as the driver layer's types.
#pragma once
#include <libpq-fe.h>

#include "dataaccess/KVDriver.h"

namespace kvdriver::pg {

ColumnInfo DescribeColumn(const PGresult* result, int column);
TKVValue ReadValue(const PGresult* result, int row, int column, TKVFieldType sourceType, Oid type);

}  // namespace kvdriver::pg
