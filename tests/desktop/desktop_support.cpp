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

bool deliver(GtkWidget* widget, GdkEvent* event, GdkDevice* device) {
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    gdk_event_set_device(event, device);
    const bool handled = gtk_widget_event(widget, event);
    gdk_event_free(event);
    return handled;
}

GdkSeat* seat() { return gdk_display_get_default_seat(gdk_display_get_default()); }

bool press(GtkWidget* widget, unsigned key, unsigned modifiers) {
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.keyval = key;
    event->key.state = modifiers;
    event->key.is_modifier = key >= GDK_KEY_Shift_L && key <= GDK_KEY_Hyper_R;
    // Key bindings, such as Escape in an entry, look the key up by its hardware code.
    GdkKeymapKey* codes = nullptr;
    gint n_codes = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), key, &codes, &n_codes))
        event->key.hardware_keycode = static_cast<guint16>(codes[0].keycode);
    g_free(codes);
    static guint32 time = 0;
    event->key.time = ++time;  // as the window's keys come, each at a time of its own
    return deliver(widget, event, gdk_seat_get_keyboard(seat()));
}
