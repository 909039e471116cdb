#include "shell/program.h"

#include <memory>
#include <string>
#include <thread>

#include "resources/program_icon.h"
#include "shell/registry.h"
#include "shell/request_worker.h"
#include "shell/web_view_host.h"
#include "store/database.h"

namespace {

constexpr const char* window_class_name = "DesktopApp";
constexpr const char* program_name = "Pellucan";

}  // namespace

int WinMain() {
    const platform::WindowClass window_class{window_class_name, window_proc, program_icon_images()};
    if (!platform::register_window_class(window_class)) {
        platform::message_box(platform::has_display()
                                  ? "Call to RegisterClassEx failed!"
                                  : "cannot open a window: no display (is DISPLAY or WAYLAND_DISPLAY set?)",
                              program_name);
        return 1;
    }

    // GTK follows each monitor's scale by itself, so there is no awareness to declare; the size follows the
    // screen's DPI.
    const int dpi = platform::system_dpi();
    const int width = dpi * 1040 / 96;
    const int height = dpi * 640 / 96;
    std::unique_ptr<platform::MainWindow> window =
        platform::MainWindow::create(window_class_name, program_name, width, height);
    if (!window) {
        platform::message_box("Call to CreateWindow failed!", program_name);
        return 1;
    }

    g_hwnd = window.get();
    g_worker = std::thread(worker_main);
    initialize_functions();
    window->show();
    start_web_view(*window);
    const int exit_code = platform::run_message_loop();
    shut_down();
    return exit_code;
}

std::intptr_t window_proc(platform::MainWindow* window, unsigned message, std::uintptr_t, std::intptr_t lparam) {
    switch (message) {
        case platform::WM_DESTROY:
            tear_down_web_view();
            platform::post_quit_message(0);
            return 0;
        case platform::WM_SIZE:
            if (g_controller) fit_web_view(*window);
            return 0;
        case WM_POST_REPLY:
            if (lparam != 0) deliver_reply(reinterpret_cast<std::string*>(lparam));
            return 0;
        default:
            return 0;  // GTK handles the window's other events itself
    }
}

void shut_down() {
    stop_worker();
    close_database();
}
