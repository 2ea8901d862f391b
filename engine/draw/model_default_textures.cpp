// The three default model textures, kept as run-length-encoded TGA images in the program's data:
// an 8 x 8 white 32-bit texture, a 256 x 8 linear grey ramp and a 256 x 8 three-step ramp
// (24 bits each).
#include <array>
#include <cstddef>
#include <cstdint>

#include "draw/model.h"

namespace {

struct TgaSpec {
    int width;
    int height;
    int bits;
    uint32_t (*pixel)(int x, int y);  // 0xAARRGGBB
};

constexpr uint32_t White(int, int) { return 0xFFFFFFFFu; }
constexpr uint32_t Grey(int value) {
    return 0xFF000000u | static_cast<uint32_t>(value) * 0x010101u;
}
constexpr uint32_t LinearRamp(int x, int) { return Grey(x); }
constexpr uint32_t StepRamp(int x, int) { return Grey(x < 96 ? 0x60 : x < 192 ? 0xB0 : 0xFF); }

// Writes the image (or only counts its bytes when out is null): an 18-byte header for a
// top-down true-colour RLE image, then per row runs of equal pixels and raw packets of others,
// at most 128 pixels each.
constexpr size_t EncodeTga(const TgaSpec& s, uint8_t* out) {
    size_t at = 0;
    auto put = [&](uint32_t value) {
        if (out != nullptr) out[at] = static_cast<uint8_t>(value);
        ++at;
    };
    auto putPixel = [&](uint32_t argb) {
        put(argb), put(argb >> 8), put(argb >> 16);
        if (s.bits == 32) put(argb >> 24);
    };
    const uint32_t header[18] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 static_cast<uint32_t>(s.width) & 0xFF,
                                 static_cast<uint32_t>(s.width) >> 8,
                                 static_cast<uint32_t>(s.height) & 0xFF,
                                 static_cast<uint32_t>(s.height) >> 8,
                                 static_cast<uint32_t>(s.bits),
                                 0x20u | (s.bits == 32 ? 8u : 0u)};
    for (uint32_t byte : header) put(byte);
    for (int y = 0; y < s.height; ++y) {
        int x = 0;
        while (x < s.width) {
            int run = 1;
            while (x + run < s.width && run < 128 && s.pixel(x + run, y) == s.pixel(x, y)) ++run;
            if (run > 1) {
                put(0x80u | static_cast<uint32_t>(run - 1));
                putPixel(s.pixel(x, y));
                x += run;
                continue;
            }
            int raw = 1;
            while (x + raw < s.width && raw < 128 &&
                   (x + raw + 1 >= s.width || s.pixel(x + raw + 1, y) != s.pixel(x + raw, y)))
                ++raw;
            put(static_cast<uint32_t>(raw - 1));
            for (int i = 0; i < raw; ++i) putPixel(s.pixel(x + i, y));
            x += raw;
        }
    }
    return at;
}

template <size_t N>
constexpr std::array<uint8_t, N> MakeTga(const TgaSpec& s) {
    std::array<uint8_t, N> bytes{};
    EncodeTga(s, bytes.data());
    return bytes;
}

constexpr TgaSpec kWhite{8, 8, 32, White};
constexpr TgaSpec kLinear{256, 8, 24, LinearRamp};
constexpr TgaSpec kSteps{256, 8, 24, StepRamp};

constexpr auto kWhiteTga = MakeTga<EncodeTga(kWhite, nullptr)>(kWhite);
constexpr auto kLinearTga = MakeTga<EncodeTga(kLinear, nullptr)>(kLinear);
constexpr auto kStepsTga = MakeTga<EncodeTga(kSteps, nullptr)>(kSteps);

}  // namespace

const uint8_t* GetModelDefaultTextureImage(int index, int* size) {
    switch (index) {
    case 0: *size = static_cast<int>(kWhiteTga.size()); return kWhiteTga.data();
    case 1: *size = static_cast<int>(kLinearTga.size()); return kLinearTga.data();
    case 2: *size = static_cast<int>(kStepsTga.size()); return kStepsTga.data();
    default: *size = 0; return nullptr;
    }
}
