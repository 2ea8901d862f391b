// BMP loader: 4-, 8- and 24-bit and run-length images decoded here, every other layout drawn
// into a 24-bit DIB section through GDI.
#include <cstring>

#include "graphics/graphics.h"
#include "graphics/image_stream.h"
#include "platform/gdi/gdi_dib.h"

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

struct BmpImage {
    V_BITMAPINFO* info;     // header block: the info header and the palette or masks
    uint8_t* data;          // everything from the pixel-data offset to the end
    size_t dataSize;
    int width;
    int height;             // absolute
    bool bottomUp;
    int bitCount;
    uint32_t compression;
    int64_t fileRowSize;
};

void CopyPalette(ImageRecord* record, const V_BITMAPINFO* info, int count) {
    std::memset(record->format.palette, 0, sizeof(record->format.palette));
    for (int i = 0; i < count; ++i) {
        const V_RGBQUAD& q = info->bmiColors[i];
        record->format.palette[i] = PaletteEntry{q.rgbBlue, q.rgbGreen, q.rgbRed, 0};
    }
}

// Run-length decoding of 8-bit (nibbles false) or 4-bit (nibbles true) data into one byte a
// pixel. Runs and deltas stop at the image's edges; data that ends early leaves the rest 0.
void DecodeRle(const BmpImage& b, bool nibbles, uint8_t* out, int64_t pitch) {
    int64_t row = b.bottomUp ? b.height - 1 : 0;
    int64_t step = b.bottomUp ? -1 : 1;
    int64_t x = 0;
    size_t at = 0;
    auto put = [&](int value) {
        if (x < b.width && row >= 0 && row < b.height) out[row * pitch + x] = static_cast<uint8_t>(value);
        ++x;
    };
    while (at + 2 <= b.dataSize) {
        int count = b.data[at], value = b.data[at + 1];
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(nibbles ? ((i & 1) ? value & 0xF : value >> 4) : value);
            continue;
        }
        if (value == 0) {  // end of line
            row += step;
            x = 0;
        } else if (value == 1) {  // end of bitmap
            return;
        } else if (value == 2) {  // delta
            if (at + 2 > b.dataSize) return;
            x += b.data[at];
            row += step * b.data[at + 1];
            at += 2;
        } else {  // absolute run of value pixels, padded to 16 bits
            size_t bytes = nibbles ? (static_cast<size_t>(value) + 1) / 2 : value;
            if (at + bytes > b.dataSize) return;
            for (int i = 0; i < value; ++i) {
                int v = nibbles ? ((i & 1) ? b.data[at + i / 2] & 0xF : b.data[at + i / 2] >> 4)
                                : b.data[at + i];
                put(v);
            }
            at += (bytes + 1) & ~static_cast<size_t>(1);
        }
        if (row < 0 || row >= b.height) return;
    }
}

bool IsPlainRows(const BmpImage& b) {
    return b.compression == V_BI_RGB && (b.bitCount == 8 || b.bitCount == 24);
}

uint8_t* SplitNibbles(const BmpImage& b, int64_t pitch) {
    uint8_t* out = static_cast<uint8_t*>(VELK_ALLOC_ZEROED(static_cast<size_t>(pitch * b.height)));
    if (!out) return nullptr;
    for (int y = 0; y < b.height; ++y) {
        const uint8_t* src = b.data + (b.bottomUp ? b.height - 1 - y : y) * b.fileRowSize;
        uint8_t* dst = out + y * pitch;
        for (int x = 0; x < b.width; ++x)
            dst[x] = (x & 1) ? src[x / 2] & 0xF : src[x / 2] >> 4;
    }
    return out;
}

