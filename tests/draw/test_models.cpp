// The 3D-model tables and their device hooks on the recording device.
#include <cmath>
#include <cstring>

#include "core/memory.h"
#include "draw/model.h"
#include "draw_fixture.h"
#include "graphics/graphics_services.h"

namespace {

class ModelTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        EndModels();
    }
    void TearDown() override {
        EndModels();
        DrawTest::TearDown();
    }
    // Adds a base with two meshes in different buffer lists.
    static int MakeBaseWithMeshes() {
        int base = NewModelBase();
        if (base < 0) return -1;
        const float vertices[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
        const uint16_t indices[3] = {0, 1, 2};
        AddModelMesh(base, vertices, sizeof vertices, 12, V_D3DFVF_XYZ, indices, sizeof indices, 0,
                     0, 0);
        AddModelMesh(base, vertices, sizeof vertices, 12, V_D3DFVF_XYZ, indices, sizeof indices, 2,
                     1, 8);
        return base;
    }
    int32_t BlockCount() {
        int32_t blocks = 0;
        GetAllocationTotals(&size_, &blocks);
        return blocks;
    }
    int32_t size_ = 0;
};

TEST_F(ModelTest, SineTableAndConstantAreBuiltOnceOnTheDevicePath) {
    StartGraphics(false);
    EXPECT_EQ(InitModels(), 0);
    EXPECT_EQ(g_Models.initialised, 0);  // the software path keeps no models
    EXPECT_EQ(NewModelBase(), -1);
    EXPECT_EQ(EndGraphics(), 0);

    g_ScreenSettings.softwareForced = 0;
    StartGraphics(true);
    ASSERT_EQ(InitModels(), 0);
    ASSERT_EQ(g_Models.initialised, 1);
    const float* sine = g_Models.sineTable;
    EXPECT_EQ(sine[0], 0.0f);
    EXPECT_EQ(sine[16384], 1.0f);
    EXPECT_EQ(sine[49152], -1.0f);
    // sin of the float nearest pi.
    EXPECT_EQ(sine[32768], std::sin(3.1415927f));
    EXPECT_LT(std::fabs(sine[32768]), 1e-6f);
    EXPECT_FLOAT_EQ(sine[8192], 0.70710677f);
    EXPECT_FLOAT_EQ(sine[24576], 0.70710677f);
    EXPECT_FLOAT_EQ(sine[57344], -0.70710677f);
    for (int i : {1, 100, 5461, 10923, 40000, 65535}) {
        float angle = static_cast<float>(i) * 3.1415927f * 2.0f * (1.0f / 65536.0f);
        EXPECT_EQ(sine[i], std::sin(angle)) << i;
        EXPECT_NEAR(sine[i], std::sin(2.0 * M_PI * i / 65536.0), 1e-6) << i;
    }
    EXPECT_FLOAT_EQ(g_Models.nearRightAngle, static_cast<float>(89.5 * M_PI / 180.0));
    EXPECT_EQ(g_Models.nearRightAngle, 1.5620697f);
    for (int graph : g_Models.defaultTextures) EXPECT_EQ(graph, -1);

    // A second initialisation leaves the table alone.
    g_Models.sineTable[5] = 42.0f;
    EXPECT_EQ(InitModels(), 0);
    EXPECT_EQ(g_Models.sineTable[5], 42.0f);
}

TEST_F(ModelTest, HooksOverEmptyTables) {
    StartGraphics(true);
    ASSERT_EQ(InitModels(), 0);
    Recording().ClearCalls();
    EXPECT_EQ(ReleaseModelDeviceObjects(), 0);
    EXPECT_EQ(RebuildModelBuffers(), 0);
    EXPECT_EQ(ReloadModelTextures(), 0);
    EXPECT_EQ(Recording().CallsStartingWith("Create").size(), 0u);
    for (int handle : {-1, 0, 0x68000000, 0x68010003, 0x08000000})
        EXPECT_EQ(DeleteModelInstance(handle), -1) << handle;
    EXPECT_EQ(DeleteModelBase(0x08000000), -1);
    EXPECT_EQ(BuildModelBaseBuffers(0x08000000), -1);
    EXPECT_EQ(EndModels(), 0);
    EXPECT_EQ(g_Models.initialised, 0);
    // Ended, the hooks still find nothing.
    EXPECT_EQ(ReleaseModelDeviceObjects(), 0);
    EXPECT_EQ(RebuildModelBuffers(), 0);
    EXPECT_EQ(ReloadModelTextures(), 0);
}

