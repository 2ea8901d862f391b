// A new graph's pixel store: its format, its texture pieces or software image, their creation,
// release and re-creation around a device re-creation, and filling a graph with one colour.
#include <cstring>

#include "core/core.h"
#include "draw/draw_settings.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/render_state.h"
#include "graphics/shader.h"
#include "softblit/softblit.h"

namespace {

bool IsDxtFormat(V_D3DFORMAT format) {
    return format == V_D3DFMT_DXT1 || format == V_D3DFMT_DXT2 || format == V_D3DFMT_DXT3 ||
           format == V_D3DFMT_DXT4 || format == V_D3DFMT_DXT5;
}

// Zeroes every level of a managed texture, each level sized as it is (blocks for DXT).
void ZeroTextureLevels(TexturePiece* piece, int levels, bool dxt) {
    for (int level = 0; level < (levels > 0 ? levels : 1); ++level) {
        V_D3DLOCKED_RECT locked{};
        if (V_FAILED(piece->texture->LockRect(static_cast<V_UINT>(level), &locked, nullptr, 0)))
            break;
        int height = piece->textureHeight >> level;
        if (height < 1) height = 1;
        int rows = dxt ? (height + 3) / 4 : height;
        if (locked.pBits != nullptr && locked.Pitch > 0)
            std::memset(locked.pBits, 0, static_cast<size_t>(locked.Pitch) * rows);
        piece->texture->UnlockRect(static_cast<V_UINT>(level));
    }
}

template <class T>
void ReleaseObject(T** object) {
    if (*object != nullptr) (*object)->Release();
    *object = nullptr;
}

}  // namespace

