// The driver registry: picks the session class from the driver name.
#include "dataaccess/KVDriver.h"

#include <cctype>

#include "dataaccess/KVErrors.h"
#include "firebird/Session.h"
#include "pg/Session.h"

namespace kvdriver {

namespace {

bool NameIs(const std::string& line, const std::string& name) {
    if (line.size() <= name.size() || line[name.size()] != '=') return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

}  // namespace

std::string ParamValue(const std::vector<std::string>& params, const std::string& name) {
    for (const auto& line : params)
        if (NameIs(line, name)) return line.substr(name.size() + 1);
    return {};
}

bool HasParam(const std::vector<std::string>& params, const std::string& name) {
    for (const auto& line : params)
        if (NameIs(line, name)) return true;
    return false;
}

std::unique_ptr<Session> OpenSession(const std::string& driverName, const std::vector<std::string>& params) {
    if (driverName == "PG") return pg::OpenSession(params);
    if (driverName == "FB") return firebird::OpenSession(params);
    if (driverName == "Ora") throw EKVDatabaseError("Driver Oracle não disponível nesta instalação.");
    throw EKVDatabaseError("Driver \"" + driverName + "\" não disponível nesta instalação.");
}

}  // namespace kvdriver
