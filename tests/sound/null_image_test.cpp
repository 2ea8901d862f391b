// A sound made from a memory image that is not there fails with -1 instead of reading through
// a null pointer. Runs in a child process, so that a crash fails only this test.
#include "sound/sound_services.h"
#include "sound_support.h"
#include "support/child_call.h"

TEST(SoundFromMemory, ANullImageWithASizeIsRefused) {
    for (int size : {1, 44, 100, 0x7FFFFFFF}) {
        ChildResult result = RunInChild([size] {
            V_DSoundMixerSetManual(1);
            if (InitializeSoundSystem() != 0) return 100;
            SoundHandle h = CreateSoundFromMemoryImage(nullptr, size, 1, -1);
            TerminateSoundSystem();
            return h;
        });
        EXPECT_TRUE(result.returned && result.value == -1) << size << ": " << result.Describe();
    }
}
