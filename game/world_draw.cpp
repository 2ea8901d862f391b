// Drawing of the world: the ground, the creatures, the selected creature's panel and the bottom
// panel with the tool buttons, newest log lines, run clock, counts per kind and the air bar.
#include <cstdio>

#include "game_colors.h"
#include "game_engine.h"
#include "game_log.h"
#include "world.h"
#include "world_view.h"

namespace {

constexpr int kGroundPiece = 0;
constexpr int kEdgePiece = 1;
constexpr int kTreeIconPiece = 1;
constexpr int kInsectIconPiece = 4;
constexpr int kBeastIconPiece = 5;
constexpr int kAirBarWidth = 106;
constexpr int kEnergyBarWidth = 200;

// Energy that fills the panel's bar, by kind.
int32_t FullEnergy(int32_t kind) {
    switch (kind) {
    case Wood: return 2000;
    case Fruit: return 200;
    case Insect: return 800;
    default: return 1000;
    }
}

int ClampInt(int value, int low, int high) {
    return value < low ? low : value > high ? high : value;
}

}  // namespace

void World::Draw() {
    GameEngine& engine = Engine();
    if (!engine.GetWindowActiveFlag()) return;
    const double scale = PieceScale(*this);
    const uint32_t white = GameColorValue(kColorWhite);
    const uint32_t edge = GameColorValue(kColorBlack);

    // Ground: 80 x 60 tiles of 8 world pixels, the field's outer ring edged.
    for (int row = 0; row < 60; ++row) {
        const int32_t wy = 4000 + row * 8000;
        for (int column = 0; column < 80; ++column) {
            const int32_t wx = 4000 + column * 8000;
            const ScreenPoint p = WorldToScreen(*this, wx, wy);
            engine.DrawGraphRotated(p.x, p.y, scale, 0.0, objectPieces[kGroundPiece], 1, 0);
            if (row == 0 || row == 59 || column == 0 || column == 79) {
                engine.DrawGraphRotated(p.x, p.y, scale, 0.0, objectPieces[kEdgePiece], 1, 0);
            }
        }
    }

    for (int32_t slot = 0; slot < kWorldSlotCount; ++slot) {
        const Creature& c = creatures[slot];
        if (c.kind != Empty) DrawCreature(c, c.kind == highlightKind);
    }

    if (selectedSlot >= 0 && selectedSlot < kWorldSlotCount && creatures[selectedSlot].kind != Empty) {
        DrawInfoPanel();
    }

    // Bottom panel and tool buttons.
    engine.SetBlendMode(1, 160);
    engine.DrawGraphPart(0, kBottomPanelTop, 0, 0, 640, 64, framePicture, 1, 0);
    engine.SetBlendMode(0, 0);
    engine.DrawGraphPart(kSelectButtonX, kToolButtonY, tool == 0 ? 192 : 96, 80, 48, 48,
                         systemPicture, 1, 0);
    engine.DrawGraphPart(kZoomButtonX, kToolButtonY, tool == 1 ? 240 : 144, 80, 48, 48,
                         systemPicture, 1, 0);

    // The three newest log lines, newest first.
    if (const GameLog* log = GetCurrentGameLog()) {
        const int count = log->GetLineCount();
        for (int i = 0; i < 3 && i < count; ++i) {
            engine.DrawStringWithFont(0, kBottomPanelTop + i * 10, log->GetLine(count - 1 - i),
                                      white, fonts[3], edge, 0);
        }
    }

    char text[100];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", elapsedSeconds / 3600,
                  elapsedSeconds / 60 % 60, elapsedSeconds % 60);
    engine.DrawStringWithFont(0, 456, text, white, fonts[1], edge, 0);

    // Counts per kind with their icons; a highlighted kind's icon glows.
    struct CountSpot {
        int32_t kind, piece, iconX, iconY, textX;
        GameColor color;
    };
    const CountSpot spots[3] = {
        {Wood, kTreeIconPiece, 140, 460, 160, kColorTreeCount},
        {Insect, kInsectIconPiece, 200, 456, 220, kColorInsectCount},
        {Animal, kBeastIconPiece, 260, 460, 280, kColorBeastCount},
    };
    for (const CountSpot& spot : spots) {
        engine.DrawGraphAt(spot.iconX, spot.iconY, objectPieces[spot.piece], 1);
        if (spot.kind == highlightKind) {
            engine.SetBlendMode(2, 255);
            engine.DrawGraphAt(spot.iconX, spot.iconY, objectPieces[spot.piece], 1);
            engine.SetBlendMode(0, 255);
        }
        std::snprintf(text, sizeof text, "%d", kindStats[spot.kind].livingCount);
        engine.DrawStringWithFont(spot.textX, 460, text, GameColorValue(spot.color), fonts[2], edge, 0);
    }

    // Air bar: the air's share of the starting nutrient; empty when the run started with none.
    int airWidth = 0;
    if (initialEnergy > 0) {
        const double share = static_cast<double>(airEnergy) / initialEnergy * kAirBarWidth;
        airWidth = share <= 0 ? 0 : share >= kAirBarWidth ? kAirBarWidth : static_cast<int>(share);
    }
    engine.DrawGraphPart(330, 460, 144, 24, airWidth, 16, systemPicture, 1, 0);
    engine.DrawGraphPart(330, 460, 250, 24, 46, 16, systemPicture, 1, 0);
}

