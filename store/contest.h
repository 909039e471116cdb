#pragma once

#include <string>
#include <string_view>

// Makes a folder named after the contest on the desktop, with a new contest database in it, and keeps
// that database open for the rest of the run.
std::string create_contest(std::string_view name);

// Opens a contest database that the organiser picks; answers its name, or "None" when nothing was picked.
std::string open_contest();
