// The ecosystem: a closed field of 640 x 480 pixels with up to 2000 creatures, the nutrient left in
// the air, the run clock and the per-kind statistics behind the run log's messages.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "creature.h"

constexpr int kWorldSlotCount = 2000;
constexpr int kMilestoneCount = 5;  // generations 10, 50, 100, 200, 400
constexpr int kObjectPieceCount = 10;
constexpr int kWorldFontCount = 4;

struct KindStats {
    bool extinctAnnounced = false;
    int32_t maxGeneration = 1;
    bool milestoneDone[kMilestoneCount] = {};
    int32_t livingCount = 0;
};

class World {
public:
    // Starts a run with the four settings. The run log is saved under logFolder (empty: the
    // working folder) when the world is destroyed.
    World(int32_t energy, int32_t wood, int32_t insect, int32_t animal, const char* logFolder = "");
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Starts the run again with the same settings and a new, unsaved log.
    void Restart();
    // One simulation step.
    void Tick();
    // A new creature in the first free slot, or null outside the birth bounds or with no free slot.
    Creature* Spawn(int32_t generation, int32_t kind, int32_t x, int32_t y);
    // The living creature (energy >= 1) of the kind nearest to (x, y) in whole pixels; the lower
    // slot wins a tie; null when there is none.
    Creature* FindNearest(int32_t x, int32_t y, int32_t kind);
    // Logs the generation milestones the kind reached this tick, each once per run.
    void CheckMilestones(int32_t kind);

    // The world view: ground, creatures, the selected creature's panel and the bottom panel.
    void Draw();
    void DrawCreature(const Creature& creature, bool highlight);
    void DrawInfoPanel();

    int32_t SlotOf(const Creature* creature) const {
        return static_cast<int32_t>(creature - creatures.get());
    }
    Creature& At(int32_t slot) { return creatures[slot]; }
    const Creature& At(int32_t slot) const { return creatures[slot]; }

    // What FindNearest gives when it lies within the radius in whole pixels (squared distance
    // below radius squared), else null; it looks only at the field around (x, y).
    Creature* FindNearestWithin(int32_t x, int32_t y, int32_t kind, int32_t radiusPixels);
    // The first creature of the kind in slot order within the radius in whole pixels, or null.
    Creature* FindFirstWithinPixels(int32_t x, int32_t y, int32_t kind, int32_t radiusPixels);
    // The first creature of the kind in slot order within the radius in tenths of a pixel.
    Creature* FindFirstWithinTenths(int32_t x, int32_t y, int32_t kind, int32_t radiusTenths);

    // The first creature of the kind in slot order that satisfies the test, or null.
    template <typename Test>
    Creature* FindFirstOfKind(int32_t kind, Test test);
    // Records a slot's change of kind (birth, death, a fruit becoming a tree).
    void ChangeSlotKind(int32_t slot, int32_t from, int32_t to);
    // Records that a creature moved.
    void NoteMoved(int32_t slot);
    // Rebuilds the per-kind slot sets and the field's cells from the records. The world's own
    // operations keep them current; code that changes a record's kind or position directly
    // calls this afterwards.
    void RebuildKindIndex();

    int32_t airEnergy = 0;
    int32_t initialEnergy = 0;  // the run's settings: ENERGY, WOOD, INSECT, ANIMAL
    int32_t initialWood = 0;
    int32_t initialInsect = 0;
    int32_t initialAnimal = 0;
    int32_t elapsedSeconds = 0;  // run clock, the stamp of every log line
    std::unique_ptr<Creature[]> creatures;
    int32_t objectPieces[kObjectPieceCount];
    int32_t systemPicture = -1;
    int32_t framePicture = -1;
    int32_t fonts[kWorldFontCount];
    int32_t cameraX = 320000;  // view centre, milli-pixels
    int32_t cameraY = 240000;
    double zoom = 1000.0;  // magnification x 1000
    bool leftLatch = false;
    bool rightLatch = false;
    int32_t tool = 0;  // 0 select, 1 zoom
    int32_t highlightKind = -1;
    int32_t selectedSlot = -1;
    int32_t selectedId = 0;
    int32_t nextId = 0;
    int32_t lastSecondTime = 0;
    KindStats kindStats[kCreatureKindCount];

private:
    static constexpr int kIndexWords = (kWorldSlotCount + 63) / 64;

    // The view's pictures and fonts, and the mouse tools (the world view's part of the tick).
    void LoadView();
    void ReleaseView();
    void RunMouseTools();
    // Keeps the camera on the selected creature while it lives, then clamps it to the field.
    void FollowCamera();
    void StepCreatures();
    void AnnounceKindEvents();

    // The field in cells of 16 x 16 pixels; each cell lists the living creatures of each kind in
    // it, so the searches around a creature look at its neighbourhood only.
    static constexpr int kCellPixels = 16;
    static constexpr int kCellColumns = 40;
    static constexpr int kCellRows = 30;
    static int CellColumn(int32_t pixelX);
    static int CellRow(int32_t pixelY);
    void LinkSlot(int32_t slot);
    void UnlinkSlot(int32_t slot);
    // Calls visit for every listed creature of the kind whose whole-pixel position may lie in
    // the given pixel ranges (inclusive).
    template <typename Visit>
    void ForEachInPixelRange(int32_t kind, int32_t left, int32_t right, int32_t top, int32_t bottom,
                             Visit visit);

    std::string logFolder;
    int16_t cellHead[kCreatureKindCount][kCellColumns * kCellRows];
    int16_t cellNext[kWorldSlotCount];
    int16_t cellPrevious[kWorldSlotCount];
    int16_t cellOf[kWorldSlotCount];
    int8_t listedKind[kWorldSlotCount];  // the kind a slot is listed under, -1 for none
    // One bit per slot for each kind, Empty included, so scans touch only the slots of one kind.
    uint64_t kindIndex[kCreatureKindCount + 1][kIndexWords] = {};
    int32_t emptyCount = 0;  // lets a birth into a full table give up at once
};

template <typename Test>
Creature* World::FindFirstOfKind(int32_t kind, Test test) {
    for (int word = 0; word < kIndexWords; ++word) {
        uint64_t bits = kindIndex[kind][word];
        while (bits != 0) {
            const int slot = word * 64 + __builtin_ctzll(bits);
            bits &= bits - 1;
            Creature& creature = creatures[slot];
            if (test(creature)) {
                return &creature;
            }
        }
    }
    return nullptr;
}
