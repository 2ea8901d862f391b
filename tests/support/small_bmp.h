// A small 24-bit BMP written by the tests that need an image file of their own.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// A side x side bottom-up 24-bit BMP with patterned pixels.
inline void WriteSmallBmp(const std::string& name, int side = 16) {
    const uint32_t imageBytes = static_cast<uint32_t>(side * 3 * side);
    std::vector<uint8_t> b{'B', 'M'};
    auto put16 = [&](uint32_t v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
    for (uint32_t v : {54u + imageBytes, 0u, 54u, 40u, uint32_t(side), uint32_t(side)}) put32(v);
    put16(1);
    put16(24);
    for (uint32_t v : {0u, imageBytes, 2835u, 2835u, 0u, 0u}) put32(v);
    for (uint32_t i = 0; i < imageBytes; ++i) b.push_back(static_cast<uint8_t>(i * 7));
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                                static_cast<std::streamsize>(b.size()));
}
