// The game's calls into the engine library. Calls whose engine side is not in the library yet
// (drawing and fonts) answer as the engine does when it has nothing to offer: failure for loads
// and draws.
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

    // Drawing and fonts: not in the library yet.
    int LoadGraphHandle(const char*, int) override { return -1; }
    int LoadDividedGraphs(const char*, int count, int, int, int, int, int* handles,
                          int) override {
        for (int i = 0; i < count && handles != nullptr; ++i) handles[i] = -1;
        return -1;
    }
    int DeleteGraph(int handle, int flag) override { return ::DeleteGraph(handle, flag); }
    uint32_t GetScreenColor(int red, int green, int blue) override {
        return ::GetScreenColor(red, green, blue);
    }
    int SetBlendMode(int mode, int parameter) override { return ::SetBlendMode(mode, parameter); }
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