TEST_F(ModelTest, BuffersAreReleasedAndBuiltAgainWithTheDevice) {
    StartGraphics(true);
    ASSERT_EQ(InitModels(), 0);
    int base = MakeBaseWithMeshes();
    ASSERT_GE(base, 0);
    EXPECT_EQ(base & 0x78000000, 0x08000000);
    ModelBase* record = GetModelBase(base);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->meshCount, 2);

    Recording().ClearCalls();
    ASSERT_EQ(RebuildModelBuffers(), 0);
    EXPECT_EQ(Recording().CallsStartingWith("CreateVertexBuffer(36,0,2,1)").size(), 2u);
    EXPECT_EQ(Recording().CallsStartingWith("CreateIndexBuffer(6,0,101,1)").size(), 2u);
    EXPECT_EQ(record->buffersBuilt, 1);
    ASSERT_NE(record->bufferLists[0][0][0], nullptr);
    ASSERT_NE(record->bufferLists[2][1][8], nullptr);
    EXPECT_EQ(record->meshes[0].vertexBuffer, record->bufferLists[0][0][0]->vertexBuffer);
    EXPECT_EQ(record->meshes[1].indexBuffer, record->bufferLists[2][1][8]->indexBuffer);
    // Built once: a second rebuild creates nothing.
    Recording().ClearCalls();
    ASSERT_EQ(RebuildModelBuffers(), 0);
    EXPECT_EQ(Recording().CallsStartingWith("Create").size(), 0u);

    // An instance holds its base and its own device buffers.
    record->instanceBufferCount = 2;
    record->instanceBufferBytes = 64;
    int instance = NewModelInstance(base);
    ASSERT_GE(instance, 0);
    EXPECT_EQ(instance & 0x78000000, 0x68000000);
    EXPECT_EQ(record->useCount, 2);
    ASSERT_EQ(CreateModelInstanceBuffers(instance), 0);
    ModelInstance* placed = GetModelInstance(instance);
    ASSERT_NE(placed, nullptr);
    EXPECT_NE(placed->deviceBuffers[1], nullptr);

    EXPECT_EQ(ReleaseModelDeviceObjects(), 0);
    EXPECT_EQ(record->buffersBuilt, 0);
    EXPECT_EQ(record->bufferLists[0][0][0], nullptr);
    EXPECT_EQ(record->bufferLists[2][1][8], nullptr);
    EXPECT_EQ(record->meshes[0].vertexBuffer, nullptr);
    EXPECT_EQ(placed->deviceBuffers[0], nullptr);
    EXPECT_EQ(placed->deviceBuffers[1], nullptr);

    // A device re-creation releases and rebuilds the base's buffers.
    ASSERT_EQ(RebuildModelBuffers(), 0);
    Recording().ClearCalls();
    ASSERT_EQ(RecreateDeviceSameMode(), 0);
    EXPECT_EQ(record->buffersBuilt, 1);
    EXPECT_EQ(Recording().CallsStartingWith("CreateVertexBuffer(36,").size(), 2u);
    EXPECT_NE(record->meshes[1].vertexBuffer, nullptr);

    // Deleting the instance gives the base its use back; its handle is then stale.
    EXPECT_EQ(DeleteModelInstance(instance), 0);
    EXPECT_EQ(DeleteModelInstance(instance), -1);
    EXPECT_EQ(GetModelInstance(instance), nullptr);
    EXPECT_EQ(record->useCount, 1);
    EXPECT_EQ(ReleaseModelInstanceBuffers(instance), -1);
}

