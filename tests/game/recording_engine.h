// A stand-in for the engine that records the game's calls and plays back scripted input, for
// tests of the scenes, the world view and the frame loop without a window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game_clock.h"
#include "game_engine.h"

namespace game_test {

struct Call {
    std::string name;
    std::vector<double> args;
    std::string text;
};

class RecordingEngine final : public GameEngine {
public:
    // Scripted state, changed by the test between frames.
    int active = 1;
    uint32_t pad = 0;
    bool escape = false;
    int escapeFromFrame = -1;  // Escape held from this message pass on
    int mouseX = 0, mouseY = 0, mouseButtons = 0;
    bool closeWindow = false;
    int initResult = 0;
    // Pad bits by message pass (frame 0 first); later passes keep the last state set.
    std::vector<uint32_t> padByFrame;
    // The window's active flag by message pass, the same way (empty: `active` as set).
    std::vector<int> activeByFrame;
    int frame = 0;
    // Message passes (counted as `frame`) in which the mouse buttons were read.
    std::vector<int> mouseReadFrames;

    std::vector<Call> calls;
    int nextHandle = 100;

    void Clear() { calls.clear(); }
    int Count(const std::string& name) const {
        int n = 0;
        for (const Call& call : calls) n += call.name == name;
        return n;
    }
    std::vector<Call> Named(const std::string& name) const {
        std::vector<Call> out;
        for (const Call& call : calls)
            if (call.name == name) out.push_back(call);
        return out;
    }
    // Texts drawn by either string call, in order.
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const Call& call : calls)
            if (call.name == "DrawStringDefault" || call.name == "DrawStringWithFont")
                out.push_back(call.text);
        return out;
    }
    const Call* FindText(const std::string& text) const {
        for (const Call& call : calls)
            if (call.text == text) return &call;
        return nullptr;
    }

    int ChangeWindowMode(int windowed) override { return Record("ChangeWindowMode", {double(windowed)}, 0); }
    int InitLibraryLocked() override { return Record("InitLibraryLocked", {}, initResult); }
    int EndLibraryLocked() override { return Record("EndLibraryLocked", {}, 0); }
    int ProcessMessageLocked() override {
        if (frame < static_cast<int>(padByFrame.size())) pad = padByFrame[frame];
        if (frame < static_cast<int>(activeByFrame.size())) active = activeByFrame[frame];
        ++frame;
        return Record("ProcessMessageLocked", {}, closeWindow ? -1 : 0);
    }
    int SetAlwaysRunFlag(int flag) override { return Record("SetAlwaysRunFlag", {double(flag)}, 0); }
    int GetWindowActiveFlag() override { return active; }
    int PresentScreen() override { return Record("PresentScreen", {}, 0); }

    int IsKeyDown(int keyCode) override {
        const bool held = escape || (escapeFromFrame >= 0 && frame > escapeFromFrame);
        return keyCode == 1 && held ? 1 : 0;
    }
    int GetJoypadState(int inputType) override { return inputType == 0x1001 ? int(pad) : 0; }
    int GetMouseButtons() override {
        mouseReadFrames.push_back(frame);
        return mouseButtons;
    }
    void GetMousePosition(int* x, int* y) override {
        *x = mouseX;
        *y = mouseY;
    }

    int LoadSoundFile(const char* path, int bufferCount, int shareWith) override {
        return Record("LoadSoundFile", {double(bufferCount), double(shareWith)}, nextHandle++, path);
    }
    int PlaySoundHandle(int handle, int playType, int topFlag) override {
        return Record("PlaySoundHandle", {double(handle), double(playType), double(topFlag)}, 0);
    }
    int DeleteSoundHandle(int handle, int flag) override {
        return Record("DeleteSoundHandle", {double(handle), double(flag)}, 0);
    }

    int LoadGraphHandle(const char* path, int flag) override {
        return Record("LoadGraphHandle", {double(flag)}, nextHandle++, path);
    }
    int LoadDividedGraphs(const char* path, int count, int columns, int rows, int cellWidth,
                          int cellHeight, int* handles, int flag) override {
        for (int i = 0; i < count; ++i) handles[i] = nextHandle++;
        return Record("LoadDividedGraphs",
                      {double(count), double(columns), double(rows), double(cellWidth),
                       double(cellHeight), double(flag)},
                      0, path);
    }
    int DeleteGraph(int handle, int flag) override {
        return Record("DeleteGraph", {double(handle), double(flag)}, 0);
    }

    // Colours come back as their RGB value, so tests read them as written.
    uint32_t GetScreenColor(int red, int green, int blue) override {
        return static_cast<uint32_t>((red << 16) | (green << 8) | blue);
    }
    int SetBlendMode(int mode, int parameter) override {
        return Record("SetBlendMode", {double(mode), double(parameter)}, 0);
    }
    int DrawGraphAt(int x, int y, int graph, int transparent) override {
        return Record("DrawGraphAt", {double(x), double(y), double(graph), double(transparent)}, 0);
    }
    int DrawGraphRotated(int x, int y, double scale, double angle, int graph, int transparent,
                         int turn) override {
        return Record("DrawGraphRotated",
                      {double(x), double(y), scale, angle, double(graph), double(transparent),
                       double(turn)},
                      0);
    }
    int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent) override {
        return Record("DrawGraphStretched",
                      {double(x1), double(y1), double(x2), double(y2), double(graph),
                       double(transparent)},
                      0);
    }
    int DrawGraphPart(int x, int y, int sourceX, int sourceY, int width, int height, int graph,
                      int transparent, int turn) override {
        return Record("DrawGraphPart",
                      {double(x), double(y), double(sourceX), double(sourceY), double(width),
                       double(height), double(graph), double(transparent), double(turn)},
                      0);
    }
    int DrawBoxShape(int x1, int y1, int x2, int y2, uint32_t colour, int fill) override {
        return Record("DrawBoxShape",
                      {double(x1), double(y1), double(x2), double(y2), double(colour), double(fill)}, 0);
    }
    int DrawLineShape(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) override {
        return Record("DrawLineShape",
                      {double(x1), double(y1), double(x2), double(y2), double(colour),
                       double(thickness)},
                      0);
    }
    int CreateFontToHandle(const char* face, int size, int thickness, int fontType, int charsetIndex,
                           int edgeSize, int italic, int reuseSlot, int reuseCheck) override {
        return Record("CreateFontToHandle",
                      {double(size), double(thickness), double(fontType), double(charsetIndex),
                       double(edgeSize), double(italic), double(reuseSlot), double(reuseCheck)},
                      nextHandle++, face);
    }
    int ReleaseFont(int handle) override { return Record("ReleaseFont", {double(handle)}, 0); }
    int DrawStringWithFont(int x, int y, const char* text, uint32_t colour, int font,
                           uint32_t edgeColour, int vertical) override {
        return Record("DrawStringWithFont",
                      {double(x), double(y), double(colour), double(font), double(edgeColour),
                       double(vertical)},
                      0, text);
    }
    int DrawStringDefault(int x, int y, const char* text, uint32_t colour,
                          uint32_t edgeColour) override {
        return Record("DrawStringDefault",
                      {double(x), double(y), double(colour), double(edgeColour)}, 0, text);
    }
    int SetDefaultFontSize(int size) override { return Record("SetDefaultFontSize", {double(size)}, 0); }
    int SetDefaultFontThickness(int thickness) override {
        return Record("SetDefaultFontThickness", {double(thickness)}, 0);
    }
    int SetDefaultFontType(int fontType) override {
        return Record("SetDefaultFontType", {double(fontType)}, 0);
    }

private:
    int Record(const char* name, std::vector<double> args, int result, const char* text = nullptr) {
        calls.push_back({name, std::move(args), text != nullptr ? text : ""});
        return result;
    }
};

}  // namespace game_test
