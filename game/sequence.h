// The scenes the game runs through: title, settings, and the run with its play and pause screens.
// Each Update does one frame's input and drawing and returns the scene to run next: itself to
// stay, a new scene to switch (the caller deletes the old one), or null to end the program.
#pragma once

#include <cstdint>
#include <memory>

class World;

namespace Sequence {

class Parent;

class Base {
public:
    virtual ~Base() = default;
};

// A top-level scene, run by the frame loop.
class Child : public Base {
public:
    virtual Base* Update(Parent* parent) = 0;
};

// The root of the scene tree: the current top-level scene.
class Parent {
public:
    Parent();
    ~Parent();
    Parent(const Parent&) = delete;
    Parent& operator=(const Parent&) = delete;

    Child* child = nullptr;
};

class Title : public Child {
public:
    Title();
    ~Title() override;
    Base* Update(Parent* parent) override;

    int picture = -1;
    int32_t cursor = 0;  // 0 START, 1 QUIT, 2 none marked
};

class Option : public Child {
public:
    Option();
    ~Option() override;
    Base* Update(Parent* parent) override;

    int picture = -1;
    int32_t cursor = 0;
    int32_t energy = 1000;
    int32_t wood = 10;
    int32_t insect = 20;
    int32_t animal = 6;
};

namespace Game {

class GameParent;

// A scene inside a run, run by the run's GameParent.
class GameChild : public Base {
public:
    virtual Base* Update(GameParent* parent) = 0;
};

// A run: its settings, its world and the play or pause screen.
class GameParent : public Child {
public:
    GameParent(int32_t energy, int32_t wood, int32_t insect, int32_t animal);
    ~GameParent() override;
    Base* Update(Parent* parent) override;

    int32_t energy, wood, insect, animal;
    GameChild* child = nullptr;
    World* world = nullptr;
};

class Play : public GameChild {
public:
    Base* Update(GameParent* parent) override;
};

class Pause : public GameChild {
public:
    Pause();
    Base* Update(GameParent* parent) override;

    int32_t cursor = 0;  // 0 RE START, 1 TITLE, 2 CANSEL
};

}  // namespace Game
}  // namespace Sequence

// Where runs keep "Setting.txt" and "Log/" (empty: the working folder).
void SetGameRunFolder(const char* folder);
const char* GetGameRunFolder();
