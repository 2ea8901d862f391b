// Device capabilities, stock objects and solid brushes.
#include <cstdlib>
#include <cstring>

#include "platform/gdi/gdi.h"

namespace {

// A brush: a tagged record holding its colour; stock brushes are static records.
struct GdiBrush {
    uint32_t tag;
    bool stock;
    bool hollow;
    V_COLORREF color;
};
constexpr uint32_t kBrushTag = 0x42525348;  // "BRSH"
GdiBrush g_BlackBrush{kBrushTag, true, false, 0};
GdiBrush g_NullBrush{kBrushTag, true, true, 0};

GdiBrush* ToBrush(const void* object) {
    GdiBrush* brush = static_cast<GdiBrush*>(const_cast<void*>(object));
    return brush != nullptr && brush->tag == kBrushTag ? brush : nullptr;
}

}  // namespace

int V_GetDeviceCaps(V_HDC dc, int index) {
    if (dc == nullptr) return 0;
    if (index == V_PLANES) return 1;
    if (index != V_BITSPIXEL) return 0;
    const char* setting = std::getenv("VELK_DESKTOP_BITS");
    if (setting != nullptr && std::strcmp(setting, "24") == 0) return 24;
    if (setting != nullptr && std::strcmp(setting, "32") == 0) return 32;
    return 16;
}

V_HGDIOBJ V_GetStockObject(int object) {
    if (object == V_BLACK_BRUSH) return reinterpret_cast<V_HGDIOBJ>(&g_BlackBrush);
    if (object == V_NULL_BRUSH) return reinterpret_cast<V_HGDIOBJ>(&g_NullBrush);
    return nullptr;
}

V_HBRUSH V_CreateSolidBrush(V_COLORREF color) {
    return reinterpret_cast<V_HBRUSH>(new GdiBrush{kBrushTag, false, false, color & 0xFFFFFF});
}

bool GdiDeleteBrush(V_HGDIOBJ object) {
    GdiBrush* brush = ToBrush(object);
    if (brush == nullptr) return false;
    if (brush->stock) return true;
    brush->tag = 0;
    delete brush;
    return true;
}

bool GdiGetBrushColor(V_HBRUSH brush, V_COLORREF* color) {
    GdiBrush* record = ToBrush(brush);
    if (record == nullptr || record->hollow) return false;
    *color = record->color;
    return true;
}
