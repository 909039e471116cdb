#include "store/folder_lock.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <thread>

// The lock is a name of the abstract socket namespace, which only a program of ours asks for, so that another
// program's lock on the folder is no window of ours; the name goes with the window that held it, however it ends.
FolderLock::FolderLock(const std::filesystem::path& folder) {
    struct stat found {};
    if (stat(folder.c_str(), &found) != 0) return;
    name_ = "pellucan-folder-" + std::to_string(found.st_dev) + "-" + std::to_string(found.st_ino);
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) close(fd_);
}

bool FolderLock::take() const {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    name_.copy(address.sun_path + 1, sizeof address.sun_path - 1);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name_.size());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (fd_ >= 0 && bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) != 0 && errno == EADDRINUSE) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
