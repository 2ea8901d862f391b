// Conversion of SDL events into window messages, and the key and mouse state kept from them.
#include <cstring>

#include "platform/imm/imm.h"
#include "platform/input_state.h"
#include "platform/kernel/kernel.h"
#include "platform/shell/shell.h"
#include "platform/user/user_internal.h"

namespace {

struct InputState {
    bool keyDown[256] = {};
    int mouseX = 0;  // screen coordinates
    int mouseY = 0;
    V_WPARAM buttons = 0;  // MK_ flags of the buttons held
    V_HDROP pendingDrop = nullptr;
    uint32_t pendingDropWindow = 0;
};

InputState& State() {
    static InputState* state = new InputState;
    return *state;
}

V_LPARAM PackPoint(int x, int y) {
    return static_cast<V_LPARAM>((static_cast<uint32_t>(x) & 0xFFFF) |
                                 ((static_cast<uint32_t>(y) & 0xFFFF) << 16));
}

// Virtual-key code of an SDL key, 0 for keys without one.
int VirtualKey(const SDL_Keysym& key) {
    SDL_Keycode code = key.sym;
    if (code >= SDLK_a && code <= SDLK_z) return 'A' + (code - SDLK_a);
    if (code >= SDLK_0 && code <= SDLK_9) return '0' + (code - SDLK_0);
    if (code >= SDLK_F1 && code <= SDLK_F12) return 0x70 + (code - SDLK_F1);
    switch (key.scancode) {
    case SDL_SCANCODE_KP_0: return 0x60;
    case SDL_SCANCODE_KP_1: return 0x61;
    case SDL_SCANCODE_KP_2: return 0x62;
    case SDL_SCANCODE_KP_3: return 0x63;
    case SDL_SCANCODE_KP_4: return 0x64;
    case SDL_SCANCODE_KP_5: return 0x65;
    case SDL_SCANCODE_KP_6: return 0x66;
    case SDL_SCANCODE_KP_7: return 0x67;
    case SDL_SCANCODE_KP_8: return 0x68;
    case SDL_SCANCODE_KP_9: return 0x69;
    case SDL_SCANCODE_KP_MULTIPLY: return 0x6A;
    case SDL_SCANCODE_KP_PLUS: return 0x6B;
    case SDL_SCANCODE_KP_MINUS: return 0x6D;
    case SDL_SCANCODE_KP_PERIOD: return 0x6E;
    case SDL_SCANCODE_KP_DIVIDE: return 0x6F;
    case SDL_SCANCODE_KP_ENTER: return V_VK_RETURN;
    default: break;
    }
    switch (code) {
    case SDLK_BACKSPACE: return V_VK_BACK;
    case SDLK_TAB: return V_VK_TAB;
    case SDLK_RETURN: return V_VK_RETURN;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return V_VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return V_VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return V_VK_MENU;
    case SDLK_PAUSE: return 0x13;
    case SDLK_CAPSLOCK: return 0x14;
    case SDLK_ESCAPE: return V_VK_ESCAPE;
    case SDLK_SPACE: return V_VK_SPACE;
    case SDLK_PAGEUP: return V_VK_PRIOR;
    case SDLK_PAGEDOWN: return V_VK_NEXT;
    case SDLK_END: return V_VK_END;
    case SDLK_HOME: return V_VK_HOME;
    case SDLK_LEFT: return V_VK_LEFT;
    case SDLK_UP: return V_VK_UP;
    case SDLK_RIGHT: return V_VK_RIGHT;
    case SDLK_DOWN: return V_VK_DOWN;
    case SDLK_PRINTSCREEN: return 0x2C;
    case SDLK_INSERT: return V_VK_INSERT;
    case SDLK_DELETE: return V_VK_DELETE;
    case SDLK_LGUI: return 0x5B;
    case SDLK_RGUI: return 0x5C;
    case SDLK_APPLICATION: return 0x5D;
    case SDLK_NUMLOCKCLEAR: return 0x90;
    case SDLK_SCROLLLOCK: return 0x91;
    case SDLK_SEMICOLON: return 0xBA;
    case SDLK_EQUALS: return 0xBB;
    case SDLK_COMMA: return 0xBC;
    case SDLK_MINUS: return 0xBD;
    case SDLK_PERIOD: return 0xBE;
    case SDLK_SLASH: return 0xBF;
    case SDLK_BACKQUOTE: return 0xC0;
    case SDLK_LEFTBRACKET: return 0xDB;
    case SDLK_BACKSLASH: return 0xDC;
    case SDLK_RIGHTBRACKET: return 0xDD;
    case SDLK_QUOTE: return 0xDE;
    default: return 0;
    }
}

// The character a key down makes where the desktop sends no text: control characters.
int ControlCharacter(const SDL_Keysym& key) {
    if (key.mod & KMOD_ALT) return 0;
    bool control = (key.mod & KMOD_CTRL) != 0;
    switch (key.sym) {
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_RETURN: case SDLK_KP_ENTER: return control ? 10 : 13;
    case SDLK_ESCAPE: return 27;
    default: break;
    }
    if (control && key.sym >= SDLK_a && key.sym <= SDLK_z) return 1 + (key.sym - SDLK_a);
    return 0;
}

V_WPARAM MouseKeyFlags() {
    InputState& state = State();
    V_WPARAM flags = state.buttons;
    SDL_Keymod mod = SDL_GetModState();
    if (state.keyDown[V_VK_SHIFT] || (mod & KMOD_SHIFT)) flags |= V_MK_SHIFT;
    if (state.keyDown[V_VK_CONTROL] || (mod & KMOD_CTRL)) flags |= V_MK_CONTROL;
    return flags;
}

UserWindow* EventWindow(uint32_t sdlId) {
    UserWindow* window = sdlId != 0 ? UserFindWindowBySdlId(sdlId) : nullptr;
    return window != nullptr ? window : UserFirstWindow();
}

void Post(UserWindow* window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam) {
    InputState& state = State();
    V_MSG posted{UserHandle(window), message, wParam, lParam, V_GetTickCount(),
                 {state.mouseX, state.mouseY}};
    UserPostToThread(window->threadId, posted);
}

void ConvertWindowEvent(const SDL_WindowEvent& event) {
    V_HWND handle;
    UserWindow* window;
    int x = event.data1, y = event.data2;
    bool sendMove = false, sendSize = false;
    {
        std::lock_guard<std::recursive_mutex> lock(UserLock());
        window = EventWindow(event.windowID);
        if (window == nullptr || window->destroying) return;
        handle = UserHandle(window);
        V_RECT& r = window->rect;
        switch (event.event) {
        case SDL_WINDOWEVENT_EXPOSED:
            window->invalid = true;
            break;
        case SDL_WINDOWEVENT_MOVED:
            if (x != r.left || y != r.top) {
                r = {x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
                sendMove = true;
            }
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (x > 0 && y > 0 && (x != r.right - r.left || y != r.bottom - r.top)) {
                r.right = r.left + x;
                r.bottom = r.top + y;
                window->invalid = true;
                sendSize = true;
            }
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            if (UserGetActiveWindow() != handle) UserSetActiveWindow(window, true, false);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            if (UserGetActiveWindow() == handle) UserSetActiveWindow(window, false, false);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            Post(window, V_WM_CLOSE, 0, 0);
            break;
        default:
            break;
        }
    }
    if (sendMove) V_SendMessageA(handle, V_WM_MOVE, 0, PackPoint(x, y));
    if (sendSize) V_SendMessageA(handle, V_WM_SIZE, V_SIZE_RESTORED, PackPoint(x, y));
}

void ConvertKeyEvent(const SDL_KeyboardEvent& event) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = EventWindow(event.windowID);
    int key = VirtualKey(event.keysym);
    bool down = event.type == SDL_KEYDOWN;
    InputStateSetKeyAt(event.keysym.scancode, down, event.timestamp);
    InputState& state = State();
    bool wasDown = key != 0 && state.keyDown[key];
    if (key != 0) state.keyDown[key] = down;
    if (window == nullptr || key == 0) return;
    bool alt = (event.keysym.mod & KMOD_ALT) != 0 || key == V_VK_MENU;
    V_UINT message = down ? (alt ? V_WM_SYSKEYDOWN : V_WM_KEYDOWN)
                          : (alt ? V_WM_SYSKEYUP : V_WM_KEYUP);
    uint32_t flags = 1u | (static_cast<uint32_t>(event.keysym.scancode & 0xFF) << 16);
    if (wasDown || !down) flags |= 1u << 30;
    if (!down) flags |= 1u << 31;
    Post(window, message, static_cast<V_WPARAM>(key), static_cast<V_LPARAM>(flags));
    int character = down ? ControlCharacter(event.keysym) : 0;
    if (character != 0) Post(window, V_WM_CHAR, static_cast<V_WPARAM>(character), 1);
}

void ConvertTextEvent(const SDL_TextInputEvent& event) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = EventWindow(event.windowID);
    if (window == nullptr) return;
    if (ImmConvertTextInput(UserHandle(window), event.text)) return;  // an IME result
    char text[sizeof(event.text) * 2];
    V_Utf8ToCp932WithDefault(event.text, text, sizeof(text));
    for (const char* p = text; *p != '\0'; ++p)
        Post(window, V_WM_CHAR, static_cast<V_WPARAM>(static_cast<unsigned char>(*p)), 1);
}

