// The frame's draws on the OpenGL Direct3D device: each draw is recorded into the frame's vertex
// and index arrays, joining the run before it when its state is the same and its primitives join
// (triangles of lists, strips and fans as triangles; line lists; point lists). A flush sends the
// recorded vertices into the streaming buffers in one piece and draws each run with one GL draw.
// Anything that reads or changes what the draws use flushes first.
#include <cstring>

#include "platform/d3d9_gl.h"
#include "platform/d3d9_gl_device.h"

namespace {

bool g_JoinDraws = true;

// The GL primitive a draw is recorded as; strips and fans become triangles when draws join.
GLenum RecordedMode(uint32_t type, bool join) {
    switch (type) {
    case V_D3DPT_POINTLIST: return GL_POINTS;
    case V_D3DPT_LINELIST: return GL_LINES;
    case V_D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case V_D3DPT_TRIANGLESTRIP: return join ? GL_TRIANGLES : GL_TRIANGLE_STRIP;
    case V_D3DPT_TRIANGLEFAN: return join ? GL_TRIANGLES : GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
    }
}

// The draw's triangles, lines or points as indices from base. Strip and fan triangles keep their
// winding and their first (flat-shading) vertex: a strip's odd triangle i is (i, i+2, i+1), a
// fan's triangle i is (i+1, i+2, 0).
template <class Source>
void AppendIndices(std::vector<uint32_t>* out, uint32_t type, V_UINT primitives, uint32_t base,
                   bool join, Source at) {
    auto put = [&](V_UINT k) { out->push_back(base + at(k)); };
    if (!join && (type == V_D3DPT_TRIANGLESTRIP || type == V_D3DPT_TRIANGLEFAN)) {
        for (V_UINT k = 0; k < primitives + 2; ++k) put(k);  // drawn as they are
        return;
    }
    switch (type) {
    case V_D3DPT_TRIANGLESTRIP:
        for (V_UINT i = 0; i < primitives; ++i) {
            put(i);
            put(i + 1 + (i & 1));
            put(i + 2 - (i & 1));
        }
        break;
    case V_D3DPT_TRIANGLEFAN:
        for (V_UINT i = 0; i < primitives; ++i) {
            put(i + 1);
            put(i + 2);
            put(0);
        }
        break;
    default: {
        V_UINT count = type == V_D3DPT_TRIANGLELIST ? primitives * 3
                       : type == V_D3DPT_LINELIST   ? primitives * 2
                       : type == V_D3DPT_LINESTRIP  ? primitives + 1
                                                    : primitives;
        for (V_UINT k = 0; k < count; ++k) put(k);
        break;
    }
    }
}

constexpr size_t kRunAlignment = 64;  // vertices of a run start on this boundary

}  // namespace

void V_D3D9GlSetJoinDraws(bool on) { g_JoinDraws = on; }

void GlDevice::RecordDraw(const GlDrawState& state, uint32_t type, V_UINT primitives,
                          const void* vertices, V_UINT vertexCount, V_UINT stride,
                          const void* indices, size_t indexBytes) {
    const bool join = g_JoinDraws;
    GLenum mode = RecordedMode(type, join);
    GlRun* run = runs_.empty() ? nullptr : &runs_.back();
    // A line strip is one connected line: it never joins another draw.
    if (run == nullptr || !join || run->mode != mode || mode == GL_LINE_STRIP ||
        std::memcmp(&run->state, &state, sizeof state) != 0) {
        size_t offset = (recordedVertices_.size() + kRunAlignment - 1) / kRunAlignment * kRunAlignment;
        recordedVertices_.resize(offset);
        runs_.push_back(GlRun{state, mode, offset, 0, recordedIndices_.size(), 0, true});
        run = &runs_.back();
    }
    const uint32_t base = run->vertexCount;
    const size_t bytes = static_cast<size_t>(vertexCount) * stride;
    const auto* from = static_cast<const uint8_t*>(vertices);
    recordedVertices_.insert(recordedVertices_.end(), from, from + bytes);
    run->vertexCount += vertexCount;
    size_t before = recordedIndices_.size();
    if (indices == nullptr)
        AppendIndices(&recordedIndices_, type, primitives, base, join,
                      [](V_UINT k) { return static_cast<uint32_t>(k); });
    else if (indexBytes == 2)
        AppendIndices(&recordedIndices_, type, primitives, base, join, [indices](V_UINT k) {
            return static_cast<uint32_t>(static_cast<const uint16_t*>(indices)[k]);
        });
    else
        AppendIndices(&recordedIndices_, type, primitives, base, join, [indices](V_UINT k) {
            return static_cast<const uint32_t*>(indices)[k];
        });
    run->indexCount += static_cast<uint32_t>(recordedIndices_.size() - before);
    const bool listed = type != V_D3DPT_TRIANGLESTRIP && type != V_D3DPT_TRIANGLEFAN;
    if (indices != nullptr || (join && !listed)) run->inOrder = false;
}

