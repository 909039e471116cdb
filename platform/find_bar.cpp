#include "platform/find_bar.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <deque>
#include <string>

// Built from platform/find_bar.js.
extern const std::string_view find_bar_js;

namespace platform {

// A key press as the window got it.
struct KeyPress {
    guint32 time;
    guint keyval;
    guint16 code;
    bool operator==(const KeyPress&) const = default;
};

struct FindBar::State {
    WebKitWebView* view = nullptr;    // our reference
    GtkWidget* bar = nullptr;         // our reference
    GtkWidget* entry = nullptr;       // our reference
    GtkWidget* count = nullptr;       // our reference
    int match_count = -1;             // of the search text; -1 until counted
    int current_match = 0;            // counted from 1 in page order; 0 when no match is the current one
    bool keep_text_selected = false;  // from Ctrl+F until the user acts in the entry
    // The user has been at work in the page since the last search, which may have moved the page's
    // selection, where WebKit goes on finding from.
    bool page_used = true;
    // From Ctrl+F in the page until the page has taken it, after every key typed before it: until then, no
    // search or call may overtake those keys on their way to the page.
    bool page_to_answer = false;
    std::string text_at_open;  // what the entry held at that Ctrl+F
    // The last key presses that the view handed to the page. WebKit answers a key that the page leaves alone
    // by handing it once more to the window's focus widget, and the view lets the next key it gets go past the
    // page unless that was the one. When the bar took the keys meanwhile, the bar gets it instead.
    std::deque<KeyPress> to_page;
};

namespace {

using State = FindBar::State;

constexpr auto find_options = WebKitFindOptions(WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND);
// WebKit takes about as long for each match it counts or marks as for a whole search, some 14 ms on the Matches
// screen of a 128-team contest: the first letters typed, found thousands of times there, would hold the page
// for minutes. Beyond this many matches the bar says only that there are more.
constexpr guint most_matches = 100;

// The script world of find_bar.js, and the channel through which it tells the bar that the page changed.
constexpr const char* helper_world = "find-bar";
constexpr const char* helper_channel = "findBar";

WebKitFindController* finder(State& state) { return webkit_web_view_get_find_controller(state.view); }

// Calls find_bar.js; nothing waits for the answer.
void call_helper(State& state, const char* call) {
    webkit_web_view_evaluate_javascript(state.view, call, -1, helper_world, nullptr, nullptr, nullptr, nullptr);
}

const char* search_text(State& state) { return gtk_entry_get_text(GTK_ENTRY(state.entry)); }

void show_match_count(State& state) {
    std::string text;
    if (*search_text(state) && state.match_count == 0)
        text = "No matches";
    else if (state.match_count > int(most_matches))
        text = "More than " + std::to_string(most_matches) + " matches";
    else if (state.match_count > 0 && state.current_match > 0)
        text = std::to_string(state.current_match) + " of " + std::to_string(state.match_count);
    else if (state.match_count > 0)
        text = std::to_string(state.match_count) + (state.match_count == 1 ? " match" : " matches");
    gtk_label_set_text(GTK_LABEL(state.count), text.c_str());
}

// Marks every match and makes the first in the page the current one. WebKit starts where the page's
// selection is, so the selection goes first. The count goes before the search, since a count after it
// takes the marks off every match but the current one.
void search_from_top(State& state) {
    state.match_count = -1;
    state.current_match = 1;
    state.page_used = false;
    if (*search_text(state)) {
        call_helper(state, "findBar.clearSelection()");
        webkit_find_controller_count_matches(finder(state), search_text(state), find_options, most_matches);
        webkit_find_controller_search(finder(state), search_text(state), find_options, most_matches);
    } else {
        webkit_find_controller_search_finish(finder(state));
    }
    show_match_count(state);
}

void go_to_match(State& state, int direction) {
    if (state.page_to_answer) return;
    // Where the user has been at work, no one knows which match WebKit would find next.
    if (state.page_used || state.current_match == 0) return search_from_top(state);
    if (state.match_count <= 0) return;
    if (direction > 0) {
        webkit_find_controller_search_next(finder(state));
        state.current_match = state.current_match % state.match_count + 1;
    } else {
        webkit_find_controller_search_previous(finder(state));
        state.current_match = (state.current_match + state.match_count - 2) % state.match_count + 1;
    }
    show_match_count(state);
}

// The entry reports a change about 150 ms after the last key, also once the bar is gone.
void on_search_changed(GtkSearchEntry*, gpointer data) {
    auto& state = *static_cast<State*>(data);
    if (gtk_widget_get_visible(state.bar) && !state.page_to_answer) search_from_top(state);
}
void on_next_match(GtkSearchEntry*, gpointer data) { go_to_match(*static_cast<State*>(data), +1); }
void on_previous_match(GtkSearchEntry*, gpointer data) { go_to_match(*static_cast<State*>(data), -1); }

void on_counted_matches(WebKitFindController*, guint count, gpointer data) {
    auto& state = *static_cast<State*>(data);
    if (!gtk_widget_get_visible(state.bar)) return;
    // WebKit answers G_MAXUINT for more than most_matches.
    state.match_count = static_cast<int>(std::min(count, most_matches + 1));
    state.current_match = std::min(state.current_match, state.match_count);
    show_match_count(state);
}

// Escape or the close button: the bar goes, the marks with it. When the bar had the keys, they go back to
// the page with its caret and selection where they were.
void on_stop_search(GtkSearchEntry*, gpointer data) {
    auto& state = *static_cast<State*>(data);
    const bool bar_had_keys = gtk_widget_is_focus(state.entry);
    // Before the page took Ctrl+F, nothing touched its caret, and a call would overtake the keys before it.
    const bool caret_moved = !state.page_to_answer;
    state.page_to_answer = false;
    gtk_widget_hide(state.bar);
    call_helper(state, "findBar.watch(false)");
    webkit_find_controller_search_finish(finder(state));
    if (!bar_had_keys) return;
    gtk_widget_grab_focus(GTK_WIDGET(state.view));
    if (caret_moved) call_helper(state, "findBar.giveBack()");
}

void show_bar(State& state) {
    if (!gtk_widget_get_visible(state.bar)) {
        gtk_widget_show(state.bar);
        call_helper(state, "findBar.watch(true)");
    }
    gtk_widget_grab_focus(state.entry);
    gtk_editable_select_region(GTK_EDITABLE(state.entry), 0, -1);  // so that typing replaces it
    state.keep_text_selected = true;
}

// The bar takes the keys from the page: the page's caret is kept for when they go back, and what the bar
// holds is searched again, in the page as it is now.
void on_entry_focus(GObject*, GParamSpec*, gpointer data) {
    auto& state = *static_cast<State*>(data);
    if (!gtk_widget_is_focus(state.entry) || !state.page_used || state.page_to_answer) return;
    call_helper(state, "findBar.keep()");
    search_from_top(state);
}

void on_view_focus(GObject* view, GParamSpec*, gpointer data) {
    if (gtk_widget_is_focus(GTK_WIDGET(view))) static_cast<State*>(data)->page_used = true;
}

gboolean on_view_button(GtkWidget*, GdkEventButton*, gpointer data) {
    static_cast<State*>(data)->page_used = true;
    return FALSE;
}

// Whether the key is one that WebKit hands back from the page; forgets it.
bool handed_back(State& state, const GdkEventKey* event) {
    const auto at = std::find(state.to_page.begin(), state.to_page.end(),
                              KeyPress{event->time, event->keyval, event->hardware_keycode});
    if (at == state.to_page.end()) return false;
    state.to_page.erase(at);
    return true;
}

void remember_key(State& state, const GdkEventKey* event) {
    state.to_page.push_back({event->time, event->keyval, event->hardware_keycode});
    if (state.to_page.size() > 16) state.to_page.pop_front();  // those the page took are never handed back
}

// Keys that the page handles may move its caret; those that the view takes for itself (F3) never reach here.
gboolean on_view_key(GtkWidget*, GdkEventKey* event, gpointer data) {
    auto& state = *static_cast<State*>(data);
    if (handed_back(state, event)) return FALSE;
    remember_key(state, event);
    if (!event->is_modifier) state.page_used = true;
    return FALSE;
}

// The page changed while the bar is open: the matches are counted again, and the current match stays, since
// a search would move the page's caret, or go from the top of the page. With the keys in the page, the user
// may have moved the page's selection, so no match is the current one any more.
void on_page_changed(State& state) {
    if (!gtk_widget_get_visible(state.bar) || !*search_text(state) || state.page_to_answer) return;
    if (!gtk_widget_is_focus(state.entry)) {
        state.page_used = true;
        state.current_match = 0;
    }
    webkit_find_controller_count_matches(finder(state), search_text(state), find_options, most_matches);
}

// The page took Ctrl+F, with every key typed before it, kept its caret and told its selection: that fills
// the bar unless the user typed first, and what the bar holds is searched, unless the keys went back to the
// page meanwhile.
void on_page_answer(State& state, const char* selected) {
    if (!state.page_to_answer) return;
    state.page_to_answer = false;
    if (!gtk_widget_is_focus(state.entry)) return;
    if (*selected && state.text_at_open == search_text(state)) {
        gtk_entry_set_text(GTK_ENTRY(state.entry), selected);  // searched once the entry reports the change
        gtk_editable_select_region(GTK_EDITABLE(state.entry), 0, -1);
    } else {
        search_from_top(state);
    }
}

void on_page_message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    auto& state = *static_cast<State*>(data);
    gchar* text = jsc_value_to_string(webkit_javascript_result_get_js_value(result));
    if (g_str_has_prefix(text, "find:"))
        on_page_answer(state, text + 5);
    else
        on_page_changed(state);
    g_free(text);
}

// Enter and F3 go to the next match, with Shift to the previous one; Ctrl+F selects the text again.
gboolean on_key_press(GtkWidget*, GdkEventKey* event, gpointer data) {
    auto& state = *static_cast<State*>(data);
    // A key typed in the page before the bar took the keys, that the page left alone: the view is done with it,
    // else the view would keep the next key typed in the page from it.
    if (handed_back(state, event)) {
        GTK_WIDGET_GET_CLASS(state.view)->key_press_event(GTK_WIDGET(state.view), event);
        return TRUE;
    }
    if (!event->is_modifier) state.keep_text_selected = false;
    const guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    switch (gdk_keyval_to_lower(event->keyval)) {
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
        case GDK_KEY_F3:
            if (modifiers & ~GDK_SHIFT_MASK) return FALSE;
            go_to_match(state, modifiers ? -1 : +1);
            return TRUE;
        case GDK_KEY_f:
            if (modifiers != GDK_CONTROL_MASK) return FALSE;
            show_bar(state);
            return TRUE;
        default:
            return FALSE;
    }
}

gboolean on_button_press(GtkWidget*, GdkEventButton*, gpointer data) {
    static_cast<State*>(data)->keep_text_selected = false;
    return FALSE;
}

// A match selected in the page takes the X primary selection, and with it the entry's selection; until
// the user acts, the text stays selected so that typing replaces it.
void on_selection_bound(GObject* entry, GParamSpec*, gpointer data) {
    if (static_cast<State*>(data)->keep_text_selected &&
        !gtk_editable_get_selection_bounds(GTK_EDITABLE(entry), nullptr, nullptr))
        gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
}

// A button asks the entry, which handles the keys the same way.
void add_button(GtkWidget* row, GtkWidget* entry, const char* icon, const char* tooltip, const char* entry_signal,
                bool at_end) {
    GtkWidget* button = gtk_button_new_from_icon_name(icon, GTK_ICON_SIZE_BUTTON);
    gtk_widget_set_tooltip_text(button, tooltip);
    gtk_widget_set_can_focus(button, FALSE);  // the entry alone takes keys, and it has a key for each button
    g_object_set_data(G_OBJECT(button), "entry-signal", const_cast<char*>(entry_signal));
    g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton* clicked, gpointer target) {
                         g_signal_emit_by_name(
                             target, static_cast<const char*>(g_object_get_data(G_OBJECT(clicked), "entry-signal")));
                     }),
                     entry);
    (at_end ? gtk_box_pack_end : gtk_box_pack_start)(GTK_BOX(row), button, FALSE, FALSE, 0);
}

}  // namespace

