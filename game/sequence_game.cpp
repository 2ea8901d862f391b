// A run: the world with its settings, and the play and pause screens over it.
#include <cstdio>
#include <new>
#include <string>

#include "game_colors.h"
#include "game_engine.h"
#include "input_state.h"
#include "sequence.h"
#include "sound_effects.h"
#include "world.h"

namespace {

std::string g_RunFolder;

}  // namespace

void SetGameRunFolder(const char* folder) {
    g_RunFolder = folder != nullptr ? folder : "";
}

const char* GetGameRunFolder() {
    return g_RunFolder.c_str();
}

namespace Sequence {

Parent::Parent() = default;

Parent::~Parent() {
    delete child;
}

namespace Game {

GameParent::GameParent(int32_t energy, int32_t wood, int32_t insect, int32_t animal)
    : energy(energy), wood(wood), insect(insect), animal(animal) {
    child = new (std::nothrow) Play;
    world = new (std::nothrow) World(energy, wood, insect, animal, GetGameRunFolder());
}

// The world goes first: its destruction saves the run log.
GameParent::~GameParent() {
    delete world;
    delete child;
}

Base* GameParent::Update(Parent*) {
    if (child == nullptr || world == nullptr) return nullptr;
    Base* next = child->Update(this);
    if (next == child) return this;
    if (auto* scene = dynamic_cast<GameChild*>(next)) {
        delete child;
        child = scene;
        return this;
    }
    return next;
}

Base* Play::Update(GameParent* parent) {
    parent->world->Tick();
    Base* result = this;
    if (IsLatchedPress(kPadPause, kLatchPause)) {
        result = new (std::nothrow) Pause;
    }
    Engine().DrawBoxShape(0, 0, 640, 480, GameColorValue(kColorBlack), 1);
    parent->world->Draw();
    return result;
}

Pause::Pause() {
    GameEngine& engine = Engine();
    engine.SetDefaultFontType(3);
    engine.SetDefaultFontSize(24);
    engine.SetDefaultFontThickness(8);
}

Base* Pause::Update(GameParent* parent) {
    if (IsLatchedPress(kPadUp, kLatchUp) && cursor > 0) cursor -= 1;
    if (IsLatchedPress(kPadDown, kLatchDown) && cursor < 2) cursor += 1;
    if (IsLatchedPress(kPadDecide, kLatchDecide)) {
        PlaySoundEffect(kSoundEnter);
        if (cursor == 0) {
            parent->world->Restart();
            return new (std::nothrow) Play;
        }
        if (cursor == 1) return new (std::nothrow) Title;
        return new (std::nothrow) Play;
    }
    Base* result = this;
    if (IsLatchedPress(kPadCancel, kLatchCancel) || IsLatchedPress(kPadPause, kLatchPause)) {
        PlaySoundEffect(kSoundCancel);
        result = new (std::nothrow) Play;
    }

    GameEngine& engine = Engine();
    const uint32_t black = GameColorValue(kColorBlack);
    const uint32_t white = GameColorValue(kColorWhite);
    engine.DrawBoxShape(0, 0, 640, 480, black, 1);
    parent->world->Draw();
    engine.SetBlendMode(1, 80);
    engine.DrawBoxShape(0, 0, 640, 480, black, 1);
    engine.SetBlendMode(0, 0);
    engine.SetDefaultFontSize(48);
    engine.DrawStringDefault(64, 64, "PAUSE", white, black);
    engine.SetDefaultFontSize(24);

    const World& world = *parent->world;
    struct SettingLine {
        const char* format;
        int32_t value;
        int y;
        GameColor color;
    };
    const SettingLine lines[4] = {
        {"AIR ENERGY:%d", world.initialEnergy, 120, kColorWhite},
        {"WOOD:%d", world.initialWood, 150, kColorPauseWood},
        {"INSECT:%d", world.initialInsect, 180, kColorPauseInsect},
        {"ANIMAL:%d", world.initialAnimal, 210, kColorPauseAnimal},
    };
    for (const SettingLine& line : lines) {
        char text[100];
        std::snprintf(text, sizeof text, line.format, line.value);
        engine.DrawStringDefault(320, line.y, text, GameColorValue(line.color), black);
    }
    const char* items[3] = {"RE START", "TITLE", "CANSEL"};
    for (int i = 0; i < 3; ++i) {
        engine.DrawStringDefault(40, 340 + 24 * i, items[i],
                                 GameColorValue(cursor == i ? kColorCursor : kColorWhite), black);
    }
    return result;
}

}  // namespace Game
}  // namespace Sequence
