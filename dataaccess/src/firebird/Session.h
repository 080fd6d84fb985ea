// Firebird driver (fbclient, classic ISC API).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/KVDriver.h"

namespace kvdriver::firebird {

// Lines used: Server (host, or host/port) with Port and Database for a remote
// server (host/port:path); Database alone opens the file embedded, in this
// process. User_name and Password log in. A missing file is an error: a
// connection never creates a database. Text travels as UTF-8.
std::unique_ptr<Session> OpenSession(const std::vector<std::string>& params);

// The attach string for the lines: "host/port:path" or the plain path.
std::string AttachPath(const std::vector<std::string>& params);

}  // namespace kvdriver::firebird
