// Stand-ins for the direct input devices, versions 7 and 8: the keyboard as 256 key bytes, the
// mouse as relative motion, wheel and 8 buttons, joysticks with ranges and dead zones, and
// force-feedback effects. Built on the key and mouse state the window stand-ins keep from SDL
// events (platform/input_state.h) and on SDL's joystick and haptic subsystems. The objects are
// made through V_CoCreateInstance (platform/com_classes.h).
#pragma once

#include "platform/types.h"

// ---- Class and interface identifiers ----
extern const V_GUID V_CLSID_DirectInput;
extern const V_GUID V_CLSID_DirectInput8;
extern const V_GUID V_IID_IDirectInput7A;
extern const V_GUID V_IID_IDirectInput8A;
extern const V_GUID V_IID_IDirectInputDevice7A;
extern const V_GUID V_GUID_SysMouse;
extern const V_GUID V_GUID_SysKeyboard;
extern const V_GUID V_GUID_Sine;
extern const V_GUID V_GUID_ConstantForce;

// ---- Results ----
constexpr V_HRESULT V_DI_OK = 0;
constexpr V_HRESULT V_DI_POLLEDDEVICE = 2;
constexpr V_HRESULT V_DIERR_NOTACQUIRED = static_cast<V_HRESULT>(0x8007000Cu);
constexpr V_HRESULT V_DIERR_NOTINITIALIZED = static_cast<V_HRESULT>(0x80070015u);
constexpr V_HRESULT V_DIERR_INPUTLOST = static_cast<V_HRESULT>(0x8007001Eu);
constexpr V_HRESULT V_DIERR_UNPLUGGED = static_cast<V_HRESULT>(0x80040209u);
constexpr V_HRESULT V_DIERR_DEVICENOTREG = static_cast<V_HRESULT>(0x80040154u);
constexpr V_HRESULT V_DIERR_UNSUPPORTED = V_E_NOTIMPL;
constexpr V_HRESULT V_DIERR_INVALIDPARAM = V_E_INVALIDARG;

// ---- Enumeration ----
constexpr V_DWORD V_DIDEVTYPE_JOYSTICK = 4;     // version 7 device type
constexpr V_DWORD V_DI8DEVCLASS_GAMECTRL = 4;   // version 8 device class
constexpr V_DWORD V_DIEDFL_ATTACHEDONLY = 1;
constexpr V_BOOL V_DIENUM_STOP = 0;
constexpr V_BOOL V_DIENUM_CONTINUE = 1;

struct V_DIDEVICEINSTANCEA {
    V_DWORD dwSize;
    V_GUID guidInstance;
    V_GUID guidProduct;
    V_DWORD dwDevType;
    char tszInstanceName[V_MAX_PATH];
    char tszProductName[V_MAX_PATH];
    V_GUID guidFFDriver;
    V_WORD wUsagePage;
    V_WORD wUsage;
};
typedef V_BOOL (*V_LPDIENUMDEVICESCALLBACKA)(const V_DIDEVICEINSTANCEA* instance, void* ref);

// ---- Data formats ----
struct V_DIOBJECTDATAFORMAT {
    const V_GUID* pguid;
    V_DWORD dwOfs;
    V_DWORD dwType;
    V_DWORD dwFlags;
};
struct V_DIDATAFORMAT {
    V_DWORD dwSize;
    V_DWORD dwObjSize;
    V_DWORD dwFlags;
    V_DWORD dwDataSize;
    V_DWORD dwNumObjs;
    const V_DIOBJECTDATAFORMAT* rgodf;
};
// The three formats the platform predefines: 256 key bytes; relative X, Y, Z and 8 buttons
// (20 bytes, 11 objects); absolute joystick state (80 bytes, 44 objects).
extern const V_DIDATAFORMAT V_c_dfDIKeyboard;
extern const V_DIDATAFORMAT V_c_dfDIMouse2;
extern const V_DIDATAFORMAT V_c_dfDIJoystick;

struct V_DIMOUSESTATE2 {
    V_LONG lX;
    V_LONG lY;
    V_LONG lZ;
    V_BYTE rgbButtons[8];
};
static_assert(sizeof(V_DIMOUSESTATE2) == 20, "mouse state is 20 bytes");

struct V_DIJOYSTATE {
    V_LONG lX;
    V_LONG lY;
    V_LONG lZ;
    V_LONG lRx;
    V_LONG lRy;
    V_LONG lRz;
    V_LONG rglSlider[2];
    V_DWORD rgdwPOV[4];   // hundredths of a degree clockwise from up, 0xFFFFFFFF centred
    V_BYTE rgbButtons[32];
};
static_assert(sizeof(V_DIJOYSTATE) == 80, "joystick state is 80 bytes");
constexpr V_DWORD V_DIJOFS_X = 0;
constexpr V_DWORD V_DIJOFS_Y = 4;
constexpr V_DWORD V_DIJOFS_Z = 8;
constexpr V_DWORD V_DIJOFS_RZ = 20;

// ---- Cooperative levels and properties ----
constexpr V_DWORD V_DISCL_EXCLUSIVE = 1;
constexpr V_DWORD V_DISCL_NONEXCLUSIVE = 2;
constexpr V_DWORD V_DISCL_FOREGROUND = 4;
constexpr V_DWORD V_DISCL_BACKGROUND = 8;

