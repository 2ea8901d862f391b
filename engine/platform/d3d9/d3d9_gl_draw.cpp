// Drawing on the OpenGL Direct3D device: render, stage and sampler states become GL state and
// a generated program, vertices of the flexible vertex format become attributes.
#include <cstring>
#include <string>

#include "platform/d3d9/d3d9_gl_device.h"

namespace {

GLenum BlendFactor(V_DWORD factor) {
    switch (factor) {
    case V_D3DBLEND_ZERO: return GL_ZERO;
    case V_D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case V_D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case V_D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case V_D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case V_D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case V_D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case V_D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case V_D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    default: return GL_ONE;
    }
}

GLenum BlendEquation(V_DWORD op) {
    switch (op) {
    case V_D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case V_D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case V_D3DBLENDOP_MIN: return GL_MIN;
    case V_D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

GLenum AddressMode(V_DWORD mode) {
    switch (mode) {
    case V_D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case V_D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case V_D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;
    }
}

// Vertices used by a count of primitives of a type; 0 for an unknown type.
V_UINT VertexCount(uint32_t type, V_UINT primitives) {
    if (primitives == 0) return 0;
    switch (type) {
    case V_D3DPT_POINTLIST: return primitives;
    case V_D3DPT_LINELIST: return primitives * 2;
    case V_D3DPT_LINESTRIP: return primitives + 1;
    case V_D3DPT_TRIANGLELIST: return primitives * 3;
    case V_D3DPT_TRIANGLESTRIP:
    case V_D3DPT_TRIANGLEFAN: return primitives + 2;
    default: return 0;
    }
}

V_D3DMATRIX Multiply(const V_D3DMATRIX& a, const V_D3DMATRIX& b) {
    V_D3DMATRIX result{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) result.m[r][c] += a.m[r][k] * b.m[k][c];
    return result;
}

GLuint Compile(const GlApi& gl, GLenum kind, const std::string& text) {
    GLuint shader = gl.CreateShader(kind);
    const char* source = text.c_str();
    gl.ShaderSource(shader, 1, &source, nullptr);
    gl.CompileShader(shader);
    GLint ok = 0;
    gl.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        gl.GetShaderInfoLog(shader, sizeof log - 1, nullptr, log);
        SDL_Log("Direct3D stand-in: a generated shader did not compile: %s", log);
        gl.DeleteShader(shader);
        return 0;
    }
    return shader;
}

// Whether a value in a stage is certainly 0 or 1 (alpha), given the inputs it was made of.
struct AlphaValue {
    bool binary;
    bool diffuse, specular;  // only when the vertices' alphas are 0 or 255
};

AlphaValue Combine(AlphaValue a, AlphaValue b) {
    return {a.binary && b.binary, a.diffuse || b.diffuse, a.specular || b.specular};
}

// Whether a sampled texture gives texel alpha 0 or 1 only: point sampling (of level 0 or of
// levels that all hold only such alphas) of a texture whose alphas are 0 or 255, the border
// colour's alpha alike.
bool TexelAlphaBinary(const GlImage& image, const V_DWORD* sampler) {
    if (sampler[V_D3DSAMP_MAGFILTER] > V_D3DTEXF_POINT ||
        sampler[V_D3DSAMP_MINFILTER] > V_D3DTEXF_POINT ||
        sampler[V_D3DSAMP_MIPFILTER] > V_D3DTEXF_POINT)
        return false;
    if (sampler[V_D3DSAMP_ADDRESSU] == V_D3DTADDRESS_BORDER ||
        sampler[V_D3DSAMP_ADDRESSV] == V_D3DTADDRESS_BORDER) {
        V_DWORD alpha = sampler[V_D3DSAMP_BORDERCOLOR] >> 24;
        if (alpha != 0 && alpha != 0xFF) return false;
    }
    return image.AlphaOnlyZeroOrFull(sampler[V_D3DSAMP_MIPFILTER] == V_D3DTEXF_POINT);
}

// The fragment alpha of the program's stages: whether it is 0 or 1 only, and on what inputs.
AlphaValue FragmentAlpha(const GlProgramKey& key, const bool* texelBinary, V_D3DCOLOR factor) {
    const bool factorBinary = (factor >> 24) == 0 || (factor >> 24) == 0xFF;
    AlphaValue current{true, true, false};
    for (int i = 0; i < key.stageCount; ++i) {
        const GlStageKey& stage = key.stages[i];
        if (stage.alphaOp == V_D3DTOP_DISABLE) continue;
        auto argument = [&](uint8_t arg) -> AlphaValue {
            if ((arg & ~(V_D3DTA_SELECTMASK | V_D3DTA_COMPLEMENT)) != 0) return {false, false, false};
            switch (arg & V_D3DTA_SELECTMASK) {
            case V_D3DTA_DIFFUSE: return {true, true, false};
            case V_D3DTA_SPECULAR: return {true, false, true};
            case V_D3DTA_TFACTOR: return {factorBinary, false, false};
            case V_D3DTA_TEXTURE: return {!stage.sampled || texelBinary[i], false, false};
            case V_D3DTA_CURRENT: return current;
            default: return {false, false, false};
            }
        };
        switch (stage.alphaOp) {
        case V_D3DTOP_SELECTARG1: current = argument(stage.alphaArg1); break;
        case V_D3DTOP_SELECTARG2: current = argument(stage.alphaArg2); break;
        case V_D3DTOP_MODULATE:
            current = Combine(argument(stage.alphaArg1), argument(stage.alphaArg2));
            break;
        default: return {false, false, false};
        }
    }
    return current;
}

}  // namespace

void GlDevice::CreateDrawObjects() {
    if (!context_->MakeCurrent()) return;
    const GlApi& gl = context_->gl;
    gl.GenVertexArrays(1, &vertexArray_);
    vertexStream_.target = GL_ARRAY_BUFFER;
    indexStream_.target = GL_ELEMENT_ARRAY_BUFFER;
    gl.GenSamplers(kGlStages, samplers_);
    for (bool& applied : samplerApplied_) applied = false;
    gl.ProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.GetError();
    GLint anisotropy = 0;
    gl.GetIntegerv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &anisotropy);
    maxAnisotropy_ = gl.GetError() == GL_NO_ERROR && anisotropy > 1 ? static_cast<float>(anisotropy) : 0.0f;
}