void World::DrawCreature(const Creature& creature, bool highlight) {
    GameEngine& engine = Engine();
    const double scale = PieceScale(*this);
    const ScreenPoint p = WorldToScreen(*this, creature.x + 4000, creature.y + 4000);
    const int graph = creature.sprite >= 0 && creature.sprite < kObjectPieceCount
                          ? objectPieces[creature.sprite]
                          : -1;
    const int mirrored = creature.vx < 0 ? 1 : 0;
    engine.DrawGraphRotated(p.x, p.y, scale, 0.0, graph, 1, mirrored);
    if (highlight) {
        engine.SetBlendMode(2, 255);
        engine.DrawGraphRotated(p.x, p.y, scale, 0.0, graph, 1, mirrored);
        engine.SetBlendMode(0, 255);
    }
    if (creature.target >= 0 && creature.target < kWorldSlotCount) {
        const Creature& target = creatures[creature.target];
        const ScreenPoint t = WorldToScreen(*this, target.x + 4000, target.y + 4000);
        const uint32_t colour =
            GameColorValue(target.kind == Animal ? kColorFleeLine : kColorChaseLine);
        engine.DrawLineShape(p.x, p.y, t.x, t.y, colour, 1);
    }
}

void World::DrawInfoPanel() {
    GameEngine& engine = Engine();
    const Creature& c = creatures[selectedSlot];
    const uint32_t white = GameColorValue(kColorWhite);
    const uint32_t edge = GameColorValue(kColorBlack);

    engine.SetBlendMode(1, 160);
    engine.DrawGraphPart(0, 0, 0, 64, 296, 128, framePicture, 1, 0);
    engine.SetBlendMode(0, 0);
    engine.DrawGraphPart(0, 0, 0, 0, 96, 128, systemPicture, 1, 0);
    const int piece = c.sprite >= 0 && c.sprite < kObjectPieceCount ? objectPieces[c.sprite] : -1;
    engine.DrawGraphStretched(24, 24, 72, 72, piece, 1);
    engine.DrawStringWithFont(96, 0, c.name, white, fonts[0], edge, 0);

    // Energy bar: a filled box above the kind's full energy, nothing below zero.
    // The width is truncated first: just above full energy still shows the whole bar. Whole
    // numbers throughout, so a width that is exactly a whole number (804 of 800 is 201) is
    // not taken one lower by a rounded quotient.
    const int width = static_cast<int>(int64_t{c.energy} * kEnergyBarWidth / FullEnergy(c.kind));
    if (width > kEnergyBarWidth) {
        engine.DrawBoxShape(96, 32, 96 + kEnergyBarWidth, 56, GameColorValue(kColorCursor), 1);
    } else {
        engine.DrawGraphPart(96, 32, 96, 0, ClampInt(width, 0, kEnergyBarWidth), 24,
                             systemPicture, 1, 0);
    }
    char text[100];
    std::snprintf(text, sizeof text, "%d", c.energy);
    engine.DrawStringWithFont(220, 32, text, white, fonts[1], edge, 0);

    // Nutrient icons of 10, 5 and 1 for the whole nutrient; a long row runs past the panel
    // and the screen's edge clips it.
    int remaining = c.nutrient;
    int x = 118;
    while (remaining > 0) {
        int sourceX = 136, width = 8, amount = 1;
        if (remaining >= 10) {
            sourceX = 96, width = 24, amount = 10;
        } else if (remaining >= 5) {
            sourceX = 120, width = 16, amount = 5;
        }
        engine.DrawGraphPart(x, 59, sourceX, 24, width, 16, systemPicture, 1, 0);
        remaining -= amount;
        x += width;
    }

    engine.DrawGraphPart(96, 46, 96, 48, 200, 28, systemPicture, 1, 0);
    std::snprintf(text, sizeof text, "SPEED:%d", c.speed);
    engine.DrawStringWithFont(96, 80, text, white, fonts[2], edge, 0);
    std::snprintf(text, sizeof text, "TIME:%d", c.ageSeconds);
    engine.DrawStringWithFont(24, 96, text, white, fonts[2], edge, 0);
    std::snprintf(text, sizeof text, "GENERATION:%d", c.generation);
    engine.DrawStringWithFont(120, 96, text, white, fonts[2], edge, 0);
}
