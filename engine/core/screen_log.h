// The on-screen log: 80 text lines that can be drawn over the picture with a font of its own.
// It is set up at start-up; nothing in the library writes its lines or shows it.
#pragma once

#include <cstdint>

constexpr int kScreenLogLines = 80;
constexpr int kScreenLogLineBytes = 255;

struct ScreenLogState {
    int32_t setUp;
    int32_t active;
    int32_t font;      // -1 when none
    int32_t fontLost;  // raised by the font system when the font is deleted
    int32_t fontSize;
    char lines[kScreenLogLines][kScreenLogLineBytes];
};
extern ScreenLogState g_ScreenLog;

// -1 without a DirectDraw object or main window.
int InitScreenLog();
int CreateScreenLogFont();
int DrawScreenLog();
uint32_t IsScreenLogActive();
// Deletes the font when it still exists and marks the log as not set up.
int EndScreenLog();
