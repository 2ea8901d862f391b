// The graph table: making, checking and deleting graph handles, sub-graphs and the stored file
// name of a graph's pixels.
#include "graphics/graph_handle.h"

#include <cstring>

#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graphics_services.h"
#include "graphics/screen.h"
#include "graphics/screen_env.h"
#include "movie/movie.h"

GraphTable g_GraphTable;

int NewGraphHandle() {
    GraphTable& table = g_GraphTable;
    if (table.count >= kGraphSlots) GraphicsFatalExit("グラフィックの数が許容量を越えました終了します");
    int slot = table.highWater;
    if (slot >= kGraphSlots) {
        slot = 0;
        while (table.records[slot] != nullptr) ++slot;
    }
    auto* record = static_cast<GraphRecord*>(VELK_ALLOC_ZEROED(sizeof(GraphRecord)));
    if (record == nullptr) GraphicsFatalExit("メモリの確保に失敗しました");
    record->checkNumber = NextCheckNumber(&table.checkCounter);
    record->handle = MakeHandle(record->checkNumber, kGraphHandleKind, slot);
    record->movie = -1;
    table.records[slot] = record;
    ++table.count;
    if (slot == table.highWater) ++table.highWater;
    return record->handle;
}

GraphRecord* GetGraphRecord(int handle) {
    int slot = HandleSlot(handle, kGraphHandleKind, kGraphSlots);
    if (slot < 0) return nullptr;
    GraphRecord* record = g_GraphTable.records[slot];
    if (record == nullptr || !HandleCheckMatches(record->checkNumber, handle)) return nullptr;
    return record;
}

int IsValidGraphHandle(int handle) { return GetGraphRecord(handle) != nullptr ? 1 : 0; }

namespace {

void ReleaseSharedImage(GraphRecord* record) {
    SharedImage* image = record->image;
    if (image == nullptr) return;
    if (image->desc.textureMode == 0) ReleaseMemImg(&record->view);
    if (--image->referenceCount <= 0) {
        ReleaseDrawableWork(image);
        if (image->desc.textureMode != 0) {
            ReleasePieceTextures(image);
        } else {
            ReleaseMemImg(&image->image);
        }
        if (image->pieces != nullptr) FreeMemory(image->pieces);
        FreeMemory(image);
    }
    record->image = nullptr;
}

}  // namespace

int DeleteGraph(int handle, int) {
    GraphRecord* record = GetGraphRecord(handle);
    if (record == nullptr) return -1;
    GraphTable& table = g_GraphTable;
    int slot = handle & kHandleSlotMask;
    LeaveDeletedDrawTarget(handle);
    ForgetDeletedBlendGraph(handle);
    CloseMovie(record->movie);
    ReleaseSharedImage(record);
    if (record->workBuffer1 != nullptr) FreeMemory(record->workBuffer1);
    if (record->workBuffer2 != nullptr) FreeMemory(record->workBuffer2);
    SetGraphFileName(handle, nullptr, -1);
    if (record->pieces != nullptr) FreeMemory(record->pieces);
    --table.count;
    if (slot == table.highWater - 1) {
        int mark = slot;
        while (mark > 0 && (table.records[mark - 1] == nullptr)) --mark;
        table.highWater = table.count == 0 ? 0 : mark;
    }
    if (record->deletedFlag != nullptr) *record->deletedFlag = 1;
    FreeMemory(record);
    table.records[slot] = nullptr;
    return 0;
}

int DeleteAllGraphs() {
    if (!g_ScreenSettings.initialised) return 0;
    for (int slot = 0; slot < g_GraphTable.highWater; ++slot) {
        GraphRecord* record = g_GraphTable.records[slot];
        if (record == nullptr) continue;
        DeleteGraph(MakeHandle(record->checkNumber, kGraphHandleKind, slot));
    }
    return 0;
}

