#include "platform/web_view.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "shell/page.h"
#include "tests/desktop/desktop_support.h"
#include "tournament/match_sheet.h"

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
        return find_widget(desktop.window->content_area(),
                           [](GtkWidget* widget) { return WEBKIT_IS_WEB_VIEW(widget); });
    }

    static GtkWidget* find_widget(GtkWidget* root, const std::function<bool(GtkWidget*)>& wanted) {
        if (wanted(root)) return root;
        GtkWidget* found = nullptr;
        if (GTK_IS_CONTAINER(root)) {
            GList* children = gtk_container_get_children(GTK_CONTAINER(root));
            for (GList* child = children; child && !found; child = child->next)
                found = find_widget(GTK_WIDGET(child->data), wanted);
            g_list_free(children);
        }
        return found;
    }

    // Runs a function body in the page, with the arguments (a vardict, or null) as its variables; answers what
    // it returns, as text.
    std::string run_script(const char* body, GVariant* arguments = nullptr) {
        struct Result {
            bool done = false;
            std::string text;
        } result;
        webkit_web_view_call_async_javascript_function(
            WEBKIT_WEB_VIEW(web_widget()), body, -1, arguments, nullptr, nullptr, nullptr,
            [](GObject* source, GAsyncResult* async, gpointer data) {
                auto* answer = static_cast<Result*>(data);
                if (JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source),
                                                                                            async, nullptr)) {
                    gchar* text = jsc_value_to_string(value);
                    answer->text = text;
                    g_free(text);
                    g_object_unref(value);
                }
                answer->done = true;
            },
            &result);
        EXPECT_TRUE(desktop.pump_until([&] { return result.done; }));
        return result.text;
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

    // Quotes, backslashes, line breaks, markup and text outside ASCII need no escaping on either way, and a NUL
    // ends the text on neither.
    const std::u16string tricky =
        u"7:a \"quoted\" 'text' \\ back\nslash </script> ${x} \x1F Équipe 日本 😀" + std::u16string(1, u'\0') + u"more";
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

TEST_F(WebViewTest, ShowsScrollbarsThatTakeTheirOwnRoom) {
    controller->put_bounds({0, 0, 500, 300});
    view->navigate_to_string(R"(<!DOCTYPE html><div id="box" style="overflow-y: auto; height: 100px">
<div style="height: 1000px"></div></div><script>window.chrome.webview.postMessage('ready');</script>)");
    ASSERT_TRUE(wait_for_messages(1));
    // An overlay scrollbar takes none, and fades in and out after every scroll.
    EXPECT_NE(run_script("const box = document.getElementById('box'); return box.offsetWidth - box.clientWidth;"), "0");
}

namespace {

// The dialog shown over the window, or null.
GtkDialog* shown_dialog() {
    GtkDialog* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item && !found; item = item->next)
        if (GTK_IS_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data))) found = GTK_DIALOG(item->data);
    g_list_free(windows);
    return found;
}

bool press_with_control(GtkWidget* widget, guint key) { return press(widget, key, GDK_CONTROL_MASK); }

void type_keys(GtkWidget* widget, const char* text) {
    for (const char* key = text; *key; ++key) press(widget, gdk_unicode_to_keyval(static_cast<guint>(*key)));
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

    // Ctrl+P shows the print dialog over the window, within the screen's work area; cancelling it ends the
    // key's handling.
    struct Seen {
        bool dialog = false;
        GtkWindow* owner = nullptr;
        bool fits = false;
    } seen;
    const GSourceFunc cancel_when_shown = [](gpointer data) -> gboolean {
        auto* found = static_cast<Seen*>(data);
        GtkDialog* dialog = shown_dialog();
        if (!dialog) return G_SOURCE_CONTINUE;
        found->dialog = true;
        found->owner = gtk_window_get_transient_for(GTK_WINDOW(dialog));
        GdkRectangle area, frame;
        GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(dialog));
        gdk_monitor_get_workarea(gdk_display_get_monitor_at_window(gdk_window_get_display(window), window), &area);
        gdk_window_get_frame_extents(window, &frame);
        found->fits = gdk_rectangle_intersect(&area, &frame, nullptr) && frame.y >= area.y &&
                      frame.y + frame.height <= area.y + area.height;
        gtk_dialog_response(dialog, GTK_RESPONSE_CANCEL);
        return G_SOURCE_REMOVE;
    };
    g_timeout_add(300, cancel_when_shown, &seen);
    EXPECT_TRUE(press_with_control(web, GDK_KEY_p));
    EXPECT_TRUE(seen.dialog);
    EXPECT_EQ(GTK_WIDGET(seen.owner), desktop.toplevel());
    EXPECT_TRUE(seen.fits);
}

