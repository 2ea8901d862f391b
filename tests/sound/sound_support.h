// Test helpers: RIFF/WAVE images built byte by byte, files in the scratch folder, and a sound
// system on the manual mixer so that tests advance the output themselves.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/core.h"
#include "platform/dsound/dsound.h"
#include "sound/sound.h"
#include "sound/sound_services.h"

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(tag[i]));
}
inline void PutChunk(Bytes& b, const char* tag, const Bytes& body, bool pad = true) {
    PutTag(b, tag);
    Put32(b, static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) b.push_back(0);
}

// A format chunk body: 16 bytes, or 18 with cbSize, plus any extra bytes.
inline Bytes FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                        uint16_t blockAlign = 0, uint32_t avg = 0, bool withCbSize = true,
                        const Bytes& extra = {}) {
    if (blockAlign == 0) blockAlign = static_cast<uint16_t>(channels * bits / 8);
    if (avg == 0) avg = rate * blockAlign;
    Bytes b;
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, avg);
    Put16(b, blockAlign);
    Put16(b, bits);
    if (withCbSize) {
        Put16(b, static_cast<uint16_t>(extra.size()));
        b.insert(b.end(), extra.begin(), extra.end());
    }
    return b;
}

// RIFF header, the given chunks in order.
inline Bytes RiffWave(const std::vector<std::pair<const char*, Bytes>>& chunks) {
    Bytes b;
    PutTag(b, "RIFF");
    Put32(b, 0);
    PutTag(b, "WAVE");
    for (const auto& [tag, body] : chunks) PutChunk(b, tag, body);
    uint32_t size = static_cast<uint32_t>(b.size() - 8);
    std::memcpy(b.data() + 4, &size, 4);
    return b;
}

inline Bytes PcmWave(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& data) {
    return RiffWave({{"fmt ", FormatBody(1, channels, rate, bits)}, {"data", data}});
}

// 16-bit samples as little-endian bytes.
inline Bytes Samples16(const std::vector<int16_t>& samples) {
    Bytes b;
    for (int16_t s : samples) Put16(b, static_cast<uint16_t>(s));
    return b;
}

inline std::string WriteScratchFile(const std::string& name, const Bytes& bytes) {
    std::ofstream out(name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return name;
}

// Renders output frames of the manual mixer (interleaved stereo).
inline std::vector<int16_t> Render(int frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    V_DSoundMixerRender(out.data(), frames);
    return out;
}

// A running sound system on the manual mixer.
class SoundSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        V_DSoundMixerSetManual(1);
        ASSERT_EQ(InitializeSoundSystem(), 0);
    }
    void TearDown() override {
        TerminateSoundSystem();
        V_DSoundMixerRefuseFlags(0);
        EXPECT_EQ(V_DSoundMixerBufferCount(), 0);
    }
};
