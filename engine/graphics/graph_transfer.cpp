// Writing images into graphs (textures or software image) and the built-in restore of graphs
// from their files after the device was re-created.
#include <cstring>

#include "graphics/device_format_masks.h"
#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/render_state.h"

namespace {


int DxtKindOf(V_D3DFORMAT format) {
    for (int kind = 1; kind <= 5; ++kind)
        if (format == V_MAKEFOURCC('D', 'X', 'T', '0' + kind)) return kind;
    return 0;
}

// Bytes of one DXT block.
int DxtBlockBytes(int kind) { return kind == 1 ? 8 : 16; }

}  // namespace

const ColorFormat* GetD3DFormatColorFormat(V_D3DFORMAT format) {
    static ColorFormat formats[kDeviceFormatCount];
    static bool built = false;
    if (!built) {
        for (int i = 0; i < kDeviceFormatCount; ++i) {
            const DeviceFormatMasks& m = kDeviceFormatMasks[i];
            SetColorFormatFromMasks(&formats[i], m.bits, m.red, m.green, m.blue, m.alpha);
        }
        built = true;
    }
    for (int i = 0; i < kDeviceFormatCount; ++i)
        if (kDeviceFormatMasks[i].format == static_cast<int>(format)) return &formats[i];
    return nullptr;
}

int TransferImageToTextures(int graph, const ImageRecord* image, const ImageRecord* alphaImage,
                            const V_RECT* sourceRect, int destinationX, int destinationY,
                            int colorKey, int wholeImage) {
    GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr || record->image == nullptr || image == nullptr) return -1;
    FlushPendingVertices();
    int width = sourceRect->right - sourceRect->left;
    int height = sourceRect->bottom - sourceRect->top;
    if (width <= 0 || height <= 0) return 0;
    if (sourceRect->left < 0 || sourceRect->top < 0 || sourceRect->right > image->width ||
        sourceRect->bottom > image->height)
        return -1;
    SharedImage* shared = record->image;

    if (!shared->desc.textureMode) {
        V_RECT target{destinationX, destinationY, destinationX + width, destinationY + height};
        MEMIMG* view = wholeImage ? &shared->image : &record->view;
        V_RECT area{0, 0, view->width, view->height};
        ClipRect(&target, &area);
        if (target.right <= target.left || target.bottom <= target.top) return -1;
        return TransferImageMemImg(image, alphaImage, view,
                                   sourceRect->left + target.left - destinationX,
                                   sourceRect->top + target.top - destinationY,
                                   target.right - target.left, target.bottom - target.top,
                                   target.left, target.top, colorKey);
    }

    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    if (device == nullptr) return -1;
    V_D3DFORMAT format = g_GraphicsDevice.textureFormats.formats[shared->formatIndex];
    const int textureDxt = DxtKindOf(format);
    const ColorFormat* destinationFormat = GetD3DFormatColorFormat(format);
    const bool keyToAlpha = colorKey && alphaImage == nullptr && destinationFormat != nullptr &&
                            destinationFormat->alphaMask != 0;

    ImageRecord decoded{};
    const ImageRecord* source = image;
    int result = 0;
    int pieceCount = wholeImage ? shared->pieceCount : record->pieceCount;
    for (int i = 0; i < pieceCount; ++i) {
        // The piece's area in graph coordinates and its offset inside the texture.
        int partX, partY, partWidth, partHeight, textureX, textureY;
        TexturePiece* piece;
        if (wholeImage) {
            piece = &shared->pieces[i];
            partX = piece->x;
            partY = piece->y;
            partWidth = piece->width;
            partHeight = piece->height;
            textureX = textureY = 0;
        } else {
            const PieceDrawRecord& draw = record->pieces[i];
            piece = draw.piece;
            partX = draw.x;
            partY = draw.y;
            partWidth = draw.width;
            partHeight = draw.height;
            textureX = draw.textureX;
            textureY = draw.textureY;
        }
        int left = partX > destinationX ? partX : destinationX;
        int top = partY > destinationY ? partY : destinationY;
        int right = partX + partWidth < destinationX + width ? partX + partWidth
                                                             : destinationX + width;
        int bottom = partY + partHeight < destinationY + height ? partY + partHeight
                                                                : destinationY + height;
        if (right <= left || bottom <= top || piece->texture == nullptr) continue;
        bool wholePiece = left == partX && top == partY && right - left == piece->width &&
                          bottom - top == piece->height && textureX == 0 && textureY == 0;
        if (textureDxt != 0 && !(wholePiece && image->format.formatCode ==
                                                   static_cast<uint32_t>(textureDxt))) {
            // The texture's own format decides: compressed textures take only their own blocks.
            WriteLog("DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n");
            continue;
        }
        V_D3DLOCKED_RECT locked{};
        if (V_FAILED(piece->texture->LockRect(0, &locked, nullptr, 0))) {
            WriteLog("テクスチャのロックに失敗しました\n");
            result = -1;
            break;
        }
        if (textureDxt != 0) {
            // Same kind, whole piece: the blocks go across as they are.
            int blockBytes = DxtBlockBytes(textureDxt);
            int blocksWide = (image->width + 3) / 4;
            int pieceBlocksWide = (piece->width + 3) / 4;
            int pieceBlocksHigh = (piece->height + 3) / 4;
            int rowBytes = pieceBlocksWide * blockBytes;
            int sourceX = (sourceRect->left + left - destinationX) / 4;
            int sourceY = (sourceRect->top + top - destinationY) / 4;
            for (int row = 0; row < pieceBlocksHigh; ++row) {
                const uint8_t* from = image->pixels +
                                      (static_cast<size_t>(sourceY + row) * blocksWide + sourceX) *
                                          blockBytes;
                std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(row) *
                                                                      locked.Pitch,
                            from, static_cast<size_t>(rowBytes));
            }
        } else {
            if (source->format.formatCode != 0 && source == image) {
                if (CreateImageRecord(image->width, image->height, &image->format, &decoded) !=
                        0 ||
                    (std::memcpy(decoded.pixels, image->pixels,
                                 static_cast<size_t>((image->width + 3) / 4) *
                                     ((image->height + 3) / 4) *
                                     DxtBlockBytes(static_cast<int>(image->format.formatCode))),
                     DecodeDxtImage(&decoded)) != 0) {
                    WriteLog("標準イメージ用のメモリ確保に失敗しました\n");
                    piece->texture->UnlockRect(0);
                    result = -1;
                    break;
                }
                source = &decoded;
            }
            V_RECT from{sourceRect->left + left - destinationX,
                        sourceRect->top + top - destinationY,
                        sourceRect->left + right - destinationX,
                        sourceRect->top + bottom - destinationY};
            if (destinationFormat != nullptr)
                ConvertPixelFormatRect(
                    locked.pBits, locked.Pitch, destinationFormat, source->pixels, source->pitch,
                    &source->format, alphaImage ? alphaImage->pixels : nullptr,
                    alphaImage ? alphaImage->pitch : 0, alphaImage ? &alphaImage->format : nullptr,
                    textureX + left - partX, textureY + top - partY, &from, 0, keyToAlpha ? 1 : 0,
                    shared->transparentColor, 0, 0, 0, 0, 0);
        }
        piece->texture->UnlockRect(0);
    }
    if (decoded.pixels != nullptr) ReleaseImageRecord(&decoded);
    return result;
}

