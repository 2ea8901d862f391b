// The Theora player on its own: colour tables, opening and refusing files, the page index,
// seeking and stepping through the frame stock.
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/memory.h"
#include "movie/movie_services.h"
#include "movie/theora_movie.h"
#include "movie_files.h"

namespace {

class TheoraTest : public ::testing::Test {
protected:
    void SetUp() override {
        BuildYuvTables();
        folder_ = std::filesystem::current_path() / ("theora-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
        GetAllocationTotals(&bytesBefore_, &blocksBefore_);
    }
    void TearDown() override {
        int32_t bytes = 0, blocks = 0;
        GetAllocationTotals(&bytes, &blocks);
        EXPECT_EQ(blocks, blocksBefore_) << "the player left blocks allocated";
        EXPECT_EQ(bytes, bytesBefore_);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string path = (folder_ / name).string();
        WriteFileBytes(path, bytes);
        return path;
    }
    // Opens through the plain-file operations; null when the player refuses the file.
    TheoraMovie* Open(const std::string& path, int stock = 10) {
        const FileAccessFunctions* files = GetDirectFileFunctions();
        file_ = files->open(path.c_str(), 0, 0, 0);
        EXPECT_NE(file_, 0);
        TheoraMovie* movie = OpenTheoraMovie(files, file_, stock);
        if (movie == nullptr) CloseFile();
        return movie;
    }
    void Close(TheoraMovie* movie) {
        CloseTheoraMovie(movie);
        CloseFile();
    }
    void CloseFile() {
        if (file_ != 0) GetDirectFileFunctions()->close(file_);
        file_ = 0;
    }
    // The output image's pixel as (r, g, b).
    static Rgb8 Pixel(TheoraMovie* movie, int x, int y) {
        const ImageRecord* image = GetTheoraImage(movie);
        const uint8_t* p = image->pixels + static_cast<size_t>(y) * image->pitch + x * 4;
        EXPECT_EQ(p[3], 255);
        return {p[2], p[1], p[0]};
    }
    static void ExpectNear(Rgb8 got, Rgb8 want, const std::string& where) {
        EXPECT_NEAR(got.r, want.r, 4) << where;
        EXPECT_NEAR(got.g, want.g, 4) << where;
        EXPECT_NEAR(got.b, want.b, 4) << where;
    }
    // The frame shown after bringing the current frame into the image: top and bottom halves
    // and where the mark is.
    static void ExpectFrame(TheoraMovie* movie, const FlatFrame& f, const std::string& where) {
        EXPECT_EQ(UpdateTheoraFrame(movie, 1, 0), 1) << where;
        ExpectNear(Pixel(movie, 5, 3), ExpectedRgb(f.y, f.cb, f.cr), where + " top");
        ExpectNear(Pixel(movie, 60, 44), ExpectedRgb(f.yBottom, f.cb, f.cr), where + " bottom");
        for (int x = 16; x < 48; x += 8) {
            Rgb8 want = ExpectedRgb(x == f.markX ? 235 : f.y, f.cb, f.cr);
            ExpectNear(Pixel(movie, x + 4, kMarkY + 4), want, where + " mark " + std::to_string(x));
        }
    }

    std::filesystem::path folder_;
    intptr_t file_ = 0;
    int32_t bytesBefore_ = 0, blocksBefore_ = 0;
};

TEST(YuvTables, WorkedValuesAndClip) {
    BuildYuvTables();
    EXPECT_EQ(ClipYuv(-512), 0);
    EXPECT_EQ(ClipYuv(-1), 0);
    EXPECT_EQ(ClipYuv(0), 0);
    EXPECT_EQ(ClipYuv(200), 200);
    EXPECT_EQ(ClipYuv(256), 255);
    EXPECT_EQ(ClipYuv(767), 255);
    EXPECT_EQ(g_YuvTables.y[16], 0);
    EXPECT_EQ(g_YuvTables.y[235], 19070 * 219);
    EXPECT_EQ(g_YuvTables.bFromCb[0], 33062 * -128);
    EXPECT_EQ(g_YuvTables.gFromCr[255], -13320 * 127);

    // One 2 x 2 block per case through the 4:2:0 conversion.
    struct Case {
        uint8_t y, cb, cr;
        Rgb8 want;
    } cases[] = {{16, 128, 128, {0, 0, 0}},     {235, 128, 128, {254, 254, 254}},
                 {255, 128, 128, {255, 255, 255}}, {128, 128, 128, {130, 130, 130}},
                 {81, 90, 240, ExpectedRgb(81, 90, 240)}, {0, 255, 0, ExpectedRgb(0, 255, 0)}};
    for (const Case& c : cases) {
        uint8_t y[4] = {c.y, c.y, c.y, c.y}, u = c.cb, v = c.cr;
        TheoraFrameStockEntry frame{};
        frame.y = y, frame.u = &u, frame.v = &v;
        frame.yWidth = frame.yHeight = frame.yStride = 2;
        frame.uvWidth = frame.uvHeight = frame.uvStride = 1;
        ImageRecord image{};
        ASSERT_EQ(CreateXrgbImageRecord(2, 2, &image), 0);
        ConvertYuvToXrgb(&frame, &image);
        for (int i = 0; i < 4; ++i) {
            const uint8_t* p = image.pixels + (i / 2) * image.pitch + (i % 2) * 4;
            EXPECT_EQ(p[2], c.want.r) << int(c.y) << "," << int(c.cb) << "," << int(c.cr);
            EXPECT_EQ(p[1], c.want.g);
            EXPECT_EQ(p[0], c.want.b);
            EXPECT_EQ(p[3], 255);
        }
        ReleaseImageRecord(&image);
    }
}

TEST(YuvTables, OtherSubsamplingTakesTheFloatPath) {
    BuildYuvTables();
    // 4:4:4, two pixels of different chroma in one row.
    uint8_t y[2] = {128, 235}, u[2] = {128, 128}, v[2] = {128, 200};
    TheoraFrameStockEntry frame{};
    frame.y = y, frame.u = u, frame.v = v;
    frame.yWidth = frame.uvWidth = frame.yStride = frame.uvStride = 2;
    frame.yHeight = frame.uvHeight = 1;
    ImageRecord image{};
    ASSERT_EQ(CreateXrgbImageRecord(2, 1, &image), 0);
    ConvertYuvToXrgb(&frame, &image);
    EXPECT_EQ(image.pixels[2], 130);  // (128 - 16) x 1.164 = 130.4
    // y' = 254.9; R = y' + 1.596 x 72 clamps to 255; G = y' - 0.813 x 72 = 196.4.
    EXPECT_EQ(image.pixels[6], 255);
    EXPECT_EQ(image.pixels[5], 196);
    EXPECT_EQ(image.pixels[4], 254);
    ReleaseImageRecord(&image);
}

TEST_F(TheoraTest, OpensWithItsSizeRateAndIndex) {
    MovieSpec spec;
    spec.frames = TenColours();
    spec.fpsNumerator = 25;
    spec.fpsDenominator = 2;
    TheoraMovie* movie = Open(Write("ten.ogv", EncodeMovie(spec)));
    ASSERT_NE(movie, nullptr);
    TheoraInfo info{};
    GetTheoraInfo(movie, &info);
    EXPECT_DOUBLE_EQ(info.frameRate, 12.5);
    EXPECT_EQ(info.totalFrames, 10);
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_EQ(GetTheoraImage(movie)->width, 64);
    EXPECT_EQ(GetTheoraCurrentFrame(movie), 0);
    // One page a frame; key frames every fourth frame.
    ASSERT_EQ(movie->pageCount, 10);
    EXPECT_EQ(movie->pageIndex[0].offset, 0);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(movie->pageIndex[i].firstFrame, i);
        EXPECT_EQ(movie->pageIndex[i].count, 1);
        EXPECT_EQ(movie->keyFrames[i], i % 4 == 0 ? 1 : 0) << i;  // group starts only
        EXPECT_EQ(movie->pageIndex[i].key, movie->keyFrames[i]);
        if (i > 0) {
            EXPECT_GT(movie->pageIndex[i].offset, movie->pageIndex[i - 1].offset);
        }
    }
    // Without a device there is no YUV surface; frame 0 is in the image from the open.
    EXPECT_EQ(GetTheoraYuvSurface(movie), nullptr);
    EXPECT_EQ(UpdateTheoraFrame(movie, 1, 1), 0);
    movie->imageCurrent.store(0);
    ExpectFrame(movie, spec.frames[0], "frame 0");
    Close(movie);
}

TEST_F(TheoraTest, SeeksAndStepsAcrossTheEndWithAWrappingStock) {
    MovieSpec spec;
    spec.frames = TenColours();
    spec.framesPerPage = 3;
    TheoraMovie* movie = Open(Write("steps.ogv", EncodeMovie(spec)), 4);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->pageCount, 4);
    // Step through every frame, then across the end to the start.
    for (int i = 1; i < 13; ++i) {
        AdvanceTheoraFrame(movie, 1);
        EXPECT_EQ(GetTheoraCurrentFrame(movie), i % 10);
        ExpectFrame(movie, spec.frames[i % 10], "step " + std::to_string(i));
    }
    // Seeks to a non-key frame, to the same frame (nothing to do) and below 0.
    SeekTheoraFrame(movie, 6);
    EXPECT_EQ(movie->imageCurrent.load(), 0);
    ExpectFrame(movie, spec.frames[6], "seek 6");
    SeekTheoraFrame(movie, 6);
    EXPECT_EQ(movie->imageCurrent.load(), 1);
    SeekTheoraFrame(movie, -5);
    EXPECT_EQ(GetTheoraCurrentFrame(movie), 0);
    ExpectFrame(movie, spec.frames[0], "seek -5");
    // A seek past the end stops at the last frame and the player goes on working.
    SeekTheoraFrame(movie, 50);
    EXPECT_EQ(GetTheoraCurrentFrame(movie), 9);
    ExpectFrame(movie, spec.frames[9], "seek 50");
    // A jump of several frames, and one of more than the whole movie.
    AdvanceTheoraFrame(movie, 7);
    ExpectFrame(movie, spec.frames[6], "jump 7");
    AdvanceTheoraFrame(movie, 0);
    AdvanceTheoraFrame(movie, -3);
    EXPECT_EQ(GetTheoraCurrentFrame(movie), 6);
    AdvanceTheoraFrame(movie, 25);
    EXPECT_EQ(GetTheoraCurrentFrame(movie), 1);
    ExpectFrame(movie, spec.frames[1], "jump 25");
    Close(movie);
}

