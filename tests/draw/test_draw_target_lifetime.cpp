// The draw target outliving what it points at: a deleted graph target or a released mask screen
// hands drawing back to the screen, and later draws touch neither freed memory nor a new graph
// that takes the freed slot (run under AddressSanitizer to see the stale writes).
#include "draw/mask.h"
#include "draw_fixture.h"
#include "graphics/graphics_services.h"

namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlue = 0x0000FF;

bool IsScreenTarget(int target) { return target == -4 || target == -2; }

int MakeDrawableGraph(int width, int height) {
    SetCreateDrawValidGraphFlag(1);
    int graph = MakeGraph(width, height);
    SetCreateDrawValidGraphFlag(0);
    return graph;
}

}  // namespace

TEST_F(DrawTest, DeletedGraphTargetHandsDrawingBackToTheScreen) {
    StartGraphics(false);
    ClearScreen();
    int target = MakeDrawableGraph(100, 50);
    ASSERT_GE(target, 0);
    ASSERT_EQ(SetDrawTarget(target), 0);
    ASSERT_EQ(DeleteGraph(target), 0);
    EXPECT_TRUE(IsScreenTarget(GetDrawTarget())) << GetDrawTarget();

    // Draws reach the screen, over the screen's whole area.
    ASSERT_EQ(FillBox(0, 0, 10, 10, GetScreenColor(255, 0, 0)), 0);
    ASSERT_EQ(FillBox(600, 400, 610, 410, GetScreenColor(255, 0, 0)), 0);
    EXPECT_EQ(ScreenPixel(5, 5), kRed);
    EXPECT_EQ(ScreenPixel(605, 405), kRed);

    // A new graph in the freed slot is not drawn into.
    int reuse = MakeDrawableGraph(100, 50);
    ASSERT_GE(reuse, 0);
    ASSERT_EQ(FillBox(20, 20, 30, 30, GetScreenColor(0, 0, 255)), 0);
    EXPECT_EQ(ScreenPixel(25, 25), kBlue);
    ASSERT_EQ(DrawGraphAt(200, 200, reuse, 0), 0);
    EXPECT_NE(ScreenPixel(225, 225), kBlue);
    EXPECT_EQ(DeleteGraph(reuse), 0);
}

TEST_F(DrawTest, DeletedGraphTargetOnTheDeviceGoesBackToTheScreen) {
    StartGraphics(true);
    int target = MakeDrawableGraph(100, 50);
    ASSERT_GE(target, 0);
    ASSERT_EQ(SetDrawTarget(target), 0);
    EXPECT_EQ(g_DrawSettings.drawArea.right, 100);
    ASSERT_EQ(DeleteGraph(target), 0);
    EXPECT_TRUE(IsScreenTarget(GetDrawTarget())) << GetDrawTarget();
    // The screen's size governs the draw area again.
    ASSERT_EQ(SetDrawArea(0, 0, 640, 480), 0);
    EXPECT_EQ(g_DrawSettings.drawArea.right, 640);
    EXPECT_EQ(g_DrawSettings.drawArea.bottom, 480);
    int reuse = MakeDrawableGraph(100, 50);
    ASSERT_GE(reuse, 0);
    EXPECT_EQ(FillBox(0, 0, 10, 10, GetScreenColor(255, 0, 0)), 0);
    EXPECT_TRUE(IsScreenTarget(GetDrawTarget())) << GetDrawTarget();
    EXPECT_EQ(DeleteGraph(reuse), 0);
}

TEST_F(DrawTest, ReleasedMaskScreenHandsDrawingBackToTheScreen) {
    StartGraphics(false);
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_EQ(SetUseMaskScreen(1), 0);
    ASSERT_EQ(ReleaseMaskScreen(), 0);
    ClearScreen();
    ASSERT_EQ(FillBox(0, 0, 10, 10, GetScreenColor(255, 0, 0)), 0);
    EXPECT_EQ(ScreenPixel(5, 5), kRed);
    EXPECT_EQ(ScreenPixel(10, 10), 0u);

    // The same with a graph target under the mask screen, the graph then deleted.
    ASSERT_EQ(CreateMaskScreen(1), 0);
    ASSERT_EQ(SetUseMaskScreen(1), 0);
    int target = MakeDrawableGraph(32, 32);
    ASSERT_GE(target, 0);
    ASSERT_EQ(SetDrawTarget(target), 0);
    ASSERT_EQ(DeleteGraph(target), 0);
    ASSERT_EQ(ReleaseMaskScreen(), 0);
    ClearScreen();
    ASSERT_EQ(FillBox(300, 300, 310, 310, GetScreenColor(0, 0, 255)), 0);
    EXPECT_EQ(ScreenPixel(305, 305), kBlue);
}

// A graph made without the drawable flag is refused as the draw target on both paths: the target
// stays the screen, and what is drawn next lands there, not in the graph.
TEST_F(DrawTest, GraphThatIsNotDrawableIsRefusedAsTarget) {
    for (bool device : {true, false}) {
        SCOPED_TRACE(device ? "device" : "software");
        StartGraphics(device);
        int graph = MakeGraph(16, 16);
        ASSERT_GE(graph, 0);
        EXPECT_EQ(SetDrawTarget(graph), -1);
        EXPECT_EQ(GetDrawTarget(), -4);
        if (!device) {
            ClearScreen();
            ASSERT_EQ(FillBox(0, 0, 16, 16, GetScreenColor(255, 0, 0)), 0);
            EXPECT_EQ(ScreenPixel(8, 8), kRed);
            // The fill did not go into the graph.
            ClearScreen();
            ASSERT_EQ(DrawGraphAt(100, 100, graph, 0), 0);
            EXPECT_NE(ScreenPixel(108, 108), kRed);
        }
        EXPECT_EQ(DeleteGraph(graph), 0);
        EndGraphics();
    }
}