TEST_F(WebViewTest, GivesThePageEveryKeyInTheOrderTypedAroundCtrlFHoweverBusyThePage) {
    GtkWidget* top = desktop.toplevel();
    gtk_widget_grab_focus(web_widget());
    view->navigate_to_string(g_page_html);
    // Ctrl+F before the page has loaded does nothing, and leaves nothing behind.
    press_with_control(top, GDK_KEY_f);
    const auto value_of = [&](const char* id) {
        return run_script((std::string("return document.getElementById('") + id + "')?.value ?? ''").c_str());
    };
    ASSERT_TRUE(desktop.pump_until(
        [&] { return run_script("return document.activeElement?.id ?? ''") == "contest-name-inp"; }));
    EXPECT_EQ(run_script("return document.getElementById('find-form').className"), "no-print hidden");

    // The page is held for half a second while twenty letters, Ctrl+F, a search, Escape and two letters more come:
    // each key lands where the keys were when it was typed, and the search counts in the page.
    run_script("setTimeout(() => { for (const end = performance.now() + 500; performance.now() < end;); })");
    type_keys(top, "abcdefghijklmnopqrst");
    press_with_control(top, GDK_KEY_f);
    type_keys(top, "contest");
    EXPECT_TRUE(desktop.pump_until(
        [&] { return run_script("return document.getElementById('find-count').textContent") == "1 of 6"; }));
    press(top, GDK_KEY_Escape);
    type_keys(top, "uv");
    EXPECT_TRUE(desktop.pump_until([&] { return value_of("contest-name-inp") == "abcdefghijklmnopqrstuv"; }))
        << value_of("contest-name-inp");
    EXPECT_EQ(value_of("find-inp"), "contest");
    EXPECT_EQ(run_script("return CSS.highlights.size"), "0");
}

