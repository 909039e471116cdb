#include "platform/web_view.h"

#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/text_conversion.h"

// Built from platform/webview_bridge.js.
extern const std::string_view webview_bridge_js;

namespace platform {

struct WebViewEnvironment::Context {
    explicit Context(WebKitWebContext* web_context) : context(web_context) {}
    ~Context() { g_object_unref(context); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    WebKitWebContext* context;
};

struct WebViewCore {
    WebViewCore() = default;
    WebViewCore(const WebViewCore&) = delete;
    WebViewCore& operator=(const WebViewCore&) = delete;
    ~WebViewCore() {
        disconnect();
        if (view) g_object_unref(view);
        if (manager) g_object_unref(manager);
    }

    // Disconnected first, so that no message or navigation reaches a handler that is going away.
    void disconnect() {
        if (message_handler) g_signal_handler_disconnect(manager, message_handler);
        message_handler = 0;
        if (view) g_signal_handlers_disconnect_by_data(view, this);
    }

    WebKitWebView* view = nullptr;  // our reference; usable while !closed
    WebKitUserContentManager* manager = nullptr;
    gulong message_handler = 0;
    bool closed = false;
    bool page_requested = false;  // the program's own load is on its way and may pass
    WebView::MessageReceived on_message;
};

namespace {

// The channel name that webview_bridge.js posts through.
constexpr const char* message_channel = "pellucan";

void on_script_message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    auto* core = static_cast<WebViewCore*>(data);
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!core->on_message || !jsc_value_is_string(value)) return;
    // As bytes with their length, so that a NUL inside the text does not end it.
    GBytes* bytes = jsc_value_to_string_as_bytes(value);
    gsize size = 0;
    const auto* text = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    // An exception must not cross WebKit's C frames; a message that cannot be taken in is dropped.
    try {
        core->on_message(utf8_to_utf16(std::string_view(text, size)));
    } catch (...) {
    }
    g_bytes_unref(bytes);
}

// The text as a JSON string literal. A string argument of a script call ends at its first NUL; the literal
// spells every control character out, so the page reads the text back whole.
std::string json_string(std::string_view text) {
    std::string literal = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            literal += '\\';
            literal += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            literal += escaped;
        } else {
            literal += c;
        }
    }
    return literal + '"';
}

// The print dialog cannot shrink below its options, which are taller than a small screen or a large scale
// leaves room for; they scroll instead, so that the dialog fits the work area with its buttons on screen.
void fit_on_screen(GtkWidget* dialog, GtkWidget* owner) {
    GdkWindow* window = GTK_IS_WINDOW(owner) ? gtk_widget_get_window(owner) : nullptr;
    if (!window) return;
    GdkRectangle area;
    gdk_monitor_get_workarea(gdk_display_get_monitor_at_window(gdk_window_get_display(window), window), &area);
    // The dialog's box holds the options above the buttons.
    GtkWidget* box = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    GList* children = gtk_container_get_children(GTK_CONTAINER(box));
    GtkWidget* options = children ? GTK_WIDGET(children->data) : nullptr;
    g_list_free(children);
    if (!options) return;
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scrolled), TRUE);
    gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scrolled), TRUE);
    g_object_ref(options);
    gtk_container_remove(GTK_CONTAINER(box), options);
    gtk_container_add(GTK_CONTAINER(scrolled), options);
    g_object_unref(options);
    gtk_box_pack_start(GTK_BOX(box), scrolled, TRUE, TRUE, 0);
    gtk_box_reorder_child(GTK_BOX(box), scrolled, 0);
    gtk_widget_show(scrolled);
    GtkRequisition natural;
    gtk_widget_get_preferred_size(dialog, nullptr, &natural);
    gtk_window_set_default_size(GTK_WINDOW(dialog), std::min(natural.width, area.width),
                                std::min(natural.height, area.height));
}