void GlDevice::ReleaseDrawObjects() {
    if (!context_->MakeCurrent()) return;
    const GlApi& gl = context_->gl;
    programs_.Clear([&gl](unsigned program) { gl.DeleteProgram(program); });
    uniforms_.clear();
    runs_.clear();
    runCount_ = 0;
    states_.clear();
    stateIds_.clear();
    lanes_.clear();
    if (vertexArray_ != 0) gl.DeleteVertexArrays(1, &vertexArray_);
    for (GlStream* stream : {&vertexStream_, &indexStream_, &context_->pixelStream}) {
        if (stream->buffer != 0) gl.DeleteBuffers(1, &stream->buffer);
        *stream = GlStream{stream->target};
    }
    gl.DeleteSamplers(kGlStages, samplers_);
}

GLuint GlDevice::BuildProgram(const GlProgramKey& key) {
    const GlApi& gl = context_->gl;
    GLuint vertex = Compile(gl, GL_VERTEX_SHADER, GenerateGlVertexShader(key));
    GLuint fragment = Compile(gl, GL_FRAGMENT_SHADER, GenerateGlFragmentShader(key));
    GLuint program = 0;
    if (vertex != 0 && fragment != 0) {
        program = gl.CreateProgram();
        gl.AttachShader(program, vertex);
        gl.AttachShader(program, fragment);
        gl.BindFragDataLocation(program, 0, "fragColor");
        gl.LinkProgram(program);
        GLint ok = 0;
        gl.GetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            gl.DeleteProgram(program);
            program = 0;
        }
    }
    if (vertex != 0) gl.DeleteShader(vertex);
    if (fragment != 0) gl.DeleteShader(fragment);
    if (program == 0) return 0;
    gl.UseProgram(program);
    for (int i = 0; i < kGlStages; ++i) {
        GLint place = gl.GetUniformLocation(program, ("uTex" + std::to_string(i)).c_str());
        if (place >= 0) gl.Uniform1i(place, i);
    }
    uniforms_[program] = {
        gl.GetUniformLocation(program, "uTarget"), gl.GetUniformLocation(program, "uMatrix"),
        gl.GetUniformLocation(program, "uFactor"), gl.GetUniformLocation(program, "uFogColor"),
        gl.GetUniformLocation(program, "uAlphaRef")};
    GlCountProgram();
    return program;
}

