// The frame's draws on the OpenGL Direct3D device, recorded until something needs them sent: each
// draw's vertices go to the lane of its vertex size, its indices to a run of draws of the same
// state whose primitives join (triangles of lists, strips and fans as triangles; line lists;
// point lists). A draw joins the latest such run that it may be drawn with: one whose draws
// after it in the list (runs are drawn in list order) it need not follow. It need not follow
// a draw on the same target whose pixels it cannot touch (their boxes apart), nor, when both
// replace every pixel they keep, a draw ordered as it is by the order depth: each such draw
// carries a depth from its order number, later nearer, drawn with a less-or-equal test into the
// target's private depth buffer, so the later draw stays on top whichever is sent first.
// Draws that use the Direct3D depth buffer move past nothing. A flush sends the lanes and the
// runs' indices to the streaming buffers in one piece each and draws each run with one GL draw.
// Anything that reads or changes what the draws use flushes first.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/d3d9/d3d9_gl.h"
#include "platform/d3d9/d3d9_gl_device.h"

namespace {

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

constexpr size_t kRunAlignment = 64;  // each lane's vertices start on this boundary
constexpr int kRunsScanned = 48;      // runs a draw looks back through for one to join
constexpr uint32_t kOrderLimit = 1u << 22;  // order numbers before the order depth is cleared

int g_JoinDraws = -1;  // -1: not yet read from the environment

bool JoinDraws() {
    if (g_JoinDraws < 0) {
        const char* value = std::getenv("VELK_GL_JOIN");
        g_JoinDraws = value != nullptr && std::strcmp(value, "0") == 0 ? 0 : 1;
    }
    return g_JoinDraws != 0;
}

// The depth of an order number: later numbers are nearer. Exact in a float for every number
// below the limit, so equal numbers compare equal and later ones pass a less-or-equal test.
float OrderDepth(uint32_t number) {
    return 1.0f - static_cast<float>(number + 1) * (1.0f / 16777216.0f);
}

uint64_t HashState(const GlDrawState& state) {
    uint64_t words[(sizeof state + 7) / 8] = {};
    std::memcpy(words, &state, sizeof state);
    uint64_t hash = 0x9E3779B97F4A7C15ull;
    for (uint64_t word : words) {
        hash ^= word;
        hash *= 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
    }
    return hash;
}

bool BoxesMeet(const int* a, const int* b) {
    return a[0] < b[2] && b[0] < a[2] && a[1] < b[3] && b[1] < a[3];
}

// Whether a draw must stay after the draws of a run, given what both are.
bool MustFollow(const GlRun& run, GlImage* target, bool ordered, bool barrier, const int* box) {
    if (run.target != target || run.barrier || barrier) return true;
    if (run.ordered && ordered) return false;  // the order depth keeps the later one on top
    return BoxesMeet(run.box, box);
}

}  // namespace

void V_D3D9GlSetJoinDraws(bool on) { g_JoinDraws = on ? 1 : 0; }

uint32_t GlDevice::InternState(const GlDrawState& state) {
    // The few states used last come first: draws alternate between a few states.
    for (uint32_t id : recentStates_)
        if (id < states_.size() && std::memcmp(&states_[id], &state, sizeof state) == 0)
            return id;
    const uint32_t id = InternNewState(state);
    recentStates_[recentStateNext_] = id;
    recentStateNext_ = (recentStateNext_ + 1) % kRecentStates;
    return id;
}

uint32_t GlDevice::InternNewState(const GlDrawState& state) {
    const uint64_t hash = HashState(state);
    auto found = stateIds_.find(hash);
    if (found != stateIds_.end() &&
        std::memcmp(&states_[found->second], &state, sizeof state) == 0)
        return found->second;
    states_.push_back(state);
    const auto id = static_cast<uint32_t>(states_.size() - 1);
    if (found == stateIds_.end()) stateIds_.emplace(hash, id);
    return id;
}

