// The vertex batch and the device builders on the recording device.
#include <cmath>

#include "draw_fixture.h"

namespace {

const Vertex2DTex* TexVertices() {
    return reinterpret_cast<const Vertex2DTex*>(g_VertexBatch.arrays[1]);
}
const Vertex2D* PlainVertices() {
    return reinterpret_cast<const Vertex2D*>(g_VertexBatch.arrays[0]);
}

TEST_F(DrawTest, SameDrawsShareOneBatchWithNoStateBetween) {
    StartGraphics(true);
    int graph = MakeGraph(32, 32);
    ASSERT_GE(graph, 0);
    ASSERT_EQ(DrawGraphAt(0, 0, graph, 1), 0);
    Recording().ClearCalls();
    ASSERT_EQ(DrawGraphAt(40, 0, graph, 1), 0);
    EXPECT_TRUE(Recording().calls.empty()) << Recording().calls.front();
    FlushVertexBatch();
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitiveUP(4,4,28)"});
}

TEST_F(DrawTest, TilesFillTheArrayAndSplitIntoTwoCalls) {
    StartGraphics(true);
    int graph = MakeGraph(16, 16);
    DrawGraphAt(0, 0, graph, 0);
    FlushVertexBatch();
    Recording().ClearCalls();
    for (int i = 0; i < 390; ++i) ASSERT_EQ(DrawGraphAt(i % 40 * 16, i / 40 * 16, graph, 0), 0);
    FlushVertexBatch();
    EXPECT_EQ(Draws(),
              (std::vector<std::string>{"DrawPrimitiveUP(4,778,28)", "DrawPrimitiveUP(4,2,28)"}));
}

TEST_F(DrawTest, GridStripIndicesAndBadSizes) {
    StartGraphics(true);
    Vertex2DTex grid[64] = {};
    EXPECT_EQ(DrawVertexGridStrip(8, grid, 8), 0);
    EXPECT_EQ(Recording().CallsStartingWith("DrawIndexedPrimitiveUP"),
              std::vector<std::string>{"DrawIndexedPrimitiveUP(5,0,64,122,101,28)"});
    Recording().ClearCalls();
    EXPECT_EQ(DrawVertexGridStrip(1, grid, 8), -1);
    EXPECT_EQ(DrawVertexGridStrip(8, grid, 1), -1);
    EXPECT_EQ(DrawVertexGridStrip(600, grid, 2), -1);
    EXPECT_TRUE(Recording().CallsStartingWith("DrawIndexedPrimitiveUP").empty());
}

TEST_F(DrawTest, WholeGraphVerticesAndLeftEdgeClipping) {
    StartGraphics(true);
    int graph = MakeGraph(100, 50);
    ASSERT_EQ(DrawGraphAt(10, 20, graph, 0), 0);
    ASSERT_EQ(g_VertexBatch.count, 6);
    const Vertex2DTex* v = TexVertices();
    EXPECT_FLOAT_EQ(v[0].x, 9.5f);
    EXPECT_FLOAT_EQ(v[0].y, 19.5f);
    EXPECT_FLOAT_EQ(v[3].x, 109.5f);
    EXPECT_FLOAT_EQ(v[3].y, 69.5f);
    EXPECT_FLOAT_EQ(v[4].x, v[2].x);
    EXPECT_FLOAT_EQ(v[5].y, v[1].y);
    EXPECT_FLOAT_EQ(v[0].z, 0.2f);
    float u0 = v[0].u;
    FlushVertexBatch();

    ASSERT_EQ(DrawGraphAt(-10, 20, graph, 0), 0);
    const GraphRecord* record = GetGraphRecord(graph);
    float textureWidth = static_cast<float>(record->pieces[0].piece->textureWidth);
    EXPECT_FLOAT_EQ(v[0].x, 0.0f);
    EXPECT_FLOAT_EQ(v[2].x, 0.0f);
    EXPECT_NEAR(v[0].u, u0 + 10.5f / textureWidth, 1e-6);
    EXPECT_FLOAT_EQ(v[1].x, 89.5f);
}

TEST_F(DrawTest, StretchedReversedMirrorsAndRotatedSnaps) {
    StartGraphics(true);
    int graph = MakeGraph(100, 50);
    ASSERT_EQ(DrawGraphStretched(100, 0, 0, 50, graph, 0), 0);
    const Vertex2DTex* v = TexVertices();
    EXPECT_FLOAT_EQ(v[0].x, 99.5f);
    EXPECT_FLOAT_EQ(v[1].x, -0.5f);
    EXPECT_LT(v[0].u, v[1].u);  // the image's left edge lands on the right
    EXPECT_EQ(DrawGraphStretched(5, 5, 5, 50, graph, 0), -1);
    FlushVertexBatch();

    int odd = MakeGraph(31, 31);
    const double quarter = 3.14159265358979323846 / 2;
    ASSERT_EQ(DrawGraphRotatedF(100.5f, 100.5f, 1.0, quarter, odd, 0, 0), 0);
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(v[i].x - std::floor(v[i].x), 0.5, 1e-3) << i;
        EXPECT_NEAR(v[i].y - std::floor(v[i].y), 0.5, 1e-3) << i;
    }
    FlushVertexBatch();
    ASSERT_EQ(DrawGraphRotated(100, 100, 1.0, quarter, odd, 0, 0), 0);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(v[i].x - std::floor(v[i].x), 0.5, 1e-3) << i;
    FlushVertexBatch();
    EXPECT_EQ(DrawGraphRotated(100, 100, 0.0, 0.0, odd, 0, 0), -1);
}

