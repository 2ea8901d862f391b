// The vertex batch under a blend graph and the quit flag on the recording device: clipped
// stretched draws keep the blend graph's coordinates on the clipped positions, and a batch that
// overflows discards its vertices whenever an ordinary flush would.
#include "core/window.h"
#include "draw_fixture.h"

namespace {

const Vertex2DBlend* BlendVertices() {
    return reinterpret_cast<const Vertex2DBlend*>(g_VertexBatch.arrays[2]);
}

}  // namespace

TEST_F(DrawTest, ClippedStretchedDrawMovesTheBlendGraphCoordinates) {
    StartGraphics(true);
    int blend = MakeGraph(64, 64);
    int graph = MakeGraph(32, 32);
    ASSERT_GE(graph, 0);
    ASSERT_EQ(SetBlendGraph(blend, 128, 0), 0);
    ASSERT_EQ(SetDrawArea(10, 4, 640, 480), 0);
    Recording().ClearCalls();
    ASSERT_EQ(DrawGraphStretched(0, 0, 32, 32, graph, 0), 0);
    FlushVertexBatch();
    ASSERT_EQ(Draws(), std::vector<std::string>{"DrawPrimitiveUP(4,2,40)"});
    const Vertex2DBlend* v = BlendVertices();
    // V0 at the top-left: clipped from (-0.5, -0.5) to (9.5, 3.5), ten and four pixels in.
    EXPECT_EQ(v[0].x, 9.5f);
    EXPECT_EQ(v[0].y, 3.5f);
    EXPECT_EQ(v[0].u1, 10.0f / 64.0f);
    EXPECT_EQ(v[0].v1, 4.0f / 64.0f);
    EXPECT_EQ(v[0].u2, 10.0f / 32.0f);
    // V3 at the bottom-right is inside: the graph's far corner over the blend graph.
    EXPECT_EQ(v[3].x, 31.5f);
    EXPECT_EQ(v[3].u1, 32.0f / 64.0f);
    EXPECT_EQ(v[3].v1, 32.0f / 64.0f);
}

TEST_F(DrawTest, OverflowingBatchDrawsNothingWhileQuittingOrSuppressed) {
    StartGraphics(true);
    int graph = MakeGraph(16, 16);
    ASSERT_GE(graph, 0);
    DrawGraphAt(0, 0, graph, 0);
    FlushVertexBatch();
    Recording().ClearCalls();
    // Quitting: 390 quads are more than one batch holds.
    g_Window.quit = 1;
    for (int i = 0; i < 390; ++i) ASSERT_EQ(DrawGraphAt(i % 40 * 16, i / 40 * 16, graph, 0), 0);
    FlushVertexBatch();
    g_Window.quit = 0;
    EXPECT_TRUE(Draws().empty()) << Draws().front();

    // A blend graph at threshold 255 lets nothing through.
    int blend = MakeGraph(64, 64);
    ASSERT_EQ(SetBlendGraph(blend, 255, 0), 0);
    Recording().ClearCalls();
    for (int i = 0; i < 390; ++i) ASSERT_EQ(DrawGraphAt(i % 40 * 16, i / 40 * 16, graph, 0), 0);
    FlushVertexBatch();
    EXPECT_TRUE(Draws().empty()) << Draws().front();
    ASSERT_EQ(SetBlendGraph(-1, 0, 0), 0);
}
