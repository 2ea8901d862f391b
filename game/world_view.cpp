// The world view's part of the world: pictures, fonts, the transform and the mouse tools.
#include "world_view.h"

#include "game_engine.h"
#include "sound_effects.h"
#include "world.h"

namespace {

constexpr const char* kFontFace = "MSゴシック";

struct FontSpec {
    int size, thickness, type, edgeSize;
};
// Name, run clock and energy, counts and panel texts, log lines.
constexpr FontSpec kWorldFonts[kWorldFontCount] = {
    {24, 8, 3, 2}, {22, 6, 1, 2}, {16, 6, 1, -1}, {10, 1, 1, -1}};

// Toggles the highlight between the button's kind and none.
void ToggleHighlight(World& world, int32_t kind) {
    world.highlightKind = world.highlightKind == kind ? -1 : kind;
}

bool InsideButton(int mouseX, int mouseY, int buttonX) {
    const int dx = mouseX - (buttonX + 24);
    const int dy = mouseY - (kToolButtonY + 24);
    return dx * dx + dy * dy < 576;
}

}  // namespace

ScreenPoint WorldToScreen(const World& world, int32_t worldX, int32_t worldY) {
    const double k = 1000.0 / world.zoom;
    const double x = (worldX - (world.cameraX - 320000 * k)) / 1000 / k;
    const double y = (worldY - (world.cameraY - 240000 * k)) / 1000 / k;
    return {static_cast<int>(x), static_cast<int>(y)};
}

void ScreenToWorld(const World& world, int mouseX, int mouseY, int32_t* worldX, int32_t* worldY) {
    const double s = 500.0 / (world.zoom / 2000.0);
    *worldX = static_cast<int32_t>(world.cameraX - 320 * s + mouseX * s);
    *worldY = static_cast<int32_t>(world.cameraY - 240 * s + mouseY * s);
}

double PieceScale(const World& world) {
    return world.zoom / 2000.0;
}

void World::LoadView() {
    GameEngine& engine = Engine();
    engine.LoadDividedGraphs("Data/Image/Object.bmp", kObjectPieceCount, kObjectPieceCount, 1, 16,
                             16, objectPieces, 0);
    systemPicture = engine.LoadGraphHandle("Data/Image/System.bmp", 0);
    framePicture = engine.LoadGraphHandle("Data/Image/frame.bmp", 0);
    for (int i = 0; i < kWorldFontCount; ++i) {
        const FontSpec& spec = kWorldFonts[i];
        fonts[i] = engine.CreateFontToHandle(kFontFace, spec.size, spec.thickness, spec.type, -1,
                                             spec.edgeSize, 0, -1, -1);
    }
}

void World::ReleaseView() {
    GameEngine& engine = Engine();
    for (int32_t& piece : objectPieces) {
        engine.DeleteGraph(piece, 0);
        piece = -1;
    }
    engine.DeleteGraph(systemPicture, 0);
    engine.DeleteGraph(framePicture, 0);
    systemPicture = framePicture = -1;
    for (int32_t& font : fonts) {
        engine.ReleaseFont(font);
        font = -1;
    }
}

void World::RunMouseTools() {
    GameEngine& engine = Engine();
    const int buttons = engine.GetMouseButtons();
    int mouseX = 0;
    int mouseY = 0;
    engine.GetMousePosition(&mouseX, &mouseY);

    if ((buttons & 0x1) == 0) {
        leftLatch = false;
    } else if (!leftLatch) {
        bool hit = false;
        if (InsideButton(mouseX, mouseY, kSelectButtonX)) {
            tool = 0;
            hit = true;
        }
        if (InsideButton(mouseX, mouseY, kZoomButtonX)) {
            tool = 1;
            hit = true;
        }
        if (mouseY >= 455 && mouseY <= 479) {
            if (mouseX >= 141 && mouseX <= 199) {
                ToggleHighlight(*this, Wood);
                hit = true;
            } else if (mouseX >= 201 && mouseX <= 259) {
                ToggleHighlight(*this, Insect);
                hit = true;
            } else if (mouseX >= 261 && mouseX <= 319) {
                ToggleHighlight(*this, Animal);
                hit = true;
            }
        }
        if (hit) {
            PlaySoundEffect(kSoundClick);
        } else if (mouseY < kBottomPanelTop) {
            int32_t worldX = 0;
            int32_t worldY = 0;
            ScreenToWorld(*this, mouseX, mouseY, &worldX, &worldY);
            if (tool == 0) {
                for (int32_t slot = 0; slot < kWorldSlotCount; ++slot) {
                    const Creature& c = creatures[slot];
                    if (c.kind != Empty && TenthPixelDistanceSquared(c.x, c.y, worldX, worldY) < 10000) {
                        selectedSlot = slot;
                        selectedId = c.id;
                        PlaySoundEffect(kSoundClick);
                        break;
                    }
                }
            } else {
                PlaySoundEffect(kSoundClick);
                if (zoom < kMaxZoom) {
                    cameraX = worldX;
                    cameraY = worldY;
                    zoom *= 2;
                }
            }
        }
        leftLatch = true;
    }

    if ((buttons & 0x2) == 0) {
        rightLatch = false;
    } else if (!rightLatch) {
        if (tool == 0) {
            if (selectedSlot != -1) {
                PlaySoundEffect(kSoundClick);
                selectedSlot = -1;
            }
        } else {
            PlaySoundEffect(kSoundClick);
            if (zoom > kMinZoom) zoom /= 2;
        }
        rightLatch = true;
    }
}
