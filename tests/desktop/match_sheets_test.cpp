// The Matches screen of a contest with many completed sheets, in the web view the window uses.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/web_view.h"
#include "shell/page.h"
#include "tests/desktop/desktop_support.h"
#include "tournament/match_sheet.h"

namespace {

constexpr int completed_sheets = 40;

// A name of 120 characters: the words again and again.
std::string long_name(std::string_view words) {
    std::string name;
    while (name.size() < 120) name += words;
    return name.substr(0, 120);
}

// Sheet k: Red's total 1300 + k; every fifth went to a tie-break, which its last cell tells. Sheet 1 and
// every fourth after it have short names; the others have team and coach names of capitals with spaces or
// of 15-letter words, or long contestants' names. With long names every sheet has team and coach names of
// capitals.
std::string sheet(int match, bool completed, bool long_names) {
    const std::string number = std::to_string(match), total = std::to_string(1300 + match);
    std::string team = "Owls", coach = "Ann", chair = "Jo";
    if (match % 4 == 2 || long_names) team = coach = long_name("NORTHERN QUIZ CLUB ");
    if (match % 4 == 3 && !long_names) team = coach = long_name("Extraordinarily ");
    if (match % 4 == 0 && !long_names) chair = long_name("Maximiliana Oberholzer ");
    const std::string_view header[] = {number, team,  coach, number, team,  coach, chair, chair,
                                       chair,  chair, chair, chair,  chair, chair, chair, chair};
    std::vector<std::string_view> cells(sheet_cells);
    if (completed) cells[red_total_cell] = total;
    if (completed && match % 5 == 0) cells[sheet_cells - 1] = "GH";
    std::string html;
    append_match_sheet(html, header, cells);
    return html;
}

GtkWidget* web_view_in(GtkWidget* root) {
    if (WEBKIT_IS_WEB_VIEW(root)) return root;
    GtkWidget* found = nullptr;
    GList* children = GTK_IS_CONTAINER(root) ? gtk_container_get_children(GTK_CONTAINER(root)) : nullptr;
    for (GList* child = children; child && !found; child = child->next) found = web_view_in(GTK_WIDGET(child->data));
    g_list_free(children);
    return found;
}

// Waits, in frames, until the page has taken in the rows of the sheets that came near.
constexpr const char* frames = "for (let k = 0; k < 3; ++k) await new Promise((r) => requestAnimationFrame(r));";

// The page in a web view of the window, answering the Matches screen's requests as the native side would for a
// contest with completed_sheets completed sheets and the next one open.
class MatchSheets : public ::testing::Test {
protected:
    MatchSheets() : desktop(1040, 700) {
        desktop.window->show();
        platform::create_web_view_environment([&](bool, auto environment) {
            environment->create_controller(*desktop.window, [&](bool, auto made) { controller = made; });
        });
        EXPECT_TRUE(desktop.pump_until([&] { return controller != nullptr; }));
        view = controller->core_web_view();
        web = WEBKIT_WEB_VIEW(web_view_in(desktop.window->content_area()));
        // Any other request succeeds with nothing.
        view->add_web_message_received([&](std::u16string_view message) {
            const std::string text(message.begin(), message.end());
            const auto colon = text.find(':'), second = text.find(':', colon + 1);
            const std::string name = text.substr(colon + 1, second - colon - 1);
            std::string reply = text.substr(0, colon + 1);
            if (name == "n_completed_matches") reply += std::to_string(completed_sheets);
            if (name == "fetch_completed_match") reply += sheet(std::stoi(text.substr(second + 1)), true, long_names);
            if (name == "fetch_next_match") reply += sheet(completed_sheets + 1, false, long_names);
            view->post_web_message_as_string(std::u16string(reply.begin(), reply.end()));
        });
    }

