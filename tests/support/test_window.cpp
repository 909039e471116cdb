#include "tests/support/test_window.h"

#include "shell/request_worker.h"
#include "text/text.h"

TestWindow::TestWindow() { g_hwnd = this; }

TestWindow::~TestWindow() { g_hwnd = nullptr; }

bool TestWindow::post_message(unsigned message, std::uintptr_t, std::intptr_t lparam) {
    std::lock_guard lock(mutex_);
    if (destroyed) return false;
    if (message == WM_POST_REPLY && lparam != 0) {
        auto* reply = reinterpret_cast<std::string*>(lparam);
        replies_.push_back(*reply);
        delete reply;
    }
    return true;
}

bool TestWindow::set_title(const std::u16string& title) {
    std::lock_guard lock(mutex_);
    titles_.push_back(to_utf8(title));
    return true;
}

std::u16string TestWindow::show_open_file_dialog(const platform::OpenFileDialog& dialog) {
    last_dialog = dialog;
    return dialog_answer;
}

std::vector<std::string> TestWindow::replies() {
    std::lock_guard lock(mutex_);
    return replies_;
}

std::vector<std::string> TestWindow::titles() {
    std::lock_guard lock(mutex_);
    return titles_;
}
