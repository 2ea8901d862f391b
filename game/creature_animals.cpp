// Insects and beasts: they move, eat, flee or hunt, breed, and leave fruit when they starve.
#include "creature.h"
#include "creature_motion.h"
#include "velk.h"
#include "world.h"

using namespace creature_motion;

namespace {

constexpr int32_t kFruitSearchRadius = 16;   // pixels
constexpr int32_t kFleeRadius = 30;          // pixels
constexpr int64_t kFleeRange = 900;          // 30 pixels, squared
constexpr int32_t kInsectSearchRadius = 50;  // pixels
constexpr int32_t kEatingRadius = 10;        // tenths of a pixel

// The nearest living creature of the kind when it lies within the radius.
Creature* FindNearestWithin(World& world, const Creature& from, int32_t kind, int32_t radius) {
    return world.FindNearestWithin(from.x, from.y, kind, radius);
}

// The first creature of the kind in slot order closer than one pixel (eaten or not).
Creature* FindFood(World& world, const Creature& eater, int32_t kind) {
    return world.FindFirstWithinTenths(eater.x, eater.y, kind, kEatingRadius);
}

// The eater takes all the food's energy and nutrient.
void Eat(Creature& eater, Creature& food) {
    eater.energy += food.energy;
    eater.nutrient += food.nutrient;
    food.energy = 0;
    food.nutrient = 0;
}

void SetVelocity(Creature& c, double angle, double factor) {
    c.vx = Truncate(std::cos(angle) * c.speed * factor);
    c.vy = Truncate(std::sin(angle) * c.speed * factor);
}

bool TargetStillSame(const World& world, const Creature& c) {
    return world.At(c.target).id == c.targetId;
}

}  // namespace

void Creature::StepInsect(World& world) {
    energy -= 1;
    if (energy <= 0 && nutrient > 0) {
        // Starving: one fruit on the spot; the rest of the nutrient goes to the air at death.
        if (Creature* fruit = world.Spawn(1, Fruit, x, y)) {
            fruit->nutrient = 1;
            nutrient -= 1;
        }
        return;
    }
    if (nutrient >= 8) {
        if (Creature* child = world.Spawn(generation, Insect, x, y)) {
            child->nutrient = 5;
            child->speed = speed;
            nutrient -= 5;
        }
    }
    MoveAndClamp(*this);
    world.NoteMoved(world.SlotOf(this));
    if (directionTimer <= tickCounter) {
        directionTimer = 0;
    }

    if (fleeing) {
        // A fleeing insect measures the distance to its beast's slot without checking identity.
        if (target != kNoSlot) {
            const Creature& beast = world.At(target);
            if (PixelDistanceSquared(x, y, beast.x, beast.y) > kFleeRange) {
                ClearTarget();
                fleeing = false;
                directionTimer = 0;
            }
        }
        if (ageTicks % 2 == 0) {
            if (Creature* fruit = FindNearestWithin(world, *this, Fruit, kFruitSearchRadius)) {
                SetTarget(world, fruit);
                fleeing = false;
                directionTimer = 0;
            }
        }
    } else if (target != kNoSlot) {
        if (ageTicks % 10 == 0) {
            if (Creature* fruit = FindNearestWithin(world, *this, Fruit, kFruitSearchRadius)) {
                SetTarget(world, fruit);
                directionTimer = 0;
            }
        }
        if (Creature* fruit = FindFood(world, *this, Fruit)) {
            Eat(*this, *fruit);
        }
        if (!TargetStillSame(world, *this)) {
            ClearTarget();
            directionTimer = 0;
        }
    } else if (ageTicks % 10 == 0) {
        if (Creature* fruit = FindNearestWithin(world, *this, Fruit, kFruitSearchRadius)) {
            SetTarget(world, fruit);
            directionTimer = 0;
        }
        if (Creature* beast = world.FindFirstWithinPixels(x, y, Animal, kFleeRadius)) {
            SetTarget(world, beast);
            fleeing = true;
            directionTimer = 0;
        }
    }

    if (directionTimer == 0) {
        tickCounter = 0;
        if (fleeing) {
            if (target != kNoSlot) {
                const Creature& beast = world.At(target);
                const double angle = AngleToward(x, y, beast.x, beast.y);
                vx = Truncate(-std::cos(angle) * speed);
                vy = Truncate(-std::sin(angle) * speed);
                directionTimer = 10;
            } else {
                fleeing = false;  // the next tick chooses again
            }
        } else if (target != kNoSlot) {
            const Creature& food = world.At(target);
            SetVelocity(*this, AngleToward(x, y, food.x, food.y), 1.0);
            directionTimer = 60;
        } else {
            const double angle = RandomAngle();
            directionTimer = GetRandomInt(120) + 30;
            SetVelocity(*this, angle, 1.0);
        }
    }
    UpdateSpeed(*this, 1100, 800);
}

void Creature::StepAnimal(World& world) {
    energy -= 1;
    if (energy <= 0 && nutrient > 0) {
        // Starving: three fruit scattered around; nutrient is tested once, so it may end negative.
        for (int attempt = 0; attempt < 3; ++attempt) {
            const int32_t fruitY = y + (GetRandomInt(20) - 10) * 1000;
            const int32_t fruitX = x + (GetRandomInt(20) - 10) * 1000;
            if (Creature* fruit = world.Spawn(1, Fruit, fruitX, fruitY)) {
                fruit->nutrient = 1;
                nutrient -= 1;
            }
        }
        return;
    }
    if (nutrient >= 30) {
        if (Creature* child = world.Spawn(generation, Animal, x, y)) {
            child->nutrient = 20;
            child->speed = speed;
            nutrient -= 20;
        }
    }
    MoveAndClamp(*this);
    world.NoteMoved(world.SlotOf(this));

    if (target != kNoSlot) {
        speedCounter += 1;
        if (!TargetStillSame(world, *this)) {
            ClearTarget();
            directionTimer = 0;
        } else {
            world.At(target).speedCounter += 1;
        }
        if (Creature* insect = FindFood(world, *this, Insect)) {
            Eat(*this, *insect);
            directionTimer = 0;
            ClearTarget();
            hungerTimer = 500;
        }
    } else {
        hungerTimer -= 1;
        if (energy <= 500 || hungerTimer < 0) {
            SetTarget(world, FindNearestWithin(world, *this, Insect, kInsectSearchRadius));
            if (target != kNoSlot) {
                directionTimer = 0;
            }
        }
    }
    if (directionTimer <= tickCounter) {
        directionTimer = 0;
    }

    if (directionTimer == 0) {
        tickCounter = 0;
        if (energy <= 500) {
            SetTarget(world, FindNearestWithin(world, *this, Insect, kInsectSearchRadius));
        }
        if (target != kNoSlot) {
            const Creature& prey = world.At(target);
            SetVelocity(*this, AngleToward(x, y, prey.x, prey.y), 1.1);
            directionTimer = 2;
        } else {
            const double angle = RandomAngle();
            SetVelocity(*this, angle, 1.0);
            directionTimer = GetRandomInt(210) + 30;
        }
    }
    UpdateSpeed(*this, 1500, 1000);
}