size_t GlStream::Put(const GlApi& gl, const void* data, size_t bytes) {
    if (buffer == 0) gl.GenBuffers(1, &buffer);
    gl.BindBuffer(target, buffer);
    size_t at = (used + kRunAlignment - 1) / kRunAlignment * kRunAlignment;
    if (bytes > capacity) {
        size_t grown = capacity != 0 ? capacity : 256 * 1024;
        while (grown < bytes) grown *= 2;
        capacity = grown;
        gl.BufferData(target, static_cast<GLsizeiptr>(grown), nullptr, GL_STREAM_DRAW);
        at = 0;
    } else if (at + bytes > capacity) {
        gl.BufferData(target, static_cast<GLsizeiptr>(capacity), nullptr, GL_STREAM_DRAW);
        at = 0;
    }
    gl.BufferSubData(target, static_cast<GLintptr>(at), static_cast<GLsizeiptr>(bytes), data);
    used = at + bytes;
    return at;
}

// Sends the recorded vertices and indices, each in one piece, through the streaming buffers.
void GlDevice::UploadRecorded(size_t* vertexBase, size_t* indexBase) {
    const GlApi& gl = context_->gl;
    gl.BindVertexArray(vertexArray_);
    *vertexBase = vertexStream_.Put(gl, recordedVertices_.data(), recordedVertices_.size());
    *indexBase = indexStream_.Put(gl, recordedIndices_.data(),
                                  recordedIndices_.size() * sizeof(uint32_t));
    GlCountStateChanges(3);
}

void GlDevice::FlushDrawsUsing(GLuint texture) {
    if (texture != 0) {
        bool used = false;
        for (const GlRun& run : runs_) {
            used = run.state.target->texture == texture;
            for (GLuint bound : run.state.textures) used = used || bound == texture;
            if (used) break;
        }
        if (!used) return;
    }
    FlushDraws();
}

void GlDevice::FlushDraws() {
    if (runs_.empty()) return;
    if (context_->MakeCurrent()) {
        const GlApi& gl = context_->gl;
        size_t vertexBase = 0, indexBase = 0;
        UploadRecorded(&vertexBase, &indexBase);
        appliedValid_ = false;
        for (const GlRun& run : runs_) {
            ApplyRunState(run, vertexBase);
            if (run.inOrder)
                gl.DrawArrays(run.mode, 0, static_cast<GLsizei>(run.indexCount));
            else
                gl.DrawElements(run.mode, static_cast<GLsizei>(run.indexCount), GL_UNSIGNED_INT,
                                reinterpret_cast<const void*>(indexBase + run.firstIndex * 4));
            GlCountGlDraw();
        }
    }
    runs_.clear();
    recordedVertices_.clear();
    recordedIndices_.clear();
}

