#include "store/folders.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>

#include "platform/text_conversion.h"
#include "store/contest.h"
#include "store/database.h"
#include "tests/support/contest_files.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {

std::atomic<bool> synced_with_contest{false};

}  // namespace

// Notes when a folder that holds a contest file is synced.
extern "C" int fsync(int fd) {
    static const auto real_fsync = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    if (faccessat(fd, "contest.db", F_OK, AT_SYMLINK_NOFOLLOW) == 0) synced_with_contest = true;
    return real_fsync(fd);
}

TEST_F(Contest, AFailedCreateTakesBackItsFoldersAndAnEmptyFolderLeavesItsNameFree) {
    // Refused for its last part, too long for the file system, after the folder of its first part was made.
    EXPECT_EQ(create_contest("keep/" + std::string(300, 'y')),
              "ERROR:The contest folder could not be created with this name.");
    EXPECT_TRUE(fs::is_empty(desktop.path()));
    EXPECT_EQ(create_contest("keep"), "");
    close_database();
    // An empty folder, as a create stopped before making its file leaves it, is completed.
    fs::create_directory(desktop.path() / "Stopped");
    EXPECT_EQ(create_contest("Stopped"), "");
    EXPECT_EQ(query("SELECT name FROM contest;"), "Stopped");
}

TEST_F(Contest, CreateRefusesANameTheFileSystemCannotTakeAndOpensNothing) {
    EXPECT_EQ(create_contest(std::string(300, 'x')), "ERROR:The contest folder could not be created with this name.");
    EXPECT_EQ(create_contest(std::string("a\0b", 3)), "ERROR:The contest folder could not be created with this name.");
    // Each folder's name fits, but not the whole path, and nothing is left of it.
    const std::string part(200, 'p');
    EXPECT_EQ(create_contest(part + "/" + part + "/" + part),
              "ERROR:The contest folder could not be created with this name.");
    EXPECT_TRUE(fs::is_empty(desktop.path()));
    EXPECT_EQ(g_db, nullptr);
    EXPECT_TRUE(window.titles().empty());
}

TEST_F(Contest, CreateKeepsNamesBelowTheDesktopAndFollowsTheUsersLinksToIt) {
    // The desktop sits two folders down, in a home that is a link, so that whatever a name makes beside or above it
    // shows.
    fs::create_directories(desktop.path() / "real" / "Desktop");
    fs::create_directory_symlink(desktop.path() / "real", desktop.path() / "home");
    const fs::path inner = desktop.path() / "home" / "Desktop";
    window.desktop = to_utf16(inner.string());
    for (const char* name : {"../Escaped", "../../x", "a/../../x", "x/..", ".", "..", "a/./b", "/", "Region/../.."})
        EXPECT_EQ(create_contest(name), "ERROR:The contest folder could not be created with this name.") << name;
    EXPECT_EQ(g_db, nullptr);
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(desktop.path()), {}), 3);  // home, its link, the desktop
    // The empty name is still the desktop itself, which is taken; nested names keep working, also through a linked
    // folder, and a new contest's name is synced to the disk before the create answers.
    EXPECT_EQ(create_contest(""), "ERROR:A contest with this name is already on your desktop.");
    EXPECT_EQ(create_contest("Region/Heat 1"), "");
    EXPECT_TRUE(fs::is_regular_file(inner / "Region" / "Heat 1" / "contest.db"));
    close_database();
    fs::create_directory_symlink(desktop.path(), inner / "Shared");
    synced_with_contest = false;
    EXPECT_EQ(create_contest("Shared/Heat 2"), "");
    EXPECT_TRUE(fs::is_regular_file(desktop.path() / "Heat 2" / "contest.db"));
    EXPECT_TRUE(synced_with_contest);
}

TEST_F(Contest, CreateAndOpenKeepTheBytesOfADesktopPathThatIsNotUtf8) {
    // A desktop inside a folder named in Latin-1: a create builds nothing beside it, and its contest opens.
    const fs::path inner = desktop.path() / "Caf\xe9" / "Desktop";
    fs::create_directories(inner);
    window.desktop = platform::path_to_utf16(inner.string());
    EXPECT_EQ(create_contest("Cup"), "");
    close_database();
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(desktop.path()), {}), 4);
    choose(inner / "Cup" / "contest.db");
    EXPECT_EQ(open_contest(), "Cup");
}
