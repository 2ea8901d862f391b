// Texture layout of a graph's pixel store: the format index, the split of a picture into
// power-of-two texture pieces, and the draw records of each graph over those pieces.
#include <cstring>

#include "core/core.h"
#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"

namespace {

constexpr int kMaxPiecesPerAxis = 256;
constexpr int kMaxPieces = 256;

}  // namespace

int g_SingleTextureGraph = 0;

int GetTextureFormatIndex(const GraphFormatDesc* desc) {
    if (desc->dxtKind >= 1 && desc->dxtKind <= 5) return kTextureDxt1 + desc->dxtKind - 1;
    int wide = desc->bitDepth != 16 ? 1 : 0;
    if (!desc->drawable) {
        if (desc->alphaChannel) return kTexture16Alpha + wide;
        if (desc->alphaTest) return kTexture16AlphaTest + wide;
        return kTexture16 + wide;
    }
    if (desc->alphaChannel || desc->alphaTest) return kTextureTarget32Alpha;
    return kTextureTarget16 + wide;
}

int SplitTextureSizes(int size, int* sizes, int single) {
    int maximum = g_GraphicsDevice.maxTextureSize > 0 ? g_GraphicsDevice.maxTextureSize : 256;
    if (size < 9) {
        if (sizes != nullptr) sizes[0] = 8;
        return 1;
    }
    int piece = maximum;
    while (piece > 8 && piece > size) piece /= 2;
    int screenWidth = 0;
    GetScreenSize(&screenWidth, nullptr);
    if ((single || size < screenWidth) && piece * 2 <= maximum) {
        if (sizes != nullptr) sizes[0] = piece < size ? piece * 2 : piece;
        return 1;
    }
    int list[kMaxPiecesPerAxis + 1];
    int count = 0;
    int left = size;
    for (;;) {
        if (count >= kMaxPiecesPerAxis) return -1;
        list[count++] = piece;
        left -= piece;
        if (left <= 0) break;
        if (left > piece * 3 / 4 && piece < maximum) {
            list[count - 1] = piece * 2;
            break;
        }
        while (piece > 8 && piece > left) piece /= 2;
    }
    if (count >= 2 && list[count - 1] == list[count - 2] && list[count - 1] * 2 <= maximum) {
        list[count - 2] *= 2;
        --count;
    }
    if (sizes != nullptr) std::memcpy(sizes, list, sizeof(int) * count);
    return count;
}

int LayoutTexturePieces(SharedImage* image, int single) {
    int widths[kMaxPiecesPerAxis + 1];
    int heights[kMaxPiecesPerAxis + 1];
    int columns = SplitTextureSizes(image->width, widths, single);
    int rows = SplitTextureSizes(image->height, heights, single);
    if (columns < 0 || rows < 0 || columns * rows > kMaxPieces) {
        WriteLog("テクスチャの分割数が多すぎます\n");
        return -1;
    }
    TexturePiece list[kMaxPieces * 8];
    int count = 0;
    int y = 0;
    for (int row = 0; row < rows; ++row) {
        int x = 0;
        for (int column = 0; column < columns; ++column) {
            TexturePiece& piece = list[count++];
            piece = {};
            piece.x = x;
            piece.y = y;
            piece.textureWidth = widths[column];
            piece.textureHeight = heights[row];
            piece.width = image->width - x < widths[column] ? image->width - x : widths[column];
            piece.height = image->height - y < heights[row] ? image->height - y : heights[row];
            x += widths[column];
        }
        y += heights[row];
    }
    if (g_GraphicsDevice.caps.TextureCaps & V_D3DPTEXTURECAPS_SQUAREONLY) {
        int grid = count;
        for (int i = 0; i < grid; ++i) {
            TexturePiece base = list[i];
            int side = base.textureWidth < base.textureHeight ? base.textureWidth
                                                              : base.textureHeight;
            bool across = base.textureWidth > base.textureHeight;
            int longer = across ? base.textureWidth : base.textureHeight;
            for (int step = 0; step * side < longer; ++step) {
                TexturePiece square = base;
                square.textureWidth = side;
                square.textureHeight = side;
                int offset = step * side;
                int shown = (across ? base.width : base.height) - offset;
                if (shown <= 0) break;
                if (shown > side) shown = side;
                if (across) {
                    square.x = base.x + offset;
                    square.width = shown;
                } else {
                    square.y = base.y + offset;
                    square.height = shown;
                }
                if (step == 0) {
                    list[i] = square;
                } else {
                    if (count >= kMaxPieces * 8) {
                        WriteLog("テクスチャの分割数が多すぎます\n");
                        return -1;
                    }
                    list[count++] = square;
                }
            }
        }
    }
    image->pieces = static_cast<TexturePiece*>(VELK_ALLOC_ZEROED(sizeof(TexturePiece) * count));
    if (image->pieces == nullptr) return -1;
    std::memcpy(image->pieces, list, sizeof(TexturePiece) * count);
    image->pieceCount = count;
    return 0;
}