FindBar::FindBar(WebKitWebView* view) : state_(std::make_unique<State>()) {
    State& state = *state_;
    state.view = WEBKIT_WEB_VIEW(g_object_ref(view));
    state.entry = GTK_WIDGET(g_object_ref_sink(gtk_search_entry_new()));
    gtk_widget_set_name(state.entry, "find-entry");
    gtk_entry_set_width_chars(GTK_ENTRY(state.entry), 30);
    state.count = GTK_WIDGET(g_object_ref_sink(gtk_label_new("")));
    gtk_widget_set_name(state.count, "find-count");
    gtk_label_set_width_chars(GTK_LABEL(state.count), 12);

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(row), 4);
    gtk_box_pack_start(GTK_BOX(row), state.entry, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), state.count, FALSE, FALSE, 0);
    add_button(row, state.entry, "go-up-symbolic", "Previous match (Shift+Enter)", "previous-match", false);
    add_button(row, state.entry, "go-down-symbolic", "Next match (Enter)", "next-match", false);
    add_button(row, state.entry, "window-close-symbolic", "Close (Escape)", "stop-search", true);

    g_signal_connect(state.entry, "search-changed", G_CALLBACK(on_search_changed), &state);
    g_signal_connect(state.entry, "next-match", G_CALLBACK(on_next_match), &state);
    g_signal_connect(state.entry, "previous-match", G_CALLBACK(on_previous_match), &state);
    g_signal_connect(state.entry, "stop-search", G_CALLBACK(on_stop_search), &state);
    g_signal_connect(state.entry, "key-press-event", G_CALLBACK(on_key_press), &state);
    g_signal_connect(state.entry, "button-press-event", G_CALLBACK(on_button_press), &state);
    g_signal_connect(state.entry, "notify::selection-bound", G_CALLBACK(on_selection_bound), &state);
    g_signal_connect(state.entry, "notify::is-focus", G_CALLBACK(on_entry_focus), &state);
    g_signal_connect(finder(state), "counted-matches", G_CALLBACK(on_counted_matches), &state);
    g_signal_connect(view, "notify::is-focus", G_CALLBACK(on_view_focus), &state);
    g_signal_connect(view, "button-press-event", G_CALLBACK(on_view_button), &state);
    g_signal_connect(view, "key-press-event", G_CALLBACK(on_view_key), &state);

    // The helper comes with every page the view loads.
    WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(view);
    const std::string helper(find_bar_js);
    WebKitUserScript* script =
        webkit_user_script_new_for_world(helper.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                         WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, helper_world, nullptr, nullptr);
    webkit_user_content_manager_add_script(manager, script);
    webkit_user_script_unref(script);
    const std::string signal = std::string("script-message-received::") + helper_channel;
    g_signal_connect(manager, signal.c_str(), G_CALLBACK(on_page_message), &state);
    webkit_user_content_manager_register_script_message_handler_in_world(manager, helper_channel, helper_world);

    state.bar = GTK_WIDGET(g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0)));
    gtk_box_pack_start(GTK_BOX(state.bar), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(state.bar), row, FALSE, FALSE, 0);
    gtk_widget_show_all(state.bar);
    gtk_widget_hide(state.bar);
    gtk_widget_set_no_show_all(state.bar, TRUE);
}

