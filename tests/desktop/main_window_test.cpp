#include "platform/main_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <csignal>
#include <fstream>
#include <future>
#include <string_view>

#include "shell/request_worker.h"
#include "store/contest_folder.h"
#include "tests/desktop/desktop_support.h"
#include "tests/support/contest_fixture.h"
#include "text/text.h"

namespace {

constexpr unsigned private_message = platform::WM_USER + 7;

std::vector<std::intptr_t> private_messages() {
    std::vector<std::intptr_t> lparams;
    for (const SeenMessage& seen : DesktopWindow::seen)
        if (seen.message == private_message) lparams.push_back(seen.lparam);
    return lparams;
}

std::size_t count_of(unsigned message) {
    std::size_t count = 0;
    for (const SeenMessage& seen : DesktopWindow::seen) count += seen.message == message;
    return count;
}

}  // namespace

TEST(MainWindow, HandsPostedMessagesToItsProcedureInOrderOnItsOwnThread) {
    DesktopWindow desktop;
    desktop.window->show();
    std::thread poster([&] {
        for (int i = 1; i <= 200; ++i) EXPECT_TRUE(desktop.window->post_message(private_message, 0, i));
    });
    poster.join();
    ASSERT_TRUE(desktop.pump_until([] { return private_messages().size() == 200; }));

    std::vector<std::intptr_t> expected;
    for (int i = 1; i <= 200; ++i) expected.push_back(i);
    EXPECT_EQ(private_messages(), expected);  // in the order posted
    for (const SeenMessage& seen : DesktopWindow::seen)
        EXPECT_EQ(seen.thread, std::this_thread::get_id());  // never on the poster's thread
}

TEST(MainWindow, RefusesPostsOnceDestroyedAndHandsOverWhatWasStillQueued) {
    DesktopWindow desktop;
    for (int i = 1; i <= 3; ++i) ASSERT_TRUE(desktop.window->post_message(private_message, 0, i));
    desktop.destroy();

    // The destruction comes first; the three queued messages still reach the procedure, so whatever they
    // carry is freed by the receiver.
    ASSERT_EQ(DesktopWindow::seen.size(), 4u);
    EXPECT_EQ(DesktopWindow::seen[0].message, platform::WM_DESTROY);
    EXPECT_EQ(private_messages(), (std::vector<std::intptr_t>{1, 2, 3}));

    // From now on every hand-over is refused and the sender keeps what it sent.
    EXPECT_FALSE(desktop.window->post_message(private_message, 0, 4));
    EXPECT_FALSE(desktop.window->set_title(u"Too late"));
    auto answer = std::async(std::launch::async, [&] { return desktop.window->show_open_file_dialog({}); });
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(answer.get(), u"");
    EXPECT_EQ(desktop.run(std::chrono::milliseconds(200)), -1);  // nothing is left to run
    EXPECT_EQ(private_messages().size(), 3u);
}

TEST(MainWindow, ClosesOnTerminationSignalsAsItsCloseBoxDoes) {
    for (int signal : {SIGTERM, SIGINT}) {
        DesktopWindow desktop;
        desktop.window->show();
        g_timeout_add(
            100,
            [](gpointer data) -> gboolean {
                std::raise(*static_cast<int*>(data));
                return G_SOURCE_REMOVE;
            },
            &signal);
        EXPECT_EQ(desktop.run(), 0) << "signal " << signal;  // the procedure's quit, not the time limit
        EXPECT_EQ(count_of(platform::WM_DESTROY), 1u);
        EXPECT_TRUE(desktop.window->is_destroyed());
    }
}

TEST(MainWindow, OpensAtTheSizeItIsGivenAndReportsEveryResize) {
    DesktopWindow desktop(1040, 640);
    desktop.window->show();
    const auto size_is = [&](int width, int height) {
        return [&desktop, width, height] {
            const platform::Rect client = desktop.window->client_rect();
            return client.right - client.left == width && client.bottom - client.top == height;
        };
    };
    EXPECT_TRUE(desktop.pump_until(size_is(1040, 640)));
    const std::size_t resizes = count_of(platform::WM_SIZE);
    EXPECT_GE(resizes, 1u);

    gtk_window_resize(GTK_WINDOW(desktop.toplevel()), 700, 500);
    EXPECT_TRUE(desktop.pump_until(size_is(700, 500)));
    EXPECT_TRUE(desktop.pump_until([&] { return count_of(platform::WM_SIZE) > resizes; }));
}