namespace {

bool Overlaps(int a, int aLength, int b, int bLength) { return a < b + bLength && b < a + aLength; }

void FillPartAxis(int pieceStart, int pieceLength, int graphStart, int graphLength, int32_t* part,
                  int32_t* texture, int32_t* length) {
    int start = pieceStart > graphStart ? pieceStart : graphStart;
    int end = pieceStart + pieceLength < graphStart + graphLength ? pieceStart + pieceLength
                                                                  : graphStart + graphLength;
    *part = start - graphStart;
    *texture = start - pieceStart;
    *length = end - start;
}

}  // namespace

int BuildPieceDrawRecords(int graph) {
    GraphRecord* record = GetGraphRecord(graph);
    if (record == nullptr || record->image == nullptr) return -1;
    SharedImage* image = record->image;
    if (image->desc.textureMode == 0) {
        MakeMemImgView(&record->view, &image->image, record->x, record->y, record->width,
                       record->height);
        return 0;
    }
    int marked[kMaxPieces * 8];
    int count = 0;
    for (int i = 0; i < image->pieceCount; ++i) {
        const TexturePiece& piece = image->pieces[i];
        if (Overlaps(piece.x, piece.width, record->x, record->width) &&
            Overlaps(piece.y, piece.height, record->y, record->height))
            marked[count++] = i;
    }
    if (count == 0) {
        WriteLog("テクスチャ描画情報の作成に失敗しました\n");
        return -1;
    }
    auto* pieces = static_cast<PieceDrawRecord*>(
        VELK_REALLOC(record->pieces, sizeof(PieceDrawRecord) * count));
    if (pieces == nullptr) {
        WriteLog("画像描画情報格納用メモリの確保に失敗しました\n");
        return -1;
    }
    record->pieces = pieces;
    record->pieceCount = count;
    double w = record->width;
    double h = record->height;
    for (int i = 0; i < count; ++i) {
        TexturePiece* piece = &image->pieces[marked[i]];
        PieceDrawRecord& draw = pieces[i];
        draw = {};
        FillPartAxis(piece->x, piece->width, record->x, record->width, &draw.x, &draw.textureX,
                     &draw.width);
        FillPartAxis(piece->y, piece->height, record->y, record->height, &draw.y, &draw.textureY,
                     &draw.height);
        const float tw = static_cast<float>(piece->textureWidth);
        const float th = static_cast<float>(piece->textureHeight);
        for (int corner = 0; corner < 4; ++corner) {
            int dx = (corner & 1) ? draw.width : 0;
            int dy = (corner & 2) ? draw.height : 0;
            PieceCorner& c = draw.corners[corner];
            c.x = static_cast<float>(draw.x + dx);
            c.y = static_cast<float>(draw.y + dy);
            c.u = static_cast<float>(draw.textureX + dx) / tw;
            c.v = static_cast<float>(draw.textureY + dy) / th;
            draw.side[corner] = c.y <= h - c.x * (h / w) ? 1 : 0;
        }
        draw.piece = piece;
    }
    return 0;
}
