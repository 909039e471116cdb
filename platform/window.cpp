#include "platform/window.h"

platform::Window* g_hwnd = nullptr;
