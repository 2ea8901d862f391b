// Helpers for the simulation tests: a hand-driven clock, scratch folders and whole-world checks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "game_clock.h"
#include "game_log.h"
#include "world.h"

namespace sim_test {

// The game's clock, moved by hand.
inline int g_FakeNow = 0;
inline int FakeMilliseconds() {
    return g_FakeNow;
}

// Every test runs on the fake clock in a scratch folder of its own.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_FakeNow = 0;
        SetGameMillisecondsSource(&FakeMilliseconds);
        std::string pattern = (std::filesystem::temp_directory_path() / "velk-sim-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        ReleaseCurrentGameLog();
        SetGameMillisecondsSource(nullptr);
        SetGameActiveSource(nullptr);
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }

    std::string ReadFile(const std::string& relativePath) const {
        std::ifstream file(folder + "/" + relativePath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    bool FileExists(const std::string& relativePath) const {
        return std::filesystem::exists(folder + "/" + relativePath);
    }
    void WriteFile(const std::string& relativePath, const std::string& contents) const {
        std::ofstream file(folder + "/" + relativePath, std::ios::binary);
        file << contents;
    }

    std::string folder;
};

// The air's nutrient plus every living creature's.
inline int64_t TotalNutrient(const World& world) {
    int64_t total = world.airEnergy;
    for (int slot = 0; slot < kWorldSlotCount; ++slot) {
        if (world.At(slot).kind != Empty) {
            total += world.At(slot).nutrient;
        }
    }
    return total;
}

inline int CountKind(const World& world, int32_t kind) {
    int count = 0;
    for (int slot = 0; slot < kWorldSlotCount; ++slot) {
        count += world.At(slot).kind == kind ? 1 : 0;
    }
    return count;
}

// Empties every slot, leaving the whole nutrient in the air.
inline void ClearWorld(World& world) {
    for (int slot = 0; slot < kWorldSlotCount; ++slot) {
        world.At(slot) = Creature();
    }
    world.airEnergy = world.initialEnergy;
    world.RebuildKindIndex();
}

// A creature made by the world with nutrient taken from the air, so the total is kept.
inline Creature* Place(World& world, int32_t kind, int32_t x, int32_t y, int32_t nutrient,
                       int32_t parentGeneration = 0) {
    Creature* c = world.Spawn(parentGeneration, kind, x, y);
    if (c != nullptr) {
        c->nutrient = nutrient;
        world.airEnergy -= nutrient;
    }
    return c;
}

// The lines of the current run log.
inline std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    if (GameLog* log = GetCurrentGameLog()) {
        for (int i = 0; i < log->GetLineCount(); ++i) {
            lines.emplace_back(log->GetLine(i));
        }
    }
    return lines;
}

}  // namespace sim_test