GlRun& GlDevice::NewRun() {
    if (runCount_ == runs_.size()) runs_.emplace_back();
    GlRun& run = runs_[runCount_++];
    run.indices.clear();
    return run;
}

void GlDevice::RecordDraw(GlDrawState& state, const GlReplaceInfo& replace, uint32_t type,
                          V_UINT primitives, const void* vertices, V_UINT vertexCount,
                          V_UINT stride, const void* indices, size_t indexBytes) {
    const bool join = JoinDraws();
    const GLenum mode = RecordedMode(type, join);
    const auto* from = static_cast<const uint8_t*>(vertices);
    GlImage* target = state.target;

    // The pixels the draw may touch: its positions' box, widened for rounding and line ends,
    // within the scissor rectangle (which GL applies to every draw). Positions that go through
    // the viewport transform count as the whole rectangle.
    int box[4] = {state.scissor[0], state.scissor[1], state.scissor[0] + state.scissor[2],
                  state.scissor[1] + state.scissor[3]};
    const V_DWORD fvf = state.fvf;
    bool ordered = false;
    if (join && (fvf & V_D3DFVF_XYZRHW) != 0 && stride >= 16) {
        float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
        bool exact = true;  // no perspective: interpolated vertex alphas stay exact
        bool binary = true;
        size_t diffuse = 16 + ((fvf & V_D3DFVF_NORMAL) ? 12 : 0);
        size_t specular = diffuse + ((fvf & V_D3DFVF_DIFFUSE) ? 4 : 0);
        const bool checkDiffuse = replace.needDiffuse && diffuse + 4 <= stride;
        const bool checkSpecular = replace.needSpecular && specular + 4 <= stride;
        if ((replace.needDiffuse && !checkDiffuse) || (replace.needSpecular && !checkSpecular))
            binary = false;
        for (V_UINT i = 0; i < vertexCount; ++i) {
            const uint8_t* v = from + static_cast<size_t>(i) * stride;
            float p[4];
            std::memcpy(p, v, sizeof p);
            // NaN fails every comparison and leaves the box unbounded.
            if (!(p[0] >= -1e6f && p[0] <= 1e6f && p[1] >= -1e6f && p[1] <= 1e6f && p[3] > 0.0f)) {
                x0 = y0 = -1e30f;
                x1 = y1 = 1e30f;
                exact = false;
                break;
            }
            x0 = p[0] < x0 ? p[0] : x0;
            x1 = p[0] > x1 ? p[0] : x1;
            y0 = p[1] < y0 ? p[1] : y0;
            y1 = p[1] > y1 ? p[1] : y1;
            exact = exact && p[3] == 1.0f;
            if (checkDiffuse && v[diffuse + 3] != 0 && v[diffuse + 3] != 0xFF) binary = false;
            if (checkSpecular && v[specular + 3] != 0 && v[specular + 3] != 0xFF) binary = false;
        }
        if (x1 < 1e29f) {
            int drawn[4] = {static_cast<int>(std::floor(x0)) - 2, static_cast<int>(std::floor(y0)) - 2,
                            static_cast<int>(std::floor(x1)) + 3, static_cast<int>(std::floor(y1)) + 3};
            for (int k = 0; k < 2; ++k) {
                if (drawn[k] > box[k]) box[k] = drawn[k];
                if (drawn[k + 2] < box[k + 2]) box[k + 2] = drawn[k + 2];
            }
        }
        if (replace.needDiffuse || replace.needSpecular) binary = binary && exact;
        ordered = replace.always || (replace.ifAlphaBinary && binary);
    } else if (join) {
        ordered = replace.always || (replace.ifAlphaBinary && !replace.needDiffuse &&
                                     !replace.needSpecular);
    }
    const bool barrier = state.depthFunc != 0;

    // A replacing draw is drawn with its order depth: a program that writes it, the target's
    // framebuffer with the private depth buffer, and a less-or-equal test that lets the later
    // of two overlapping draws win whichever is sent first.
    float order = 0.0f;
    if (ordered) {
        GlProgramKey key = replace.key;
        key.order = replace.always ? 1 : 2;
        GLuint program = programs_.Get(key);
        if (target->orderNext >= kOrderLimit) {
            FlushDraws();
            target->RestartOrder();
        }
        GLuint framebuffer = program != 0 ? target->OrderFramebuffer() : 0;
        if (framebuffer != 0) {
            state.program = program;
            state.framebuffer = framebuffer;
            state.ordered = GL_TRUE;
            // Fragments that are kept have alpha 1 under source-alpha blending: the blend gives
            // the fragment's colour and alpha exactly, as writing them does.
            state.blend = GL_FALSE;
            state.blendSource = state.blendDest = state.blendEquation = 0;
            state.depth = 0;
            state.depthFunc = GL_LEQUAL;
            state.depthMask = GL_TRUE;
            order = OrderDepth(target->orderNext++);
        } else {
            ordered = false;
        }
    }
    const uint32_t stateId = InternState(state);

    // The lane of the draw's vertex size.
    uint32_t laneId = 0;
    while (laneId < lanes_.size() && lanes_[laneId].stride != stride) ++laneId;
    if (laneId == lanes_.size()) {
        lanes_.emplace_back();
        lanes_.back().stride = stride;
    }
    GlLane& lane = lanes_[laneId];

    // The run to join: the latest of the same state and primitive among the runs this draw need
    // not follow, looking back no further than the first it must follow (or the scan's end).
    GlRun* run = nullptr;
    const bool closed = !join || mode == GL_LINE_STRIP;  // a line strip is one connected line
    if (!closed) {
        const size_t stop = runCount_ > kRunsScanned ? runCount_ - kRunsScanned : 0;
        for (size_t r = runCount_; r-- > stop;) {
            GlRun& other = runs_[r];
            if (!other.closed && other.state == stateId && other.mode == mode) {
                run = &other;
                break;
            }
            if (MustFollow(other, target, ordered, barrier, box)) break;
        }
    }
    if (run == nullptr) {
        run = &NewRun();
        run->state = stateId;
        run->mode = mode;
        run->lane = laneId;
        run->closed = closed;
        run->ordered = ordered;
        run->barrier = barrier;
        run->target = target;
        std::memcpy(run->box, box, sizeof box);
    } else {
        for (int k = 0; k < 2; ++k) {
            if (box[k] < run->box[k]) run->box[k] = box[k];
            if (box[k + 2] > run->box[k + 2]) run->box[k + 2] = box[k + 2];
        }
    }

    const auto base = static_cast<uint32_t>(lane.vertices.size() / stride);
    const size_t bytes = static_cast<size_t>(vertexCount) * stride;
    lane.vertices.insert(lane.vertices.end(), from, from + bytes);
    lane.order.resize(lane.order.size() + vertexCount, order);
    std::vector<uint32_t>& out = run->indices;
    if (indices == nullptr)
        AppendIndices(&out, type, primitives, base, join,
                      [](V_UINT k) { return static_cast<uint32_t>(k); });
    else if (indexBytes == 2)
        AppendIndices(&out, type, primitives, base, join, [indices](V_UINT k) {
            return static_cast<uint32_t>(static_cast<const uint16_t*>(indices)[k]);
        });
    else
        AppendIndices(&out, type, primitives, base, join, [indices](V_UINT k) {
            return static_cast<const uint32_t*>(indices)[k];
        });
}

