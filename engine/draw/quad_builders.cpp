// Graph quad builders of the device path: whole, stretched and rotated graphs as two triangles
// per texture piece in the vertex batch.
#include <cmath>
#include <cstdlib>
#include <utility>

#include "draw/draw_coords.h"
#include "draw/draw_flags.h"
#include "draw/draw_settings.h"
#include "draw/vertex_batch.h"
#include "graphics/blend_mode.h"

float g_BlendScaleX = 0.0f;  // reciprocals of the blend graph's texture size
float g_BlendScaleY = 0.0f;

namespace {

// Position and texture coordinates of the four corners V0..V3 of one piece.
struct QuadCorners {
    float x[4], y[4], u[4], v[4];
    float bx[4], by[4];  // graph pixels of each corner, for the blend-graph coordinates
};

// Sets the piece's texture and the blend state when they changed.
void UsePieceTexture(const PieceDrawRecord& piece) {
    V_IDirect3DTexture9* texture = piece.piece != nullptr ? piece.piece->texture : nullptr;
    if (texture != g_RenderStates.texture) SetDeviceTexture(texture);
    if (g_RenderStates.blendDirty || g_RenderStates.stageDirty)
        ApplyTextureBlendState(1, nullptr, 0);
}

// Corners of an axis-aligned piece placed at (X, Y) with scale (sx, sy).
QuadCorners AxisCorners(const PieceDrawRecord& p, float X, float Y, float sx, float sy) {
    const PieceCorner* c = p.corners;
    QuadCorners q;
    float left = X + c[0].x * sx, right = X + c[1].x * sx;
    float top = Y + c[0].y * sy, bottom = Y + c[2].y * sy;
    float xs[4] = {left, right, left, right};
    float ys[4] = {top, top, bottom, bottom};
    float us[4] = {c[0].u, c[1].u, c[0].u, c[1].u};
    float vs[4] = {c[0].v, c[0].v, c[2].v, c[2].v};
    float gx[4] = {c[0].x, c[1].x, c[0].x, c[1].x};
    float gy[4] = {c[0].y, c[0].y, c[2].y, c[2].y};
    for (int i = 0; i < 4; ++i) {
        q.x[i] = xs[i], q.y[i] = ys[i], q.u[i] = us[i], q.v[i] = vs[i];
        q.bx[i] = gx[i], q.by[i] = gy[i];
    }
    return q;
}

// Moves the corners inside (left, top, right, bottom), shifting u and v by the clipped pixel
// distance over the texture size times the scale.
void ClipCorners(QuadCorners* q, float left, float top, float right, float bottom,
                 float texWidth, float texHeight, float sx, float sy) {
    float du = 1.0f / (texWidth * sx), dv = 1.0f / (texHeight * sy);
    for (int i = 0; i < 4; ++i) {
        if (q->x[i] < left) {
            float d = left - q->x[i];
            q->u[i] += d * du;
            q->bx[i] += d / sx;
            q->x[i] = left;
        } else if (q->x[i] > right) {
            float d = q->x[i] - right;
            q->u[i] -= d * du;
            q->bx[i] -= d / sx;
            q->x[i] = right;
        }
        if (q->y[i] < top) {
            float d = top - q->y[i];
            q->v[i] += d * dv;
            q->by[i] += d / sy;
            q->y[i] = top;
        } else if (q->y[i] > bottom) {
            float d = q->y[i] - bottom;
            q->v[i] -= d * dv;
            q->by[i] -= d / sy;
            q->y[i] = bottom;
        }
    }
}

template <typename V>
void WritePositions(V* out, const QuadCorners& q) {
    static const int kOrder[6] = {0, 1, 2, 3, 2, 1};
    float z = g_DrawSettings.vertexZ;
    uint32_t diffuse = g_DrawSettings.drawColor;
    for (int i = 0; i < 6; ++i) {
        int c = kOrder[i];
        out[i].x = q.x[c];
        out[i].y = q.y[c];
        out[i].z = z;
    }
    out[0].diffuse = diffuse;
    out[3].diffuse = diffuse;
}

// Appends the six vertices of a quad in the current vertex type; false for a type that takes
// no graph.
bool AppendQuad(const QuadCorners& q) {
    static const int kOrder[6] = {0, 1, 2, 3, 2, 1};
    int type = CurrentVertexType();
    if (type == 1) {
        auto* v = reinterpret_cast<Vertex2DTex*>(AppendVertices(V_D3DPT_TRIANGLELIST, 6));
        WritePositions(v, q);
        for (int i = 0; i < 6; ++i) v[i].u = q.u[kOrder[i]], v[i].v = q.v[kOrder[i]];
        return true;
    }
    if (type == 2) {
        auto* v = reinterpret_cast<Vertex2DBlend*>(AppendVertices(V_D3DPT_TRIANGLELIST, 6));
        WritePositions(v, q);
        const DrawSettings& s = g_DrawSettings;
        for (int i = 0; i < 6; ++i) {
            int c = kOrder[i];
            v[i].u2 = q.u[c];
            v[i].v2 = q.v[c];
            v[i].u1 = (static_cast<float>(s.texelOffsetU) + q.bx[c]) * g_BlendScaleX;
            v[i].v1 = (static_cast<float>(s.texelOffsetV) + q.by[c]) * g_BlendScaleY;
        }
        return true;
    }
    return false;
}

V_IDirect3DTexture9* FirstTexture(const GraphRecord* graph) {
    if (graph->pieceCount < 1 || graph->pieces[0].piece == nullptr) return nullptr;
    return graph->pieces[0].piece->texture;
}

// The piece's texture size as floats.
void TextureSize(const PieceDrawRecord& p, float* width, float* height) {
    *width = p.piece != nullptr ? static_cast<float>(p.piece->textureWidth) : 1.0f;
    *height = p.piece != nullptr ? static_cast<float>(p.piece->textureHeight) : 1.0f;
}

}  // namespace

