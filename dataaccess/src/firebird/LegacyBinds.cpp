#include "LegacyBinds.h"

#include <cctype>

namespace kvdriver::firebird {

int ServerMajorVersion(const std::string& versionText) {
    // The first "<digits>.<digit>" of the text: "LI-V4.0.2.2816 ..." or "4.0.2".
    const size_t n = versionText.size();
    for (size_t i = 0; i < n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(versionText[i]))) continue;
        if (i > 0 && std::isdigit(static_cast<unsigned char>(versionText[i - 1]))) continue;
        size_t end = i;
        while (end < n && std::isdigit(static_cast<unsigned char>(versionText[end]))) ++end;
        if (end + 1 < n && versionText[end] == '.' && std::isdigit(static_cast<unsigned char>(versionText[end + 1])) &&
            end - i <= 4)
            return std::stoi(versionText.substr(i, end - i));
        i = end;
    }
    return 0;
}

std::vector<std::string> LegacyBindStatements(const std::string& versionText) {
    if (ServerMajorVersion(versionText) < 4) return {};
    return {
        // Also NUMERIC and DECIMAL of 19 digits and more, which rest on INT128.
        "SET BIND OF INT128 TO DOUBLE PRECISION",
        "SET BIND OF DECFLOAT TO LEGACY",
        "SET BIND OF TIME ZONE TO LEGACY",
    };
}

bool ServerVersionText(isc_db_handle* db, ISC_STATUS* status, std::string* text) {
    static const char items[] = {isc_info_firebird_version, isc_info_end};
    char buf[1024] = {};
    text->clear();
    if (isc_database_info(status, db, sizeof items, items, sizeof buf, buf)) return false;
    // isc_info_firebird_version, a 2-byte length, the count of lines, then
    // each line as a length byte and its text; the first is the engine's.
    if (buf[0] != isc_info_firebird_version) return true;
    const long length = isc_vax_integer(buf + 1, 2);
    if (length < 2 || length > static_cast<long>(sizeof buf) - 3) return true;
    const auto lineLength = static_cast<unsigned char>(buf[4]);
    if (lineLength + 2 > length) return true;
    text->assign(buf + 5, lineLength);
    return true;
}

bool ApplyLegacyBinds(isc_db_handle* db, ISC_STATUS* status, std::vector<std::string>* sent) {
    std::string version;
    if (!ServerVersionText(db, status, &version)) return false;
    const std::vector<std::string> statements = LegacyBindStatements(version);
    if (statements.empty()) return true;

    isc_tr_handle tr = 0;
    if (isc_start_transaction(status, &tr, 1, db, 0, nullptr)) return false;
    for (const std::string& sql : statements) {
        if (isc_dsql_execute_immediate(status, db, &tr, 0, sql.c_str(), 3, nullptr)) {
            ISC_STATUS_ARRAY ignored;
            isc_rollback_transaction(ignored, &tr);
            return false;
        }
        if (sent) sent->push_back(sql);
    }
    return isc_commit_transaction(status, &tr) == 0;
}

}  // namespace kvdriver::firebird
