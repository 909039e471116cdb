#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/main_window.h"

namespace platform {

class WebView;
class WebViewController;
struct WebViewCore;

// Where the web view's runtime and browsing data live. This one keeps them in memory only, so a run
// leaves nothing behind on disk.
class WebViewEnvironment {
public:
    struct Context;
    explicit WebViewEnvironment(std::shared_ptr<Context> context);

    using ControllerCreated = std::function<void(bool succeeded, std::shared_ptr<WebViewController> controller)>;

    // Makes a web view inside parent's client area. The answer comes later, through the message loop;
    // it is a failure when parent has been destroyed by then.
    void create_controller(MainWindow& parent, ControllerCreated callback);

private:
    std::shared_ptr<Context> context_;
};

using EnvironmentCreated = std::function<void(bool succeeded, std::shared_ptr<WebViewEnvironment> environment)>;

// Asks for a web view environment; the answer comes later, through the message loop.
void create_web_view_environment(EnvironmentCreated callback);

// Places, focuses and closes the web view. Every method runs on the user-interface thread.
class WebViewController {
public:
    explicit WebViewController(std::shared_ptr<WebViewCore> core);
    ~WebViewController();
    WebViewController(const WebViewController&) = delete;
    WebViewController& operator=(const WebViewController&) = delete;

    std::shared_ptr<WebView> core_web_view() const;
    void put_bounds(const Rect& bounds);
    void move_focus();
    // Takes the view out of the window; the page ends and no message arrives any more.
    void close();

private:
    std::shared_ptr<WebViewCore> core_;
};

// The page inside the web view. Every method runs on the user-interface thread.
class WebView {
public:
    using MessageReceived = std::function<void(std::u16string_view message)>;

    explicit WebView(std::shared_ptr<WebViewCore> core);
    ~WebView();
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;

    // Shows html (UTF-8) as the page; the page gets window.chrome.webview before its own scripts run.
    void navigate_to_string(const char* html);
    // Hands text to the page as the data of a "message" event of window.chrome.webview.
    void post_web_message_as_string(std::u16string_view text);
    // Calls handler with each text that the page posts through window.chrome.webview.postMessage.
    void add_web_message_received(MessageReceived handler);
    // Starts clearing every kind of browsing data of the view's profile; nothing waits for it.
    void clear_browsing_data_all();

private:
    std::shared_ptr<WebViewCore> core_;
};

}  // namespace platform