void ConvertMouseEvent(const SDL_Event& event) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    InputState& state = State();
    if (event.type == SDL_MOUSEMOTION) InputStateAddMouseMotion(event.motion.xrel, event.motion.yrel, 0);
    if (event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP)
        InputStateSetMouseButtonAt(event.button.button, event.type == SDL_MOUSEBUTTONDOWN,
                                   event.button.timestamp);
    uint32_t sdlId = event.type == SDL_MOUSEWHEEL ? event.wheel.windowID : event.motion.windowID;
    UserWindow* window = EventWindow(sdlId);
    if (window == nullptr) return;
    if (event.type == SDL_MOUSEWHEEL) {
        int steps = event.wheel.y;
        if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) steps = -steps;
        if (steps == 0) return;
        InputStateAddMouseMotion(0, 0, steps * V_WHEEL_DELTA);
        uint32_t delta = static_cast<uint16_t>(static_cast<int16_t>(steps * V_WHEEL_DELTA));
        Post(window, V_WM_MOUSEWHEEL, (delta << 16) | (MouseKeyFlags() & 0xFFFF),
             PackPoint(state.mouseX, state.mouseY));
        return;
    }
    int x = event.type == SDL_MOUSEMOTION ? event.motion.x : event.button.x;
    int y = event.type == SDL_MOUSEMOTION ? event.motion.y : event.button.y;
    state.mouseX = window->rect.left + x;
    state.mouseY = window->rect.top + y;
    if (event.type == SDL_MOUSEMOTION) {
        Post(window, V_WM_MOUSEMOVE, MouseKeyFlags(), PackPoint(x, y));
        return;
    }
    bool down = event.type == SDL_MOUSEBUTTONDOWN;
    V_UINT message;
    V_WPARAM flag;
    switch (event.button.button) {
    case SDL_BUTTON_LEFT:
        message = down ? V_WM_LBUTTONDOWN : V_WM_LBUTTONUP, flag = V_MK_LBUTTON;
        break;
    case SDL_BUTTON_RIGHT:
        message = down ? V_WM_RBUTTONDOWN : V_WM_RBUTTONUP, flag = V_MK_RBUTTON;
        break;
    case SDL_BUTTON_MIDDLE:
        message = down ? V_WM_MBUTTONDOWN : V_WM_MBUTTONUP, flag = V_MK_MBUTTON;
        break;
    default:
        return;
    }
    if (down) state.buttons |= flag;
    else state.buttons &= ~flag;
    Post(window, message, MouseKeyFlags(), PackPoint(x, y));
}