    // Runs an async function body in the page; answers what it returns.
    std::string run(const std::string& body) {
        std::string answer;
        bool done = false;
        auto finished = std::pair{&answer, &done};
        webkit_web_view_call_async_javascript_function(
            web, body.c_str(), -1, nullptr, nullptr, nullptr, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                auto [text, ended] = *static_cast<decltype(finished)*>(data);
                if (JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source),
                                                                                            result, nullptr)) {
                    gchar* string = jsc_value_to_string(value);
                    *text = string;
                    g_free(string);
                    g_object_unref(value);
                }
                *ended = true;
            },
            &finished);
        EXPECT_TRUE(desktop.pump_until([&] { return done; }, std::chrono::seconds(40)));
        return answer;
    }

    // Loads the page, opens a contest and shows the Matches screen with every sheet.
    void open_matches() {
        view->navigate_to_string(g_page_html);
        ASSERT_TRUE(
            desktop.pump_until([&] { return run("return !!document.getElementById('match-tables');") == "true"; }));
        ASSERT_EQ(run("document.getElementById('contest-name-inp').value = 'Cup';"
                      "document.getElementById('create-contest-btn').click();"
                      "const name = document.getElementById('contest-name');"
                      "while (name.textContent !== 'Cup') await new Promise((r) => setTimeout(r, 20));"
                      "document.querySelector('nav a[data-page=matches]').click();"
                      "const tables = document.getElementById('match-tables');"
                      "while (tables.children.length <= 40) await new Promise((r) => setTimeout(r, 20));"
                      "return tables.children.length;"),
                  "41");
    }

    // Opens the page's find field, if it is not open, and searches for the text; answers the count it shows.
    std::string find(const std::string& text) {
        return run("const text = '" + text +
                   "';"
                   "window.dispatchEvent(new KeyboardEvent('keydown', { key: 'f', ctrlKey: true }));"
                   "const field = document.getElementById('find-inp'), count = "
                   "document.getElementById('find-count');"
                   "field.value = text; field.dispatchEvent(new Event('input'));"
                   "while (count.textContent === '') await new Promise((r) => setTimeout(r, 20));"
                   "return count.textContent;");
    }

    void expect_in_sight();

    DesktopWindow desktop;
    std::shared_ptr<platform::WebViewController> controller;
    std::shared_ptr<platform::WebView> view;
    WebKitWebView* web = nullptr;
    bool long_names = false;
};

}  // namespace

TEST_F(MatchSheets, StayWhereTheyAreAtEveryZoomAndAreFoundAndCopiedFarFromTheView) {
    controller->put_bounds({0, 0, 1000, 700});
    open_matches();

    // The page's own find counts what far sheets hold aside, and leaves them far.
    EXPECT_EQ(find("1340"), "1 of 1");
    EXPECT_EQ(find("Match 3"), "1 of 11");  // 3 and 30 to 39, each in its head
    EXPECT_EQ(find("1341"), "No matches");
    EXPECT_EQ(run("return document.getElementById('match-20').childElementCount;"), "0");
    run("document.getElementById('find-close-btn').click();");

    // A copy of the whole page reads the far sheets' rows as the web view reads them shown, long names and
    // tie-breaks included.
    EXPECT_EQ(run("getSelection().selectAllChildren(document.body); const data = new DataTransfer();"
                  "document.dispatchEvent(new ClipboardEvent('copy', { clipboardData: data, cancelable: true }));"
                  "window.dispatchEvent(new Event('beforeprint')); const whole = String(getSelection());"
                  "window.dispatchEvent(new Event('afterprint')); getSelection().removeAllRanges();"
                  "return whole.includes('1320') && data.getData('text/plain') === whole;"),
              "true");

    // Where the view is, and which sheets start elsewhere in the list than they did when it was first asked
    // (by more than the reading's own rounding).
    const std::string layout = std::string(frames) +
                               "const list = document.getElementById('match-tables').getBoundingClientRect();"
                               "const sheets = [...document.querySelectorAll('match-table')];"
                               "const tops = sheets.map((sheet) => sheet.getBoundingClientRect().top - list.top);"
                               "window.firstTops = window.firstTops || tops;"
                               "return document.querySelector('main').scrollTop + ' ' + sheets.filter((sheet, k) => "
                               "  Math.abs(tops[k] - firstTops[k]) > 0.05).map((sheet) => sheet.id);";
    // Every sheet whole at once, as for printing: where it stands, its box is as tall as what it holds.
    const std::string misfits =
        "window.dispatchEvent(new Event('beforeprint'));"
        "const misfits = [...document.querySelectorAll('match-table')].filter((sheet) => {"
        "  const bottoms = [...sheet.querySelectorAll(':scope > table:not(.hidden)')].map((t) => "
        "t.getBoundingClientRect().bottom);"
        "  return Math.abs(Math.max(...bottoms) - sheet.getBoundingClientRect().bottom) > 1;"
        "});"
        "window.dispatchEvent(new Event('afterprint'));"
        "return misfits.map((sheet) => sheet.id).join(' ');";
    for (const double zoom : {0.5, 0.67, 1.0, 1.1, 2.0}) {
        SCOPED_TRACE(zoom);
        webkit_web_view_set_zoom_level(web, zoom);
        ASSERT_EQ(run("document.querySelector('main').scrollTop = 0; window.firstTops = null;" + layout), "0 ");
        EXPECT_EQ(run(misfits), "");
        // Scrolled onto, each sheet lands at the top of the view.
        for (const char* id : {"match-40", "match-17", "match-33", "match-2", "match-25"}) {
            EXPECT_EQ(run("const sheet = document.getElementById('" + std::string(id) + "'); sheet.scrollIntoView();" +
                          frames +
                          "return Math.abs(sheet.getBoundingClientRect().top - "
                          "document.querySelector('main').getBoundingClientRect().top) <= 2;"),
                      "true")
                << id;
        }
        // Paging down the whole list moves the view by the page and nothing else.
        for (int top = 0;; top += 8000) {
            const std::string at = run("document.querySelector('main').scrollTop = " + std::to_string(top) +
                                       "; return document.querySelector('main').scrollTop;");
            EXPECT_EQ(run(layout), at + " ") << top;
            if (std::stod(at) < top) break;  // the end of the list
        }
    }
}

