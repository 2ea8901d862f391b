// The library's random numbers: one process-wide MT19937 generator with the 69069 seeding.
#include <cpuid.h>

#include "core/core.h"
#include "core/core_services.h"

namespace {

constexpr int kWords = 624;
constexpr int kShift = 397;
constexpr uint32_t kDefaultSeed = 4357;

struct RandomState {
    uint32_t state[kWords];
    uint32_t output[kWords];
    int index = kWords;
    int seeded = 0;
    int useMmx = 0;
};

RandomState g_Random;

uint32_t Twist(uint32_t current, uint32_t next, uint32_t far) {
    uint32_t y = (current & 0x80000000u) | (next & 0x7FFFFFFFu);
    return far ^ (y >> 1) ^ ((next & 1u) ? 0x9908B0DFu : 0u);
}

uint32_t Temper(uint32_t y) {
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

void TemperAll() {
    for (int i = 0; i < kWords; ++i) g_Random.output[i] = Temper(g_Random.state[i]);
    g_Random.index = 0;
}

}  // namespace

void RegenerateRandom() {
    uint32_t* s = g_Random.state;
    for (int i = 0; i < kWords; ++i) {
        // Words ahead of i are still old; words behind were already twisted, as MT requires.
        uint32_t next = (i + 1 < kWords) ? s[i + 1] : s[0];
        s[i] = Twist(s[i], next, s[(i + kShift) % kWords]);
    }
    TemperAll();
}

// Same words as RegenerateRandom, twisting two words per step.
void RegenerateRandomMmx() {
    uint32_t* s = g_Random.state;
    int i = 0;
    for (; i + 1 < kWords - kShift; i += 2) {
        uint32_t a = Twist(s[i], s[i + 1], s[i + kShift]);
        uint32_t b = Twist(s[i + 1], s[i + 2], s[i + 1 + kShift]);
        s[i] = a;
        s[i + 1] = b;
    }
    for (; i < kWords; ++i) {
        uint32_t next = (i + 1 < kWords) ? s[i + 1] : s[0];
        s[i] = Twist(s[i], next, s[(i + kShift) % kWords]);
    }
    TemperAll();
}

int CheckMmxSupport() {
    unsigned int eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
    return (edx & (1u << 23)) ? 1 : 0;
}

void SeedRandom(uint32_t seed) {
    for (int i = 0; i < kWords; ++i) {
        uint32_t upper = seed & 0xFFFF0000u;
        seed = 69069u * seed + 1u;
        g_Random.state[i] = upper | (seed >> 16);
        seed = 69069u * seed + 1u;
    }
    g_Random.useMmx = CheckMmxSupport();
    g_Random.seeded = 1;
    if (g_Random.useMmx)
        RegenerateRandomMmx();
    else
        RegenerateRandom();
}

uint32_t NextRandomWord() {
    if (g_Random.index >= kWords) {
        if (!g_Random.seeded)
            SeedRandom(kDefaultSeed);  // seeding regenerates
        else if (g_Random.useMmx)
            RegenerateRandomMmx();
        else
            RegenerateRandom();
    }
    return g_Random.output[g_Random.index++];
}

int GetRandomInt(int max) {
    uint64_t word = NextRandomWord();
    return static_cast<int>((word * (static_cast<uint64_t>(static_cast<uint32_t>(max)) + 1)) >> 32);
}
