// PostgreSQL driver (libpq).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/KVDriver.h"

namespace kvdriver::pg {

// Lines used: Server (host, or host/port), Port, Database, User_name,
// Password. Text travels as UTF-8.
std::unique_ptr<Session> OpenSession(const std::vector<std::string>& params);

}  // namespace kvdriver::pg
