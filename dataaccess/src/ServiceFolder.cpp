#include "dataaccess/ServiceFolder.h"

#include <filesystem>
#include <mutex>

namespace {

std::mutex gMutex;
std::string gAppFolder;

}  // namespace

std::string WithTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

std::string ExecutableFolder(const char* argv0) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec && argv0 && *argv0) {
        ec.clear();
        exe = fs::absolute(argv0, ec);
    }
    if (ec || exe.empty()) return WithTrailingSlash(fs::current_path(ec).string());
    return WithTrailingSlash(exe.parent_path().string());
}

std::string ApplicationFolder() {
    std::lock_guard lock(gMutex);
    if (gAppFolder.empty()) gAppFolder = ExecutableFolder();
    return gAppFolder;
}

void SetApplicationFolder(const std::string& folder) {
    std::lock_guard lock(gMutex);
    gAppFolder = WithTrailingSlash(folder);
}
