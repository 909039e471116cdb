#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

struct _GtkWidget;

namespace platform {

// The messages a window procedure sees, numbered as on the desktop platform we mirror.
inline constexpr unsigned WM_DESTROY = 2;
inline constexpr unsigned WM_SIZE = 5;

class MainWindow;

// Runs on the user-interface thread for every message of the window; answers the message's result.
using WindowProcedure = std::intptr_t (*)(MainWindow* window, unsigned message, std::uintptr_t wparam,
                                          std::intptr_t lparam);

struct WindowClass {
    std::string name;
    WindowProcedure procedure = nullptr;
    std::vector<std::string_view> icon_images;  // PNG images of the window's icon, one per size
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Connects to the display and records the class; false when there is no display or the class is unusable.
bool register_window_class(const WindowClass& window_class);
// Whether register_window_class reached a display.
bool has_display();

// A modal box with an OK button and no icon; on standard error when there is no display.
void message_box(const std::string& text, const std::string& caption);

// Dots per inch of the screen the program starts on; 96 when the display reports none.
int system_dpi();

// Runs the user-interface thread until post_quit_message; answers its exit code.
int run_message_loop();
void post_quit_message(int exit_code);

// The GTK main window. Only the user-interface thread creates, shows and destroys it; the platform::Window
// methods may be called from any thread. The object outlives the on-screen window: once that is destroyed,
// posts fail and dialogs answer the empty text.
class MainWindow final : public Window {
public:
    // Null when the class is not registered or the window cannot be made. Width and height are the
    // window's outer size in pixels; where that does not fit on the screen, the window takes the screen's
    // work area instead.
    static std::unique_ptr<MainWindow> create(const std::string& class_name, const std::string& title, int width,
                                              int height);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    void show();
    // The area inside the frame, in the window's own coordinates.
    Rect client_rect() const;
    // The container that a web view is placed in; null once the window is destroyed.
    _GtkWidget* content_area() const;
    bool is_destroyed() const;

    // Runs task on the user-interface thread, after everything posted before it. false when the window is
    // destroyed; the task is then dropped. A task still queued when the window is destroyed runs right
    // after the destruction, with is_destroyed() true.
    bool post_task(std::function<void()> task);

    bool post_message(unsigned message, std::uintptr_t wparam, std::intptr_t lparam) override;
    bool set_title(const std::u16string& title) override;
    std::u16string desktop_folder() override;
    // Never from the user-interface thread: the dialog runs there while the caller waits.
    std::u16string show_open_file_dialog(const OpenFileDialog& dialog) override;

    struct State;

private:
    explicit MainWindow(std::shared_ptr<State> state);
    std::shared_ptr<State> state_;
};

}  // namespace platform
