// The request path without a window: requests arrive on standard input, replies leave on standard output,
// both framed as the byte length in decimal, a line feed, then the UTF-8 text. Browser tests drive the page
// against this host, so it runs exactly the queue, worker, dispatcher and commands of the program.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/text_conversion.h"
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
                ++replies_;
            }
            replied_.notify_all();
            delete reply;
        }
        return true;
    }

    bool set_title(const std::u16string& title) override {
        // One line per title, whatever the contest's name holds.
        std::string line = "title: ";
        for (const char c : to_utf8(title)) {
            if (c == '\\')
                line += "\\\\";
            else if (c == '\n')
                line += "\\n";
            else if (c == '\r')
                line += "\\r";
            else
                line += c;
        }
        std::lock_guard lock(output_mutex_);
        std::cerr << line << std::endl;
        return true;
    }

    std::u16string desktop_folder() override { return desktop_; }

    std::u16string show_open_file_dialog(const platform::OpenFileDialog&) override { return open_answer_; }

    void destroy() { destroyed_ = true; }

    // The worker answers every request exactly once, so this returns once all `requests` are answered.
    void wait_for_replies(std::size_t requests) {
        std::unique_lock lock(output_mutex_);
        replied_.wait(lock, [&] { return replies_ >= requests; });
    }

private:
    std::u16string desktop_;
    std::u16string open_answer_;
    std::atomic<bool> destroyed_{false};
    std::mutex output_mutex_;
    std::condition_variable replied_;
    std::size_t replies_ = 0;
};

// No request the page sends comes near this; a longer frame is taken for broken input.
constexpr std::size_t max_frame = std::size_t{64} << 20;

enum class Frame { read, end, malformed, too_long };

// One frame from standard input, taken in as its bytes arrive rather than reserved from its header; the end
// of input inside a frame ends the input.
Frame read_frame(std::string& text) {
    std::string header;
    int c;
    while ((c = std::cin.get()) != '\n' && c != EOF && header.size() <= 20) header += static_cast<char>(c);
    if (c == EOF) return Frame::end;
    if (c != '\n' || header.empty() || header.find_first_not_of("0123456789") != std::string::npos)
        return Frame::malformed;
    std::size_t length = 0;
    for (const char digit : header)
        length = std::min(length * 10 + static_cast<std::size_t>(digit - '0'), max_frame + 1);
    if (length > max_frame) return Frame::too_long;

    text.clear();
    char chunk[65536];
    while (text.size() < length) {
        const std::size_t wanted = std::min(sizeof chunk, length - text.size());
        if (!std::cin.read(chunk, static_cast<std::streamsize>(wanted))) return Frame::end;
        text.append(chunk, wanted);
    }
    return Frame::read;
}

int usage() {
    std::cerr << "usage: pellucan-host [--desktop DIR] [--open FILE]" << std::endl;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::u16string desktop;
    if (const char* home = std::getenv("HOME")) desktop = platform::path_to_utf16(std::string(home) + "/Desktop");
    std::u16string open_answer;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (i + 1 >= argc) return usage();
        if (option == "--desktop")
            desktop = platform::path_to_utf16(argv[++i]);
        else if (option == "--open")
            open_answer = platform::path_to_utf16(argv[++i]);
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

    std::size_t requests = 0;
    Frame frame;
    for (std::string text; (frame = read_frame(text)) == Frame::read; ++requests)
        on_web_message_received(to_utf16(text));
    if (frame == Frame::malformed) std::cerr << "pellucan-host: malformed frame header, stopping" << std::endl;
    if (frame == Frame::too_long) std::cerr << "pellucan-host: a frame longer than 64 MiB, stopping" << std::endl;

    // Unlike the window, which drops what is still queued, the host answers every request it has read; then,
    // as the window's shutdown, the connection closes last.
    window.wait_for_replies(requests);
    window.destroy();
    stop_worker();
    close_database();
    return frame == Frame::end ? 0 : 2;
}
