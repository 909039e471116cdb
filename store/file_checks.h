#pragma once

#include <filesystem>
#include <string>

// The library needs room for the journal's name beside the file's.
bool path_fits(const std::filesystem::path& file);

// What can be told of a chosen file before any connection opens it, so that a refused file stays as it was: the
// refusal, or the empty text.
std::string check_before_opening(const std::filesystem::path& file);