TEST_F(ModelTest, ReservedSlotsDeletionAndTheEndFreeEverything) {
    StartGraphics(true);
    ASSERT_EQ(InitModels(), 0);
    const int32_t blocksAtStart = BlockCount();
    int reserved = ReserveModelBaseSlot();
    int base = MakeBaseWithMeshes();
    int second = NewModelBase();
    ASSERT_GE(reserved, 0);
    ASSERT_GE(base, 0);
    ASSERT_GE(second, 0);
    EXPECT_EQ(g_Models.bases.count, 3);
    EXPECT_EQ(GetModelBase(reserved), nullptr);
    EXPECT_EQ(BuildModelBaseBuffers(reserved), -1);
    EXPECT_EQ(DeleteModelBase(reserved), 0);
    EXPECT_EQ(DeleteModelBase(reserved), -1);
    EXPECT_EQ(g_Models.bases.count, 2);

    int instanceReserved = ReserveModelInstanceSlot();
    int first = NewModelInstance(base);
    int later = NewModelInstance(second);
    ASSERT_GE(instanceReserved, 0);
    ASSERT_GE(first, 0);
    ASSERT_GE(later, 0);
    EXPECT_EQ(DeleteModelInstance(instanceReserved), 0);
    EXPECT_EQ(g_Models.instances.count, 2);
    // An instance in a slot above the live count stays valid after an earlier one goes.
    EXPECT_EQ(DeleteModelInstance(first), 0);
    EXPECT_NE(GetModelInstance(later), nullptr);
    // A handle of another kind or with another check number is refused.
    EXPECT_EQ(DeleteModelInstance(later ^ 0x00010000), -1);
    EXPECT_EQ(DeleteModelBase(later), -1);

    // A base with uses only goes when the last one does.
    EXPECT_EQ(DeleteModelBase(second), 0);
    EXPECT_NE(GetModelBase(second), nullptr);

    // Heap lists of the instance, textures of the base: the end frees them all.
    ModelInstance* placed = GetModelInstance(later);
    ASSERT_NE(placed, nullptr);
    placed->frameCount = 2;
    placed->frames = static_cast<ModelFrame*>(VELK_ALLOC_ZEROED(2 * sizeof(ModelFrame)));
    auto* node = static_cast<ModelHeapNode*>(VELK_ALLOC_ZEROED(sizeof(ModelHeapNode)));
    node->data = VELK_ALLOC(32);
    placed->frames[1].attached = node;
    placed->frames[0].buffers[1] = VELK_ALLOC(16);
    placed->buffers[0] = VELK_ALLOC(16);
    auto* slot = static_cast<ModelInstanceSlot*>(VELK_ALLOC_ZEROED(sizeof(ModelInstanceSlot)));
    slot->data = VELK_ALLOC(8);
    placed->slots = slot;
    ModelBase* record = GetModelBase(base);
    ASSERT_EQ(AddModelTexture(&record->textures, &record->textureCount, "a.bmp", "a_a.bmp", 1,
                              2.0f, -1),
              0);
    ASSERT_EQ(RebuildModelBuffers(), 0);
    EXPECT_EQ(EndModels(), 0);
    EXPECT_EQ(g_Models.initialised, 0);
    EXPECT_EQ(g_Models.bases.count, 0);
    EXPECT_EQ(g_Models.instances.count, 0);
    EXPECT_EQ(g_Models.bases.slots, nullptr);
    EXPECT_EQ(BlockCount(), blocksAtStart);
}

TEST_F(ModelTest, TextureImagesNormalMapsAndPowerOfTwoSizes) {
    StartGraphics(true);
    // The embedded default textures decode to their sizes and colours.
    int size = 0;
    ImageRecord image{};
    const uint8_t* data = GetModelDefaultTextureImage(0, &size);
    ASSERT_EQ(LoadImageRecord(nullptr, data, size, 1, &image, 0), 0);
    EXPECT_EQ(image.width, 8);
    EXPECT_EQ(image.height, 8);
    EXPECT_EQ(GetImagePixelArgb(&image, 7, 7), 0xFFFFFFFFu);
    ReleaseImageRecord(&image);
    data = GetModelDefaultTextureImage(1, &size);
    ASSERT_EQ(LoadImageRecord(nullptr, data, size, 1, &image, 0), 0);
    EXPECT_EQ(image.width, 256);
    EXPECT_EQ(image.height, 8);
    EXPECT_EQ(image.format.bitDepth, 24);
    for (int x : {0, 1, 127, 200, 255}) EXPECT_EQ(GetImagePixelArgb(&image, x, 5) & 0xFF, uint32_t(x));
    ReleaseImageRecord(&image);
    data = GetModelDefaultTextureImage(2, &size);
    ASSERT_EQ(LoadImageRecord(nullptr, data, size, 1, &image, 0), 0);
    EXPECT_EQ(GetImagePixelArgb(&image, 0, 0) & 0xFF, 0x60u);
    EXPECT_EQ(GetImagePixelArgb(&image, 100, 7) & 0xFF, 0xB0u);
    EXPECT_EQ(GetImagePixelArgb(&image, 255, 3) & 0xFF, 0xFFu);
    ReleaseImageRecord(&image);
    EXPECT_EQ(GetModelDefaultTextureImage(3, &size), nullptr);

    // A height map: flat except a rise to 255 right of (0, 0).
    WriteBmp("height.bmp", 4, 4, [](int x, int y) {
        return x == 1 && y == 0 ? Rgb{255, 0, 0} : Rgb{0, 0, 0};
    });
    ModelImageSource source{const_cast<char*>("height.bmp"), nullptr, 0};
    ImageRecord colour{}, alpha{};
    ASSERT_EQ(LoadModelTextureImages(&colour, &alpha, &source, nullptr, 1, 1.0f), 0);
    EXPECT_EQ(colour.width, 4);
    EXPECT_EQ(alpha.pixels, nullptr);
    // (0, 0): gx = 1, gy = 0, n = (-1, 0, 1) / sqrt 2.
    EXPECT_EQ(GetImagePixelArgb(&colour, 0, 0), (37u << 16) | (127u << 8) | 217u);
    // A flat pixel points straight out.
    EXPECT_EQ(GetImagePixelArgb(&colour, 2, 2), (127u << 16) | (127u << 8) | 255u);
    // (1, 3) wraps to (1, 0) below it: gy = 1.
    EXPECT_EQ(GetImagePixelArgb(&colour, 1, 3), (127u << 16) | (37u << 8) | 217u);
    ReleaseImageRecord(&colour);

    // Sides that are not powers of two are scaled up; no colour source means white.
    WriteBmp("odd.bmp", 6, 5, [](int, int) { return Rgb{10, 20, 30}; });
    ModelImageSource odd{const_cast<char*>("odd.bmp"), nullptr, 0};
    ASSERT_EQ(LoadModelTextureImages(&colour, &alpha, nullptr, &odd, 0, 0.0f), 0);
    EXPECT_EQ(colour.width, 8);
    EXPECT_EQ(colour.height, 8);
    // White within the filtered stretch's rounding.
    EXPECT_GE(GetImagePixelArgb(&colour, 7, 7) & 0xFEFEFEFE, 0xFEFEFEFEu);
    EXPECT_EQ(alpha.width, 8);
    EXPECT_EQ(alpha.height, 8);
    ReleaseImageRecord(&colour);
    ReleaseImageRecord(&alpha);
    ModelImageSource missing{const_cast<char*>("missing.bmp"), nullptr, 0};
    EXPECT_EQ(LoadModelTextureImages(&colour, &alpha, &missing, &odd, 0, 0.0f), -1);
    EXPECT_EQ(colour.pixels, nullptr);
    EXPECT_EQ(alpha.pixels, nullptr);
    EXPECT_EQ(LoadModelTextureImages(&colour, &alpha, nullptr, nullptr, 0, 0.0f), -1);
}

