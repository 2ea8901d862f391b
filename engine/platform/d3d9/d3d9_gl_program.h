// The fixed-function texture stages, alpha test, specular add, fog and shading of the Direct3D
// stand-in as generated GLSL: a key holds exactly what changes the program text, programs are
// generated from keys and cached, one per key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "platform/d3d9/d3d9_types.h"

constexpr int kGlStages = 8;
// Vertex attribute of the draw-order depth of draws ordered by depth.
constexpr int kGlOrderAttribute = 3 + kGlStages;

// The device states a program is built from (as the device holds them).
struct GlFixedState {
    V_DWORD colorOp[kGlStages];
    V_DWORD colorArg1[kGlStages];
    V_DWORD colorArg2[kGlStages];
    V_DWORD alphaOp[kGlStages];
    V_DWORD alphaArg1[kGlStages];
    V_DWORD alphaArg2[kGlStages];
    V_DWORD texCoordIndex[kGlStages];
    bool textureBound[kGlStages];
    V_DWORD shadeMode;
    V_DWORD specularEnable;
    V_DWORD alphaTestEnable;
    V_DWORD alphaFunc;
    V_DWORD fogEnable;
};

// The platform's defaults for a new device.
GlFixedState DefaultGlFixedState();

struct GlStageKey {
    uint8_t colorOp, colorArg1, colorArg2;
    uint8_t alphaOp, alphaArg1, alphaArg2;
    uint8_t texCoord;  // the vertex's texture-coordinate set
    uint8_t sampled;   // a texture is bound to the stage
};

// Only bytes, so that equal keys compare equal byte for byte.
struct GlProgramKey {
    uint8_t pretransformed;  // XYZRHW positions
    uint8_t texCoordSets;    // texture-coordinate sets of the vertex format (0-8)
    uint8_t flat;            // flat shading: the colours of a triangle's first vertex
    uint8_t specularAdd;
    uint8_t alphaFunc;       // 0: no alpha test, else the comparison
    uint8_t fog;             // pre-transformed fog from the specular alpha
    uint8_t stageCount;      // stages before the first disabled one
    // Draws ordered by depth: 0 no; 1 the fragment depth is the draw's order value (a vertex
    // attribute); 2 the same, and fragments of alpha exactly 0 are discarded.
    uint8_t order;
    GlStageKey stages[kGlStages];

    bool operator==(const GlProgramKey& other) const;
};

struct GlProgramKeyHash {
    size_t operator()(const GlProgramKey& key) const;
};

// The key of a draw: states past the first disabled stage, and states the program does not read,
// are left out so that they share one program.
GlProgramKey MakeGlProgramKey(const GlFixedState& state, V_DWORD fvf);

std::string GenerateGlVertexShader(const GlProgramKey& key);
std::string GenerateGlFragmentShader(const GlProgramKey& key);

// Programs by key: built once through the builder (which returns 0 on failure, also cached).
class GlProgramCache {
public:
    using Builder = std::function<unsigned(const GlProgramKey&)>;
    explicit GlProgramCache(Builder builder) : builder_(std::move(builder)) {}
    unsigned Get(const GlProgramKey& key);
    size_t Size() const { return programs_.size(); }
    // Calls the function for every program held, then forgets them all.
    void Clear(const std::function<void(unsigned)>& release);

private:
    Builder builder_;
    std::unordered_map<GlProgramKey, unsigned, GlProgramKeyHash> programs_;
    // The last keys asked for and their programs, looked at before the table: draws alternate
    // between a few states.
    static constexpr int kRecent = 4;
    GlProgramKey recentKeys_[kRecent] = {};
    unsigned recentPrograms_[kRecent] = {};
    int recentCount_ = 0, recentNext_ = 0;
};
