#include "resources/program_icon.h"

// Built from resources/icons/.
extern const std::string_view program_icon_16_png;
extern const std::string_view program_icon_32_png;
extern const std::string_view program_icon_48_png;
extern const std::string_view program_icon_256_png;

std::vector<std::string_view> program_icon_images() {
    return {program_icon_16_png, program_icon_32_png, program_icon_48_png, program_icon_256_png};
}
