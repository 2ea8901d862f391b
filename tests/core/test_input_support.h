// Shared by the input tests: the library started in a scratch folder, with key, mouse and text
// events pushed through the window stand-in's own event conversion.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <string>

#include "core/core.h"
#include "core/input.h"
#include "core/key_input.h"
#include "platform/dinput/dinput.h"
#include "platform/input_state.h"
#include "platform/user/user_internal.h"
#include "test_window_support.h"

class InputLibrary : public testing::Test {
protected:
    // directInput: 0 none (the keyboard state and joystick calls), 7 or 8 that version;
    // keyboardThroughDirectInput: read keyboard and mouse through the devices as well.
    void Start(int directInput, int keyboardThroughDirectInput = 1) {
        V_DirectInputRefuseCreation(directInput == 0 ? 3 : (directInput == 8 ? 1 : 0));
        SetNoDirectInputFlag(0);
        SetDirectInputOnNewerSystemsFlag(keyboardThroughDirectInput);
        ChangeWindowMode(1);
        ASSERT_EQ(InitLibraryLocked(), 0);
        started_ = true;
        sdlWindowId_ = SDL_GetWindowID(UserGetSdlWindow(GetMainWindowHandle()));
    }
    void TearDown() override {
        if (started_) {
            EXPECT_EQ(EndLibraryLocked(), 0);
        }
        V_DirectInputRefuseCreation(0);
        SetNoDirectInputFlag(0);
        SetDirectInputOnNewerSystemsFlag(0);
    }
    // Converts pending events, then lets the keyboard table's millisecond pass.
    void Pump(int passes = 5) {
        for (int i = 0; i < passes; ++i) ProcessMessageLocked();
        SDL_Delay(2);
    }
    void Key(SDL_Scancode scancode, bool down) {
        SDL_Event event{};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.windowID = sdlWindowId_;
        event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.scancode = scancode;
        event.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
        SDL_PushEvent(&event);
    }
    void Button(int sdlButton, bool down) {
        SDL_Event event{};
        event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        event.button.windowID = sdlWindowId_;
        event.button.button = static_cast<Uint8>(sdlButton);
        event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.button.x = 10;
        event.button.y = 20;
        SDL_PushEvent(&event);
    }
    std::string Log() {
        std::string all;
        for (const std::string& line : ReadLogLines()) all += line + "\n";
        return all;
    }

    ScratchFolder folder_;
    bool started_ = false;
    uint32_t sdlWindowId_ = 0;
};

// Takes every whole character out of the character code buffer.
inline std::string PopAllCodes() {
    std::string codes;
    char out[2];
    for (int count; (count = PopCharCode(out, 1)) > 0;) codes.append(out, count);
    return codes;
}
