// Bringing a Theora movie's current frame where it is shown: converted into the output image,
// or copied as YUV data into the Direct3D surface.
#include <cstring>

#include "graphics/device.h"
#include "graphics/render_state.h"
#include "movie/movie.h"
#include "movie/movie_services.h"
#include "movie/theora_movie.h"

namespace {

constexpr V_D3DFORMAT kYuvFormats[3] = {V_MAKEFOURCC('Y', 'V', '1', '2'),
                                        V_MAKEFOURCC('Y', 'U', 'Y', '2'),
                                        V_MAKEFOURCC('U', 'Y', 'V', 'Y')};
// How long the display waits for the decode thread to bring the current frame.
constexpr int kFrameWaitMs = 2000;

void NoteFormat(TheoraMovie* movie, V_D3DFORMAT format) {
    for (int i = 0; i < 4; ++i) movie->surfaceFormat[i] = static_cast<char>(format >> (8 * i));
}

V_D3DFORMAT SurfaceFormat(const TheoraMovie* movie) {
    return V_MAKEFOURCC(movie->surfaceFormat[0], movie->surfaceFormat[1],
                        movie->surfaceFormat[2], movie->surfaceFormat[3]);
}

// The valid stock entry of the current frame, or -1 once waiting makes no sense.
int FindCurrentEntry(TheoraMovie* movie) {
    int start = GetMilliseconds();
    for (;;) {
        int32_t state = movie->state.load();
        if (state == kTheoraExited) return -1;
        if (state == kTheoraSeeking) {
            V_Sleep(1);
            continue;
        }
        int32_t current = movie->currentFrame.load();
        for (int i = 0; i < movie->stockCount; ++i)
            if (movie->stock[i].valid.load() && movie->stock[i].frame == current) return i;
        // The decoder holds the frame but has no picture of it (none decoded yet).
        if (movie->blankFrame.load() == current) return -1;
        if (movie->endFlag.load()) return -1;
        if (GetMillisecondsSince(start) > kFrameWaitMs) return -1;
        V_Sleep(0);
    }
}

// Copies the planes into the locked surface in its format; 4:2:0 planes only.
void CopyToSurface(const TheoraFrameStockEntry& f, const V_D3DLOCKED_RECT& locked,
                   V_D3DFORMAT format, int width, int height) {
    if (f.yWidth != 2 * f.uvWidth || f.yHeight != 2 * f.uvHeight) return;
    uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
    const int pitch = locked.Pitch;
    if (format == kYuvFormats[0]) {
        for (int row = 0; row < height; ++row)
            std::memcpy(bits + static_cast<size_t>(row) * pitch,
                        f.y + static_cast<size_t>(row) * f.yStride, static_cast<size_t>(width));
        // The V plane comes first, then the U plane, each at half the pitch.
        uint8_t* vPlane = bits + static_cast<size_t>(pitch) * height;
        uint8_t* uPlane = vPlane + static_cast<size_t>(pitch / 2) * (height / 2);
        for (int row = 0; row < height / 2; ++row) {
            std::memcpy(vPlane + static_cast<size_t>(row) * (pitch / 2),
                        f.v + static_cast<size_t>(row) * f.uvStride,
                        static_cast<size_t>(width / 2));
            std::memcpy(uPlane + static_cast<size_t>(row) * (pitch / 2),
                        f.u + static_cast<size_t>(row) * f.uvStride,
                        static_cast<size_t>(width / 2));
        }
        return;
    }
    const bool yFirst = format == kYuvFormats[1];
    for (int row = 0; row < height; ++row) {
        const uint8_t* y = f.y + static_cast<size_t>(row) * f.yStride;
        const uint8_t* u = f.u + static_cast<size_t>(row / 2) * f.uvStride;
        const uint8_t* v = f.v + static_cast<size_t>(row / 2) * f.uvStride;
        uint8_t* out = bits + static_cast<size_t>(row) * pitch;
        for (int x = 0; x + 1 < width; x += 2, out += 4) {
            if (yFirst) {
                out[0] = y[x], out[1] = u[x / 2], out[2] = y[x + 1], out[3] = v[x / 2];
            } else {
                out[0] = u[x / 2], out[1] = y[x], out[2] = v[x / 2], out[3] = y[x + 1];
            }
        }
    }
}

// Locks the surface, re-creating it after a failed lock (three attempts in all).
bool FillSurface(TheoraMovie* movie, const TheoraFrameStockEntry& frame) {
    for (int attempt = 0; attempt < 3 && movie->yuvSurface != nullptr; ++attempt) {
        V_D3DLOCKED_RECT locked{};
        if (V_FAILED(movie->yuvSurface->LockRect(&locked, nullptr, 0))) {
            CreateTheoraYuvSurface(movie);
            continue;
        }
        V_D3DSURFACE_DESC desc{};
        movie->yuvSurface->GetDesc(&desc);
        int width = frame.yWidth < static_cast<int>(desc.Width) ? frame.yWidth
                                                                 : static_cast<int>(desc.Width);
        int height = frame.yHeight < static_cast<int>(desc.Height)
                         ? frame.yHeight
                         : static_cast<int>(desc.Height);
        if (locked.pBits != nullptr) CopyToSurface(frame, locked, SurfaceFormat(movie), width, height);
        movie->yuvSurface->UnlockRect();
        return true;
    }
    return false;
}

}  // namespace

