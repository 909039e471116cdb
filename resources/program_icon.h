#pragma once

#include <string_view>
#include <vector>

// The program's icon as PNG images of 16, 32, 48 and 256 pixels.
std::vector<std::string_view> program_icon_images();
