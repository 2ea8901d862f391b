// A movie needs the library's COM start: before start-up and after the end no movie graph can
// be built, so OpenMovie fails with -1; during a run the same file opens.
#include <gtest/gtest.h>

#include "core/core.h"
#include "core/test_window_support.h"
#include "movie/movie.h"
#include "support/child_call.h"
#include "support/small_bmp.h"

namespace {

// 1 for a live movie (closed again), -1 for none, 1000 when the library did not start.
int OpenAndClose(bool start, bool end) {
    if (start) {
        ChangeWindowMode(1);
        if (InitLibraryLocked() != 0) return 1000;
    }
    if (end && EndLibraryLocked() != 0) return 1001;
    int movie = OpenMovie("picture.bmp", nullptr, nullptr, 0);
    if (movie == -1) return -1;
    CloseMovie(movie);
    if (start && !end) EndLibraryLocked();
    return 1;
}

TEST(MovieOutsideARun, OpenMovieFailsBeforeStartUpAndAfterTheEnd) {
    ScratchFolder folder;
    WriteSmallBmp("picture.bmp");
    ChildResult during = RunInChild([] { return OpenAndClose(true, false); }, 15000);
    EXPECT_TRUE(during.returned && during.value == 1) << "during a run: " << during.Describe();
    ChildResult before = RunInChild([] { return OpenAndClose(false, false); }, 15000);
    EXPECT_TRUE(before.returned && before.value == -1) << "before start-up: " << before.Describe();
    ChildResult after = RunInChild([] { return OpenAndClose(true, true); }, 15000);
    EXPECT_TRUE(after.returned && after.value == -1) << "after the end: " << after.Describe();
}

}  // namespace
