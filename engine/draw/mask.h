// Masks and the mask screen: a table of mask handles, and a screen-sized byte mask that limits
// every draw to the pixels it allows while the mask screen is active.
#pragma once

#include <cstdint>

#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "platform/d3d9/d3d9.h"

constexpr int32_t kMaskHandleKind = 0x40000000;
constexpr int kMaskSlots = 512;

// A mask record; zero while free.
struct MaskRecord {
    uint32_t checkNumber;
    uint8_t* data;      // the mask's bytes (tracked heap), freed on delete
    int32_t width;      // free words of the record: the mask's size and pitch
    int32_t height;
    int32_t pitch;
    uint32_t used;
    int32_t reserved;
};

struct MaskTable {
    MaskRecord records[kMaskSlots];
    int32_t count;
    uint32_t checkCounter;
};
extern MaskTable g_MaskTable;

struct MaskScreen {
    uint8_t* buffer;         // one byte per screen pixel, null while not made
    int32_t pitch;           // screen width rounded up to a multiple of 4
    int32_t width;           // screen size when the buffer was made
    int32_t height;
    int32_t made;            // the mask screen is wanted
    int32_t use;             // the caller's switch
    int32_t active;          // use and made: the draw calls test only this
    int32_t reverse;         // 0: mask byte 0 is drawn; 1: mask byte not 0 is drawn
    MEMIMG image;            // software path: the screen-sized image draws go to
    int32_t imageMade;
    V_IDirect3DTexture9* imageTexture;   // device path: the mask in the texture's alpha
    V_IDirect3DTexture9* screenTexture;  // device path: the render target draws go to
    V_IDirect3DSurface9* screenSurface;  // its level 0
    int32_t textureWidth;                // powers of two not below the screen size
    int32_t textureHeight;
    V_IDirect3DSurface9* savedMaskSurface;    // remembered by BeginMaskedDraw
    V_IDirect3DSurface9* savedTargetSurface;
    int32_t savedOriginX, savedOriginY;       // the draw target's place in its surface
    int32_t bracketDepth;                     // open brackets; only the outermost one acts
    uint8_t* keptBuffer;                      // mask bytes kept by a release for the next make
    int32_t keptPitch, keptWidth, keptHeight; // their layout
};
extern MaskScreen g_MaskScreen;

// Table. A handle is valid when it has the mask kind, a slot below 512, a used record and the
// record's check number.
MaskRecord* GetMaskRecord(int handle);
// Makes a zero-filled mask of the given size; -1 when the size is not positive or the table is
// full. The only creator of masks: the facility's own tests use it.
int MakeMask(int width, int height);
int DeleteMask(int handle);
int DeleteAllMasks();

// The mask screen.
// Makes the buffer (zero-filled, or the bytes a release kept) and the textures or the software
// image; the image texture takes the buffer's bytes.
int CreateMaskScreen(int made);
// Frees the textures, the software image and the buffer; the buffer's bytes are kept for the next
// CreateMaskScreen (a device re-creation releases and restores the mask screen).
int ReleaseMaskScreen();
int SetUseMaskScreen(int flag);
int GetUseMaskScreen();
int RestoreMaskScreen();
int EndMaskScreen();
// Graphics start: use 1, active 0 (the buffer does not exist yet).
void ResetMaskScreenFlags();
int SetMaskScreenReverse(int reverse);
// Writes a rectangle of mask bytes (x, y, width, height from bytes with the given pitch) into
// the mask buffer and, on the device path, into the image texture's alpha (all alpha bits for a
// byte that is not 0). Clipped to the screen; -1 without a buffer.
int WriteMaskScreenRect(int x, int y, int width, int height, const uint8_t* bytes, int pitch);

// The bracket of a draw while the mask screen is active; the rectangle is left, top, right,
// bottom with right and bottom exclusive. Brackets nest: a draw made of other draws (a string of
// glyphs) brackets its whole rectangle once, and the inner draws' brackets do nothing, so that
// one inner bracket cannot copy the target over what another drew into the mask screen.
int BeginMaskedDraw(int left, int top, int right, int bottom);
int EndMaskedDraw(int left, int top, int right, int bottom);

// Runs a draw, bracketed when the mask screen is active.
template <typename Draw>
int DrawMasked(const V_RECT& rect, Draw draw) {
    if (!g_MaskScreen.active) return draw();
    BeginMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
    int result = draw();
    EndMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
    return result;
}
