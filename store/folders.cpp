#include "store/folders.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace fs = std::filesystem;

bool stays_below_desktop(std::string_view name) {
    bool any_part = false;
    for (std::size_t begin = 0; begin <= name.size();) {
        const std::size_t end = std::min(name.find('/', begin), name.size());
        const std::string_view part = name.substr(begin, end - begin);
        if (part == "." || part == "..") return false;
        any_part = any_part || !part.empty();
        begin = end + 1;
    }
    return any_part;
}

std::error_code make_folders(const fs::path& folder, std::vector<fs::path>& made) {
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path up = folder; !up.empty() && !fs::exists(fs::symlink_status(up, error)); up = up.parent_path())
        missing.push_back(up);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (fs::create_directory(*it, error))
            made.push_back(*it);
        else if (error)
            return error;
    }
    return {};
}

void take_back(const std::vector<fs::path>& made) {
    std::error_code ignored;
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) fs::remove(*folder, ignored);
}

void sync_folder(const fs::path& folder) {
    if (const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        fsync(fd);
        close(fd);
    }
}
