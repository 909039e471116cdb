#pragma once

#include <filesystem>
#include <string>

// Held by a window from its first look at a contest until it holds the file's lock, and by a create from before it
// builds its file until it holds that file's lock. A connection in exclusive locking mode keeps the shared lock of a
// failed try, so two windows that tried at once would each wait for the other's shared lock to go, and both be
// refused; the looks of two windows would share the shared-memory file that each removes; and a window that opened
// a contest just built would keep its create from taking it back.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // False when another window has been at it for longer than one probe takes. A folder that cannot be found is
    // not locked; the probe alone then tells another window.
    bool take() const;

private:
    int fd_ = -1;
    std::string name_;
};
