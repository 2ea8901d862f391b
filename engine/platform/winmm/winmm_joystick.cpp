// The multimedia library's joystick calls over SDL's joystick subsystem.
#include <SDL.h>

#include <cstring>
#include <mutex>

#include "platform/kernel/kernel.h"
#include "platform/winmm/winmm.h"

namespace {

// The joysticks opened so far, by device index; the subsystem is started on first use.
struct JoystickTable {
    std::mutex lock;
    bool started = false;
    SDL_Joystick* open[16] = {};
};

JoystickTable& Table() {
    static JoystickTable* table = new JoystickTable;
    return *table;
}

SDL_Joystick* OpenJoystick(V_UINT id) {
    JoystickTable& table = Table();
    if (!table.started) {
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return nullptr;
        table.started = true;
    }
    if (id >= 16) return nullptr;
    SDL_JoystickUpdate();
    SDL_Joystick*& joystick = table.open[id];
    if (joystick != nullptr && !SDL_JoystickGetAttached(joystick)) {
        SDL_JoystickClose(joystick);
        joystick = nullptr;
    }
    if (joystick == nullptr && static_cast<int>(id) < SDL_NumJoysticks())
        joystick = SDL_JoystickOpen(static_cast<int>(id));
    return joystick;
}

V_DWORD AxisPosition(SDL_Joystick* joystick, int axis) {
    if (axis >= SDL_JoystickNumAxes(joystick)) return 32767;
    return static_cast<V_DWORD>(SDL_JoystickGetAxis(joystick, axis) + 32768);
}

}  // namespace

V_UINT V_joyGetDevCapsA(V_UINT_PTR id, V_JOYCAPSA* caps, V_UINT size) {
    if (caps == nullptr || size < sizeof(V_JOYCAPSA)) return V_JOYERR_PARMS;
    std::lock_guard<std::mutex> guard(Table().lock);
    SDL_Joystick* joystick = OpenJoystick(static_cast<V_UINT>(id));
    if (joystick == nullptr) return V_JOYERR_UNPLUGGED;
    std::memset(caps, 0, sizeof(*caps));
    const char* name = SDL_JoystickName(joystick);
    V_Utf8ToCp932Replacing(name != nullptr ? name : "Joystick", caps->szPname, sizeof(caps->szPname));
    int axes = SDL_JoystickNumAxes(joystick);
    caps->wXmax = caps->wYmax = caps->wZmax = caps->wRmax = caps->wUmax = caps->wVmax = 65535;
    caps->wNumButtons = static_cast<V_UINT>(SDL_JoystickNumButtons(joystick));
    caps->wMaxButtons = 32;
    caps->wPeriodMin = 10;
    caps->wPeriodMax = 1000;
    caps->wNumAxes = static_cast<V_UINT>(axes > 6 ? 6 : axes);
    caps->wMaxAxes = 6;
    if (axes >= 3) caps->wCaps |= V_JOYCAPS_HASZ;
    if (axes >= 4) caps->wCaps |= V_JOYCAPS_HASR;
    if (SDL_JoystickNumHats(joystick) > 0) caps->wCaps |= V_JOYCAPS_HASPOV;
    return V_JOYERR_NOERROR;
}

V_UINT V_joyGetPosEx(V_UINT id, V_JOYINFOEX* info) {
    if (info == nullptr || info->dwSize < sizeof(V_JOYINFOEX)) return V_JOYERR_PARMS;
    std::lock_guard<std::mutex> guard(Table().lock);
    SDL_Joystick* joystick = OpenJoystick(id);
    if (joystick == nullptr) return V_JOYERR_UNPLUGGED;
    V_DWORD size = info->dwSize, flags = info->dwFlags;
    std::memset(info, 0, sizeof(*info));
    info->dwSize = size;
    info->dwFlags = flags;
    info->dwXpos = AxisPosition(joystick, 0);
    info->dwYpos = AxisPosition(joystick, 1);
    info->dwZpos = AxisPosition(joystick, 2);
    info->dwRpos = AxisPosition(joystick, 3);
    info->dwUpos = AxisPosition(joystick, 4);
    info->dwVpos = AxisPosition(joystick, 5);
    int buttons = SDL_JoystickNumButtons(joystick);
    for (int i = 0; i < buttons && i < 32; ++i) {
        if (SDL_JoystickGetButton(joystick, i)) {
            info->dwButtons |= 1u << i;
            ++info->dwButtonNumber;
        }
    }
    info->dwPOV = 0xFFFF;
    if (SDL_JoystickNumHats(joystick) > 0) {
        static const V_DWORD kPov[16] = {0xFFFF, 0, 9000, 4500, 18000, 0xFFFF, 13500, 0xFFFF,
                                         27000, 31500, 0xFFFF, 0xFFFF, 22500};
        info->dwPOV = kPov[SDL_JoystickGetHat(joystick, 0) & 15];
    }
    return V_JOYERR_NOERROR;
}
