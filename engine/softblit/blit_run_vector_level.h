// The plain vector level of the run-table walk (blit_run_lanes.h): whole 16-pixel steps moved as
// they are, the last one of a row through a buffer; a step with pixels left out keeps the
// destination's in them. Included inside each level's file, under that file's target.
#pragma once

using Lanes16 = uint16_t __attribute__((vector_size(32)));

struct Level {
    using Lanes = uint32_t __attribute__((vector_size(64)));
    static Lanes Load32(const uint8_t* at, int n) {
        Lanes v = {};
        if (n == 16) std::memcpy(&v, at, sizeof v);
        else std::memcpy(&v, at, 4 * static_cast<size_t>(n));
        return v;
    }
    static Lanes Load16(const uint8_t* at, int n) {
        Lanes16 v = {};
        if (n == 16) std::memcpy(&v, at, sizeof v);
        else std::memcpy(&v, at, 2 * static_cast<size_t>(n));
        return __builtin_convertvector(v, Lanes);
    }
    static Lanes Select(uint32_t m, Lanes set, Lanes clear) {
        const Lanes bit = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768};
        Lanes chosen = (Lanes)((Lanes{} + m) & bit) != 0;
        return (set & chosen) | (clear & ~chosen);
    }
    static void Store32(uint8_t* at, Lanes v, uint32_t m, int n) {
        if (m != (1u << n) - 1) v = Select(m, v, Load32(at, n));
        if (n == 16) std::memcpy(at, &v, sizeof v);
        else std::memcpy(at, &v, 4 * static_cast<size_t>(n));
    }
    static void Store16(uint8_t* at, Lanes v, uint32_t m, int n) {
        if (m != (1u << n) - 1) v = Select(m, v, Load16(at, n));
        Lanes16 narrow = __builtin_convertvector(v, Lanes16);
        if (n == 16) std::memcpy(at, &narrow, sizeof narrow);
        else std::memcpy(at, &narrow, 2 * static_cast<size_t>(n));
    }
};
