// Device-path builders read back from the recording device: the integer free quadrilateral
// under a blend graph, shapes through the polygon road, boxes with reversed corners and clipped
// stretched draws under a blend graph.
#include <cstring>

#include "draw_fixture.h"
#include "graphics/graphics.h"

namespace {

// The vertices of the last DrawPrimitiveUP, read as the given layout.
template <typename V>
std::vector<V> LastVertices() {
    const auto& bytes = V_GetD3D9Recording().lastVertices;
    std::vector<V> out(bytes.size() / sizeof(V));
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(V));
    return out;
}

TEST_F(DrawTest, FreeQuadUnderABlendGraphIsOneStripThroughTwoCornerMaps) {
    StartGraphics(true);
    int blend = MakeGraph(64, 64);
    int graph = MakeGraph(32, 32);
    ASSERT_EQ(SetBlendGraph(blend, 128, 0), 0);
    Recording().ClearCalls();
    // Corners clockwise: top-left, top-right, bottom-right, bottom-left; fractions are cut off.
    ASSERT_EQ(DrawGraphQuad(10.9f, 10.0f, 42.0f, 12.5f, 44.0f, 40.0f, 8.0f, 44.0f, graph, 1), 0);
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitiveUP(5,2,40)"});
    auto v = LastVertices<Vertex2DBlend>();
    ASSERT_EQ(v.size(), 4u);
    // Three corners from the top-left corner's map, the bottom-right one from its own; the
    // corners stay where they are given, as without a blend graph.
    const float xs[4] = {10.0f, 42.0f, 8.0f, 44.0f}, ys[4] = {10.0f, 12.0f, 44.0f, 40.0f};
    const float us[4] = {0.0f, 0.5f, 0.0f, 0.5f}, vs[4] = {0.0f, 0.0f, 0.5f, 0.5f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, xs[i]) << i;
        EXPECT_FLOAT_EQ(v[i].y, ys[i]) << i;
        EXPECT_FLOAT_EQ(v[i].u1, us[i]) << i;
        EXPECT_FLOAT_EQ(v[i].v1, vs[i]) << i;
        EXPECT_EQ(v[i].specular, 0xFFFFFFFFu);
        EXPECT_FLOAT_EQ(v[i].rhw, 1.0f);
    }
    EXPECT_FLOAT_EQ(v[3].u2, 1.0f);

    // An axis-aligned rectangle is a stretched draw into the batch.
    Recording().ClearCalls();
    ASSERT_EQ(DrawGraphQuad(10, 10, 42, 10, 42, 42, 10, 42, graph, 1), 0);
    EXPECT_TRUE(Draws().empty());
    FlushVertexBatch();
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitiveUP(4,2,40)"});

    // Without the blend graph the float builder draws (two triangles of a parallelogram).
    ASSERT_EQ(SetBlendGraph(-1, 0, 0), 0);
    Recording().ClearCalls();
    ASSERT_EQ(DrawGraphQuad(10, 10, 42, 12, 44, 44, 12, 42, graph, 1), 0);
    FlushVertexBatch();
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitiveUP(4,2,28)"});
}

TEST_F(DrawTest, ThickLineTakesThePolygonRoadWithBlendAndBrightness) {
    StartGraphics(true);
    SetDrawBrightness(128, 255, 0);
    SetBlendMode(1, 100);
    Recording().ClearCalls();
    ASSERT_EQ(DrawLineShape(10, 10, 50, 10, GetScreenColor(255, 255, 255), 3), 0);
    EXPECT_EQ(Draws(), std::vector<std::string>{"DrawPrimitiveUP(5,2,28)"});
    auto v = LastVertices<Vertex2DTex>();
    ASSERT_EQ(v.size(), 4u);
    // Alpha from the blend parameter, red through the bright colour's row.
    EXPECT_EQ(v[0].diffuse, 0x6480FF00u);
    EXPECT_FLOAT_EQ(v[0].x, 10.0f);
    EXPECT_FLOAT_EQ(v[0].y, 8.5f);
    EXPECT_FLOAT_EQ(v[3].x, 50.0f);
    EXPECT_FLOAT_EQ(v[3].y, 11.5f);
    EXPECT_EQ(g_VertexBatch.count, 0);
}

