// Direct input devices: keyboard and mouse from the converted events' state, joysticks and
// their force-feedback effects from SDL.
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "platform/dinput/dinput_internal.h"
#include "platform/input_state.h"
#include "platform/kernel/kernel.h"
#include "platform/user/user.h"
#include "platform/user/user_internal.h"

namespace {

constexpr int kAxes = 8;  // X, Y, Z, Rx, Ry, Rz, two sliders
constexpr V_HRESULT kOtherAppHasPriority = static_cast<V_HRESULT>(0x80070005u);
constexpr V_HRESULT kNoEffect = V_S_FALSE;

// SDL's POV hat position in hundredths of a degree, clockwise from up.
V_DWORD HatToPov(Uint8 hat) {
    switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return 0xFFFFFFFFu;
    }
}

// SDL's axis value (-32768..32767) in the range, with the dead zone (0..10000 of the half
// range) around the centre.
V_LONG ScaleAxis(Sint16 raw, V_LONG minimum, V_LONG maximum, V_DWORD deadZone) {
    double centred = (static_cast<double>(raw) + 32768.0) / 65535.0 * 2.0 - 1.0;
    double zone = deadZone / 10000.0;
    double magnitude = centred < 0 ? -centred : centred;
    if (magnitude <= zone) magnitude = 0;
    else magnitude = zone >= 1.0 ? 0 : (magnitude - zone) / (1.0 - zone);
    double value = centred < 0 ? -magnitude : magnitude;
    double scaled = minimum + (value + 1.0) / 2.0 * (static_cast<double>(maximum) - minimum);
    return static_cast<V_LONG>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
}

class Device;

class Effect final : public V_IDirectInputEffect {
public:
    Effect(Device* owner, SDL_Haptic* haptic, int id);
    V_ULONG Release() override;
    V_HRESULT Start(V_DWORD iterations, V_DWORD) override {
        Uint32 count = iterations == V_INFINITE ? SDL_HAPTIC_INFINITY : iterations;
        return SDL_HapticRunEffect(haptic_, id_, count) == 0 ? V_DI_OK : V_E_FAIL;
    }
    V_HRESULT Stop() override {
        return SDL_HapticStopEffect(haptic_, id_) == 0 ? V_DI_OK : V_E_FAIL;
    }

private:
    ~Effect() override = default;
    Device* owner_;
    SDL_Haptic* haptic_;
    int id_;
};

class Device final : public V_IDirectInputDevice8A {
public:
    Device(DirectInputDeviceKind kind, int version, SDL_Joystick* joystick)
        : kind_(kind), version_(version), joystick_(joystick) {
        for (int i = 0; i < kAxes; ++i) {
            minimum_[i] = 0;
            maximum_[i] = 65535;
            deadZone_[i] = 0;
        }
    }

    void AddRef() { ++references_; }