// Every other layout: drawn into a top-down 24-bit DIB section by GDI.
uint8_t* ConvertThroughGdi(const BmpImage& b, int64_t* pitch) {
    V_HDC dc = V_CreateCompatibleDC(nullptr);
    V_BITMAPINFO target = {};
    target.bmiHeader.biSize = kInfoHeaderSize;
    target.bmiHeader.biWidth = b.width;
    target.bmiHeader.biHeight = -b.height;
    target.bmiHeader.biPlanes = 1;
    target.bmiHeader.biBitCount = 24;
    target.bmiHeader.biCompression = V_BI_RGB;
    void* bits = nullptr;
    V_HBITMAP section = V_CreateDIBSection(dc, &target, V_DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section) {
        WriteLog("ＤＩＢの作成に失敗しました3\n");
        if (dc) V_DeleteDC(dc);
        return nullptr;
    }
    V_HGDIOBJ previous = V_SelectObject(dc, reinterpret_cast<V_HGDIOBJ>(section));
    V_BITMAP bitmap = {};
    V_GetObjectA(reinterpret_cast<V_HGDIOBJ>(section), sizeof(bitmap), &bitmap);
    int64_t rowSize = (static_cast<int64_t>(bitmap.bmWidthBytes) + 3) & ~int64_t{3};
    V_SetDIBitsToDevice(dc, 0, 0, b.width, b.height, 0, 0, 0, b.height, b.data, b.info,
                        V_DIB_RGB_COLORS);
    uint8_t* out = static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(rowSize * b.height)));
    if (!out) {
        WriteLog("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
    } else {
        std::memcpy(out, bits, static_cast<size_t>(rowSize * b.height));
        *pitch = rowSize;
    }
    V_SelectObject(dc, previous);
    V_DeleteObject(reinterpret_cast<V_HGDIOBJ>(section));
    V_DeleteDC(dc);
    return out;
}

int ReadBmp(StreamHolder* stream, BmpImage& b) {
    SeekStream(stream, 0, 2);
    int64_t streamSize = TellStream(stream);
    SeekStream(stream, 0, 0);

    uint8_t fileHeader[kFileHeaderSize];
    if (!ReadStreamExact(stream, fileHeader, sizeof(fileHeader)) || fileHeader[0] != 'B' ||
        fileHeader[1] != 'M')
        return -1;
    uint32_t dataOffset = ReadLe32(fileHeader + 10);
    uint8_t head[kInfoHeaderSize];
    if (!ReadStreamExact(stream, head, sizeof(head))) return -1;
    uint32_t headerSize = ReadLe32(head);
    int64_t width = static_cast<int32_t>(ReadLe32(head + 4));
    int64_t height = static_cast<int32_t>(ReadLe32(head + 8));
    b.bitCount = ReadLe16(head + 14);
    b.compression = ReadLe32(head + 16);
    b.bottomUp = height > 0;
    if (height < 0) height = -height;
    if (headerSize < kInfoHeaderSize || width <= 0 || height <= 0 || !IsSaneImageSize(width, height))
        return -1;
    b.width = static_cast<int>(width);
    b.height = static_cast<int>(height);
    switch (b.bitCount) {
        case 1: case 4: case 8: case 16: case 24: case 32: break;
        default: return -1;
    }
    // Only layouts that can be decoded: run lengths of their own depth, bit fields of 16 or
    // 32 bits, plain rows.
    if (b.compression > V_BI_BITFIELDS || (b.compression == V_BI_RLE8 && b.bitCount != 8) ||
        (b.compression == V_BI_RLE4 && b.bitCount != 4) ||
        (b.compression == V_BI_BITFIELDS && b.bitCount != 16 && b.bitCount != 32))
        return -1;

    // Header block: palette entries follow the info header (whatever its size); bit-field
    // masks stand right after the first 40 bytes in every header version.
    int colors = b.bitCount <= 8 ? 1 << b.bitCount : 3;
    size_t blockSize = kInfoHeaderSize + static_cast<size_t>(colors) * 4;
    b.info = static_cast<V_BITMAPINFO*>(VELK_ALLOC_ZEROED(blockSize));
    if (!b.info) return -1;
    std::memcpy(&b.info->bmiHeader, head, kInfoHeaderSize);
    b.info->bmiHeader.biSize = kInfoHeaderSize;
    b.info->bmiHeader.biHeight = b.bottomUp ? b.height : -b.height;
    if (b.bitCount <= 8) {
        // A shorter palette, as the colours-used field gives it, leaves the other entries 0.
        uint32_t used = ReadLe32(head + 32);
        int stored = used > 0 && used < static_cast<uint32_t>(colors) ? static_cast<int>(used) : colors;
        if (SeekStream(stream, static_cast<int32_t>(kFileHeaderSize + headerSize), 0) != 0 ||
            TellStream(stream) != static_cast<int64_t>(kFileHeaderSize + headerSize) ||
            !ReadStreamExact(stream, b.info->bmiColors, static_cast<size_t>(stored) * 4))
            return -1;
    } else if (b.compression == V_BI_BITFIELDS) {
        // Plain 16- and 32-bit rows carry no masks: a small file may end right after its pixels.
        if (!ReadStreamExact(stream, b.info->bmiColors, 12)) return -1;
    }

    if (dataOffset >= streamSize) return -1;
    SeekStream(stream, static_cast<int32_t>(dataOffset), 0);
    b.dataSize = static_cast<size_t>(streamSize - dataOffset);
    b.fileRowSize = ((static_cast<int64_t>(b.bitCount) * b.width + 7) / 8 + 3) & ~int64_t{3};
    bool runLength = b.compression == V_BI_RLE8 || b.compression == V_BI_RLE4;
    if (!runLength && b.fileRowSize * b.height > static_cast<int64_t>(b.dataSize)) return -1;
    // Plain 8- and 24-bit rows stay in the stream: they are read once, into the record's block.
    if (IsPlainRows(b)) return 0;
    b.data = static_cast<uint8_t*>(VELK_ALLOC(b.dataSize));
    if (!b.data || !ReadStreamExact(stream, b.data, b.dataSize)) return -1;
    return 0;
}