// The print dialog for the page, owned by the view's window. It is ours rather than WebKit's: a paper picked
// in it comes with the printer's default margins, and the page prints within half an inch instead.
void print_page(WebKitWebView* view) {
    g_object_ref(view);  // the dialog runs its own loop, in which the window may go
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view));
    GtkWidget* dialog = gtk_print_unix_dialog_new(nullptr, GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
    GtkPrintUnixDialog* print = GTK_PRINT_UNIX_DIALOG(dialog);
    // WebKit lays out copies, page sets, pages per sheet and scale itself, as its own dialog offers them.
    gtk_print_unix_dialog_set_manual_capabilities(
        print,
        GtkPrintCapabilities(GTK_PRINT_CAPABILITY_NUMBER_UP | GTK_PRINT_CAPABILITY_NUMBER_UP_LAYOUT |
                             GTK_PRINT_CAPABILITY_PAGE_SET | GTK_PRINT_CAPABILITY_REVERSE |
                             GTK_PRINT_CAPABILITY_COPIES | GTK_PRINT_CAPABILITY_COLLATE | GTK_PRINT_CAPABILITY_SCALE));
    gtk_print_unix_dialog_set_embed_page_setup(print, TRUE);
    GtkPrintSettings* settings = gtk_print_settings_new();  // empty ones to start from, as WebKit's dialog has
    gtk_print_unix_dialog_set_settings(print, settings);
    g_object_unref(settings);
    fit_on_screen(dialog, top);

    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        GtkPageSetup* setup = gtk_page_setup_copy(gtk_print_unix_dialog_get_page_setup(print));
        for (auto set_margin : {gtk_page_setup_set_top_margin, gtk_page_setup_set_bottom_margin,
                                gtk_page_setup_set_left_margin, gtk_page_setup_set_right_margin})
            set_margin(setup, 0.5, GTK_UNIT_INCH);
        settings = gtk_print_unix_dialog_get_settings(print);
        WebKitPrintOperation* operation = webkit_print_operation_new(view);
        webkit_print_operation_set_print_settings(operation, settings);
        webkit_print_operation_set_page_setup(operation, setup);
        webkit_print_operation_print(operation);  // WebKit keeps the operation until the job is done
        g_object_unref(operation);
        g_object_unref(settings);
        g_object_unref(setup);
    }
    gtk_widget_destroy(dialog);
    g_object_unref(view);
}

// The zoom steps of the usual browsers, from a quarter to five times.
constexpr double zoom_levels[] = {0.25, 0.33, 0.5,  0.67, 0.75, 0.8, 0.9, 1.0, 1.1,
                                  1.25, 1.5,  1.75, 2.0,  2.5,  3.0, 4.0, 5.0};

void step_zoom(WebKitWebView* view, int direction) {
    const double current = webkit_web_view_get_zoom_level(view);
    double next = current;
    for (double level : zoom_levels) {
        if (direction > 0 && level > current + 0.001) {
            next = level;
            break;
        }
        if (direction < 0 && level < current - 0.001) next = level;
    }
    webkit_web_view_set_zoom_level(view, next);
}

// The keys that browsers give every page: Ctrl+P prints; Ctrl with plus, minus or 0 zooms. Every other key,
// Ctrl+F and F3 among them, goes to the page in the order it was typed; the page finds on its own.
gboolean on_key_press(GtkWidget* widget, GdkEventKey* event, gpointer) {
    const guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    if (!(modifiers & GDK_CONTROL_MASK) || (modifiers & ~(GDK_CONTROL_MASK | GDK_SHIFT_MASK))) return FALSE;
    WebKitWebView* view = WEBKIT_WEB_VIEW(widget);
    switch (gdk_keyval_to_lower(event->keyval)) {
        case GDK_KEY_p:
            print_page(view);
            return TRUE;
        case GDK_KEY_plus:
        case GDK_KEY_equal:
        case GDK_KEY_KP_Add:
            step_zoom(view, +1);
            return TRUE;
        case GDK_KEY_minus:
        case GDK_KEY_KP_Subtract:
            step_zoom(view, -1);
            return TRUE;
        case GDK_KEY_0:
        case GDK_KEY_KP_0:
            webkit_web_view_set_zoom_level(view, 1.0);
            return TRUE;
        default:
            return FALSE;
    }
}