FindBar::~FindBar() {
    disconnect();
    g_object_unref(state_->bar);
    g_object_unref(state_->count);
    g_object_unref(state_->entry);
    g_object_unref(state_->view);
}

GtkWidget* FindBar::widget() const { return state_->bar; }

bool FindBar::is_open() const { return gtk_widget_get_visible(state_->bar); }

void FindBar::open(GdkEventKey* event) {
    State& state = *state_;
    if (!gtk_widget_is_focus(GTK_WIDGET(state.view))) return show_bar(state);
    // The page may not have taken every key typed before Ctrl+F yet; Ctrl+F follows them to the page, and the
    // bar waits for its answer before it touches the page.
    state.page_to_answer = true;
    state.text_at_open = search_text(state);
    state.match_count = -1;  // counted again once the page answers
    show_bar(state);
    show_match_count(state);
    remember_key(state, event);
    GTK_WIDGET_GET_CLASS(state.view)->key_press_event(GTK_WIDGET(state.view), event);
}

void FindBar::step(int direction) { go_to_match(*state_, direction); }

void FindBar::disconnect() {
    g_signal_handlers_disconnect_by_data(state_->entry, state_.get());
    g_signal_handlers_disconnect_by_data(finder(*state_), state_.get());
    g_signal_handlers_disconnect_by_data(state_->view, state_.get());
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(state_->view), state_.get());
}

}  // namespace platform