void GlDevice::ApplySampler(int stage, const V_DWORD* s) {
    const GlApi& gl = context_->gl;
    GLuint sampler = samplers_[stage];
    gl.SamplerParameteri(sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(AddressMode(s[V_D3DSAMP_ADDRESSU])));
    gl.SamplerParameteri(sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(AddressMode(s[V_D3DSAMP_ADDRESSV])));
    V_D3DCOLOR border = s[V_D3DSAMP_BORDERCOLOR];
    const GLfloat colour[4] = {((border >> 16) & 0xFF) / 255.0f, ((border >> 8) & 0xFF) / 255.0f,
                               (border & 0xFF) / 255.0f, ((border >> 24) & 0xFF) / 255.0f};
    gl.SamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, colour);
    bool magLinear = s[V_D3DSAMP_MAGFILTER] >= V_D3DTEXF_LINEAR;
    bool minLinear = s[V_D3DSAMP_MINFILTER] >= V_D3DTEXF_LINEAR;
    GLint minFilter;
    switch (s[V_D3DSAMP_MIPFILTER]) {
    case V_D3DTEXF_POINT:
        minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        break;
    case V_D3DTEXF_LINEAR:
    case V_D3DTEXF_ANISOTROPIC:
        minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        break;
    default: minFilter = minLinear ? GL_LINEAR : GL_NEAREST; break;
    }
    gl.SamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
    gl.SamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, minFilter);
    int calls = 6;
    if (maxAnisotropy_ > 0.0f) {
        float wanted = s[V_D3DSAMP_MINFILTER] == V_D3DTEXF_ANISOTROPIC
                           ? static_cast<float>(s[V_D3DSAMP_MAXANISOTROPY])
                           : 1.0f;
        if (wanted < 1.0f) wanted = 1.0f;
        if (wanted > maxAnisotropy_) wanted = maxAnisotropy_;
        gl.SamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY, wanted);
        ++calls;
    }
    GlCountStateChanges(calls);
    std::memcpy(appliedSamplers_[stage], s, sizeof appliedSamplers_[stage]);
    samplerApplied_[stage] = true;
}

