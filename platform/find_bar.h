#pragma once

#include <memory>

struct _GdkEventKey;
struct _GtkWidget;
struct _WebKitWebView;

namespace platform {

// The find bar that browsers give a page and WebKitGTK leaves out: a search entry, the match count ("3 of
// 12", "No matches", or "12 matches" when the page changed under the keys of the page), previous, next and
// close, to go along the bottom of the view. Every match is marked from a search until the page changes.
// Hidden until opened; hidden, it takes no key. User-interface thread only.
class FindBar {
public:
    explicit FindBar(_WebKitWebView* view);
    ~FindBar();
    FindBar(const FindBar&) = delete;
    FindBar& operator=(const FindBar&) = delete;

    _GtkWidget* widget() const;
    bool is_open() const;
    // Ctrl+F: shows the bar with the keys in its entry, filled with the page's selection when there is one.
    void open(_GdkEventKey* event);
    // To the next (+1) or previous (-1) match, wrapping at either end; to the first match in the page
    // when the user has been at work in the page since the last search.
    void step(int direction);
    // No search result or key reaches the bar any more.
    void disconnect();

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace platform
