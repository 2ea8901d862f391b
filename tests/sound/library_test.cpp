// The sound system as the library starts and ends it: the game's effect path from start to
// end, and the refill thread gone after the end.
#include "core/test_window_support.h"
#include "sound/sound_internal.h"
#include "sound_support.h"

TEST(SoundLibrary, TheLibraryStartsAndEndsSound) {
    ScratchFolder folder;
    V_DSoundMixerSetManual(1);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibraryLocked(), 0);
    ASSERT_NE(g_SoundSystem.directSound, nullptr);
    std::vector<int16_t> samples = {1200, -1200, 2400, -2400, 3600};
    WriteScratchFile("se.wav", PcmWave(1, 44100, 16, Samples16(samples)));
    SoundHandle h = LoadSoundFile("se.wav", 3, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    auto out = Render(6);
    for (size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(out[2 * i], samples[i]);
    EXPECT_EQ(ProcessMessageLocked(), 0);
    EXPECT_EQ(EndLibraryLocked(), 0);
    EXPECT_EQ(g_SoundSystem.directSound, nullptr);
    EXPECT_EQ(g_SoundSystem.stopFlag.load(), 2);
    EXPECT_EQ(LoadSoundFile("se.wav", 3, -1), -1);
    EXPECT_EQ(V_DSoundMixerBufferCount(), 0);
    auto lines = ReadLogLines();
    bool started = false, ended = false;
    for (const std::string& line : lines) {
        started |= line.find("DirectSound の初期化は正常に終了しました") != std::string::npos;
        ended |= line.find("DirectSound の終了処理は正常に終了しました") != std::string::npos;
    }
    EXPECT_TRUE(started);
    EXPECT_TRUE(ended);
}
