// A scratch folder, the fake clock and the recording engine for the scene and view tests.
#pragma once

#include <memory>

#include "game_colors.h"
#include "game_frame.h"
#include "input_state.h"
#include "recording_engine.h"
#include "sequence.h"
#include "sim_test_support.h"
#include "sound_effects.h"

namespace game_test {

class SceneTest : public sim_test::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        SetGameEngine(&engine);
        BuildGameColors();
        SetGameRunFolder(folder.c_str());
        CreateInputState();
        LoadSoundEffects();
    }
    void TearDown() override {
        ReleaseRootParent();
        ReleaseSoundEffects();
        ReleaseInputState();
        SetGameRunFolder("");
        SetGameEngine(nullptr);
        SimTest::TearDown();
    }

    // Handles the sound effects got, in slot order: enter, cancel, click.
    int SoundHandle(int slot) const { return 100 + slot; }
    int PlayCount(int slot) const {
        int n = 0;
        for (const Call& call : engine.Named("PlaySoundHandle")) n += call.args[0] == SoundHandle(slot);
        return n;
    }

    RecordingEngine engine;
};

// The scene fixture with a world of 1000 energy and no wood, insects or animals,
// logging to the scratch folder.
class WorldSceneTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        world = std::make_unique<World>(1000, 0, 0, 0, folder.c_str());
    }
    void TearDown() override {
        world.reset();
        SceneTest::TearDown();
    }

    std::unique_ptr<World> world;
};

}  // namespace game_test
