// One service process per service folder: an advisory lock (flock) on the
// file DEZORiv.lock in the folder, held for the life of the process. The
// system releases it when the process ends, however it ends (SIGKILL too),
// so a lock is never left behind; the file itself stays.
#pragma once
#include <string>

namespace shell {

class TFolderLock {
public:
    // Name of the lock file in the service folder.
    static constexpr const char* FileName = "DEZORiv.lock";

    // Tries to take the lock of the folder (with or without a trailing '/')
    // without waiting. Taken: the file holds this process's id.
    explicit TFolderLock(const std::string& folder);
    ~TFolderLock();
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    bool Held() const { return FFd >= 0; }
    // Not held: why, in one sentence for the operator (another process has
    // the folder, naming its id when the file tells it; or the lock file
    // could not be opened or locked, with the system's reason).
    const std::string& Refusal() const { return FRefusal; }

private:
    int FFd = -1;
    std::string FRefusal;
};

}  // namespace shell