namespace {

// At every zoom that Ctrl+plus and Ctrl+minus give, in the window's two usual sizes: the cell that has the keys
// after Tab into the open sheet, on through it and back, and the current find match of a head's first line after a
// search that moved the view, lie wholly in view, under no other sheet's head and clear of the find field.
void MatchSheets::expect_in_sight() {
    open_matches();
    GtkWidget* widget = GTK_WIDGET(web);
    run("window.keysSeen = 0; addEventListener('keydown', () => ++keysSeen, true);");
    int keys = 0;
    // Presses the key the times given and waits until the page has seen them all.
    const auto press_keys = [&](unsigned key, unsigned modifiers, int times) {
        for (int k = 0; k < times; ++k) press(widget, key, modifiers);
        keys += times;
        EXPECT_TRUE(desktop.pump_until([&] { return run("return keysSeen") == std::to_string(keys); }));
    };
    // What hides the cell that has the keys ("keys") or the current find match ("match"), as the page tests tell it.
    std::ifstream file(PELLUCAN_SOURCE_DIR "/tests/page/hidden_by.js");
    const std::string hidden_by(std::istreambuf_iterator<char>(file), {});
    const auto hidden = [&](const char* what) { return run("return (" + hidden_by + ")('" + what + "');"); };
    for (const auto& [width, height] : {std::pair{1040, 640}, std::pair{800, 600}}) {
        controller->put_bounds({0, 0, width, height});
        // From 100 %, Ctrl+minus five times; then Ctrl+0, and Ctrl+plus three times and twice more.
        for (const auto& [zoom, key, times] : {std::tuple{0.5, GDK_KEY_minus, 5}, std::tuple{1.0, GDK_KEY_0, 1},
                                               std::tuple{1.5, GDK_KEY_plus, 3}, std::tuple{2.0, GDK_KEY_plus, 2}}) {
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " at " + std::to_string(zoom));
            for (int k = 0; k < times; ++k) press(widget, key, GDK_CONTROL_MASK);
            ASSERT_DOUBLE_EQ(webkit_web_view_get_zoom_level(web), zoom);
            ASSERT_TRUE(desktop.pump_until([&] {
                return run("return Math.abs(innerWidth * " + std::to_string(zoom) + " - " + std::to_string(width) +
                           ") < 2") == "true";
            }));
            run("document.querySelector('main').scrollTop = 0; document.activeElement.blur();");
            // Into the open sheet, on through it, and back up to its first cell.
            for (const auto& [tab, modifiers, count] :
                 {std::tuple{GDK_KEY_Tab, 0u, 1}, std::tuple{GDK_KEY_Tab, 0u, 13}, std::tuple{GDK_KEY_Tab, 0u, 43},
                  std::tuple{GDK_KEY_ISO_Left_Tab, unsigned{GDK_SHIFT_MASK}, 56}}) {
                press_keys(tab, modifiers, count);
                EXPECT_EQ(hidden("keys"), "") << count << " Tab";
            }
            EXPECT_EQ(run("return document.activeElement.closest('match-table')?.id"), "match-41");
            // A far total moves the view; then the texts of heads' first lines.
            for (const char* text : {"1305", "Match 1", long_names ? "NORTHERN" : "Owls"}) {
                find(text);
                if (text[0] != '1') {
                    EXPECT_EQ(hidden("match"), "") << text;
                }
            }
            press(widget, GDK_KEY_Escape);
            EXPECT_TRUE(desktop.pump_until([&] {
                return run("return document.getElementById('find-form').classList.contains('hidden')") == "true";
            }));
            EXPECT_EQ(hidden("keys"), "") << "the keys back from find";
        }
        press(widget, GDK_KEY_0, GDK_CONTROL_MASK);
    }
}

}  // namespace

TEST_F(MatchSheets, KeepTheCellWithTheKeysAndTheCurrentMatchInSightAtEveryZoom) { expect_in_sight(); }

TEST_F(MatchSheets, KeepTheCellWithTheKeysAndTheCurrentMatchInSightAtEveryZoomWithLongNames) {
    long_names = true;
    expect_in_sight();
}
