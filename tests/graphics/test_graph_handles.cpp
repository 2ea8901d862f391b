// Graph handles, texture splitting and piece draw records.
#include <gtest/gtest.h>

#include "device_fixture.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"

namespace {

class GraphTest : public RecordingDeviceTest {
protected:
    void SetUp() override {
        RecordingDeviceTest::SetUp();
        g_GraphTable = {};
        g_ScreenImages = {};
        g_ScreenState = {};
    }
    void TearDown() override {
        EndGraphics();
        g_GraphTable = {};
        RecordingDeviceTest::TearDown();
    }
    void StartGraphics() {
        ASSERT_EQ(InitGraphics(), 0);
        ASSERT_EQ(g_ScreenSettings.useDirect3D, 1);
        Recording().ClearCalls();
    }
};

TEST_F(GraphTest, CheckNumbersWrapAndStaleHandlesFail) {
    int first = NewGraphHandle();
    EXPECT_EQ(first, 0x08000000);
    g_ScreenSettings.initialised = 1;
    ASSERT_EQ(DeleteGraph(first), 0);
    int last = -1;
    for (int i = 1; i <= 2048; ++i) {
        last = NewGraphHandle();
        if (i < 2048) DeleteGraph(last);
    }
    // The 2049th graph made in a row takes check number 0 again, in the same slot.
    EXPECT_EQ(last, first);
    EXPECT_EQ(DeleteGraph(last), 0);
    int reused = NewGraphHandle();
    EXPECT_EQ(reused & 0xFFFF, 0);
    EXPECT_NE(reused, first);
    EXPECT_EQ(IsValidGraphHandle(first), 0);
    EXPECT_EQ(DeleteGraph(first), -1);
    EXPECT_EQ(GetGraphSize(first, nullptr, nullptr), -1);
    EXPECT_EQ(IsValidGraphHandle(-1), 0);
    EXPECT_EQ(IsValidGraphHandle(reused | 0x10000000), 0);

    // Deleting the highest slot lowers the mark to just above the highest one left.
    int second = NewGraphHandle();
    int third = NewGraphHandle();
    DeleteGraph(second);
    DeleteGraph(third);
    EXPECT_EQ(g_GraphTable.highWater, 1);
    int32_t deleted = 5;
    SetGraphDeletedFlag(reused, &deleted);
    EXPECT_EQ(deleted, 0);
    DeleteAllGraphs();
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(g_GraphTable.highWater, 0);
    g_ScreenSettings.initialised = 0;
}

TEST_F(GraphTest, TextureSplitting) {
    g_GraphicsDevice.maxTextureSize = 2048;
    g_ScreenSettings.width = 640;
    int sizes[16];
    ASSERT_EQ(SplitTextureSizes(640, sizes, 0), 2);
    EXPECT_EQ(sizes[0], 512);
    EXPECT_EQ(sizes[1], 128);
    ASSERT_EQ(SplitTextureSizes(300, sizes, 0), 1);
    EXPECT_EQ(sizes[0], 512);
    ASSERT_EQ(SplitTextureSizes(200, sizes, 0), 1);
    EXPECT_EQ(sizes[0], 256);
    ASSERT_EQ(SplitTextureSizes(5, sizes, 0), 1);
    EXPECT_EQ(sizes[0], 8);
    g_GraphicsDevice.maxTextureSize = 256;
    ASSERT_EQ(SplitTextureSizes(1000, sizes, 0), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(sizes[i], 256);

    // Square textures only: a 512 x 256 piece becomes two squares side by side.
    g_GraphicsDevice.maxTextureSize = 2048;
    g_GraphicsDevice.caps.TextureCaps |= V_D3DPTEXTURECAPS_SQUAREONLY;
    SharedImage image{};
    image.width = 512;
    image.height = 256;
    ASSERT_EQ(LayoutTexturePieces(&image, 0), 0);
    ASSERT_EQ(image.pieceCount, 2);
    EXPECT_EQ(image.pieces[0].textureWidth, 256);
    EXPECT_EQ(image.pieces[0].textureHeight, 256);
    EXPECT_EQ(image.pieces[1].x, 256);
    EXPECT_EQ(image.pieces[1].width, 256);
    FreeMemory(image.pieces);

    // A picture needing more than 256 pieces per axis is refused.
    g_GraphicsDevice.caps.TextureCaps = 0;
    g_GraphicsDevice.maxTextureSize = 8;
    image = {};
    image.width = 8 * 300;
    image.height = 8;
    EXPECT_EQ(LayoutTexturePieces(&image, 0), -1);
}

TEST_F(GraphTest, SubGraphsAcrossPieceBorders) {
    StartGraphics();
    int sheet = MakeGraph(640, 100);
    ASSERT_GE(sheet, 0);
    GraphRecord* record = GetGraphRecord(sheet);
    ASSERT_EQ(record->image->pieceCount, 2);
    int inside = CreateSubGraph(10, 0, 40, 10, sheet);
    int across = CreateSubGraph(500, 20, 40, 10, sheet);
    ASSERT_GE(inside, 0);
    ASSERT_GE(across, 0);
    EXPECT_EQ(GetGraphRecord(inside)->pieceCount, 1);
    const GraphRecord* a = GetGraphRecord(across);
    ASSERT_EQ(a->pieceCount, 2);
    EXPECT_EQ(a->pieces[0].width, 12);
    EXPECT_EQ(a->pieces[0].textureX, 500);
    EXPECT_EQ(a->pieces[1].x, 12);
    EXPECT_EQ(a->pieces[1].width, 28);
    EXPECT_EQ(a->pieces[1].textureX, 0);
    EXPECT_FLOAT_EQ(a->pieces[1].corners[1].u, 28.0f / 128.0f);

    EXPECT_EQ(CreateSubGraph(640, 0, 10, 10, sheet), -1);
    EXPECT_EQ(CreateSubGraph(0, 0, 0, 10, sheet), -1);
    int clipped = CreateSubGraph(600, 90, 100, 100, sheet);
    int w = 0, h = 0;
    GetGraphSize(clipped, &w, &h);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 10);
    // Sizes whose end lies beyond the integers are clipped like any other.
    int widest = CreateSubGraph(2, 2, 0x7FFFFFFF, 0x7FFFFFFF, sheet);
    ASSERT_GE(widest, 0);
    GetGraphSize(widest, &w, &h);
    EXPECT_EQ(w, 638);
    EXPECT_EQ(h, 98);
    EXPECT_EQ(DeleteGraph(widest), 0);
    // Deleting the sheet keeps the pixels of the sub-graphs.
    EXPECT_EQ(DeleteGraph(sheet), 0);
    EXPECT_EQ(GetGraphRecord(across)->image->referenceCount, 3);
    EXPECT_NE(GetGraphRecord(across)->pieces[0].piece->texture, nullptr);
    EXPECT_EQ(GetGraphSize(-4, &w, &h), 0);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(GetGraphSize(-3, &w, &h), -1);
}

TEST_F(GraphTest, FileNamesAreSharedAndKeptOnFailure) {
    StartGraphics();
    int graph = MakeGraph(16, 16);
    ASSERT_EQ(SetGraphFileName(graph, "pic.bmp", -1), 0);
    int sub = CreateSubGraph(0, 0, 8, 8, graph);
    EXPECT_EQ(GetGraphRecord(sub)->fileName, GetGraphRecord(graph)->fileName);
    EXPECT_EQ(GetGraphRecord(graph)->fileName->referenceCount, 2);
    // A bad other graph leaves the name as it was.
    EXPECT_EQ(SetGraphFileName(sub, nullptr, 0x08001234), -1);
    EXPECT_NE(GetGraphRecord(sub)->fileName, nullptr);
    DeleteGraph(graph);
    EXPECT_EQ(GetGraphRecord(sub)->fileName->referenceCount, 1);
}

}  // namespace
