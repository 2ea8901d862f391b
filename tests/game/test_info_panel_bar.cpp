// The info panel's energy bar at the edge of its length: the bar's width is truncated before
// it is compared with the full 200 pixels. Its nutrient icon row shows every icon.
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

// The nutrient row from x 118 at y 59: 10-icons, then a 5-icon, then 1-icons, for the whole
// nutrient however far the row runs (the screen clips it); none for zero or less.
TEST_F(EnergyBarTest, TheNutrientRowShowsEveryIcon) {
    Creature* beast = world->Spawn(0, Animal, 200000, 200000);
    beast->energy = 500;
    const std::vector<double> ten{96, 24, 24, 16}, five{120, 24, 16, 16}, one{136, 24, 8, 16};
    auto row = [](std::vector<std::pair<int, std::vector<double>>> icons) {
        std::vector<std::vector<double>> out;
        int x = 118;
        for (auto& [count, source] : icons)
            for (int i = 0; i < count; ++i) {
                out.push_back({double(x), 59, source[0], source[1], source[2], source[3]});
                x += static_cast<int>(source[2]);
            }
        return out;
    };
    const std::vector<std::pair<int, std::vector<std::vector<double>>>> cases = {
        {200, row({{20, ten}})},
        {29, row({{2, ten}, {1, five}, {4, one}})},
        {5, row({{1, five}})},
        {0, {}},
        {-3, {}}};
    for (const auto& [nutrient, expected] : cases) {
        beast->nutrient = nutrient;
        world->selectedSlot = world->SlotOf(beast);
        world->selectedId = beast->id;
        engine.Clear();
        world->DrawInfoPanel();
        std::vector<std::vector<double>> icons;
        for (const Call& call : engine.Named("DrawGraphPart"))
            if (call.args[1] == 59) icons.push_back({call.args.begin(), call.args.begin() + 6});
        EXPECT_EQ(icons, expected) << "nutrient " << nutrient;
    }
}

}  // namespace
}  // namespace game_test
