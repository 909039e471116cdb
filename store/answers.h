#pragma once

#include <cerrno>

// What create_contest and open_contest answer when they fail.
namespace answer {

inline constexpr const char* name_taken = "ERROR:A contest with this name is already on your desktop.";
inline constexpr const char* name_refused = "ERROR:The contest folder could not be created with this name.";
inline constexpr const char* not_opened = "ERROR:Critical failure, the database could not be opened.";
inline constexpr const char* not_initialized = "ERROR:Critical failure, the database could not be initialized.";
inline constexpr const char* name_not_saved = "ERROR:The contest name could not be saved.";
inline constexpr const char* held_elsewhere = "ERROR:This contest is already open in another window.";
inline constexpr const char* not_a_contest = "ERROR:This file is not a contest database.";
inline constexpr const char* damaged = "ERROR:This contest file is damaged and cannot be used.";
inline constexpr const char* read_only =
    "ERROR:This contest cannot be changed: you may not write to its file or folder.";
inline constexpr const char* log_in_the_way =
    "ERROR:This contest cannot be opened: its log beside it is not a plain file of its own.";
inline constexpr const char* path_too_long = "ERROR:This contest cannot be opened: the path to its file is too long.";
inline constexpr const char* full_to_create = "ERROR:The contest could not be created: the disk is full.";
inline constexpr const char* full_to_open = "ERROR:This contest cannot be opened: the disk that holds it is full.";

// No room on the disk, of bytes or of files: the user can make some.
inline bool is_full(int error) { return error == ENOSPC || error == EDQUOT; }

}  // namespace answer
