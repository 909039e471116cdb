#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/window.h"

// Stands in for the main window: keeps every reply and title, answers the desktop and the dialog as told,
// and installs itself as g_hwnd for its lifetime.
class TestWindow final : public platform::Window {
public:
    TestWindow();
    ~TestWindow() override;

    bool post_message(unsigned message, std::uintptr_t wparam, std::intptr_t lparam) override;
    bool set_title(const std::u16string& title) override;
    std::u16string desktop_folder() override { return desktop; }
    std::u16string show_open_file_dialog(const platform::OpenFileDialog& dialog) override;

    std::vector<std::string> replies();
    std::vector<std::string> titles();

    std::u16string desktop;
    std::u16string dialog_answer;
    platform::OpenFileDialog last_dialog;
    bool destroyed = false;  // posts fail once set

private:
    std::mutex mutex_;
    std::vector<std::string> replies_;
    std::vector<std::string> titles_;
};
