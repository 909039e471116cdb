#pragma once

#include <string>
#include <string_view>

// Saves a played match from its saved sheet text in one transaction: both team scores, the scores of chairs 1
// to 5, the winner and the whole text; moves the loser and then the winner on to the matches whose sources name
// them and drops the rematch when the final's team 1 wins. "" on success, otherwise an "ERROR:" sentence and
// nothing written. A match is saved once only.
std::string load_match(std::string_view args);