int PutGraphQuads(const GraphRecord* graph, int x, int y, float xf, float yf, int trans,
                  int integer) {
    if (GetDevice() == nullptr) return -1;
    if (!g_RenderStates.sceneOpen) BeginDeviceScene();
    float X = xf - 0.5f, Y = yf - 0.5f;
    PrepareDrawState(&graph->image->desc, FirstTexture(graph),
                     static_cast<uint32_t>(2 * integer | trans));
    const DrawSettings& s = g_DrawSettings;
    bool inside = x >= s.drawArea.left && y >= s.drawArea.top &&
                  static_cast<int64_t>(x) + graph->width <= s.drawArea.right &&
                  static_cast<int64_t>(y) + graph->height <= s.drawArea.bottom;
    for (int i = 0; i < graph->pieceCount; ++i) {
        const PieceDrawRecord& p = graph->pieces[i];
        UsePieceTexture(p);
        QuadCorners q = AxisCorners(p, X, Y, 1.0f, 1.0f);
        if (!inside) {
            float tw, th;
            TextureSize(p, &tw, &th);
            ClipCorners(&q, s.drawAreaF[0], s.drawAreaF[1], s.drawAreaF[2], s.drawAreaF[3], tw,
                        th, 1.0f, 1.0f);
        }
        if (!AppendQuad(q)) return 0;
    }
    return 0;
}

int PutGraphStretchedQuads(const GraphRecord* graph, int x1, int y1, int x2, int y2, float x1f,
                           float y1f, float x2f, float y2f, int trans, int integer) {
    if (GetDevice() == nullptr) return -1;
    if (x1 == x2 || y1 == y2) return -1;
    if (!g_RenderStates.sceneOpen) BeginDeviceScene();
    const DrawSettings& s = g_DrawSettings;
    float sx = (x2f - x1f) / static_cast<float>(graph->width);
    float sy = (y2f - y1f) / static_cast<float>(graph->height);
    float X = x1f - 0.5f, Y = y1f - 0.5f;
    uint32_t flags = static_cast<uint32_t>(trans) |
                     (integer && s.drawMode != 1 ? kDrawIntegerPlacement : 0u);
    PrepareDrawState(&graph->image->desc, FirstTexture(graph), flags);
    int left = x1, right = x2, top = y1, bottom = y2;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    bool inside = left >= s.drawArea.left && top >= s.drawArea.top &&
                  right <= s.drawArea.right && bottom <= s.drawArea.bottom;
    float offsetX = static_cast<float>(s.drawAreaOffsetX);
    float offsetY = static_cast<float>(s.drawAreaOffsetY);
    for (int i = 0; i < graph->pieceCount; ++i) {
        const PieceDrawRecord& p = graph->pieces[i];
        UsePieceTexture(p);
        QuadCorners q = AxisCorners(p, X, Y, sx, sy);
        if (!inside) {
            float tw, th;
            TextureSize(p, &tw, &th);
            // Mirrored draws keep the rule: the distance is measured in the drawn direction.
            // The blend graph's coordinates move with the texture's.
            float l = s.drawAreaF[0] - 0.5f + offsetX, t = s.drawAreaF[1] - 0.5f + offsetY;
            float r = s.drawAreaF[2] - 0.5f + offsetX, b = s.drawAreaF[3] - 0.5f + offsetY;
            ClipCorners(&q, l, t, r, b, tw, th, sx, sy);
        }
        if (!AppendQuad(q)) return 0;
    }
    return 0;
}

