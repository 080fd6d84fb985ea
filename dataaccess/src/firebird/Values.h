// Firebird output descriptors and their values as the driver layer's types.
#pragma once
#include <ibase.h>

#include <memory>
#include <vector>

#include "dataaccess/KVDriver.h"

namespace kvdriver::firebird {

// Output buffers of one prepared statement.
class OutputRow {
public:
    // Points the descriptor's variables at buffers of their own.
    explicit OutputRow(XSQLDA* sqlda);
    // Describe and Read raise an EKVDatabaseError naming the column and its
    // type for a type the driver does not read (INT128, DECFLOAT, the time
    // zone types, arrays, codes it does not know).
    std::vector<ColumnInfo> Describe() const;
    // The current row; text blobs are read through the handles given.
    std::vector<TKVValue> Read(isc_db_handle* db, isc_tr_handle* tr) const;

private:
    XSQLDA* FSqlda;
    std::vector<std::unique_ptr<char[]>> FBuffers;
    std::vector<short> FNulls;
};

// Message text of a status vector (parts joined by "; ").
std::string StatusMessage(const ISC_STATUS* status);

}  // namespace kvdriver::firebird
