#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

// Every part of the name between separators is a folder name of its own below the desktop.
bool stays_below_desktop(std::string_view name);

// Makes the folder and every missing folder above it; `made` gets those that this call made, outermost first.
// Answers the failure, if any.
std::error_code make_folders(const std::filesystem::path& folder, std::vector<std::filesystem::path>& made);

// Takes away the folders that a failed create made, innermost first; one that something has been put into
// meanwhile stays.
void take_back(const std::vector<std::filesystem::path>& made);

// So that the names in the folder survive a power cut. As the library does it, a folder that cannot be synced is no
// failure.
void sync_folder(const std::filesystem::path& folder);
