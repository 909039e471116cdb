#pragma once

#include <string>
#include <string_view>

// Saves the contestant "id, team id, name, chair" (id "none" inserts). Answers the empty text or
// "ERROR:This contestant data could not be saved.".
std::string save_contestant(std::string_view contestant);

// Every contestant as "id, team name, name, chair", the newest first.
std::string fetch_contestants();

// Every team as "team name, number of contestants", the team with the newest contestant first and teams
// without contestants last.
std::string fetch_contestant_counts();

// Deletes the contestant with that id ("none" deletes nothing); answers the empty text or
// "ERROR:This contestant could not be deleted.".
std::string delete_contestant(std::string_view id);
