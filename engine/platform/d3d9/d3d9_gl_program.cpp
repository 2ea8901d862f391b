// Program keys, GLSL generation and the program cache.
#include "platform/d3d9/d3d9_gl_program.h"

#include <cstring>

GlFixedState DefaultGlFixedState() {
    GlFixedState state{};
    for (int i = 0; i < kGlStages; ++i) {
        state.colorOp[i] = i == 0 ? V_D3DTOP_MODULATE : V_D3DTOP_DISABLE;
        state.colorArg1[i] = V_D3DTA_TEXTURE;
        state.colorArg2[i] = V_D3DTA_CURRENT;
        state.alphaOp[i] = i == 0 ? V_D3DTOP_SELECTARG1 : V_D3DTOP_DISABLE;
        state.alphaArg1[i] = V_D3DTA_TEXTURE;
        state.alphaArg2[i] = V_D3DTA_CURRENT;
        state.texCoordIndex[i] = static_cast<V_DWORD>(i);
    }
    state.shadeMode = V_D3DSHADE_GOURAUD;
    state.alphaFunc = V_D3DCMP_ALWAYS;
    return state;
}

bool GlProgramKey::operator==(const GlProgramKey& other) const {
    return std::memcmp(this, &other, sizeof *this) == 0;
}

size_t GlProgramKeyHash::operator()(const GlProgramKey& key) const {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&key);
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < sizeof key; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    return static_cast<size_t>(hash);
}

namespace {

bool UsesTexture(V_DWORD op, V_DWORD arg1, V_DWORD arg2) {
    if (op == V_D3DTOP_BLENDTEXTUREALPHA) return true;
    bool first = op != V_D3DTOP_SELECTARG2, second = op != V_D3DTOP_SELECTARG1;
    return (first && (arg1 & V_D3DTA_SELECTMASK) == V_D3DTA_TEXTURE) ||
           (second && (arg2 & V_D3DTA_SELECTMASK) == V_D3DTA_TEXTURE);
}

}  // namespace

GlProgramKey MakeGlProgramKey(const GlFixedState& state, V_DWORD fvf) {
    GlProgramKey key;
    std::memset(&key, 0, sizeof key);
    key.pretransformed = (fvf & V_D3DFVF_XYZRHW) != 0;
    key.texCoordSets = static_cast<uint8_t>((fvf >> V_D3DFVF_TEXCOUNT_SHIFT) & 0xF);
    if (key.texCoordSets > kGlStages) key.texCoordSets = kGlStages;
    key.flat = state.shadeMode == V_D3DSHADE_FLAT;
    key.specularAdd = state.specularEnable != 0;
    if (state.alphaTestEnable != 0 && state.alphaFunc != V_D3DCMP_ALWAYS)
        key.alphaFunc = static_cast<uint8_t>(state.alphaFunc);
    key.fog = state.fogEnable != 0 && key.pretransformed;
    int count = 0;
    while (count < kGlStages && state.colorOp[count] != V_D3DTOP_DISABLE) ++count;
    key.stageCount = static_cast<uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        GlStageKey& stage = key.stages[i];
        stage.colorOp = static_cast<uint8_t>(state.colorOp[i]);
        stage.colorArg1 = static_cast<uint8_t>(state.colorArg1[i]);
        stage.colorArg2 = static_cast<uint8_t>(state.colorArg2[i]);
        stage.alphaOp = static_cast<uint8_t>(state.alphaOp[i]);
        stage.alphaArg1 = static_cast<uint8_t>(state.alphaArg1[i]);
        stage.alphaArg2 = static_cast<uint8_t>(state.alphaArg2[i]);
        bool usesTexture =
            UsesTexture(state.colorOp[i], state.colorArg1[i], state.colorArg2[i]) ||
            (state.alphaOp[i] != V_D3DTOP_DISABLE &&
             UsesTexture(state.alphaOp[i], state.alphaArg1[i], state.alphaArg2[i]));
        if (usesTexture) {
            stage.sampled = state.textureBound[i];
            V_DWORD set = state.texCoordIndex[i] & 0xFFFF;
            stage.texCoord = static_cast<uint8_t>(set < key.texCoordSets ? set : 0xFF);
        }
    }
    return key;
}