TEST_F(DrawTest, ShapesJoinTheBatchUntilThePrimitiveChanges) {
    StartGraphics(true);
    ASSERT_EQ(DrawBoxShape(0, 0, 10, 10, GetScreenColor(255, 0, 0), 1), 0);
    ASSERT_EQ(DrawBoxShape(0, 0, 10, 10, GetScreenColor(255, 0, 0), 0), 0);
    EXPECT_EQ(g_VertexBatch.count, 30);
    EXPECT_TRUE(Draws().empty());
    ASSERT_EQ(DrawLineShape(0, 5, 10, 5, GetScreenColor(255, 255, 255), 1), 0);
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitiveUP(4,10,20)"});
    const Vertex2D* v = PlainVertices();
    EXPECT_FLOAT_EQ(v[0].x, 0.0f);
    EXPECT_FLOAT_EQ(v[1].x, 9.9f);
    EXPECT_FLOAT_EQ(v[1].y, 5.0f);
    EXPECT_EQ(v[0].diffuse, 0xFFFFFFFFu);
    EXPECT_EQ(DrawLineShape(3, 3, 3, 3, 0, 1), 0);
    EXPECT_EQ(DrawLineShape(3, 3, 3, 3, 0, 4), 0);
    // A filled box wholly outside the draw area adds nothing.
    int before = g_VertexBatch.count;
    EXPECT_EQ(FillBox(700, 10, 800, 20, 0), 0);
    EXPECT_EQ(g_VertexBatch.count, before);
}

TEST_F(DrawTest, QuitFlagEmptiesTheBatchWithoutDrawing) {
    StartGraphics(true);
    FillBox(0, 0, 10, 10, 0);
    g_Window.quit = 1;
    EXPECT_EQ(FlushVertexBatch(), 0);
    g_Window.quit = 0;
    EXPECT_EQ(g_VertexBatch.count, 0);
    EXPECT_TRUE(Draws().empty());
}

TEST_F(DrawTest, OverflowAndTypeChangeDrawNothingWhenQuittingOrSuppressed) {
    StartGraphics(true);
    int graph = MakeGraph(16, 16);
    for (int round = 0; round < 2; ++round) {
        DrawGraphAt(0, 0, graph, 0);
        FlushVertexBatch();
        Recording().ClearCalls();
        (round == 0 ? g_Window.quit : g_RenderStates.threshold255) = 1;
        // 390 tiles overflow the textured array once; a box after them changes the type.
        for (int i = 0; i < 390; ++i) DrawGraphAt(i % 40 * 16, i / 40 * 16, graph, 0);
        FillBox(0, 0, 10, 10, 0);
        EXPECT_TRUE(Draws().empty()) << round;
        EXPECT_EQ(g_VertexBatch.count, 6) << round;
        g_Window.quit = 0;
        g_RenderStates.threshold255 = 0;
    }
    FlushVertexBatch();
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitiveUP(4,2,20)"});
}

