// The settings screen: the four starting values of a run.
#include <cstdio>
#include <new>

#include "game_colors.h"
#include "game_engine.h"
#include "input_state.h"
#include "sequence.h"
#include "sound_effects.h"

namespace Sequence {
namespace {

constexpr int kRowCount = 4;
constexpr int32_t kRowStep[kRowCount] = {100, 1, 1, 1};
constexpr int32_t kRowMaximum[kRowCount] = {50000, 500, 500, 500};
constexpr const char* kRowFormat[kRowCount] = {"ENERGY : %d", "WOOD   : %d", "INSECT : %d",
                                               "ANIMAL : %d"};

int32_t* RowValue(Option& option, int row) {
    int32_t* values[kRowCount] = {&option.energy, &option.wood, &option.insect, &option.animal};
    return values[row];
}

}  // namespace

Option::Option() {
    GameEngine& engine = Engine();
    picture = engine.LoadGraphHandle("Data/Image/Option.jpg", 0);
    engine.SetDefaultFontType(3);
    engine.SetDefaultFontSize(24);
    engine.SetDefaultFontThickness(6);
}

Option::~Option() {
    Engine().DeleteGraph(picture, 0);
}

Base* Option::Update(Parent*) {
    if (IsRepeatedPress(kPadUp, kRepeatUp) && cursor > 0) cursor -= 1;
    if (IsRepeatedPress(kPadDown, kRepeatDown) && cursor < kRowCount - 1) cursor += 1;
    int32_t& value = *RowValue(*this, cursor);
    if (IsRepeatedPress(kPadLeft, kRepeatLeft)) {
        value = value - kRowStep[cursor] < 0 ? 0 : value - kRowStep[cursor];
    }
    if (IsRepeatedPress(kPadRight, kRepeatRight)) {
        value = value + kRowStep[cursor] > kRowMaximum[cursor] ? kRowMaximum[cursor]
                                                               : value + kRowStep[cursor];
    }
    if (IsLatchedPress(kPadDecide, kLatchDecide)) {
        PlaySoundEffect(kSoundEnter);
        return new (std::nothrow) Game::GameParent(energy, wood, insect, animal);
    }
    if (IsLatchedPress(kPadCancel, kLatchCancel)) {
        PlaySoundEffect(kSoundCancel);
        return new (std::nothrow) Title;
    }

    GameEngine& engine = Engine();
    engine.DrawGraphAt(0, 0, picture, 0);
    for (int row = 0; row < kRowCount; ++row) {
        char text[100];
        std::snprintf(text, sizeof text, kRowFormat[row], *RowValue(*this, row));
        engine.DrawStringDefault(40, 320 + 24 * row, text,
                                 GameColorValue(cursor == row ? kColorCursor : kColorWhite),
                                 GameColorValue(kColorBlack));
    }
    return this;
}

}  // namespace Sequence
