// The world view: transform, ground, creatures, panels and the mouse tools.
#include "game_scene_support.h"
#include "world_view.h"

namespace game_test {
namespace {

class ViewTest : public WorldSceneTest {
protected:
    // One tick with the left or right button pressed at (x, y), then one with it released.
    void Click(int x, int y, int button = 0x1) {
        engine.mouseX = x;
        engine.mouseY = y;
        engine.mouseButtons = button;
        world->Tick();
        engine.mouseButtons = 0;
        world->Tick();
    }
};

TEST_F(ViewTest, TransformAndItsInverseAtEveryZoom) {
    const int32_t cameras[][2] = {{320000, 240000}, {0, 0}, {640000, 480000}, {123456, 98765}};
    const int points[][2] = {{0, 0}, {320, 240}, {639, 479}, {17, 403}};
    for (double zoom : {1000.0, 2000.0, 4000.0, 8000.0}) {
        world->zoom = zoom;
        for (const auto& camera : cameras) {
            world->cameraX = camera[0];
            world->cameraY = camera[1];
            // The camera's point is the window's centre.
            const ScreenPoint centre = WorldToScreen(*world, camera[0], camera[1]);
            EXPECT_EQ(centre.x, 320);
            EXPECT_EQ(centre.y, 240);
            for (const auto& point : points) {
                int32_t wx = 0, wy = 0;
                ScreenToWorld(*world, point[0], point[1], &wx, &wy);
                const ScreenPoint back = WorldToScreen(*world, wx, wy);
                EXPECT_EQ(back.x, point[0]) << zoom;
                EXPECT_EQ(back.y, point[1]) << zoom;
            }
        }
    }
    // One window pixel is 1000 / (zoom / 1000) milli-pixels.
    world->cameraX = 320000;
    world->cameraY = 240000;
    world->zoom = 4000;
    int32_t wx = 0, wy = 0;
    ScreenToWorld(*world, 321, 240, &wx, &wy);
    EXPECT_EQ(wx, 320250);
    EXPECT_EQ(wy, 240000);
    EXPECT_DOUBLE_EQ(PieceScale(*world), 2.0);
}

TEST_F(ViewTest, TransformFollowsTheFormulaAndTruncatesTowardZero) {
    // At each zoom: the world point at the window's top-left corner and the milli-pixels of one
    // window pixel, with the camera on the field's centre.
    struct Case {
        double zoom;
        int32_t left, top, pixel;
    };
    const Case cases[] = {{1000, 0, 0, 1000},
                          {2000, 160000, 120000, 500},
                          {4000, 240000, 180000, 250},
                          {8000, 280000, 210000, 125}};
    for (const Case& c : cases) {
        world->zoom = c.zoom;
        const ScreenPoint corner = WorldToScreen(*world, c.left, c.top);
        EXPECT_EQ(corner.x, 0) << c.zoom;
        EXPECT_EQ(corner.y, 0) << c.zoom;
        const ScreenPoint far = WorldToScreen(*world, c.left + 640 * c.pixel, c.top + 480 * c.pixel);
        EXPECT_EQ(far.x, 640) << c.zoom;
        EXPECT_EQ(far.y, 480) << c.zoom;
        // Less than one pixel left of and above the window is still 0, not -1.
        const ScreenPoint near = WorldToScreen(*world, c.left - c.pixel / 2, c.top - c.pixel / 2);
        EXPECT_EQ(near.x, 0) << c.zoom;
        EXPECT_EQ(near.y, 0) << c.zoom;
        const ScreenPoint out = WorldToScreen(*world, c.left - c.pixel * 3 / 2, c.top - c.pixel * 3 / 2);
        EXPECT_EQ(out.x, -1) << c.zoom;
        EXPECT_EQ(out.y, -1) << c.zoom;
        int32_t wx = 0, wy = 0;
        ScreenToWorld(*world, 639, 479, &wx, &wy);
        EXPECT_EQ(wx, c.left + 639 * c.pixel) << c.zoom;
        EXPECT_EQ(wy, c.top + 479 * c.pixel) << c.zoom;
        EXPECT_DOUBLE_EQ(PieceScale(*world), c.zoom / 2000) << c.zoom;
    }
}

TEST_F(ViewTest, GroundExactlyCoversTheWindowAtTheStart) {
    engine.Clear();
    world->Draw();
    const int ground = world->objectPieces[0];
    const int edge = world->objectPieces[1];
    int groundCount = 0, edgeCount = 0;
    int minX = 1000, maxX = -1000, minY = 1000, maxY = -1000;
    for (const Call& call : engine.Named("DrawGraphRotated")) {
        EXPECT_DOUBLE_EQ(call.args[2], 0.5);
        if (call.args[4] == ground) {
            ++groundCount;
            minX = std::min(minX, int(call.args[0]));
            maxX = std::max(maxX, int(call.args[0]));
            minY = std::min(minY, int(call.args[1]));
            maxY = std::max(maxY, int(call.args[1]));
        } else if (call.args[4] == edge) {
            ++edgeCount;
        }
    }
    EXPECT_EQ(groundCount, 80 * 60);
    EXPECT_EQ(edgeCount, 2 * 80 + 2 * 58);
    EXPECT_EQ(minX, 4);
    EXPECT_EQ(maxX, 636);
    EXPECT_EQ(minY, 4);
    EXPECT_EQ(maxY, 476);

    // An inactive window draws nothing at all.
    engine.Clear();
    engine.active = 0;
    world->Draw();
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(ViewTest, HighlightButtonsToggleAndMove) {
    Click(150, 460);
    EXPECT_EQ(world->highlightKind, Wood);
    Click(150, 460);
    EXPECT_EQ(world->highlightKind, -1);
    Click(150, 460);
    Click(230, 470);
    EXPECT_EQ(world->highlightKind, Insect);
    Click(300, 455);
    EXPECT_EQ(world->highlightKind, Animal);
    EXPECT_EQ(PlayCount(kSoundClick), 5);
    // Between the buttons nothing happens, and the panel swallows the click.
    Click(200, 460);
    EXPECT_EQ(world->highlightKind, Animal);
    EXPECT_EQ(PlayCount(kSoundClick), 5);

    // A held button is one click.
    engine.mouseX = 150;
    engine.mouseY = 460;
    engine.mouseButtons = 0x1;
    for (int i = 0; i < 5; ++i) world->Tick();
    EXPECT_EQ(world->highlightKind, Wood);

    // The highlighted kind's icon and creatures are drawn a second time, added.
    engine.mouseButtons = 0;
    world->Spawn(0, Wood, 100000, 100000);
    engine.Clear();
    world->Draw();
    int treeIcons = 0;
    for (const Call& call : engine.Named("DrawGraphAt")) treeIcons += call.args[2] == world->objectPieces[1];
    EXPECT_EQ(treeIcons, 2);
    int treeSprites = 0;
    for (const Call& call : engine.Named("DrawGraphRotated"))
        treeSprites += call.args[4] == world->objectPieces[1] && call.args[0] == 104;
    EXPECT_EQ(treeSprites, 2);
}

TEST_F(ViewTest, SelectionFollowsUntilTheSlotsIdChanges) {
    Creature* tree = world->Spawn(0, Wood, 100000, 100000);
    ASSERT_NE(tree, nullptr);
    const int32_t slot = world->SlotOf(tree);
    // A click more than 10 pixels away selects nothing and plays nothing.
    Click(111, 100);
    EXPECT_EQ(world->selectedSlot, -1);
    EXPECT_EQ(PlayCount(kSoundClick), 0);
    Click(105, 96);
    EXPECT_EQ(world->selectedSlot, slot);
    EXPECT_EQ(world->selectedId, tree->id);
    EXPECT_EQ(world->cameraX, 100000);
    EXPECT_EQ(world->cameraY, 100000);
    EXPECT_EQ(PlayCount(kSoundClick), 1);

    // The info panel shows the tree.
    engine.Clear();
    world->Draw();
    EXPECT_NE(engine.FindText(tree->name), nullptr);
    EXPECT_EQ(engine.Named("DrawGraphStretched").size(), 1u);

    // The slot is reused by another creature: the selection ends, the camera stays.
    tree->id = 9999;
    world->cameraX = 100000;
    world->Tick();
    EXPECT_EQ(world->selectedSlot, -1);
    EXPECT_EQ(world->cameraX, 100000);
    EXPECT_EQ(world->cameraY, 100000);
}

TEST_F(ViewTest, ZoomToolDoublesAndHalvesWithinItsRange) {
    Click(584, 454);
    EXPECT_EQ(world->tool, 1);
    Click(400, 300);  // the camera moves to the clicked point
    EXPECT_EQ(world->zoom, 2000);
    EXPECT_EQ(world->cameraX, 400000);
    EXPECT_EQ(world->cameraY, 300000);
    Click(320, 240);
    Click(320, 240);
    EXPECT_EQ(world->zoom, 8000);
    const int32_t cameraX = world->cameraX;
    Click(100, 100);  // at 8000: the sound, nothing else
    EXPECT_EQ(world->zoom, 8000);
    EXPECT_EQ(world->cameraX, cameraX);
    for (int i = 0; i < 4; ++i) Click(10, 10, 0x2);
    EXPECT_EQ(world->zoom, 1000);
    EXPECT_EQ(PlayCount(kSoundClick), 1 + 4 + 4);
    // The camera stays clamped to the field.
    world->cameraX = 10000;
    world->cameraY = 10000;
    Click(0, 0);
    EXPECT_EQ(world->cameraX, 0);
    EXPECT_EQ(world->cameraY, 0);
    // The select tool's right button drops a selection only when there is one.
    Click(524, 454);
    EXPECT_EQ(world->tool, 0);
    const int clicks = PlayCount(kSoundClick);
    Click(10, 10, 0x2);
    EXPECT_EQ(PlayCount(kSoundClick), clicks);
}

TEST_F(ViewTest, InfoPanelBarsAndIcons) {
    Creature* insect = world->Spawn(0, Insect, 200000, 200000);
    insect->energy = 900;
    insect->nutrient = 1000;
    world->selectedSlot = world->SlotOf(insect);
    world->selectedId = insect->id;
    engine.Clear();
    world->DrawInfoPanel();
    auto boxes = engine.Named("DrawBoxShape");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].args, (std::vector<double>{96, 32, 296, 56, 0x0000FF, 1}));
    int icons = 0;
    for (const Call& call : engine.Named("DrawGraphPart"))
        if (call.args[1] == 59) ++icons;
    EXPECT_EQ(icons, 100);  // the whole nutrient, past the panel's edge