TEST_F(TheoraTest, BackToBackSeeksEndOnTheLastRequestedFrame) {
    MovieSpec spec;
    spec.frames = TenColours();
    TheoraMovie* movie = Open(Write("seeks.ogv", EncodeMovie(spec)), 4);
    ASSERT_NE(movie, nullptr);
    // A second seek can arrive while the decode thread is taking up the first one.
    for (int round = 0; round < 300; ++round) {
        const int first = round % 10, second = (round * 7 + 3) % 10;
        SeekTheoraFrame(movie, first);
        SeekTheoraFrame(movie, second);
        ExpectFrame(movie, spec.frames[second], "round " + std::to_string(round));
        if (HasFailure()) break;
    }
    Close(movie);
}

TEST_F(TheoraTest, TheStockKeepsTheWindowAheadOfTheCurrentFrame) {
    MovieSpec spec;
    spec.frames = TenColours();
    TheoraMovie* movie = Open(Write("stock.ogv", EncodeMovie(spec)), 4);
    ASSERT_NE(movie, nullptr);
    SeekTheoraFrame(movie, 8);
    ExpectFrame(movie, spec.frames[8], "seek 8");
    // The stock fills to 8, 9 and the wrapped 0, 1.
    for (int wait = 0; wait < 2000 && movie->state.load() != kTheoraStockFull; ++wait) usleep(1000);
    ASSERT_EQ(movie->state.load(), kTheoraStockFull);
    std::vector<int> frames;
    for (int i = 0; i < movie->stockCount; ++i)
        if (movie->stock[i].valid.load()) frames.push_back(movie->stock[i].frame.load());
    std::sort(frames.begin(), frames.end());
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 8, 9}));
    Close(movie);
}

