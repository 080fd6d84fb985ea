// The SQL trace: a daily file per machine in "Logs/" below the service folder.
#pragma once
#include <string>

// Trace holder of a connection: the identity written into traced statements.
struct TKVGravaLog {
    std::string NmMaquina;  // machine name
    std::string NrIP;       // machine IP address
};

// Appends one trace line "|ip|window|user|dd/mm/yy hh:mm:ss|statement|" to
// "<machine>-yyyymmdd.log" (or "MaqDesconhecida-yyyymmdd.log"). Throws
// EKVInOutError when the file cannot be written.
void WriteSqlTrace(const std::string& machine, const std::string& ip,
                   const std::string& user, const std::string& text);