int CreateTheoraYuvSurface(TheoraMovie* movie) {
    if (movie->yuvSurface != nullptr) {
        movie->yuvSurface->Release();
        movie->yuvSurface = nullptr;
    }
    std::memset(movie->surfaceFormat, 0, sizeof movie->surfaceFormat);
    V_IDirect3DDevice9* device = GetDevice();
    if (device == nullptr || !g_ScreenSettings.useDirect3D) return 0;
    for (V_D3DFORMAT format : kYuvFormats) {
        NoteFormat(movie, format);
        V_IDirect3DSurface9* surface = nullptr;
        if (V_SUCCEEDED(device->CreateOffscreenPlainSurface(movie->info.width, movie->info.height,
                                                            format, V_D3DPOOL_DEFAULT, &surface,
                                                            nullptr)) &&
            surface != nullptr) {
            movie->yuvSurface = surface;
            return 0;
        }
    }
    std::memset(movie->surfaceFormat, 0, sizeof movie->surfaceFormat);
    return 0;
}

void RenewTheoraOutputs(TheoraMovie* movie) {
    if (movie == nullptr) return;
    // The surface belongs to the device it was made on.
    if (movie->yuvSurface != nullptr) CreateTheoraYuvSurface(movie);
    movie->imageCurrent.store(0);
    movie->surfaceCurrent.store(0);
}

int UpdateTheoraFrame(void* player, int toImage, int toSurface) {
    TheoraMovie* movie = static_cast<TheoraMovie*>(player);
    if (movie == nullptr) return 0;
    bool wantImage = toImage && !movie->imageCurrent.load();
    bool wantSurface = toSurface && movie->yuvSurface != nullptr && !movie->surfaceCurrent.load();
    if (!wantImage && !wantSurface) return 0;
    int index = FindCurrentEntry(movie);
    if (index < 0) return 0;
    V_EnterCriticalSection(&movie->stockLock);
    const TheoraFrameStockEntry& frame = movie->stock[index];
    // The thread may have replaced the entry since it was found.
    if (!frame.valid.load() || frame.frame != movie->currentFrame.load()) {
        V_LeaveCriticalSection(&movie->stockLock);
        return 0;
    }
    if (wantSurface && FillSurface(movie, frame)) movie->surfaceCurrent.store(1);
    if (wantImage) {
        ConvertYuvToXrgb(&frame, &movie->output, static_cast<int>(movie->info.offset_x),
                         static_cast<int>(movie->info.offset_y));
        movie->imageCurrent.store(1);
    }
    V_LeaveCriticalSection(&movie->stockLock);
    return 1;
}