TEST(MainWindow, SetsItsTitleFromAnotherThread) {
    DesktopWindow desktop;
    std::thread([&] { EXPECT_TRUE(desktop.window->set_title(u"Équipe 日本 - Pellucan")); }).join();
    EXPECT_TRUE(desktop.pump_until(
        [&] { return std::string(gtk_window_get_title(GTK_WINDOW(desktop.toplevel()))) == "Équipe 日本 - Pellucan"; }));
}

namespace {

// The contest dialog as the store asks for it, on a desktop folder that the user's settings name.
class OpenContestDialog : public ::testing::Test {
protected:
    OpenContestDialog() {
        std::filesystem::create_directories(home.path() / "config");
        std::filesystem::create_directories(desktop_folder / "Cup");
        std::ofstream(home.path() / "config" / "user-dirs.dirs")
            << "XDG_DESKTOP_DIR=\"" << desktop_folder.string() << "\"\n";
        std::ofstream(desktop_folder / "Cup" / "contest.db") << "";
        setenv("XDG_CONFIG_HOME", (home.path() / "config").c_str(), 1);
        g_reload_user_special_dirs_cache();
        g_hwnd = desktop.window.get();
    }
    ~OpenContestDialog() override { g_hwnd = nullptr; }

    std::future<std::u16string> ask() { return std::async(std::launch::async, show_open_contest_dialog); }

    static GtkWidget* find_dialog() {
        GtkWidget* found = nullptr;
        GList* windows = gtk_window_list_toplevels();
        for (GList* item = windows; item; item = item->next)
            if (GTK_IS_FILE_CHOOSER_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)))
                found = GTK_WIDGET(item->data);
        g_list_free(windows);
        return found;
    }

    static GtkWidget* find_path_bar(GtkWidget* widget) {
        if (std::string_view(G_OBJECT_TYPE_NAME(widget)) == "GtkPathBar") return widget;
        GtkWidget* found = nullptr;
        if (GTK_IS_CONTAINER(widget)) {
            GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
            for (GList* child = children; child && !found; child = child->next)
                found = find_path_bar(GTK_WIDGET(child->data));
            g_list_free(children);
        }
        return found;
    }

    // Whether the dialog's path bar has a button for the folder shown, and the icon of every button that has
    // one beside its name (home, desktop).
    static bool path_bar_settled(GtkWidget* dialog) {
        gchar* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
        const std::string name = folder ? std::filesystem::path(folder).filename().string() : "";
        g_free(folder);
        GtkWidget* bar = find_path_bar(dialog);
        if (!bar) return false;
        bool shown = false, icons = true;
        GList* buttons = gtk_container_get_children(GTK_CONTAINER(bar));
        for (GList* button = buttons; button; button = button->next) {
            if (!GTK_IS_TOGGLE_BUTTON(button->data)) continue;
            GtkWidget* child = gtk_bin_get_child(GTK_BIN(button->data));
            GList* parts =
                GTK_IS_BOX(child) ? gtk_container_get_children(GTK_CONTAINER(child)) : g_list_append(nullptr, child);
            for (GList* part = parts; part; part = part->next) {
                if (GTK_IS_LABEL(part->data) && name == gtk_label_get_text(GTK_LABEL(part->data))) shown = true;
                if (GTK_IS_BOX(child) && GTK_IS_IMAGE(part->data) &&
                    gtk_image_get_storage_type(GTK_IMAGE(part->data)) == GTK_IMAGE_EMPTY)
                    icons = false;
            }
            g_list_free(parts);
        }
        g_list_free(buttons);
        return shown && icons;
    }

    // The dialog once it is up and settled: GTK fails an assertion of its own when the folder changes while
    // the icon of a folder button is still on its way.
    GtkWidget* wait_for_dialog() {
        GtkWidget* found = nullptr;
        desktop.pump_until([&] { return (found = find_dialog()) != nullptr && path_bar_settled(found); });
        return found;
    }

    bool shows_folder(GtkFileChooser* chooser, const std::filesystem::path& wanted) {
        return desktop.pump_until([&] {
            gchar* folder = gtk_file_chooser_get_current_folder(chooser);
            const bool shown = folder && wanted == folder;
            g_free(folder);
            return shown;
        });
    }

    static std::vector<std::string> filter_names(GtkFileChooser* chooser) {
        std::vector<std::string> names;
        GSList* filters = gtk_file_chooser_list_filters(chooser);
        for (GSList* item = filters; item; item = item->next)
            names.emplace_back(gtk_file_filter_get_name(GTK_FILE_FILTER(item->data)));
        g_slist_free(filters);
        return names;
    }

    TempDir home;
    const std::filesystem::path desktop_folder = home.path() / "Schreibtisch";
    DesktopWindow desktop;
};

}  // namespace

