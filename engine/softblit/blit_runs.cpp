// Unscaled blit along the source's run table (whole, unclipped, keyed draws): the table read
// into masks, then drawn by the walk of blit_run_lanes.h at the processor's level; this file
// holds the plain level, which any x86-64 processor runs (SSE2).
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "softblit/blit_frame.h"

namespace softblit {

namespace {

#include "softblit/blit_run_vector_level.h"
#include "softblit/blit_run_lanes.h"

// Sets the n bits (1 to 64) from bit x of the row's words.
inline void SetBits(uint64_t* words, int x, int n) {
    const uint64_t bits = n == 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
    const int shift = x & 63;
    words[x >> 6] |= bits << shift;
    if (shift + n > 64) words[(x >> 6) + 1] |= bits >> (64 - shift);
}

// Reads the table as the walk follows it: per row, its codes up to the row end, each run bounded
// by the pixels left in the row. Returns the bytes read.
size_t ReadRunTable(const RunTable& table, int words, std::vector<uint64_t>* bits) {
    bits->assign(static_cast<size_t>(2 * words) * table.height, 0);
    const uint8_t* code = table.code;
    for (int y = 0; y < table.height; ++y) {
        uint64_t* drawn = bits->data() + static_cast<size_t>(2 * words) * y;
        int x = 0;
        while (code < table.end) {
            const uint32_t byte = *code++;
            const uint32_t kind = byte >> 6;
            if (kind == 3) break;
            int n = static_cast<int>(byte & 0x3F) + 1;
            if (n > table.width - x) n = table.width - x;
            if (kind != 0 && n > 0) {
                SetBits(drawn, x, n);
                if (kind == 2) SetBits(drawn + words, x, n);
            }
            x += n;
        }
    }
    return static_cast<size_t>(code - table.code);
}

// The masks of the tables drawn lately, by the table's address (four ways to a set): each kept
// with the table bytes it was read from, and used only while the table still holds exactly those
// bytes, so that what is drawn is always what the table says now. Images of up to kLargest
// pixels are kept.
struct KeptMasks {
    const uint8_t* runCode = nullptr;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> code;
    std::vector<uint64_t> bits;
};
constexpr int kSets = 64;
constexpr int kWays = 4;
constexpr int64_t kLargest = 128 * 128;

struct KeptSet {
    KeptMasks ways[kWays];
    int next = 0;  // the way replaced next
};

inline bool Holds(const KeptMasks& kept, const RunTable& table) {
    return kept.runCode == table.code && kept.width == table.width && kept.height == table.height &&
           kept.code.size() <= static_cast<size_t>(table.end - table.code) &&
           std::memcmp(kept.code.data(), table.code, kept.code.size()) == 0;
}

const std::vector<uint64_t>& MasksOf(const RunTable& table, int words) {
    thread_local KeptSet sets[kSets];
    thread_local KeptMasks scratch;
    KeptMasks* entry = &scratch;
    if (int64_t{table.width} * table.height <= kLargest) {
        KeptSet& set = sets[(reinterpret_cast<uintptr_t>(table.code) * 0x9E3779B97F4A7C15ull) >> 58];
        for (KeptMasks& way : set.ways)
            if (Holds(way, table)) return way.bits;
        entry = &set.ways[set.next];
        set.next = (set.next + 1) % kWays;
    }
    const size_t read = ReadRunTable(table, words, &entry->bits);
    entry->runCode = table.code;
    entry->width = table.width;
    entry->height = table.height;
    entry->code.assign(table.code, table.code + read);
    return entry->bits;
}

// The AVX-512 run form (blit_rows.h) that draws the call, if there is one: the plain copies, and
// without modifiers the 32-bit mix, the 16-bit step and the multiply of a direct source.
inline bool RunFormOf(const KernelChoice& choice, RunOp* op) {
    if (choice.blend || !choice.white) return false;
    if (choice.kind == SourceKind::Alpha) {
        *op = RunOp::AlphaCopy;
        return choice.mode == 0;
    }
    if (choice.kind != SourceKind::Direct) return false;
    switch (choice.mode) {
    case 0: *op = RunOp::Copy; return true;
    case 1: *op = choice.wide ? RunOp::Mix : RunOp::Step; return true;
    case 4: *op = RunOp::Multiply; return true;
    default: return false;
    }
}

} // namespace

bool DrawRunsByForm(const KernelChoice& choice, const RowBlock& block, const RunTable& table, uint32_t p) {
    RunOp op;
    if (!HasAvx512Rows() || !RunFormOf(choice, &op)) return false;
    const int words = (table.width + 63) / 64;
    const RunMasks masks = {MasksOf(table, words).data(), words};
    if (choice.wide) DrawRuns32Avx512(op, block, masks, p);
    else DrawRuns16Avx512(op, block, masks, p);
    return true;
}

void RunFastKernel(const KernelChoice& choice, const BlitJob& job) {
    const int words = (job.width + 63) / 64;
    const RunMasks masks = {MasksOf({job.runCode, job.runCodeEnd, job.width, job.height}, words).data(), words};
    if (HasAvx512Rows()) DrawRunsAvx512(choice, job, masks);
    else if (HasAvx2()) DrawRunsAvx2(choice, job, masks);
    else DrawRunsOfLevel(choice, job, masks);
}

} // namespace softblit
