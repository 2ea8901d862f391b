// Behaviour of single creatures inside a world emptied by hand.
#include "core/core.h"
#include "sim_test_support.h"

using namespace sim_test;

namespace {

// A world with no creatures and its whole nutrient in the air.
class CreatureTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        SeedRandom(1234);
        world = std::make_unique<World>(1000, 0, 0, 0, folder.c_str());
        ClearWorld(*world);
    }
    void TearDown() override {
        world.reset();
        SimTest::TearDown();
    }
    void FillTable() {
        while (Place(*world, Wood, 320000, 240000, 0) != nullptr) {
        }
    }
    std::unique_ptr<World> world;
};

}  // namespace

TEST_F(CreatureTest, FruitReachingFiveBecomesATreeInItsSlot) {
    Place(*world, Wood, 100000, 100000, 0);
    Creature* fruit = Place(*world, Fruit, 200000, 200000, 4, 6);
    ASSERT_NE(fruit, nullptr);
    const int slot = world->SlotOf(fruit);
    const int id = fruit->id;
    EXPECT_EQ(fruit->generation, 7);
    fruit->tickCounter = 59;  // the next step absorbs from the air
    fruit->ageTicks = 33;
    fruit->Step(*world);
    EXPECT_EQ(fruit->kind, Wood);
    EXPECT_EQ(world->SlotOf(fruit), slot);
    EXPECT_EQ(fruit->id, id);
    EXPECT_EQ(fruit->generation, 7);
    EXPECT_EQ(fruit->nutrient, 5);
    EXPECT_EQ(fruit->energy, 2000);
    EXPECT_EQ(fruit->sprite, 1);
    EXPECT_EQ(fruit->ageTicks, 0);
    EXPECT_EQ(TotalNutrient(*world), 1000);
    // The new tree is found as a tree from now on.
    EXPECT_EQ(world->FindNearest(200000, 200000, Fruit), nullptr);
    EXPECT_EQ(world->FindNearest(200000, 200000, Wood), fruit);
}

TEST_F(CreatureTest, TreesFeedAnEmptyAirAndAFruitWithoutNutrientDies) {
    Creature* fruit = Place(*world, Fruit, 200000, 200000, 1);
    Creature* tree = Place(*world, Wood, 300000, 200000, 0);
    world->airEnergy -= 1004;  // below zero: nothing can be drawn from the air
    fruit->tickCounter = 59;
    tree->tickCounter = 39;
    tree->Step(*world);  // gives one back to the air
    EXPECT_EQ(tree->nutrient, -1);
    EXPECT_EQ(world->airEnergy, -4);
    fruit->Step(*world);  // gives one back too, and with none left it dies
    EXPECT_EQ(fruit->nutrient, 0);
    EXPECT_EQ(fruit->energy, 0);
    EXPECT_EQ(world->airEnergy, -3);
    fruit->Step(*world);
    EXPECT_EQ(fruit->kind, Empty);
    EXPECT_EQ(fruit->id, -1);
    EXPECT_EQ(TotalNutrient(*world), -4);
}

TEST_F(CreatureTest, StarvingBeastLeavesUpToThreeFruitAndGoesNegative) {
    Creature* beast = Place(*world, Animal, 320000, 240000, 2);
    beast->energy = 1;
    beast->Step(*world);
    EXPECT_EQ(CountKind(*world, Fruit), 3);
    EXPECT_EQ(beast->nutrient, -1);
    EXPECT_EQ(TotalNutrient(*world), 1000);
    const int air = world->airEnergy;
    beast->Step(*world);  // death hands the debt to the air
    EXPECT_EQ(beast->kind, Empty);
    EXPECT_EQ(world->airEnergy, air - 1);
    EXPECT_EQ(TotalNutrient(*world), 1000);

    // At the edge only the fruit landing inside the birth bounds are made.
    Creature* edge = Place(*world, Animal, 12000, 12000, 5);
    edge->energy = 1;
    const int fruitBefore = CountKind(*world, Fruit);
    edge->Step(*world);
    const int made = CountKind(*world, Fruit) - fruitBefore;
    EXPECT_LE(made, 3);
    EXPECT_EQ(edge->nutrient, 5 - made);
    EXPECT_EQ(TotalNutrient(*world), 1000);
}