// The state of a draw from the device's states, and what it says about ordering the draw by
// depth; false when nothing would be drawn.
bool GlDevice::MakeDrawState(V_DWORD fvf, GlDrawState* state, GlReplaceInfo* replace) {
    if ((fvf & (V_D3DFVF_XYZRHW | V_D3DFVF_XYZ)) == 0 || !context_->MakeCurrent()) return false;
    GlImage* image = target_->Image().get();
    GLuint framebuffer = image->Framebuffer();
    if (framebuffer == 0) return false;
    GlProgramKey key = MakeGlProgramKey(fixed_, fvf);
    GLuint program = programs_.Get(key);
    if (program == 0) return false;
    int width = static_cast<int>(target_->Desc().Width);
    int height = static_cast<int>(target_->Desc().Height);
    int x0 = 0, y0 = 0, x1 = width, y1 = height;
    ClipRect(&x0, &y0, &x1, &y1);
    if (x0 >= x1 || y0 >= y1) return false;

    GlDrawState& s = *state;
    std::memset(&s, 0, sizeof s);  // padding included, so that equal states compare equal
    s.target = image;
    s.framebuffer = framebuffer;
    // The depth surface serves targets it covers.
    if (depth_ != nullptr && depth_->Image()->width >= image->width &&
        depth_->Image()->height >= image->height)
        s.depth = depth_->Image()->depth;
    s.program = program;
    float viewportWidth = viewport_.Width != 0 ? static_cast<float>(viewport_.Width) : 1.0f;
    float viewportHeight = viewport_.Height != 0 ? static_cast<float>(viewport_.Height) : 1.0f;
    GlUniformValues& u = s.uniforms;
    u.target[0] = 2.0f / width;
    u.target[1] = 2.0f / height;
    u.target[2] = 1.0f / viewportWidth;
    u.target[3] = 1.0f / viewportHeight;
    V_D3DMATRIX all = Multiply(Multiply(world_, view_), projection_);
    std::memcpy(u.matrix, &all.m[0][0], sizeof u.matrix);
    auto colour = [](float* out, V_D3DCOLOR c) {
        out[0] = ((c >> 16) & 0xFF) / 255.0f;
        out[1] = ((c >> 8) & 0xFF) / 255.0f;
        out[2] = (c & 0xFF) / 255.0f;
        out[3] = ((c >> 24) & 0xFF) / 255.0f;
    };
    colour(u.factor, renderStates_[V_D3DRS_TEXTUREFACTOR]);
    colour(u.fogColor, renderStates_[V_D3DRS_FOGCOLOR]);
    u.alphaRef = static_cast<float>(renderStates_[V_D3DRS_ALPHAREF] & 0xFF);

    // Pre-transformed positions are pixels of the whole target; others go through the viewport.
    if (key.pretransformed) {
        s.viewport[2] = width;
        s.viewport[3] = height;
    } else {
        s.viewport[0] = static_cast<GLint>(viewport_.X);
        s.viewport[1] = static_cast<GLint>(viewport_.Y);
        s.viewport[2] = static_cast<GLint>(viewport_.Width);
        s.viewport[3] = static_cast<GLint>(viewport_.Height);
    }
    s.scissor[0] = x0;
    s.scissor[1] = y0;
    s.scissor[2] = x1 - x0;
    s.scissor[3] = y1 - y0;

    const V_DWORD* rs = renderStates_;
    if (rs[V_D3DRS_ALPHABLENDENABLE]) {
        s.blend = GL_TRUE;
        s.blendSource = BlendFactor(rs[V_D3DRS_SRCBLEND]);
        s.blendDest = BlendFactor(rs[V_D3DRS_DESTBLEND]);
        bool operations = (MakeGlCaps().PrimitiveMiscCaps & V_D3DPMISCCAPS_BLENDOP) != 0;
        s.blendEquation = operations ? BlendEquation(rs[V_D3DRS_BLENDOP]) : GL_FUNC_ADD;
    }
    if (rs[V_D3DRS_ZENABLE] != V_D3DZB_FALSE && s.depth != 0) {
        V_DWORD func = rs[V_D3DRS_ZFUNC];
        s.depthFunc = func >= V_D3DCMP_NEVER && func <= V_D3DCMP_ALWAYS ? GL_NEVER + (func - 1)
                                                                         : GL_LEQUAL;
        s.depthMask = rs[V_D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE;
    }
    // Screen y runs down here as on the platform, so its clockwise is GL's counter-clockwise.
    if (rs[V_D3DRS_CULLMODE] == V_D3DCULL_CW) s.cullFace = GL_FRONT;
    if (rs[V_D3DRS_CULLMODE] == V_D3DCULL_CCW) s.cullFace = GL_BACK;
    for (int i = 0; i < key.stageCount; ++i) {
        if (!key.stages[i].sampled) continue;
        s.textures[i] = textures_[i]->Image()->texture;
        std::memcpy(s.samplers[i], samplerStates_[i], sizeof s.samplers[i]);
    }
    s.fvf = fvf;

    // Replacing draws: no Direct3D depth, no fog, and blending that ignores the target, or
    // source-alpha blending of alphas that are 0 or 1 only.
    GlReplaceInfo& r = *replace;
    r.key = key;
    r.always = r.ifAlphaBinary = r.needDiffuse = r.needSpecular = false;
    if (s.depthFunc != 0 || key.fog) return true;
    if (!s.blend || (s.blendSource == GL_ONE && s.blendDest == GL_ZERO &&
                     s.blendEquation == GL_FUNC_ADD)) {
        r.always = true;
    } else if (s.blendSource == GL_SRC_ALPHA && s.blendDest == GL_ONE_MINUS_SRC_ALPHA &&
               s.blendEquation == GL_FUNC_ADD) {
        bool texelBinary[kGlStages] = {};
        for (int i = 0; i < key.stageCount; ++i)
            if (key.stages[i].sampled)
                texelBinary[i] = TexelAlphaBinary(*textures_[i]->Image(), samplerStates_[i]);
        AlphaValue alpha = FragmentAlpha(key, texelBinary, renderStates_[V_D3DRS_TEXTUREFACTOR]);
        // Interpolated vertex alphas are exact only without perspective (checked per draw).
        if (alpha.binary && (key.pretransformed || (!alpha.diffuse && !alpha.specular))) {
            r.ifAlphaBinary = true;
            r.needDiffuse = alpha.diffuse && (fvf & V_D3DFVF_DIFFUSE) != 0;
            r.needSpecular = alpha.specular && (fvf & V_D3DFVF_SPECULAR) != 0;
        }
    }
    return true;
}

V_HRESULT GlDevice::DrawPrimitiveUP(uint32_t type, V_UINT count, const void* vertices,
                                    V_UINT stride) {
    V_UINT used = VertexCount(type, count);
    if (vertices == nullptr || stride == 0 || used == 0) return V_D3DERR_INVALIDCALL;
    GlCountDrawReceived();
    GlDrawState state;
    GlReplaceInfo replace;
    if (!MakeDrawState(fvf_, &state, &replace)) return V_S_OK;
    state.stride = stride;
    RecordDraw(state, replace, type, count, vertices, used, stride, nullptr, 0);
    return V_S_OK;
}

V_HRESULT GlDevice::DrawIndexedPrimitiveUP(uint32_t type, V_UINT minIndex, V_UINT vertexCount,
                                           V_UINT primitiveCount, const void* indices,
                                           V_D3DFORMAT indexFormat, const void* vertices,
                                           V_UINT stride) {
    V_UINT used = VertexCount(type, primitiveCount);
    if (vertices == nullptr || indices == nullptr || stride == 0 || used == 0 ||
        (indexFormat != V_D3DFMT_INDEX16 && indexFormat != V_D3DFMT_INDEX32))
        return V_D3DERR_INVALIDCALL;
    GlCountDrawReceived();
    GlDrawState state;
    GlReplaceInfo replace;
    if (!MakeDrawState(fvf_, &state, &replace)) return V_S_OK;
    state.stride = stride;
    RecordDraw(state, replace, type, primitiveCount, vertices, minIndex + vertexCount, stride, indices,
               indexFormat == V_D3DFMT_INDEX16 ? 2 : 4);
    return V_S_OK;
}
