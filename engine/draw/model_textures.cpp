// Model textures: loading a texture's images from its recorded sources (with the normal-map
// conversion and power-of-two scaling) and reloading every model texture after the device.
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "draw/draw.h"
#include "draw/model.h"
#include "graphics/device.h"

namespace {

bool HasSource(const ModelImageSource* source) {
    return source != nullptr && (source->fileName != nullptr || source->memory != nullptr);
}

int LoadSource(const ModelImageSource* source, ImageRecord* out) {
    *out = {};
    if (source->memory != nullptr)
        return LoadImageRecord(nullptr, source->memory, source->memorySize, 1, out, 0);
    return LoadImageRecord(source->fileName, nullptr, 0, 0, out, 0);
}

void Release(ImageRecord* image) {
    if (image->pixels != nullptr) ReleaseImageRecord(image);
    *image = {};
}

// The red channel of a pixel.
int Height(const ImageRecord* image, int x, int y) {
    return static_cast<int>((GetImagePixelArgb(image, x, y) >> 16) & 0xFF);
}

// Replaces a height map by a 32-bit image of unit normals (alpha 0).
int MakeNormalMap(ImageRecord* image, float scale) {
    if (scale < 0.000001f) scale = 0.000001f;
    ImageRecord normals{};
    if (CreateArgbImageRecord(image->width, image->height, &normals) != 0) return -1;
    for (int y = 0; y < image->height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(normals.pixels + static_cast<size_t>(y) * normals.pitch);
        int below = y + 1 < image->height ? y + 1 : 0;
        for (int x = 0; x < image->width; ++x) {
            int right = x + 1 < image->width ? x + 1 : 0;
            int h = Height(image, x, y);
            float gx = static_cast<float>(Height(image, right, y) - h) / 255.0f;
            float gy = static_cast<float>(Height(image, x, below) - h) / 255.0f;
            float nx = -gx * scale, ny = -gy * scale, nz = scale * scale;
            float length = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= length, ny /= length, nz /= length;
            auto channel = [](float n) {
                return static_cast<uint32_t>(std::floor((n + 1.0f) * 127.5f));
            };
            row[x] = (channel(nx) << 16) | (channel(ny) << 8) | channel(nz);
        }
    }
    Release(image);
    *image = normals;
    return 0;
}

int NextPowerOfTwo(int value, int limit) {
    int size = 1;
    while (size < value) size <<= 1;
    if (limit > 0 && size > limit) size = limit;
    return size;
}

// Scales an image whose sides are not powers of two up to the next powers of two, each side at
// most half the device's largest texture side.
int ScaleToPowerOfTwo(ImageRecord* image) {
    int limit = g_GraphicsDevice.maxTextureSize / 2;
    int width = NextPowerOfTwo(image->width, limit);
    int height = NextPowerOfTwo(image->height, limit);
    if (width == image->width && height == image->height) return 0;
    if (image->format.formatCode != 0) DecodeDxtImage(image);
    ImageRecord scaled{};
    if (CreateImageRecord(width, height, &image->format, &scaled) != 0) return -1;
    if (StretchImageRect(0, 0, image->width, image->height, image, 0, 0, width, height, &scaled,
                         1) != 0) {
        Release(&scaled);
        return -1;
    }
    Release(image);
    *image = scaled;
    return 0;
}

void ReloadTextures(ModelTexture* textures, int count, bool ownSourceOnly) {
    for (int i = 0; i < count; ++i) {
        ModelTexture& texture = textures[i];
        if (ownSourceOnly && !HasSource(&texture.colour)) continue;
        ImageRecord colour{}, alpha{};
        if (LoadModelTextureImages(&colour, &alpha, &texture.colour,
                                   HasSource(&texture.alpha) ? &texture.alpha : nullptr,
                                   texture.normalMap, texture.normalScale) != 0)
            continue;
        ReloadGraphFromImage(&colour, alpha.pixels != nullptr ? &alpha : nullptr, texture.graph,
                             1, 0, 0);
        Release(&colour);
        Release(&alpha);
    }
}

}  // namespace

int LoadModelTextureImages(ImageRecord* colour, ImageRecord* alpha, const ModelImageSource* source,
                           const ModelImageSource* alphaSource, int normalMap, float scale) {
    *colour = {};
    *alpha = {};
    bool ok = true;
    if (HasSource(alphaSource)) ok = LoadSource(alphaSource, alpha) == 0;
    if (ok && HasSource(source)) {
        ok = LoadSource(source, colour) == 0;
    } else if (ok && alpha->pixels != nullptr) {
        // No colour source: white of the alpha image's size.
        ok = CreateArgbImageRecord(alpha->width, alpha->height, colour) == 0;
        if (ok) std::memset(colour->pixels, 0xFF, static_cast<size_t>(colour->pitch) * colour->height);
    } else {
        ok = false;
    }
    if (ok && normalMap) {
        if (colour->format.formatCode != 0) DecodeDxtImage(colour);
        ok = MakeNormalMap(colour, scale) == 0;
    }
    if (ok) ok = ScaleToPowerOfTwo(colour) == 0;
    if (ok && alpha->pixels != nullptr) ok = ScaleToPowerOfTwo(alpha) == 0;
    if (!ok) {
        Release(colour);
        Release(alpha);
        return -1;
    }
    return 0;
}

int ReloadModelTextures() {
    ModelSystem& m = g_Models;
    if (!m.initialised) return 0;
    for (int i = 0; i < kModelDefaultTextureCount; ++i) {
        int size = 0;
        const uint8_t* image = GetModelDefaultTextureImage(i, &size);
        ReloadGraphFromMemory(image, size, m.defaultTextures[i], nullptr, 0, 1, 0);
    }
    for (int slot = 0; slot < m.bases.slotCount; ++slot) {
        void* entry = m.bases.slots[slot];
        if (entry == nullptr || entry == kModelSlotReserved) continue;
        auto* base = static_cast<ModelBase*>(entry);
        ReloadTextures(base->textures, base->textureCount, false);
    }
    for (int slot = 0; slot < m.instances.slotCount; ++slot) {
        void* entry = m.instances.slots[slot];
        if (entry == nullptr || entry == kModelSlotReserved) continue;
        auto* instance = static_cast<ModelInstance*>(entry);
        ReloadTextures(instance->textures, instance->textureCount, true);
    }
    return 0;
}
