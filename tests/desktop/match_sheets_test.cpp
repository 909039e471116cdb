// The Matches screen of a contest with many completed sheets, in the web view the window uses: the list keeps
// its length to the pixel at every zoom, and the find controller reaches every sheet.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <string>
#include <vector>

#include "platform/web_view.h"
#include "shell/page.h"
#include "tests/desktop/desktop_support.h"
#include "tournament/match_sheet.h"

namespace {

constexpr int completed_sheets = 40;

// Sheet k: Red's total 1300 + k; every fifth went to a tie-break, which its last cell tells.
std::string sheet(int match, bool completed) {
    const std::string number = std::to_string(match);
    const std::string_view header[] = {number, "Owls", "Ann", number, "Larks", "Bo", "O5", "O4",
                                       "O3",   "O2",   "O1",  "L1",   "L2",    "L3", "L4", "L5"};
    const std::string total = std::to_string(1300 + match);
    std::vector<std::string_view> cells(sheet_cells);
    if (completed) {
        cells[red_total_cell] = total;
        cells[white_total_cell] = "0";
        if (match % 5 == 0) cells[sheet_cells - 1] = "GH";
    }
    std::string html;
    append_match_sheet(html, header, cells);
    return html;
}

class MatchSheetsTest : public ::testing::Test {
protected:
    MatchSheetsTest() : desktop(1000, 700) {
        desktop.window->show();
        platform::create_web_view_environment([this](bool succeeded, auto environment) {
            ASSERT_TRUE(succeeded);
            environment->create_controller(*desktop.window, [this](bool, auto made) { controller = made; });
        });
        EXPECT_TRUE(desktop.pump_until([this] { return controller != nullptr; }));
        view = controller->core_web_view();
        controller->put_bounds({0, 0, 1000, 700});
        // The native side of the requests the screen sends; any other request succeeds with nothing.
        view->add_web_message_received([this](std::u16string_view message) {
            const std::string text(message.begin(), message.end());
            const auto colon = text.find(':');
            const auto second = text.find(':', colon + 1);
            const std::string name = text.substr(colon + 1, second - colon - 1);
            std::string result;
            if (name == "n_completed_matches") result = std::to_string(completed_sheets);
            if (name == "fetch_completed_match") result = sheet(std::stoi(text.substr(second + 1)), true);
            if (name == "fetch_next_match") result = sheet(completed_sheets + 1, false);
            const std::string reply = text.substr(0, colon + 1) + result;
            view->post_web_message_as_string(std::u16string(reply.begin(), reply.end()));
        });
        bool loaded = false;
        g_signal_connect(web(), "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                             if (event == WEBKIT_LOAD_FINISHED) *static_cast<bool*>(data) = true;
                         }),
                         &loaded);
        view->navigate_to_string(g_page_html);
        EXPECT_TRUE(desktop.pump_until([&] { return loaded; }));
        EXPECT_EQ(run("document.getElementById('contest-name-inp').value = 'Cup';"
                      "document.getElementById('create-contest-btn').click();"
                      "const name = document.getElementById('contest-name');"
                      "while (name.textContent !== 'Cup') await new Promise((r) => setTimeout(r, 20));"
                      "document.querySelector('nav a[data-page=matches]').click();"
                      "const tables = document.getElementById('match-tables');"
                      "while (tables.children.length <= " +
                      std::to_string(completed_sheets) +
                      ") await new Promise((r) => setTimeout(r, 50));"
                      "return tables.children.length;"),
                  std::to_string(completed_sheets + 1));
    }

    GtkWidget* web() const { return web_view_in(desktop.window->content_area()); }

    static GtkWidget* web_view_in(GtkWidget* root) {
        if (WEBKIT_IS_WEB_VIEW(root)) return root;
        GtkWidget* found = nullptr;
        if (GTK_IS_CONTAINER(root)) {
            GList* children = gtk_container_get_children(GTK_CONTAINER(root));
            for (GList* child = children; child && !found; child = child->next)
                found = web_view_in(GTK_WIDGET(child->data));
            g_list_free(children);
        }
        return found;
    }

    // Runs an async function body in the page (in the find bar's script world when one is named); answers
    // what it returns, as text.
    std::string run(const std::string& body, const char* world = nullptr) {
        struct Result {
            bool done = false;
            std::string text;
        } result;
        webkit_web_view_call_async_javascript_function(
            WEBKIT_WEB_VIEW(web()), body.c_str(), -1, nullptr, world, nullptr, nullptr,
            [](GObject* source, GAsyncResult* async, gpointer data) {
                auto* answer = static_cast<Result*>(data);
                GError* error = nullptr;
                if (JSCValue* value =
                        webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), async, &error)) {
                    gchar* text = jsc_value_to_string(value);
                    answer->text = text;
                    g_free(text);
                    g_object_unref(value);
                } else {
                    answer->text = std::string("error: ") + error->message;
                    g_error_free(error);
                }
                answer->done = true;
            },
            &result);
        EXPECT_TRUE(desktop.pump_until([&] { return result.done; }, std::chrono::seconds(30)));
        return result.text;
    }

    // How many times the find controller finds the text in the page.
    unsigned count_matches(const char* text) {
        WebKitFindController* find = webkit_web_view_get_find_controller(WEBKIT_WEB_VIEW(web()));
        struct Count {
            bool done = false;
            unsigned matches = 0;
        } count;
        const gulong handler = g_signal_connect(find, "counted-matches",
                                                G_CALLBACK(+[](WebKitFindController*, guint matches, gpointer data) {
                                                    auto* counted = static_cast<Count*>(data);
                                                    counted->matches = matches;
                                                    counted->done = true;
                                                }),
                                                &count);
        webkit_find_controller_count_matches(find, text, WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE, G_MAXUINT);
        EXPECT_TRUE(desktop.pump_until([&] { return count.done; }, std::chrono::seconds(30)));
        g_signal_handler_disconnect(find, handler);
        return count.matches;
    }

    DesktopWindow desktop;
    std::shared_ptr<platform::WebViewController> controller;
    std::shared_ptr<platform::WebView> view;
};

