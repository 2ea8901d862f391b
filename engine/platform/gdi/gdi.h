// Stand-ins for the drawing-object services of GDI the library uses: device capabilities,
// stock objects and solid brushes.
#pragma once

#include "platform/types.h"
#include "platform/user/user.h"

inline constexpr V_COLORREF V_RGB(int r, int g, int b) {
    return static_cast<V_COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

constexpr int V_BITSPIXEL = 12;
constexpr int V_PLANES = 14;
// The desktop reports 16 bits per pixel (R5G6B5), or 24 or 32 when the environment variable
// VELK_DESKTOP_BITS says so; one plane.
int V_GetDeviceCaps(V_HDC dc, int index);

constexpr int V_BLACK_BRUSH = 4;
constexpr int V_NULL_BRUSH = 5;
V_HGDIOBJ V_GetStockObject(int object);
V_HBRUSH V_CreateSolidBrush(V_COLORREF color);
// Deletes brushes and bitmaps; stock objects are never freed.
V_BOOL V_DeleteObject(V_HGDIOBJ object);

// Layer-internal: the colour of a brush; false for the null brush or an unknown handle.
bool GdiGetBrushColor(V_HBRUSH brush, V_COLORREF* color);
// Layer-internal: deletes a brush (true), or leaves an object that is no brush (false).
bool GdiDeleteBrush(V_HGDIOBJ object);
