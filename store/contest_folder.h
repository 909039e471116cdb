#pragma once

#include <string>

// The user's desktop folder, or the empty text when the platform has none.
std::u16string get_desktop_path();

// Lets the organiser pick a contest database; the empty text when nothing was chosen. Blocks the calling
// (worker) thread while the dialog, owned by the main window, is open.
std::u16string show_open_contest_dialog();
