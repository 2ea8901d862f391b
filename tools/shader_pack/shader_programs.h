// The programs of the shader pack: which pointer slot each program fills.
#pragma once

constexpr int kPackVertexEntries = 16384;
constexpr int kPackPixelEntries = 4608;
constexpr int kPackProgramsPerEntry = 6;
constexpr int kDefaultVertexSlot = 32774;  // flat index among the vertex-program pointers
constexpr int kDefaultPixelSlot = 2454;    // flat index among the pixel-program pointers

struct ShaderProgramSlot {
    bool vertex;
    int slot;  // flat pointer index: entry × 6 + program
    const char* source;
};

extern const ShaderProgramSlot kShaderProgramSlots[];
extern const int kShaderProgramSlotCount;