    V_ULONG Release() override {
        V_ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    V_HRESULT SetDataFormat(const V_DIDATAFORMAT* format) override {
        if (format == nullptr) return V_DIERR_INVALIDPARAM;
        if (acquired_) return static_cast<V_HRESULT>(0x800700AAu);  // acquired
        V_DWORD wanted = kind_ == DirectInputDeviceKind::Keyboard ? 256
                         : kind_ == DirectInputDeviceKind::Mouse  ? sizeof(V_DIMOUSESTATE2)
                                                                  : sizeof(V_DIJOYSTATE);
        if (format->dwDataSize != wanted) return V_DIERR_INVALIDPARAM;
        dataSize_ = format->dwDataSize;
        return V_DI_OK;
    }

    V_HRESULT SetCooperativeLevel(V_HWND window, V_DWORD flags) override {
        bool exclusive = (flags & V_DISCL_EXCLUSIVE) != 0;
        bool foreground = (flags & V_DISCL_FOREGROUND) != 0;
        if (exclusive == ((flags & V_DISCL_NONEXCLUSIVE) != 0)) return V_DIERR_INVALIDPARAM;
        if (foreground == ((flags & V_DISCL_BACKGROUND) != 0)) return V_DIERR_INVALIDPARAM;
        // Only the foreground level follows a window; the background levels read the devices
        // whatever becomes of it (a window closed during start-up does not fail them).
        if (foreground && !V_IsWindow(window)) return V_E_INVALIDARG;
        // The keyboard cannot be held exclusively in the background.
        if (kind_ == DirectInputDeviceKind::Keyboard && exclusive && !foreground)
            return V_DIERR_UNSUPPORTED;
        window_ = window;
        foreground_ = foreground;
        cooperativeSet_ = true;
        return V_DI_OK;
    }

    V_HRESULT SetProperty(const V_GUID* property, const V_DIPROPHEADER* header) override {
        if (header == nullptr) return V_DIERR_INVALIDPARAM;
        if (property == V_DIPROP_BUFFERSIZE) return V_DI_OK;  // no buffered data is read
        if (kind_ != DirectInputDeviceKind::Joystick) return V_DIERR_UNSUPPORTED;
        int first = 0, last = kAxes - 1;
        if (header->dwHow == V_DIPH_BYOFFSET) {
            if (header->dwObj % 4 != 0 || header->dwObj / 4 >= kAxes) return V_DIERR_INVALIDPARAM;
            first = last = static_cast<int>(header->dwObj / 4);
        } else if (header->dwHow != V_DIPH_DEVICE) {
            return V_DIERR_INVALIDPARAM;
        }
        if (property == V_DIPROP_RANGE) {
            const V_DIPROPRANGE* range = reinterpret_cast<const V_DIPROPRANGE*>(header);
            if (range->lMin >= range->lMax) return V_DIERR_INVALIDPARAM;
            for (int i = first; i <= last; ++i) minimum_[i] = range->lMin, maximum_[i] = range->lMax;
            return V_DI_OK;
        }
        if (property == V_DIPROP_DEADZONE) {
            const V_DIPROPDWORD* value = reinterpret_cast<const V_DIPROPDWORD*>(header);
            if (value->dwData > 10000) return V_DIERR_INVALIDPARAM;
            for (int i = first; i <= last; ++i) deadZone_[i] = value->dwData;
            return V_DI_OK;
        }
        return V_DIERR_UNSUPPORTED;
    }

    V_HRESULT Acquire() override {
        if (dataSize_ == 0 || !cooperativeSet_) return V_DIERR_INVALIDPARAM;
        if (foreground_ && UserGetActiveWindow() != window_) return kOtherAppHasPriority;
        if (kind_ == DirectInputDeviceKind::Joystick && !SDL_JoystickGetAttached(joystick_))
            return V_DIERR_UNPLUGGED;
        if (acquired_) return kNoEffect;
        acquired_ = true;
        if (kind_ == DirectInputDeviceKind::Mouse) {
            int dx, dy, wheel;
            InputStateTakeMouseMotion(&dx, &dy, &wheel);  // motion starts from now
        }
        return V_DI_OK;
    }

    V_HRESULT Unacquire() override {
        if (!acquired_) return kNoEffect;
        acquired_ = false;
        return V_DI_OK;
    }

    V_HRESULT SetEventNotification(V_HANDLE event) override {
        if (acquired_) return static_cast<V_HRESULT>(0x800700AAu);
        event_ = event;
        if (kind_ == DirectInputDeviceKind::Keyboard) InputStateSetKeyboardEvent(event);
        return V_DI_OK;
    }

    V_HRESULT GetDeviceState(V_DWORD size, void* data) override {
        if (data == nullptr || size != dataSize_) return V_DIERR_INVALIDPARAM;
        if (!acquired_) return V_DIERR_NOTACQUIRED;
        switch (kind_) {
        case DirectInputDeviceKind::Keyboard: ReadKeyboard(static_cast<V_BYTE*>(data)); break;
        case DirectInputDeviceKind::Mouse: ReadMouse(static_cast<V_DIMOUSESTATE2*>(data)); break;
        case DirectInputDeviceKind::Joystick:
            if (!SDL_JoystickGetAttached(joystick_)) {
                acquired_ = false;
                return V_DIERR_INPUTLOST;
            }
            SDL_JoystickUpdate();
            ReadJoystick(static_cast<V_DIJOYSTATE*>(data));
            break;
        }
        return V_DI_OK;
    }

    V_HRESULT Poll() override {
        if (!acquired_) return V_DIERR_NOTACQUIRED;
        if (kind_ != DirectInputDeviceKind::Joystick) return kNoEffect;
        if (!SDL_JoystickGetAttached(joystick_)) return V_DIERR_INPUTLOST;
        SDL_JoystickUpdate();
        V_DIJOYSTATE now;
        ReadJoystick(&now);
        if (std::memcmp(&now, &lastPolled_, sizeof(now)) != 0 && event_ != nullptr)
            V_SetEvent(event_);
        lastPolled_ = now;
        return V_DI_OK;
    }

    V_HRESULT GetDeviceInfo(V_DIDEVICEINSTANCEA* instance) override {
        if (instance == nullptr || instance->dwSize != sizeof(V_DIDEVICEINSTANCEA))
            return V_DIERR_INVALIDPARAM;
        std::memset(instance, 0, sizeof(*instance));
        instance->dwSize = sizeof(*instance);
        const char* name = "Joystick";
        switch (kind_) {
        case DirectInputDeviceKind::Keyboard:
            instance->guidInstance = instance->guidProduct = V_GUID_SysKeyboard;
            instance->dwDevType = version_ == 8 ? 0x13 : 3;
            name = "Keyboard";
            break;
        case DirectInputDeviceKind::Mouse:
            instance->guidInstance = instance->guidProduct = V_GUID_SysMouse;
            instance->dwDevType = version_ == 8 ? 0x12 : 2;
            name = "Mouse";
            break;
        case DirectInputDeviceKind::Joystick: {
            instance->guidInstance = DirectInputJoystickGuid(SDL_JoystickInstanceID(joystick_));
            SDL_JoystickGUID product = SDL_JoystickGetGUID(joystick_);
            std::memcpy(&instance->guidProduct, product.data, sizeof(instance->guidProduct));
            instance->dwDevType = version_ == 8 ? 0x15 : 4;
            if (SDL_JoystickName(joystick_) != nullptr) name = SDL_JoystickName(joystick_);
            break;
        }
        }
        V_Utf8ToCp932Replacing(name, instance->tszInstanceName, sizeof(instance->tszInstanceName));
        V_Utf8ToCp932Replacing(name, instance->tszProductName, sizeof(instance->tszProductName));
        return V_DI_OK;
    }

    V_HRESULT CreateEffect(const V_GUID& type, const V_DIEFFECT* parameters,
                           V_IDirectInputEffect** created, void* outer) override {
        if (created == nullptr) return V_E_POINTER;
        *created = nullptr;
        if (parameters == nullptr || outer != nullptr) return V_DIERR_INVALIDPARAM;
        if (kind_ != DirectInputDeviceKind::Joystick) return V_DIERR_UNSUPPORTED;
        if (haptic_ == nullptr) haptic_ = SDL_HapticOpenFromJoystick(joystick_);
        if (haptic_ == nullptr) return V_DIERR_UNSUPPORTED;
        SDL_HapticEffect effect;
        std::memset(&effect, 0, sizeof(effect));
        if (!DescribeEffect(type, *parameters, &effect)) return V_DIERR_UNSUPPORTED;
        int id = SDL_HapticNewEffect(haptic_, &effect);
        if (id < 0) return V_DIERR_UNSUPPORTED;
        *created = new Effect(this, haptic_, id);
        return V_DI_OK;
    }

private:
    ~Device() override {
        if (kind_ == DirectInputDeviceKind::Keyboard && event_ != nullptr)
            InputStateSetKeyboardEvent(nullptr);
        if (haptic_ != nullptr) SDL_HapticClose(haptic_);
        if (joystick_ != nullptr) SDL_JoystickClose(joystick_);
    }

    void ReadKeyboard(V_BYTE* keys) {
        std::memset(keys, 0, 256);
        for (int scancode = 1; scancode < SDL_NUM_SCANCODES; ++scancode) {
            int number = InputScancodeToKeyNumber(scancode);
            if (number != 0 && InputStateIsKeyDown(scancode, InputReader::DirectInput))
                keys[number] = 0x80;
        }
    }

    void ReadMouse(V_DIMOUSESTATE2* state) {
        int dx, dy, wheel;
        InputStateTakeMouseMotion(&dx, &dy, &wheel);
        state->lX = dx;
        state->lY = dy;
        state->lZ = wheel;
        uint32_t buttons = InputStateMouseButtons(InputReader::DirectInput);
        // SDL numbers the middle button 2 and the right 3; the device reports left, right,
        // middle, then the side buttons.
        static const int kSdlBit[8] = {0, 2, 1, 3, 4, 5, 6, 7};
        for (int i = 0; i < 8; ++i) state->rgbButtons[i] = (buttons >> kSdlBit[i]) & 1u ? 0x80 : 0;
    }

    void ReadJoystick(V_DIJOYSTATE* state) {
        std::memset(state, 0, sizeof(*state));
        V_LONG* axes[kAxes] = {&state->lX,  &state->lY,  &state->lZ,
                               &state->lRx, &state->lRy, &state->lRz,
                               &state->rglSlider[0], &state->rglSlider[1]};
        int axisCount = SDL_JoystickNumAxes(joystick_);
        for (int i = 0; i < kAxes; ++i) {
            Sint16 raw = i < axisCount ? SDL_JoystickGetAxis(joystick_, i) : 0;
            *axes[i] = ScaleAxis(raw, minimum_[i], maximum_[i], deadZone_[i]);
        }
        int hats = SDL_JoystickNumHats(joystick_);
        for (int i = 0; i < 4; ++i)
            state->rgdwPOV[i] = i < hats ? HatToPov(SDL_JoystickGetHat(joystick_, i)) : 0xFFFFFFFFu;
        int buttons = SDL_JoystickNumButtons(joystick_);
        for (int i = 0; i < 32 && i < buttons; ++i)
            state->rgbButtons[i] = SDL_JoystickGetButton(joystick_, i) ? 0x80 : 0;
    }

    bool DescribeEffect(const V_GUID& type, const V_DIEFFECT& in, SDL_HapticEffect* out) {
        auto magnitude = [](long value) {
            long scaled = value * 32767 / 10000;
            return static_cast<Sint16>(scaled > 32767 ? 32767 : scaled < -32767 ? -32767 : scaled);
        };
        auto milliseconds = [](V_DWORD microseconds) {
            return microseconds == V_INFINITE ? SDL_HAPTIC_INFINITY
                                              : static_cast<Uint32>(microseconds / 1000);
        };
        SDL_HapticDirection direction;
        std::memset(&direction, 0, sizeof(direction));
        if (in.dwFlags & V_DIEFF_POLAR) {
            direction.type = SDL_HAPTIC_POLAR;
            direction.dir[0] = in.rglDirection != nullptr ? in.rglDirection[0] : 0;
        } else {
            direction.type = SDL_HAPTIC_CARTESIAN;
            for (V_DWORD i = 0; i < in.cAxes && i < 3 && in.rglDirection != nullptr; ++i)
                direction.dir[i] = in.rglDirection[i];
        }
        unsigned int supported = SDL_HapticQuery(haptic_);
        Uint16 length = static_cast<Uint16>(milliseconds(in.dwDuration) > 0xFFFF
                                                ? SDL_HAPTIC_INFINITY
                                                : milliseconds(in.dwDuration));
        if (type == V_GUID_Sine && in.lpvTypeSpecificParams != nullptr) {
            if (!(supported & SDL_HAPTIC_SINE)) return false;
            const V_DIPERIODIC* periodic = static_cast<const V_DIPERIODIC*>(in.lpvTypeSpecificParams);
            out->type = SDL_HAPTIC_SINE;
            out->periodic.direction = direction;
            out->periodic.length = length;
            out->periodic.period = static_cast<Uint16>(periodic->dwPeriod / 1000);
            out->periodic.magnitude = magnitude(static_cast<long>(periodic->dwMagnitude));
            out->periodic.offset = magnitude(periodic->lOffset);
            out->periodic.phase = static_cast<Uint16>(periodic->dwPhase);
            if (in.lpEnvelope != nullptr) {
                out->periodic.attack_length = static_cast<Uint16>(in.lpEnvelope->dwAttackTime / 1000);
                out->periodic.attack_level = static_cast<Uint16>(magnitude(in.lpEnvelope->dwAttackLevel));
                out->periodic.fade_length = static_cast<Uint16>(in.lpEnvelope->dwFadeTime / 1000);
                out->periodic.fade_level = static_cast<Uint16>(magnitude(in.lpEnvelope->dwFadeLevel));
            }
            return true;
        }
        if (type == V_GUID_ConstantForce && in.lpvTypeSpecificParams != nullptr) {
            if (!(supported & SDL_HAPTIC_CONSTANT)) return false;
            const V_DICONSTANTFORCE* force =
                static_cast<const V_DICONSTANTFORCE*>(in.lpvTypeSpecificParams);
            out->type = SDL_HAPTIC_CONSTANT;
            out->constant.direction = direction;
            out->constant.length = length;
            out->constant.level = magnitude(force->lMagnitude);
            return true;
        }
        return false;
    }

    DirectInputDeviceKind kind_;
    int version_;
    SDL_Joystick* joystick_;
    SDL_Haptic* haptic_ = nullptr;
    std::atomic<V_ULONG> references_{1};
    V_DWORD dataSize_ = 0;
    V_HWND window_ = nullptr;
    bool foreground_ = false;
    bool cooperativeSet_ = false;
    bool acquired_ = false;
    V_HANDLE event_ = nullptr;
    V_LONG minimum_[kAxes];
    V_LONG maximum_[kAxes];
    V_DWORD deadZone_[kAxes];
    V_DIJOYSTATE lastPolled_{};
};

Effect::Effect(Device* owner, SDL_Haptic* haptic, int id)
    : owner_(owner), haptic_(haptic), id_(id) {
    owner_->AddRef();  // the haptic device lives as long as its effects
}

V_ULONG Effect::Release() {
    SDL_HapticDestroyEffect(haptic_, id_);
    Device* owner = owner_;
    delete this;
    owner->Release();
    return 0;
}

}  // namespace

V_IDirectInputDevice8A* DirectInputCreateDevice(DirectInputDeviceKind kind, int version,
                                                int joystickInstance) {
    SDL_Joystick* joystick = nullptr;
    if (kind == DirectInputDeviceKind::Joystick) {
        int count = SDL_NumJoysticks();
        for (int i = 0; i < count && joystick == nullptr; ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == joystickInstance)
                joystick = SDL_JoystickOpen(i);
        if (joystick == nullptr) return nullptr;
    }
    return new Device(kind, version, joystick);
}
