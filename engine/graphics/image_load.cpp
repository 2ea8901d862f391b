// Image loading: the loader chain over a file or memory stream, mirroring, bitmap output and
// the alpha companion.
#include <cstring>

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "graphics/image_load.h"
#include "platform/gdi/gdi_dib.h"

ImageLoaderTable g_UserImageLoaders;

const ImageLoader kBuiltinImageLoaders[] = {
    LoadBmpImage, LoadJpegImage, LoadPngImage, LoadBgraImage, LoadTgaImage, LoadDdsImage, nullptr,
};

namespace {

constexpr int kCompanionNameSize = 260;

bool TryLoader(ImageLoader loader, StreamHolder* stream, ImageRecord* record) {
    stream->functions.seek(stream->handle, 0, 0);
    std::memset(record, 0, sizeof(ImageRecord));
    return loader(stream, record) == 0;
}

// The record's pixels rewritten right to left through the converter.
int MirrorRecord(ImageRecord* record) {
    if (record->format.formatCode != 0 && DecodeDxtImage(record) != 0) return -1;
    if (record->width <= 0 || record->height <= 0) return 0;
    size_t size = static_cast<size_t>(record->pitch) * static_cast<size_t>(record->height);
    uint8_t* mirrored = static_cast<uint8_t*>(VELK_ALLOC(size ? size : 1));
    if (!mirrored) return -1;
    V_RECT all = {0, 0, record->width, record->height};
    if (ConvertPixelFormatRect(mirrored, record->pitch, &record->format, record->pixels,
                               record->pitch, &record->format, nullptr, 0, nullptr, 0, 0, &all, 1,
                               0, 0, 0, 0, 0, 0, 0) < 0) {
        FreeMemory(mirrored);
        return -1;
    }
    FreeMemory(record->pixels);
    record->pixels = mirrored;
    // Only the first level is mirrored: the new block holds no chain below it.
    record->mipCount = 0;
    return 0;
}

}  // namespace

int LoadImageFromStream(StreamHolder* stream, ImageRecord* record) {
    std::memset(record, 0, sizeof(ImageRecord));
    for (int i = 0; i < g_UserImageLoaders.count && i < kMaxUserImageLoaders; ++i)
        if (g_UserImageLoaders.loaders[i] && TryLoader(g_UserImageLoaders.loaders[i], stream, record))
            return 0;
    for (const ImageLoader* loader = kBuiltinImageLoaders; *loader; ++loader)
        if (TryLoader(*loader, stream, record)) return 0;
    return -1;
}

int LoadImageData(const char* fileName, const void* memory, int memorySize, int fromMemory,
                  int wantBitmap, int mirror, ImageRecord* recordOut,
                  V_BITMAPINFO** bitmapInfoOut, void** pixelsOut) {
    StreamHolder stream = {};
    ImageRecord record = {};
    int loaded;
    if (fromMemory) {
        if (!memory || memorySize < 0) return -1;
        stream.functions = *GetMemoryStreamFunctions();
        stream.handle = OpenMemoryStream(memory, static_cast<uint32_t>(memorySize));
        if (!stream.handle) return -1;
        loaded = LoadImageFromStream(&stream, &record);
        stream.functions.close(stream.handle);
    } else {
        if (!fileName) return -1;
        stream.functions = *GetFileStreamFunctions();
        stream.handle = OpenFileHandle(fileName, 0, 1, 0);
        if (!stream.handle) return -1;
        loaded = LoadImageFromStream(&stream, &record);
        stream.functions.close(stream.handle);
    }
    if (loaded != 0) return -1;

    if (mirror && MirrorRecord(&record) != 0) {
        ReleaseImageRecord(&record);
        return -1;
    }
    if (wantBitmap) {
        if (record.format.formatCode != 0 && DecodeDxtImage(&record) != 0) {
            ReleaseImageRecord(&record);
            return -1;
        }
        auto* info = static_cast<V_BITMAPINFO*>(
            VELK_ALLOC_ZEROED(sizeof(V_BITMAPINFOHEADER) + 256 * sizeof(V_RGBQUAD)));
        if (!info) {
            ReleaseImageRecord(&record);
            return -1;
        }
        void* pixels = nullptr;
        int made = ImageRecordToDib(&record, info, &pixels, 0, 0);
        if (made < 0) {
            ReleaseImageRecord(&record);
            FreeMemory(info);
            return -1;
        }
        if (made == 1) ReleaseImageRecord(&record);
        *bitmapInfoOut = info;
        *pixelsOut = pixels;
        return 0;
    }
    std::memcpy(recordOut, &record, sizeof(ImageRecord));
    return 0;
}

int LoadImageRecord(const char* fileName, const void* memory, int memorySize, int fromMemory,
                    ImageRecord* recordOut, int mirror) {
    return LoadImageData(fileName, memory, memorySize, fromMemory, 0, mirror, recordOut, nullptr,
                         nullptr);
}

int MakeAlphaCompanionName(const char* fileName, char* buffer, int bufferSize) {
    size_t length = std::strlen(fileName);
    const char* dot = std::strrchr(fileName, '.');
    size_t stem = dot ? static_cast<size_t>(dot - fileName) : length;
    if (length + 3 > static_cast<size_t>(bufferSize)) return -1;
    std::memcpy(buffer, fileName, stem);
    std::memcpy(buffer + stem, "_a", 2);
    std::memcpy(buffer + stem + 2, fileName + stem, length - stem + 1);
    return 0;
}

int LoadImageWithAlpha(const char* fileName, const void* memory, int memorySize, int fromMemory,
                       const void* alphaMemory, int alphaMemorySize, int alphaMode,
                       ImageRecord* recordOut, ImageRecord* alphaRecordOut, int mirror) {
    if (LoadImageData(fileName, memory, memorySize, fromMemory, 0, mirror, recordOut, nullptr,
                      nullptr) != 0)
        return -1;
    if ((alphaMode == 1 && !alphaMemory) || (alphaMode != 0 && alphaMode != 1)) return 1;
    char companion[kCompanionNameSize];
    const char* companionName = nullptr;
    if (fileName) {
        // A name too long for the buffer has no companion.
        if (MakeAlphaCompanionName(fileName, companion, sizeof(companion)) != 0) {
            if (alphaMode == 0) return 1;
        } else {
            companionName = companion;
        }
    }
    if (alphaMode == 0 && !companionName) return 1;
    if (LoadImageData(companionName, alphaMemory, alphaMemorySize, alphaMode, 0, mirror,
                      alphaRecordOut, nullptr, nullptr) != 0)
        return 1;
    return 0;
}
