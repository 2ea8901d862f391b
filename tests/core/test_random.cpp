#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "core/core.h"

namespace {
// Reference: the standard engine loaded with the state the 69069 seeding produces.
std::mt19937 ReferenceEngine(uint32_t seed) {
    std::stringstream state;
    for (int i = 0; i < 624; ++i) {
        uint32_t word = seed & 0xFFFF0000u;
        seed = 69069u * seed + 1u;
        word |= seed >> 16;
        seed = 69069u * seed + 1u;
        state << word << ' ';
    }
    state << 624;  // position: the next draw regenerates
    std::mt19937 engine;
    state >> engine;
    return engine;
}
}  // namespace

TEST(Random, MatchesReferenceTwisterForSeveralSeeds) {
    for (uint32_t seed : {4357u, 1u, 0xDEADBEEFu, 0u}) {
        SeedRandom(seed);
        std::mt19937 reference = ReferenceEngine(seed);
        for (int i = 0; i < 2000; ++i) ASSERT_EQ(NextRandomWord(), reference()) << "seed " << seed << " word " << i;
    }
}

TEST(Random, SeedingAgainRestartsTheSequence) {
    SeedRandom(99);
    uint32_t first = NextRandomWord();
    NextRandomWord();
    SeedRandom(99);
    EXPECT_EQ(NextRandomWord(), first);
}

TEST(Random, GetRandomIntIsTheHighHalfOfTheProduct) {
    SeedRandom(4357);
    std::mt19937 reference = ReferenceEngine(4357);
    for (int i = 0; i < 1000; ++i) {
        uint64_t word = reference();
        int max = i % 7 == 0 ? 0 : (i % 5 == 0 ? 1 : i * 37);
        ASSERT_EQ(GetRandomInt(max), static_cast<int>((word * (static_cast<uint64_t>(max) + 1)) >> 32));
        if (max == 0) {
            EXPECT_EQ(static_cast<int>((word * 1) >> 32), 0);
        }
        if (max == 1) {
            EXPECT_EQ((word * 2) >> 32, word >> 31);
        }
    }
    for (int i = 0; i < 1000; ++i) {
        int value = GetRandomInt(9);
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 9);
    }
}