int CreateOriginalTextures(SharedImage* image) {
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    if (image->desc.textureMode == 0) return 0;
    if (device == nullptr) return -1;
    V_D3DFORMAT format = image->formatIndex >= 0 && image->formatIndex < kTextureFormatCount
                             ? g_GraphicsDevice.textureFormats.formats[image->formatIndex]
                             : V_D3DFMT_UNKNOWN;
    if (format == V_D3DFMT_UNKNOWN) {
        WriteLog("指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
        return -1;
    }
    bool defaultPool = image->desc.defaultPool != 0;
    for (int i = 0; i < image->pieceCount; ++i) {
        TexturePiece* piece = &image->pieces[i];
        if (piece->texture != nullptr) continue;
        if (V_FAILED(device->CreateTexture(
                static_cast<V_UINT>(piece->textureWidth), static_cast<V_UINT>(piece->textureHeight),
                static_cast<V_UINT>(image->mipLevels),
                image->desc.drawable ? V_DWORD{V_D3DUSAGE_RENDERTARGET} : V_DWORD{0}, format,
                defaultPool ? V_D3DPOOL_DEFAULT : V_D3DPOOL_MANAGED, &piece->texture, nullptr))) {
            piece->texture = nullptr;
            WriteLog("テクスチャの作成に失敗しました\n");
            return -1;
        }
        if (V_FAILED(piece->texture->GetSurfaceLevel(0, &piece->surface))) {
            piece->surface = nullptr;
            WriteLog("テクスチャのサーフェスアドレスの取得に失敗しました\n");
            return -1;
        }
        if (image->desc.drawable) {
            device->ColorFill(piece->surface, nullptr, 0);
        } else if (!defaultPool && !IsDxtFormat(format)) {
            ZeroTextureLevels(piece, image->mipLevels, false);
        }
    }
    return 0;
}

int ReleasePieceTextures(SharedImage* image) {
    for (int i = 0; i < image->pieceCount; ++i) {
        ReleaseObject(&image->pieces[i].surface);
        ReleaseObject(&image->pieces[i].texture);
    }
    return 0;
}

int ReleaseDrawableWork(SharedImage* image) {
    if (!image->desc.drawable) return 0;
    if (image->desc.textureMode != 0) {
        for (int i = 0; i < image->pieceCount; ++i) ReleaseObject(&image->pieces[i].backup);
    } else if (image->workImage != nullptr) {
        ReleaseMemImg(image->workImage);
        FreeMemory(image->workImage);
        image->workImage = nullptr;
    }
    return 0;
}

int ReleaseAllTextures() {
    for (int slot = 0; slot < g_GraphTable.highWater; ++slot) {
        GraphRecord* record = g_GraphTable.records[slot];
        if (record != nullptr && record->image != nullptr && record->image->desc.textureMode)
            ReleasePieceTextures(record->image);
    }
    ReleaseShaderObjects();
    return 0;
}

int RecreateAllTextures() {
    for (int slot = 0; slot < g_GraphTable.highWater; ++slot) {
        GraphRecord* record = g_GraphTable.records[slot];
        if (record != nullptr && record->image != nullptr) CreateOriginalTextures(record->image);
    }
    RemakeShaderObjects();
    return 0;
}

int SetupOriginalImage(int graph, int width, int height, int alpha, int palette, int dxtKind,
                       int mipLevels) {
    GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr) return -1;
    const DrawSettings& settings = g_DrawSettings;
    const bool device = g_ScreenSettings.useDirect3D != 0;
    GraphFormatDesc desc{};
    int levels = mipLevels < 0 ? 1 : mipLevels;
    if (settings.drawableGraphs) {
        desc.drawable = 1;
        desc.defaultPool = 1;
        // A drawable graph made with alpha keeps it, as on the software path: its texture is
        // the render target format with an alpha channel.
        desc.alphaChannel = static_cast<uint8_t>(settings.drawableAlpha || alpha ? 1 : 0);
        levels = 0;
    } else {
        desc.defaultPool = static_cast<uint8_t>(settings.defaultPool ? 1 : 0);
        desc.alphaChannel = static_cast<uint8_t>(alpha ? 1 : 0);
        desc.dxtKind = static_cast<uint8_t>(dxtKind);
        desc.alphaTest = static_cast<uint8_t>(settings.alphaTest && !alpha ? 1 : 0);
        desc.blendGraph = static_cast<uint8_t>(settings.blendGraphFormat ? 1 : 0);
    }
    int screenBits = GetColorBitDepth();
    if (device) {
        desc.textureMode = 1;
        desc.bitDepth = static_cast<uint8_t>(
            settings.createBitDepth != 0 ? settings.createBitDepth : alpha ? 32 : screenBits);
        if (desc.blendGraph) {
            desc.bitDepth = 32;
            desc.alphaChannel = 1;
            desc.drawable = 0;
            desc.alphaTest = 0;
        }
    } else {
        desc.dxtKind = 0;
        desc.bitDepth = static_cast<uint8_t>(settings.createBitDepth != 0 ? settings.createBitDepth
                                                                          : screenBits);
        // Drawable only when made so, as on the device: only such a graph can be a draw target.
        desc.software = 1;
        desc.defaultPool = 0;
        levels = 0;
        desc.alphaTest = 0;
        desc.palette = static_cast<uint8_t>(palette ? 1 : 0);
    }
    desc.mipLevels = static_cast<uint8_t>(levels);

    auto* image = static_cast<SharedImage*>(VELK_ALLOC_ZEROED(sizeof(SharedImage)));
    if (image == nullptr) {
        WriteLog("グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n");
        DeleteGraph(graph);
        return -1;
    }
    image->desc = desc;
    image->transparentColor = settings.transparentColor;
    image->referenceCount = 1;
    image->width = width;
    image->height = height;
    record->image = image;
    record->x = record->y = 0;
    record->width = width;
    record->height = height;
    if (device) {
        image->formatIndex = GetTextureFormatIndex(&desc);
        image->mipLevels = levels;
        int single = g_SingleTextureGraph || desc.drawable || desc.blendGraph;
        if (LayoutTexturePieces(image, single) != 0 || CreateOriginalTextures(image) != 0) {
            DeleteGraph(graph);
            return -1;
        }
    } else if (desc.blendGraph) {
        if (CreateMemImg(&image->image, width, height, -1, 0, kMemImgChannel8, 0, 0, 0, nullptr) !=
            0) {
            WriteLog("ブレンド画像用メモリイメージの作成に失敗しました\n");
            DeleteGraph(graph);
            return -1;
        }
    } else {
        int type = desc.bitDepth == 16 ? kMemImgR5G6B5 : kMemImgX8R8G8B8;
        uint32_t rgb = settings.transparentColor;
        uint32_t key = palette ? kNoPaletteKey
                               : EncodePixel(GetMemImgColorFormat(type, alpha, 0),
                                             (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, 0);
        if (CreateMemImg(&image->image, width, height, -1, key, type, palette, alpha, 0,
                         nullptr) != 0) {
            WriteLog("メモリイメージの作成に失敗しました\n");
            DeleteGraph(graph);
            return -1;
        }
        image->formatIndex = (type == kMemImgR5G6B5 ? kSoftFormat16 : kSoftFormat32) +
                             (alpha ? 1 : 0);
    }
    if (BuildPieceDrawRecords(graph) != 0) {
        DeleteGraph(graph);
        return -1;
    }
    return 0;
}

int MakeGraph(int width, int height) {
    if (!g_ScreenSettings.initialised || width <= 0 || height <= 0) return -1;
    int graph = NewGraphHandle();
    if (SetupOriginalImage(graph, width, height, g_DrawSettings.makeGraphAlpha, 0, 0, -1) != 0)
        return -1;
    return graph;
}

int FillGraphColor(int graph, int red, int green, int blue, int alpha) {
    GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr || record->image == nullptr) return -1;
    auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    red = clamp(red);
    green = clamp(green);
    blue = clamp(blue);
    alpha = clamp(alpha);
    if (record->image->desc.textureMode) {
        V_IDirect3DDevice9* device = g_GraphicsDevice.device;
        if (device == nullptr) return -1;
        if (!record->image->desc.drawable) return 0;
        V_D3DCOLOR color = static_cast<V_D3DCOLOR>(alpha) << 24 |
                           static_cast<V_D3DCOLOR>(red) << 16 |
                           static_cast<V_D3DCOLOR>(green) << 8 | static_cast<V_D3DCOLOR>(blue);
        for (int i = 0; i < record->pieceCount; ++i) {
            const PieceDrawRecord& draw = record->pieces[i];
            V_RECT rect{draw.textureX, draw.textureY, draw.textureX + draw.width,
                        draw.textureY + draw.height};
            device->ColorFill(draw.piece->surface, &rect, color);
        }
        return 0;
    }
    // A palette graph takes the colour's entry; a graph with alpha takes the colour and the alpha
    // (the box kernels draw into neither).
    MemImgBase* base = record->view.base;
    if (base != nullptr && base->paletteFlag) {
        if (FillPaletteMemImg(&record->view,
                              static_cast<uint32_t>(red << 16 | green << 8 | blue)) != 0)
            return -1;
        SetMemImgPaletteKey(&record->view, record->image->transparentColor);
        UpdateMemImgRunCode(&record->view, record->width, record->height);
        return 0;
    }
    if (base != nullptr && base->alphaFlag) {
        FillMemImgRect(&record->view, nullptr,
                       EncodePixel(base->colorFormat, red, green, blue, alpha));
        UpdateMemImgRunCode(&record->view, record->width, record->height);
        return 0;
    }
    // A box of the whole graph, drawn as every box is: clipped to the draw area, under the blend
    // mode and the bright colour.
    const int32_t box[4] = {0, 0, record->width, record->height};
    FillMemImgBox(&record->view, box, GetScreenColor(red, green, blue));
    return 0;
}