TEST_F(DrawTest, PolygonsAndThickLinesEmulateSubtractionBetweenTwoBoxes) {
    Recording().blendOperation = false;
    StartGraphics(true);
    ASSERT_EQ(g_GraphicsDevice.blendOperation, 0);
    SetBlendMode(3, 200);
    PolygonVertex tri[3] = {{10, 10, 0, 0, 0xFFFFFFFF}, {40, 10, 0, 0, 0xFFFFFFFF},
                            {10, 40, 0, 0, 0xFFFFFFFF}};
    const std::vector<std::string> threePasses{"DrawPrimitiveUP(4,2,20)",
                                               "DrawPrimitiveUP(4,1,28)",
                                               "DrawPrimitiveUP(4,2,20)"};
    Recording().ClearCalls();
    ASSERT_EQ(DrawPolygonList(tri, 3, V_D3DPT_TRIANGLELIST, -5, 0, 0), 0);
    FlushVertexBatch();
    EXPECT_EQ(Draws(), threePasses);
    EXPECT_EQ(g_DrawSettings.blendMode, 3);
    EXPECT_EQ(g_DrawSettings.blendParameter, 200);

    Recording().ClearCalls();
    ASSERT_EQ(DrawLineShape(10, 10, 50, 30, GetScreenColor(255, 255, 255), 4), 0);
    FlushVertexBatch();
    EXPECT_EQ(Draws(), (std::vector<std::string>{"DrawPrimitiveUP(4,2,20)",
                                                 "DrawPrimitiveUP(5,2,28)",
                                                 "DrawPrimitiveUP(4,2,20)"}));
}

TEST_F(DrawTest, FrameWithCornersReversedInOneAxisFramesTheNormalisedBox) {
    StartGraphics(true);
    const auto* v = reinterpret_cast<const Vertex2D*>(g_VertexBatch.arrays[0]);
    // Each band's first and fourth vertex: its top-left and bottom-right corners.
    const float want[4][4] = {{0, 20, 10, 21}, {9, 21, 10, 30}, {0, 21, 1, 30}, {1, 29, 9, 30}};
    const int corners[3][4] = {{10, 20, 0, 30}, {0, 30, 10, 20}, {10, 30, 0, 20}};
    for (const auto& c : corners) {
        FlushVertexBatch();
        ASSERT_EQ(FrameBox(c[0], c[1], c[2], c[3], GetScreenColor(255, 0, 0)), 0);
        ASSERT_EQ(g_VertexBatch.count, 24);
        for (int band = 0; band < 4; ++band) {
            EXPECT_FLOAT_EQ(v[band * 6].x, want[band][0]) << c[0] << "," << c[1] << " " << band;
            EXPECT_FLOAT_EQ(v[band * 6].y, want[band][1]) << c[0] << "," << c[1] << " " << band;
            EXPECT_FLOAT_EQ(v[band * 6 + 3].x, want[band][2]) << band;
            EXPECT_FLOAT_EQ(v[band * 6 + 3].y, want[band][3]) << band;
        }
    }
}

TEST_F(DrawTest, ClippedStretchedDrawMovesTheBlendGraphCoordinatesToo) {
    StartGraphics(true);
    int blend = MakeGraph(64, 64);
    int graph = MakeGraph(32, 32);
    ASSERT_EQ(SetBlendGraph(blend, 128, 0), 0);
    FlushVertexBatch();
    // Twice the graph's size, its left 16 pixels (8 graph pixels) left of the draw area.
    ASSERT_EQ(DrawGraphStretched(-16, 0, 48, 64, graph, 0), 0);
    ASSERT_EQ(g_VertexBatch.count, 6);
    const auto* v = reinterpret_cast<const Vertex2DBlend*>(g_VertexBatch.arrays[2]);
    EXPECT_FLOAT_EQ(v[0].x, -0.5f);
    EXPECT_FLOAT_EQ(v[0].u2, 0.25f);
    EXPECT_FLOAT_EQ(v[0].u1, 0.125f);
    EXPECT_FLOAT_EQ(v[2].u1, 0.125f);
    EXPECT_FLOAT_EQ(v[1].u1, 0.5f);
    // Mirrored: the right edge is cut, the blend graph's right coordinates come in.
    FlushVertexBatch();
    ASSERT_EQ(DrawGraphStretched(656, 0, 592, 64, graph, 0), 0);
    EXPECT_FLOAT_EQ(v[0].x, 639.5f);
    EXPECT_FLOAT_EQ(v[0].u1, 0.125f);
    EXPECT_FLOAT_EQ(v[1].u1, 0.5f);
}

}  // namespace
