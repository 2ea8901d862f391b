// Placement of a movie shown as an overlay: the destination in screen coordinates clipped to
// the client area, the source cut to match. No opening path makes an overlay here, so the
// placement is worked out and kept, and there is no overlay surface to move.
#include <cstring>

#include "core/window.h"
#include "movie/movie_record.h"
#include "movie/movie_services.h"

namespace {

struct OverlayPlacement {
    int32_t x, y, scale, show;
    V_RECT source, destination;
};
static_assert(sizeof(OverlayPlacement) == sizeof(int32_t) * 12, "twelve words of placement");

// Works out the source and destination; false when nothing of the movie is visible.
bool PlaceOverlay(const MovieRecord* movie, int x, int y, int scale, V_RECT* source,
                  V_RECT* destination) {
    int width = movie->frameImage.width, height = movie->frameImage.height;
    if (scale < 1) return false;
    *source = {0, 0, width, height};
    V_RECT client{};
    GetClientRectBelowToolbar(&client);
    // Destination in screen coordinates, then clipped to the client area.
    V_RECT wanted{client.left + x, client.top + y, client.left + x + width * scale,
                  client.top + y + height * scale};
    *destination = wanted;
    ClipRect(destination, &client);
    if (destination->right <= destination->left || destination->bottom <= destination->top)
        return false;
    // Each side cut away shrinks the source by the cut over the scale.
    source->left += (destination->left - wanted.left) / scale;
    source->top += (destination->top - wanted.top) / scale;
    source->right -= (wanted.right - destination->right) / scale;
    source->bottom -= (wanted.bottom - destination->bottom) / scale;
    return source->right - source->left >= 1 && source->bottom - source->top >= 1;
}

}  // namespace

int UpdateMovieOverlay(int x, int y, int scale, int movieHandle, int show) {
    MovieRecord* movie = GetMovieRecord(movieHandle);
    if (movie == nullptr) return -1;
    if (!movie->overlayFlag || !movie->newFrame) return 0;
    OverlayPlacement placement{x, y, scale, show, {}, {}};
    if (!show || !PlaceOverlay(movie, x, y, scale, &placement.source, &placement.destination)) {
        placement.source = {};
        placement.destination = {};
    }
    std::memcpy(movie->overlayPlacement, &placement, sizeof placement);
    return 0;
}

int UpdateAllMovieOverlays() {
    for (int slot = 0; slot < kMovieSlots; ++slot) {
        MovieRecord* movie = g_MovieTable.records[slot];
        if (movie == nullptr || movie->theoraFlag || !movie->overlayFlag) continue;
        const int32_t* p = movie->overlayPlacement;
        UpdateMovieOverlay(p[0], p[1], p[2], MakeHandle(movie->check, kMovieHandleKind, slot),
                           p[3]);
    }
    return 0;
}