// The rows of a plain 8- or 24-bit file read from the stream into a new top-down block.
uint8_t* ReadRowsTopDown(StreamHolder* stream, const BmpImage& b) {
    const size_t rowSize = static_cast<size_t>(b.fileRowSize);
    auto* out = static_cast<uint8_t*>(VELK_ALLOC(rowSize * static_cast<size_t>(b.height)));
    if (!out) return nullptr;
    // One read of all rows (a read per row costs a system call each), then a bottom-up file's
    // rows are swapped end for end in place.
    if (!ReadStreamExact(stream, out, rowSize * static_cast<size_t>(b.height))) {
        FreeMemory(out);
        return nullptr;
    }
    if (b.bottomUp) {
        uint8_t spare[4096];
        for (int y = 0, z = b.height - 1; y < z; ++y, --z) {
            uint8_t* top = out + rowSize * static_cast<size_t>(y);
            uint8_t* bottom = out + rowSize * static_cast<size_t>(z);
            for (size_t done = 0; done < rowSize; done += sizeof spare) {
                const size_t n = rowSize - done < sizeof spare ? rowSize - done : sizeof spare;
                std::memcpy(spare, top + done, n);
                std::memcpy(top + done, bottom + done, n);
                std::memcpy(bottom + done, spare, n);
            }
        }
    }
    return out;
}

void FreeBmp(BmpImage& b) {
    if (b.info) FreeMemory(b.info);
    if (b.data) FreeMemory(b.data);
    b.info = nullptr;
    b.data = nullptr;
}

}  // namespace

int LoadBmpImage(StreamHolder* stream, ImageRecord* record) {
    BmpImage b = {};
    if (ReadBmp(stream, b) != 0) {
        FreeBmp(b);
        return -1;
    }
    uint8_t* pixels = nullptr;
    int64_t pitch = 0;
    int64_t byteRows = (static_cast<int64_t>(b.width) + 3) & ~int64_t{3};
    if (b.compression == V_BI_RLE8 || b.compression == V_BI_RLE4) {
        bool nibbles = b.compression == V_BI_RLE4;
        pitch = nibbles ? byteRows : b.fileRowSize;
        pixels = static_cast<uint8_t*>(VELK_ALLOC_ZEROED(static_cast<size_t>(pitch * b.height)));
        if (pixels) DecodeRle(b, nibbles, pixels, pitch);
        SetColorFormatPalette8(&record->format);
        CopyPalette(record, b.info, nibbles ? 16 : 256);
    } else if (b.compression == V_BI_RGB && b.bitCount == 4) {
        pitch = byteRows;
        pixels = SplitNibbles(b, pitch);
        SetColorFormatPalette8(&record->format);
        CopyPalette(record, b.info, 16);
    } else if (IsPlainRows(b)) {
        pitch = b.fileRowSize;
        pixels = ReadRowsTopDown(stream, b);
        if (b.bitCount == 8) {
            SetColorFormatPalette8(&record->format);
            CopyPalette(record, b.info, 256);
        } else {
            SetColorFormatR8G8B8(&record->format);
        }
    } else {
        pixels = ConvertThroughGdi(b, &pitch);
        SetColorFormatR8G8B8(&record->format);
    }
    FreeBmp(b);
    if (!pixels) return -1;
    record->pixels = pixels;
    record->width = b.width;
    record->height = b.height;
    record->pitch = static_cast<int32_t>(pitch);
    return 0;
}