// After a few frames, in which the page takes in the rows of the sheets that came near: where the view is,
// and where every sheet starts in the list.
constexpr const char* settled_layout =
    "for (let frame = 0; frame < 3; ++frame) await new Promise((r) => requestAnimationFrame(r));"
    "const main = document.querySelector('main');"
    "const top = main.getBoundingClientRect().top - main.scrollTop;"
    "const starts = [...document.querySelectorAll('#match-tables > match-table')]"
    "  .map((sheet) => Math.round(sheet.getBoundingClientRect().top - top));"
    "return `${main.scrollTop} ${starts.join()}`;";

}  // namespace

TEST_F(MatchSheetsTest, KeepsEverySheetWhereItIsAndScrollsOntoItAtEveryZoom) {
    for (const double zoom : {0.5, 0.67, 0.9, 1.1, 2.0}) {
        SCOPED_TRACE(zoom);
        webkit_web_view_set_zoom_level(WEBKIT_WEB_VIEW(web()), zoom);
        run("document.querySelector('main').scrollTop = 0;");
        const std::string layout = run(settled_layout);
        // Scrolled onto, each sheet lands at the top of the view, and nothing else moves.
        for (const int match : {completed_sheets, 17, 33, 2, 25}) {
            const std::string id = "match-" + std::to_string(match);
            const std::string landed =
                run("const sheet = document.getElementById('" + id + "'); sheet.scrollIntoView();" +
                    "for (let frame = 0; frame < 3; ++frame) await new Promise((r) => "
                    "requestAnimationFrame(r));"
                    "return Math.abs(sheet.getBoundingClientRect().top - "
                    "document.querySelector('main').getBoundingClientRect().top) <= 2;");
            EXPECT_EQ(landed, "true") << id;
        }
        // Paging down the whole list moves the view by the page and no more.
        for (int step = 0; step < 8; ++step) {
            const std::string before =
                run("const main = document.querySelector('main');"
                    "main.scrollTop = " +
                    std::to_string(step * 6000) + "; return main.scrollTop;");
            const std::string after = run(settled_layout);
            EXPECT_EQ(after.substr(0, after.find(' ')), before) << "step " << step;
            EXPECT_EQ(after.substr(after.find(' ')), layout.substr(layout.find(' '))) << "step " << step;
        }
    }
}

TEST_F(MatchSheetsTest, FindsTheScoresOfEverySheetWhileTheFindBarIsOpen) {
    // The find bar tells the page, from its own script world, before it searches and after it closes.
    run("document.dispatchEvent(new Event('findbarshown'));", "find-bar");
    EXPECT_EQ(count_matches("1317"), 1u);
    EXPECT_EQ(count_matches("1340"), 1u);
    EXPECT_EQ(count_matches("Match 3"), 11u);  // 3 and 30 to 39, each in its head
    EXPECT_EQ(count_matches("1341"), 0u);
    run("document.dispatchEvent(new Event('findbarhidden'));", "find-bar");
    // Far from the view, a sheet holds its rows no longer.
    EXPECT_EQ(run("return document.getElementById('match-20').childElementCount;"), "0");
}
