#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// First message number free for a program's own use, as on the desktop platforms we mirror.
inline constexpr unsigned WM_USER = 0x0400;

struct FileFilter {
    std::u16string display_text;
    std::u16string pattern;  // "*.db", an exact file name, or "*.*" for every file
};

struct OpenFileDialog {
    std::u16string default_folder;  // where to start when no folder is remembered; empty: the dialog's choice
    std::vector<FileFilter> filters;
    std::size_t selected_filter = 0;  // index into filters
    std::u16string file_name;         // preselected in the dialog when that file exists
};

// The main window as the worker thread sees it. The user-interface thread owns the real window; every
// method here may be called from any thread and reaches the window only by posting work to it.
class Window {
public:
    virtual ~Window() = default;

    // Hands a message to the user-interface thread. On success the receiver owns whatever lparam points
    // at; false once the window is gone, and then the caller still owns it.
    virtual bool post_message(unsigned message, std::uintptr_t wparam, std::intptr_t lparam) = 0;

    virtual bool set_title(const std::u16string& title) = 0;

    // The user's desktop folder, or the empty text when there is none.
    virtual std::u16string desktop_folder() = 0;

    // Shows a modal file-open dialog owned by this window and blocks the calling thread until it closes.
    // Answers the chosen file's path, or the empty text when nothing was chosen.
    virtual std::u16string show_open_file_dialog(const OpenFileDialog& dialog) = 0;
};

}  // namespace platform

// The main window: set once before the worker starts, never cleared.
extern platform::Window* g_hwnd;