TEST_F(DrawTest, ModulationFollowsBlendModeAndBrightness) {
    StartGraphics(true);
    int graph = MakeGraph(8, 8);
    DrawGraphAt(0, 0, graph, 1);
    EXPECT_EQ(g_RenderStates.colorModulation, 0);
    EXPECT_EQ(g_RenderStates.alphaModulation, 0);
    SetBlendMode(1, 128);
    DrawGraphAt(0, 0, graph, 1);
    EXPECT_EQ(g_RenderStates.alphaModulation, 1);
    EXPECT_EQ(TexVertices()[0].diffuse >> 24, 128u);
    SetBlendMode(0, 128);
    SetDrawBrightness(255, 128, 255);
    DrawGraphAt(0, 0, graph, 1);
    EXPECT_EQ(g_RenderStates.colorModulation, 1);
    EXPECT_EQ(g_RenderStates.alphaModulation, 0);
    EXPECT_EQ(TexVertices()[0].diffuse >> 24, 255u);
}

TEST_F(DrawTest, DrawsBeforeStartAndWithBadHandles) {
    g_Library.initialised = 0;
    EXPECT_EQ(DrawGraphAt(0, 0, 0, 0), -1);
    EXPECT_EQ(DrawBoxShape(0, 0, 1, 1, 0, 1), -1);
    EXPECT_EQ(DrawLineShape(0, 0, 1, 1, 0, 1), -1);
    EXPECT_EQ(DrawGraphRotated(0, 0, 1.0, 0.0, 0, 0, 0), -1);
    g_Library.initialised = 1;
    StartGraphics(true);
    EXPECT_EQ(DrawGraphAt(0, 0, 12345, 0), -1);
    V_RECT area = g_DrawSettings.drawArea;
    EXPECT_EQ(DrawGraphPart(5, 5, 0, 0, 4, 4, 12345, 0, 1), -1);
    EXPECT_EQ(g_DrawSettings.drawArea.left, area.left);
    EXPECT_EQ(g_DrawSettings.drawArea.right, area.right);
}

TEST_F(DrawTest, PolygonsUseGouraudShadingAndPlainDrawsGoBackToFlat) {
    StartGraphics(true);
    PolygonVertex triangle[3] = {{0, 0, 0, 0, 0xFFFF0000}, {10, 0, 1, 0, 0xFF00FF00},
                                 {0, 10, 0, 1, 0xFF0000FF}};
    ASSERT_EQ(DrawPolygonList(triangle, 3, V_D3DPT_TRIANGLELIST, -5, 0, 0), 0);
    EXPECT_EQ(g_RenderStates.shadeMode, 2u);
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitiveUP(4,1,28)"});
    ASSERT_EQ(DrawPolygonList(triangle, 2, V_D3DPT_TRIANGLELIST, -5, 0, 0), 0);
    EXPECT_EQ(Draws().size(), 1u);  // no primitive: nothing drawn
    EXPECT_EQ(DrawPolygonList(triangle, 3, V_D3DPT_TRIANGLELIST, 4242, 0, 0), -1);
    FillBox(0, 0, 4, 4, 0);
    EXPECT_EQ(g_RenderStates.shadeMode, 1u);
}

TEST_F(DrawTest, FreeQuadrilateralsAsTwoTrianglesOrAGrid) {
    StartGraphics(true);
    int graph = MakeGraph(32, 32);
    // A parallelogram (sheared square) within a pixel: one six-vertex quad in the batch.
    ASSERT_EQ(DrawGraphQuad(10, 10, 42, 10, 52, 42, 20, 42, graph, 0), 0);
    EXPECT_EQ(g_VertexBatch.count, 6);
    EXPECT_TRUE(Recording().CallsStartingWith("DrawIndexedPrimitiveUP").empty());
    // A trapezoid: the 8 x 8 grid.
    ASSERT_EQ(DrawGraphQuad(10, 10, 42, 10, 60, 42, 0, 42, graph, 0), 0);
    EXPECT_EQ(Recording().CallsStartingWith("DrawIndexedPrimitiveUP").size(), 1u);
}

}  // namespace
