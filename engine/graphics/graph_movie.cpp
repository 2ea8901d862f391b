// The frame callback of movie graphs: copies a movie's current frame into the graph's software
// image or textures.
#include <cstring>

#include "graphics/device.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"
#include "graphics/render_state.h"
#include "movie/movie_record.h"
#include "movie/movie_services.h"

namespace {

// The colour part of a frame and, when the movie carries alpha beside its colour, the alpha
// part (the right half), both as views of the frame image.
void SplitFrame(const MovieRecord* movie, ImageRecord* colour, ImageRecord* alpha) {
    *colour = *movie->currentImage;
    *alpha = {};
    if (!movie->alphaBeside) return;
    colour->width /= 2;
    *alpha = *colour;
    alpha->pixels += static_cast<size_t>(colour->width) * colour->format.bytesPerPixel;
}

// Copies the frame's rows straight into the software image (same pixel size).
void CopyRows(const ImageRecord* frame, MEMIMG* view) {
    int bytes = GetMemImgBytesPerPixel(view->base);
    int width = frame->width < view->width ? frame->width : view->width;
    int height = frame->height < view->height ? frame->height : view->height;
    for (int row = 0; row < height; ++row)
        std::memcpy(view->pixels + static_cast<size_t>(row) * view->base->pitch,
                    frame->pixels + static_cast<size_t>(row) * frame->pitch,
                    static_cast<size_t>(width) * bytes);
    UpdateMemImgRunCode(view, width, height);
}

void UpdateSoftwareGraph(MovieRecord* movie, GraphRecord* graph) {
    MEMIMG* view = &graph->view;
    if (!IsMemImgValid(view)) return;
    const ImageRecord* frame = movie->currentImage;
    if (frame->format.bytesPerPixel == GetMemImgBytesPerPixel(view->base) &&
        !movie->alphaBeside && movie->frameMode != 2) {
        CopyRows(frame, view);
        return;
    }
    ImageRecord colour, alpha;
    SplitFrame(movie, &colour, &alpha);
    int width = colour.width < view->width ? colour.width : view->width;
    int height = colour.height < view->height ? colour.height : view->height;
    TransferImageMemImg(&colour, movie->alphaBeside ? &alpha : nullptr, view, 0, 0, width,
                        height, 0, 0, 0);
}

void UpdateDeviceGraph(MovieRecord* movie, int graphHandle, GraphRecord* graph, void* surface) {
    SharedImage* image = graph->image;
    if (surface != nullptr && image->pieceCount > 0 && image->pieces[0].surface != nullptr) {
        // The surface holds the whole coded frame; the picture lies at its origin inside it.
        const TexturePiece& piece = image->pieces[0];
        int left = 0, top = 0;
        GetTheoraPictureOrigin(movie->decoder, &left, &top);
        V_RECT from{left, top, left + piece.width, top + piece.height};
        V_RECT to{0, 0, piece.width, piece.height};
        GetDevice()->StretchRect(static_cast<V_IDirect3DSurface9*>(surface), &from,
                                 piece.surface, &to, V_D3DTEXF_NONE);
        return;
    }
    ImageRecord colour, alpha;
    SplitFrame(movie, &colour, &alpha);
    V_RECT source{0, 0, colour.width, colour.height};
    TransferImageToTextures(graphHandle, &colour, nullptr, &source, 0, 0, 0, 0);
}

}  // namespace

void UpdateGraphMovieFrame(MovieRecord* movie, int graphHandle) {
    GraphRecord* graph = GetGraphRecord(graphHandle);
    if (movie == nullptr || graph == nullptr || graph->image == nullptr ||
        movie->currentImage == nullptr || movie->currentImage->pixels == nullptr)
        return;
    const bool device = graph->image->desc.textureMode != 0 && GetDevice() != nullptr;
    void* surface = nullptr;
    if (movie->theoraFlag) {
        surface = device ? GetTheoraYuvSurface(movie->decoder) : nullptr;
        int fresh = UpdateTheoraFrame(movie->decoder, surface == nullptr, surface != nullptr);
        // Nothing new since the frame was last handed over (the first handover always copies).
        if (!fresh && movie->newFrame) return;
    }
    if (device)
        UpdateDeviceGraph(movie, graphHandle, graph, surface);
    else
        UpdateSoftwareGraph(movie, graph);
}
