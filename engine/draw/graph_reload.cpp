// Loading new pixels into an existing graph of the same size.
#include "core/core.h"
#include "draw/draw.h"
#include "draw/draw_settings.h"
#include "graphics/graph_handle.h"

int ReloadGraphFromImage(ImageRecord* image, ImageRecord* alpha, int graph, int trans,
                         int mirror, int remirror) {
    (void)trans;
    if (image == nullptr) return -1;
    UpdateUnusedBitsMask(&image->format);
    if (alpha != nullptr) UpdateUnusedBitsMask(&alpha->format);
    const GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr || record->width != image->width || record->height != image->height)
        return -1;
    if (alpha != nullptr && (alpha->width != image->width || alpha->height != image->height))
        return -1;
    DrawSettings& s = g_DrawSettings;
    const uint32_t transparent = s.transparentColor;
    if (s.transparentFromCorner) s.transparentColor = GetImagePixelArgb(image, 0, 0) & 0x00FFFFFF;
    const bool flip = remirror != 0 && mirror != 0;
    if (flip) {
        MirrorImageHorizontally(image);
        if (alpha != nullptr) MirrorImageHorizontally(alpha);
    }
    // A graph that cannot take the pixels fails the call rather than keep its old picture.
    const int uploaded = UploadImageToGraph(nullptr, image, alpha, 0, 0, graph, 0) == 0 ? 0 : -1;
    if (flip) {
        MirrorImageHorizontally(image);
        if (alpha != nullptr) MirrorImageHorizontally(alpha);
    }
    s.transparentColor = transparent;
    return uploaded;
}

int ReloadGraphFromMemory(const void* data, int size, int graph, const void* alphaData,
                          int alphaSize, int trans, int mirror) {
    ImageRecord image{};
    ImageRecord alpha{};
    int loaded = LoadImageWithAlpha(nullptr, data, size, 1, alphaData, alphaSize,
                                    alphaData != nullptr ? 1 : 0, &image, &alpha, 0);
    if (loaded < 0) return -1;
    bool hasAlpha = loaded == 0 && alpha.pixels != nullptr;
    if (mirror == 1) {
        MirrorImageHorizontally(&image);
        if (hasAlpha) MirrorImageHorizontally(&alpha);
    }
    int result = ReloadGraphFromImage(&image, hasAlpha ? &alpha : nullptr, graph, trans, mirror, 0);
    ReleaseImageRecord(&image);
    if (alpha.pixels != nullptr) ReleaseImageRecord(&alpha);
    return result;
}
