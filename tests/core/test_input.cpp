// Keyboard, mouse and joypad input on the DirectInput path and on the fallback path (keyboard
// state and joystick calls), with keys, buttons and SDL's virtual joysticks.
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "test_input_support.h"

namespace {

// A virtual pad of SDL: 4 axes, 8 buttons, one hat, and a name (UTF-8) when one is given.
// Closed and detached on destruction.
class VirtualPad {
public:
    explicit VirtualPad(const char* name = nullptr) {
        SDL_InitSubSystem(SDL_INIT_JOYSTICK);
        SDL_VirtualJoystickDesc pad{};
        pad.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        pad.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        pad.naxes = 4;
        pad.nbuttons = 8;
        pad.nhats = 1;
        pad.name = name;
        index_ = SDL_JoystickAttachVirtualEx(&pad);
        joystick_ = index_ >= 0 ? SDL_JoystickOpen(index_) : nullptr;
    }
    ~VirtualPad() {
        Detach();
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    // Unplugs the pad.
    void Detach() {
        if (joystick_ != nullptr) SDL_JoystickClose(joystick_);
        if (index_ >= 0) SDL_JoystickDetachVirtual(index_);
        joystick_ = nullptr;
        index_ = -1;
    }
    bool ok() const { return joystick_ != nullptr; }
    // raw: the joystick-call value 0..65535.
    void Axis(int axis, int raw) {
        SDL_JoystickSetVirtualAxis(joystick_, axis, static_cast<Sint16>(raw - 32768));
    }
    void ButtonDown(int button, bool down) {
        SDL_JoystickSetVirtualButton(joystick_, button, down ? 1 : 0);
    }

private:
    int index_ = -1;
    SDL_Joystick* joystick_ = nullptr;
};

}  // namespace

TEST(JoystickAxis, RawValuesMapWithTheDeadZone) {
    EXPECT_EQ(MapJoystickAxis(30000), 0);
    EXPECT_EQ(MapJoystickAxis(10000), -593);
    EXPECT_EQ(MapJoystickAxis(50000), 367);
    EXPECT_EQ(MapJoystickAxis(65535), 1000);
    EXPECT_EQ(MapJoystickAxis(0), -1000);
    EXPECT_EQ(MapJoystickAxis(32767), 0);
    EXPECT_EQ(MapJoystickAxis(24576), 0);
    EXPECT_EQ(MapJoystickAxis(40961), 0);  // rounds toward zero
    EXPECT_EQ(MapJoystickAxis(24575), 0);
    EXPECT_EQ(MapJoystickAxis(1), -999);
}

TEST_F(InputLibrary, PadOneKeysWithoutPadsOnEveryPath) {
    const SDL_Scancode keys[] = {
        SDL_SCANCODE_DOWN, SDL_SCANCODE_LEFT, SDL_SCANCODE_RIGHT, SDL_SCANCODE_UP,
        SDL_SCANCODE_Z,    SDL_SCANCODE_X,    SDL_SCANCODE_C,     SDL_SCANCODE_A,
        SDL_SCANCODE_S,    SDL_SCANCODE_D,    SDL_SCANCODE_Q,     SDL_SCANCODE_W,
        SDL_SCANCODE_ESCAPE, SDL_SCANCODE_SPACE};
    const SDL_Scancode pad[] = {SDL_SCANCODE_KP_2, SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_6,
                                SDL_SCANCODE_KP_8};
    // A release takes effect once the key has been held as long as it really was: on a loaded
    // machine the press may have been taken late, so wait for the release before the next key.
    auto release = [this](SDL_Scancode key) {
        Key(key, false);
        Pump();
        for (int i = 0; i < 200 && GetJoypadState(0x1001) != 0; ++i) Pump();
    };
    for (int path = 0; path < 3; ++path) {
        SCOPED_TRACE(path);
        // 0: DirectInput keyboard, 1: DirectInput with the keyboard state, 2: no DirectInput.
        Start(path == 2 ? 0 : 7, path == 0 ? 1 : 0);
        EXPECT_EQ(GetJoypadState(0x1001), 0);
        for (int bit = 0; bit < 14; ++bit) {
            Key(keys[bit], true);
            Pump();
            EXPECT_EQ(GetJoypadState(0x1001), 1 << bit) << "entry " << bit;
            EXPECT_EQ(GetJoypadState(0x1000), 1 << bit) << "no pad named reads pad 1's keys";
            release(keys[bit]);
        }
        for (int bit = 0; bit < 4; ++bit) {
            Key(pad[bit], true);
            Pump();
            EXPECT_EQ(GetJoypadState(0x1001), 1 << bit) << "numeric pad, entry " << bit;
            release(pad[bit]);
        }
        // Pad 3's map is empty; pad numbers past the map read no keys and index nothing.
        Key(SDL_SCANCODE_UP, true);
        Pump();
        EXPECT_EQ(GetJoypadState(3), 0);
        EXPECT_EQ(GetJoypadState(0x1003), 0);
        EXPECT_EQ(GetJoypadState(0x1000 + 17), 0);
        EXPECT_EQ(GetJoypadState(0x1000 + 0xFFF), 0);
        Key(SDL_SCANCODE_UP, false);
        Pump();
        EXPECT_EQ(EndLibraryLocked(), 0);
        started_ = false;
    }
}

TEST_F(InputLibrary, PressHeldAcrossASlowFrameIsSeenOnEveryPath) {
    for (int path = 0; path < 3; ++path) {
        SCOPED_TRACE(path);
        Start(path == 2 ? 0 : 7, path == 0 ? 1 : 0);
        // Down held 0.3 s while the frame is busy: the next frame converts both events at once.
        Key(SDL_SCANCODE_DOWN, true);
        SDL_Delay(300);
        Key(SDL_SCANCODE_DOWN, false);
        ProcessMessageLocked();
        EXPECT_EQ(GetJoypadState(0x1001), 1) << "the press is seen by the frame";
        // It lasts as long as it was held, then ends.
        int released = 0;
        for (int i = 0; i < 300 && !released; ++i) {
            Pump(1);
            released = GetJoypadState(0x1001) == 0;
        }
        EXPECT_TRUE(released);
        // Held for no time at all: still seen by the next poll, once.
        Key(SDL_SCANCODE_UP, true);
        Key(SDL_SCANCODE_UP, false);
        ProcessMessageLocked();
        SDL_Delay(2);
        EXPECT_EQ(GetJoypadState(0x1001), 8);
        Pump(1);
        EXPECT_EQ(GetJoypadState(0x1001), 0);
        // A tap is seen by every read until the next message pass: Z read first, Down second.
        int zSeen = 0, downSeen = 0;
        for (int tap = 0; tap < 5; ++tap) {
            for (SDL_Scancode key : {SDL_SCANCODE_Z, SDL_SCANCODE_DOWN}) {
                Key(key, true);
                Key(key, false);
            }
            ProcessMessageLocked();
            SDL_Delay(2);
            zSeen += (GetJoypadState(0x1001) & (1 << 4)) != 0;
            downSeen += (GetJoypadState(0x1001) & 1) != 0;
            Pump();
        }
        EXPECT_EQ(zSeen, 5);
        EXPECT_EQ(downSeen, 5);
        // A tap found by one pass and read only after the next is still seen, once.
        Key(SDL_SCANCODE_X, true);
        Key(SDL_SCANCODE_X, false);
        ProcessMessageLocked();
        SDL_Delay(2);
        ProcessMessageLocked();
        SDL_Delay(2);
        EXPECT_EQ(GetJoypadState(0x1001), 1 << 5);
        Pump();
        EXPECT_EQ(GetJoypadState(0x1001), 0);
        // Read by a key query in its pass, a tap is still seen by a pad read in the next, once.
        Key(SDL_SCANCODE_X, true);
        Key(SDL_SCANCODE_X, false);
        ProcessMessageLocked();
        SDL_Delay(2);
        EXPECT_EQ(IsKeyDown(0x2D), 1);
        ProcessMessageLocked();
        SDL_Delay(2);
        EXPECT_EQ(GetJoypadState(0x1001), 1 << 5);
        Pump();
        EXPECT_EQ(GetJoypadState(0x1001), 0);
        // A second tap in the pass right after the first was read is seen as well.
        for (int tap = 0; tap < 2; ++tap) {
            Key(SDL_SCANCODE_C, true);
            Key(SDL_SCANCODE_C, false);
            ProcessMessageLocked();
            SDL_Delay(2);
            EXPECT_EQ(GetJoypadState(0x1001), 1 << 6) << "tap " << tap;
        }
        Pump();
        EXPECT_EQ(GetJoypadState(0x1001), 0);
        // Tapped again after its read, the key found by a key query only is seen the next pass.
        Key(SDL_SCANCODE_C, true);
        Key(SDL_SCANCODE_C, false);
        ProcessMessageLocked();
        SDL_Delay(2);
        EXPECT_EQ(GetJoypadState(0x1001), 1 << 6);
        SDL_Delay(2);
        EXPECT_EQ(IsKeyDown(0x01), 0);  // a refresh finds C up
        Key(SDL_SCANCODE_C, true);
        Key(SDL_SCANCODE_C, false);
        SDL_Delay(2);
        EXPECT_EQ(IsKeyDown(0x01), 0);  // and one finds it down again
        Pump(1);
        EXPECT_EQ(GetJoypadState(0x1001), 1 << 6);
        Pump();
        // Pressed again while the early release waits: the key stays down.
        Key(SDL_SCANCODE_Z, true);
        SDL_Delay(200);
        Key(SDL_SCANCODE_Z, false);
        Key(SDL_SCANCODE_Z, true);
        ProcessMessageLocked();
        SDL_Delay(300);
        Pump();
        EXPECT_EQ(GetJoypadState(0x1001), 1 << 4);
        Key(SDL_SCANCODE_Z, false);
        Pump();
        EXPECT_EQ(GetJoypadState(0x1001), 0);
        if (path != 0) {
            // Input started again: its first mouse read, on another thread, takes a tap for
            // the key polls as well.
            EndInput();
            EXPECT_EQ(IsKeyDown(0x2E), 0);
            Key(SDL_SCANCODE_C, true);
            Key(SDL_SCANCODE_C, false);
            UserConvertPendingEvents();
            std::thread([] { GetMouseButtons(); }).join();
            SDL_Delay(2);
            EXPECT_EQ(IsKeyDown(0x2E), 1);
        }
        EXPECT_EQ(EndLibraryLocked(), 0);
        started_ = false;
    }
}

TEST_F(InputLibrary, ClickHeldAcrossASlowFrameIsSeenOnBothMousePaths) {
    for (int path = 0; path < 2; ++path) {
        SCOPED_TRACE(path);
        Start(path == 0 ? 8 : 0);
        // A click held 0.3 s while the frame is busy: the next frame converts both events.
        Button(SDL_BUTTON_LEFT, true);
        SDL_Delay(300);
        Button(SDL_BUTTON_LEFT, false);
        ProcessMessageLocked();
        EXPECT_EQ(GetMouseButtons(), 1) << "the click is seen by the frame";
        int released = 0;
        for (int i = 0; i < 300 && !released; ++i) {
            Pump(1);
            released = GetMouseButtons() == 0;
        }
        EXPECT_TRUE(released);
        // Pressed and released at the same moment: still seen by the next poll, once.
        Button(SDL_BUTTON_RIGHT, true);
        Button(SDL_BUTTON_RIGHT, false);
        ProcessMessageLocked();
        SDL_Delay(2);
        EXPECT_EQ(GetMouseButtons(), 2);
        SDL_Delay(2);
        EXPECT_EQ(GetMouseButtons(), 2) << "by every read of its pass";
        Pump(1);
        EXPECT_EQ(GetMouseButtons(), 0);
        // Pressed again while the early release waits: the button stays down.
        Button(SDL_BUTTON_MIDDLE, true);
        SDL_Delay(200);
        Button(SDL_BUTTON_MIDDLE, false);
        Button(SDL_BUTTON_MIDDLE, true);
        ProcessMessageLocked();
        SDL_Delay(300);
        Pump();
        EXPECT_EQ(GetMouseButtons(), 4);
        Button(SDL_BUTTON_MIDDLE, false);
        Pump();
        EXPECT_EQ(GetMouseButtons(), 0);
        EXPECT_EQ(EndLibraryLocked(), 0);
        started_ = false;
    }
}

TEST_F(InputLibrary, KeyNumbersRightShiftAndEnterThroughDirectInput) {
    Start(7);
    EXPECT_EQ(g_Input.directInput8, 0);
    ASSERT_NE(g_Input.keyboard, nullptr);
    Key(SDL_SCANCODE_RSHIFT, true);
    Key(SDL_SCANCODE_KP_ENTER, true);
    Key(SDL_SCANCODE_KP_2, true);
    Pump();
    EXPECT_EQ(IsKeyDown(0x36), 1);
    EXPECT_EQ(IsKeyDown(0x9C), 1);
    EXPECT_EQ(IsKeyDown(0x1C), 0) << "the devices tell the two Enter keys apart";
    EXPECT_EQ(IsKeyDown(0x50), 1);
    EXPECT_EQ(IsKeyDown(0x2A), 0);
    Key(SDL_SCANCODE_RSHIFT, false);
    Key(SDL_SCANCODE_KP_ENTER, false);
    Key(SDL_SCANCODE_KP_2, false);
    Pump();
    EXPECT_EQ(IsKeyDown(0x36), 0);
    EXPECT_EQ(IsKeyDown(0x9C), 0);
    std::string log = Log();
    EXPECT_NE(log.find("DirectInput7 の取得中... 成功"), std::string::npos);
    EXPECT_NE(log.find("キーボードデバイスの初期化... 初期化成功"), std::string::npos);
    EXPECT_NE(log.find("DirectInput 関連の初期化は正常に終了しました"), std::string::npos);
}

TEST_F(InputLibrary, EnterSetsBothNumbersThroughTheKeyboardState) {
    Start(0);
    Key(SDL_SCANCODE_RETURN, true);
    Key(SDL_SCANCODE_RSHIFT, true);
    Pump();
    EXPECT_EQ(IsKeyDown(0x1C), 1);
    EXPECT_EQ(IsKeyDown(0x9C), 1);
    EXPECT_EQ(IsKeyDown(0x36), 1);
    Key(SDL_SCANCODE_RETURN, false);
    Key(SDL_SCANCODE_RSHIFT, false);
    Pump();
    EXPECT_EQ(IsKeyDown(0x1C), 0);
    EXPECT_EQ(EndLibraryLocked(), 0);
    started_ = false;
    std::string log = Log();
    EXPECT_NE(log.find("DirectInput を使用しません。"), std::string::npos);
    EXPECT_NE(log.find("パッドの数は 0 個です"), std::string::npos);
    EXPECT_NE(log.find("入力関連の初期化をしました"), std::string::npos);
    EXPECT_NE(log.find("入力関連の終了処理... 完了"), std::string::npos);
}

TEST_F(InputLibrary, MouseButtonsOnBothPaths) {
    for (int path = 0; path < 2; ++path) {
        SCOPED_TRACE(path);
        Start(path == 0 ? 8 : 0);
        if (path == 0) {
            EXPECT_EQ(g_Input.directInput8, 1);
            EXPECT_NE(Log().find("DirectInput8 の取得を試みます...成功"), std::string::npos);
        }
        Button(SDL_BUTTON_LEFT, true);
        Button(SDL_BUTTON_MIDDLE, true);
        Pump();
        EXPECT_EQ(GetMouseButtons(), 1 | 4);
        Button(SDL_BUTTON_LEFT, false);
        Button(SDL_BUTTON_RIGHT, true);
        Button(SDL_BUTTON_X1, true);
        Pump();
        // The side button shows only through the mouse device.
        EXPECT_EQ(GetMouseButtons(), path == 0 ? 2 | 4 | 8 : 2 | 4);
        Button(SDL_BUTTON_RIGHT, false);
        Button(SDL_BUTTON_MIDDLE, false);
        Button(SDL_BUTTON_X1, false);
        Pump();
        EXPECT_EQ(GetMouseButtons(), 0);
        EXPECT_EQ(EndLibraryLocked(), 0);
        started_ = false;
    }
}

TEST_F(InputLibrary, JoystickCallsMapAxesAndButtonsAndCountSixteenPads) {
    VirtualPad pad;
    ASSERT_TRUE(pad.ok()) << SDL_GetError();
    Start(0);
    EXPECT_EQ(g_Input.joypadCount, 16);
    EXPECT_NE(Log().find("パッドの数は 1 個です"), std::string::npos);
    EXPECT_EQ(g_Input.joypads[0].hasZ, 1);

    pad.Axis(0, 10000);
    pad.Axis(1, 50000);
    pad.Axis(2, 65535);
    pad.Axis(3, 0);
    pad.ButtonDown(0, true);
    pad.ButtonDown(5, true);
    SDL_Delay(2);
    int state = GetJoypadState(1);
    EXPECT_EQ(g_Input.joypads[0].state.lX, -593);
    EXPECT_EQ(g_Input.joypads[0].state.lY, 367);
    EXPECT_EQ(g_Input.joypads[0].state.lZ, 1000);
    EXPECT_EQ(g_Input.joypads[0].state.lRz, -1000);
    EXPECT_EQ(state, 2 | 1 | (1 << 4) | (1 << 9)) << std::hex << state;

    pad.Axis(0, 30000);
    pad.Axis(1, 65535);
    pad.ButtonDown(0, false);
    pad.ButtonDown(5, false);
    SDL_Delay(2);
    EXPECT_EQ(GetJoypadState(1), 1);
    SDL_Delay(2);
    EXPECT_EQ(GetJoypadState(2), 0) << "an absent pad reads as zero";
}

TEST_F(InputLibrary, DirectInputPadsWithRangesDeadZoneAndHat) {
    VirtualPad pad("\xE3\x83\x91\xE3\x83\x83\xE3\x83\x89");  // a Japanese name in UTF-8
    ASSERT_TRUE(pad.ok()) << SDL_GetError();
    Start(7);
    ASSERT_EQ(g_Input.joypadCount, 1);
    std::string log = Log();
    EXPECT_NE(log.find("ジョイパッドの追加は正常に終了しました"), std::string::npos);
    // The name is logged in code page 932, and its line ends as every other.
    std::ifstream file("Log.txt", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t named = raw.find("デバイスの登録名:");
    ASSERT_NE(named, std::string::npos);
    EXPECT_EQ(raw.substr(named, 25), "デバイスの登録名:\x83\x70\x83\x62\x83\x68\r\n");
    EXPECT_EQ(raw.find("\xE3\x83\x91"), std::string::npos) << "the name was logged as UTF-8";
    EXPECT_NE(log.find("周期的エフェクトの作成に失敗しました。"), std::string::npos)
        << "a pad without force feedback has no effects";

    pad.Axis(0, 65535);  // full right
    pad.Axis(1, 32768 + 3000);  // inside the quarter dead zone
    pad.ButtonDown(2, true);
    SDL_Delay(2);
    EXPECT_EQ(GetJoypadState(1), 4 | (1 << 6));
    EXPECT_EQ(g_Input.joypads[0].state.lX, 1000);
    EXPECT_EQ(g_Input.joypads[0].state.lY, 0);
    pad.Axis(0, 0);
    pad.Axis(1, 0);
    pad.ButtonDown(2, false);
    SDL_Delay(2);
    EXPECT_EQ(GetJoypadState(1), 2 | 8);
    EXPECT_EQ(g_Input.joypads[0].state.lX, -1000);
    EXPECT_EQ(GetJoypadState(2), 0) << "a pad number past the count";
    // Activation changes re-acquire the pads; the vibration calls do nothing with it off.
    EXPECT_EQ(ReacquireInputDevices(), 0);
    EXPECT_EQ(StopJoypadVibration(1), 0);
    EXPECT_EQ(UpdateJoypadVibration(), 0);
    SDL_Delay(2);
    EXPECT_EQ(GetJoypadState(1), 2 | 8);
}

// A pad unplugged while it held a button and a direction reads 0 from then on, on both pad
// paths: the state it held goes with the device.
TEST_F(InputLibrary, AnUnpluggedPadReadsZeroOnBothPadPaths) {
    for (int path : {7, 0}) {
        SCOPED_TRACE(path == 7 ? "DirectInput" : "joystick calls");
        VirtualPad pad;
        ASSERT_TRUE(pad.ok()) << SDL_GetError();
        Start(path);
        pad.Axis(1, 0);  // up
        pad.ButtonDown(3, true);
        SDL_Delay(2);
        ASSERT_EQ(GetJoypadState(1), 0x88);
        pad.Detach();
        int state = -1;
        for (int frame = 0; frame < 60; ++frame) {
            Pump(1);
            state = GetJoypadState(1);
        }
        EXPECT_EQ(state, 0);
        EXPECT_EQ(EndLibraryLocked(), 0);
        started_ = false;
    }
}

TEST_F(InputLibrary, QueriesStartInputAgainAfterItEnded) {
    Start(7);
    EXPECT_TRUE(IsInputRunning());
    EndInput();  // as a screen-mode change does
    EXPECT_FALSE(IsInputRunning());
    EXPECT_EQ(IsKeyDown(0x01), 0);
    EXPECT_TRUE(IsInputRunning());
    EndInput();
    EXPECT_EQ(GetJoypadState(0x1001), 0);
    EXPECT_TRUE(IsInputRunning());
    EndInput();
    EXPECT_EQ(StopJoypadVibration(1), 0);
    EXPECT_TRUE(IsInputRunning());
}

TEST(DirectInputDevices, KeyboardNumbersMouseMotionAndStateChecks) {
    V_DirectInputRefuseCreation(0);
    void* object = nullptr;
    ASSERT_EQ(V_CreateDirectInput8Object(&V_IID_IDirectInput8A, &object), V_S_OK);
    auto* input = static_cast<V_IDirectInput8A*>(object);
    EXPECT_EQ(input->Initialize(nullptr, 0x800), V_DI_OK);
    V_IDirectInputDevice8A* mouse = nullptr;
    ASSERT_EQ(input->CreateDevice(V_GUID_SysMouse, &mouse, nullptr), V_DI_OK);
    V_DIMOUSESTATE2 state;
    EXPECT_EQ(mouse->GetDeviceState(sizeof(state), &state), V_DIERR_INVALIDPARAM)
        << "no data format yet";
    EXPECT_EQ(mouse->SetDataFormat(&V_c_dfDIKeyboard), V_DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->SetDataFormat(&V_c_dfDIMouse2), V_DI_OK);
    EXPECT_EQ(mouse->SetCooperativeLevel(nullptr, V_DISCL_EXCLUSIVE | V_DISCL_NONEXCLUSIVE),
              V_DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->SetCooperativeLevel(nullptr, V_DISCL_NONEXCLUSIVE | V_DISCL_BACKGROUND),
              V_DI_OK);
    EXPECT_EQ(mouse->GetDeviceState(sizeof(state), &state), V_DIERR_NOTACQUIRED);
    EXPECT_EQ(mouse->Acquire(), V_DI_OK);
    InputStateAddMouseMotion(5, -3, 120);
    InputStateAddMouseMotion(2, 1, 0);
    ASSERT_EQ(mouse->GetDeviceState(sizeof(state), &state), V_DI_OK);
    EXPECT_EQ(state.lX, 7);
    EXPECT_EQ(state.lY, -2);
    EXPECT_EQ(state.lZ, 120);
    ASSERT_EQ(mouse->GetDeviceState(sizeof(state), &state), V_DI_OK);
    EXPECT_EQ(state.lX, 0) << "motion is relative to the last read";
    mouse->Release();

    V_IDirectInputDevice8A* keyboard = nullptr;
    ASSERT_EQ(input->CreateDevice(V_GUID_SysKeyboard, &keyboard, nullptr), V_DI_OK);
    keyboard->SetDataFormat(&V_c_dfDIKeyboard);
    EXPECT_EQ(keyboard->SetCooperativeLevel(nullptr, V_DISCL_EXCLUSIVE | V_DISCL_BACKGROUND),
              V_DIERR_UNSUPPORTED);
    keyboard->SetCooperativeLevel(nullptr, V_DISCL_NONEXCLUSIVE | V_DISCL_BACKGROUND);
    keyboard->Acquire();
    V_BYTE keys[256];
    const std::pair<SDL_Scancode, int> expected[] = {
        {SDL_SCANCODE_ESCAPE, 0x01}, {SDL_SCANCODE_RETURN, 0x1C}, {SDL_SCANCODE_KP_ENTER, 0x9C},
        {SDL_SCANCODE_UP, 0xC8},     {SDL_SCANCODE_LEFT, 0xCB},   {SDL_SCANCODE_RIGHT, 0xCD},
        {SDL_SCANCODE_DOWN, 0xD0},   {SDL_SCANCODE_RSHIFT, 0x36}, {SDL_SCANCODE_INTERNATIONAL3, 0x7D},
        {SDL_SCANCODE_INTERNATIONAL4, 0x79}, {SDL_SCANCODE_LANG5, 0x94}};
    for (const auto& [scancode, number] : expected) {
        InputStateSetKey(scancode, true);
        ASSERT_EQ(keyboard->GetDeviceState(256, keys), V_DI_OK);
        EXPECT_EQ(keys[number], 0x80) << "scancode " << scancode;
        int down = 0;
        for (V_BYTE key : keys) down += key != 0;
        EXPECT_EQ(down, 1);
        InputStateSetKey(scancode, false);
    }
    keyboard->Release();
    EXPECT_EQ(input->Release(), 0u);

    V_DirectInputRefuseCreation(2);
    object = reinterpret_cast<void*>(1);
    EXPECT_TRUE(V_FAILED(V_CreateDirectInput8Object(&V_IID_IDirectInput8A, &object)));
    EXPECT_EQ(object, nullptr);
    V_DirectInputRefuseCreation(0);
}
