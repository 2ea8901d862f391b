// The blend tables the software kernels index instead of dividing per pixel.
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"

MemImgTables g_MemImgTables;

int InitMemImgTables() {
    MemImgTables& tables = g_MemImgTables;
    for (int p = 0; p < 256; ++p) {
        tables.parameterRows[p][0] = 0;
        for (int d = -255; d <= 255; ++d)
            tables.parameterRows[p][d + 256] = static_cast<int16_t>(d * p / 255);
        for (int c = 0; c < 256; ++c)
            tables.brightnessRows[p][c] = static_cast<uint8_t>(c * p / 255);
    }
    for (int w = 0; w < 64; ++w)
        for (int s = 0; s < 64; ++s)
            for (int d = 0; d < 64; ++d)
                tables.blend16Rows[w][s][d] = static_cast<uint8_t>((s * w + d * (63 - w)) / 63);
    return 0;
}

void SetBlendImageTable(int border, int range) {
    int n = range + 1;
    int step = 65536 / n;
    int t = (step + 256) * border / 256;
    int offset = 256 - t;
    for (int i = 0; i < 256; ++i) {
        int value = i * 256 / n + offset;
        if (value < 0) value = 0;
        if (value > 255) value = 255;
        g_MemImgTables.blendImageMap[i] = static_cast<uint8_t>(value);
    }
}
