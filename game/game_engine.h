// The engine calls the game makes, behind one interface: the real engine in the program, a
// recording stand-in in the tests. Each call is named and shaped as the engine's own function.
#pragma once

#include <cstdint>

class GameEngine {
public:
    virtual ~GameEngine() = default;

    // Start, end and the frame.
    virtual int ChangeWindowMode(int windowed) = 0;
    virtual int InitLibraryLocked() = 0;
    virtual int EndLibraryLocked() = 0;
    virtual int ProcessMessageLocked() = 0;
    virtual int SetAlwaysRunFlag(int flag) = 0;
    virtual int GetWindowActiveFlag() = 0;
    virtual int PresentScreen() = 0;

    // Input.
    virtual int IsKeyDown(int keyCode) = 0;
    virtual int GetJoypadState(int inputType) = 0;
    virtual int GetMouseButtons() = 0;
    virtual void GetMousePosition(int* x, int* y) = 0;

    // Sound effects.
    virtual int LoadSoundFile(const char* path, int bufferCount, int shareWith) = 0;
    virtual int PlaySoundHandle(int handle, int playType, int topFlag) = 0;
    virtual int DeleteSoundHandle(int handle, int flag) = 0;

    // Graphs.
    virtual int LoadGraphHandle(const char* path, int flag) = 0;
    virtual int LoadDividedGraphs(const char* path, int count, int columns, int rows,
                                  int cellWidth, int cellHeight, int* handles, int flag) = 0;
    virtual int DeleteGraph(int handle, int flag) = 0;

    // Drawing.
    virtual uint32_t GetScreenColor(int red, int green, int blue) = 0;
    virtual int SetBlendMode(int mode, int parameter) = 0;
    virtual int DrawGraphAt(int x, int y, int graph, int transparent) = 0;
    virtual int DrawGraphRotated(int x, int y, double scale, double angle, int graph,
                                 int transparent, int turn) = 0;
    virtual int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent) = 0;
    virtual int DrawGraphPart(int x, int y, int sourceX, int sourceY, int width, int height,
                              int graph, int transparent, int turn) = 0;
    virtual int DrawBoxShape(int x1, int y1, int x2, int y2, uint32_t colour, int fill) = 0;
    virtual int DrawLineShape(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) = 0;

    // Fonts and text.
    virtual int CreateFontToHandle(const char* face, int size, int thickness, int fontType,
                                   int charsetIndex, int edgeSize, int italic, int reuseSlot,
                                   int reuseCheck) = 0;
    virtual int ReleaseFont(int handle) = 0;
    virtual int DrawStringWithFont(int x, int y, const char* text, uint32_t colour, int font,
                                   uint32_t edgeColour, int vertical) = 0;
    virtual int DrawStringDefault(int x, int y, const char* text, uint32_t colour,
                                  uint32_t edgeColour) = 0;
    virtual int SetDefaultFontSize(int size) = 0;
    virtual int SetDefaultFontThickness(int thickness) = 0;
    virtual int SetDefaultFontType(int fontType) = 0;
};

// The engine the game calls: the real one unless replaced.
GameEngine& Engine();
// Replaces the engine (null restores the real one). The window's active flag of the simulation
// follows the engine's GetWindowActiveFlag.
void SetGameEngine(GameEngine* engine);
// The engine library itself.
GameEngine& RealGameEngine();
