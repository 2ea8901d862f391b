// The keyboard table and the mouse buttons: through DirectInput, or through the keyboard state
// with the virtual-key table.
#include <cstring>

#include "core/core.h"
#include "core/core_services.h"
#include "core/input.h"
#include "core/library_state.h"
#include "core/window.h"
#include "platform/kernel/kernel.h"
#include "platform/user/user.h"

namespace {

constexpr int kVistaCode = 0x108;
constexpr int kRightShiftKey = 0x36;
constexpr int kVirtualRightShift = 0xA1;

// Virtual key → key number, ended by 0xFFFF. Enter appears twice (main and numeric pad).
const uint16_t kVirtualKeys[][2] = {
    {0x41, 0x1E}, {0x42, 0x30}, {0x43, 0x2E}, {0x44, 0x20}, {0x45, 0x12}, {0x46, 0x21},
    {0x47, 0x22}, {0x48, 0x23}, {0x49, 0x17}, {0x4A, 0x24}, {0x4B, 0x25}, {0x4C, 0x26},
    {0x4D, 0x32}, {0x4E, 0x31}, {0x4F, 0x18}, {0x50, 0x19}, {0x51, 0x10}, {0x52, 0x13},
    {0x53, 0x1F}, {0x54, 0x14}, {0x55, 0x16}, {0x56, 0x2F}, {0x57, 0x11}, {0x58, 0x2D},
    {0x59, 0x15}, {0x5A, 0x2C},
    {0x30, 0x0B}, {0x31, 0x02}, {0x32, 0x03}, {0x33, 0x04}, {0x34, 0x05}, {0x35, 0x06},
    {0x36, 0x07}, {0x37, 0x08}, {0x38, 0x09}, {0x39, 0x0A},
    {0x25, 0xCB}, {0x26, 0xC8}, {0x27, 0xCD}, {0x28, 0xD0},
    {0xBB, 0x27}, {0xBA, 0x92}, {0xDB, 0x1A}, {0xDD, 0x1B}, {0xC0, 0x91}, {0xE2, 0x2B},
    {0xBC, 0x33}, {0xBD, 0x0C}, {0xDC, 0x7D}, {0xBE, 0x34}, {0xBF, 0x35},
    {0x2E, 0xD3}, {0x1B, 0x01}, {0x20, 0x39}, {0x08, 0x0E}, {0x09, 0x0F}, {0x0D, 0x1C},
    {0x60, 0x52}, {0x61, 0x4F}, {0x62, 0x50}, {0x63, 0x51}, {0x64, 0x4B}, {0x65, 0x4C},
    {0x66, 0x4D}, {0x67, 0x47}, {0x68, 0x48}, {0x69, 0x49},
    {0x6A, 0x37}, {0x6B, 0x4E}, {0x6D, 0x4A}, {0x6E, 0x53}, {0x6F, 0xB5}, {0x0D, 0x9C},
    {0xA0, 0x2A}, {0xA1, 0x36}, {0xA2, 0x1D}, {0xA3, 0x9D},
    {0x21, 0xC9}, {0x22, 0xD1}, {0x23, 0xCF}, {0x24, 0xC7}, {0x2D, 0xD2},
    {0xA4, 0x38}, {0xA5, 0xB8},
    {0x91, 0x46}, {0x14, 0x3A}, {0x13, 0xC5},
    {0x70, 0x3B}, {0x71, 0x3C}, {0x72, 0x3D}, {0x73, 0x3E}, {0x74, 0x3F}, {0x75, 0x40},
    {0x76, 0x41}, {0x77, 0x42}, {0x78, 0x43}, {0x79, 0x44}, {0x7A, 0x57}, {0x7B, 0x58},
    {0xFFFF, 0},
};

bool OnWindowThread() {
    return g_Window.mainWindow == nullptr || V_GetCurrentThreadId() == g_Window.mainThreadId;
}

// A refresh's finding for one mark. A press after a release is a new press, which the polls
// that reported the one before report again.
void MarkRefreshed(uint8_t& mark, bool down) {
    if (!down) {
        mark &= static_cast<uint8_t>(~kMarkHeld);
        return;
    }
    if ((mark & kMarkHeld) == 0) mark &= static_cast<uint8_t>(~kMarkReported);
    mark |= kMarkFound | kMarkHeld;
}

// Down now, or marked pressed in this pass (or carried from the one before); notes the report.
bool ReportMark(uint8_t& mark, bool down) {
    down = down || (mark & (kMarkFound | kMarkCarried)) != 0;
    if (down) mark |= kMarkReported;
    return down;
}

void AgeMark(uint8_t& mark) {
    uint8_t kept =
        (mark & kMarkReported) != 0 ? 0 : static_cast<uint8_t>((mark & kMarkFound) >> 1);
    mark = static_cast<uint8_t>(kept | (mark & kMarkHeld));
}

void StoreMouseButtons(const V_BYTE* state) {
    const int virtualKeys[3] = {1, 2, 4};
    for (int i = 0; i < 3; ++i) {
        g_Input.mouseButtons[i] = state[virtualKeys[i]];
        MarkRefreshed(g_Input.buttonMarks[i], (state[virtualKeys[i]] & 0x80) != 0);
    }
    g_Input.mouseButtonsRead = 1;
}

// Marks the keys of a refreshed table for each kind of poll.
void MarkKeys(const uint8_t* table) {
    for (int poll = 0; poll < kKeyPollCount; ++poll)
        for (int code = 0; code < 256; ++code)
            MarkRefreshed(g_Input.keyMarks[poll][code], (table[code] & 0x80) != 0);
}

// The keyboard state in key numbers through the virtual-key table.
void ConvertKeyboardState(const V_BYTE* keys, uint8_t* table) {
    std::memset(table, 0, 256);
    for (int i = 0; kVirtualKeys[i][0] != 0xFFFF; ++i)
        table[kVirtualKeys[i][1]] = keys[kVirtualKeys[i][0]];
}

int UpdateThroughDirectInput() {
    int now = GetMilliseconds();
    bool signalled = g_Input.keyboardEvent != nullptr &&
                     V_WaitForSingleObject(g_Input.keyboardEvent, 0) == V_WAIT_OBJECT_0;
    if (now == g_Input.lastKeyboardRefresh && !signalled) return 0;
    if (ProcessMessage() != 0) return 0;
    if (V_FAILED(g_Input.keyboard->GetDeviceState(256, g_Input.keyStateTable))) {
        g_Input.keyboard->Acquire();
        if (V_FAILED(g_Input.keyboard->GetDeviceState(256, g_Input.keyStateTable))) return 0;
    }
    g_Input.lastKeyboardRefresh = now;
    if (signalled) V_ResetEvent(g_Input.keyboardEvent);
    // The right shift key as the keyboard state reports it.
    V_BYTE keys[256];
    V_GetKeyboardState(keys);
    g_Input.keyStateTable[kRightShiftKey] = keys[kVirtualRightShift];
    MarkKeys(g_Input.keyStateTable);
    return 1;
}

int UpdateThroughKeyboardState() {
    if (!OnWindowThread()) return 0;
    int now = GetMilliseconds();
    if (now == g_Input.lastKeyboardRefresh) return 0;
    g_Input.lastKeyboardRefresh = now;
    if (ProcessMessage() != 0) return 0;
    V_BYTE keys[256];
    V_GetKeyboardState(keys);
    ConvertKeyboardState(keys, g_Input.keyStateTable);
    MarkKeys(g_Input.keyStateTable);
    StoreMouseButtons(keys);
    return 1;
}

}  // namespace

