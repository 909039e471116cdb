#include "platform/web_view.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "tests/desktop/desktop_support.h"

namespace {

// A window with a web view in it, and every text that the view's page has posted.
class WebViewTest : public ::testing::Test {
protected:
    WebViewTest() {
        desktop.window->show();
        platform::create_web_view_environment([this](bool succeeded, auto environment) {
            ASSERT_TRUE(succeeded);
            environment->create_controller(*desktop.window, [this](bool created, auto made) {
                EXPECT_TRUE(created);
                controller = made;
            });
        });
        EXPECT_TRUE(desktop.pump_until([this] { return controller != nullptr; }));
        view = controller->core_web_view();
        view->add_web_message_received([this](std::u16string_view message) { received.emplace_back(message); });
    }

    // The view's widget inside the window, or null when it has left the window.
    GtkWidget* web_widget() const {
        GList* children = gtk_container_get_children(GTK_CONTAINER(desktop.window->content_area()));
        GtkWidget* widget = children ? GTK_WIDGET(children->data) : nullptr;
        g_list_free(children);
        return widget;
    }

    bool wait_for_messages(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return desktop.pump_until([&] { return received.size() >= count; }, limit);
    }

    DesktopWindow desktop;
    std::shared_ptr<platform::WebViewController> controller;
    std::shared_ptr<platform::WebView> view;
    std::vector<std::u16string> received;
};

// Posts "ready" at once, then answers every message with "echo:" and the message's data.
constexpr const char* echo_page = R"(<!DOCTYPE html><meta charset="utf-8"><script>
const webview = window.chrome.webview;
webview.addEventListener('message', event => webview.postMessage('echo:' + event.data));
webview.postMessage('ready');
</script>)";

}  // namespace

TEST_F(WebViewTest, CarriesTextBothWaysUnchangedThroughTheBridge) {
    view->navigate_to_string(echo_page);
    ASSERT_TRUE(wait_for_messages(1));
    EXPECT_EQ(received[0], u"ready");  // the bridge is there before the page's own script runs

    // Quotes, backslashes, line breaks, markup and text outside ASCII need no escaping on either way.
    const std::u16string tricky = u"7:a \"quoted\" 'text' \\ back\nslash </script> ${x} \x1F Équipe 日本 😀";
    view->post_web_message_as_string(tricky);
    view->post_web_message_as_string(u"8:");
    ASSERT_TRUE(wait_for_messages(3));
    EXPECT_EQ(received[1], u"echo:" + tricky);
    EXPECT_EQ(received[2], u"echo:8:");  // in the order posted
}

TEST_F(WebViewTest, TakesTheBoundsItIsGivenAndGoesQuietWhenClosed) {
    GtkWidget* web = web_widget();
    ASSERT_NE(web, nullptr);

    controller->put_bounds({0, 0, 500, 300});
    EXPECT_TRUE(desktop.pump_until(
        [&] { return gtk_widget_get_allocated_width(web) == 500 && gtk_widget_get_allocated_height(web) == 300; }));

    view->navigate_to_string(echo_page);
    ASSERT_TRUE(wait_for_messages(1));
    controller->close();
    view->post_web_message_as_string(u"9:after close");
    EXPECT_FALSE(wait_for_messages(2, std::chrono::seconds(1)));  // nothing comes back from a closed view
    EXPECT_EQ(web_widget(), nullptr);                             // and it has left the window
}

namespace {

// Presses Ctrl with key on the widget; answers whether something took the key.
bool press_with_control(GtkWidget* widget, guint key) {
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    event->key.keyval = key;
    event->key.state = GDK_CONTROL_MASK;
    event->key.time = GDK_CURRENT_TIME;
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
    const bool handled = gtk_widget_event(widget, event);
    gdk_event_free(event);
    return handled;
}

}  // namespace

TEST_F(WebViewTest, GivesThePageTheBrowsersPrintAndZoomKeys) {
    view->navigate_to_string(echo_page);
    ASSERT_TRUE(wait_for_messages(1));
    GtkWidget* web = web_widget();
    const auto zoom = [&] { return webkit_web_view_get_zoom_level(WEBKIT_WEB_VIEW(web)); };

    EXPECT_TRUE(press_with_control(web, GDK_KEY_plus));
    EXPECT_TRUE(press_with_control(web, GDK_KEY_equal));  // plus without Shift
    EXPECT_DOUBLE_EQ(zoom(), 1.25);
    EXPECT_TRUE(press_with_control(web, GDK_KEY_minus));
    EXPECT_DOUBLE_EQ(zoom(), 1.1);
    EXPECT_TRUE(press_with_control(web, GDK_KEY_0));
    EXPECT_DOUBLE_EQ(zoom(), 1.0);

    // Ctrl+P shows the print dialog over the window; cancelling it ends the key's handling.
    struct Seen {
        bool dialog = false;
        GtkWindow* owner = nullptr;
    } seen;
    g_timeout_add(
        300,
        [](gpointer data) -> gboolean {
            auto* found = static_cast<Seen*>(data);
            GList* windows = gtk_window_list_toplevels();
            for (GList* item = windows; item && !found->dialog; item = item->next) {
                if (!GTK_IS_DIALOG(item->data) || !gtk_widget_get_visible(GTK_WIDGET(item->data))) continue;
                found->dialog = true;
                found->owner = gtk_window_get_transient_for(GTK_WINDOW(item->data));
                gtk_dialog_response(GTK_DIALOG(item->data), GTK_RESPONSE_CANCEL);
            }
            g_list_free(windows);
            return found->dialog ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        },
        &seen);
    EXPECT_TRUE(press_with_control(web, GDK_KEY_p));
    EXPECT_TRUE(seen.dialog);
    EXPECT_EQ(GTK_WIDGET(seen.owner), desktop.toplevel());
}
