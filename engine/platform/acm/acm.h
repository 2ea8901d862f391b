// Stand-in for the audio compression manager: conversion of compressed WAVE data, of IEEE
// float samples and of integer PCM in the extensible wave record, to 16-bit PCM, done by the
// FFmpeg decoders (acm_stream.cpp).
#pragma once

#include "platform/types.h"
#include "platform/winmm/winmm.h"

typedef V_UINT V_MMRESULT;
typedef struct V_HACMSTREAM__* V_HACMSTREAM;
typedef struct V_HACMDRIVER__* V_HACMDRIVER;
typedef struct V_HACMOBJ__* V_HACMOBJ;

constexpr V_MMRESULT V_MMSYSERR_NOERROR = 0;
constexpr V_MMRESULT V_MMSYSERR_ERROR = 1;
constexpr V_MMRESULT V_MMSYSERR_INVALHANDLE = 5;
constexpr V_MMRESULT V_MMSYSERR_NOMEM = 7;
constexpr V_MMRESULT V_MMSYSERR_NOTSUPPORTED = 8;
constexpr V_MMRESULT V_MMSYSERR_INVALFLAG = 10;
constexpr V_MMRESULT V_MMSYSERR_INVALPARAM = 11;
constexpr V_MMRESULT V_ACMERR_NOTPOSSIBLE = 512;
constexpr V_MMRESULT V_ACMERR_UNPREPARED = 514;

constexpr V_DWORD V_ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr V_DWORD V_ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
constexpr V_DWORD V_ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
constexpr V_DWORD V_ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;
constexpr V_DWORD V_ACM_STREAMOPENF_NONREALTIME = 0x00000004;
constexpr V_DWORD V_ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
constexpr V_DWORD V_ACM_STREAMCONVERTF_START = 0x00000010;
constexpr V_DWORD V_ACM_STREAMCONVERTF_END = 0x00000020;
constexpr V_DWORD V_ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr V_DWORD V_ACM_STREAMSIZEF_DESTINATION = 0x00000001;
constexpr V_DWORD V_ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr V_DWORD V_ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
constexpr V_UINT V_ACM_METRIC_MAX_SIZE_FORMAT = 50;

// MPEG audio frames described as one format: the wave record and 12 bytes of its own.
constexpr V_WORD V_WAVE_FORMAT_MPEGLAYER3 = 0x0055;
constexpr V_WORD V_MPEGLAYER3_ID_MPEG = 1;
#pragma pack(push, 1)
struct V_MPEGLAYER3WAVEFORMAT {
    V_WAVEFORMATEX wfx;
    V_WORD wID;
    V_DWORD fdwFlags;
    V_WORD nBlockSize;
    V_WORD nFramesPerBlock;
    V_WORD nCodecDelay;
};
#pragma pack(pop)
static_assert(sizeof(V_MPEGLAYER3WAVEFORMAT) == 30, "the MPEG audio format is 30 bytes");

struct V_ACMSTREAMHEADER {
    V_DWORD cbStruct;
    V_DWORD fdwStatus;
    uintptr_t dwUser;
    uint8_t* pbSrc;
    V_DWORD cbSrcLength;
    V_DWORD cbSrcLengthUsed;
    uintptr_t dwSrcUser;
    uint8_t* pbDst;
    V_DWORD cbDstLength;
    V_DWORD cbDstLengthUsed;
    uintptr_t dwDstUser;
    V_DWORD dwReservedDriver[10];
};

// Answers the manager's metrics; only the largest format size of all converters is known.
V_MMRESULT V_acmMetrics(V_HACMOBJ object, V_UINT metric, void* value);
// Fills the PCM format the source converts to (same channels and rate, 16 bits).
V_MMRESULT V_acmFormatSuggest(V_HACMDRIVER driver, const V_WAVEFORMATEX* source,
                              V_WAVEFORMATEX* destination, V_DWORD destinationSize,
                              V_DWORD flags);
V_MMRESULT V_acmStreamOpen(V_HACMSTREAM* stream, V_HACMDRIVER driver,
                           const V_WAVEFORMATEX* source, const V_WAVEFORMATEX* destination,
                           void* filter, uintptr_t callback, uintptr_t instance, V_DWORD flags);
V_MMRESULT V_acmStreamClose(V_HACMSTREAM stream, V_DWORD flags);
// An upper bound of the output for `input` source bytes (or of the input for a destination).
V_MMRESULT V_acmStreamSize(V_HACMSTREAM stream, V_DWORD input, V_DWORD* output, V_DWORD flags);
V_MMRESULT V_acmStreamPrepareHeader(V_HACMSTREAM stream, V_ACMSTREAMHEADER* header,
                                    V_DWORD flags);
V_MMRESULT V_acmStreamUnprepareHeader(V_HACMSTREAM stream, V_ACMSTREAMHEADER* header,
                                      V_DWORD flags);
// Converts whole source blocks; output beyond the destination's room is kept for the next
// call, so a call gives no output only when the data has truly ended.
V_MMRESULT V_acmStreamConvert(V_HACMSTREAM stream, V_ACMSTREAMHEADER* header, V_DWORD flags);
