// Writing images into graphs (textures or software image) and the built-in restore of graphs
// from their files after the device was re-created.
#include <cstring>
#include <unordered_set>

#include "graphics/device_format_masks.h"
#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/image_dxt.h"
#include "graphics/image_mip.h"
#include "graphics/render_state.h"

namespace {

// One piece's share of a transfer: the source rectangle at level 0 and where it lands in the
// texture's level 0. Lower levels take both halved per level.
struct PieceArea {
    V_IDirect3DTexture9* texture;
    int levels;
    V_RECT from;
    int textureX, textureY;
    int pieceWidth, pieceHeight;
};

const char* LockFailureText(int levels) {
    return levels > 1 ? "ミップマップテクスチャのロックに失敗しました\n"
                      : "テクスチャのロックに失敗しました\n";
}

// Copies the compressed blocks of every level as they are: each level's part of the piece,
// clipped to the source level's and the texture level's blocks.
int CopyDxtLevels(const PieceArea& area, const ImageRecord* image) {
    for (int level = 0; level < area.levels; ++level) {
        ImageRecord source{};
        if (GetImageMipLevel(image, level, &source) != 0) return -1;
        V_D3DSURFACE_DESC desc{};
        if (V_FAILED(area.texture->GetLevelDesc(static_cast<V_UINT>(level), &desc))) return -1;
        const uint32_t code = image->format.formatCode;
        const int blockBytes = code == 1 ? 8 : 16;
        int firstColumn = (area.from.left >> level) / 4;
        int firstRow = (area.from.top >> level) / 4;
        int columns = MipRowCount(code, MipLevelSide(area.pieceWidth, level));
        int rows = MipRowCount(code, MipLevelSide(area.pieceHeight, level));
        int sourceColumns = MipRowCount(code, source.width) - firstColumn;
        int sourceRows = MipRowCount(code, source.height) - firstRow;
        int textureColumns = MipRowCount(code, static_cast<int>(desc.Width));
        int textureRows = MipRowCount(code, static_cast<int>(desc.Height));
        if (columns > sourceColumns) columns = sourceColumns;
        if (columns > textureColumns) columns = textureColumns;
        if (rows > sourceRows) rows = sourceRows;
        if (rows > textureRows) rows = textureRows;
        V_D3DLOCKED_RECT locked{};
        if (V_FAILED(area.texture->LockRect(static_cast<V_UINT>(level), &locked, nullptr, 0))) {
            WriteLog(LockFailureText(area.levels));
            return -1;
        }
        for (int row = 0; row < rows && columns > 0; ++row)
            std::memcpy(static_cast<uint8_t*>(locked.pBits) +
                            static_cast<size_t>(row) * locked.Pitch,
                        source.pixels + static_cast<size_t>(firstRow + row) * source.pitch +
                            static_cast<size_t>(firstColumn) * blockBytes,
                        static_cast<size_t>(columns) * blockBytes);
        area.texture->UnlockRect(static_cast<V_UINT>(level));
    }
    return 0;
}

// Pixel conversion of the transfer into the texture, shared by every level.
struct Conversion {
    const ColorFormat* destination;
    const ImageRecord* alpha;
    int keyToAlpha;
    uint32_t transparentColor;
};

// Converts level `level` of the source (and of the alpha image) into the same level of the
// texture, both rectangles halved per level and clipped to the level sides.
int ConvertLevel(const PieceArea& area, const ImageRecord* image, const Conversion& conversion,
                 int level) {
    ImageRecord source{};
    ImageRecord alpha{};
    if (GetImageMipLevel(image, level, &source) != 0) return -1;
    if (conversion.alpha != nullptr && GetImageMipLevel(conversion.alpha, level, &alpha) != 0)
        return -1;
    V_D3DSURFACE_DESC desc{};
    if (V_FAILED(area.texture->GetLevelDesc(static_cast<V_UINT>(level), &desc))) return -1;
    V_RECT from{area.from.left >> level, area.from.top >> level, 0, 0};
    from.right = from.left + MipLevelSide(area.from.right - area.from.left, level);
    from.bottom = from.top + MipLevelSide(area.from.bottom - area.from.top, level);
    int x = area.textureX >> level, y = area.textureY >> level;
    int limitRight = source.width, limitBottom = source.height;
    if (conversion.alpha != nullptr) {
        if (alpha.width < limitRight) limitRight = alpha.width;
        if (alpha.height < limitBottom) limitBottom = alpha.height;
    }
    if (from.right > limitRight) from.right = limitRight;
    if (from.bottom > limitBottom) from.bottom = limitBottom;
    if (from.right - from.left > static_cast<int>(desc.Width) - x)
        from.right = from.left + static_cast<int>(desc.Width) - x;
    if (from.bottom - from.top > static_cast<int>(desc.Height) - y)
        from.bottom = from.top + static_cast<int>(desc.Height) - y;
    // Only the rectangle written is locked, so that only it goes to the device.
    const bool any = from.right > from.left && from.bottom > from.top;
    const V_RECT written{x, y, x + from.right - from.left, y + from.bottom - from.top};
    V_D3DLOCKED_RECT locked{};
    if (V_FAILED(area.texture->LockRect(static_cast<V_UINT>(level), &locked,
                                        any ? &written : nullptr, 0))) {
        WriteLog(LockFailureText(area.levels));
        return -1;
    }
    if (any)
        ConvertPixelFormatRect(locked.pBits, locked.Pitch, conversion.destination, source.pixels,
                               source.pitch, &source.format,
                               conversion.alpha ? alpha.pixels : nullptr,
                               conversion.alpha ? alpha.pitch : 0,
                               conversion.alpha ? &alpha.format : nullptr, 0, 0, &from, 0,
                               conversion.keyToAlpha, conversion.transparentColor, 0, 0, 0, 0, 0);
    area.texture->UnlockRect(static_cast<V_UINT>(level));
    return 0;
}

// Level 0 from the source; every lower level the 2 x 2 reduction of the one above, worked out
// in two halves of one buffer of the texture's level-0 size.
int ConvertAndShrinkLevels(const PieceArea& area, const ImageRecord* image,
                           const Conversion& conversion) {
    if (ConvertLevel(area, image, conversion, 0) != 0) return -1;
    V_D3DSURFACE_DESC desc{};
    if (V_FAILED(area.texture->GetLevelDesc(0, &desc))) return -1;
    const int bytes = conversion.destination->bytesPerPixel;
    int width = static_cast<int>(desc.Width), height = static_cast<int>(desc.Height);
    const size_t half = static_cast<size_t>(bytes) * width * height;
    auto* work = static_cast<uint8_t*>(VELK_ALLOC(half * 2));
    if (work == nullptr) {
        WriteLog("テクスチャへ転送する画像を一時的に格納するメモリ領域の確保に失敗しました\n");
        return -1;
    }
    // Moves one level between the texture and the packed buffer rows.
    auto move = [&](int level, uint8_t* buffer, int w, int h, bool toTexture) {
        V_D3DLOCKED_RECT locked{};
        if (V_FAILED(area.texture->LockRect(static_cast<V_UINT>(level), &locked, nullptr,
                                            toTexture ? V_DWORD{0} : V_DWORD{V_D3DLOCK_READONLY}))) {
            WriteLog(LockFailureText(area.levels));
            return false;
        }
        const size_t row = static_cast<size_t>(bytes) * w;
        for (int y = 0; y < h; ++y) {
            uint8_t* texture = static_cast<uint8_t*>(locked.pBits) +
                               static_cast<size_t>(y) * locked.Pitch;
            if (toTexture)
                std::memcpy(texture, buffer + y * row, row);
            else
                std::memcpy(buffer + y * row, texture, row);
        }
        area.texture->UnlockRect(static_cast<V_UINT>(level));
        return true;
    };
    uint8_t* above = work;
    uint8_t* below = work + half;
    int result = move(0, above, width, height, false) ? 0 : -1;
    for (int level = 1; result == 0 && level < area.levels; ++level) {
        if (ShrinkImageHalf(conversion.destination, below, bytes * MipLevelSide(width, 1), above,
                            bytes * width, 0, 0, 0, 0, width, height) != 0 ||
            !move(level, below, MipLevelSide(width, 1), MipLevelSide(height, 1), true)) {
            result = -1;
            break;
        }
        width = MipLevelSide(width, 1);
        height = MipLevelSide(height, 1);
        uint8_t* swap = above;
        above = below;
        below = swap;
    }
    FreeMemory(work);
    return result;
}

// A drawable graph's textures cannot be locked: the source is converted into a system-memory
// surface and copied from there into each piece it overlaps.
int TransferToDrawable(V_IDirect3DDevice9* device, GraphRecord* record, V_D3DFORMAT format,
                       const ColorFormat* destinationFormat, const ImageRecord* image,
                       const ImageRecord* alphaImage, const V_RECT* sourceRect,
                       int destinationX, int destinationY, int keyToAlpha) {
    const int width = sourceRect->right - sourceRect->left;
    const int height = sourceRect->bottom - sourceRect->top;
    V_IDirect3DSurface9* memory = nullptr;
    if (destinationFormat == nullptr ||
        V_FAILED(device->CreateOffscreenPlainSurface(static_cast<V_UINT>(width),
                                                     static_cast<V_UINT>(height), format,
                                                     V_D3DPOOL_SYSTEMMEM, &memory, nullptr)) ||
        memory == nullptr) {
        WriteLog("画像転送用のシステムメモリテクスチャの作成に失敗しました\n");
        return -1;
    }
    V_D3DLOCKED_RECT locked{};
    if (V_FAILED(memory->LockRect(&locked, nullptr, 0))) {
        memory->Release();
        WriteLog("画像転送用のシステムメモリテクスチャの作成に失敗しました\n");
        return -1;
    }
    V_RECT from = *sourceRect;
    if (alphaImage != nullptr) {
        if (from.right > alphaImage->width) from.right = alphaImage->width;
        if (from.bottom > alphaImage->height) from.bottom = alphaImage->height;
    }
    if (from.right > from.left && from.bottom > from.top)
        ConvertPixelFormatRect(locked.pBits, locked.Pitch, destinationFormat, image->pixels,
                               image->pitch, &image->format,
                               alphaImage ? alphaImage->pixels : nullptr,
                               alphaImage ? alphaImage->pitch : 0,
                               alphaImage ? &alphaImage->format : nullptr, 0, 0, &from, 0,
                               keyToAlpha, record->image->transparentColor, 0, 0, 0, 0, 0);
    memory->UnlockRect();
    int result = 0;
    for (int i = 0; i < record->pieceCount; ++i) {
        const PieceDrawRecord& draw = record->pieces[i];
        int left = draw.x > destinationX ? draw.x : destinationX;
        int top = draw.y > destinationY ? draw.y : destinationY;
        int right = draw.x + draw.width < destinationX + width ? draw.x + draw.width
                                                               : destinationX + width;
        int bottom = draw.y + draw.height < destinationY + height ? draw.y + draw.height
                                                                  : destinationY + height;
        if (right <= left || bottom <= top || draw.piece == nullptr ||
            draw.piece->surface == nullptr)
            continue;
        V_RECT part{left - destinationX, top - destinationY, right - destinationX,
                    bottom - destinationY};
        V_POINT at{draw.textureX + left - draw.x, draw.textureY + top - draw.y};
        if (V_FAILED(device->UpdateSurface(memory, &part, draw.piece->surface, &at))) {
            WriteLog("描画可能テクスチャへの画像の転送に失敗しました\n");
            result = -1;
            break;
        }
    }
    memory->Release();
    return result;
}

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

namespace {

// The part of piece i (of the graph's draw records, or of the store's pieces with the whole-image
// flag) that a transfer of the source rectangle to (destinationX, destinationY) covers; false
// when it covers none. wholePiece tells that the part is the piece's whole picture.
bool PieceShare(const GraphRecord* record, int i, int wholeImage, const V_RECT* sourceRect,
                int destinationX, int destinationY, PieceArea* area, bool* wholePiece) {
    // The piece's area in graph coordinates and its offset inside the texture.
    int partX, partY, partWidth, partHeight, textureX, textureY;
    const TexturePiece* piece;
    if (wholeImage) {
        piece = &record->image->pieces[i];
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
    const int width = sourceRect->right - sourceRect->left;
    const int height = sourceRect->bottom - sourceRect->top;
    int left = partX > destinationX ? partX : destinationX;
    int top = partY > destinationY ? partY : destinationY;
    int right = partX + partWidth < destinationX + width ? partX + partWidth : destinationX + width;
    int bottom =
        partY + partHeight < destinationY + height ? partY + partHeight : destinationY + height;
    if (right <= left || bottom <= top || piece == nullptr || piece->texture == nullptr)
        return false;
    *wholePiece = left == partX && top == partY && right - left == piece->width &&
                  bottom - top == piece->height && textureX == 0 && textureY == 0;
    int textureLevels = static_cast<int>(piece->texture->GetLevelCount());
    *area = {piece->texture,
             textureLevels > 1 ? textureLevels : 1,
             {sourceRect->left + left - destinationX, sourceRect->top + top - destinationY,
              sourceRect->left + right - destinationX, sourceRect->top + bottom - destinationY},
             textureX + left - partX,
             textureY + top - partY,
             piece->width,
             piece->height};
    return true;
}

// Whether compressed textures of the given kind can take the transfer as blocks: only whole
// pieces on block borders, from blocks of their own kind with every level the texture has, and
// with no alpha image to apply.
bool TakesBlocks(const GraphRecord* record, int pieceCount, int wholeImage,
                 const ImageRecord* image, const ImageRecord* alphaImage,
                 const V_RECT* sourceRect, int destinationX, int destinationY, int kind) {
    if (alphaImage != nullptr || image->format.formatCode != static_cast<uint32_t>(kind))
        return false;
    for (int i = 0; i < pieceCount; ++i) {
        PieceArea area{};
        bool wholePiece = false;
        if (!PieceShare(record, i, wholeImage, sourceRect, destinationX, destinationY, &area,
                        &wholePiece))
            continue;
        if (!wholePiece || ImageMipLevelCount(image) < area.levels || area.from.left % 4 != 0 ||
            area.from.top % 4 != 0)
            return false;
    }
    return true;
}

int TransferPixels(int graph, GraphRecord* record, const ImageRecord* image,
                   const ImageRecord* alphaImage, const V_RECT* sourceRect, int destinationX,
                   int destinationY, int colorKey, int wholeImage) {
    int width = sourceRect->right - sourceRect->left;
    int height = sourceRect->bottom - sourceRect->top;
    SharedImage* shared = record->image;

    if (!shared->desc.textureMode) {
        V_RECT target{destinationX, destinationY, destinationX + width, destinationY + height};
        MEMIMG* view = wholeImage ? &shared->image : &record->view;
        V_RECT area{0, 0, view->width, view->height};
        ClipRect(&target, &area);
        if (target.right <= target.left || target.bottom <= target.top) return -1;
        const int width = target.right - target.left, height = target.bottom - target.top;
        int result = TransferImageMemImg(image, alphaImage, view,
                                         sourceRect->left + target.left - destinationX,
                                         sourceRect->top + target.top - destinationY, width,
                                         height, target.left, target.top, colorKey);
        // A palette image's key follows its new palette: the index of the graph's transparent
        // colour. The run code compares with the key, so it is made again after it.
        if (result == 0 && view->base->paletteFlag == 1) {
            SetMemImgPaletteKey(view, shared->transparentColor);
            UpdateMemImgRunCode(view, width, height);
        }
        return result;
    }

    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    if (device == nullptr) return -1;
    const bool drawable = shared->desc.drawable && !wholeImage;
    int pieceCount = drawable ? 0 : wholeImage ? shared->pieceCount : record->pieceCount;
    // Compressed textures that cannot take this transfer as blocks become plain ones first,
    // keeping their picture around what is written, so that the graph takes the new picture.
    int textureDxt = TextureDxtKind(shared);
    if (textureDxt != 0 && !drawable &&
        !TakesBlocks(record, pieceCount, wholeImage, image, alphaImage, sourceRect, destinationX,
                     destinationY, textureDxt)) {
        if (UnpackCompressedTextures(graph) != 0) return -1;
        textureDxt = 0;
    }
    V_D3DFORMAT format = g_GraphicsDevice.textureFormats.formats[shared->formatIndex];
    const ColorFormat* destinationFormat = GetD3DFormatColorFormat(format);
    const bool keyToAlpha = colorKey && alphaImage == nullptr && destinationFormat != nullptr &&
                            destinationFormat->alphaMask != 0;

    // Only a compressed texture takes DXT blocks as they are; every conversion reads decoded
    // pixels (the alpha image always, the image unless the texture is compressed). Only the
    // first level is decoded; lower levels are then made from it.
    ImageRecord decoded{};
    ImageRecord decodedAlpha{};
    const ImageRecord* source =
        textureDxt != 0 && !drawable ? image : PlainImageRecord(image, &decoded);
    const ImageRecord* plainAlpha =
        alphaImage != nullptr ? PlainImageRecord(alphaImage, &decodedAlpha) : nullptr;
    int result = 0;
    if (source == nullptr || (alphaImage != nullptr && plainAlpha == nullptr)) {
        WriteLog("標準イメージ用のメモリ確保に失敗しました\n");
        result = -1;
    } else if (drawable) {
        result = TransferToDrawable(device, record, format, destinationFormat, source, plainAlpha,
                                    sourceRect, destinationX, destinationY, keyToAlpha ? 1 : 0);
    }
    // Other graphs: piece by piece.
    if (result != 0) pieceCount = 0;
    for (int i = 0; i < pieceCount; ++i) {
        PieceArea area{};
        bool wholePiece = false;
        if (!PieceShare(record, i, wholeImage, sourceRect, destinationX, destinationY, &area,
                        &wholePiece))
            continue;
        if (textureDxt != 0) {
            if (CopyDxtLevels(area, image) != 0) {
                result = -1;
                break;
            }
            continue;
        }
        if (destinationFormat == nullptr) continue;
        Conversion conversion{destinationFormat, plainAlpha, keyToAlpha ? 1 : 0,
                              shared->transparentColor};
        int sourceLevels = ImageMipLevelCount(source);
        if (plainAlpha != nullptr && ImageMipLevelCount(plainAlpha) < sourceLevels)
            sourceLevels = ImageMipLevelCount(plainAlpha);
        if (area.levels > 1 && sourceLevels < area.levels) {
            if (ConvertAndShrinkLevels(area, source, conversion) != 0) {
                result = -1;
                break;
            }
            continue;
        }
        for (int level = 0; level < area.levels && result == 0; ++level)
            if (ConvertLevel(area, source, conversion, level) != 0) result = -1;
        if (result != 0) break;
    }
    if (decoded.pixels != nullptr) ReleaseImageRecord(&decoded);
    if (decodedAlpha.pixels != nullptr) ReleaseImageRecord(&decodedAlpha);
    return result;
}

}  // namespace

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
    // With an alpha image the colour image's own alpha channel is not read: the alpha image
    // gives the graph its alpha, whatever the colour image carries.
    ImageRecord decoded{};
    ImageRecord colourOnly{};
    if (alphaImage != nullptr && image->format.alphaMask != 0) {
        const ImageRecord* plain = PlainImageRecord(image, &decoded);
        if (plain == nullptr) {
            WriteLog("標準イメージ用のメモリ確保に失敗しました\n");
            return -1;
        }
        colourOnly = *plain;
        colourOnly.format.alphaMask = 0;
        colourOnly.format.alphaWidth = 0;
        colourOnly.format.alphaShift = 0;
        UpdateUnusedBitsMask(&colourOnly.format);
        image = &colourOnly;
    }
    int result = TransferPixels(graph, record, image, alphaImage, sourceRect, destinationX,
                                destinationY, colorKey, wholeImage);
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
    std::unordered_set<const SharedImage*> whole;  // compressed stores already given their picture
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
        int handle = MakeHandle(record->checkNumber, kGraphHandleKind, slot);
        // Compressed textures take only whole pieces: their store gets its whole picture back
        // once, from where it lies in the file, rather than graph by graph (the graphs of a
        // divided sheet, whose base is gone, cover only parts of the pieces).
        if (TextureDxtKind(record->image) != 0) {
            if (whole.count(record->image) != 0) continue;
            const SharedImage* shared = record->image;
            const int left = record->sourceX - record->x, top = record->sourceY - record->y;
            const V_RECT rect{left, top, left + shared->width, top + shared->height};
            if (TransferImageToTextures(handle, &image, alpha.pixels != nullptr ? &alpha : nullptr,
                                        &rect, 0, 0, g_DrawSettings.noColorKey ? 0 : 1,
                                        1) == 0) {
                whole.insert(record->image);
                continue;
            }
        }
        // A graph cut from its file beyond the picture keeps the part that lies inside.
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
