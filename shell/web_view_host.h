#pragma once

#include <memory>
#include <string>

#include "platform/main_window.h"
#include "platform/web_view.h"

// Set together when the web view arrives, emptied together when the window is destroyed.
extern std::shared_ptr<platform::WebViewController> g_controller;
extern std::shared_ptr<platform::WebView> g_webview;

// Asks for the web view; it arrives later, through the message loop.
void start_web_view(platform::MainWindow& window);

void on_environment_created(platform::MainWindow* window, bool succeeded,
                            const std::shared_ptr<platform::WebViewEnvironment>& environment);
void on_controller_created(platform::MainWindow* window, bool succeeded,
                           const std::shared_ptr<platform::WebViewController>& controller);

// Takes ownership of a reply "id:result" and shows it to the page; without a page the reply is dropped.
void deliver_reply(std::string* reply);

// Keeps the view on the whole client area.
void fit_web_view(platform::MainWindow& window);

// Clears the browsing data, closes the view and lets it go.
void tear_down_web_view();
