#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

// The name a create builds its file under. It becomes contest.db only once the contest row is committed, so that
// contest.db only ever appears whole; a create cut short leaves at most this file, which the next create of the
// name takes over.
inline constexpr const char* building_name = ".contest.db-new";

// A folder of its own (not a link) that is empty or holds only what a create cut short was building; anything else
// keeps the name taken.
bool free_for_a_create(const std::filesystem::path& folder);

// Builds the contest `name` in the folder under the building name and renames it to `file` once whole, never over a
// file that appeared meanwhile; `built` gets the file's inode. Answers the failure, or the empty text; a failed
// build leaves no file behind.
std::string build_contest_file(const std::filesystem::path& folder, const std::filesystem::path& file,
                               std::string_view name, ino_t& built);
