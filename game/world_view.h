// The world view's transform between world milli-pixels and window pixels.
#pragma once

#include <cstdint>

class World;

struct ScreenPoint {
    int x;
    int y;
};

// Where a world point (milli-pixels) shows in the window at the world's camera and zoom.
ScreenPoint WorldToScreen(const World& world, int32_t worldX, int32_t worldY);
// The world point under a window position.
void ScreenToWorld(const World& world, int mouseX, int mouseY, int32_t* worldX, int32_t* worldY);
// The scale pieces are drawn with (a 16-pixel piece covers 8 world pixels).
double PieceScale(const World& world);

// Window rectangles of the bottom panel's controls.
constexpr int kBottomPanelTop = 416;
constexpr int kSelectButtonX = 500;
constexpr int kZoomButtonX = 560;
constexpr int kToolButtonY = 430;
constexpr int kMaxZoom = 8000;
constexpr int kMinZoom = 1000;
