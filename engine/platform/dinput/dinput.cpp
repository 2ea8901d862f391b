// The direct input objects of versions 7 and 8: start-up, device enumeration and creation.
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "platform/dinput/dinput_internal.h"
#include "platform/kernel/kernel.h"

const V_GUID V_CLSID_DirectInput = {
    0x25E609E0, 0xB259, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const V_GUID V_CLSID_DirectInput8 = {
    0x25E609E4, 0xB259, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const V_GUID V_IID_IDirectInput7A = {
    0x9A4CB684, 0x236D, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
const V_GUID V_IID_IDirectInput8A = {
    0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const V_GUID V_IID_IDirectInputDevice7A = {
    0x57D7C6BC, 0x2356, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
const V_GUID V_GUID_SysMouse = {
    0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const V_GUID V_GUID_SysKeyboard = {
    0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const V_GUID V_GUID_Sine = {
    0x13541C23, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};
const V_GUID V_GUID_ConstantForce = {
    0x13541C20, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};

namespace {

// Object lists of the predefined formats; only their count and data size are read here.
V_DIOBJECTDATAFORMAT g_KeyboardObjects[256];
V_DIOBJECTDATAFORMAT g_MouseObjects[11];
V_DIOBJECTDATAFORMAT g_JoystickObjects[44];

std::atomic<int> g_RefusedVersions{0};

// "VELKJOY" marks the instance identifiers of joysticks; Data1 holds SDL's instance id.
constexpr uint8_t kJoystickMark[8] = {'V', 'E', 'L', 'K', 'J', 'O', 'Y', 0};

class DirectInputObject final : public V_IDirectInput7A, public V_IDirectInput8A {
public:
    explicit DirectInputObject(int version) : version_(version) {}

    V_ULONG Release() override {
        V_ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    V_HRESULT Initialize(V_HINSTANCE, V_DWORD version) override {
        if ((version_ == 7 && version > 0x700) || (version_ == 8 && version != 0x800))
            return V_DIERR_INVALIDPARAM;
        if (!started_) {
            // The pads are read whatever window has the focus; the cooperative levels decide.
            SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
            if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return V_E_FAIL;
            SDL_InitSubSystem(SDL_INIT_HAPTIC);  // force feedback is optional
            started_ = true;
        }
        return V_DI_OK;
    }

    V_HRESULT EnumDevices(V_DWORD type, V_LPDIENUMDEVICESCALLBACKA callback, void* ref,
                          V_DWORD) override {
        if (!started_) return V_DIERR_NOTINITIALIZED;
        if (callback == nullptr) return V_DIERR_INVALIDPARAM;
        if (type != V_DIDEVTYPE_JOYSTICK) return V_DI_OK;  // only game controllers are listed
        SDL_JoystickUpdate();
        int count = SDL_NumJoysticks();
        for (int i = 0; i < count; ++i) {
            V_DIDEVICEINSTANCEA instance;
            std::memset(&instance, 0, sizeof(instance));
            instance.dwSize = sizeof(instance);
            instance.guidInstance = DirectInputJoystickGuid(SDL_JoystickGetDeviceInstanceID(i));
            SDL_JoystickGUID product = SDL_JoystickGetDeviceGUID(i);
            std::memcpy(&instance.guidProduct, product.data, sizeof(instance.guidProduct));
            instance.dwDevType = version_ == 8 ? 0x15 : 4;
            const char* name = SDL_JoystickNameForIndex(i);
            V_Utf8ToCp932Replacing(name != nullptr ? name : "Joystick", instance.tszInstanceName,
                                   sizeof(instance.tszInstanceName));
            V_Utf8ToCp932Replacing(name != nullptr ? name : "Joystick", instance.tszProductName,
                                   sizeof(instance.tszProductName));
            if (callback(&instance, ref) == V_DIENUM_STOP) break;
        }
        return V_DI_OK;
    }

    V_HRESULT CreateDeviceEx(const V_GUID& device, const V_GUID& interfaceId, void** created,
                             void* outer) override {
        if (created == nullptr) return V_E_POINTER;
        *created = nullptr;
        if (!(interfaceId == V_IID_IDirectInputDevice7A)) return V_E_NOINTERFACE;
        V_IDirectInputDevice8A* made = nullptr;
        V_HRESULT result = Create(device, &made, outer);
        *created = static_cast<V_IDirectInputDevice7A*>(made);
        return result;
    }

    V_HRESULT CreateDevice(const V_GUID& device, V_IDirectInputDevice8A** created,
                           void* outer) override {
        if (created == nullptr) return V_E_POINTER;
        *created = nullptr;
        return Create(device, created, outer);
    }

private:
    ~DirectInputObject() override {
        if (started_) {
            SDL_QuitSubSystem(SDL_INIT_HAPTIC);
            SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        }
    }

    V_HRESULT Create(const V_GUID& device, V_IDirectInputDevice8A** created, void* outer) {
        if (!started_) return V_DIERR_NOTINITIALIZED;
        if (outer != nullptr) return V_DIERR_INVALIDPARAM;
        int joystick = -1;
        DirectInputDeviceKind kind;
        if (device == V_GUID_SysKeyboard) {
            kind = DirectInputDeviceKind::Keyboard;
        } else if (device == V_GUID_SysMouse) {
            kind = DirectInputDeviceKind::Mouse;
        } else {
            joystick = DirectInputJoystickInstance(device);
            if (joystick < 0) return V_DIERR_DEVICENOTREG;
            kind = DirectInputDeviceKind::Joystick;
        }
        *created = DirectInputCreateDevice(kind, version_, joystick);
        return *created != nullptr ? V_DI_OK : V_DIERR_DEVICENOTREG;
    }

    int version_;
    std::atomic<V_ULONG> references_{1};
    bool started_ = false;
};

V_HRESULT CreateObject(int version, const V_GUID* interfaceId, void** object) {
    if (object == nullptr) return V_E_POINTER;
    *object = nullptr;
    if (g_RefusedVersions.load() & (version == 7 ? 1 : 2)) return V_DIERR_DEVICENOTREG;  // the class is not registered
    const V_GUID& wanted = version == 7 ? V_IID_IDirectInput7A : V_IID_IDirectInput8A;
    if (interfaceId == nullptr || !(*interfaceId == wanted)) return V_E_NOINTERFACE;
    DirectInputObject* made = new DirectInputObject(version);
    if (version == 7) *object = static_cast<V_IDirectInput7A*>(made);
    else *object = static_cast<V_IDirectInput8A*>(made);
    return V_S_OK;
}

}  // namespace

const V_DIDATAFORMAT V_c_dfDIKeyboard = {sizeof(V_DIDATAFORMAT), sizeof(V_DIOBJECTDATAFORMAT),
                                         0x2, 256, 256, g_KeyboardObjects};
const V_DIDATAFORMAT V_c_dfDIMouse2 = {sizeof(V_DIDATAFORMAT), sizeof(V_DIOBJECTDATAFORMAT), 0x2,
                                       sizeof(V_DIMOUSESTATE2), 11, g_MouseObjects};
const V_DIDATAFORMAT V_c_dfDIJoystick = {sizeof(V_DIDATAFORMAT), sizeof(V_DIOBJECTDATAFORMAT),
                                         0x1, sizeof(V_DIJOYSTATE), 44, g_JoystickObjects};

V_GUID DirectInputJoystickGuid(int joystickInstance) {
    V_GUID guid{};
    guid.Data1 = static_cast<uint32_t>(joystickInstance);
    std::memcpy(guid.Data4, kJoystickMark, sizeof(kJoystickMark));
    return guid;
}

int DirectInputJoystickInstance(const V_GUID& guid) {
    if (std::memcmp(guid.Data4, kJoystickMark, sizeof(kJoystickMark)) != 0) return -1;
    return static_cast<int>(guid.Data1);
}

V_HRESULT V_CreateDirectInputObject(const V_GUID* interfaceId, void** object) {
    return CreateObject(7, interfaceId, object);
}

V_HRESULT V_CreateDirectInput8Object(const V_GUID* interfaceId, void** object) {
    return CreateObject(8, interfaceId, object);
}

void V_DirectInputRefuseCreation(int versions) { g_RefusedVersions = versions; }
