// Input start and end: DirectInput 7, else 8, else the keyboard state and the joystick calls;
// the mouse, keyboard and joypad devices and the default key map.
#include <cstring>

#include "core/core.h"
#include "core/core_services.h"
#include "core/input.h"
#include "core/window.h"
#include "platform/com/com_classes.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/kernel_process.h"
#include "platform/winmm/winmm.h"

InputState g_Input;

namespace {

// Pad 1's default keys: entry → two key numbers (the second -1 for none).
const int32_t kPadOneKeys[][2] = {
    {0x50, 0xD0}, {0x4B, 0xCB}, {0x4D, 0xCD}, {0x48, 0xC8}, {0x2C, -1}, {0x2D, -1}, {0x2E, -1},
    {0x1E, -1},   {0x1F, -1},   {0x20, -1},   {0x10, -1},   {0x11, -1}, {0x01, -1}, {0x39, -1},
};

void FillDefaultKeyMap() {
    for (auto& pad : g_Input.keyMap)
        for (auto& entry : pad) {
            entry[0] = entry[1] = -1;
            entry[2] = entry[3] = 0;
        }
    for (size_t i = 0; i < sizeof(kPadOneKeys) / sizeof(kPadOneKeys[0]); ++i) {
        g_Input.keyMap[0][i][0] = kPadOneKeys[i][0];
        g_Input.keyMap[0][i][1] = kPadOneKeys[i][1];
    }
}

V_HRESULT CreateInputDevice(const V_GUID& guid, V_IDirectInputDevice7A** device) {
    *device = nullptr;
    if (g_Input.directInput8) {
        V_IDirectInputDevice8A* made = nullptr;
        V_HRESULT result = g_Input.directInput8Object->CreateDevice(guid, &made, nullptr);
        *device = made;
        return result;
    }
    void* made = nullptr;
    V_HRESULT result = g_Input.directInput7->CreateDeviceEx(guid, V_IID_IDirectInputDevice7A,
                                                            &made, nullptr);
    *device = static_cast<V_IDirectInputDevice7A*>(made);
    return result;
}

void ReleaseDirectInputObject() {
    if (g_Input.directInput7 != nullptr) g_Input.directInput7->Release();
    if (g_Input.directInput8Object != nullptr) g_Input.directInput8Object->Release();
    g_Input.directInput7 = nullptr;
    g_Input.directInput8Object = nullptr;
}

void ReleaseKeyboardAndMouse() {
    if (g_Input.keyboard != nullptr) {
        g_Input.keyboard->Unacquire();
        g_Input.keyboard->SetEventNotification(nullptr);
        g_Input.keyboard->Release();
        g_Input.keyboard = nullptr;
    }
    if (g_Input.keyboardEvent != nullptr) V_CloseHandle(g_Input.keyboardEvent);
    g_Input.keyboardEvent = nullptr;
    if (g_Input.mouse != nullptr) {
        g_Input.mouse->Unacquire();
        g_Input.mouse->Release();
        g_Input.mouse = nullptr;
    }
}

// A device that the library cannot do without failed: release what exists and end.
[[noreturn]] void FailInput(const char* message) {
    ReleaseJoypads();
    ReleaseKeyboardAndMouse();
    ReleaseDirectInputObject();
    g_Input.initBusy = 0;
    FatalExit(message);
}

V_BOOL AddJoypadDevice(const V_DIDEVICEINSTANCEA* instance, void*) {
    if (g_Input.joypadCount >= kMaxJoypads) return V_DIENUM_STOP;
    WriteLog("入力装置を見つけました\n");
    V_IDirectInputDevice7A* device = nullptr;
    if (V_FAILED(CreateInputDevice(instance->guidInstance, &device)) || device == nullptr) {
        WriteLog("入力装置の取得に失敗しました\n");
        return V_DIENUM_CONTINUE;
    }
    JoypadRecord& pad = g_Input.joypads[g_Input.joypadCount];
    std::memset(&pad, 0, sizeof(pad));
    V_DIDEVICEINSTANCEA info;
    std::memset(&info, 0, sizeof(info));
    info.dwSize = sizeof(info);
    device->GetDeviceInfo(&info);
    CopyBytes(pad.instanceName, info.tszInstanceName, sizeof(pad.instanceName));
    CopyBytes(pad.productName, info.tszProductName, sizeof(pad.productName));
    pad.instanceName[sizeof(pad.instanceName) - 1] = 0;
    pad.productName[sizeof(pad.productName) - 1] = 0;
    IncreaseLogIndent();
    WriteLogFormat("デバイスの登録名:%s\n", pad.instanceName);
    WriteLogFormat("デバイスの製品登録名:%s\n", pad.productName);
    DecreaseLogIndent();

    if (V_FAILED(device->SetDataFormat(&V_c_dfDIJoystick))) {
        device->Release();
        WriteLog("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
        return V_DIENUM_CONTINUE;
    }
    if (V_FAILED(device->SetCooperativeLevel(g_Window.mainWindow,
                                             V_DISCL_EXCLUSIVE | V_DISCL_FOREGROUND)))
        WriteLog("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");

    V_DIPROPRANGE range;
    range.diph = {sizeof(range), sizeof(V_DIPROPHEADER), V_DIJOFS_X, V_DIPH_BYOFFSET};
    range.lMin = -1000;
    range.lMax = 1000;
    if (V_FAILED(device->SetProperty(V_DIPROP_RANGE, &range.diph))) {
        device->Release();
        WriteLog("ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n");
        return V_DIENUM_CONTINUE;
    }
    range.diph.dwObj = V_DIJOFS_Y;
    if (V_FAILED(device->SetProperty(V_DIPROP_RANGE, &range.diph))) {
        device->Release();
        WriteLog("ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
        return V_DIENUM_CONTINUE;
    }
    range.diph.dwObj = V_DIJOFS_Z;
    device->SetProperty(V_DIPROP_RANGE, &range.diph);
    range.diph.dwObj = V_DIJOFS_RZ;
    device->SetProperty(V_DIPROP_RANGE, &range.diph);

    V_DIPROPDWORD zone;
    zone.diph = {sizeof(zone), sizeof(V_DIPROPHEADER), V_DIJOFS_X, V_DIPH_BYOFFSET};
    zone.dwData = 2500;
    if (V_FAILED(device->SetProperty(V_DIPROP_DEADZONE, &zone.diph))) {
        device->Release();
        WriteLog("ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n");
        return V_DIENUM_CONTINUE;
    }
    zone.diph.dwObj = V_DIJOFS_Y;
    if (V_FAILED(device->SetProperty(V_DIPROP_DEADZONE, &zone.diph))) {
        device->Release();
        WriteLog("ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
        return V_DIENUM_CONTINUE;
    }
    zone.diph.dwObj = V_DIJOFS_Z;
    device->SetProperty(V_DIPROP_DEADZONE, &zone.diph);
    zone.diph.dwObj = V_DIJOFS_RZ;
    device->SetProperty(V_DIPROP_DEADZONE, &zone.diph);

    // The periodic effect (its result is not checked) and the constant force, both on X and Y.
    V_DWORD axes[2] = {V_DIJOFS_X, V_DIJOFS_Y};
    V_LONG directions[2] = {0, 0};
    V_DIENVELOPE envelope = {sizeof(V_DIENVELOPE), 0, 500000, 0, 1000000};
    V_DIPERIODIC periodic = {10000, 0, 0, 1500000};
    V_DIEFFECT effect;
    std::memset(&effect, 0, sizeof(effect));
    effect.dwSize = sizeof(effect);
    effect.dwFlags = V_DIEFF_POLAR | V_DIEFF_OBJECTOFFSETS;
    effect.dwDuration = V_INFINITE;
    effect.dwGain = V_DI_FFNOMINALMAX;
    effect.dwTriggerButton = V_DIEB_NOTRIGGER;
    effect.cAxes = 2;
    effect.rgdwAxes = axes;
    effect.rglDirection = directions;
    effect.lpEnvelope = &envelope;
    effect.cbTypeSpecificParams = sizeof(periodic);
    effect.lpvTypeSpecificParams = &periodic;
    device->CreateEffect(V_GUID_Sine, &effect, &pad.periodic, nullptr);

    V_DICONSTANTFORCE constant = {10000};
    effect.dwFlags = V_DIEFF_CARTESIAN | V_DIEFF_OBJECTOFFSETS;
    effect.lpEnvelope = nullptr;
    effect.cbTypeSpecificParams = sizeof(constant);
    effect.lpvTypeSpecificParams = &constant;
    if (V_FAILED(device->CreateEffect(V_GUID_ConstantForce, &effect, &pad.constantForce,
                                      nullptr)))
        WriteLog("周期的エフェクトの作成に失敗しました。\n");

    pad.vibrationOn = 0;
    pad.vibrationPower = 10000;
    pad.constantPlaying = pad.periodicPlaying = 0;
    pad.unusedQuarter = 0.25;
    V_HANDLE event = V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr);
    V_HRESULT result = event != nullptr ? device->SetEventNotification(event) : V_E_FAIL;
    if (result != V_DI_OK && result != V_DI_POLLEDDEVICE) {
        // The pad is not added: its effects and device go with it.
        WriteLog("ジョイパッドイベントのセットアップが失敗しました\n");
        if (pad.periodic != nullptr) pad.periodic->Release();
        if (pad.constantForce != nullptr) pad.constantForce->Release();
        device->Release();
        if (event != nullptr) V_CloseHandle(event);
        std::memset(&pad, 0, sizeof(pad));
        return V_DIENUM_CONTINUE;
    }
    device->Acquire();
    pad.device = device;
    pad.changeEvent = event;
    std::memset(&pad.state, 0, sizeof(pad.state));
    ++g_Input.joypadCount;
    WriteLog("ジョイパッドの追加は正常に終了しました\n");
    return g_Input.joypadCount >= kMaxJoypads ? V_DIENUM_STOP : V_DIENUM_CONTINUE;
}

// Creates and initialises one DirectInput version; true on success.
bool TryDirectInput(int version) {
    void* object = nullptr;
    V_HRESULT result;
    if (version == 7) {
        WriteLog("DirectInput7 の取得中... ");
        result = V_CoCreateInstance(V_CLSID_DirectInput, nullptr, V_CLSCTX_INPROC_SERVER,
                                    V_IID_IDirectInput7A, &object);
    } else {
        WriteLog("DirectInput8 の取得を試みます...");
        result = V_CoCreateInstance(V_CLSID_DirectInput8, nullptr, V_CLSCTX_INPROC_SERVER,
                                    V_IID_IDirectInput8A, &object);
    }
    if (V_FAILED(result) || object == nullptr) {
        if (version == 7) {
            WriteLog("取得に失敗。\n");
            WriteLogFormat("エラーコード 0x%x\n", static_cast<unsigned>(result));
        } else {
            WriteLog("取得に失敗。");
        }
        return false;
    }
    WriteLog("成功\n");
    IncreaseLogIndent();
    WriteLog("引き続き初期化処理... ");
    V_HINSTANCE module = V_GetModuleHandleA(nullptr);
    bool initialised;
    if (version == 7) {
        g_Input.directInput7 = static_cast<V_IDirectInput7A*>(object);
        initialised = V_SUCCEEDED(g_Input.directInput7->Initialize(module, 0x700));
    } else {
        g_Input.directInput8Object = static_cast<V_IDirectInput8A*>(object);
        initialised = V_SUCCEEDED(g_Input.directInput8Object->Initialize(module, 0x800));
    }
    if (!initialised) {
        WriteLog("初期化に失敗。");
        DecreaseLogIndent();
        ReleaseDirectInputObject();
        return false;
    }
    WriteLog("初期化成功\n");
    if (version == 8) g_Input.directInput8 = 1;
    DecreaseLogIndent();
    return true;
}

int SetUpMouseAndKeyboard() {
    WriteLog("マウスデバイスの初期化... ");
    if (V_FAILED(CreateInputDevice(V_GUID_SysMouse, &g_Input.mouse)) || g_Input.mouse == nullptr)
        FailInput("マウスデバイスの取得に失敗しました");
    if (V_FAILED(g_Input.mouse->SetDataFormat(&V_c_dfDIMouse2)))
        FailInput("マウスデバイスのデータ形式の設定に失敗しました");
    if (V_FAILED(g_Input.mouse->SetCooperativeLevel(g_Window.mainWindow,
                                                    V_DISCL_NONEXCLUSIVE | V_DISCL_BACKGROUND)))
        FailInput("マウスデバイスの協調レベルの設定に失敗しました");
    WriteLog("初期化成功\n");

    WriteLog("キーボードデバイスの初期化... ");
    if (V_FAILED(CreateInputDevice(V_GUID_SysKeyboard, &g_Input.keyboard)) ||
        g_Input.keyboard == nullptr)
        FailInput("キーボードデバイスの取得に失敗しました");
    if (V_FAILED(g_Input.keyboard->SetDataFormat(&V_c_dfDIKeyboard)))
        FailInput("キーボードデバイスのデータ形式の設定に失敗しました");
    if (V_FAILED(g_Input.keyboard->SetCooperativeLevel(g_Window.mainWindow,
                                                       V_DISCL_NONEXCLUSIVE | V_DISCL_BACKGROUND)))
        FailInput("キーボードデバイスの協調レベルの設定に失敗しました");
    V_DIPROPDWORD buffer;
    buffer.diph = {sizeof(buffer), sizeof(V_DIPROPHEADER), 0, V_DIPH_DEVICE};
    buffer.dwData = 100;
    if (V_FAILED(g_Input.keyboard->SetProperty(V_DIPROP_BUFFERSIZE, &buffer.diph)))
        WriteLog("キーボードのプロパティ設定に失敗しました\n");
    g_Input.keyboardEvent = V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr);
    V_HRESULT result = g_Input.keyboardEvent != nullptr
                           ? g_Input.keyboard->SetEventNotification(g_Input.keyboardEvent)
                           : V_E_FAIL;
    if (result != V_DI_OK && result != V_DI_POLLEDDEVICE) {
        WriteLog("キーボードイベントのセットアップが失敗しました\n");
        return -1;
    }
    if (V_FAILED(g_Input.keyboard->Acquire()) && V_FAILED(g_Input.keyboard->Acquire()))
        FailInput("キーボードデバイスの取得に失敗しました");
    WriteLog("初期化成功\n");
    g_Input.lastKeyboardRefresh = GetMilliseconds();
    return 0;
}

void StartWithoutDirectInput() {
    IncreaseLogIndent();
    int found = 0;
    for (; found < kMaxJoypads; ++found) {
        V_JOYCAPSA caps;
        if (V_joyGetDevCapsA(static_cast<V_UINT_PTR>(found), &caps, sizeof(caps)) !=
            V_JOYERR_NOERROR)
            break;
        g_Input.joypads[found].hasZ =
            (caps.wCaps & V_JOYCAPS_HASZ) && (caps.wCaps & V_JOYCAPS_HASR) ? 1 : 0;
    }
    WriteLogFormat("パッドの数は %d 個です\n", found);
    DecreaseLogIndent();
    WriteLog("入力関連の初期化をしました\n");
    g_Input.withoutDirectInput = 1;
    g_Input.joypadCount = kMaxJoypads;  // every id is polled; absent pads read as zero
}

}  // namespace

bool IsInputRunning() {
    return g_Input.directInput7 != nullptr || g_Input.directInput8Object != nullptr ||
           g_Input.withoutDirectInput;
}

bool HasDirectInput() {
    return g_Input.directInput7 != nullptr || g_Input.directInput8Object != nullptr;
}

int InitInput() {
    if (IsInputRunning() || g_Input.initBusy) return 0;
    int noDirectInput = g_Input.noDirectInput;
    int onNewerSystems = g_Input.directInputOnNewerSystems;
    std::memset(&g_Input, 0, sizeof(g_Input));
    g_Input.noDirectInput = noDirectInput;
    g_Input.directInputOnNewerSystems = onNewerSystems;
    g_Input.initBusy = 1;

    bool direct = false;
    if (g_Input.noDirectInput != 1) {
        WriteLog("DirectInput関係初期化処理\n");
        IncreaseLogIndent();
        direct = TryDirectInput(7) || TryDirectInput(8);
        if (!direct) {
            WriteLog("DirectInput を使用しません。\n");
            DecreaseLogIndent();
            g_Input.noDirectInput = 1;
        }
    }
    if (direct) {
        V_BringWindowToTop(g_Window.mainWindow);
        ProcessMessage();
        EnumerateJoypads();
        if (SetUpMouseAndKeyboard() == -1) {
            g_Input.initBusy = 0;
            return -1;
        }
        DecreaseLogIndent();
        WriteLog("DirectInput 関連の初期化は正常に終了しました\n");
    } else {
        StartWithoutDirectInput();
    }
    FillDefaultKeyMap();
    g_Input.initBusy = 0;
    return 0;
}

int EnumerateJoypads() {
    if (g_Input.directInput8Object != nullptr)
        g_Input.directInput8Object->EnumDevices(V_DI8DEVCLASS_GAMECTRL, AddJoypadDevice, nullptr,
                                                V_DIEDFL_ATTACHEDONLY);
    else if (g_Input.directInput7 != nullptr)
        g_Input.directInput7->EnumDevices(V_DIDEVTYPE_JOYSTICK, AddJoypadDevice, nullptr,
                                          V_DIEDFL_ATTACHEDONLY);
    else
        return -1;
    return 0;
}

int ReleaseJoypads() {
    if (!HasDirectInput()) return -1;
    for (int i = 0; i < g_Input.joypadCount; ++i) {
        JoypadRecord& pad = g_Input.joypads[i];
        if (pad.device != nullptr) {
            pad.device->Unacquire();
            pad.device->SetEventNotification(nullptr);
        }
        if (pad.periodic != nullptr) {
            pad.periodic->Stop();
            pad.periodic->Release();
        }
        if (pad.constantForce != nullptr) {
            pad.constantForce->Stop();
            pad.constantForce->Release();
        }
        if (pad.device != nullptr) pad.device->Release();
        if (pad.changeEvent != nullptr) V_CloseHandle(pad.changeEvent);
        std::memset(&pad, 0, sizeof(pad));
    }
    g_Input.joypadCount = 0;
    return 0;
}

int EndInput() {
    if (HasDirectInput()) {
        WriteLog("DirectInput 関連の終了処理... 完了\n");
        ReleaseJoypads();
        ReleaseKeyboardAndMouse();
        ReleaseDirectInputObject();
    } else if (g_Input.withoutDirectInput) {
        WriteLog("入力関連の終了処理... 完了\n");
    }
    g_Input.withoutDirectInput = 0;
    g_Input.joypadCount = 0;
    return 0;
}
