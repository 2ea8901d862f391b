// Counts of what the OpenGL devices do per presented frame, and the optional line per present.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/d3d9/d3d9_gl_internal.h"

namespace {

V_D3D9GlFrameCounts g_Frame{};
V_D3D9GlFrameCounts g_Last{};
V_D3D9GlFrameCounts g_Total{};
uint64_t g_Frames = 0;

bool PrintEveryFrame() {
    static const bool on = [] {
        const char* value = std::getenv("VELK_GL_COUNTERS");
        return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
    }();
    return on;
}

}  // namespace

void GlCountDrawReceived() { ++g_Frame.drawsReceived; }
void GlCountGlDraw() { ++g_Frame.glDraws; }
void GlCountStateChanges(int count) { g_Frame.stateChanges += static_cast<uint64_t>(count); }
void GlCountTextureUpload(uint64_t bytes) {
    ++g_Frame.textureUploads;
    g_Frame.textureUploadBytes += bytes;
}

void GlEndCountedFrame(uint64_t bufferBytes) {
    g_Frame.bufferBytes = bufferBytes;
    g_Last = g_Frame;
    g_Total.drawsReceived += g_Frame.drawsReceived;
    g_Total.glDraws += g_Frame.glDraws;
    g_Total.stateChanges += g_Frame.stateChanges;
    g_Total.textureUploads += g_Frame.textureUploads;
    g_Total.textureUploadBytes += g_Frame.textureUploadBytes;
    if (bufferBytes > g_Total.bufferBytes) g_Total.bufferBytes = bufferBytes;  // the most held
    ++g_Frames;
    g_Frame = {};
    if (PrintEveryFrame())
        std::fprintf(stderr,
                     "GL frame %llu: %llu draws received, %llu GL draws, %llu state changes, "
                     "%llu texture uploads (%llu bytes), %llu buffer bytes\n",
                     static_cast<unsigned long long>(g_Frames),
                     static_cast<unsigned long long>(g_Last.drawsReceived),
                     static_cast<unsigned long long>(g_Last.glDraws),
                     static_cast<unsigned long long>(g_Last.stateChanges),
                     static_cast<unsigned long long>(g_Last.textureUploads),
                     static_cast<unsigned long long>(g_Last.textureUploadBytes),
                     static_cast<unsigned long long>(g_Last.bufferBytes));
}

V_D3D9GlFrameCounts V_D3D9GlLastFrameCounts() { return g_Last; }
V_D3D9GlFrameCounts V_D3D9GlTotalCounts() { return g_Total; }
uint64_t V_D3D9GlPresentedFrames() { return g_Frames; }
void V_D3D9GlResetCounts() {
    g_Frame = g_Last = g_Total = {};
    g_Frames = 0;
}
