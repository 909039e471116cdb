#include "platform/main_window.h"

#include <errno.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <future>
#include <mutex>
#include <unordered_map>

#include "platform/text_conversion.h"

namespace platform {

struct MainWindow::State {
    MainWindow* owner = nullptr;
    WindowProcedure procedure = nullptr;
    // User-interface thread only; null once the window is destroyed.
    GtkWidget* window = nullptr;
    GtkWidget* layout = nullptr;
    int width = 0;
    int height = 0;
    guint signal_sources[2] = {0, 0};
    std::string last_dialog_folder;  // where the open-file dialog was last left, for this run

    std::mutex mutex;
    bool destroyed = false;
    std::deque<std::function<void()>> tasks;
};

namespace {

struct RegisteredClass {
    WindowProcedure procedure;
    std::vector<std::string_view> icon_images;
};

// User-interface thread only.
bool display_open = false;
int quit_code = 0;
std::unordered_map<std::string, RegisteredClass> classes;

using State = MainWindow::State;

// Runs the oldest queued task, outside the lock; false when there was none.
bool run_queued_task(State& state) {
    std::function<void()> task;
    {
        std::lock_guard lock(state.mutex);
        if (state.tasks.empty()) return false;
        task = std::move(state.tasks.front());
        state.tasks.pop_front();
    }
    task();
    return true;
}

gboolean on_posted(gpointer data) {
    run_queued_task(**static_cast<std::shared_ptr<State>*>(data));
    return G_SOURCE_REMOVE;
}

void release_state(gpointer data) { delete static_cast<std::shared_ptr<State>*>(data); }

// Whether owner owns window, directly or through other windows (a dialog of the print dialog counts).
bool owned_by(GtkWindow* window, GtkWindow* owner) {
    for (GtkWindow* parent = gtk_window_get_transient_for(window); parent;
         parent = gtk_window_get_transient_for(parent))
        if (parent == owner) return true;
    return false;
}

// A termination request closes the window as its close box does, so shutdown takes its usual course. A
// modal dialog or a popup holds a grab that would swallow that close, so each is ended first: every dialog
// of the window (the open-file dialog, the print dialog) as cancelled, a menu (the page's context menu) as
// cancelled, and any other popup that holds a grab (a select's dropped-down list) is taken away.
gboolean on_termination_signal(gpointer data) {
    auto* state = static_cast<State*>(data);
    if (!state->window) return G_SOURCE_CONTINUE;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next) g_object_ref(item->data);  // a response may destroy one
    for (GList* item = windows; item; item = item->next) {
        GtkWidget* window = GTK_WIDGET(item->data);
        GtkWidget* content = gtk_bin_get_child(GTK_BIN(window));
        if (GTK_IS_DIALOG(window) && owned_by(GTK_WINDOW(window), GTK_WINDOW(state->window))) {
            gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_CANCEL);
        } else if (GTK_IS_MENU(content) && gtk_widget_get_visible(content)) {
            gtk_menu_shell_cancel(GTK_MENU_SHELL(content));
        } else if (gtk_widget_has_grab(window)) {
            gtk_widget_hide(window);
            gtk_grab_remove(window);
        }
    }
    g_list_free_full(windows, g_object_unref);
    gtk_window_close(GTK_WINDOW(state->window));
    return G_SOURCE_CONTINUE;
}

void on_size_allocate(GtkWidget*, GdkRectangle* allocation, gpointer data) {
    auto* state = static_cast<State*>(data);
    if (allocation->width == state->width && allocation->height == state->height) return;
    state->width = allocation->width;
    state->height = allocation->height;
    state->procedure(state->owner, WM_SIZE, 0, 0);
}

void on_destroy(GtkWidget*, gpointer data) {
    auto* state = static_cast<State*>(data);
    for (guint& source : state->signal_sources) {
        if (source) g_source_remove(source);
        source = 0;
    }
    {
        std::lock_guard lock(state->mutex);
        state->destroyed = true;
    }
    state->procedure(state->owner, WM_DESTROY, 0, 0);
    state->window = nullptr;
    state->layout = nullptr;
    // Whatever was posted but not yet handled runs now, so every posted pointer reaches its receiver.
    while (run_queued_task(*state)) {
    }
}

GdkPixbuf* pixbuf_from_png(std::string_view png) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    if (!loader) return nullptr;
    GdkPixbuf* pixbuf = nullptr;
    if (gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(png.data()), png.size(), nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr))
        pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    if (pixbuf)
        g_object_ref(pixbuf);
    else
        gdk_pixbuf_loader_close(loader, nullptr);
    g_object_unref(loader);
    return pixbuf;
}

