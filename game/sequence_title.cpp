// The title screen: START or QUIT.
#include <new>

#include "game_colors.h"
#include "game_engine.h"
#include "input_state.h"
#include "sequence.h"
#include "sound_effects.h"

namespace Sequence {

Title::Title() {
    GameEngine& engine = Engine();
    picture = engine.LoadGraphHandle("Data/Image/Title.jpg", 0);
    engine.SetDefaultFontType(3);
    engine.SetDefaultFontSize(32);
    engine.SetDefaultFontThickness(8);
}

Title::~Title() {
    Engine().DeleteGraph(picture, 0);
}

Base* Title::Update(Parent*) {
    if (IsLatchedPress(kPadUp, kLatchUp) && cursor > 0) cursor -= 1;
    if (IsLatchedPress(kPadDown, kLatchDown)) cursor = cursor + 1 > 1 ? 1 : cursor + 1;
    if (IsLatchedPress(kPadDecide, kLatchDecide)) {
        PlaySoundEffect(kSoundEnter);
        if (cursor == 0) return new (std::nothrow) Option;
        if (cursor == 1) return nullptr;
        return this;
    }
    if (IsLatchedPress(kPadCancel, kLatchCancel)) {
        PlaySoundEffect(kSoundCancel);
        cursor = 2;
    }

    GameEngine& engine = Engine();
    engine.DrawGraphAt(0, 0, picture, 0);
    const char* items[2] = {"START", "QUIT"};
    for (int i = 0; i < 2; ++i) {
        engine.DrawStringDefault(40, 340 + 36 * i, items[i],
                                 GameColorValue(cursor == i ? kColorCursor : kColorWhite),
                                 GameColorValue(kColorBlack));
    }
    return this;
}

}  // namespace Sequence
