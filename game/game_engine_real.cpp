// The game's calls into the engine library.
#include "game_engine.h"

#include "velk.h"


namespace {

class LibraryEngine final : public GameEngine {
public:
    // Start, end and the frame.
    int ChangeWindowMode(int windowed) override { return ::ChangeWindowMode(windowed); }
    int InitLibraryLocked() override { return ::InitLibraryLocked(); }
    int EndLibraryLocked() override { return ::EndLibraryLocked(); }
    int ProcessMessageLocked() override { return ::ProcessMessageLocked(); }
    int SetAlwaysRunFlag(int flag) override { return ::SetAlwaysRunFlag(flag); }
    int GetWindowActiveFlag() override { return ::GetWindowActiveFlag(); }
    int PresentScreen() override { return ::PresentScreen(); }

    // Input.
    int IsKeyDown(int keyCode) override { return ::IsKeyDown(keyCode); }
    int GetJoypadState(int inputType) override { return ::GetJoypadState(inputType); }
    int GetMouseButtons() override { return ::GetMouseButtons(); }
    void GetMousePosition(int* x, int* y) override { ::GetMousePosition(x, y); }

    // Sound.
    int LoadSoundFile(const char* path, int bufferCount, int shareWith) override {
        return ::LoadSoundFile(path, bufferCount, shareWith);
    }
    int PlaySoundHandle(int handle, int playType, int topFlag) override {
        return ::PlaySoundHandle(handle, playType, topFlag);
    }
    int DeleteSoundHandle(int handle, int flag) override { return ::DeleteSoundHandle(handle, flag); }

    int LoadGraphHandle(const char* path, int flag) override { return ::LoadGraphHandle(path, flag); }
    int LoadDividedGraphs(const char* path, int count, int columns, int rows, int cellWidth,
                          int cellHeight, int* handles, int flag) override {
        return ::LoadDividedGraphs(path, count, columns, rows, cellWidth, cellHeight, handles, flag);
    }
    int DeleteGraph(int handle, int flag) override { return ::DeleteGraph(handle, flag); }
    uint32_t GetScreenColor(int red, int green, int blue) override {
        return ::GetScreenColor(red, green, blue);
    }
    int SetBlendMode(int mode, int parameter) override { return ::SetBlendMode(mode, parameter); }
    int DrawGraphAt(int x, int y, int graph, int transparent) override {
        return ::DrawGraphAt(x, y, graph, transparent);
    }
    int DrawGraphRotated(int x, int y, double scale, double angle, int graph, int transparent,
                         int turn) override {
        return ::DrawGraphRotated(x, y, scale, angle, graph, transparent, turn);
    }
    int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent) override {
        return ::DrawGraphStretched(x1, y1, x2, y2, graph, transparent);
    }
    int DrawGraphPart(int x, int y, int sourceX, int sourceY, int width, int height, int graph,
                      int transparent, int turn) override {
        return ::DrawGraphPart(x, y, sourceX, sourceY, width, height, graph, transparent, turn);
    }
    int DrawBoxShape(int x1, int y1, int x2, int y2, uint32_t colour, int fill) override {
        return ::DrawBoxShape(x1, y1, x2, y2, colour, fill);
    }
    int DrawLineShape(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) override {
        return ::DrawLineShape(x1, y1, x2, y2, colour, thickness);
    }

    // Fonts and text.
    int CreateFontToHandle(const char* face, int size, int thickness, int fontType,
                           int charsetIndex, int edgeSize, int italic, int reuseSlot,
                           int reuseCheck) override {
        return ::CreateFontToHandle(face, size, thickness, fontType, charsetIndex, edgeSize, italic,
                                    reuseSlot, reuseCheck);
    }
    int ReleaseFont(int handle) override { return ::ReleaseFont(handle); }
    int DrawStringWithFont(int x, int y, const char* text, uint32_t colour, int font,
                           uint32_t edgeColour, int vertical) override {
        return ::DrawStringWithFont(x, y, text, colour, font, edgeColour, vertical);
    }
    int DrawStringDefault(int x, int y, const char* text, uint32_t colour,
                          uint32_t edgeColour) override {
        return ::DrawStringDefault(x, y, text, colour, edgeColour);
    }
    int SetDefaultFontSize(int size) override { return ::SetDefaultFontSize(size); }
    int SetDefaultFontThickness(int thickness) override {
        return ::SetDefaultFontThickness(thickness);
    }
    int SetDefaultFontType(int fontType) override { return ::SetDefaultFontType(fontType); }
};

}  // namespace

GameEngine& RealGameEngine() {
    static LibraryEngine engine;
    return engine;
}