// Drops the entries that would leave or reload the page, and the separators that they leave doubled.
void remove_navigation_entries(WebKitContextMenu* menu) {
    for (GList* item = webkit_context_menu_get_items(menu); item;) {
        auto* entry = static_cast<WebKitContextMenuItem*>(item->data);
        item = item->next;
        switch (webkit_context_menu_item_get_stock_action(entry)) {
            case WEBKIT_CONTEXT_MENU_ACTION_GO_BACK:
            case WEBKIT_CONTEXT_MENU_ACTION_GO_FORWARD:
            case WEBKIT_CONTEXT_MENU_ACTION_STOP:
            case WEBKIT_CONTEXT_MENU_ACTION_RELOAD:
                webkit_context_menu_remove(menu, entry);
                break;
            default:
                break;
        }
    }
    bool after_separator = true;  // no separator at the top
    for (GList* item = webkit_context_menu_get_items(menu); item;) {
        auto* entry = static_cast<WebKitContextMenuItem*>(item->data);
        item = item->next;
        const bool separator = webkit_context_menu_item_is_separator(entry);
        if (separator && after_separator)
            webkit_context_menu_remove(menu, entry);
        else
            after_separator = separator;
    }
    if (after_separator && webkit_context_menu_get_n_items(menu) > 0)
        webkit_context_menu_remove(menu, webkit_context_menu_last(menu));
}

// The context menu offers what fits a page that is loaded once, and a Print entry, as browsers have.
gboolean on_context_menu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*, gpointer) {
    remove_navigation_entries(menu);
    GSimpleAction* print = g_simple_action_new("print", nullptr);
    g_signal_connect_object(print, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer data) {
                                print_page(WEBKIT_WEB_VIEW(data));
                            }),
                            view, GConnectFlags(0));
    if (webkit_context_menu_get_n_items(menu) > 0)
        webkit_context_menu_append(menu, webkit_context_menu_item_new_separator());
    webkit_context_menu_append(menu, webkit_context_menu_item_new_from_gaction(G_ACTION(print), "_Print…", nullptr));
    g_object_unref(print);
    return FALSE;
}

// The page is loaded once: only the program's own load passes; a link, a dropped file or a script that
// changes the location leaves the page as it is.
gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                          gpointer data) {
    auto* core = static_cast<WebViewCore*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && core->page_requested) {
        core->page_requested = false;
        return FALSE;
    }
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

std::shared_ptr<WebViewCore> make_core(WebKitWebContext* context, GtkWidget* container) {
    auto core = std::make_shared<WebViewCore>();
    core->manager = webkit_user_content_manager_new();
    const std::string bridge(webview_bridge_js);
    WebKitUserScript* script = webkit_user_script_new(bridge.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(core->manager, script);
    webkit_user_script_unref(script);
    // The bridge script looks the channel up when it runs, so the channel exists before any page loads.
    const std::string signal = std::string("script-message-received::") + message_channel;
    core->message_handler = g_signal_connect(core->manager, signal.c_str(), G_CALLBACK(on_script_message), core.get());
    webkit_user_content_manager_register_script_message_handler(core->manager, message_channel);

    core->view = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", core->manager, nullptr));
    g_object_ref_sink(core->view);
    g_signal_connect(core->view, "key-press-event", G_CALLBACK(on_key_press), nullptr);
    g_signal_connect(core->view, "context-menu", G_CALLBACK(on_context_menu), nullptr);
    g_signal_connect(core->view, "decide-policy", G_CALLBACK(on_decide_policy), core.get());
    gtk_layout_put(GTK_LAYOUT(container), GTK_WIDGET(core->view), 0, 0);
    gtk_widget_show(GTK_WIDGET(core->view));
    return core;
}

}  // namespace

WebViewEnvironment::WebViewEnvironment(std::shared_ptr<Context> context) : context_(std::move(context)) {}

