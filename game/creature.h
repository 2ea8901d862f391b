// One creature slot of the world: tree, fruit, insect, beast or a free slot.
#pragma once

#include <cstdint>

class World;

enum CreatureKind : int32_t {
    Wood = 0,  // tree
    Fruit = 1,
    Insect = 2,
    Animal = 3,  // beast
    Empty = 4,   // a free slot
};

constexpr int kCreatureKindCount = 4;  // the living kinds, 0..3
constexpr int kNoSlot = -1;

class Creature {
public:
    int32_t kind = Empty;
    int32_t x = -16000;  // position in milli-pixels
    int32_t y = -16000;
    char name[64] = {};  // the kind's name, code page 932
    int32_t ageTicks = 0;
    int32_t ageSeconds = 0;
    int32_t generation = 0;
    int32_t energy = 0;
    int32_t nutrient = 0;
    int32_t speedCounter = 0;
    int32_t speed = 0;  // milli-pixels per tick
    int32_t id = 0;
    int32_t sprite = -1;
    int32_t vx = 0;  // milli-pixels per tick
    int32_t vy = 0;
    int32_t tickCounter = 0;
    int32_t directionTimer = 0;
    bool fleeing = false;
    int32_t hungerTimer = 0;
    int32_t target = kNoSlot;  // slot of the target in the same world, or kNoSlot
    int32_t targetId = -1;     // the id the target had when chosen
    int32_t lastSecondTime = 0;

    // A new creature of the kind; its generation is one above the given one.
    void Init(int32_t newKind, int32_t newId, int32_t parentGeneration, int32_t newX, int32_t newY);
    // One tick: death when out of energy, else aging and the kind's behaviour.
    void Step(World& world);
    // Aims at the creature (null for none), remembering its slot and its id.
    void SetTarget(const World& world, const Creature* creature);
    void ClearTarget();

private:
    void StepWood(World& world);
    void StepFruit(World& world);
    void StepInsect(World& world);
    void StepAnimal(World& world);
};

// Squared distance with each coordinate divided by 1000 (whole pixels) before subtracting.
inline int64_t PixelDistanceSquared(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const int64_t dx = x1 / 1000 - x2 / 1000;
    const int64_t dy = y1 / 1000 - y2 / 1000;
    return dx * dx + dy * dy;
}

// Squared distance with each coordinate divided by 100 (tenths of a pixel) before subtracting.
inline int64_t TenthPixelDistanceSquared(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const int64_t dx = x1 / 100 - x2 / 100;
    const int64_t dy = y1 / 100 - y2 / 100;
    return dx * dx + dy * dy;
}

// The per-kind constants.
const char* GetKindName(int32_t kind);
int32_t GetKindInitialEnergy(int32_t kind);
int32_t GetKindSprite(int32_t kind);