int TransferImageToGraph(const char* fileName, const ImageRecord* image,
                         const ImageRecord* alphaImage, const V_RECT* sourceRect,
                         int destinationX, int destinationY, int graph, int mirror) {
    GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr || !g_ScreenSettings.initialised) return -1;
    SetGraphFileName(graph, fileName, -1);
    record->sourceX = sourceRect != nullptr ? sourceRect->left - destinationX : 0;
    record->sourceY = sourceRect != nullptr ? sourceRect->top - destinationY : 0;
    record->mirror = mirror ? 1 : 0;
    V_RECT whole{0, 0, image != nullptr ? image->width : 0, image != nullptr ? image->height : 0};
    return TransferImageToTextures(graph, image, alphaImage,
                                   sourceRect != nullptr ? sourceRect : &whole, destinationX,
                                   destinationY, g_DrawSettings.noColorKey ? 0 : 1, 0);
}

int UploadImageToGraph(const char* fileName, const ImageRecord* image,
                       const ImageRecord* alphaImage, int x, int y, int graph, int mirror) {
    GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr || !g_ScreenSettings.initialised) return -1;
    V_RECT rect{x, y, x + record->width, y + record->height};
    return TransferImageToGraph(fileName, image, alphaImage, &rect, 0, 0, graph, mirror);
}

int RestoreGraphs() {
    WriteLog("グラフィックを復帰します\n");
    ImageRecord image{};
    ImageRecord alpha{};
    bool loaded = false;
    const FileNameBlock* lastName = nullptr;
    char lastPath[kPathBufferSize] = "";
    uint32_t lastMirror = 0;
    for (int slot = 0; slot < g_GraphTable.highWater; ++slot) {
        GraphRecord* record = g_GraphTable.records[slot];
        if (record == nullptr || record->fileName == nullptr) continue;
        const char* path = record->fileName->path;
        bool same = loaded && lastName != nullptr && std::strcmp(lastPath, path) == 0 &&
                    lastMirror == record->mirror;
        if (!same) {
            if (image.pixels != nullptr) ReleaseImageRecord(&image);
            if (alpha.pixels != nullptr) ReleaseImageRecord(&alpha);
            image = {};
            alpha = {};
            loaded = LoadImageWithAlpha(path, nullptr, 0, 0, nullptr, 0, 0, &image, &alpha,
                                        static_cast<int>(record->mirror)) >= 0;
            lastName = record->fileName;
            std::strncpy(lastPath, path, sizeof(lastPath) - 1);
            lastMirror = record->mirror;
            if (!loaded) continue;
        }
        // A graph cut from its file beyond the picture keeps the part that lies inside.
        int handle = MakeHandle(record->checkNumber, kGraphHandleKind, slot);
        char name[kPathBufferSize];
        std::strncpy(name, path, sizeof(name) - 1);
        name[sizeof(name) - 1] = 0;
        UploadImageToGraph(name, &image, alpha.pixels != nullptr ? &alpha : nullptr,
                           record->sourceX, record->sourceY, handle,
                           static_cast<int>(record->mirror));
    }
    if (image.pixels != nullptr) ReleaseImageRecord(&image);
    if (alpha.pixels != nullptr) ReleaseImageRecord(&alpha);
    return 0;
}
