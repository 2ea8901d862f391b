// The library's video renderer of DirectShow movies: takes uncompressed 24-bit RGB and keeps the
// latest frame top-down in a buffer of its own, for the movie update to take.
#pragma once

#include <atomic>
#include <cstdint>

#include "graphics/graphics.h"
#include "movie/dshow_base.h"

// {71771540-2017-11CF-AE26-0020AFD79767}
constexpr V_GUID kMovieFrameRendererClass = {0x71771540, 0x2017, 0x11CF,
                                             {0xAE, 0x26, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};

class MovieFrameRenderer : public V_CBaseVideoRenderer {
public:
    MovieFrameRenderer(V_IUnknown* outer, V_HRESULT* hr);
    ~MovieFrameRenderer() override;
    V_HRESULT SetMediaType(const V_CMediaType* type) override;
    V_HRESULT DoRenderSample(V_IMediaSample* sample) override;
    V_HRESULT CheckMediaType(const V_CMediaType* type) override;

    // Copies the latest frame into the image (an R8G8B8 record, reallocated when its size
    // differs) and clears the new-frame flag; false when there is no frame.
    bool TakeFrame(ImageRecord* image);
    bool HasNewFrame() const { return newFrame_.load() != 0; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Pitch() const { return pitch_; }

private:
    V_CCritSec frameLock_;  // the buffer and its size, between the streaming and main threads
    uint8_t* frameBuffer_ = nullptr;
    std::atomic<int32_t> newFrame_{0};
    int32_t flip_ = 0;  // rows come bottom-up
    int32_t width_ = 0, height_ = 0;
    int32_t pitch_ = 0;
};

// A renderer (reference count 0) or null; *hr is set to success.
MovieFrameRenderer* CreateMovieFrameRenderer(V_IUnknown* outer, V_HRESULT* hr);