size_t GlStream::Reserve(const GlApi& gl, size_t bytes) {
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
    used = at + bytes;
    return at;
}

size_t GlStream::Put(const GlApi& gl, const void* data, size_t bytes) {
    size_t at = Reserve(gl, bytes);
    gl.BufferSubData(target, static_cast<GLintptr>(at), static_cast<GLsizeiptr>(bytes), data);
    return at;
}

// Sends the recorded vertices (each lane's, then the order values of the lanes that have
// ordered draws) and the runs' indices, each in one piece, through the streaming buffers.
void GlDevice::UploadRecorded(size_t* vertexBase, size_t* indexBase) {
    const GlApi& gl = context_->gl;
    gl.BindVertexArray(vertexArray_);
    auto aligned = [](size_t n) { return (n + kRunAlignment - 1) / kRunAlignment * kRunAlignment; };
    size_t total = 0;
    for (GlLane& lane : lanes_) {
        lane.vertexAt = total;
        total = aligned(total + lane.vertices.size());
        lane.orderAt = total;
        total = aligned(total + lane.order.size() * sizeof(float));
    }
    *vertexBase = vertexStream_.Reserve(gl, total);
    int calls = 3;
    for (const GlLane& lane : lanes_) {
        if (lane.vertices.empty()) continue;
        gl.BufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(*vertexBase + lane.vertexAt),
                         static_cast<GLsizeiptr>(lane.vertices.size()), lane.vertices.data());
        gl.BufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(*vertexBase + lane.orderAt),
                         static_cast<GLsizeiptr>(lane.order.size() * sizeof(float)),
                         lane.order.data());
        calls += 2;
    }
    uploadIndices_.clear();
    for (size_t r = 0; r < runCount_; ++r) {
        GlRun& run = runs_[r];
        run.firstIndex = uploadIndices_.size();
        uploadIndices_.insert(uploadIndices_.end(), run.indices.begin(), run.indices.end());
    }
    *indexBase = indexStream_.Put(gl, uploadIndices_.data(), uploadIndices_.size() * sizeof(uint32_t));
    GlCountStateChanges(calls);
}

