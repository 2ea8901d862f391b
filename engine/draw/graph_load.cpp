// Loading image files into graphs, whole or cut into cells.
#include "core/core.h"
#include "core/core_services.h"
#include "draw/draw.h"
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "core/library_state.h"
#include "movie/movie_record.h"

namespace {

// A new graph of the image's size and kind; -1 when it cannot be made.
int MakeGraphForImage(const ImageRecord* image, const ImageRecord* alpha) {
    if (!g_ScreenSettings.initialised) return -1;
    // A picture without pixels makes no graph, on either path (as MakeGraph refuses one).
    if (image->width <= 0 || image->height <= 0) return -1;
    WaitWhileInactive();
    if (alpha != nullptr && (alpha->width != image->width || alpha->height != image->height))
        return -1;
    int graph = NewGraphHandle();
    if (graph < 0) return -1;
    int hasAlpha = image->format.alphaWidth != 0 || alpha != nullptr ? 1 : 0;
    int palette = image->format.bytesPerPixel == 1 && !hasAlpha ? 1 : 0;
    int mips = image->mipCount == 0 ? -1 : image->mipCount;
    // Blocks cannot carry an alpha image's alpha: with one the textures hold plain pixels.
    int dxtKind = alpha == nullptr ? static_cast<int>(image->format.formatCode) : 0;
    if (SetupOriginalImage(graph, image->width, image->height, hasAlpha, palette, dxtKind,
                           mips) != 0) {
        DeleteGraph(graph);
        return -1;
    }
    return graph;
}

int CreateGraphFromImage(ImageRecord* image, ImageRecord* alpha) {
    UpdateUnusedBitsMask(&image->format);
    if (alpha != nullptr) UpdateUnusedBitsMask(&alpha->format);
    int graph = MakeGraphForImage(image, alpha);
    if (graph < 0) return -1;
    if (UploadImageToGraph(nullptr, image, alpha, 0, 0, graph, 0) != 0) {
        DeleteGraph(graph);
        return -1;
    }
    return graph;
}

// Loads the image and its alpha companion; false when no loader took the file.
bool LoadWithAlpha(const char* name, ImageRecord* image, ImageRecord* alpha, bool* hasAlpha) {
    *image = {};
    *alpha = {};
    int loaded = LoadImageWithAlpha(name, nullptr, 0, 0, nullptr, 0, 0, image, alpha, 0);
    *hasAlpha = loaded == 0;
    return loaded >= 0;
}

void ReleaseBoth(ImageRecord* image, ImageRecord* alpha) {
    if (image->pixels != nullptr) ReleaseImageRecord(image);
    if (alpha->pixels != nullptr) ReleaseImageRecord(alpha);
}

bool FileExists(const char* name) {
    intptr_t handle = OpenFileHandle(name, 0, 0, 0);
    if (handle == 0) return false;
    CloseFileHandle(handle);
    return true;
}

// The graph-creation settings that a movie graph overrides.
struct CreationNote {
    int bitDepth, movieMarker, useHardware, defaultPool, alphaTest, drawable;
};

CreationNote NoteCreationSettings() {
    const DrawSettings& s = g_DrawSettings;
    return {s.createBitDepth, s.movieGraphMarker, GetUseHardware(),
            s.defaultPool,    s.alphaTest,        s.drawableGraphs};
}

void RestoreCreationSettings(const CreationNote& note) {
    DrawSettings& s = g_DrawSettings;
    s.createBitDepth = note.bitDepth;
    s.movieGraphMarker = note.movieMarker;
    s.defaultPool = note.defaultPool;
    s.alphaTest = note.alphaTest;
    s.drawableGraphs = note.drawable;
    SetUseHardware(note.useHardware);
}

// A file that no image loader took, opened as a movie whose frames are copied into a new
// drawable graph of its size.
int LoadMovieGraph(const char* fileName) {
    CreationNote note = NoteCreationSettings();
    int width = 0, height = 0;
    int movie = OpenMovie(fileName, &width, &height, 0);
    if (movie < 0) {
        WriteLogFormat("右記のグラフィックファイルのロードに失敗しました：%s \n", fileName);
        return -1;
    }
    const MovieRecord* record = GetMovieRecord(movie);
    if (record->overlayFlag && !g_Library.initialised.load()) SetUseHardware(0);
    DrawSettings& s = g_DrawSettings;
    s.createBitDepth = g_ScreenSettings.colorDepth != 0 ? g_ScreenSettings.colorDepth : 16;
    s.movieGraphMarker = 1;
    g_SingleTextureGraph = 1;
    s.alphaTest = 0;
    s.defaultPool = 1;
    s.drawableGraphs = 1;
    int graph = NewGraphHandle();
    // SetupOriginalImage deletes the graph itself when it fails.
    bool made = graph >= 0 && SetupOriginalImage(graph, width, height, record->graphAlpha, 0, 0,
                                                  -1) == 0;
    RestoreCreationSettings(note);
    if (!made) {
        WriteLogFormat("右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s",
                       fileName);
        CloseMovie(movie);
        return -1;
    }
    if (GraphRecord* graphRecord = GetGraphRecord(graph)) graphRecord->movie = movie;
    SetMovieFrameCallback(movie, UpdateGraphMovieFrame, graph);
    return graph;
}

}  // namespace

