#pragma once

#include <cstdint>

#include "platform/main_window.h"

// The program: sets up the window, the worker and the registry, runs the message loop, shuts down.
// Answers the exit code: 1 when the window class or the window cannot be made, else 0.
int WinMain();

// Handles the main window's messages on the user-interface thread.
std::intptr_t window_proc(platform::MainWindow* window, unsigned message, std::uintptr_t wparam, std::intptr_t lparam);

// After the message loop: stops the worker once its running command is done, then closes the contest.
void shut_down();
