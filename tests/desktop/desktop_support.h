#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/main_window.h"

struct _GtkWidget;
struct _GdkDevice;
struct _GdkSeat;
union _GdkEvent;

// One message as a window procedure saw it.
struct SeenMessage {
    unsigned message;
    std::intptr_t lparam;
    std::thread::id thread;
};

// A real window on the display whose procedure records every message; WM_DESTROY also ends the loop.
class DesktopWindow {
public:
    DesktopWindow(int width = 640, int height = 400);
    ~DesktopWindow();

    // Runs the message loop until something ends it or limit passes; answers the loop's exit code, or -1
    // when the limit ended it.
    int run(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Handles pending events until done answers true; false when limit passes first.
    bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Destroys the on-screen window, as its close box does in the end.
    void destroy();
    _GtkWidget* toplevel() const;

    std::unique_ptr<platform::MainWindow> window;
    static std::vector<SeenMessage> seen;  // user-interface thread only
};

// Hands the event to the widget as if it came to the widget's window from the device; frees it; answers
// whether something took it.
bool deliver(_GtkWidget* widget, _GdkEvent* event, _GdkDevice* device);
_GdkSeat* seat();
// Presses key (a GDK key value) with the modifiers on the widget; answers whether something took the key.
bool press(_GtkWidget* widget, unsigned key, unsigned modifiers = 0);