int LoadGraphHandle(const char* fileName, int flag) {
    (void)flag;  // reaches graph creation and changes nothing there
    if (!g_ScreenSettings.initialised || fileName == nullptr) return -1;
    WaitWhileInactive();
    ImageRecord image, alpha;
    bool hasAlpha = false;
    if (LoadWithAlpha(fileName, &image, &alpha, &hasAlpha)) {
        int graph = CreateGraphFromImage(&image, hasAlpha ? &alpha : nullptr);
        if (graph >= 0) SetGraphFileName(graph, fileName, -1);
        ReleaseBoth(&image, &alpha);
        return graph;
    }
    if (!FileExists(fileName)) {
        WriteLogFormat("グラフィックファイル %s がありません", fileName);
        return -1;
    }
    return LoadMovieGraph(fileName);
}

int LoadDividedGraphs(const char* fileName, int count, int columns, int rows, int cellWidth,
                      int cellHeight, int* handles, int flag) {
    (void)flag;
    if (!g_ScreenSettings.initialised || fileName == nullptr || handles == nullptr) return -1;
    WaitWhileInactive();
    ImageRecord image, alpha;
    bool hasAlpha = false;
    if (!LoadWithAlpha(fileName, &image, &alpha, &hasAlpha)) {
        WriteLogFormat("右記のグラフィックファイルのロードに失敗しました：%s", fileName);
        return -1;
    }
    int base = CreateGraphFromImage(&image, hasAlpha ? &alpha : nullptr);
    ReleaseBoth(&image, &alpha);
    if (base < 0) return -1;
    int made = 0;
    int result = 0;
    for (int row = 0; row < rows && made < count; ++row) {
        for (int column = 0; column < columns && made < count; ++column) {
            int handle = CreateSubGraph(column * cellWidth, row * cellHeight, cellWidth,
                                        cellHeight, base);
            if (handle < 0) {
                WriteLogFormat("グラフィックの分割に失敗しました in CreateDivGraphFromGraphImage\n");
                for (int i = 0; i < made; ++i) DeleteGraph(handles[i]);
                made = 0;
                result = -1;
                row = rows;
                break;
            }
            handles[made++] = handle;
        }
    }
    // Cells beyond those made (too few rows, or a failure) hold no graph.
    for (int i = made; i < count; ++i) handles[i] = -1;
    for (int i = 0; i < made; ++i) SetGraphFileName(handles[i], fileName, -1);
    DeleteGraph(base);  // the cells keep sharing its pixels
    return result;
}
