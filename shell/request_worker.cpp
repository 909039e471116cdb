#include "shell/request_worker.h"

#include <exception>
#include <new>
#include <stdexcept>

#include "shell/registry.h"
#include "text/text.h"

std::deque<Request> g_requests;
std::mutex g_queue_mutex;
std::condition_variable g_queue_cv;
std::atomic<bool> g_stop{false};
std::thread g_worker;

void on_web_message_received(std::u16string_view message) {
    const std::string text = to_utf8(message);
    const std::size_t colon = text.find(':');
    Request request =
        colon == std::string::npos ? Request{text, {}} : Request{text.substr(0, colon), text.substr(colon + 1)};
    {
        std::lock_guard lock(g_queue_mutex);
        g_requests.push_back(std::move(request));
    }
    g_queue_cv.notify_one();
}

namespace {

// The store's raised failures never reach the page as they are: the user gets a sentence instead, and the
// worker goes on. Writes inside a failed command were rolled back by their transaction's scope.
std::string run_command(std::string_view payload) {
    try {
        return dispatch_function(payload);
    } catch (const std::bad_alloc&) {
        return "ERROR:The program ran out of memory; nothing was changed.";
    } catch (const std::exception& failure) {
        const std::string_view what = failure.what();
        if (what == "Database not initialized") return "ERROR:No contest is open; create or open a contest first.";
        if (what == "Contest file moved") return "ERROR:The contest file was moved or deleted; nothing was saved.";
        return "ERROR:The contest database could not be used; nothing was changed.";
    } catch (...) {
        return "ERROR:The command failed; nothing was changed.";
    }
}

}  // namespace

void worker_main() {
    for (;;) {
        if (g_stop) return;
        Request request;
        {
            std::unique_lock lock(g_queue_mutex);
            g_queue_cv.wait(lock, [] { return !g_requests.empty() || g_stop; });
            if (g_stop) return;
            request = std::move(g_requests.front());
            g_requests.pop_front();
        }
        const std::string result = run_command(request.payload);
        auto* reply = new std::string(request.id + ":" + result);
        if (!g_hwnd || !g_hwnd->post_message(WM_POST_REPLY, 0, reinterpret_cast<std::intptr_t>(reply))) delete reply;
    }
}

void stop_worker() {
    {
        std::lock_guard lock(g_queue_mutex);
        g_stop = true;
    }
    g_queue_cv.notify_all();
    if (g_worker.joinable()) g_worker.join();
}
