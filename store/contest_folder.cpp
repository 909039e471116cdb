#include "store/contest_folder.h"

#include "platform/window.h"

std::u16string get_desktop_path() { return g_hwnd ? g_hwnd->desktop_folder() : std::u16string(); }

std::u16string show_open_contest_dialog() {
    if (!g_hwnd) return {};
    platform::OpenFileDialog dialog;
    dialog.default_folder = get_desktop_path();
    dialog.filters = {
        {u"Contest Database", u"contest.db"},
        {u"Database Files", u"*.db"},
        {u"All Files", u"*.*"},
    };
    dialog.selected_filter = 0;
    dialog.file_name = u"contest.db";
    return g_hwnd->show_open_file_dialog(dialog);
}
