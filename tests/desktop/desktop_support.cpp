#include "tests/desktop/desktop_support.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

std::vector<SeenMessage> DesktopWindow::seen;

namespace {

std::intptr_t record(platform::MainWindow*, unsigned message, std::uintptr_t, std::intptr_t lparam) {
    DesktopWindow::seen.push_back({message, lparam, std::this_thread::get_id()});
    if (message == platform::WM_DESTROY) platform::post_quit_message(0);
    return 0;
}

}  // namespace

DesktopWindow::DesktopWindow(int width, int height) {
    seen.clear();
    EXPECT_TRUE(platform::register_window_class({"TestWindow", record, {}}));
    window = platform::MainWindow::create("TestWindow", "Pellucan test", width, height);
    EXPECT_NE(window, nullptr);
}

DesktopWindow::~DesktopWindow() = default;

int DesktopWindow::run(std::chrono::milliseconds limit) {
    bool timed_out = false;
    const guint timer = g_timeout_add(
        static_cast<guint>(limit.count()),
        [](gpointer data) -> gboolean {
            *static_cast<bool*>(data) = true;
            platform::post_quit_message(-1);
            return G_SOURCE_REMOVE;
        },
        &timed_out);
    const int code = platform::run_message_loop();
    if (!timed_out) g_source_remove(timer);
    return code;
}

bool DesktopWindow::pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void DesktopWindow::destroy() {
    if (GtkWidget* widget = toplevel()) gtk_widget_destroy(widget);
}

GtkWidget* DesktopWindow::toplevel() const {
    GtkWidget* area = window->content_area();
    return area ? gtk_widget_get_toplevel(area) : nullptr;
}