namespace {

bool RightAngle(double angle) {
    double degrees = angle * 180.0 / 3.14159265358979323846;
    if (degrees < -4.0 || degrees > 364.0) return true;
    for (double centre : {0.0, 90.0, 180.0, 270.0, 360.0})
        if (degrees > centre - 4.0 && degrees < centre + 4.0) return true;
    return false;
}

bool NearInteger(float value) {
    float fraction = std::fabs(value - std::trunc(value));
    return fraction < 0.001f || fraction > 0.999f;
}

}  // namespace

int PutGraphRotatedQuads(const GraphRecord* graph, float x, float y, double scale, double angle,
                         int flags, int turn) {
    if (GetDevice() == nullptr) return -1;
    if (scale == 0.0) return -1;
    if (!g_RenderStates.sceneOpen) BeginDeviceScene();
    PrepareDrawState(&graph->image->desc, FirstTexture(graph), static_cast<uint32_t>(flags));
    bool rotated = angle != 0.0;
    float sine = rotated ? static_cast<float>(std::sin(angle)) : 0.0f;
    float cosine = rotated ? static_cast<float>(std::cos(angle)) : 1.0f;
    float factorX = static_cast<float>(scale) * (turn == 1 ? -1.0f : 1.0f);
    float factorY = static_cast<float>(scale);
    int width = graph->width, height = graph->height;
    float halfW = static_cast<float>(width) * 0.5f, halfH = static_cast<float>(height) * 0.5f;
    float cx = x, cy = y;
    bool fractional = std::fabs(x - std::trunc(x)) >= 0.00001f ||
                      std::fabs(y - std::trunc(y)) >= 0.00001f;
    bool oddW = (width & 1) != 0, oddH = (height & 1) != 0;
    if (!fractional) {
        if (scale == 1.0) {
            if (!oddW && !oddH) {
                halfW = static_cast<float>(width / 2), halfH = static_cast<float>(height / 2);
                cx -= 0.5f, cy -= 0.5f;
            } else if (oddW != oddH) {
                if (!oddW) halfW -= 0.5f;
                else halfH -= 0.5f;
            }
        } else {
            cx -= 0.5f, cy -= 0.5f;
        }
    }
    bool rightAngle = rotated && !fractional && (oddW || oddH) && RightAngle(angle);
    for (int i = 0; i < graph->pieceCount; ++i) {
        const PieceDrawRecord& p = graph->pieces[i];
        UsePieceTexture(p);
        QuadCorners q;
        for (int c = 0; c < 4; ++c) {
            float rx = (p.corners[c].x - halfW) * factorX;
            float ry = (p.corners[c].y - halfH) * factorY;
            q.x[c] = cx + cosine * rx - sine * ry;
            q.y[c] = cy + sine * rx + cosine * ry;
            q.u[c] = p.corners[c].u;
            q.v[c] = p.corners[c].v;
            q.bx[c] = p.corners[c].x;
            q.by[c] = p.corners[c].y;
        }
        if (rotated) {
            bool tryX = fractional || (rightAngle && oddW);
            bool tryY = fractional || (rightAngle && oddH);
            auto near = [](float a, float b) { return std::fabs(a - b) <= 0.01f; };
            if (tryX && (near(q.x[0], q.x[2]) || near(q.x[0], q.x[1])) && NearInteger(q.x[0]))
                for (float& v : q.x) v -= 0.5f;
            if (tryY && (near(q.y[0], q.y[2]) || near(q.y[0], q.y[1])) && NearInteger(q.y[0]))
                for (float& v : q.y) v -= 0.5f;
        }
        if (!AppendQuad(q)) return 0;
    }
    return 0;
}

