// A graph's compressed textures made plain, keeping their picture: compressed textures take only
// whole pieces of their own blocks, so any other image written into them needs plain textures.
#include <cstring>

#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/image_dxt.h"

namespace {

// Level 0 of every piece decoded into one A8R8G8B8 picture of the store's size.
int DecodePieces(const SharedImage* image, int kind, ImageRecord* picture) {
    if (CreateArgbImageRecord(image->width, image->height, picture) != 0) return -1;
    std::memset(picture->pixels, 0, static_cast<size_t>(picture->pitch) * picture->height);
    const int blockBytes = kind == 1 ? 8 : 16;
    for (int i = 0; i < image->pieceCount; ++i) {
        const TexturePiece& piece = image->pieces[i];
        V_D3DLOCKED_RECT locked{};
        if (piece.texture == nullptr ||
            V_FAILED(piece.texture->LockRect(0, &locked, nullptr, V_D3DLOCK_READONLY)))
            continue;  // nothing to keep there
        for (int by = 0; by * 4 < piece.height; ++by) {
            const int rows = piece.height - by * 4 < 4 ? piece.height - by * 4 : 4;
            for (int bx = 0; bx * 4 < piece.width; ++bx) {
                const int columns = piece.width - bx * 4 < 4 ? piece.width - bx * 4 : 4;
                uint32_t pixels[16];
                DecodeDxtBlock(static_cast<const uint8_t*>(locked.pBits) +
                                   static_cast<size_t>(by) * locked.Pitch +
                                   static_cast<size_t>(bx) * blockBytes,
                               kind, pixels);
                for (int r = 0; r < rows; ++r)
                    std::memcpy(picture->pixels +
                                    static_cast<size_t>(piece.y + by * 4 + r) * picture->pitch +
                                    static_cast<size_t>(piece.x + bx * 4) * 4,
                                pixels + r * 4, static_cast<size_t>(columns) * 4);
            }
        }
        piece.texture->UnlockRect(0);
    }
    return 0;
}

}  // namespace

int TextureDxtKind(const SharedImage* image) {
    if (image == nullptr || !image->desc.textureMode || image->formatIndex < 0 ||
        image->formatIndex >= kTextureFormatCount)
        return 0;
    const V_D3DFORMAT format = g_GraphicsDevice.textureFormats.formats[image->formatIndex];
    for (int kind = 1; kind <= 5; ++kind)
        if (format == V_MAKEFOURCC('D', 'X', 'T', '0' + kind)) return kind;
    return 0;
}

int UnpackCompressedTextures(int graph) {
    GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr || record->image == nullptr) return -1;
    SharedImage* image = record->image;
    const int kind = TextureDxtKind(image);
    if (kind == 0) return 0;
    GraphFormatDesc desc = image->desc;
    desc.dxtKind = 0;
    // The blocks decode to 8 bits a channel: the plain textures keep them, so that the graph
    // shows the picture it showed (and a fresh load of the same file shows).
    desc.bitDepth = 32;
    const int index = GetTextureFormatIndex(&desc);
    if (g_GraphicsDevice.textureFormats.formats[index] == V_D3DFMT_UNKNOWN) {
        WriteLog("指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
        return -1;
    }
    ImageRecord picture{};
    if (DecodePieces(image, kind, &picture) != 0) {
        WriteLog("標準イメージ用のメモリ確保に失敗しました\n");
        return -1;
    }
    ReleasePieceTextures(image);
    image->desc = desc;
    image->formatIndex = index;
    const V_RECT whole{0, 0, image->width, image->height};
    int result = CreateOriginalTextures(image) == 0 &&
                         TransferImageToTextures(graph, &picture, nullptr, &whole, 0, 0, 0, 1) == 0
                     ? 0
                     : -1;
    ReleaseImageRecord(&picture);
    // A blend graph hands its texture to the device when it is set: it hands over the new one.
    const GraphRecord* blend = GetGraphRecord(g_DrawSettings.blendGraph);
    if (blend != nullptr && blend->image == image) ReattachBlendGraph();
    return result;
}
