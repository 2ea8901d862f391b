// The neighbourhood searches agree with plain scans over the whole table, as the table changes
// through births, deaths and moves during ticks.
#include "core/core.h"
#include "sim_test_support.h"

using namespace sim_test;

namespace {

Creature* ScanNearestWithin(World& world, int32_t x, int32_t y, int32_t kind, int64_t range) {
    Creature* nearest = world.FindNearest(x, y, kind);
    return nearest != nullptr && PixelDistanceSquared(x, y, nearest->x, nearest->y) < range
               ? nearest
               : nullptr;
}

template <typename Test>
Creature* ScanFirst(World& world, int32_t kind, Test test) {
    for (int slot = 0; slot < kWorldSlotCount; ++slot) {
        if (world.At(slot).kind == kind && test(world.At(slot))) {
            return &world.At(slot);
        }
    }
    return nullptr;
}

}  // namespace

TEST_F(SimTest, NeighbourhoodSearchesMatchWholeTableScans) {
    SeedRandom(5);
    World world(20000, 300, 400, 200, folder.c_str());
    int checked = 0, found = 0;
    for (int tick = 0; tick < 1500; ++tick) {
        world.Tick();
        if (tick % 50 != 0) {
            continue;
        }
        for (int probe = 0; probe < 400; ++probe) {
            // Probe at creatures (many near neighbours) and at random points near the edges.
            const Creature& at = world.At(GetRandomInt(kWorldSlotCount - 1));
            const bool onCreature = at.kind != Empty && probe % 2 == 0;
            const int32_t x = onCreature ? at.x + GetRandomInt(2000) - 1000 : GetRandomInt(640000);
            const int32_t y = onCreature ? at.y + GetRandomInt(2000) - 1000 : GetRandomInt(480000);
            for (int32_t kind = 0; kind < kCreatureKindCount; ++kind) {
                for (int32_t radius : {1, 16, 30, 50}) {
                    const int64_t range = int64_t{radius} * radius;
                    ASSERT_EQ(world.FindNearestWithin(x, y, kind, radius),
                              ScanNearestWithin(world, x, y, kind, range));
                    ASSERT_EQ(world.FindFirstWithinPixels(x, y, kind, radius),
                              ScanFirst(world, kind, [&](const Creature& c) {
                                  return PixelDistanceSquared(x, y, c.x, c.y) < range;
                              }));
                }
                found += world.FindNearestWithin(x, y, kind, 16) != nullptr ? 1 : 0;
                found += world.FindFirstWithinTenths(x, y, kind, 10) != nullptr ? 1 : 0;
                ASSERT_EQ(world.FindFirstWithinTenths(x, y, kind, 10),
                          ScanFirst(world, kind, [&](const Creature& c) {
                              return TenthPixelDistanceSquared(x, y, c.x, c.y) < 100;
                          }));
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 1000);
    EXPECT_GT(found, checked / 4);  // the probes do meet creatures
}