void set_icon(GtkWindow* window, const std::vector<std::string_view>& images) {
    GList* pixbufs = nullptr;
    for (std::string_view png : images)
        if (GdkPixbuf* pixbuf = pixbuf_from_png(png)) pixbufs = g_list_append(pixbufs, pixbuf);
    if (pixbufs) gtk_window_set_icon_list(window, pixbufs);
    g_list_free_full(pixbufs, g_object_unref);
}

// One open-file dialog asked for by another thread; the answer is given exactly once.
struct DialogRequest {
    std::promise<std::u16string> answer;
    bool answered = false;
    State* state = nullptr;  // set once the dialog is shown

    void give(std::u16string path) {
        if (answered) return;
        answered = true;
        answer.set_value(std::move(path));
    }
};

void on_dialog_response(GtkDialog* dialog, gint response, gpointer data) {
    auto* request = static_cast<DialogRequest*>(data);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    if (response == GTK_RESPONSE_ACCEPT) {
        gchar* file = gtk_file_chooser_get_filename(chooser);
        const bool exists = file && g_file_test(file, G_FILE_TEST_IS_REGULAR);
        if (exists) request->give(path_to_utf16(file));
        g_free(file);
        // Only an existing file answers; anything else leaves the dialog open for another choice.
        if (!exists) return;
    }
    // The next dialog of this run starts in the folder this one was left in.
    if (gchar* folder = gtk_file_chooser_get_current_folder(chooser)) {
        request->state->last_dialog_folder = folder;
        g_free(folder);
    }
    request->give({});
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

// The dialog also goes when its owner is destroyed; the waiting thread then gets the empty text.
void on_dialog_destroy(GtkWidget*, gpointer data) { static_cast<DialogRequest*>(data)->give({}); }

void delete_dialog_request(gpointer data, GClosure*) { delete static_cast<DialogRequest*>(data); }

// The file chooser sizes itself from its font, or to the size it last had, whatever the screen. Each time it
// does, it gets its owner's size instead, within the work area of the owner's monitor.
void fit_on_screen(GtkWidget*, gpointer data) {
    GtkWindow* dialog = GTK_WINDOW(data);
    GtkWindow* owner = gtk_window_get_transient_for(dialog);
    GdkWindow* window = owner ? gtk_widget_get_window(GTK_WIDGET(owner)) : nullptr;
    if (!window) return;
    int width = 0;
    int height = 0;
    gtk_window_get_size(owner, &width, &height);
    GdkRectangle area;
    gdk_monitor_get_workarea(gdk_display_get_monitor_at_window(gdk_window_get_display(window), window), &area);
    gtk_window_resize(dialog, std::min(width, area.width), std::min(height, area.height));
}

void open_file_dialog(State& state, const OpenFileDialog& options, std::unique_ptr<DialogRequest> request) {
    if (!state.window) return request->give({});
    GtkWidget* dialog =
        gtk_file_chooser_dialog_new("Open", GTK_WINDOW(state.window), GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                    GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    gtk_file_chooser_set_local_only(chooser, TRUE);

    for (std::size_t i = 0; i < options.filters.size(); ++i) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, utf16_to_utf8(options.filters[i].display_text).c_str());
        const std::string pattern = utf16_to_utf8(options.filters[i].pattern);
        // "*.*" means every file, also those whose names have no dot.
        gtk_file_filter_add_pattern(filter, pattern == "*.*" ? "*" : pattern.c_str());
        gtk_file_chooser_add_filter(chooser, filter);
        if (i == options.selected_filter) gtk_file_chooser_set_filter(chooser, filter);
    }

    std::string folder = state.last_dialog_folder;
    if (folder.empty() || !g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR))
        folder = path_from_utf16(options.default_folder);
    if (!folder.empty()) gtk_file_chooser_set_current_folder(chooser, folder.c_str());
    if (!folder.empty() && !options.file_name.empty()) {
        gchar* file = g_build_filename(folder.c_str(), utf16_to_utf8(options.file_name).c_str(), nullptr);
        if (g_file_test(file, G_FILE_TEST_IS_REGULAR)) gtk_file_chooser_select_filename(chooser, file);
        g_free(file);
    }

    request->state = &state;
    DialogRequest* shared = request.release();
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))));
    for (GList* child = children; child; child = child->next)
        if (g_signal_lookup("default-size-changed", G_OBJECT_TYPE(child->data)))
            g_signal_connect_after(child->data, "default-size-changed", G_CALLBACK(fit_on_screen), dialog);
    g_list_free(children);
    fit_on_screen(nullptr, dialog);
    g_signal_connect(dialog, "response", G_CALLBACK(on_dialog_response), shared);
    g_signal_connect_data(dialog, "destroy", G_CALLBACK(on_dialog_destroy), shared, delete_dialog_request,
                          GConnectFlags(0));
    gtk_widget_show_all(dialog);
}

}  // namespace

