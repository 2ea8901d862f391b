// The info panel's energy bar at the edge of its length: the bar's width is truncated before
// it is compared with the full 200 pixels.
#include "game_scene_support.h"

namespace game_test {
namespace {

class EnergyBarTest : public WorldSceneTest {
protected:
    // The first six arguments of every bar part drawn at y 32, and the number of filled boxes.
    void DrawPanelOf(Creature* creature, std::vector<std::vector<double>>* bars, int* boxes) {
        world->selectedSlot = world->SlotOf(creature);
        world->selectedId = creature->id;
        engine.Clear();
        world->DrawInfoPanel();
        bars->clear();
        for (const Call& call : engine.Named("DrawGraphPart"))
            if (call.args[1] == 32) bars->push_back({call.args.begin(), call.args.begin() + 6});
        *boxes = engine.Count("DrawBoxShape");
    }
};

TEST_F(EnergyBarTest, AnInsectJustOverFullShowsTheWholeBarUntilTheWidthPassesTwoHundred) {
    Creature* insect = world->Spawn(0, Insect, 200000, 200000);
    insect->nutrient = 0;
    const std::vector<double> wholeBar{96, 32, 96, 0, 200, 24};
    std::vector<std::vector<double>> bars;
    int boxes = 0;
    // 800 to 803 energy of 800 give 200, 200.25, 200.5 and 200.75 pixels: 200 once truncated.
    for (int energy : {800, 801, 802, 803}) {
        insect->energy = energy;
        DrawPanelOf(insect, &bars, &boxes);
        EXPECT_EQ(boxes, 0) << energy;
        EXPECT_EQ(bars, (std::vector<std::vector<double>>{wholeBar})) << energy;
    }
    // 804 gives 201: the filled box of the full length.
    insect->energy = 804;
    DrawPanelOf(insect, &bars, &boxes);
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(bars.empty());

    // A tree (full 2000) at 2009 is 200.9 pixels: still the bar.
    Creature* tree = world->Spawn(0, Wood, 300000, 300000);
    tree->nutrient = 0;
    tree->energy = 2009;
    DrawPanelOf(tree, &bars, &boxes);
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(bars, (std::vector<std::vector<double>>{wholeBar}));
}

}  // namespace
}  // namespace game_test
