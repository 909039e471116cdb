#pragma once

// The whole user interface: one HTML text with its style sheet and scripts inline, in UTF-8.
extern const char* const g_page_html;
