// Ogg Theora (and Vorbis) files made by the tests themselves: flat frames of known colours.
#pragma once

#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One frame: the top half's Y, Cb and Cr, the bottom half's Y (same chroma), and an 8 x 8
// mark of Y 235 at (markX, 8) when markX is not negative.
struct FlatFrame {
    uint8_t y, cb, cr, yBottom;
    int markX = -1;
};
constexpr int kMarkY = 8;

struct MovieSpec {
    int width = 64, height = 48;  // the picture's size
    int picX = 0, picY = 0;       // its offset in the coded frame, made of 16 x 16 blocks
    int fpsNumerator = 10, fpsDenominator = 1;
    std::vector<FlatFrame> frames;
    int keyInterval = 4;        // a key frame every so many frames
    int framesPerPage = 1;      // video pages are flushed after so many frames
    bool vorbis = false;        // add a second of stereo sound
    bool theora = true;
    bool emptyFirst = false;    // an empty packet (a repeat of no frame) ahead of the frames
};

namespace movie_files {

inline void AppendPage(std::vector<uint8_t>* out, const ogg_page& page) {
    out->insert(out->end(), page.header, page.header + page.header_len);
    out->insert(out->end(), page.body, page.body + page.body_len);
}

inline void FlushAll(std::vector<uint8_t>* out, ogg_stream_state* stream) {
    ogg_page page;
    while (ogg_stream_flush(stream, &page) > 0) AppendPage(out, page);
}

// Vorbis headers (first page alone) and the data pages of one second of a 440 Hz tone.
struct VorbisTrack {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;

    void Begin(std::vector<uint8_t>* out) {
        vorbis_info_init(&info);
        vorbis_encode_init_vbr(&info, 2, 44100, 0.1f);
        vorbis_comment_init(&comment);
        vorbis_analysis_init(&dsp, &info);
        vorbis_block_init(&dsp, &block);
        ogg_stream_init(&stream, 2);
        ogg_packet first, commentPacket, code;
        vorbis_analysis_headerout(&dsp, &comment, &first, &commentPacket, &code);
        ogg_stream_packetin(&stream, &first);
        FlushAll(out, &stream);
        ogg_stream_packetin(&stream, &commentPacket);
        ogg_stream_packetin(&stream, &code);
    }
    void Headers(std::vector<uint8_t>* out) { FlushAll(out, &stream); }
    void Data(std::vector<uint8_t>* out) {
        const int total = 44100;
        for (int done = 0; done <= total; done += 4096) {
            int n = total - done < 4096 ? total - done : 4096;
            if (n > 0) {
                float** buffer = vorbis_analysis_buffer(&dsp, n);
                for (int i = 0; i < n; ++i) {
                    float s = 0.25f * std::sin(2.0f * 3.14159265f * 440.0f * (done + i) / 44100);
                    buffer[0][i] = buffer[1][i] = s;
                }
            }
            vorbis_analysis_wrote(&dsp, n);
            while (vorbis_analysis_blockout(&dsp, &block) == 1) {
                vorbis_analysis(&block, nullptr);
                vorbis_bitrate_addblock(&block);
                ogg_packet packet;
                while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                    ogg_stream_packetin(&stream, &packet);
                    ogg_page page;
                    while (ogg_stream_pageout(&stream, &page) > 0) AppendPage(out, page);
                }
            }
            if (n == 0) break;
        }
        FlushAll(out, &stream);
    }
    void End() {
        ogg_stream_clear(&stream);
        vorbis_block_clear(&block);
        vorbis_dsp_clear(&dsp);
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
};

}  // namespace movie_files