bool UsesDirectInputKeyboard() {
    return HasDirectInput() && g_Input.keyboard != nullptr &&
           (g_Input.directInputOnNewerSystems == 1 || g_Library.osCode < kVistaCode);
}

int UpdateKeyboardState() {
    if (g_Input.updateBusy) return 0;
    g_Input.updateBusy = 1;
    int result = UsesDirectInputKeyboard() ? UpdateThroughDirectInput()
                                           : UpdateThroughKeyboardState();
    g_Input.updateBusy = 0;
    return result;
}

bool PollKey(int keyCode, KeyPoll poll) {
    return ReportMark(g_Input.keyMarks[poll][keyCode & 0xFF],
                      (g_Input.keyStateTable[keyCode & 0xFF] & 0x80) != 0);
}

void AgeKeyMarks() {
    for (auto& marks : g_Input.keyMarks)
        for (uint8_t& mark : marks) AgeMark(mark);
    for (uint8_t& mark : g_Input.buttonMarks) AgeMark(mark);
}

int IsKeyDown(int keyCode) {
    WaitWhileInactive();
    if (IsInputRunning()) {
        UpdateKeyboardState();
        return PollKey(keyCode, kPollIsKeyDown) ? 1 : 0;
    }
    // Input starts again only while the window exists and is not closing.
    if (GetMainWindowHandle() != nullptr && !GetClosePostedFlag()) InitInput();
    return 0;
}

int GetMouseButtons() {
    if (UsesDirectInputKeyboard() && g_Input.mouse != nullptr) {
        V_DIMOUSESTATE2 state;
        if (V_FAILED(g_Input.mouse->GetDeviceState(sizeof(state), &state))) {
            g_Input.mouse->Acquire();
            if (V_FAILED(g_Input.mouse->GetDeviceState(sizeof(state), &state))) return 0;
        }
        // The device reports a click once; its mark keeps it for the rest of the pass.
        int buttons = 0;
        for (int i = 0; i < kMouseButtonCount; ++i) {
            bool down = (state.rgbButtons[i] & 0x80) != 0;
            MarkRefreshed(g_Input.buttonMarks[i], down);
            if (ReportMark(g_Input.buttonMarks[i], down)) buttons |= 1 << i;
        }
        return buttons;
    }
    UpdateKeyboardState();
    if (!g_Input.mouseButtonsRead) {
        // This read takes the keyboard state's presses as well: they are marked for the polls.
        V_BYTE keys[256];
        V_GetKeyboardState(keys);
        StoreMouseButtons(keys);
        uint8_t table[256];
        ConvertKeyboardState(keys, table);
        for (int code = 0; code < 256; ++code)
            if (table[code] & 0x80)
                for (int poll = 0; poll < kKeyPollCount; ++poll)
                    MarkRefreshed(g_Input.keyMarks[poll][code], true);
    }
    int buttons = 0;
    for (int i = 0; i < 3; ++i)
        if (ReportMark(g_Input.buttonMarks[i], (g_Input.mouseButtons[i] & 0x80) != 0))
            buttons |= 1 << i;
    return buttons;
}

int SetNoDirectInputFlag(int flag) {
    g_Input.noDirectInput = flag;
    return 0;
}

int SetDirectInputOnNewerSystemsFlag(int flag) {
    g_Input.directInputOnNewerSystems = flag;
    return 0;
}
