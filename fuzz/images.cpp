// Fuzz target of the image loader chain: the input is offered to every loader as a memory
// stream; a decoded record is then read, converted, mirrored and turned into a bitmap.
#include <cstring>
#include <vector>

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "platform/gdi/gdi_dib.h"

namespace {

void Exercise(ImageRecord* record) {
    int r, g, b, a;
    GetImagePixel(record, 0, 0, &r, &g, &b, &a);
    GetImagePixel(record, record->width - 1, record->height - 1, &r, &g, &b, &a);
    GetImagePixelArgb(record, 0, 0);

    // A clipped copy into a small record of each common layout, and a stretch.
    ImageRecord small = {};
    if (CreateArgbImageRecord(37, 29, &small) == 0) {
        CopyImageRect(-3, 2, 40, 40, 1, -1, record, &small);
        if (record->width > 1 && record->height > 1)
            StretchImageRect(0, 0, record->width, record->height, record, 0, 0, 37, 29, &small, 1);
        ReleaseImageRecord(&small);
    }
    ColorFormat rgb565 = {};
    SetColorFormatFromMasks(&rgb565, 16, 0xF800, 0x7E0, 0x1F, 0);
    if (CreateImageRecord(33, 17, &rgb565, &small) == 0) {
        V_RECT rect = {0, 0, record->width < 33 ? record->width : 33, record->height < 17 ? record->height : 17};
        if (rect.right > 0 && rect.bottom > 0)
            ConvertPixelFormatRect(small.pixels, small.pitch, &small.format, record->pixels, record->pitch,
                                   &record->format, nullptr, 0, nullptr, 0, 0, &rect, 0, 1, 0xFF00FF, 2,
                                   0, 0, 0, 0);
        ReleaseImageRecord(&small);
    }

    if (static_cast<int64_t>(record->width) * record->height <= (1 << 20)) {
        std::vector<uint8_t> info(sizeof(V_BITMAPINFOHEADER) + 256 * sizeof(V_RGBQUAD));
        void* pixels = nullptr;
        int made = ImageRecordToDib(record, reinterpret_cast<V_BITMAPINFO*>(info.data()), &pixels, 0, 0);
        if (made == 1) FreeMemory(pixels);
        MirrorImageHorizontally(record);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ImageRecord record = {};
    // The odd-sized inputs also go through the mirroring load.
    int mirror = static_cast<int>(size & 1);
    if (LoadImageRecord(nullptr, data, static_cast<int>(size), 1, &record, mirror) == 0) {
        Exercise(&record);
        ReleaseImageRecord(&record);
    }
    return 0;
}
