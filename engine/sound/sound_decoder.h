// The decoder behind every sampled sound: reads a stream, hands out PCM in chunks.
#pragma once

#include <cstdint>

// The decoder keeps vorbisfile's state in place; its static callback sets are not used.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "core/core.h"
#include "platform/acm/acm.h"
#include "platform/winmm/winmm.h"

enum SoundDecoderKind : int32_t {
    kDecoderPcmWave = 0,
    kDecoderAcm = 1,
    kDecoderOggVorbis = 2,
    kDecoderMemoryPcm = 3,
};

// PCM of a whole file decoded at once (kind 3).
struct PcmGrowBuffer {
    uint8_t* data;
    uint32_t capacity;  // bytes
    uint32_t used;      // bytes
};

struct SoundDecoder {
    int32_t openFlag;
    int32_t endFlag;
    int32_t kind;
    StreamHolder stream;  // the caller's stream; never closed here
    int32_t dataStart;
    int32_t dataSize;
    V_WAVEFORMATEX format;  // PCM output format
    // Compressed data (kind 1).
    V_WAVEFORMATEX* sourceFormat;
    V_HACMSTREAM mainStream;
    V_HACMSTREAM spareStream;
    uint8_t* compressedData;
    int32_t compressedSize;
    int32_t mainSourceOffset;
    int32_t totalSamples;  // -1 when unknown
    // Ogg Vorbis (kind 2). The file state points into itself and at `stream`: an open
    // decoder is never moved.
    int32_t vorbisOpen;
    OggVorbis_File vorbisFile;
    int32_t bytesPerSample;
    // PCM held in memory (kind 3), owned until the decoder is closed.
    PcmGrowBuffer pcm;
    int32_t pcmReadOffset;
    // Chunks handed out.
    uint8_t* outputBlock;
    int32_t chunkSize;
    int32_t chunkLeft;
    int32_t chunkOffset;
    int32_t position;  // PCM bytes handed out since the start of the data
};

int OpenSoundDecoder(const StreamHolder* stream, SoundDecoder* decoder);
int ReadSoundDecoder(SoundDecoder* decoder, void* buffer, int32_t bytes);
int SeekSoundDecoder(SoundDecoder* decoder, int32_t sample);
// The byte position that a seek to a sample leaves: sample × block, also beyond the data (the
// reads clamp), 0 for a negative sample, saturated at the largest position.
int32_t SeekTargetPosition(const SoundDecoder* decoder, int32_t sample);
int CloseSoundDecoder(SoundDecoder* decoder);
int GetSoundDecoderFormat(const SoundDecoder* decoder, V_WAVEFORMATEX* format);
int32_t GetSoundDecoderLength(SoundDecoder* decoder);
int DecodeWholeSound(SoundDecoder* decoder, V_WAVEFORMATEX* format, uint8_t** data,
                     int32_t* size);

// The WAVE probes and their steps.
int OpenPcmWaveDecoder(SoundDecoder* decoder);
int OpenAcmWaveDecoder(SoundDecoder* decoder);
int ReadPcmWaveChunk(SoundDecoder* decoder);
int ConvertAcmChunk(SoundDecoder* decoder);
int SeekPcmWaveDecoder(SoundDecoder* decoder, int32_t sample);
int SeekAcmDecoder(SoundDecoder* decoder, int32_t sample);
int CloseAcmDecoder(SoundDecoder* decoder);

// Ogg Vorbis through vorbisfile.
int OpenOggVorbisSound(SoundDecoder* decoder);
int DecodeOggVorbisChunk(SoundDecoder* decoder);
int SeekOggVorbisSound(SoundDecoder* decoder, int32_t sample);
int32_t GetOggVorbisLengthBytes(SoundDecoder* decoder);
int CloseOggVorbisSound(SoundDecoder* decoder);

// MPEG audio frames, converted by the kind-1 steps above.
struct Mp3FrameInfo {
    uint8_t layerIndex;  // 0 Layer I, 1 Layer II, 2 Layer III
    uint8_t version;     // 0 MPEG-1, 1 MPEG-2 (low sampling frequencies)
    uint8_t bitrateIndex;
    uint8_t rateIndex;
    uint8_t padding;
    uint8_t channels;
    uint32_t sampleRate;       // Hz
    uint32_t bitrate;          // kbit/s
    uint32_t frameLength;      // bytes, header included
    uint32_t samplesPerFrame;  // per channel
};
// 0 parsed; -2 no sync; -1 a reserved or free-format field.
int ParseMp3FrameHeader(const uint8_t header[4], Mp3FrameInfo* info);
int OpenMp3AcmDecoder(SoundDecoder* decoder);

// The last probe: the whole file converted at once through a streaming graph, then handed
// out from memory.
int ConvertMp3ToPcm(SoundDecoder* decoder);
int ReadMemoryPcmChunk(SoundDecoder* decoder);
int SeekMemoryPcm(SoundDecoder* decoder, int32_t sample);
void CloseMemoryPcm(SoundDecoder* decoder);

// Whole-file and whole-stream reading, and the in-memory RIFF/WAVE writer.
int BuildWaveFileImage(uint8_t** image, int32_t* imageSize, const void* format,
                       int32_t formatSize, const void* data, int32_t dataSize);
int FinishWaveCapture();
int LoadFileToMemory(const char* path, uint8_t** data, int32_t* size);
int ReadStreamToMemory(const StreamHolder* stream, uint8_t** data, int32_t* size);
