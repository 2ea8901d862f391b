// Drawing and fonts: draw settings, public draw calls, vertex builders, masks, lights, fonts.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------- graph draws
int DrawGraphAt(int x, int y, int graph, int trans);
int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int trans);
int DrawGraphStretchedF(float x1, float y1, float x2, float y2, int graph, int trans);
// Centred on (x, y), scaled by scale, turned by angle in radians;
// turn 1 mirrors the image left-right.
int DrawGraphRotatedF(float x, float y, double scale, double angle, int graph, int trans,
                      int turn);
int DrawGraphRotated(int x, int y, double scale, double angle, int graph, int trans, int turn);
// Corners receiving the image's top-left, top-right, bottom-right and bottom-left.
int DrawGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                  int graph, int trans);
int DrawGraphMirrored(int x, int y, int graph, int trans);
int DrawGraphPart(int x, int y, int srcX, int srcY, int width, int height, int graph, int trans,
                  int turn);
int DrawGraphPartStretchedF(float x1, float y1, float x2, float y2, int srcX, int srcY,
                            int width, int height, int graph, int trans);

// ---------------------------------------------------------------- shapes
int FillBox(int x1, int y1, int x2, int y2, uint32_t colour);
int FrameBox(int x1, int y1, int x2, int y2, uint32_t colour);
int DrawBoxShape(int x1, int y1, int x2, int y2, uint32_t colour, int fill);
int DrawLineShape(int x1, int y1, int x2, int y2, uint32_t colour, int thickness);
int DrawThickLine(int x1, int y1, int x2, int y2, uint32_t colour, int thickness);

// ---------------------------------------------------------------- graph loading
int LoadGraphHandle(const char* fileName, int flag);
int LoadDividedGraphs(const char* fileName, int count, int columns, int rows, int cellWidth,
                      int cellHeight, int* handles, int flag);

// New pixels for an existing graph of the same size: from an image in memory (with an optional
// alpha image in memory), or from image records. -1 when nothing loads or the sizes differ.
struct ImageRecord;
int ReloadGraphFromMemory(const void* data, int size, int graph, const void* alphaData,
                          int alphaSize, int trans, int mirror);
int ReloadGraphFromImage(ImageRecord* image, ImageRecord* alpha, int graph, int trans, int mirror,
                         int remirror);

// ---------------------------------------------------------------- masks
int DeleteMask(int handle);
int DeleteAllMasks();
// -1 while no mask screen exists.
int SetUseMaskScreen(int flag);
int GetUseMaskScreen();

// ---------------------------------------------------------------- graph-creation settings
int SetCreateGraphColorBitDepth(int bits);
int GetCreateGraphColorBitDepth();
int SetCreateDrawValidGraphFlag(int flag);
int GetCreateDrawValidGraphFlag();
int SetUseAlphaTestFlag(int flag);
int GetUseAlphaTestFlag();
int GetMovieGraphMarker();
int SetMakeGraphAlphaFlag(int flag);
int GetMakeGraphAlphaFlag();
int SetUseDefaultPoolFlag(int flag);
int GetUseDefaultPoolFlag();

// ---------------------------------------------------------------- polygons
struct PolygonVertex {
    float x, y;
    float u, v;
    uint32_t colour;  // A8R8G8B8
};
// Draws ready vertices (graph -5: untextured) on the device path; the software path draws
// nothing and returns 0.
int DrawPolygonList(const PolygonVertex* vertices, int count, int primitive, int graph, int trans,
                    int uvInGraph);

// ---------------------------------------------------------------- fonts and strings
// Font type bits: 1 edged, 2 anti-aliased. -1 picks the default of size (16), thickness (6),
// type (0), charset index (1; 2 under code page 949) and edge size (1). reuseSlot / reuseCheck
// other than -1 re-create a handle in a given slot with a given check number.
int CreateFontToHandle(const char* face, int size, int thickness, int fontType, int charsetIndex,
                       int edgeSize, int italic, int reuseSlot, int reuseCheck);
int ReleaseFont(int handle);
int GetFontSize(int handle);
// Copies the face name (up to 256 bytes with its NUL) and the size and thickness; each may be null.
int GetFontParams(char* face, int* size, int* thickness, int handle);
// Sets *flag to 0 now and to 1 when the font is deleted.
int SetFontLostFlag(int handle, int32_t* flag);
int GetDefaultFontHandle();
int SetDefaultFontSize(int size);
int SetDefaultFontThickness(int thickness);
int SetDefaultFontType(int fontType);
int SetDefaultFontSizeAndThickness(const char* face, int size, int thickness);
// Strings are one line of code page 932 text; colours are screen colour values.
int DrawStringWithFont(int x, int y, const char* text, uint32_t colour, int font,
                       uint32_t edgeColour, int vertical);
int DrawStringDefault(int x, int y, const char* text, uint32_t colour, uint32_t edgeColour);