void GlDevice::FlushDrawsUsing(GLuint texture) {
    if (texture != 0) {
        bool used = false;
        for (size_t r = 0; r < runCount_ && !used; ++r) {
            const GlDrawState& state = states_[runs_[r].state];
            used = state.target->texture == texture;
            for (GLuint bound : state.textures) used = used || bound == texture;
        }
        if (!used) return;
    }
    FlushDraws();
}

void GlDevice::FlushDraws() {
    if (runCount_ == 0) return;
    if (context_->MakeCurrent()) {
        const GlApi& gl = context_->gl;
        size_t vertexBase = 0, indexBase = 0;
        UploadRecorded(&vertexBase, &indexBase);
        appliedValid_ = false;
        for (size_t r = 0; r < runCount_; ++r) {
            const GlRun& run = runs_[r];
            if (run.indices.empty()) continue;
            ApplyRunState(run, vertexBase);
            gl.DrawElements(run.mode, static_cast<GLsizei>(run.indices.size()), GL_UNSIGNED_INT,
                            reinterpret_cast<const void*>(indexBase + run.firstIndex * 4));
            GlCountGlDraw();
        }
    }
    runCount_ = 0;
    for (GlLane& lane : lanes_) {
        lane.vertices.clear();
        lane.order.clear();
    }
    states_.clear();
    stateIds_.clear();
    for (uint32_t& id : recentStates_) id = UINT32_MAX;
}

// Sends the run's state where it differs from what this flush has sent so far.
void GlDevice::ApplyRunState(const GlRun& run, size_t vertexBase) {
    const GlApi& gl = context_->gl;
    const GlDrawState& s = states_[run.state];
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
    if (!s.ordered && s.target->attachedDepth != s.depth) {
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
    const GlLane& lane = lanes_[run.lane];
    const size_t base = vertexBase + lane.vertexAt;
    if (all || a.fvf != s.fvf || a.stride != s.stride || a.ordered != s.ordered ||
        appliedVertexBase_ != base) {
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
        if (s.ordered) {
            gl.EnableVertexAttribArray(kGlOrderAttribute);
            gl.VertexAttribPointer(kGlOrderAttribute, 1, GL_FLOAT, GL_FALSE, 4,
                                   reinterpret_cast<const void*>(vertexBase + lane.orderAt));
        } else {
            gl.DisableVertexAttribArray(kGlOrderAttribute);
        }
        calls += 2 + 2 * 2 + kGlStages + 2;
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
