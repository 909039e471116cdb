// The request path without a window: requests arrive on standard input, replies leave on standard output,
// both framed as the byte length in decimal, a line feed, then the UTF-8 text. Browser tests drive the page
// against this host, so it runs exactly the queue, worker, dispatcher and commands of the program.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>

#include "shell/registry.h"
#include "shell/request_worker.h"
#include "store/database.h"
#include "text/text.h"

namespace {

class HostWindow final : public platform::Window {
public:
    HostWindow(std::u16string desktop, std::u16string open_answer)
        : desktop_(std::move(desktop)), open_answer_(std::move(open_answer)) {}

    bool post_message(unsigned message, std::uintptr_t, std::intptr_t lparam) override {
        if (destroyed_) return false;
        if (message == WM_POST_REPLY && lparam != 0) {
            auto* reply = reinterpret_cast<std::string*>(lparam);
            {
                std::lock_guard lock(output_mutex_);
                std::cout << reply->size() << '\n' << *reply << std::flush;
            }
            delete reply;
        }
        return true;
    }

    bool set_title(const std::u16string& title) override {
        std::lock_guard lock(output_mutex_);
        std::cerr << "title: " << to_utf8(title) << std::endl;
        return true;
    }

    std::u16string desktop_folder() override { return desktop_; }

    std::u16string show_open_file_dialog(const platform::OpenFileDialog&) override { return open_answer_; }

    void destroy() { destroyed_ = true; }

private:
    std::u16string desktop_;
    std::u16string open_answer_;
    std::atomic<bool> destroyed_{false};
    std::mutex output_mutex_;
};

// One frame from standard input; false at the end of input or on a malformed frame.
bool read_frame(std::string& text) {
    std::string header;
    if (!std::getline(std::cin, header)) return false;
    if (header.empty() || header.find_first_not_of("0123456789") != std::string::npos || header.size() > 9) {
        std::cerr << "pellucan-host: malformed frame header, stopping" << std::endl;
        return false;
    }
    text.assign(std::stoul(header), '\0');
    return static_cast<bool>(std::cin.read(text.data(), static_cast<std::streamsize>(text.size())));
}

int usage() {
    std::cerr << "usage: pellucan-host [--desktop DIR] [--open FILE]" << std::endl;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::u16string desktop;
    if (const char* home = std::getenv("HOME")) desktop = to_utf16(std::string(home) + "/Desktop");
    std::u16string open_answer;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (i + 1 >= argc) return usage();
        if (option == "--desktop")
            desktop = to_utf16(argv[++i]);
        else if (option == "--open")
            open_answer = to_utf16(argv[++i]);
        else
            return usage();
    }

    std::ios::sync_with_stdio(false);
    // Reading must not flush standard output from this thread while the worker writes a reply to it.
    std::cin.tie(nullptr);
    HostWindow window(std::move(desktop), std::move(open_answer));
    g_hwnd = &window;
    g_worker = std::thread(worker_main);
    initialize_functions();

    for (std::string text; read_frame(text);) on_web_message_received(to_utf16(text));

    // As the window's shutdown: nothing more reaches the page, the running command completes, the
    // connection closes last.
    window.destroy();
    stop_worker();
    close_database();
    return 0;
}