struct V_DIPROPHEADER {
    V_DWORD dwSize;
    V_DWORD dwHeaderSize;
    V_DWORD dwObj;
    V_DWORD dwHow;
};
struct V_DIPROPDWORD {
    V_DIPROPHEADER diph;
    V_DWORD dwData;
};
struct V_DIPROPRANGE {
    V_DIPROPHEADER diph;
    V_LONG lMin;
    V_LONG lMax;
};
constexpr V_DWORD V_DIPH_DEVICE = 0;
constexpr V_DWORD V_DIPH_BYOFFSET = 1;
// Property identifiers are small numbers passed in the place of a GUID reference.
#define V_DIPROP_BUFFERSIZE (reinterpret_cast<const V_GUID*>(static_cast<uintptr_t>(1)))
#define V_DIPROP_RANGE (reinterpret_cast<const V_GUID*>(static_cast<uintptr_t>(4)))
#define V_DIPROP_DEADZONE (reinterpret_cast<const V_GUID*>(static_cast<uintptr_t>(5)))

// ---- Force feedback ----
constexpr V_DWORD V_DIEFF_OBJECTOFFSETS = 0x02;
constexpr V_DWORD V_DIEFF_CARTESIAN = 0x10;
constexpr V_DWORD V_DIEFF_POLAR = 0x20;
constexpr V_DWORD V_DIEB_NOTRIGGER = 0xFFFFFFFFu;
constexpr V_DWORD V_DI_FFNOMINALMAX = 10000;

struct V_DIENVELOPE {
    V_DWORD dwSize;
    V_DWORD dwAttackLevel;
    V_DWORD dwAttackTime;   // microseconds
    V_DWORD dwFadeLevel;
    V_DWORD dwFadeTime;     // microseconds
};
struct V_DIPERIODIC {
    V_DWORD dwMagnitude;
    V_LONG lOffset;
    V_DWORD dwPhase;
    V_DWORD dwPeriod;       // microseconds
};
struct V_DICONSTANTFORCE {
    V_LONG lMagnitude;
};
struct V_DIEFFECT {
    V_DWORD dwSize;
    V_DWORD dwFlags;
    V_DWORD dwDuration;     // microseconds, V_INFINITE for endless
    V_DWORD dwSamplePeriod;
    V_DWORD dwGain;
    V_DWORD dwTriggerButton;
    V_DWORD dwTriggerRepeatInterval;
    V_DWORD cAxes;
    V_DWORD* rgdwAxes;
    V_LONG* rglDirection;
    V_DIENVELOPE* lpEnvelope;
    V_DWORD cbTypeSpecificParams;
    void* lpvTypeSpecificParams;
    V_DWORD dwStartDelay;
};

class V_IDirectInputEffect {
public:
    virtual V_ULONG Release() = 0;
    virtual V_HRESULT Start(V_DWORD iterations, V_DWORD flags) = 0;
    virtual V_HRESULT Stop() = 0;

protected:
    virtual ~V_IDirectInputEffect() = default;
};

// ---- Devices ----
class V_IDirectInputDevice7A {
public:
    virtual V_ULONG Release() = 0;
    virtual V_HRESULT GetDeviceState(V_DWORD size, void* data) = 0;
    virtual V_HRESULT SetDataFormat(const V_DIDATAFORMAT* format) = 0;
    virtual V_HRESULT SetEventNotification(V_HANDLE event) = 0;
    virtual V_HRESULT SetCooperativeLevel(V_HWND window, V_DWORD flags) = 0;
    virtual V_HRESULT SetProperty(const V_GUID* property, const V_DIPROPHEADER* header) = 0;
    virtual V_HRESULT Acquire() = 0;
    virtual V_HRESULT Unacquire() = 0;
    virtual V_HRESULT GetDeviceInfo(V_DIDEVICEINSTANCEA* instance) = 0;
    virtual V_HRESULT CreateEffect(const V_GUID& effect, const V_DIEFFECT* parameters,
                                   V_IDirectInputEffect** created, void* outer) = 0;
    virtual V_HRESULT Poll() = 0;

protected:
    virtual ~V_IDirectInputDevice7A() = default;
};

// The version 8 device offers every method of the version 7 device that is used here, so the
// library keeps devices of either version through the version 7 type.
class V_IDirectInputDevice8A : public V_IDirectInputDevice7A {};

// ---- Objects ----
class V_IDirectInput7A {
public:
    virtual V_ULONG Release() = 0;
    virtual V_HRESULT Initialize(V_HINSTANCE instance, V_DWORD version) = 0;
    virtual V_HRESULT EnumDevices(V_DWORD deviceType, V_LPDIENUMDEVICESCALLBACKA callback,
                                  void* ref, V_DWORD flags) = 0;
    // interfaceId: V_IID_IDirectInputDevice7A.
    virtual V_HRESULT CreateDeviceEx(const V_GUID& device, const V_GUID& interfaceId,
                                     void** created, void* outer) = 0;

protected:
    virtual ~V_IDirectInput7A() = default;
};

class V_IDirectInput8A {
public:
    virtual V_ULONG Release() = 0;
    virtual V_HRESULT Initialize(V_HINSTANCE instance, V_DWORD version) = 0;
    virtual V_HRESULT EnumDevices(V_DWORD deviceClass, V_LPDIENUMDEVICESCALLBACKA callback,
                                  void* ref, V_DWORD flags) = 0;
    virtual V_HRESULT CreateDevice(const V_GUID& device, V_IDirectInputDevice8A** created,
                                   void* outer) = 0;

protected:
    virtual ~V_IDirectInput8A() = default;
};

// The class factories of V_CoCreateInstance: V_CLSID_DirectInput gives V_IDirectInput7A,
// V_CLSID_DirectInput8 gives V_IDirectInput8A. The object starts uninitialised.
V_HRESULT V_CreateDirectInputObject(const V_GUID* interfaceId, void** object);
V_HRESULT V_CreateDirectInput8Object(const V_GUID* interfaceId, void** object);

// Test switch: refuse creating the objects (bit 0: version 7, bit 1: version 8).
void V_DirectInputRefuseCreation(int versions);
