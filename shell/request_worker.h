#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/window.h"

struct Request {
    std::string id;
    std::string payload;  // "name:args"
};

extern std::deque<Request> g_requests;
extern std::mutex g_queue_mutex;
extern std::condition_variable g_queue_cv;
extern std::atomic<bool> g_stop;

extern std::thread g_worker;

// Carries one reply: lParam owns a heap-allocated std::string "id:result".
inline constexpr unsigned WM_POST_REPLY = platform::WM_USER + 1;

// The page's request text "id:name:args", as the web view delivers it.
void on_web_message_received(std::u16string_view message);

void worker_main();

// Shutdown: stop flag under the mutex, wake the worker, wait for the command it is running. Requests still
// queued are dropped unanswered.
void stop_worker();
