// Trees and fruit: they draw nutrient from the air; trees drop fruit, ripe fruit become trees.
#include "creature.h"
#include "velk.h"
#include "world.h"

void Creature::StepWood(World& world) {
    tickCounter += 1;
    energy -= 1;
    if (tickCounter % 40 == 0) {
        if (world.airEnergy > 0) {
            nutrient += 1;
            world.airEnergy -= 1;
        } else {
            // An empty air takes nutrient back from the trees.
            nutrient -= 1;
            world.airEnergy += 1;
        }
    }
    if (nutrient >= 10) {
        const int32_t fruitX = x + (GetRandomInt(20) - 10) * 1000;
        const int32_t fruitY = y + (GetRandomInt(20) - 10) * 1000;
        if (Creature* fruit = world.Spawn(generation, Fruit, fruitX, fruitY)) {
            fruit->nutrient = 1;
            nutrient -= 1;
            energy -= 50;
        }
    }
    if (nutrient <= 5) {
        energy -= 4;
        if (tickCounter % 5 == 0 && world.airEnergy > 0) {
            nutrient += 1;
            world.airEnergy -= 1;
        }
    }
    sprite = nutrient >= 8 ? 2 : 1;
}

void Creature::StepFruit(World& world) {
    tickCounter += 1;
    if (tickCounter % 60 == 0) {
        if (world.airEnergy > 0) {
            nutrient += 1;
            world.airEnergy -= 1;
            energy += 20;
        } else {
            nutrient -= 1;
            world.airEnergy += 1;
        }
    }
    if (nutrient == 0) {
        energy = 0;  // it dies at its next step
    }
    if (nutrient >= 5) {
        // Ripe: a tree in the same slot, keeping its id, generation and nutrient.
        const int32_t keptNutrient = nutrient;
        Init(Wood, id, generation - 1, x, y);
        nutrient = keptNutrient;
        world.ChangeSlotKind(world.SlotOf(this), Fruit, Wood);
    }
}