bool register_window_class(const WindowClass& window_class) {
    if (!display_open) {
        if (!g_get_prgname()) g_set_prgname(program_invocation_short_name);
        display_open = gtk_init_check(nullptr, nullptr);
    }
    if (!display_open || window_class.name.empty() || !window_class.procedure) return false;
    classes[window_class.name] = {window_class.procedure, window_class.icon_images};
    return true;
}

bool has_display() { return display_open; }

void message_box(const std::string& text, const std::string& caption) {
    if (!display_open) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return;
    }
    GtkWidget* box =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

int system_dpi() {
    GdkScreen* screen = display_open ? gdk_screen_get_default() : nullptr;
    const double dpi = screen ? gdk_screen_get_resolution(screen) : -1;
    return dpi > 0 ? static_cast<int>(dpi + 0.5) : 96;
}

int run_message_loop() {
    gtk_main();
    return quit_code;
}

void post_quit_message(int exit_code) {
    quit_code = exit_code;
    if (gtk_main_level() > 0) gtk_main_quit();
}

std::unique_ptr<MainWindow> MainWindow::create(const std::string& class_name, const std::string& title, int width,
                                               int height) {
    const auto registered = classes.find(class_name);
    if (registered == classes.end() || width <= 0 || height <= 0) return nullptr;

    auto state = std::make_shared<State>();
    state->procedure = registered->second.procedure;
    state->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (!state->window) return nullptr;
    gtk_window_set_title(GTK_WINDOW(state->window), title.c_str());
    // The size asked for where it fits, else the size of the screen, without the panels along its edges.
    GdkDisplay* display = gtk_widget_get_display(state->window);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (monitor) {
        GdkRectangle area;
        gdk_monitor_get_workarea(monitor, &area);
        width = std::min(width, area.width);
        height = std::min(height, area.height);
    }
    gtk_window_set_default_size(GTK_WINDOW(state->window), width, height);
    set_icon(GTK_WINDOW(state->window), registered->second.icon_images);
    // A layout lets the web view be placed at the bounds it is given rather than where GTK would put it.
    state->layout = gtk_layout_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(state->window), state->layout);

    std::unique_ptr<MainWindow> window(new MainWindow(state));
    state->owner = window.get();
    g_signal_connect(state->window, "destroy", G_CALLBACK(on_destroy), state.get());
    g_signal_connect_after(state->window, "size-allocate", G_CALLBACK(on_size_allocate), state.get());
    state->signal_sources[0] = g_unix_signal_add(SIGTERM, on_termination_signal, state.get());
    state->signal_sources[1] = g_unix_signal_add(SIGINT, on_termination_signal, state.get());
    return window;
}

MainWindow::MainWindow(std::shared_ptr<State> state) : state_(std::move(state)) {}

MainWindow::~MainWindow() {
    if (state_->window) gtk_widget_destroy(state_->window);
}

void MainWindow::show() {
    if (state_->window) gtk_widget_show_all(state_->window);
}

Rect MainWindow::client_rect() const {
    if (!state_->window) return {};
    return {0, 0, gtk_widget_get_allocated_width(state_->window), gtk_widget_get_allocated_height(state_->window)};
}

GtkWidget* MainWindow::content_area() const { return state_->layout; }

bool MainWindow::is_destroyed() const {
    std::lock_guard lock(state_->mutex);
    return state_->destroyed;
}

bool MainWindow::post_task(std::function<void()> task) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->destroyed) return false;
        state_->tasks.push_back(std::move(task));
    }
    g_idle_add_full(G_PRIORITY_DEFAULT, on_posted, new std::shared_ptr<State>(state_), release_state);
    return true;
}

bool MainWindow::post_message(unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    State* state = state_.get();
    return post_task([state, message, wparam, lparam] { state->procedure(state->owner, message, wparam, lparam); });
}

bool MainWindow::set_title(const std::u16string& title) {
    State* state = state_.get();
    return post_task([state, text = utf16_to_utf8(title)] {
        if (state->window) gtk_window_set_title(GTK_WINDOW(state->window), text.c_str());
    });
}

std::u16string MainWindow::desktop_folder() {
    const gchar* folder = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
    return folder ? path_to_utf16(folder) : std::u16string();
}

std::u16string MainWindow::show_open_file_dialog(const OpenFileDialog& dialog) {
    auto request = std::make_unique<DialogRequest>();
    std::future<std::u16string> answer = request->answer.get_future();
    State* state = state_.get();
    // std::function wants a copyable callable, so the request travels as a shared pointer until the dialog
    // takes it over.
    auto handed = std::make_shared<std::unique_ptr<DialogRequest>>(std::move(request));
    if (!post_task([state, dialog, handed] { open_file_dialog(*state, dialog, std::move(*handed)); })) return {};
    try {
        return answer.get();
    } catch (const std::future_error&) {
        return {};  // the dialog was never shown
    }
}

}  // namespace platform