int CreateSubGraph(int x, int y, int width, int height, int source) {
    if (g_DrawSettings.suspended) return 0;
    GraphRecord* from = GetGraphRecord(source);
    if (from == nullptr) return -1;
    if (x < 0 || y < 0 || x >= from->width || y >= from->height) return -1;
    // Sizes that are not positive would make a graph without pixels.
    if (width <= 0 || height <= 0) return -1;
    // Compared by subtraction: x + width may lie beyond the integers.
    if (width > from->width - x) width = from->width - x;
    if (height > from->height - y) height = from->height - y;
    int handle = NewGraphHandle();
    if (SetupSubGraph(handle, source, x, y, width, height) != 0) {
        DeleteGraph(handle);
        return -1;
    }
    return handle;
}

int SetupSubGraph(int newHandle, int source, int x, int y, int width, int height) {
    GraphRecord* record = GetGraphRecord(newHandle);
    GraphRecord* from = GetGraphRecord(source);
    if (record == nullptr || from == nullptr || from->image == nullptr) return -1;
    record->image = from->image;
    ++from->image->referenceCount;
    SetGraphFileName(newHandle, nullptr, source);
    record->sourceX = from->sourceX + x;
    record->sourceY = from->sourceY + y;
    record->mirror = from->mirror;
    record->x = from->x + x;
    record->y = from->y + y;
    record->width = width;
    record->height = height;
    return BuildPieceDrawRecords(newHandle);
}

int GetGraphSize(int handle, int* width, int* height) {
    int w = 0;
    int h = 0;
    if (handle == -4 || handle == -2) {
        GetScreenSize(&w, &h);
    } else {
        GraphRecord* record = GetGraphRecord(handle);
        if (record == nullptr) return -1;
        w = record->width;
        h = record->height;
    }
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return 0;
}

int SetGraphDeletedFlag(int handle, int32_t* flag) {
    GraphRecord* record = GetGraphRecord(handle);
    if (record == nullptr) return -1;
    record->deletedFlag = flag;
    if (flag != nullptr) *flag = 0;
    return 0;
}

int SetGraphFileName(int handle, const char* fileName, int other) {
    GraphRecord* record = GetGraphRecord(handle);
    if (record == nullptr) return -1;
    // The new name is checked and made before the old one goes, so a failure keeps nothing
    // half-done.
    FileNameBlock* block = nullptr;
    if (fileName != nullptr) {
        char path[kPathBufferSize];
        if (ConvertFullPathUnc(fileName, path, nullptr) != 0) return -1;
        size_t length = std::strlen(path);
        block = static_cast<FileNameBlock*>(VELK_ALLOC(length + 5));
        if (block == nullptr) {
            WriteLog("転送する画像ファイルのファイル名を保存するメモリ領域の確保に失敗しました\n");
            return -1;
        }
        block->referenceCount = 1;
        std::memcpy(block->path, path, length + 1);
    } else if (other != -1) {
        GraphRecord* from = GetGraphRecord(other);
        if (from == nullptr) return -1;
        block = from->fileName;
        if (block != nullptr) ++block->referenceCount;
    }
    if (record->fileName != nullptr && --record->fileName->referenceCount <= 0)
        FreeMemory(record->fileName);
    record->fileName = block;
    return 0;
}

void ForgetFileUnderGraph(const GraphRecord* written) {
    for (int slot = 0; slot < g_GraphTable.highWater; ++slot) {
        const GraphRecord* record = g_GraphTable.records[slot];
        if (record == nullptr || record->image != written->image || record->fileName == nullptr) continue;
        const bool apart = record->x >= written->x + written->width || written->x >= record->x + record->width ||
                           record->y >= written->y + written->height || written->y >= record->y + record->height;
        if (!apart) SetGraphFileName(MakeHandle(record->checkNumber, kGraphHandleKind, slot), nullptr, -1);
    }
}

int CheckBlendGraphSize(const GraphRecord* record) {
    GraphRecord* blend = GetGraphRecord(g_DrawSettings.blendGraph);
    if (blend == nullptr || record == nullptr) return -1;
    return blend->width >= record->width && blend->height >= record->height ? 0 : -1;
}