    insect->energy = -50;
    insect->nutrient = 17;
    engine.Clear();
    world->DrawInfoPanel();
    std::vector<std::vector<double>> parts;
    for (const Call& call : engine.Named("DrawGraphPart"))
        if (call.args[1] == 59 || call.args[1] == 32) parts.push_back({call.args[0], call.args[2], call.args[4]});
    EXPECT_EQ(parts, (std::vector<std::vector<double>>{
                         {96, 96, 0}, {118, 96, 24}, {142, 120, 16}, {158, 136, 8}, {166, 136, 8}}));
}

// Just above full energy the truncated width is still 200: the bar, not the filled box.
TEST_F(ViewTest, EnergyBarTurnsIntoTheBoxOnlyAboveTwoHundredWholePixels) {
    struct Case {
        int kind;
        int energy;
        int barWidth;  // -1: the filled box
    };
    // The width is energy / full × 200 truncated, exactly: 804 of 800 is 201 whole pixels,
    // though 804 / 800 × 200 in floating point comes to just below 201.
    const Case cases[] = {{Insect, 800, 200}, {Insect, 801, 200}, {Insect, 803, 200},
                          {Insect, 804, -1},  {Insect, 805, -1},  {Wood, 2009, 200},
                          {Wood, 2010, -1},   {Fruit, 200, 200},  {Fruit, 201, -1},
                          {Animal, 1004, 200}, {Animal, 1005, -1}, {Insect, 799, 199}};
    for (const Case& c : cases) {
        Creature* creature = world->Spawn(0, c.kind, 200000, 200000);
        creature->energy = c.energy;
        world->selectedSlot = world->SlotOf(creature);
        world->selectedId = creature->id;
        engine.Clear();
        world->DrawInfoPanel();
        int boxes = engine.Count("DrawBoxShape");
        int bar = -1;
        for (const Call& call : engine.Named("DrawGraphPart"))
            if (call.args[0] == 96 && call.args[1] == 32) bar = static_cast<int>(call.args[4]);
        if (c.barWidth < 0) {
            EXPECT_EQ(boxes, 1) << c.kind << " " << c.energy;
            EXPECT_EQ(bar, -1) << c.kind << " " << c.energy;
        } else {
            EXPECT_EQ(boxes, 0) << c.kind << " " << c.energy;
            EXPECT_EQ(bar, c.barWidth) << c.kind << " " << c.energy;
        }
    }
}

TEST_F(ViewTest, AirBarAndTargetLines) {
    auto airWidth = [&] {
        for (const Call& call : engine.Named("DrawGraphPart"))
            if (call.args[0] == 330 && call.args[2] == 144) return call.args[4];
        return -1.0;
    };
    world->airEnergy = 500;
    engine.Clear();
    world->Draw();
    EXPECT_EQ(airWidth(), 53);
    world->airEnergy = -20;
    engine.Clear();
    world->Draw();
    EXPECT_EQ(airWidth(), 0);
    world->initialEnergy = 0;
    world->airEnergy = 5;
    engine.Clear();
    world->Draw();
    EXPECT_EQ(airWidth(), 0);

    // A chase line is red, a fleeing insect's line to its beast blue.
    Creature* beast = world->Spawn(0, Animal, 300000, 300000);
    Creature* insect = world->Spawn(0, Insect, 310000, 300000);
    Creature* fruit = world->Spawn(0, Fruit, 320000, 300000);
    beast->SetTarget(*world, insect);
    insect->SetTarget(*world, beast);
    engine.Clear();
    world->DrawCreature(*beast, false);
    world->DrawCreature(*insect, false);
    insect->SetTarget(*world, fruit);
    world->DrawCreature(*insect, false);
    auto lines = engine.Named("DrawLineShape");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].args, (std::vector<double>{304, 304, 314, 304, 0xFF0000, 1}));
    EXPECT_EQ(lines[1].args[4], 0x0000FF);
    EXPECT_EQ(lines[2].args[4], 0xFF0000);
}

}  // namespace
}  // namespace game_test