// The bytes of an Ogg file holding the described movie's frames (and sound, when asked).
inline std::vector<uint8_t> EncodeMovie(const MovieSpec& spec) {
    using namespace movie_files;
    std::vector<uint8_t> out;
    th_info info;
    th_info_init(&info);
    info.frame_width = static_cast<ogg_uint32_t>((spec.picX + spec.width + 15) & ~15);
    info.frame_height = static_cast<ogg_uint32_t>((spec.picY + spec.height + 15) & ~15);
    info.pic_width = static_cast<ogg_uint32_t>(spec.width);
    info.pic_height = static_cast<ogg_uint32_t>(spec.height);
    info.pic_x = static_cast<ogg_uint32_t>(spec.picX);
    info.pic_y = static_cast<ogg_uint32_t>(spec.picY);
    info.colorspace = TH_CS_UNSPECIFIED;
    info.pixel_fmt = TH_PF_420;
    info.fps_numerator = static_cast<ogg_uint32_t>(spec.fpsNumerator);
    info.fps_denominator = static_cast<ogg_uint32_t>(spec.fpsDenominator);
    info.aspect_numerator = info.aspect_denominator = 1;
    info.quality = 63;
    info.keyframe_granule_shift = 6;
    th_enc_ctx* encoder = spec.theora ? th_encode_alloc(&info) : nullptr;
    ogg_stream_state video;
    ogg_stream_init(&video, 1);
    th_comment comment;
    th_comment_init(&comment);
    VorbisTrack sound{};

    if (encoder != nullptr) {
        ogg_uint32_t interval = static_cast<ogg_uint32_t>(spec.keyInterval);
        th_encode_ctl(encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof interval);
        ogg_packet packet;
        bool first = true;
        while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
            ogg_stream_packetin(&video, &packet);
            if (first) {
                FlushAll(&out, &video);  // the stream's first page holds its first header alone
                if (spec.vorbis) sound.Begin(&out);
                first = false;
            }
        }
        FlushAll(&out, &video);
    } else if (spec.vorbis) {
        sound.Begin(&out);
    }
    if (spec.vorbis) sound.Headers(&out);

    if (encoder != nullptr) {
        int w = static_cast<int>(info.frame_width), h = static_cast<int>(info.frame_height);
        std::vector<uint8_t> y(static_cast<size_t>(w * h)), cb(static_cast<size_t>(w * h / 4)),
            cr(static_cast<size_t>(w * h / 4));
        if (spec.emptyFirst) {
            unsigned char none = 0;
            ogg_packet empty{};
            empty.packet = &none;
            ogg_stream_packetin(&video, &empty);
        }
        for (size_t i = 0; i < spec.frames.size(); ++i) {
            const FlatFrame& f = spec.frames[i];
            for (int row = 0; row < h; ++row)
                for (int x = 0; x < w; ++x) {
                    const int px = x - spec.picX, py = row - spec.picY;  // in the picture
                    y[static_cast<size_t>(row * w + x)] =
                        f.markX >= 0 && px >= f.markX && px < f.markX + 8 && py >= kMarkY &&
                                py < kMarkY + 8
                            ? 235
                            : py < spec.height / 2 ? f.y : f.yBottom;
                }
            std::fill(cb.begin(), cb.end(), f.cb);
            std::fill(cr.begin(), cr.end(), f.cr);
            th_ycbcr_buffer planes;
            planes[0] = {w, h, w, y.data()};
            planes[1] = {w / 2, h / 2, w / 2, cb.data()};
            planes[2] = {w / 2, h / 2, w / 2, cr.data()};
            th_encode_ycbcr_in(encoder, planes);
            ogg_packet packet;
            bool last = i + 1 == spec.frames.size();
            while (th_encode_packetout(encoder, last ? 1 : 0, &packet) > 0)
                ogg_stream_packetin(&video, &packet);
            if ((i + 1) % static_cast<size_t>(spec.framesPerPage) == 0 || last)
                FlushAll(&out, &video);
        }
        th_encode_free(encoder);
    }
    if (spec.vorbis) {
        sound.Data(&out);
        sound.End();
    }
    ogg_stream_clear(&video);
    th_comment_clear(&comment);
    th_info_clear(&info);
    return out;
}

// The movie with a damaged page put between its header pages (the first headerBytes) and its
// frame pages: the page claims all the frame pages as its body and fails its check, so only a
// reader that looks again inside it, after the whole file is read, finds the frames. A few
// bytes that are no page follow.
inline std::vector<uint8_t> BehindDamagedPage(const std::vector<uint8_t>& movie,
                                              size_t headerBytes) {
    const size_t data = movie.size() - headerBytes;
    std::vector<uint8_t> out(movie.begin(), movie.begin() + static_cast<ptrdiff_t>(headerBytes));
    const uint8_t page[26] = {'O', 'g', 'g', 'S', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};  // serial 2, check 0
    out.insert(out.end(), page, page + 26);
    out.push_back(static_cast<uint8_t>((data + 254) / 255));
    for (size_t left = data; left > 0; left -= left < 255 ? left : 255)
        out.push_back(static_cast<uint8_t>(left < 255 ? left : 255));
    out.insert(out.end(), movie.begin() + static_cast<ptrdiff_t>(headerBytes), movie.end());
    out.insert(out.end(), 16, 0x5A);
    return out;
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// RGB of a flat YCbCr colour by the player's own fixed-point formula.
struct Rgb8 {
    int r, g, b;
};
inline Rgb8 ExpectedRgb(int y, int cb, int cr) {
    auto clip = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    int yy = 19070 * (y - 16);
    return {clip((yy + 26148 * (cr - 128)) / 16384),
            clip((yy - 6406 * (cb - 128) - 13320 * (cr - 128)) / 16384),
            clip((yy + 33062 * (cb - 128)) / 16384)};
}

// Ten frames in three colour groups (frames 0-3, 4-7, 8-9) with a brighter bottom half; the
// mark steps right within a group, so only group starts need to be key frames.
inline std::vector<FlatFrame> TenColours() {
    std::vector<FlatFrame> frames;
    for (int i = 0; i < 10; ++i) {
        int group = i / 4;
        frames.push_back({static_cast<uint8_t>(50 + 40 * group),
                          static_cast<uint8_t>(90 + 30 * group),
                          static_cast<uint8_t>(200 - 40 * group),
                          static_cast<uint8_t>(200 - 30 * group), 16 + 8 * (i % 4)});
    }
    return frames;
}
