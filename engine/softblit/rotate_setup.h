// The set-up of a rotated draw that follows from its angle, scale and source size alone (the
// 14.18 sine and cosine, the corner offsets, the column steps and the box's reach), and the start
// values on the box's left edge, which add the box's place relative to the centre. Draws of one
// angle and scale (the tiles of a frame) find them kept from the draw before.
#pragma once

#include <cstdint>

namespace softblit {

// What the angle, scale, width and height determine.
struct RotationShape {
    bool stepsFit;         // so do the column steps (else the unturned draw draws nothing)
    int64_t sine;          // 14.18 of the angle
    int64_t cosine;
    int64_t x0, y0;        // offsets of the source's top-left corner from the centre, held
                           // within 2^62 either way
    int64_t x1, y1;        // and of its bottom-left corner
    int32_t columnU;       // the source steps for one pixel to the right
    int32_t columnV;
    int64_t reachX;        // how far the corners reach either way from the centre
    int64_t reachY;
};

// The start of the row walk for a box whose left edge lies ex columns right of the centre and
// whose top and bottom lie et and eb rows below it.
struct RotationStart {
    bool fits;             // the start values lie in the 32-bit range (else nothing is drawn)
    uint32_t u0, v0;       // the source position of the box's top-left pixel
    uint32_t uy, vy;       // the change from one row to the next down the left edge
};

// A kept draw: the shape and the start of the last box seen with it, each with its key.
struct RotationSetup {
    bool kept;             // the entry holds a setup
    uint32_t angleBits;
    uint32_t scaleBits;
    int32_t width;
    int32_t height;
    RotationShape shape;
    bool startKept;
    int64_t ex, et, eb;
    RotationStart start;
};

// The setup of the angle, scale (finite, non-zero) and source size (1 to 8191 each way), kept or
// computed afresh; the reference stays valid until the next call.
RotationSetup& FindRotationSetup(float angle, float scale, int32_t width, int32_t height);

// The start values of a box with the setup's angle, scale and size, kept or computed afresh.
const RotationStart& FindRotationStart(RotationSetup& setup, int64_t ex, int64_t et, int64_t eb);

// Off: every call computes its setup afresh and leaves the kept ones as they are (for tests that
// compare the two).
void KeepRotationSetups(bool keep);

} // namespace softblit
