// The kept setups of the rotated draw: a few entries, chosen by the angle and scale, each keyed
// exactly on what determines it, so that a kept value is always the one a fresh computation gives.
#include "softblit/rotate_setup.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "softblit/fixed_sincos.h"
#include "softblit/kernel_common.h"

namespace softblit {
namespace {

// A float truncated toward zero, refused unless it lies strictly between -2^31 and 2^31.
bool TruncateChecked(float value, int32_t* out) {
    if (!(std::fabs(value) < 2147483648.0f)) return false;
    *out = static_cast<int32_t>(value);
    return true;
}

// The same into 64 bits, held at 2^62 either way: the corners of a large scale reach far beyond
// the 32-bit range, and the box they span is clipped to the draw area before anything is drawn,
// so a corner beyond 2^62 (or at an infinite size) covers it as one at 2^62 does.
int64_t TruncateWide(float value) {
    constexpr float kLimit = 4611686018427387904.0f;
    if (std::fabs(value) < kLimit) return static_cast<int64_t>(value);
    return value < 0 ? -static_cast<int64_t>(kLimit) : static_cast<int64_t>(kLimit);
}

// The greater of two values of less than 2^62, without a branch: which of two corners reaches
// further follows the angle and cannot be foreseen.
int64_t Greater(int64_t a, int64_t b) {
    int64_t difference = a - b;
    return a - (difference & (difference >> 63));
}

// difference / rows truncated toward zero, for rows in 1 .. 2^31 - 1; the 32-bit division when
// the difference fits it (the common case: it is the cheaper one).
int64_t RowStep(int64_t difference, int64_t rows) {
    if (difference == static_cast<int32_t>(difference))
        return static_cast<int32_t>(difference) / static_cast<int32_t>(rows);
    return difference / rows;
}

uint32_t BitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void ComputeShape(float angle, float scale, int32_t width, int32_t height, RotationShape* s) {
    // The turn by -angle takes the same sine negated and the same cosine: the library's sine is
    // odd and its cosine even to the last bit (checked for every float), so one call serves both.
    ComputeFixedSinCos(angle, &s->sine, &s->cosine);
    const float hw = static_cast<float>(static_cast<uint32_t>(width)) * scale * 0.5f;
    const float hh = static_cast<float>(static_cast<uint32_t>(height)) * scale * 0.5f;
    const float a = hw * static_cast<float>(s->cosine);
    const float b = hw * static_cast<float>(s->sine);
    const float c = hh * static_cast<float>(s->cosine);
    const float d = hh * static_cast<float>(s->sine);
    // Offsets of corners 0 (the source's top-left) and 1 (bottom-left) from the centre. Corners
    // 2 (bottom-right) and 3 (top-right) lie opposite them: their offsets a - d, c + b, a + d and
    // b - c are the exact negations of these (rounding and truncation are symmetric about zero).
    s->x0 = TruncateWide(d - a);
    s->y0 = TruncateWide(-c - b);
    s->x1 = TruncateWide(-a - d);
    s->y1 = TruncateWide(c - b);
    s->stepsFit = TruncateChecked(static_cast<float>(s->cosine) / scale, &s->columnU) &&
                  TruncateChecked(static_cast<float>(-s->sine) / scale, &s->columnV);
    s->reachX = Greater(std::abs(s->x0), std::abs(s->x1));
    s->reachY = Greater(std::abs(s->y0), std::abs(s->y1));
}

void ComputeStart(const RotationSetup& setup, int64_t ex, int64_t et, int64_t eb, RotationStart* start) {
    float scale;
    std::memcpy(&scale, &setup.scaleBits, sizeof scale);
    const int64_t sinMinus = -setup.shape.sine;
    const int64_t cosMinus = setup.shape.cosine;
    int32_t uTop, vTop, uBottom, vBottom;
    start->fits = TruncateChecked(static_cast<float>(ex * cosMinus - et * sinMinus) / scale, &uTop) &&
                  TruncateChecked(static_cast<float>(et * cosMinus + ex * sinMinus) / scale, &vTop) &&
                  TruncateChecked(static_cast<float>(ex * cosMinus - eb * sinMinus) / scale, &uBottom) &&
                  TruncateChecked(static_cast<float>(eb * cosMinus + ex * sinMinus) / scale, &vBottom);
    if (!start->fits) return;
    const uint32_t centreU = (static_cast<uint32_t>(setup.width) >> 1) << kFixedShift;
    const uint32_t centreV = (static_cast<uint32_t>(setup.height) >> 1) << kFixedShift;
    start->u0 = static_cast<uint32_t>(uTop) + centreU;
    start->v0 = static_cast<uint32_t>(vTop) + centreV;
    // The row steps from the edge's ends in 64 bits: at tiny scales the ends lie more than 2^31
    // apart. With two rows or more a step fits 32 bits; a single row never takes it.
    const int64_t rows = eb - et;
    start->uy = static_cast<uint32_t>(RowStep(int64_t{uBottom} - uTop, rows));
    start->vy = static_cast<uint32_t>(RowStep(int64_t{vBottom} - vTop, rows));
}

constexpr int kKeptSetups = 16;

struct KeptSetups {
    bool keep = true;
    RotationSetup entries[kKeptSetups] = {};
    RotationSetup fresh = {};   // the setup of a call when none are kept
};

KeptSetups& Kept() {
    thread_local KeptSetups kept;
    return kept;
}

} // namespace

RotationSetup& FindRotationSetup(float angle, float scale, int32_t width, int32_t height) {
    KeptSetups& kept = Kept();
    const uint32_t angleBits = BitsOf(angle);
    const uint32_t scaleBits = BitsOf(scale);
    const uint32_t slot = ((angleBits ^ scaleBits * 0x9E3779B1u) * 0x85EBCA6Bu) >> 28;
    static_assert(kKeptSetups == 16, "the slot takes the hash's top four bits");
    RotationSetup& setup = kept.keep ? kept.entries[slot] : kept.fresh;
    if (kept.keep && setup.kept && setup.angleBits == angleBits && setup.scaleBits == scaleBits &&
        setup.width == width && setup.height == height)
        return setup;
    ComputeShape(angle, scale, width, height, &setup.shape);
    setup.angleBits = angleBits;
    setup.scaleBits = scaleBits;
    setup.width = width;
    setup.height = height;
    setup.startKept = false;
    setup.kept = kept.keep;
    return setup;
}

const RotationStart& FindRotationStart(RotationSetup& setup, int64_t ex, int64_t et, int64_t eb) {
    if (setup.startKept && setup.ex == ex && setup.et == et && setup.eb == eb) return setup.start;
    ComputeStart(setup, ex, et, eb, &setup.start);
    setup.ex = ex;
    setup.et = et;
    setup.eb = eb;
    setup.startKept = setup.kept;
    return setup.start;
}

void KeepRotationSetups(bool keep) {
    Kept().keep = keep;
}

} // namespace softblit
