// Firebird 4 and later answer with types of their own where Firebird 3 gave
// BIGINT, NUMERIC(18,x), DOUBLE PRECISION and TIMESTAMP: a SUM of a BIGINT or
// NUMERIC(18,x) column comes back as INT128 (NUMERIC(38,x)), DECFLOAT columns
// as such, CURRENT_TIMESTAMP with a time zone. Right after attaching, the
// session asks such a server for the legacy forms of these types for the rest
// of the attachment, so every result column stays of a type the driver reads.
#pragma once
#include <ibase.h>

#include <string>
#include <vector>

namespace kvdriver::firebird {

// Major version in a server version text ("LI-V4.0.2.2816 Firebird 4.0" and
// "4.0.2" give 4); 0 when the text holds none.
int ServerMajorVersion(const std::string& versionText);

// The statements a server of that version needs: none before Firebird 4 or
// for a text without a version.
std::vector<std::string> LegacyBindStatements(const std::string& versionText);

// The attached server's own version text (the engine's line of
// isc_info_firebird_version, "LI-V3.0.11.33637 Firebird 3.0"). False, with
// the server's status, when the server does not answer.
bool ServerVersionText(isc_db_handle* db, ISC_STATUS* status, std::string* text);

// Asks the attached server for the legacy forms when it needs them; the
// statements go in a short transaction of their own, committed. `sent`, when
// given, receives the statements sent. False, with the server's status,
// when the version could not be read or a statement failed.
bool ApplyLegacyBinds(isc_db_handle* db, ISC_STATUS* status, std::vector<std::string>* sent = nullptr);

}  // namespace kvdriver::firebird
