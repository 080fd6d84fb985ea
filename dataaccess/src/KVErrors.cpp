// Classification of database errors by the servers' codes.
#include "dataaccess/KVErrors.h"

#include <array>
#include <string_view>

#include "dataaccess/KVDriver.h"

namespace {

// Codes of errors that pass: PostgreSQL SQLSTATEs and Firebird GDS codes
// (the first code of the status vector) never collide.
constexpr std::array<std::string_view, 9> kTransientCodes = {
    kvdriver::TimeoutCode,  // our own time limit ran out
    "40P01",                // PostgreSQL deadlock_detected
    "40001",                // PostgreSQL serialization_failure
    "55P03",                // PostgreSQL lock_not_available
    "57014",                // PostgreSQL query_canceled (a server-side time-out)
    "335544336",            // Firebird isc_deadlock (also update conflicts)
    "335544345",            // Firebird isc_lock_conflict
    "335544451",            // Firebird isc_update_conflict
    "335544510",            // Firebird isc_lock_timeout
};

}  // namespace

bool EKVDatabaseError::Transient() const {
    if (FConnectionLost) return false;
    for (std::string_view code : kTransientCodes)
        if (FServerCode == code) return true;
    return false;
}

bool IsConnectionLost(const std::exception& e) {
    const auto* db = dynamic_cast<const EKVDatabaseError*>(&e);
    return db && db->ConnectionLost();
}

bool IsTransient(const std::exception& e) {
    const auto* db = dynamic_cast<const EKVDatabaseError*>(&e);
    return db && db->Transient();
}
