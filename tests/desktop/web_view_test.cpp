#include "platform/web_view.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

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
    GtkWidget* area = desktop.window->content_area();
    GList* children = gtk_container_get_children(GTK_CONTAINER(area));
    ASSERT_EQ(g_list_length(children), 1u);
    GtkWidget* web = GTK_WIDGET(children->data);
    g_list_free(children);

    controller->put_bounds({0, 0, 500, 300});
    EXPECT_TRUE(desktop.pump_until(
        [&] { return gtk_widget_get_allocated_width(web) == 500 && gtk_widget_get_allocated_height(web) == 300; }));

    view->navigate_to_string(echo_page);
    ASSERT_TRUE(wait_for_messages(1));
    controller->close();
    view->post_web_message_as_string(u"9:after close");
    EXPECT_FALSE(wait_for_messages(2, std::chrono::seconds(1)));  // nothing comes back from a closed view
    children = gtk_container_get_children(GTK_CONTAINER(area));
    EXPECT_EQ(children, nullptr);  // and it has left the window
    g_list_free(children);
}