TEST_F(TheoraTest, RefusesWhatIsNoTheoraMovie) {
    MovieSpec soundOnly;
    soundOnly.theora = false;
    soundOnly.vorbis = true;
    EXPECT_EQ(Open(Write("sound.ogg", EncodeMovie(soundOnly))), nullptr);
    EXPECT_EQ(Open(Write("text.ogv", {'n', 'o', 't', ' ', 'o', 'g', 'g'})), nullptr);
    EXPECT_EQ(Open(Write("short.ogv", {'O', 'g'})), nullptr);
    EXPECT_EQ(Open(Write("empty.ogv", {})), nullptr);

    MovieSpec spec;
    spec.frames = TenColours();
    std::vector<uint8_t> whole = EncodeMovie(spec);
    // Cut inside the header pages: fewer than three headers.
    size_t headers = EncodeMovie(MovieSpec{}).size();
    for (size_t cut : {size_t{4}, size_t{30}, size_t{80}, size_t{200}, headers - 10}) {
        std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut));
        EXPECT_EQ(Open(Write("cut.ogv", part)), nullptr) << cut;
    }
    // Headers only: no frame to show.
    MovieSpec none;
    EXPECT_EQ(Open(Write("noframes.ogv", EncodeMovie(none))), nullptr);
}

