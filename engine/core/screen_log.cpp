// The on-screen log: its set-up, its font and its drawing.
#include "core/screen_log.h"

#include <cstring>

#include "core/window.h"
#include "draw/draw.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"

ScreenLogState g_ScreenLog;

int InitScreenLog() {
    if (!HasDirectDrawObject() || g_Window.mainWindow == nullptr) return -1;
    ScreenLogState& log = g_ScreenLog;
    if (log.setUp) return 0;
    log.setUp = 1;
    log.fontSize = 16;
    log.font = -1;
    log.fontLost = 1;
    CreateScreenLogFont();
    log.active = 0;
    std::memset(log.lines, 0, sizeof(log.lines));
    return 0;
}

int CreateScreenLogFont() {
    ScreenLogState& log = g_ScreenLog;
    if (!log.setUp && InitScreenLog() != 0) return 0;
    if (log.fontLost != 1) return 0;
    log.font = CreateFontToHandle(nullptr, 16, 4, 1, -1, -1, 0, -1, -1);
    log.fontLost = 0;
    SetFontLostFlag(log.font, &log.fontLost);
    return 0;
}

int DrawScreenLog() {
    ScreenLogState& log = g_ScreenLog;
    if (!log.setUp && InitScreenLog() != 0) return 0;
    if (log.fontLost) CreateScreenLogFont();
    int width = 0, height = 0;
    GetScreenSize(&width, &height);
    int lines = log.fontSize > 0 ? height / log.fontSize : 0;
    if (lines > kScreenLogLines) lines = kScreenLogLines;
    if (lines < 1) return 0;
    uint32_t white = GetScreenColor(255, 255, 255);
    uint32_t black = GetScreenColor(0, 0, 0);
    for (int i = 0; i < lines; ++i) {
        char line[kScreenLogLineBytes + 1];
        std::memcpy(line, log.lines[i], kScreenLogLineBytes);
        line[kScreenLogLineBytes] = '\0';
        DrawStringWithFont(0, i * 16, line, white, log.font, black, 0);
    }
    return 0;
}

uint32_t IsScreenLogActive() { return static_cast<uint32_t>(g_ScreenLog.active); }

int EndScreenLog() {
    ScreenLogState& log = g_ScreenLog;
    if (!log.setUp) return 0;
    if (!log.fontLost) ReleaseFont(log.font);
    log.fontLost = 1;
    log.font = -1;
    log.setUp = 0;
    return 0;
}
