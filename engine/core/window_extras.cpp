// Small services around the main window: cursor visibility, mouse position, clipboard, the
// click record and dropped files. The window menu, toolbar, inactive-window picture and
// layered window are never switched on here; their calls behave as for the feature off.
#include <cstring>

#include "core/core.h"
#include "core/library_state.h"
#include "core/key_input.h"
#include "core/window.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "platform/kernel/kernel_process.h"

int SetCursorVisible(int flag) {
    int wanted = flag == -1 ? g_Window.cursorWanted : flag;
    int visible = (wanted || IsMenuVisible()) ? 1 : 0;
    if (flag != -1 && flag == g_Window.cursorWanted && visible == g_Window.cursorShown) return 0;
    g_Window.cursorWanted = wanted;
    if (visible) {
        while (V_ShowCursor(V_TRUE) < 0) {
        }
    } else {
        while (V_ShowCursor(V_FALSE) > -1) {
        }
    }
    if (g_Window.mainWindow != nullptr)
        V_PostMessageA(g_Window.mainWindow, V_WM_SETCURSOR,
                       reinterpret_cast<V_WPARAM>(g_Window.mainWindow), 0);
    g_Window.cursorShown = visible;
    return 0;
}

uint32_t GetMousePosition(int* x, int* y) {
    V_POINT point{0, 0};
    V_GetCursorPos(&point);
    int px = point.x, py = point.y;
    if (g_Window.settings.windowed) {
        double scaleX = 1.0, scaleY = 1.0;
        GetWindowScale(&scaleX, &scaleY);
        px = static_cast<int>((point.x - g_Window.clientRect.left) / scaleX);
        py = static_cast<int>(
            (point.y - (g_Window.clientRect.top + static_cast<int>(GetToolbarHeight()))) / scaleY);
    }
    if (x != nullptr) *x = px;
    if (y != nullptr) *y = py;
    return 0;
}

int GetClipboardText(char* buffer, size_t bufferSize) {
    if (!V_OpenClipboard(g_Window.mainWindow)) return -1;
    int result = -1;
    V_HANDLE data = V_GetClipboardData(V_CF_TEXT);
    if (data != nullptr) {
        const char* text = static_cast<const char*>(V_GlobalLock(data));
        size_t size = V_GlobalSize(data);
        if (text != nullptr) {
            if (buffer == nullptr) {
                result = static_cast<int>(size + 1);
            } else if (bufferSize > 0) {
                // Copy at most what the caller's buffer holds: the text may have grown since
                // the caller asked for its size.
                // A two-byte character that does not fit whole is left out.
                size_t length = strnlen(text, size);
                size_t fits = 0;
                while (fits < length) {
                    size_t step = IsTextLeadByte(static_cast<unsigned char>(text[fits])) &&
                                          fits + 1 < length
                                      ? 2
                                      : 1;
                    if (fits + step > bufferSize - 1) break;
                    fits += step;
                }
                length = fits;
                std::memcpy(buffer, text, length);
                buffer[length] = '\0';
                result = 0;
            }
        }
        V_GlobalUnlock(data);
    }
    V_CloseClipboard();
    return result;
}

uint32_t SetClipboardText(const char* text) {
    if (text == nullptr) text = "";
    size_t length = std::strlen(text);
    V_HGLOBAL block = V_GlobalAlloc(V_GMEM_FIXED, length + 1);
    if (block == nullptr) return 0;
    std::memcpy(V_GlobalLock(block), text, length + 1);
    V_GlobalUnlock(block);
    if (!V_OpenClipboard(g_Window.mainWindow)) {
        V_GlobalFree(block);
        return 0;
    }
    V_EmptyClipboard();
    V_SetClipboardData(V_CF_TEXT, block);
    V_CloseClipboard();
    return 0;
}

void PushClickLog(int button) {
    if (g_Window.clickCount >= kMaxClickLog) return;
    ClickRecord& record = g_Window.clicks[g_Window.clickCount++];
    record.button = button;
    GetMousePosition(&record.x, &record.y);
}

uint32_t FreeDroppedFiles() {
    for (int i = 0; i < g_Window.droppedFileCount; ++i) {
        FreeMemory(g_Window.droppedFiles[i]);
        g_Window.droppedFiles[i] = nullptr;
    }
    g_Window.droppedFileCount = 0;
    return 0;
}

int GetDroppedFileCount() { return g_Window.droppedFileCount; }

const char* GetDroppedFileName(int index) {
    if (index < 0 || index >= g_Window.droppedFileCount) return nullptr;
    return g_Window.droppedFiles[index];
}

uint32_t GetToolbarHeight() { return 0; }

uint32_t GetClientRectBelowToolbar(V_RECT* rect) {
    if (rect == nullptr) return 0;
    uint32_t toolbar = GetToolbarHeight();
    *rect = g_Window.clientRect;
    rect->top += static_cast<int>(toolbar);
    rect->bottom += static_cast<int>(toolbar);
    return 0;
}

uint32_t IsMenuVisible() { return 0; }

uint32_t UpdateMenuAttachment(int) { return 0; }

uint32_t UpdateFullScreenMenu() {
    if (g_Window.settings.windowed) return 0;
    int x = 0, y = 0;
    GetMousePosition(&x, &y);
    if (!IsDirect3DInUse() || y > 60) SetCursorVisible(g_Window.cursorWanted);
    return 0;
}

int RedrawInactiveWindow(V_HDC) {
    if (g_Library.ending) return 0;
    return -1;  // there is never an inactive-window picture
}