namespace {

const char* ArgumentSource(uint8_t argument) {
    switch (argument & V_D3DTA_SELECTMASK) {
    case V_D3DTA_DIFFUSE: return "diffuse";
    case V_D3DTA_TEXTURE: return "texel";
    case V_D3DTA_TFACTOR: return "uFactor";
    case V_D3DTA_SPECULAR: return "specular";
    default: return "current";
    }
}

std::string Argument(uint8_t argument, const char* swizzle) {
    std::string value = std::string(ArgumentSource(argument)) + swizzle;
    if (argument & V_D3DTA_COMPLEMENT) return "(1.0 - " + value + ")";
    return value;
}

// One stage operation on its two arguments (colour or alpha, by the swizzle).
std::string Operation(uint8_t op, uint8_t arg1, uint8_t arg2, const char* swizzle) {
    std::string a = Argument(arg1, swizzle), b = Argument(arg2, swizzle);
    switch (op) {
    case V_D3DTOP_SELECTARG2: return b;
    case V_D3DTOP_MODULATE: return a + " * " + b;
    case V_D3DTOP_MODULATE2X: return a + " * " + b + " * 2.0";
    case V_D3DTOP_MODULATE4X: return a + " * " + b + " * 4.0";
    case V_D3DTOP_ADD: return a + " + " + b;
    case V_D3DTOP_ADDSIGNED: return a + " + " + b + " - 0.5";
    case V_D3DTOP_SUBTRACT: return a + " - " + b;
    case V_D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + b + ", " + a + ", diffuse.a)";
    case V_D3DTOP_BLENDTEXTUREALPHA: return "mix(" + b + ", " + a + ", texel.a)";
    case V_D3DTOP_BLENDFACTORALPHA: return "mix(" + b + ", " + a + ", uFactor.a)";
    case V_D3DTOP_BLENDCURRENTALPHA: return "mix(" + b + ", " + a + ", current.a)";
    default: return a;  // SELECTARG1, and operations this device does not offer
    }
}

const char* Comparison(uint8_t func) {
    switch (func) {
    case V_D3DCMP_NEVER: return "false";
    case V_D3DCMP_LESS: return "alpha < uAlphaRef";
    case V_D3DCMP_EQUAL: return "alpha == uAlphaRef";
    case V_D3DCMP_LESSEQUAL: return "alpha <= uAlphaRef";
    case V_D3DCMP_GREATER: return "alpha > uAlphaRef";
    case V_D3DCMP_NOTEQUAL: return "alpha != uAlphaRef";
    case V_D3DCMP_GREATEREQUAL: return "alpha >= uAlphaRef";
    default: return "true";
    }
}

std::string Varyings(const GlProgramKey& key, const char* direction) {
    std::string text;
    const char* shading = key.flat ? "flat " : "";
    text += std::string(shading) + direction + " vec4 vDiffuse;\n";
    text += std::string(shading) + direction + " vec4 vSpecular;\n";
    for (int i = 0; i < key.texCoordSets; ++i)
        text += std::string(direction) + " vec2 vTex" + std::to_string(i) + ";\n";
    return text;
}

}  // namespace

std::string GenerateGlVertexShader(const GlProgramKey& key) {
    std::string text = "#version 330 core\n";
    text += "layout(location = 0) in vec4 aPosition;\n";
    text += "layout(location = 1) in vec4 aDiffuse;\n";
    text += "layout(location = 2) in vec4 aSpecular;\n";
    for (int i = 0; i < key.texCoordSets; ++i)
        text += "layout(location = " + std::to_string(3 + i) + ") in vec2 aTex" +
                std::to_string(i) + ";\n";
    text += Varyings(key, "out");
    if (key.order != 0) {
        text += "layout(location = " + std::to_string(kGlOrderAttribute) + ") in float aOrder;\n";
        text += "flat out float vOrder;\n";
    }
    text += "uniform vec4 uTarget;\nuniform mat4 uMatrix;\n";
    text += "void main() {\n";
    if (key.pretransformed) {
        // Screen pixels of the render target: pixel centres are whole numbers there, half a
        // pixel off the GL ones; a slight pull up and left gives the top-left fill rule.
        text += "    float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;\n";
        text += "    vec2 p = (aPosition.xy + vec2(0.5 - 1.0 / 128.0)) * uTarget.xy - 1.0;\n";
        text += "    gl_Position = vec4(p * w, (aPosition.z * 2.0 - 1.0) * w, w);\n";
    } else {
        // World positions through world, view and projection; y turned downwards and moved
        // half a pixel, as the platform places its viewport.
        text += "    vec4 c = uMatrix * vec4(aPosition.xyz, 1.0);\n";
        text += "    gl_Position = vec4(c.x + c.w * uTarget.z, -c.y + c.w * uTarget.w,"
                " 2.0 * c.z - c.w, c.w);\n";
    }
    text += "    vDiffuse = aDiffuse;\n    vSpecular = aSpecular;\n";
    if (key.order != 0) text += "    vOrder = aOrder;\n";
    for (int i = 0; i < key.texCoordSets; ++i)
        text += "    vTex" + std::to_string(i) + " = aTex" + std::to_string(i) + ";\n";
    text += "}\n";
    return text;
}

