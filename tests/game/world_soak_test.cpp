// Long seeded runs: the nutrient total and the field's bounds hold after every tick, and a run is
// a pure function of its seed.
#include <cstring>
#include <ostream>
#include <string>
#include <tuple>

#include "core/core.h"
#include "sim_test_support.h"

using namespace sim_test;

namespace {

constexpr int kSoakTicks = 100000;

struct SoakSettings {
    const char* name;
    int32_t energy, wood, insect, animal;
    bool fillTable;  // fill every free slot after the start
};

// Fills the free slots with fruit, insects and beasts, their nutrient taken from the air.
void FillTable(World& world) {
    const int32_t kinds[3] = {Fruit, Insect, Animal};
    for (int i = 0;; ++i) {
        const int32_t x = 20000 + GetRandomInt(600000);
        const int32_t y = 20000 + GetRandomInt(440000);
        if (Place(world, kinds[i % 3], x, y, 1 + i % 4, 0) == nullptr) {
            break;
        }
    }
}

// The creature's place is inside the field's bounds for its kind.
bool InBounds(const Creature& c) {
    return c.x >= 8000 && c.x <= 628000 && c.y >= 8000 && c.y <= 468000;
}

void PrintTo(const SoakSettings& settings, std::ostream* out) {
    *out << settings.name;
}

class SoakTest : public SimTest,
                 public ::testing::WithParamInterface<std::tuple<SoakSettings, uint32_t>> {};

}  // namespace

TEST_P(SoakTest, NutrientIsConservedAndCreaturesStayInTheField) {
    const SoakSettings& settings = std::get<0>(GetParam());
    SeedRandom(std::get<1>(GetParam()));
    World world(settings.energy, settings.wood, settings.insect, settings.animal, folder.c_str());
    if (settings.fillTable) {
        FillTable(world);
        ASSERT_EQ(CountKind(world, Empty), 0);
    }
    ASSERT_EQ(TotalNutrient(world), settings.energy);
    for (int tick = 0; tick < kSoakTicks; ++tick) {
        g_FakeNow += 16;
        world.Tick();
        int64_t total = world.airEnergy;
        for (int slot = 0; slot < kWorldSlotCount; ++slot) {
            const Creature& c = world.At(slot);
            if (c.kind == Empty) {
                continue;
            }
            total += c.nutrient;
            if (!InBounds(c)) {
                FAIL() << "slot " << slot << " left the field at tick " << tick;
            }
            if (c.target != kNoSlot && (c.target < 0 || c.target >= kWorldSlotCount)) {
                FAIL() << "slot " << slot << " has a target outside the table";
            }
        }
        if (total != settings.energy) {
            FAIL() << "nutrient total " << total << " at tick " << tick;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SoakTest,
    ::testing::Combine(::testing::Values(SoakSettings{"Default", 1000, 10, 20, 6, false},
                                         SoakSettings{"Largest", 50000, 500, 500, 500, false},
                                         SoakSettings{"Nothing", 0, 0, 0, 0, false},
                                         SoakSettings{"FullTable", 50000, 500, 500, 500, true}),
                       ::testing::Values(1u, 20261208u, 0xDEADBEEFu)),
    [](const ::testing::TestParamInfo<std::tuple<SoakSettings, uint32_t>>& info) {
        return std::string(std::get<0>(info.param).name) + "_Seed" +
               std::to_string(std::get<1>(info.param));
    });

TEST_F(SimTest, SameSeedGivesTheSameWorld) {
    constexpr int kTicks = 5000;
    auto run = [&](uint32_t seed, std::vector<Creature>* out, int32_t* air) {
        SeedRandom(seed);
        g_FakeNow = 0;
        World world(5000, 100, 200, 40, folder.c_str());
        for (int tick = 0; tick < kTicks; ++tick) {
            g_FakeNow += 16;
            world.Tick();
        }
        out->assign(&world.At(0), &world.At(0) + kWorldSlotCount);
        *air = world.airEnergy;
    };
    std::vector<Creature> first, second, other;
    int32_t firstAir = 0, secondAir = 0, otherAir = 0;
    run(99, &first, &firstAir);
    run(99, &second, &secondAir);
    run(100, &other, &otherAir);
    EXPECT_EQ(firstAir, secondAir);
    auto same = [](const Creature& a, const Creature& b) {
        return a.kind == b.kind && a.x == b.x && a.y == b.y && a.ageTicks == b.ageTicks &&
               a.generation == b.generation && a.energy == b.energy && a.nutrient == b.nutrient &&
               a.speed == b.speed && a.speedCounter == b.speedCounter && a.id == b.id &&
               a.vx == b.vx && a.vy == b.vy && a.target == b.target && a.targetId == b.targetId &&
               a.fleeing == b.fleeing && a.directionTimer == b.directionTimer &&
               a.hungerTimer == b.hungerTimer && std::strcmp(a.name, b.name) == 0;
    };
    int differences = 0, otherDifferences = 0;
    for (int slot = 0; slot < kWorldSlotCount; ++slot) {
        differences += same(first[slot], second[slot]) ? 0 : 1;
        otherDifferences += same(first[slot], other[slot]) ? 0 : 1;
    }
    EXPECT_EQ(differences, 0);
    EXPECT_GT(otherDifferences, 0);
}