TEST_F(WebViewTest, KeepsThePageItWasGivenAndOffersNoWayAway) {
    view->navigate_to_string(echo_page);
    ASSERT_TRUE(wait_for_messages(1));

    // A right click on the page: its menu, as the view would show it, has no Back, Forward, Stop or Reload.
    struct Menu {
        bool shown = false;
        std::vector<WebKitContextMenuAction> actions;
        std::string last;
    } menu;
    GtkWidget* web = web_widget();
    const gulong listener = g_signal_connect(
        web, "context-menu",
        G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu* items, GdkEvent*, WebKitHitTestResult*, gpointer data) {
            auto* seen = static_cast<Menu*>(data);
            for (GList* item = webkit_context_menu_get_items(items); item; item = item->next) {
                auto* entry = static_cast<WebKitContextMenuItem*>(item->data);
                seen->actions.push_back(webkit_context_menu_item_get_stock_action(entry));
                GAction* action = webkit_context_menu_item_get_gaction(entry);
                seen->last = action ? g_action_get_name(action) : "";
            }
            seen->shown = true;
            return TRUE;  // not on the screen
        }),
        &menu);
    for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
        GdkEvent* click = gdk_event_new(type);
        click->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(web)));
        click->button.button = GDK_BUTTON_SECONDARY;
        click->button.x = click->button.y = 100;
        click->button.time = GDK_CURRENT_TIME;
        gdk_event_set_device(click, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
        gtk_widget_event(web, click);
        gdk_event_free(click);
    }
    ASSERT_TRUE(desktop.pump_until([&] { return menu.shown; }));
    g_signal_handler_disconnect(web, listener);
    // On a plain part of the page that leaves Print… alone, with no separator around it.
    EXPECT_EQ(menu.actions, std::vector<WebKitContextMenuAction>{WEBKIT_CONTEXT_MENU_ACTION_CUSTOM});
    EXPECT_EQ(menu.last, "print");

    // Nor can a script or a link take the page away.
    // Every decision that the view asks for, counted as it is asked.
    static int decisions;
    decisions = 0;
    const guint signal = g_signal_lookup("decide-policy", WEBKIT_TYPE_WEB_VIEW);
    const gulong hook = g_signal_add_emission_hook(
        signal, 0, [](GSignalInvocationHint*, guint, const GValue*, gpointer) -> gboolean { return ++decisions > 0; },
        nullptr, nullptr);

    int asked = 0;
    for (const char* leave : {"location.reload()", "location.href = 'about:blank'",
                              "document.body.appendChild(Object.assign(document.createElement('a'), "
                              "{href: 'https://example.com/'})).click()"}) {
        run_script(leave);
        ASSERT_TRUE(desktop.pump_until([&] { return decisions > asked; })) << leave;
        asked = decisions;
        // Had the page gone, the echo would not come back from it, or a new page would say "ready" first.
        const std::size_t before = received.size();
        view->post_web_message_as_string(u"after");
        ASSERT_TRUE(wait_for_messages(before + 1)) << leave;
        EXPECT_EQ(received.back(), u"echo:after") << leave;
    }
    g_signal_remove_emission_hook(signal, hook);
    EXPECT_EQ(received.size(), 4u);  // one "ready" only
}

namespace {

// Runs a program and answers what it wrote to its standard output.
std::string run(std::vector<std::string> command) {
    std::vector<gchar*> argv;
    for (std::string& part : command) argv.push_back(part.data());
    argv.push_back(nullptr);
    gchar* out = nullptr;
    gint status = 0;
    EXPECT_TRUE(g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out, nullptr,
                             &status, nullptr));
    EXPECT_EQ(status, 0) << command[0];
    std::string text = out ? out : "";
    g_free(out);
    return text;
}

// One printed page: its text, the paper's size, how near the ink comes to the paper's edge (in points), and
// the longest run of dots in the hover shade of a sheet's row (#e7e7e7).
struct PrintedPage {
    std::string text;
    double width = 0;
    double height = 0;
    double ink_to_edge = 0;
    int hover_shade = 0;
};

std::vector<PrintedPage> read_pdf(const std::filesystem::path& pdf) {
    constexpr int dots_per_point = 2;
    const std::filesystem::path images = pdf.parent_path() / "page";
    run({"pdftoppm", "-gray", "-r", std::to_string(72 * dots_per_point), pdf, images});
    std::istringstream texts(run({"pdftotext", "-layout", pdf, "-"}));
    std::vector<PrintedPage> pages;
    for (std::string text; std::getline(texts, text, '\f');) {
        // A binary PGM: "P5", width, height, maximum, one white-space character, then a byte per dot.
        std::ifstream image(images.string() + "-" + std::to_string(pages.size() + 1) + ".pgm", std::ios::binary);
        std::string magic;
        int width = 0, height = 0, maximum = 0;
        if (!(image >> magic >> width >> height >> maximum)) break;
        image.get();
        const std::vector<unsigned char> dots{std::istreambuf_iterator<char>(image), {}};
        int near = std::min(width, height);
        int shade = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0, run = 0; x < width; ++x) {
                const int dot = dots.at(std::size_t(y) * width + x);
                if (dot < 240) near = std::min({near, x, y, width - 1 - x, height - 1 - y});
                run = std::abs(dot - 0xe7) <= 2 ? run + 1 : 0;
                shade = std::max(shade, run);
            }
        }
        pages.push_back({text, double(width) / dots_per_point, double(height) / dots_per_point,
                         double(near) / dots_per_point, shade});
    }
    return pages;
}

