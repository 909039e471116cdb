#include "shell/web_view_host.h"

#include "shell/page.h"
#include "shell/request_worker.h"
#include "text/text.h"

std::shared_ptr<platform::WebViewController> g_controller;
std::shared_ptr<platform::WebView> g_webview;

void start_web_view(platform::MainWindow& window) {
    platform::MainWindow* handle = &window;
    platform::create_web_view_environment(
        [handle](bool succeeded, std::shared_ptr<platform::WebViewEnvironment> environment) {
            on_environment_created(handle, succeeded, environment);
        });
}

void on_environment_created(platform::MainWindow* window, bool succeeded,
                            const std::shared_ptr<platform::WebViewEnvironment>& environment) {
    // A failed environment leaves the window open and empty.
    if (!succeeded || !environment) return;
    environment->create_controller(*window,
                                   [window](bool created, std::shared_ptr<platform::WebViewController> controller) {
                                       on_controller_created(window, created, controller);
                                   });
}

void on_controller_created(platform::MainWindow* window, bool succeeded,
                           const std::shared_ptr<platform::WebViewController>& controller) {
    if (!succeeded || !controller) return;
    g_controller = controller;
    g_webview.reset();
    g_webview = g_controller->core_web_view();
    g_controller->put_bounds(window->client_rect());
    g_webview->navigate_to_string(g_page_html);
    g_controller->move_focus();
    g_webview->add_web_message_received([](std::u16string_view message) { on_web_message_received(message); });
}

void deliver_reply(std::string* reply) {
    std::unique_ptr<std::string> owned(reply);
    std::u16string text;
    try {
        text = to_utf16(*owned);
    } catch (...) {
        return;  // dropped; the page's call ends with its time-out
    }
    owned.reset();
    if (g_webview) g_webview->post_web_message_as_string(text);
}

void fit_web_view(platform::MainWindow& window) {
    if (g_controller) g_controller->put_bounds(window.client_rect());
}

void tear_down_web_view() {
    if (g_webview) g_webview->clear_browsing_data_all();
    if (g_controller) {
        g_controller->close();
        g_controller.reset();
    }
    g_webview.reset();
}
