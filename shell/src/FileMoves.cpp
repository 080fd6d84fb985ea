#include "shell/FileMoves.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include "shell/RegionalSettings.h"

namespace shell {

namespace fs = std::filesystem;

std::string ExtractFileName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return false;
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return false;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) return false;
    if (errno == EINVAL || errno == ENOSYS) {
        // File system without atomic no-replace rename: a hard link fails on
        // an existing target just the same.
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return true;
        }
        if (errno != EXDEV && errno != EPERM) return false;
    } else if (errno != EXDEV) {
        return false;
    }
    // Another file system: copy without replacing, then remove the source.
    if (!S_ISREG(st.st_mode)) return false;
    std::error_code ec;
    if (!fs::copy_file(from, to, fs::copy_options::none, ec) || ec) return false;
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

std::string MoveFileUnique(const std::string& from, const std::string& to, const std::string& suffix) {
    if (from.empty() || to.empty()) return {};
    const std::tm now = LocalNow();
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, ".%Y%m%d-%H%M%S", &now);
    // Bounded: a folder holding a thousand copies of one name in one second
    // is not something to wait on.
    for (int n = 0; n <= 1000; ++n) {
        std::string target = to;
        if (n > 0) target += stamp;
        if (n > 1) target += "-" + std::to_string(n);
        target += suffix;
        if (MoveFileNoReplace(from, target)) return target;
        struct stat st {};
        if (::lstat(from.c_str(), &st) != 0) return {};    // the source is gone
        if (::lstat(target.c_str(), &st) != 0) return {};  // failed, but not for the name
    }
    return {};
}

}  // namespace shell