TEST_F(CreatureTest, StarvingInsectLeavesOneFruitOfGenerationTwo) {
    Creature* insect = Place(*world, Insect, 320000, 240000, 3, 8);
    insect->energy = 1;
    insect->Step(*world);
    Creature* fruit = world->FindNearest(320000, 240000, Fruit);
    ASSERT_NE(fruit, nullptr);
    EXPECT_EQ(fruit->generation, 2);
    EXPECT_EQ(fruit->nutrient, 1);
    EXPECT_EQ(insect->nutrient, 2);
    EXPECT_EQ(TotalNutrient(*world), 1000);
}

TEST_F(CreatureTest, BirthsIntoAFullTableChangeNothing) {
    Creature* insect = Place(*world, Insect, 320000, 240000, 9);
    Creature* beast = Place(*world, Animal, 100000, 100000, 40);
    Creature* tree = Place(*world, Wood, 500000, 400000, 12);
    Creature* starving = Place(*world, Animal, 200000, 100000, 4);
    starving->energy = 1;
    FillTable();
    EXPECT_EQ(CountKind(*world, Empty), 0);
    const int nextId = world->nextId;
    const int treeEnergy = tree->energy;

    insect->Step(*world);
    beast->Step(*world);
    tree->Step(*world);
    starving->Step(*world);
    EXPECT_EQ(insect->nutrient, 9);
    EXPECT_EQ(beast->nutrient, 40);
    EXPECT_EQ(tree->nutrient, 12);
    EXPECT_EQ(tree->energy, treeEnergy - 1);  // only the tick's own loss, no fruit cost
    EXPECT_EQ(starving->nutrient, 4);
    EXPECT_EQ(world->nextId, nextId);
    EXPECT_EQ(TotalNutrient(*world), 1000);
}

TEST_F(CreatureTest, BirthsGiveNutrientSpeedAndGeneration) {
    Creature* insect = Place(*world, Insect, 320000, 240000, 8, 3);
    insect->speed = 512;
    insect->Step(*world);
    Creature* child = &world->At(1);
    ASSERT_EQ(child->kind, Insect);
    EXPECT_EQ(child->generation, 5);
    EXPECT_EQ(child->nutrient, 5);
    EXPECT_EQ(child->speed, 512);
    EXPECT_EQ(insect->nutrient, 3);

    Creature* tree = Place(*world, Wood, 100000, 100000, 10, 1);
    const int energy = tree->energy;
    tree->Step(*world);
    Creature* fruit = world->FindNearest(100000, 100000, Fruit);
    ASSERT_NE(fruit, nullptr);
    EXPECT_EQ(fruit->generation, 3);
    EXPECT_LE(PixelDistanceSquared(100000, 100000, fruit->x, fruit->y), 200);
    EXPECT_EQ(tree->nutrient, 9);
    EXPECT_EQ(tree->energy, energy - 51);
    EXPECT_EQ(TotalNutrient(*world), 1000);
}

TEST_F(CreatureTest, InsectOnAFruitEatsItAndTheFruitVanishes) {
    Creature* insect = Place(*world, Insect, 320000, 240000, 0);
    Creature* fruit = Place(*world, Fruit, 320050, 240050, 3);
    insect->SetTarget(*world, fruit);
    insect->energy = 400;
    const int fruitEnergy = fruit->energy;
    insect->Step(*world);
    EXPECT_EQ(insect->nutrient, 3);
    EXPECT_EQ(insect->energy, 400 - 1 + fruitEnergy);
    EXPECT_EQ(fruit->energy, 0);
    EXPECT_EQ(fruit->nutrient, 0);
    fruit->Step(*world);
    EXPECT_EQ(fruit->kind, Empty);
    // The target's slot no longer holds the fruit: the insect drops it.
    insect->Step(*world);
    EXPECT_EQ(insect->target, kNoSlot);
    EXPECT_EQ(insect->targetId, -1);
    EXPECT_EQ(TotalNutrient(*world), 1000);
}

