#include "shell/ActivityLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "shell/RegionalSettings.h"
#include "shell/TfmDEZORiv.h"

namespace shell {

namespace fs = std::filesystem;

std::string ActivityLogFolder(const std::string& servicePath) {
    std::string folder = servicePath;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + "Logs/Brevant/";
}

std::string ActivityLogFileName(const std::tm& day) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Brevant_%02d%02d%02d.log", day.tm_year % 100, day.tm_mon + 1,
                  day.tm_mday);
    return buf;
}

void AppendActivityLogLine(const std::string& servicePath, const std::string& line) noexcept {
    try {
        std::string folder = ActivityLogFolder(servicePath);
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec || !fs::is_directory(folder, ec)) return;
        std::string name = folder + ActivityLogFileName(LocalNow());
        // Opened, appended and closed for every line, so other processes
        // may read the file between lines.
        int fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return;
        std::string data = line + "\r\n";
        const char* p = data.data();
        size_t left = data.size();
        while (left > 0) {
            ssize_t n = ::write(fd, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            p += n;
            left -= static_cast<size_t>(n);
        }
        ::close(fd);
    } catch (...) {
        // The activity log never fails its caller.
    }
}

void ActivityLog(TfmDEZORiv& form, const std::string& message) {
    try {
        form.mmOrdemTecel.Add(DateTimeText() + " - " + message);
    } catch (...) {
        // A view that fails must not stop the job.
    }
    AppendActivityLogLine(form.sPath, DateTimeText() + " - " + message);
}

void WriteOffLine(TfmDEZORiv& form, const std::string& message) {
    form.Memo1.Add(DateTimeText() + "-" + message);
}

}  // namespace shell
