#include "creature.h"

#include <cstring>

#include "game_clock.h"
#include "world.h"

namespace {

struct KindConstants {
    const char* name;
    int32_t initialEnergy;
    int32_t sprite;
};

const KindConstants kKinds[kCreatureKindCount] = {
    {"木", 2000, 1},
    {"果実", 100, 3},
    {"虫", 500, 4},
    {"獣", 1000, 5},
};

}  // namespace

const char* GetKindName(int32_t kind) {
    return kind >= 0 && kind < kCreatureKindCount ? kKinds[kind].name : "";
}

int32_t GetKindInitialEnergy(int32_t kind) {
    return kind >= 0 && kind < kCreatureKindCount ? kKinds[kind].initialEnergy : 0;
}

int32_t GetKindSprite(int32_t kind) {
    return kind >= 0 && kind < kCreatureKindCount ? kKinds[kind].sprite : -1;
}

void Creature::Init(int32_t newKind, int32_t newId, int32_t parentGeneration, int32_t newX,
                    int32_t newY) {
    id = newId;
    std::strncpy(name, GetKindName(newKind), sizeof name - 1);
    name[sizeof name - 1] = '\0';
    generation = parentGeneration + 1;
    x = newX;
    y = newY;
    ageTicks = 0;
    ageSeconds = 0;
    kind = newKind;
    energy = GetKindInitialEnergy(newKind);
    speed = 500;
    speedCounter = 0;
    nutrient = 0;
    vx = 0;
    vy = 0;
    tickCounter = 0;
    directionTimer = 0;
    target = kNoSlot;
    targetId = -1;
    sprite = GetKindSprite(newKind);
    fleeing = false;
    hungerTimer = 500;
    lastSecondTime = GetGameMilliseconds();
}

void Creature::SetTarget(const World& world, const Creature* creature) {
    if (creature == nullptr) {
        ClearTarget();
        return;
    }
    target = world.SlotOf(creature);
    targetId = creature->id;
}

void Creature::ClearTarget() {
    target = kNoSlot;
    targetId = -1;
}

void Creature::Step(World& world) {
    if (energy <= 0) {
        // Death: the slot frees and the creature's nutrient returns to the air.
        const int32_t oldKind = kind;
        kind = Empty;
        world.ChangeSlotKind(world.SlotOf(this), oldKind, Empty);
        world.airEnergy += nutrient;
        id = -1;
        ClearTarget();
        energy = 0;
        return;
    }
    ageTicks += 1;
    switch (kind) {
        case Wood:
            StepWood(world);
            break;
        case Fruit:
            StepFruit(world);
            break;
        case Insect:
            StepInsect(world);
            break;
        case Animal:
            StepAnimal(world);
            break;
        default:
            break;
    }
    const int now = GetGameMilliseconds();
    if (ElapsedMilliseconds(now, lastSecondTime) >= 1000) {
        ageSeconds += 1;
        lastSecondTime = now;
    }
}