TEST_F(CreatureTest, InsectFleesANearBeastAndStopsBeyondThirtyPixels) {
    Creature* insect = Place(*world, Insect, 320000, 240000, 0);
    Creature* beast = Place(*world, Animal, 340000, 240000, 0);
    insect->ageTicks = 9;  // the next step looks around
    insect->Step(*world);
    EXPECT_TRUE(insect->fleeing);
    EXPECT_EQ(insect->target, world->SlotOf(beast));
    EXPECT_LT(insect->vx, 0);  // straight away from the beast
    EXPECT_EQ(insect->vy, 0);
    EXPECT_EQ(insect->directionTimer, 10);
    beast->x = 400000;
    world->RebuildKindIndex();
    insect->Step(*world);
    EXPECT_FALSE(insect->fleeing);
    EXPECT_EQ(insect->target, kNoSlot);
}

TEST_F(CreatureTest, HungryBeastHuntsAndEatsTheNearestInsect) {
    Creature* beast = Place(*world, Animal, 320000, 240000, 0);
    Creature* far = Place(*world, Insect, 380000, 240000, 2);
    Creature* near = Place(*world, Insect, 330000, 240000, 3);
    near->energy = 2000;
    beast->energy = 400;
    beast->Step(*world);
    EXPECT_EQ(beast->target, world->SlotOf(near));
    EXPECT_EQ(world->FindNearest(400000, 240000, Insect), far);
    EXPECT_EQ(beast->directionTimer, 2);
    EXPECT_GT(beast->vx, 500);  // 1.1 times its speed
    beast->x = near->x;
    beast->vx = 0;
    world->RebuildKindIndex();
    beast->Step(*world);
    EXPECT_EQ(beast->nutrient, 3);
    EXPECT_EQ(beast->energy, 1500);  // capped
    EXPECT_EQ(near->energy, 0);
    EXPECT_EQ(beast->hungerTimer, 500);
    EXPECT_EQ(TotalNutrient(*world), 1000);
}

TEST_F(CreatureTest, FindNearestPrefersTheLowerSlotOnATieAndSkipsTheSpent) {
    Creature* a = Place(*world, Insect, 310000, 240000, 0);
    Creature* b = Place(*world, Insect, 330000, 240000, 0);
    EXPECT_EQ(world->FindNearest(320000, 240000, Insect), a);
    a->energy = 0;
    EXPECT_EQ(world->FindNearest(320000, 240000, Insect), b);
    EXPECT_EQ(world->FindNearest(320000, 240000, Animal), nullptr);
}

TEST_F(CreatureTest, SpawnRespectsBoundsAndWrapsTheIdCounter) {
    EXPECT_EQ(world->Spawn(0, Fruit, 11999, 200000), nullptr);
    EXPECT_EQ(world->Spawn(0, Fruit, 628001, 200000), nullptr);
    EXPECT_EQ(world->Spawn(0, Fruit, 200000, 11999), nullptr);
    EXPECT_EQ(world->Spawn(0, Fruit, 200000, 468001), nullptr);
    EXPECT_NE(world->Spawn(0, Fruit, 12000, 468000), nullptr);
    world->nextId = INT32_MAX;
    Creature* last = world->Spawn(0, Fruit, 628000, 12000);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->id, INT32_MAX);
    EXPECT_EQ(world->nextId, 0);
}

TEST_F(CreatureTest, MovingCreaturesStopAtTheWalls) {
    Creature* insect = Place(*world, Insect, 12000, 240000, 0);
    ASSERT_NE(insect, nullptr);
    insect->vx = -5000;
    insect->vy = 0;
    insect->directionTimer = 100;
    insect->Step(*world);
    EXPECT_EQ(insect->x, 8000);
    EXPECT_EQ(insect->vx, 0);
}
