// The scenes and the frame loop, driven by scripted input through the recording engine.
#include <string>
#include <vector>

#include "game_log.h"
#include "game_scene_support.h"
#include "world.h"

namespace game_test {
namespace {

using SceneFlowTest = SceneTest;

// Runs frames with the pad held in the given state for the given count.
struct Hold {
    uint32_t pad;
    int frames;
};

class FrameTest : public SceneTest {
protected:
    // Runs frames as scripted; the result of the last RunFrame.
    int Run(std::initializer_list<Hold> script) {
        int result = 0;
        for (const Hold& hold : script) {
            for (int i = 0; i < hold.frames; ++i) {
                engine.pad = hold.pad;
                engine.padByFrame.clear();
                result = RunFrame();
                if (result != 0) return result;
            }
        }
        return result;
    }
    Sequence::Child* Current() { return GetRootParent()->child; }
    Sequence::Game::GameParent* Run() {
        return dynamic_cast<Sequence::Game::GameParent*>(Current());
    }
};

TEST_F(FrameTest, TitleMenuMovesDecidesAndQuits) {
    EXPECT_EQ(Run({{0, 1}}), 0);
    auto* title = dynamic_cast<Sequence::Title*>(Current());
    ASSERT_NE(title, nullptr);
    // The title's picture and items: START under the cursor in blue, QUIT white.
    const Call* start = engine.FindText("START");
    const Call* quit = engine.FindText("QUIT");
    ASSERT_NE(start, nullptr);
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(start->args, (std::vector<double>{40, 340, 0x0000FF, 0}));
    EXPECT_EQ(quit->args, (std::vector<double>{40, 376, 0xFFFFFF, 0}));
    EXPECT_EQ(engine.Named("DrawGraphAt")[0].args, (std::vector<double>{0, 0, 100 + 3, 0}));

    // Cancel marks nothing; decide then only plays the enter sound.
    Run({{kPadCancel, 1}, {0, 1}, {kPadDecide, 1}, {0, 1}});
    EXPECT_EQ(title->cursor, 2);
    EXPECT_EQ(Current(), title);
    EXPECT_EQ(PlayCount(kSoundEnter), 1);
    EXPECT_EQ(PlayCount(kSoundCancel), 1);
    // Up from nothing marked goes to QUIT; decide there ends the program.
    Run({{kPadUp, 1}, {0, 1}});
    EXPECT_EQ(title->cursor, 1);
    EXPECT_EQ(Run({{kPadDecide, 1}}), 1);
}

TEST_F(FrameTest, HeldDecideDoesNotRunThroughTheSettings) {
    Run({{0, 1}, {kPadDecide, 5}});
    auto* option = dynamic_cast<Sequence::Option*>(Current());
    ASSERT_NE(option, nullptr);
    Run({{kPadDecide, 10}});
    EXPECT_EQ(Current(), option);
    Run({{0, 1}, {kPadDecide, 1}});
    ASSERT_NE(Run(), nullptr);
    EXPECT_EQ(Run()->world->initialEnergy, 1000);
    EXPECT_EQ(Run()->world->initialWood, 10);
    EXPECT_EQ(Run()->world->initialInsect, 20);
    EXPECT_EQ(Run()->world->initialAnimal, 6);
}

TEST_F(FrameTest, SettingsStepWithinTheirRanges) {
    Run({{0, 1}, {kPadDecide, 1}, {0, 1}});
    auto* option = dynamic_cast<Sequence::Option*>(Current());
    ASSERT_NE(option, nullptr);
    // Right held on ENERGY: +100 at once, then after 20 frames +100 a frame, up to 50000.
    Run({{kPadRight, 1}});
    EXPECT_EQ(option->energy, 1100);
    Run({{kPadRight, 19}});
    EXPECT_EQ(option->energy, 1100);
    Run({{kPadRight, 1}});
    EXPECT_EQ(option->energy, 1200);
    Run({{kPadRight, 600}});
    EXPECT_EQ(option->energy, 50000);
    Run({{0, 1}, {kPadLeft, 1}});
    EXPECT_EQ(option->energy, 49900);
    // WOOD down to 0 and not below; ANIMAL up to 500 and not above.
    Run({{0, 1}, {kPadDown, 1}, {0, 1}, {kPadLeft, 40}});
    EXPECT_EQ(option->cursor, 1);
    EXPECT_EQ(option->wood, 0);
    Run({{0, 1}, {kPadDown, 1}, {0, 1}, {kPadDown, 1}, {0, 1}, {kPadDown, 1}, {0, 1}});
    EXPECT_EQ(option->cursor, 3);
    Run({{kPadRight, 600}});
    EXPECT_EQ(option->animal, 500);
    EXPECT_EQ(option->insect, 20);
    // The rows as drawn, the cursor's in blue.
    const Call* row = engine.FindText("ANIMAL : 500");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->args, (std::vector<double>{40, 392, 0x0000FF, 0}));
    ASSERT_NE(engine.FindText("WOOD   : 0"), nullptr);
    // Cancel goes back to the title.
    Run({{0, 1}, {kPadCancel, 1}});
    EXPECT_NE(dynamic_cast<Sequence::Title*>(Current()), nullptr);
}

TEST_F(FrameTest, SettingsStopAtTheirEndsAndStartTheRunWithThem) {
    Run({{0, 1}, {kPadDecide, 1}, {0, 1}});
    auto* option = dynamic_cast<Sequence::Option*>(Current());
    ASSERT_NE(option, nullptr);
    Run({{kPadLeft, 40}});
    EXPECT_EQ(option->energy, 0);
    // The cursor stays on the four rows however long up or down is held.
    Run({{0, 1}, {kPadUp, 30}});
    EXPECT_EQ(option->cursor, 0);
    Run({{0, 1}, {kPadDown, 40}});
    EXPECT_EQ(option->cursor, 3);
    Run({{0, 1}, {kPadUp, 1}, {0, 1}, {kPadRight, 600}});
    EXPECT_EQ(option->insect, 500);
    Run({{0, 1}, {kPadUp, 1}, {0, 1}, {kPadRight, 600}});
    EXPECT_EQ(option->wood, 500);
    EXPECT_EQ(option->animal, 6);

    Run({{0, 1}, {kPadDecide, 1}});
    ASSERT_NE(Run(), nullptr);
    const World& world = *Run()->world;
    EXPECT_EQ(world.airEnergy, 0);
    EXPECT_EQ(sim_test::CountKind(world, Wood), 500);
    EXPECT_EQ(sim_test::CountKind(world, Insect), 500);
    EXPECT_EQ(sim_test::CountKind(world, Animal), 6);
    ASSERT_FALSE(sim_test::LogLines().empty());
    EXPECT_EQ(sim_test::LogLines()[0], "00:00:00 空養0　木500本　虫500匹　獣6匹で開始しました。");
}

TEST_F(FrameTest, PauseCancelResumesTheRunAndRestartPlacesAnew) {
    Run({{0, 1}, {kPadDecide, 1}, {0, 1}, {kPadDecide, 1}, {0, 3}});
    ASSERT_NE(Run(), nullptr);
    World* world = Run()->world;
    std::vector<int32_t> placement;
    for (int slot = 0; slot < 36; ++slot) placement.push_back(world->At(slot).x);
    AddLog(0, GetCurrentGameLog(), "kept");
    world->zoom = 4000;
    world->highlightKind = Insect;

    // Down past the last item stays on CANSEL, which resumes the same run.
    Run({{kPadPause, 1}, {0, 1}, {kPadDown, 1}, {0, 1}, {kPadDown, 1}, {0, 1}, {kPadDown, 1},
         {0, 1}, {kPadDecide, 1}, {0, 1}});
    EXPECT_NE(dynamic_cast<Sequence::Game::Play*>(Run()->child), nullptr);
    EXPECT_EQ(sim_test::LogLines().back(), "00:00:00 kept");
    EXPECT_EQ(world->zoom, 4000);

    // A new pause starts on RE START: the run begins again with the view reset and new places.
    sim_test::g_FakeNow += 3000;
    Run({{0, 3}});
    ASSERT_GT(world->elapsedSeconds, 0);
    Run({{kPadPause, 1}, {0, 1}, {kPadUp, 1}, {0, 1}, {kPadDecide, 1}, {0, 1}});
    EXPECT_EQ(Run()->world, world);
    EXPECT_EQ(world->zoom, 1000);
    EXPECT_EQ(world->highlightKind, -1);
    EXPECT_EQ(world->nextId, 36);
    EXPECT_EQ(world->elapsedSeconds, 0);
    EXPECT_EQ(sim_test::LogLines().size(), 1u);
    std::vector<int32_t> again;
    for (int slot = 0; slot < 36; ++slot) again.push_back(world->At(slot).x);
    EXPECT_NE(again, placement);
    EXPECT_FALSE(FileExists("Setting.txt"));
}

TEST_F(FrameTest, RestartDropsTheLogUnsavedAndTitleSavesIt) {
    Run({{0, 1}, {kPadDecide, 1}, {0, 1}, {kPadDecide, 1}, {0, 3}});
    ASSERT_NE(Run(), nullptr);
    World* world = Run()->world;
    // Pause, then RE START: a new run with a new log, and no file.
    Run({{kPadPause, 1}, {0, 1}});
    EXPECT_NE(dynamic_cast<Sequence::Game::Pause*>(Run()->child), nullptr);
    ASSERT_NE(engine.FindText("PAUSE"), nullptr);
    ASSERT_NE(engine.FindText("AIR ENERGY:1000"), nullptr);
    EXPECT_EQ(engine.FindText("WOOD:10")->args[2], 0x50AF00);
    AddLog(0, GetCurrentGameLog(), "interrupted run");
    Run({{kPadDecide, 1}, {0, 1}});
    EXPECT_EQ(Run()->world, world);
    EXPECT_NE(dynamic_cast<Sequence::Game::Play*>(Run()->child), nullptr);
    EXPECT_EQ(GetCurrentGameLog()->GetLineCount(), 1);
    EXPECT_FALSE(FileExists("Setting.txt"));

    // Pause, down to TITLE, decide: the run's log is saved as file 0.
    Run({{kPadPause, 1}, {0, 1}, {kPadDown, 1}, {0, 1}, {kPadDecide, 1}});
    EXPECT_NE(dynamic_cast<Sequence::Title*>(Current()), nullptr);
    EXPECT_EQ(GetCurrentGameLog(), nullptr);
    EXPECT_EQ(ReadFile("Setting.txt"), "0");
    const std::string log = ReadFile("Log/LogData0.txt");
    EXPECT_EQ(log.find("interrupted"), std::string::npos);
    EXPECT_EQ(log.rfind("00:00:00 \x8B\xF3", 0), 0u);  // "空" in code page 932
    const std::string end = "\x8F\x49\x97\xB9\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42\r\n";
    ASSERT_GE(log.size(), end.size());
    EXPECT_EQ(log.substr(log.size() - end.size()), end);
}

TEST_F(FrameTest, PauseKeyPausesAndResumesOnlyOnFreshPresses) {
    Run({{0, 1}, {kPadDecide, 1}, {0, 1}, {kPadDecide, 1}, {0, 1}});
    const int32_t seconds = Run()->world->elapsedSeconds;
    Run({{kPadPause, 5}});
    EXPECT_NE(dynamic_cast<Sequence::Game::Pause*>(Run()->child), nullptr);
    // The world does not tick while paused.
    sim_test::g_FakeNow += 5000;
    Run({{0, 2}});
    EXPECT_EQ(Run()->world->elapsedSeconds, seconds);
    Run({{kPadPause, 3}});
    EXPECT_NE(dynamic_cast<Sequence::Game::Play*>(Run()->child), nullptr);
    EXPECT_EQ(PlayCount(kSoundCancel), 1);
    Run({{kPadPause, 5}});
    EXPECT_NE(dynamic_cast<Sequence::Game::Play*>(Run()->child), nullptr);
    EXPECT_EQ(Run()->world->elapsedSeconds, seconds + 1);

    // An inactive window: the world still ticks and the screen is cleared, no input, no world.
    engine.active = 0;
    engine.Clear();
    Run({{0, 1}, {kPadPause, 3}});
    EXPECT_NE(dynamic_cast<Sequence::Game::Play*>(Run()->child), nullptr);
    EXPECT_EQ(engine.Count("DrawBoxShape"), 4);
    EXPECT_EQ(engine.Count("DrawGraphRotated"), 0);
    EXPECT_EQ(engine.Count("PlaySoundHandle"), 0);
}

TEST_F(FrameTest, EscapeAndClosingEndTheLoop) {
    Run({{0, 1}});
    engine.escape = true;
    EXPECT_EQ(RunFrame(), 1);
    // Inactive, Escape is not looked at.
    engine.active = 0;
    EXPECT_EQ(RunFrame(), 0);
    engine.closeWindow = true;
    EXPECT_EQ(RunFrame(), 1);
}

class GameMainTest : public SceneTest {
protected:
    // The program starts its own input state and sounds.
    void SetUp() override {
        SceneTest::SetUp();
        ReleaseSoundEffects();
        ReleaseInputState();
        engine.Clear();
    }
};

TEST_F(GameMainTest, WholeProgramSavesTheRunOnEscape) {
    // Title, settings, a run of frames, Escape.
    engine.padByFrame = {0, kPadDecide, 0, kPadDecide, 0, 0, 0};
    engine.escapeFromFrame = 9;
    EXPECT_EQ(RunGame(), 0);
    EXPECT_EQ(engine.calls.front().name, "ChangeWindowMode");
    EXPECT_EQ(engine.Count("LoadSoundFile"), 3);
    EXPECT_EQ(engine.Named("LoadSoundFile")[1].text, "Data/SE/Cansel-pi01.wav");
    EXPECT_EQ(engine.Count("DeleteSoundHandle"), 3);
    EXPECT_EQ(engine.calls.back().name, "EndLibraryLocked");
    EXPECT_EQ(engine.Count("PresentScreen"), engine.Count("ProcessMessageLocked") - 1);
    // The run's pictures and fonts were all given back.
    EXPECT_EQ(engine.Count("CreateFontToHandle"), engine.Count("ReleaseFont"));
    EXPECT_EQ(engine.Count("LoadGraphHandle") + 10, engine.Count("DeleteGraph"));
    EXPECT_EQ(ReadFile("Setting.txt"), "0");
    EXPECT_TRUE(FileExists("Log/LogData0.txt"));
    EXPECT_EQ(GetRootParent(), nullptr);
    EXPECT_EQ(GetInputState(), nullptr);
}

// As in the program, where nothing but the program itself connects the simulation to the
// window: while the window is inactive the mouse tools are not run.
TEST_F(GameMainTest, TheRunLeavesTheMouseAloneWhileTheWindowIsInactive) {
    SetGameActiveSource(nullptr);
    engine.padByFrame = {0, kPadDecide, 0, kPadDecide, 0, 0, 0};
    engine.activeByFrame = {1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1};
    engine.escapeFromFrame = 11;
    EXPECT_EQ(RunGame(), 0);
    // The run ticks from the fifth pass to the twelfth, where Escape ends it.
    EXPECT_EQ(engine.mouseReadFrames, (std::vector<int>{5, 6, 10, 11, 12}));
}

TEST_F(GameMainTest, EndingBeforeAnySceneAndAFailedStart) {
    engine.closeWindow = true;
    EXPECT_EQ(RunGame(), 0);
    EXPECT_EQ(engine.Count("LoadGraphHandle"), 0);
    EXPECT_FALSE(FileExists("Setting.txt"));

    engine.Clear();
    engine.initResult = -1;
    EXPECT_EQ(RunGame(), -1);
    EXPECT_EQ(engine.Count("LoadSoundFile"), 0);
    EXPECT_EQ(GetInputState(), nullptr);
}

}  // namespace
}  // namespace game_test