// A damaged page whose claimed length reaches over all the frame pages, just short of the end
// of the file: its check fails only once the whole file is read, and the pages it seemed to
// hold are still there to play.
TEST_F(TheoraTest, PagesBehindADamagedPageAtTheFileEndPlay) {
    MovieSpec spec;
    spec.frames = TenColours();
    spec.framesPerPage = 3;
    std::vector<uint8_t> whole = EncodeMovie(spec);
    const size_t headers = EncodeMovie(MovieSpec{}).size();
    ASSERT_LT(whole.size() - headers, 255u * 255u);
    TheoraMovie* movie = Open(Write("damaged-page.ogv", BehindDamagedPage(whole, headers)), 4);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->totalFrames, 10);
    movie->imageCurrent.store(0);  // brought once by the open
    ExpectFrame(movie, spec.frames[0], "frame 0");
    for (int i = 1; i < 10; ++i) {
        AdvanceTheoraFrame(movie, 1);
        ExpectFrame(movie, spec.frames[i], "step " + std::to_string(i));
    }
    SeekTheoraFrame(movie, 5);
    ExpectFrame(movie, spec.frames[5], "seek 5");
    Close(movie);
}

// A movie whose first packet is empty: the decoder has no picture for frame 0, so nothing is
// shown for it (rather than whatever the decoder's unset picture would point at) and the frame
// is marked blank, which ends the display's wait for it; the frames after it play.
TEST_F(TheoraTest, AnEmptyFirstPacketShowsNothingUntilAFrameIsDecoded) {
    MovieSpec spec;
    spec.frames = TenColours();
    spec.frames.resize(5);
    spec.emptyFirst = true;
    TheoraMovie* movie = Open(Write("empty-first.ogv", EncodeMovie(spec)), 2);
    ASSERT_NE(movie, nullptr);
    ASSERT_EQ(movie->totalFrames, 6);
    EXPECT_EQ(movie->keyFrames[0], 0);
    EXPECT_EQ(movie->keyFrames[1], 1);
    EXPECT_EQ(movie->imageCurrent.load(), 0);
    EXPECT_EQ(movie->blankFrame.load(), 0);
    EXPECT_EQ(UpdateTheoraFrame(movie, 1, 0), 0);
    for (int i = 0; i < movie->stockCount; ++i) EXPECT_EQ(movie->stock[i].valid.load(), 0);
    for (int i = 1; i < 6; ++i) {
        AdvanceTheoraFrame(movie, 1);
        ExpectFrame(movie, spec.frames[static_cast<size_t>(i - 1)], "frame " + std::to_string(i));
    }
    EXPECT_EQ(movie->blankFrame.load(), -1);
    Close(movie);
}

TEST_F(TheoraTest, DamagedDataPlaysWhatIsThere) {
    MovieSpec spec;
    spec.frames = TenColours();
    std::vector<uint8_t> whole = EncodeMovie(spec);
    size_t headers = EncodeMovie(MovieSpec{}).size();
    ASSERT_LT(headers, whole.size());
    // Cut in the middle of the frames: the frames that are whole are shown.
    std::vector<uint8_t> half(whole.begin(),
                              whole.begin() + static_cast<ptrdiff_t>((headers + whole.size()) / 2));
    TheoraMovie* movie = Open(Write("half.ogv", half));
    ASSERT_NE(movie, nullptr);
    TheoraInfo info{};
    GetTheoraInfo(movie, &info);
    EXPECT_GT(info.totalFrames, 0);
    EXPECT_LT(info.totalFrames, 10);
    for (int i = 0; i < 2 * info.totalFrames; ++i) {
        UpdateTheoraFrame(movie, 1, 0);
        AdvanceTheoraFrame(movie, 1);
    }
    Close(movie);

    // Garbage over the frame data: no crash, frames come out or the wait ends.
    std::vector<uint8_t> noisy = whole;
    uint32_t seed = 12345;
    for (size_t i = headers; i < noisy.size(); i += 7) {
        seed = seed * 1103515245u + 12345u;
        noisy[i] = static_cast<uint8_t>(seed >> 16);
    }
    movie = Open(Write("noisy.ogv", noisy));
    if (movie != nullptr) {
        for (int i = 0; i < 12; ++i) {
            UpdateTheoraFrame(movie, 1, 0);
            AdvanceTheoraFrame(movie, 3);
        }
        SeekTheoraFrame(movie, 5);
        UpdateTheoraFrame(movie, 1, 0);
        Close(movie);
    }
}

}  // namespace