int PutFreeQuadTiles(const GraphRecord* graph, float x1, float y1, float x2, float y2, float x3,
                     float y3, float x4, float y4, int flags) {
    if (GetDevice() == nullptr) return -1;
    if (g_DrawSettings.blendGraph != -1) {
        auto t = [](float value) { return TruncateCoord(value); };
        return PutFreeQuadInt(t(x1), t(y1), t(x2), t(y2), t(x3), t(y3), t(x4), t(y4), graph,
                              flags);
    }
    if (!g_RenderStates.sceneOpen) BeginDeviceScene();
    PrepareDrawState(&graph->image->desc, FirstTexture(graph), static_cast<uint32_t>(flags));
    float w = static_cast<float>(graph->width), h = static_cast<float>(graph->height);
    for (int i = 0; i < graph->pieceCount; ++i) {
        const PieceDrawRecord& p = graph->pieces[i];
        UsePieceTexture(p);
        QuadCorners q;
        for (int c = 0; c < 4; ++c) {
            float s = p.corners[c].x / w, t = p.corners[c].y / h;
            float topX = x1 + (x2 - x1) * s, topY = y1 + (y2 - y1) * s;
            float bottomX = x3 + (x4 - x3) * s, bottomY = y3 + (y4 - y3) * s;
            q.x[c] = topX + (bottomX - topX) * t;
            q.y[c] = topY + (bottomY - topY) * t;
        }
        const PieceCorner* k = p.corners;
        bool parallelogram =
            std::fabs((q.x[1] - q.x[0]) - (q.x[3] - q.x[2])) <= 1.0f &&
            std::fabs((q.y[1] - q.y[0]) - (q.y[3] - q.y[2])) <= 1.0f &&
            std::fabs((q.x[2] - q.x[0]) - (q.x[3] - q.x[1])) <= 1.0f &&
            std::fabs((q.y[2] - q.y[0]) - (q.y[3] - q.y[1])) <= 1.0f;
        if (parallelogram) {
            float us[4] = {k[0].u, k[1].u, k[0].u, k[1].u};
            float vs[4] = {k[0].v, k[0].v, k[2].v, k[2].v};
            for (int c = 0; c < 4; ++c) q.u[c] = us[c], q.v[c] = vs[c], q.bx[c] = q.by[c] = 0;
            if ((q.y[2] - q.y[0]) * (q.x[1] - q.x[0]) - (q.x[2] - q.x[0]) * (q.y[1] - q.y[0]) <= 0 &&
                (q.y[1] - q.y[3]) * (q.x[2] - q.x[3]) - (q.x[1] - q.x[3]) * (q.y[2] - q.y[3]) <= 0) {
                std::swap(q.x[1], q.x[2]), std::swap(q.y[1], q.y[2]);
                std::swap(q.u[1], q.u[2]), std::swap(q.v[1], q.v[2]);
            }
            if (CurrentVertexType() == 1) AppendQuad(q);
            continue;
        }
        // Any other shape: an 8 x 8 grid of vertices drawn as indexed strips.
        static Vertex2DTex grid[64];
        for (int r = 0; r < 8; ++r) {
            float t = static_cast<float>(r) / 7.0f;
            float lx = q.x[0] + (q.x[2] - q.x[0]) * t, ly = q.y[0] + (q.y[2] - q.y[0]) * t;
            float rx = q.x[1] + (q.x[3] - q.x[1]) * t, ry = q.y[1] + (q.y[3] - q.y[1]) * t;
            for (int c = 0; c < 8; ++c) {
                float s = static_cast<float>(c) / 7.0f;
                Vertex2DTex& v = grid[r * 8 + c];
                v.x = lx + (rx - lx) * s;
                v.y = ly + (ry - ly) * s;
                v.z = g_DrawSettings.vertexZ;
                v.rhw = 1.0f;
                v.diffuse = g_DrawSettings.drawColor;
                v.u = k[0].u + (k[3].u - k[0].u) * s;
                v.v = k[0].v + (k[3].v - k[0].v) * t;
            }
        }
        DrawVertexGridStrip(8, grid, 8);
    }
    return 0;
}
