#pragma once

#include <string>

// Gives the teams the seeds 1 to n in a uniformly random order, all or nothing. Answers the empty text,
// "no change" when the drawn order is the old one, or "ERROR:This randomization could not be saved.".
std::string randomize_seeds();