// Sends the run's state where it differs from what this flush has sent so far.
void GlDevice::ApplyRunState(const GlRun& run, size_t vertexBase) {
    const GlApi& gl = context_->gl;
    const GlDrawState& s = run.state;
    GlDrawState& a = applied_;
    const bool all = !appliedValid_;
    int calls = 0;
    auto differs = [all](const auto& have, const auto& want) {
        return all || std::memcmp(&have, &want, sizeof want) != 0;
    };
    if (all) {
        std::memset(a.textures, 0, sizeof a.textures);
        gl.Enable(GL_SCISSOR_TEST);
        gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        for (int i = 0; i < kGlStages; ++i) gl.BindSampler(static_cast<GLuint>(i), samplers_[i]);
        calls += 2 + kGlStages;
    }
    if (differs(a.framebuffer, s.framebuffer)) {
        gl.BindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
        ++calls;
    }
    if (s.target->attachedDepth != s.depth) {
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, s.depth);
        s.target->attachedDepth = s.depth;
        ++calls;
    }
    if (differs(a.program, s.program)) {
        gl.UseProgram(s.program);
        ++calls;
    }
    GlProgramUniforms& u = uniforms_[s.program];
    const GlUniformValues& want = s.uniforms;
    GlUniformValues& have = u.values;
    const bool fresh = !u.set;
    auto uniformDiffers = [fresh](const auto& h, const auto& w) {
        return fresh || std::memcmp(&h, &w, sizeof w) != 0;
    };
    if (uniformDiffers(have.target, want.target)) {
        gl.Uniform4f(u.target, want.target[0], want.target[1], want.target[2], want.target[3]);
        ++calls;
    }
    if (uniformDiffers(have.matrix, want.matrix)) {
        gl.UniformMatrix4fv(u.matrix, 1, GL_FALSE, want.matrix);
        ++calls;
    }
    if (uniformDiffers(have.factor, want.factor)) {
        gl.Uniform4f(u.factor, want.factor[0], want.factor[1], want.factor[2], want.factor[3]);
        ++calls;
    }
    if (uniformDiffers(have.fogColor, want.fogColor)) {
        gl.Uniform4f(u.fogColor, want.fogColor[0], want.fogColor[1], want.fogColor[2],
                     want.fogColor[3]);
        ++calls;
    }
    if (uniformDiffers(have.alphaRef, want.alphaRef)) {
        gl.Uniform1f(u.alphaRef, want.alphaRef);
        ++calls;
    }
    have = want;
    u.set = true;
    if (differs(a.viewport, s.viewport)) {
        gl.Viewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
        ++calls;
    }
    if (differs(a.scissor, s.scissor)) {
        gl.Scissor(s.scissor[0], s.scissor[1], s.scissor[2], s.scissor[3]);
        ++calls;
    }
    if (all || a.blend != s.blend || a.blendSource != s.blendSource ||
        a.blendDest != s.blendDest || a.blendEquation != s.blendEquation) {
        if (!s.blend) {
            gl.Disable(GL_BLEND);
            ++calls;
        } else {
            gl.Enable(GL_BLEND);
            gl.BlendFunc(s.blendSource, s.blendDest);
            gl.BlendEquation(s.blendEquation);
            calls += 3;
        }
    }
    if (all || a.depthFunc != s.depthFunc || a.depthMask != s.depthMask) {
        if (s.depthFunc == 0) {
            gl.Disable(GL_DEPTH_TEST);
            ++calls;
        } else {
            gl.Enable(GL_DEPTH_TEST);
            gl.DepthFunc(s.depthFunc);
            gl.DepthMask(s.depthMask);
            calls += 3;
        }
    }
    if (all || a.cullFace != s.cullFace) {
        if (s.cullFace == 0) {
            gl.Disable(GL_CULL_FACE);
            ++calls;
        } else {
            gl.Enable(GL_CULL_FACE);
            gl.FrontFace(GL_CCW);
            gl.CullFace(s.cullFace);
            calls += 3;
        }
    }
    for (int i = 0; i < kGlStages; ++i) {
        if (s.textures[i] == 0) continue;  // a stage the program does not sample keeps its texture
        if (all || a.textures[i] != s.textures[i]) {
            gl.ActiveTexture(GL_TEXTURE0 + i);
            gl.BindTexture(GL_TEXTURE_2D, s.textures[i]);
            calls += 2;
        }
        if (!samplerApplied_[i] ||
            std::memcmp(appliedSamplers_[i], s.samplers[i], sizeof s.samplers[i]) != 0)
            ApplySampler(i, s.samplers[i]);
    }
    const size_t base = vertexBase + run.vertexOffset;
    if (all || a.fvf != s.fvf || a.stride != s.stride || appliedVertexBase_ != base) {
        auto at = [base](size_t offset) { return reinterpret_cast<const void*>(base + offset); };
        const V_DWORD fvf = s.fvf;
        const GLsizei stride = static_cast<GLsizei>(s.stride);
        size_t offset = 0;
        bool pretransformed = (fvf & V_D3DFVF_XYZRHW) != 0;
        gl.EnableVertexAttribArray(0);
        gl.VertexAttribPointer(0, pretransformed ? 4 : 3, GL_FLOAT, GL_FALSE, stride, at(0));
        offset += pretransformed ? 16 : 12;
        if (fvf & V_D3DFVF_NORMAL) offset += 12;
        // Colours are 0xAARRGGBB words: bytes blue, green, red, alpha.
        for (GLuint attribute = 1; attribute <= 2; ++attribute) {
            V_DWORD bit = attribute == 1 ? V_D3DFVF_DIFFUSE : V_D3DFVF_SPECULAR;
            if (fvf & bit) {
                gl.EnableVertexAttribArray(attribute);
                gl.VertexAttribPointer(attribute, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                                       at(offset));
                offset += 4;
            } else {
                gl.DisableVertexAttribArray(attribute);
                float value = attribute == 1 ? 1.0f : 0.0f;
                gl.VertexAttrib4f(attribute, value, value, value, 1.0f);
            }
        }
        int sets = static_cast<int>((fvf >> V_D3DFVF_TEXCOUNT_SHIFT) & 0xF);
        for (int i = 0; i < kGlStages; ++i) {
            GLuint attribute = static_cast<GLuint>(3 + i);
            if (i < sets) {
                gl.EnableVertexAttribArray(attribute);
                gl.VertexAttribPointer(attribute, 2, GL_FLOAT, GL_FALSE, stride, at(offset));
                offset += 8;
            } else {
                gl.DisableVertexAttribArray(attribute);
            }
        }
        calls += 2 + 2 * 2 + kGlStages;
        appliedVertexBase_ = base;
    }
    // Stages the run does not sample keep what was bound before.
    GLuint textures[kGlStages];
    for (int i = 0; i < kGlStages; ++i) textures[i] = s.textures[i] != 0 ? s.textures[i] : a.textures[i];
    a = s;
    std::memcpy(a.textures, textures, sizeof textures);
    appliedValid_ = true;
    GlCountStateChanges(calls);
}