TEST_F(ModelTest, ReloadPutsEachTexturesFileBackIntoItsGraph) {
    StartGraphics(true);
    ASSERT_EQ(InitModels(), 0);
    WriteBmp("skin.bmp", 8, 8, [](int, int) { return Rgb{200, 100, 50}; });
    int graph = LoadGraphHandle("skin.bmp", 0);
    ASSERT_GE(graph, 0);
    WriteBmp("other.bmp", 16, 8, [](int, int) { return Rgb{1, 2, 3}; });
    int wrongSize = LoadGraphHandle("other.bmp", 0);
    ASSERT_GE(wrongSize, 0);
    int base = NewModelBase();
    ModelBase* record = GetModelBase(base);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(AddModelTexture(&record->textures, &record->textureCount, "skin.bmp", nullptr, 0,
                              1.0f, graph),
              0);
    // The size of this texture's image does not fit its graph: skipped.
    ASSERT_EQ(AddModelTexture(&record->textures, &record->textureCount, "skin.bmp", nullptr, 0,
                              1.0f, wrongSize),
              0);
    const GraphRecord* g = GetGraphRecord(graph);
    ASSERT_NE(g, nullptr);
    ASSERT_GT(g->pieceCount, 0);
    std::string texture = V_RecordingName(g->pieces[0].piece->texture);
    const GraphRecord* w = GetGraphRecord(wrongSize);
    std::string wrongTexture = V_RecordingName(w->pieces[0].piece->texture);
    Recording().ClearCalls();
    ASSERT_EQ(ReloadModelTextures(), 0);
    EXPECT_EQ(Recording().CallsStartingWith("Texture::LockRect(" + texture).size(), 1u);
    EXPECT_EQ(Recording().CallsStartingWith("Texture::LockRect(" + wrongTexture).size(), 0u);

    // The same through the graph-reload calls.
    int bytes = 0;
    const uint8_t* white = GetModelDefaultTextureImage(0, &bytes);
    EXPECT_EQ(ReloadGraphFromMemory(white, bytes, graph, nullptr, 0, 1, 0), 0);
    EXPECT_EQ(ReloadGraphFromMemory(white, bytes, wrongSize, nullptr, 0, 1, 0), -1);
    EXPECT_EQ(ReloadGraphFromMemory(white, bytes, -1, nullptr, 0, 1, 0), -1);
    EXPECT_EQ(ReloadGraphFromMemory(white, 10, graph, nullptr, 0, 1, 0), -1);

    // The end deletes the base's texture graphs with it.
    EXPECT_EQ(EndModels(), 0);
    EXPECT_EQ(GetGraphRecord(graph), nullptr);
    EXPECT_EQ(GetGraphRecord(wrongSize), nullptr);
}

}  // namespace
