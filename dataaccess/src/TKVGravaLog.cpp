// The SQL trace writer: one line per entry, file opened and closed each time.
#include "dataaccess/TKVGravaLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "dataaccess/KVDateTime.h"
#include "dataaccess/KVErrors.h"
#include "dataaccess/KVPlatform.h"
#include "textutil/Blanks.h"

namespace {

// CR LF pairs become one blank, "|" becomes "ß", then blanks and control
// characters are trimmed from both ends.
std::string TraceText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += ' ';
            ++i;
        } else if (text[i] == '|') {
            out += "\xC3\x9F";
        } else {
            out += text[i];
        }
    }
    return textutil::TrimBlanks(out);
}

std::string TraceFolder() {
    const std::string app = ApplicationFolder();
    const std::string logs = app + "Logs/";
    std::error_code ec;
    if (std::filesystem::is_directory(logs, ec)) return logs;
    std::filesystem::create_directories(logs, ec);
    if (!ec && std::filesystem::is_directory(logs, ec)) return logs;
    return app;
}

}  // namespace

void WriteSqlTrace(const std::string& machine, const std::string& ip, const std::string& user,
                   const std::string& text) {
    const std::string window = ActiveWindowName();
    const TKVDateParts now = DecodeKVDateTime(KVNow());
    char day[16], stamp[32];
    std::snprintf(day, sizeof day, "%04d%02d%02d", now.Year, now.Month, now.Day);
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%02d %02d:%02d:%02d", now.Day, now.Month, now.Year % 100, now.Hour,
                  now.Minute, now.Second);

    const std::string name = (machine.empty() ? std::string("MaqDesconhecida") : machine) + "-" + day + ".log";
    const std::string path = TraceFolder() + name;
    const std::string line =
        "|" + ip + "|" + window + "|" + user + "|" + stamp + "|" + TraceText(text) + "|\r\n";

    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) throw EKVInOutError("Erro de E/S ao abrir o arquivo de log " + path + ": " + std::strerror(errno));
    const bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    const int err = errno;
    if (std::fclose(f) != 0 || !written)
        throw EKVInOutError("Erro de E/S ao gravar o arquivo de log " + path + ": " +
                            std::strerror(written ? errno : err));
}
