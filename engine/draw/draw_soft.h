// Software drawing front-ends: the public draw calls' arguments turned into kernel calls on the
// current draw surface with the current blend image.
#pragma once

#include <cstdint>

#include "graphics/graph_handle.h"
#include "graphics/graphics_services.h"

// The blend image of the kernels: the blend graph's 8-bit map, or null (no blend graph).
extern MEMIMG* g_SoftBlendImage;
// The blend image for a draw that reads its rectangle (0, 0, width, height), made again from the
// blend graph's pixels as they are now.
MEMIMG* RefreshSoftBlendImage(int width, int height);

int DrawGraphSoft(int trans, int x, int y, const GraphRecord* graph);
int DrawGraphStretchedSoft(int x1, int y1, int x2, int y2, const GraphRecord* graph, int trans);
int DrawGraphRotatedSoft(float x, float y, double scale, double angle, const GraphRecord* graph,
                         int trans, int turn);
int DrawGraphQuadSoft(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                      float y4, const GraphRecord* graph, int trans);
int DrawGraphQuadIntSoft(const GraphRecord* graph, int x1, int y1, int x2, int y2, int x3, int y3,
                         int x4, int y4, int trans);
int FillBoxSoft(int x1, int y1, int x2, int y2, uint32_t colour);
int FrameBoxSoft(int x1, int y1, int x2, int y2, uint32_t colour);
int DrawQuadShapeSoft(int x0, int y0, int x1, int y1, int x2, int y2, int x3, int y3,
                      uint32_t colour, int fill);
