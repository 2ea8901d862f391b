#include "world.h"

#include <cstdio>

#include "game_clock.h"
#include "game_log.h"
#include "velk.h"
#include "world_messages.h"

World::World(int32_t energy, int32_t wood, int32_t insect, int32_t animal, const char* logFolder)
    : initialEnergy(energy),
      initialWood(wood),
      initialInsect(insect),
      initialAnimal(animal),
      logFolder(logFolder != nullptr ? logFolder : "") {
    for (int32_t& piece : objectPieces) {
        piece = -1;
    }
    for (int32_t& font : fonts) {
        font = -1;
    }
    LoadView();
    Restart();
}

World::~World() {
    ReleaseView();
    creatures.reset();
    if (GameLog* log = GetCurrentGameLog()) {
        AddLog(elapsedSeconds, log, "終了しました。");
        log->Save(logFolder.c_str());
    }
    ReleaseCurrentGameLog();
}

void World::Restart() {
    zoom = 1000.0;
    airEnergy = initialEnergy;
    cameraX = 320000;
    cameraY = 240000;
    selectedSlot = -1;
    highlightKind = -1;
    nextId = 0;
    elapsedSeconds = 0;
    tool = 0;
    lastSecondTime = GetGameMilliseconds();
    for (KindStats& stats : kindStats) {
        stats = KindStats{};
    }
    GameLog* log = ReplaceCurrentGameLog();
    creatures.reset(new Creature[kWorldSlotCount]);

    // Placement: trees, then insects, then beasts, in a box around the field's centre.
    const int32_t counts[3] = {initialWood, initialInsect, initialAnimal};
    const int32_t kinds[3] = {Wood, Insect, Animal};
    int32_t slot = 0;
    for (int group = 0; group < 3; ++group) {
        for (int32_t i = 0; i < counts[group] && slot < kWorldSlotCount; ++i, ++slot) {
            const int32_t placeY = GetRandomInt(180000) + 150000;
            const int32_t placeX = GetRandomInt(240000) + 200000;
            creatures[slot].Init(kinds[group], nextId, 0, placeX, placeY);
            nextId += 1;
        }
    }
    RebuildKindIndex();

    char text[100];
    std::snprintf(text, sizeof text, "空養%d　木%d本　虫%d匹　獣%d匹で開始しました。",
                  initialEnergy, initialWood, initialInsect, initialAnimal);
    AddLog(elapsedSeconds, log, text);
}

Creature* World::Spawn(int32_t generation, int32_t kind, int32_t x, int32_t y) {
    if (x < 12000 || x > 628000 || y < 12000 || y > 468000) {
        return nullptr;
    }
    if (emptyCount == 0) {
        return nullptr;
    }
    Creature* slot = FindFirstOfKind(Empty, [](const Creature&) { return true; });
    if (slot == nullptr) {
        return nullptr;
    }
    slot->Init(kind, nextId, generation, x, y);
    ChangeSlotKind(SlotOf(slot), Empty, kind);
    // The id counter starts again at 0 instead of overflowing.
    nextId = nextId == INT32_MAX ? 0 : nextId + 1;
    return slot;
}

void World::CheckMilestones(int32_t kind) {
    KindStats& stats = kindStats[kind];
    for (int i = 0; i < kMilestoneCount; ++i) {
        if (stats.maxGeneration == kMilestoneGenerations[i] && !stats.milestoneDone[i]) {
            stats.milestoneDone[i] = true;
            AddLog(elapsedSeconds, GetCurrentGameLog(), GetMilestoneText(kind, i));
        }
    }
}

void World::Tick() {
    StepCreatures();
    AnnounceKindEvents();
    if (GetGameActiveFlag()) {
        RunMouseTools();
    }
    FollowCamera();
    const int now = GetGameMilliseconds();
    if (ElapsedMilliseconds(now, lastSecondTime) >= 1000) {
        elapsedSeconds += 1;
        lastSecondTime = now;
    }
}

// Steps every slot in order and counts each creature under the kind it has after its step.
void World::StepCreatures() {
    for (KindStats& stats : kindStats) {
        stats.maxGeneration = 1;
        stats.livingCount = 0;
    }
    for (int32_t slot = 0; slot < kWorldSlotCount; ++slot) {
        Creature& c = creatures[slot];
        if (c.kind != Empty) {
            c.Step(*this);
        }
        if (c.kind >= 0 && c.kind < kCreatureKindCount) {
            KindStats& stats = kindStats[c.kind];
            stats.livingCount += 1;
            if (c.generation > stats.maxGeneration) {
                stats.maxGeneration = c.generation;
            }
        }
    }
}

// A kind seen with no living creature is announced once, and again after it has come back.
void World::AnnounceKindEvents() {
    for (int32_t kind = 0; kind < kCreatureKindCount; ++kind) {
        KindStats& stats = kindStats[kind];
        if (stats.livingCount > 0) {
            stats.extinctAnnounced = false;
        } else if (!stats.extinctAnnounced) {
            AddLog(elapsedSeconds, GetCurrentGameLog(), GetExtinctionText(kind));
            stats.extinctAnnounced = true;
        }
        CheckMilestones(kind);
    }
}

void World::FollowCamera() {
    if (selectedSlot >= 0 && selectedSlot < kWorldSlotCount &&
        creatures[selectedSlot].kind != Empty && creatures[selectedSlot].id == selectedId) {
        cameraX = creatures[selectedSlot].x;
        cameraY = creatures[selectedSlot].y;
    } else {
        selectedSlot = -1;
    }
    if (cameraX < 0) cameraX = 0;
    if (cameraX > 640000) cameraX = 640000;
    if (cameraY < 0) cameraY = 0;
    if (cameraY > 480000) cameraY = 480000;
}
