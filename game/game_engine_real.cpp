// The game's calls into the engine library. Calls whose engine side is not in the library yet
// answer as the engine does when it has nothing to offer: failure for loads and draws, "inactive"
// for nothing, no input.
#include "game_engine.h"


namespace {

class LibraryEngine final : public GameEngine {
public:
    // Start, end and the frame: the window is not in the library yet.
    int ChangeWindowMode(int) override { return 0; }
    int InitLibraryLocked() override { return -1; }
    int EndLibraryLocked() override { return 0; }
    int ProcessMessageLocked() override { return -1; }
    int SetAlwaysRunFlag(int) override { return 0; }
    int GetWindowActiveFlag() override { return 1; }
    int PresentScreen() override { return -1; }

    // Input: not in the library yet.
    int IsKeyDown(int) override { return 0; }
    int GetJoypadState(int) override { return 0; }
    int GetMouseButtons() override { return 0; }
    void GetMousePosition(int* x, int* y) override {
        if (x != nullptr) *x = 0;
        if (y != nullptr) *y = 0;
    }

    // Sound: the library's sound calls wait on the window's message loop, which is not in the
    // library yet; until it is, the game runs silent.
    int LoadSoundFile(const char*, int, int) override { return -1; }
    int PlaySoundHandle(int, int, int) override { return -1; }
    int DeleteSoundHandle(int, int) override { return -1; }

    // Graphs, drawing and fonts: not in the library yet.
    int LoadGraphHandle(const char*, int) override { return -1; }
    int LoadDividedGraphs(const char*, int count, int, int, int, int, int* handles,
                          int) override {
        for (int i = 0; i < count && handles != nullptr; ++i) handles[i] = -1;
        return -1;
    }
    int DeleteGraph(int, int) override { return -1; }
    uint32_t GetScreenColor(int red, int green, int blue) override {
        // The 16-bit screen's R5G6B5 value.
        return static_cast<uint32_t>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
    }
    int SetBlendMode(int, int) override { return 0; }
    int DrawGraphAt(int, int, int, int) override { return -1; }
    int DrawGraphRotated(int, int, double, double, int, int, int) override { return -1; }
    int DrawGraphStretched(int, int, int, int, int, int) override { return -1; }
    int DrawGraphPart(int, int, int, int, int, int, int, int, int) override { return -1; }
    int DrawBoxShape(int, int, int, int, uint32_t, int) override { return -1; }
    int DrawLineShape(int, int, int, int, uint32_t, int) override { return -1; }
    int CreateFontToHandle(const char*, int, int, int, int, int, int, int, int) override {
        return -1;
    }
    int ReleaseFont(int) override { return -1; }
    int DrawStringWithFont(int, int, const char*, uint32_t, int, uint32_t, int) override {
        return -1;
    }
    int DrawStringDefault(int, int, const char*, uint32_t, uint32_t) override { return -1; }
    int SetDefaultFontSize(int) override { return 0; }
    int SetDefaultFontThickness(int) override { return 0; }
    int SetDefaultFontType(int) override { return 0; }
};

}  // namespace

GameEngine& RealGameEngine() {
    static LibraryEngine engine;
    return engine;
}