std::string GenerateGlFragmentShader(const GlProgramKey& key) {
    std::string text = "#version 330 core\n";
    text += Varyings(key, "in");
    if (key.order != 0) text += "flat in float vOrder;\n";
    for (int i = 0; i < key.stageCount; ++i)
        if (key.stages[i].sampled) text += "uniform sampler2D uTex" + std::to_string(i) + ";\n";
    text += "uniform vec4 uFactor;\nuniform vec4 uFogColor;\nuniform float uAlphaRef;\n";
    text += "out vec4 fragColor;\n";
    text += "void main() {\n";
    text += "    vec4 diffuse = vDiffuse;\n    vec4 specular = vSpecular;\n";
    text += "    vec4 current = diffuse;\n    vec4 texel = vec4(0.0, 0.0, 0.0, 1.0);\n";
    for (int i = 0; i < key.stageCount; ++i) {
        const GlStageKey& stage = key.stages[i];
        std::string index = std::to_string(i);
        if (stage.sampled) {
            std::string coords =
                stage.texCoord < key.texCoordSets ? "vTex" + std::to_string(stage.texCoord)
                                                  : "vec2(0.0)";
            text += "    texel = texture(uTex" + index + ", " + coords + ");\n";
        } else {
            text += "    texel = vec4(0.0, 0.0, 0.0, 1.0);\n";
        }
        std::string color = Operation(stage.colorOp, stage.colorArg1, stage.colorArg2, ".rgb");
        std::string alpha = stage.alphaOp == V_D3DTOP_DISABLE
                                ? "current.a"
                                : Operation(stage.alphaOp, stage.alphaArg1, stage.alphaArg2, ".a");
        text += "    current = clamp(vec4(" + color + ", " + alpha + "), 0.0, 1.0);\n";
    }
    if (key.specularAdd) text += "    current.rgb = min(current.rgb + specular.rgb, 1.0);\n";
    if (key.fog) text += "    current.rgb = mix(uFogColor.rgb, current.rgb, specular.a);\n";
    if (key.alphaFunc != 0) {
        text += "    float alpha = floor(current.a * 255.0 + 0.5);\n";
        text += std::string("    if (!(") + Comparison(key.alphaFunc) + ")) discard;\n";
    }
    // An alpha-0 fragment under source-alpha blending leaves the target as it is: discarded, it
    // also leaves the order depth as it is.
    if (key.order == 2) text += "    if (current.a == 0.0) discard;\n";
    if (key.order != 0) text += "    gl_FragDepth = vOrder;\n";
    text += "    fragColor = current;\n}\n";
    return text;
}

unsigned GlProgramCache::Get(const GlProgramKey& key) {
    for (int i = 0; i < recentCount_; ++i)
        if (recentKeys_[i] == key) return recentPrograms_[i];
    unsigned program;
    auto found = programs_.find(key);
    if (found != programs_.end()) {
        program = found->second;
    } else {
        program = builder_(key);
        programs_.emplace(key, program);
    }
    recentKeys_[recentNext_] = key;
    recentPrograms_[recentNext_] = program;
    recentNext_ = (recentNext_ + 1) % kRecent;
    if (recentCount_ < kRecent) ++recentCount_;
    return program;
}

void GlProgramCache::Clear(const std::function<void(unsigned)>& release) {
    for (auto& entry : programs_)
        if (entry.second != 0) release(entry.second);
    programs_.clear();
    recentCount_ = recentNext_ = 0;
}
