// The movie frame renderer: media type checks, the frame buffer and the copy of each sample.
#include "movie/movie_renderer.h"

#include <cstring>

#include "core/core.h"

MovieFrameRenderer::MovieFrameRenderer(V_IUnknown* outer, V_HRESULT* hr)
    : V_CBaseVideoRenderer(kMovieFrameRendererClass, "MovieRenderer", outer, hr) {}

MovieFrameRenderer::~MovieFrameRenderer() {
    if (frameBuffer_ != nullptr) FreeMemory(frameBuffer_);
}

V_HRESULT MovieFrameRenderer::CheckMediaType(const V_CMediaType* type) {
    if (type == nullptr) return V_E_POINTER;
    if (!(type->formattype == V_FORMAT_VideoInfo)) return V_E_INVALIDARG;
    if (!(type->majortype == V_MEDIATYPE_Video)) return V_E_FAIL;
    if (!(type->subtype == V_MEDIASUBTYPE_RGB24)) return V_E_FAIL;
    return V_S_OK;
}

V_HRESULT MovieFrameRenderer::SetMediaType(const V_CMediaType* type) {
    if (type == nullptr) return V_E_POINTER;
    if (type->pbFormat == nullptr || type->cbFormat < sizeof(V_VIDEOINFOHEADER))
        return V_E_INVALIDARG;
    V_VIDEOINFOHEADER info;
    std::memcpy(&info, type->pbFormat, sizeof info);
    const int64_t width = info.bmiHeader.biWidth;
    const int64_t rawHeight = info.bmiHeader.biHeight;
    const int64_t height = rawHeight < 0 ? -rawHeight : rawHeight;
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide)
        return V_E_INVALIDARG;
    V_CAutoLock guard(&frameLock_);
    if (frameBuffer_ != nullptr) FreeMemory(frameBuffer_);
    frameBuffer_ = nullptr;
    width_ = height_ = pitch_ = 0;
    flip_ = rawHeight < 0 ? 0 : 1;
    const int32_t pitch = static_cast<int32_t>((width * 3 + 3) & ~int64_t{3});
    frameBuffer_ = static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(pitch) * height));
    if (frameBuffer_ == nullptr) return V_E_OUTOFMEMORY;
    width_ = static_cast<int32_t>(width);
    height_ = static_cast<int32_t>(height);
    pitch_ = pitch;
    newFrame_.store(0);
    return V_S_OK;
}

V_HRESULT MovieFrameRenderer::DoRenderSample(V_IMediaSample* sample) {
    if (sample == nullptr) return V_E_POINTER;
    V_CAutoLock guard(&frameLock_);
    if (frameBuffer_ == nullptr) return V_S_OK;
    V_BYTE* data = nullptr;
    if (V_FAILED(sample->GetPointer(&data)) || data == nullptr) return V_S_OK;
    // A short sample fills only the rows it holds.
    long length = sample->GetActualDataLength();
    int rows = length > 0 ? static_cast<int>(length / pitch_) : 0;
    if (rows > height_) rows = height_;
    if (flip_) {
        for (int row = 0; row < rows; ++row)
            std::memcpy(frameBuffer_ + static_cast<size_t>(height_ - 1 - row) * pitch_,
                        data + static_cast<size_t>(row) * pitch_, static_cast<size_t>(pitch_));
    } else {
        std::memcpy(frameBuffer_, data, static_cast<size_t>(pitch_) * rows);
    }
    newFrame_.store(1);
    return V_S_OK;
}

bool MovieFrameRenderer::TakeFrame(ImageRecord* image) {
    V_CAutoLock guard(&frameLock_);
    newFrame_.store(0);
    if (frameBuffer_ == nullptr) return false;
    if (image->pixels == nullptr || image->width != width_ || image->height != height_ ||
        image->pitch != pitch_) {
        if (image->pixels != nullptr) FreeMemory(image->pixels);
        *image = {};
        image->pixels = static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(pitch_) * height_));
        if (image->pixels == nullptr) return false;
        SetColorFormatR8G8B8(&image->format);
        image->width = width_;
        image->height = height_;
        image->pitch = pitch_;
    }
    std::memcpy(image->pixels, frameBuffer_, static_cast<size_t>(pitch_) * height_);
    return true;
}

MovieFrameRenderer* CreateMovieFrameRenderer(V_IUnknown* outer, V_HRESULT* hr) {
    V_HRESULT ignored = V_S_OK;
    MovieFrameRenderer* renderer = new (std::nothrow) MovieFrameRenderer(outer, hr ? hr : &ignored);
    if (hr != nullptr) *hr = V_S_OK;
    return renderer;
}