void ConvertDropEvent(SDL_DropEvent& event) {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    InputState& state = State();
    if (event.type == SDL_DROPBEGIN || (event.type == SDL_DROPFILE && !state.pendingDrop)) {
        if (state.pendingDrop == nullptr) state.pendingDrop = ShellCreateDrop();
        state.pendingDropWindow = event.windowID;
    }
    if (event.type == SDL_DROPFILE && event.file != nullptr) {
        static char name[V_MAX_PATH * 4];
        if (V_Utf8ToCp932(event.file, name, sizeof(name)))
            ShellAddDroppedFile(state.pendingDrop, name);
    }
    if (event.file != nullptr) SDL_free(event.file);
    event.file = nullptr;
    if (event.type == SDL_DROPCOMPLETE && state.pendingDrop != nullptr) {
        UserWindow* window = EventWindow(state.pendingDropWindow);
        if (window != nullptr)
            Post(window, V_WM_DROPFILES, reinterpret_cast<V_WPARAM>(state.pendingDrop), 0);
        else
            V_DragFinish(state.pendingDrop);
        state.pendingDrop = nullptr;
    }
}

// A termination signal or SDL's quit request closes the first window as its close box does;
// a window that is already being destroyed needs no further request.
void ConvertCloseRequest() {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    UserWindow* window = UserFirstWindow();
    if (window != nullptr && !window->destroying) Post(window, V_WM_CLOSE, 0, 0);
}

}  // namespace

void UserConvertPendingEvents() {
    SDL_PumpEvents();
    if (UserTakeCloseSignal()) ConvertCloseRequest();
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        switch (event.type) {
        case SDL_WINDOWEVENT: ConvertWindowEvent(event.window); break;
        case SDL_KEYDOWN: case SDL_KEYUP: ConvertKeyEvent(event.key); break;
        case SDL_TEXTINPUT: ConvertTextEvent(event.text); break;
        case SDL_TEXTEDITING: case SDL_TEXTEDITING_EXT: ImmConvertEditingEvent(event); break;
        case SDL_MOUSEMOTION: case SDL_MOUSEBUTTONDOWN: case SDL_MOUSEBUTTONUP:
        case SDL_MOUSEWHEEL: ConvertMouseEvent(event); break;
        case SDL_DROPBEGIN: case SDL_DROPFILE: case SDL_DROPCOMPLETE: ConvertDropEvent(event.drop);
            break;
        case SDL_DROPTEXT: if (event.drop.file != nullptr) SDL_free(event.drop.file); break;
        // After a window's close event the window is gone by the time this is dispatched.
        case SDL_QUIT: ConvertCloseRequest(); break;
        default: break;
        }
    }
}

V_BOOL V_GetCursorPos(V_POINT* point) {
    if (point == nullptr) return V_FALSE;
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    point->x = State().mouseX;
    point->y = State().mouseY;
    return V_TRUE;
}

void UserResetInputState() {
    std::lock_guard<std::recursive_mutex> lock(UserLock());
    InputState& state = State();
    std::memset(state.keyDown, 0, sizeof(state.keyDown));
    InputStateReset();
    state.buttons = 0;
    if (state.pendingDrop != nullptr) V_DragFinish(state.pendingDrop);
    state.pendingDrop = nullptr;
}
