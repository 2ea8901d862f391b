// A stream with nothing to play ends at once: a WAV whose data chunk is empty is heard to its
// end, in the background and with play-and-wait.
#include <unistd.h>

#include <atomic>
#include <thread>

#include "sound/sound_internal.h"
#include "sound/sound_services.h"
#include "sound_support.h"
#include "support/child_call.h"

namespace {

std::string EmptyWave() {
    // Named per process: the suite's tests run side by side in one folder.
    return WriteScratchFile("empty_data_" + std::to_string(getpid()) + ".wav",
                            PcmWave(1, 44100, 16, {}));
}

// Output in 10 ms steps with a refill after each, until the sound stops or `frames` are out.
int RenderUntilStopped(SoundHandle handle, int frames) {
    for (int done = 0; done < frames; done += 441) {
        if (CheckSoundPlaying(handle) == 0) return done;
        Render(441);
        RefillStreamSound(handle);
    }
    return -1;
}

}  // namespace

TEST_F(SoundSystemTest, AnEmptyStreamPlayedInTheBackgroundStops) {
    for (int type : {kSoundCreateStreamFile, kSoundCreateStreamMemory}) {
        ASSERT_EQ(SetSoundCreateType(type), 0);
        SoundHandle h = LoadSoundFile(EmptyWave().c_str(), 1, -1);
        SetSoundCreateType(kSoundCreateNormal);
        ASSERT_NE(h, -1) << type;
        EXPECT_EQ(GetSoundLengthSamples(h), 0) << type;
        ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBackground, 1), 0) << type;
        // Three seconds of output are far more than the stream's ring holds.
        EXPECT_GE(RenderUntilStopped(h, 44100 * 3), 0) << "still playing, create type " << type;
        EXPECT_EQ(CheckSoundPlaying(h), 0) << type;
        EXPECT_EQ(DeleteSoundHandle(h), 0);
    }
    // A WAV with an empty data chunk loaded the ordinary way falls back to a stream as well.
    SoundHandle h = LoadSoundFile(EmptyWave().c_str(), 1, -1);
    ASSERT_NE(h, -1);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBackground, 1), 0);
    EXPECT_GE(RenderUntilStopped(h, 44100 * 3), 0);
    EXPECT_EQ(CheckSoundPlaying(h), 0);
}

// Play-and-wait in a child process (it never returned for an empty stream), with the mixer's
// output driven by a second thread there. A short stream with samples is the control.
static int PlayAndWaitInChild(const std::string& path) {
    ChildResult result = RunInChild(
        [&path] {
            V_DSoundMixerSetManual(1);
            if (InitializeSoundSystem() != 0) return 100;
            SetSoundCreateType(kSoundCreateStreamFile);
            SoundHandle h = LoadSoundFile(path.c_str(), 1, -1);
            if (h == -1) return 101;
            std::atomic<bool> stop{false};
            std::thread output([&] {
                while (!stop) {
                    Render(441);
                    RefillStreamSound(h);
                    usleep(1000);
                }
            });
            int played = PlaySoundHandle(h, kPlayTypeWait, 1);
            int playing = CheckSoundPlaying(h);
            stop = true;
            output.join();
            TerminateSoundSystem();
            return played == 0 && playing == 0 ? 0 : 102;
        },
        8000);
    return result.returned ? result.value : result.hung ? -1 : -2;
}

TEST(EmptyStream, PlayAndWaitReturns) {
    std::string tenth = WriteScratchFile("tenth_" + std::to_string(getpid()) + ".wav",
                                         PcmWave(1, 44100, 16, Bytes(8820, 0x11)));
    EXPECT_EQ(PlayAndWaitInChild(tenth), 0)
        << "control: 0.1 s of samples (-1: hung)";
    EXPECT_EQ(PlayAndWaitInChild(EmptyWave()), 0) << "-1: hung";
}