std::size_t occurrences(std::string_view text, std::string_view word) {
    std::size_t found = 0;
    for (auto at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) ++found;
    return found;
}

// Moves the pointer to x, y on the widget, as the mouse does.
void move_pointer(GtkWidget* widget, double x, double y) {
    GdkEvent* event = gdk_event_new(GDK_MOTION_NOTIFY);
    event->motion.x = x;
    event->motion.y = y;
    event->motion.time = GDK_CURRENT_TIME;
    deliver(widget, event, gdk_seat_get_pointer(seat()));
}

// A sheet as the native side renders it, with the given cells filled.
std::string sheet(std::string_view match, const std::vector<std::pair<std::size_t, std::string_view>>& filled) {
    const std::string_view header[] = {match, "Owls", "Ann", match, "Larks", "Bo", "O5", "O4",
                                       "O3",  "O2",   "O1",  "L1",  "L2",    "L3", "L4", "L5"};
    std::vector<std::string_view> cells(sheet_cells);
    for (const auto& [cell, text] : filled) cells[cell] = text;
    std::string html;
    append_match_sheet(html, header, cells);
    return html;
}

}  // namespace

TEST_F(WebViewTest, PrintsEachSheetOnOnePageWithinHalfInchMarginsWhateverPaperIsPicked) {
    GtkWidget* web = web_widget();
    controller->put_bounds({0, 0, 640, 400});
    bool loaded = false;
    g_signal_connect(web, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                         if (event == WEBKIT_LOAD_FINISHED) *static_cast<bool*>(data) = true;
                     }),
                     &loaded);
    view->navigate_to_string(g_page_html);
    ASSERT_TRUE(desktop.pump_until([&] { return loaded; }));

    // The Matches screen with match 1, whose tie-break was played, the open sheet of match 2, and the future
    // sheets of matches 3 and 4.
    const std::string sheets = sheet("1", {{red_total_cell, "15"},
                                           {white_total_cell, "15"},
                                           {red_tie_break_total_cell, "3"},
                                           {white_tie_break_total_cell, "1"}}) +
                               sheet("2", {});
    const std::string future = sheet("3", {}) + sheet("4", {});
    GVariantBuilder arguments;
    g_variant_builder_init(&arguments, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&arguments, "{sv}", "sheets", g_variant_new_string(sheets.c_str()));
    g_variant_builder_add(&arguments, "{sv}", "future", g_variant_new_string(future.c_str()));
    const std::string centre = run_script(
        "document.querySelectorAll('main > section').forEach((s) => s.classList.toggle('active', s.id === "
        "'matches'));"
        "const tables = document.getElementById('match-tables');"
        "tables.innerHTML = sheets;"
        "document.getElementById('future-matches-tables').innerHTML = future;"
        "tables.querySelector('#match-1 table.hidden').classList.remove('hidden');"
        "const cell = tables.querySelector('#match-1 tbody tr:nth-child(3) td');"
        "cell.scrollIntoView({block: 'center', inline: 'center'});"
        "const box = cell.getBoundingClientRect();"
        "return `${box.x + box.width / 2} ${box.y + box.height / 2}`;",
        g_variant_builder_end(&arguments));
    // The pointer is left over a row of match 1, which shades the row's number on screen.
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(centre.c_str(), "%lf %lf", &x, &y), 2) << centre;
    move_pointer(web, x, y);
    const char* const shade =
        "return getComputedStyle(document.querySelector('#match-1 tbody tr:nth-child(3) th')).backgroundColor;";
    ASSERT_TRUE(desktop.pump_until([&] { return run_script(shade) == "rgb(231, 231, 231)"; }));

    struct Paper {
        const char* name;
        double width, height;
    };
    gchar* made = g_dir_make_tmp("pellucan-print-XXXXXX", nullptr);
    ASSERT_NE(made, nullptr);
    const std::filesystem::path folder = made;
    g_free(made);
    for (const Paper paper : {Paper{GTK_PAPER_NAME_A4, 595.3, 841.9}, Paper{GTK_PAPER_NAME_LETTER, 612, 792}}) {
        SCOPED_TRACE(paper.name);
        const std::filesystem::path pdf = folder / (std::string(paper.name) + ".pdf");
        // In the print dialog: the paper is picked, which brings the printer's default margins of a quarter
        // inch, and the page goes to a file.
        struct Choice {
            const char* paper;
            std::string uri;
            bool made = false;
        } choice{paper.name, "file://" + pdf.string()};
        g_timeout_add(
            100,
            [](gpointer data) -> gboolean {
                auto* picked = static_cast<Choice*>(data);
                GtkDialog* dialog = shown_dialog();
                if (!dialog) return G_SOURCE_CONTINUE;
                if (!picked->made) {
                    GtkPrintSettings* settings = gtk_print_settings_new();
                    gtk_print_settings_set_printer(settings, "Print to File");
                    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, picked->uri.c_str());
                    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
                    GtkPaperSize* size = gtk_paper_size_new(picked->paper);
                    GtkPageSetup* setup = gtk_page_setup_new();
                    gtk_page_setup_set_paper_size_and_default_margins(setup, size);
                    g_object_set(dialog, "print-settings", settings, "page-setup", setup, nullptr);
                    g_object_unref(setup);
                    gtk_paper_size_free(size);
                    g_object_unref(settings);
                    picked->made = true;
                }
                // Never a real printer: only once the file is the printer.
                GObject* printer = nullptr;
                gchar* name = nullptr;
                g_object_get(dialog, "selected-printer", &printer, nullptr);
                if (printer) g_object_get(printer, "name", &name, nullptr);
                const bool to_file = g_strcmp0(name, "Print to File") == 0;
                g_free(name);
                if (printer) g_object_unref(printer);
                if (!to_file) return G_SOURCE_CONTINUE;
                gtk_dialog_response(dialog, GTK_RESPONSE_OK);
                return G_SOURCE_REMOVE;
            },
            &choice);
        ASSERT_TRUE(press_with_control(web, GDK_KEY_p));

        // The file is whole once its trailer is written.
        const auto written = [&] {
            std::ifstream file(pdf, std::ios::binary);
            const std::string text{std::istreambuf_iterator<char>(file), {}};
            return text.find("%%EOF", text.size() > 16 ? text.size() - 16 : 0) != std::string::npos;
        };
        ASSERT_TRUE(desktop.pump_until(written, std::chrono::seconds(30)));
        const auto pages = read_pdf(pdf);
        // Each sheet, completed, open or future, starts a page and ends on it; the tie-break shares its sheet's
        // page.
        ASSERT_EQ(pages.size(), 4u);
        for (std::size_t k = 0; k < pages.size(); ++k) {
            const std::string& text = pages[k].text;
            EXPECT_EQ(occurrences(text, "Match "), 1u) << k;
            EXPECT_NE(text.find("Match " + std::to_string(k + 1)), std::string::npos) << k;
            EXPECT_EQ(occurrences(text, "Initials"), k == 0 ? 2u : 1u) << k;
        }
        for (const PrintedPage& page : pages) {
            EXPECT_NEAR(page.width, paper.width, 1);
            EXPECT_NEAR(page.height, paper.height, 1);
            // Half an inch of margin (within a dot): the dialog's quarter inch is not used, and the page's own
            // margin does not add to it.
            EXPECT_GE(page.ink_to_edge, 35.5);
            EXPECT_LT(page.ink_to_edge, 54);
            EXPECT_LT(page.hover_shade, 20);  // what the pointer was over prints as it is, unshaded
        }
    }
    std::filesystem::remove_all(folder);
}
