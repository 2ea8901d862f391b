// The world's run: placement, the tick's counting, extinction and milestone lines, the clock,
// and the run log written when the world ends.
#include "core/core.h"
#include "sim_test_support.h"

using namespace sim_test;

namespace {

const char* const kWoodGone = "木が絶滅しました。緑は犠牲になったのだ…。";
const char* const kInsectGone = "虫が絶滅しました。獣絶滅確定。緑の時代到来。";
const char* const kAnimalGone = "獣が絶滅しました。ある意味平和に。";

int CountLines(const std::string& text) {
    int count = 0;
    for (const std::string& line : LogLines()) {
        count += line == text ? 1 : 0;
    }
    return count;
}

}  // namespace

TEST_F(SimTest, RestartPlacesTreesInsectsAndBeastsAroundTheCentre) {
    SeedRandom(7);
    World world(1000, 10, 20, 6, folder.c_str());
    for (int slot = 0; slot < 36; ++slot) {
        const Creature& c = world.At(slot);
        EXPECT_EQ(c.kind, slot < 10 ? Wood : slot < 30 ? Insect : Animal);
        EXPECT_EQ(c.id, slot);
        EXPECT_EQ(c.generation, 1);
        EXPECT_GE(c.x, 200000);
        EXPECT_LE(c.x, 440000);
        EXPECT_GE(c.y, 150000);
        EXPECT_LE(c.y, 330000);
    }
    EXPECT_EQ(world.At(36).kind, Empty);
    EXPECT_EQ(world.nextId, 36);
    EXPECT_EQ(world.airEnergy, 1000);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "00:00:00 空養1000　木10本　虫20匹　獣6匹で開始しました。");
}

TEST_F(SimTest, EmptyRunAnnouncesExtinctionsInOrderOnce) {
    World world(0, 0, 0, 0, folder.c_str());
    world.Tick();
    world.Tick();
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], std::string("00:00:00 ") + kWoodGone);
    EXPECT_EQ(lines[2], std::string("00:00:00 ") + kInsectGone);
    EXPECT_EQ(lines[3], std::string("00:00:00 ") + kAnimalGone);
    EXPECT_EQ(TotalNutrient(world), 0);
}

TEST_F(SimTest, KindThatReturnsIsAnnouncedAgainWhenItDiesOut) {
    World world(1000, 0, 0, 0, folder.c_str());
    world.Tick();
    EXPECT_EQ(CountLines(std::string("00:00:00 ") + kWoodGone), 1);
    Creature* tree = Place(world, Wood, 300000, 300000, 7);
    world.Tick();
    EXPECT_EQ(world.kindStats[Wood].livingCount, 1);
    EXPECT_FALSE(world.kindStats[Wood].extinctAnnounced);
    tree->energy = 0;
    world.Tick();  // emptied at its step, so not counted
    EXPECT_EQ(world.kindStats[Wood].livingCount, 0);
    EXPECT_EQ(CountLines(std::string("00:00:00 ") + kWoodGone), 2);
    world.Tick();
    EXPECT_EQ(CountLines(std::string("00:00:00 ") + kWoodGone), 2);
    EXPECT_EQ(TotalNutrient(world), 1000);
}

TEST_F(SimTest, MilestonesAreLoggedOncePerKindPerRun) {
    World world(1000, 0, 0, 0, folder.c_str());
    ClearWorld(world);
    Place(world, Insect, 300000, 300000, 0, 9);   // generation 10
    Place(world, Fruit, 100000, 100000, 2, 49);   // fruit have no texts
    Place(world, Animal, 500000, 100000, 0, 50);  // generation 51 passes 50 by
    world.Tick();
    world.Tick();
    const std::string insectTen = "00:00:00 虫が10代目まで続きました。木が必死です。";
    EXPECT_EQ(CountLines(insectTen), 1);
    EXPECT_TRUE(world.kindStats[Insect].milestoneDone[0]);
    EXPECT_TRUE(world.kindStats[Fruit].milestoneDone[1]);
    EXPECT_FALSE(world.kindStats[Animal].milestoneDone[1]);
    EXPECT_EQ(world.kindStats[Animal].maxGeneration, 51);
    // Reaching 10 again in the same run logs nothing more.
    Place(world, Insect, 300000, 200000, 0, 9);
    world.Tick();
    EXPECT_EQ(CountLines(insectTen), 1);
    // Lines after the start: the extinction of trees, then the insects' milestone.
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], std::string("00:00:00 ") + kWoodGone);
    EXPECT_EQ(lines[2], insectTen);
}

TEST_F(SimTest, RunClockCountsOneSecondPerTickAtMostAndAcrossTheWrap) {
    // The clock is 31 bits wide: it runs up to 0x7FFFFFFF and starts again at 0.
    const int64_t start = 0x7FFFFFFF - 500;
    auto at = [&](int64_t offset) { return static_cast<int>((start + offset) & 0x7FFFFFFF); };
    g_FakeNow = at(0);
    World world(1000, 1, 0, 0, folder.c_str());
    world.Tick();
    EXPECT_EQ(world.elapsedSeconds, 0);
    g_FakeNow = at(999);  // already past the wrap
    world.Tick();
    EXPECT_EQ(world.elapsedSeconds, 0);
    g_FakeNow = at(1000);
    world.Tick();
    EXPECT_EQ(world.elapsedSeconds, 1);
    EXPECT_EQ(world.At(0).ageSeconds, 1);
    g_FakeNow += 5000;  // a long gap gives one second, no catching up
    world.Tick();
    EXPECT_EQ(world.elapsedSeconds, 2);
    world.Tick();
    EXPECT_EQ(world.elapsedSeconds, 2);
}

TEST_F(SimTest, CameraFollowsTheSelectedCreatureUntilItsSlotChanges) {
    World world(1000, 0, 0, 0, folder.c_str());
    Creature* tree = Place(world, Wood, 100000, 50000, 0);
    world.selectedSlot = world.SlotOf(tree);
    world.selectedId = tree->id;
    world.Tick();
    EXPECT_EQ(world.cameraX, 100000);
    EXPECT_EQ(world.cameraY, 50000);
    tree->energy = 0;
    world.Tick();
    EXPECT_EQ(world.selectedSlot, -1);
    EXPECT_EQ(world.cameraX, 100000);
    world.cameraX = -5;
    world.cameraY = 999999;
    world.Tick();
    EXPECT_EQ(world.cameraX, 0);
    EXPECT_EQ(world.cameraY, 480000);
}

TEST_F(SimTest, EndingARunWritesItsLogAndRestartDropsTheOldOne) {
    {
        World world(1000, 10, 20, 6, folder.c_str());
        world.Tick();
        world.Restart();  // the first log is dropped unsaved
        EXPECT_FALSE(FileExists("Setting.txt"));
        EXPECT_EQ(LogLines().size(), 1u);
    }
    EXPECT_EQ(GetCurrentGameLog(), nullptr);
    EXPECT_EQ(ReadFile("Setting.txt"), "0");
    EXPECT_EQ(ReadFile("Log/LogData0.txt"),
              "00:00:00 空養1000　木10本　虫20匹　獣6匹で開始しました。\r\n"
              "00:00:00 終了しました。\r\n");
    { World world(50000, 0, 500, 500, folder.c_str()); }
    EXPECT_EQ(ReadFile("Setting.txt"), "1");
    EXPECT_TRUE(FileExists("Log/LogData1.txt"));
}