void WebViewEnvironment::create_controller(MainWindow& parent, ControllerCreated callback) {
    auto context = context_;
    MainWindow* window = &parent;
    const bool posted = parent.post_task([window, context, callback] {
        if (window->is_destroyed() || !window->content_area()) return callback(false, nullptr);
        auto controller = std::make_shared<WebViewController>(make_core(context->context, window->content_area()));
        callback(true, std::move(controller));
    });
    if (!posted) callback(false, nullptr);
}

void create_web_view_environment(EnvironmentCreated callback) {
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            auto& created = *static_cast<EnvironmentCreated*>(data);
            // Classic scrollbars, as the web view on Windows has them: an overlay scrollbar fades in and out
            // after every scroll of a table, and the view repaints at full speed for seconds meanwhile.
            if (GtkSettings* settings = gtk_settings_get_default())
                g_object_set(settings, "gtk-overlay-scrolling", FALSE, nullptr);
            // Ephemeral: cookies, storage and caches stay in memory and end with the run.
            WebKitWebContext* context = webkit_web_context_new_ephemeral();
            if (!context)
                created(false, nullptr);
            else
                created(true,
                        std::make_shared<WebViewEnvironment>(std::make_shared<WebViewEnvironment::Context>(context)));
            return G_SOURCE_REMOVE;
        },
        new EnvironmentCreated(std::move(callback)),
        [](gpointer data) { delete static_cast<EnvironmentCreated*>(data); });
}

WebViewController::WebViewController(std::shared_ptr<WebViewCore> core) : core_(std::move(core)) {}

WebViewController::~WebViewController() = default;

std::shared_ptr<WebView> WebViewController::core_web_view() const { return std::make_shared<WebView>(core_); }

void WebViewController::put_bounds(const Rect& bounds) {
    if (core_->closed) return;
    GtkWidget* view = GTK_WIDGET(core_->view);
    if (GtkWidget* layout = gtk_widget_get_parent(view))
        gtk_layout_move(GTK_LAYOUT(layout), view, bounds.left, bounds.top);
    gtk_widget_set_size_request(view, std::max(0, bounds.right - bounds.left), std::max(0, bounds.bottom - bounds.top));
}

void WebViewController::move_focus() {
    if (!core_->closed) gtk_widget_grab_focus(GTK_WIDGET(core_->view));
}

void WebViewController::close() {
    if (core_->closed) return;
    core_->closed = true;
    core_->disconnect();
    gtk_widget_destroy(GTK_WIDGET(core_->view));
}

WebView::WebView(std::shared_ptr<WebViewCore> core) : core_(std::move(core)) {}

WebView::~WebView() = default;

void WebView::navigate_to_string(const char* html) {
    if (core_->closed) return;
    core_->page_requested = true;
    webkit_web_view_load_html(core_->view, html, nullptr);
}

void WebView::post_web_message_as_string(std::u16string_view text) {
    if (core_->closed) return;
    GVariantBuilder arguments;
    g_variant_builder_init(&arguments, G_VARIANT_TYPE_VARDICT);
    // Passed as an argument rather than spliced into the script, the text is never run as code.
    g_variant_builder_add(&arguments, "{sv}", "text", g_variant_new_string(json_string(utf16_to_utf8(text)).c_str()));
    webkit_web_view_call_async_javascript_function(core_->view, "window.chrome.webview.deliverReply(JSON.parse(text));",
                                                   -1, g_variant_builder_end(&arguments), nullptr, nullptr, nullptr,
                                                   nullptr, nullptr);
}

void WebView::add_web_message_received(MessageReceived handler) { core_->on_message = std::move(handler); }

void WebView::clear_browsing_data_all() {
    if (core_->closed) return;
    if (WebKitWebsiteDataManager* data = webkit_web_view_get_website_data_manager(core_->view))
        webkit_website_data_manager_clear(data, WEBKIT_WEBSITE_DATA_ALL, 0, nullptr, nullptr, nullptr);
}

}  // namespace platform