TEST_F(OpenContestDialog, StartsOnTheDesktopWithTheContestFilterAndAnswersTheChosenFile) {
    desktop.window->show();
    EXPECT_EQ(get_desktop_path(), to_utf16(desktop_folder.string()));

    std::future<std::u16string> answer = ask();
    GtkWidget* dialog = wait_for_dialog();
    ASSERT_NE(dialog, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    // Modal and owned by the main window.
    EXPECT_EQ(GTK_WIDGET(gtk_window_get_transient_for(GTK_WINDOW(dialog))), desktop.toplevel());
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
    EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_OPEN);
    // The three filters in order, the first selected.
    EXPECT_EQ(filter_names(chooser), (std::vector<std::string>{"Contest Database", "Database Files", "All Files"}));
    EXPECT_STREQ(gtk_file_filter_get_name(gtk_file_chooser_get_filter(chooser)), "Contest Database");
    EXPECT_TRUE(shows_folder(chooser, desktop_folder));
    // The worker waits while the dialog is open.
    EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);

    const std::filesystem::path chosen = desktop_folder / "Cup" / "contest.db";
    gtk_file_chooser_select_filename(chooser, chosen.c_str());
    ASSERT_TRUE(desktop.pump_until([&] {
        gchar* file = gtk_file_chooser_get_filename(chooser);
        const bool selected = file && chosen == file;
        g_free(file);
        return selected;
    }));
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    EXPECT_EQ(answer.get(), to_utf16(chosen.string()));
}

TEST_F(OpenContestDialog, AnswersTheEmptyTextWhenCancelledOrWhenTheWindowGoes) {
    desktop.window->show();
    std::future<std::u16string> cancelled = ask();
    GtkWidget* dialog = wait_for_dialog();
    ASSERT_NE(dialog, nullptr);
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    EXPECT_EQ(cancelled.get(), u"");

    // Closing the main window takes the dialog with it and frees the waiting worker.
    std::future<std::u16string> orphaned = ask();
    ASSERT_NE(wait_for_dialog(), nullptr);
    desktop.destroy();
    ASSERT_EQ(orphaned.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(orphaned.get(), u"");
    EXPECT_EQ(find_dialog(), nullptr);
}

TEST_F(OpenContestDialog, StartsInTheFolderWhereItWasLeftEarlierInTheRun) {
    desktop.window->show();
    std::future<std::u16string> first = ask();
    GtkWidget* dialog = wait_for_dialog();
    ASSERT_NE(dialog, nullptr);
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), (desktop_folder / "Cup").c_str());
    ASSERT_TRUE(shows_folder(GTK_FILE_CHOOSER(dialog), desktop_folder / "Cup"));
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    EXPECT_EQ(first.get(), u"");

    std::future<std::u16string> second = ask();
    dialog = wait_for_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(shows_folder(GTK_FILE_CHOOSER(dialog), desktop_folder / "Cup"));
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    EXPECT_EQ(second.get(), u"");
}
