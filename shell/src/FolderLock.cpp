#include "shell/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace shell {

namespace {

// The process id a holder wrote into the file ("" when unreadable).
std::string HolderId(int fd) {
    char buf[32] = {};
    const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    std::string id;
    for (ssize_t i = 0; i < n && buf[i] >= '0' && buf[i] <= '9'; ++i) id += buf[i];
    return id;
}

}  // namespace

TFolderLock::TFolderLock(const std::string& folder) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += FileName;

    // O_CLOEXEC: a program started by the service must not inherit the lock.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        FRefusal = "N\xC3\xA3o foi poss\xC3\xADvel abrir o arquivo de trava " + path + ": " + std::strerror(errno) +
                   ". O DEZORiv n\xC3\xA3o foi iniciado.";
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            const std::string id = HolderId(fd);
            FRefusal = "Outro processo do DEZORiv" + (id.empty() ? std::string() : " (PID " + id + ")") +
                       " j\xC3\xA1 atende a pasta " + folder +
                       ". Este n\xC3\xA3o foi iniciado: apenas um processo por pasta.";
        } else {
            FRefusal = "N\xC3\xA3o foi poss\xC3\xADvel travar o arquivo " + path + ": " + std::strerror(error) +
                       ". O DEZORiv n\xC3\xA3o foi iniciado.";
        }
        ::close(fd);
        return;
    }
    const std::string id = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        // Only informs the next process's message; the lock holds without it.
        [[maybe_unused]] ssize_t written = ::pwrite(fd, id.data(), id.size(), 0);
    }
    FFd = fd;
}

TFolderLock::~TFolderLock() {
    if (FFd >= 0) ::close(FFd);  // closing the last descriptor releases the lock
}

}  // namespace shell
