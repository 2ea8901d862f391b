// Stand-in for the sound device interfaces: the device object, primary and secondary
// buffers, and the device enumeration. Secondary buffers are rings of bytes that our own
// mixer plays in the audio device's callback (dsound_mixer.cpp).
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "platform/winmm/winmm.h"

constexpr V_GUID V_CLSID_DirectSound = {0x47D4D946, 0x62E8, 0x11CF,
                                        {0x93, 0xBC, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr V_GUID V_IID_IDirectSound = {0x279AFA83, 0x4981, 0x11CE,
                                       {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};

// Result codes.
constexpr V_HRESULT V_DSERR_ALLOCATED = static_cast<V_HRESULT>(0x8878000Au);
constexpr V_HRESULT V_DSERR_CONTROLUNAVAIL = static_cast<V_HRESULT>(0x8878001Eu);
constexpr V_HRESULT V_DSERR_INVALIDPARAM = V_E_INVALIDARG;
constexpr V_HRESULT V_DSERR_INVALIDCALL = static_cast<V_HRESULT>(0x88780032u);
constexpr V_HRESULT V_DSERR_BADFORMAT = static_cast<V_HRESULT>(0x88780064u);
constexpr V_HRESULT V_DSERR_NODRIVER = static_cast<V_HRESULT>(0x88780078u);
constexpr V_HRESULT V_DSERR_ALREADYINITIALIZED = static_cast<V_HRESULT>(0x887800AAu);
constexpr V_HRESULT V_DSERR_UNINITIALIZED = static_cast<V_HRESULT>(0x887800C8u);
constexpr V_HRESULT V_DSERR_OUTOFMEMORY = V_E_OUTOFMEMORY;

// Buffer capability flags.
constexpr V_DWORD V_DSBCAPS_PRIMARYBUFFER = 0x1;
constexpr V_DWORD V_DSBCAPS_STATIC = 0x2;
constexpr V_DWORD V_DSBCAPS_LOCSOFTWARE = 0x8;
constexpr V_DWORD V_DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr V_DWORD V_DSBCAPS_CTRLPAN = 0x40;
constexpr V_DWORD V_DSBCAPS_CTRLVOLUME = 0x80;
constexpr V_DWORD V_DSBCAPS_GLOBALFOCUS = 0x8000;
constexpr V_DWORD V_DSBCAPS_GETCURRENTPOSITION2 = 0x10000;

// Device capability flags.
constexpr V_DWORD V_DSCAPS_PRIMARYMONO = 0x1;
constexpr V_DWORD V_DSCAPS_PRIMARYSTEREO = 0x2;
constexpr V_DWORD V_DSCAPS_PRIMARY8BIT = 0x4;
constexpr V_DWORD V_DSCAPS_PRIMARY16BIT = 0x8;
constexpr V_DWORD V_DSCAPS_CONTINUOUSRATE = 0x10;
constexpr V_DWORD V_DSCAPS_EMULDRIVER = 0x20;
constexpr V_DWORD V_DSCAPS_SECONDARYMONO = 0x100;
constexpr V_DWORD V_DSCAPS_SECONDARYSTEREO = 0x200;
constexpr V_DWORD V_DSCAPS_SECONDARY8BIT = 0x400;
constexpr V_DWORD V_DSCAPS_SECONDARY16BIT = 0x800;

constexpr V_DWORD V_DSBPLAY_LOOPING = 0x1;
constexpr V_DWORD V_DSBSTATUS_PLAYING = 0x1;
constexpr V_DWORD V_DSBSTATUS_LOOPING = 0x4;
constexpr V_DWORD V_DSSCL_NORMAL = 1;
constexpr V_DWORD V_DSSCL_PRIORITY = 2;
constexpr V_LONG V_DSBVOLUME_MIN = -10000;
constexpr V_LONG V_DSBVOLUME_MAX = 0;
constexpr V_LONG V_DSBPAN_LEFT = -10000;
constexpr V_LONG V_DSBPAN_RIGHT = 10000;
constexpr V_DWORD V_DSBFREQUENCY_ORIGINAL = 0;
constexpr V_DWORD V_DSBFREQUENCY_MIN = 100;
constexpr V_DWORD V_DSBFREQUENCY_MAX = 200000;
constexpr V_DWORD V_DSBSIZE_MIN = 4;
constexpr V_DWORD V_DSBSIZE_MAX = 0x0FFFFFFF;

// Device capabilities: 24 double words.
struct V_DSCAPS {
    V_DWORD dwSize;
    V_DWORD dwFlags;
    V_DWORD dwMinSecondarySampleRate;
    V_DWORD dwMaxSecondarySampleRate;
    V_DWORD dwPrimaryBuffers;
    V_DWORD dwMaxHwMixingAllBuffers;
    V_DWORD dwMaxHwMixingStaticBuffers;
    V_DWORD dwMaxHwMixingStreamingBuffers;
    V_DWORD dwFreeHwMixingAllBuffers;
    V_DWORD dwFreeHwMixingStaticBuffers;
    V_DWORD dwFreeHwMixingStreamingBuffers;
    V_DWORD dwMaxHw3DAllBuffers;
    V_DWORD dwMaxHw3DStaticBuffers;
    V_DWORD dwMaxHw3DStreamingBuffers;
    V_DWORD dwFreeHw3DAllBuffers;
    V_DWORD dwFreeHw3DStaticBuffers;
    V_DWORD dwFreeHw3DStreamingBuffers;
    V_DWORD dwTotalHwMemBytes;
    V_DWORD dwFreeHwMemBytes;
    V_DWORD dwMaxContigFreeHwMemBytes;
    V_DWORD dwUnlockTransferRateHwBuffers;
    V_DWORD dwPlayCpuOverheadSwBuffers;
    V_DWORD dwReserved1;
    V_DWORD dwReserved2;
};
static_assert(sizeof(V_DSCAPS) == 96, "device capabilities are 96 bytes");

struct V_DSBUFFERDESC {
    V_DWORD dwSize;
    V_DWORD dwFlags;
    V_DWORD dwBufferBytes;
    V_DWORD dwReserved;
    V_WAVEFORMATEX* lpwfxFormat;
    V_GUID guid3DAlgorithm;
};

struct V_DSBCAPS {
    V_DWORD dwSize;
    V_DWORD dwFlags;
    V_DWORD dwBufferBytes;
    V_DWORD dwUnlockTransferRate;
    V_DWORD dwPlayCpuOverhead;
};

struct DSoundBufferState;

// A sound buffer. Primary buffers only take a format; secondary buffers play.
class V_IDirectSoundBuffer {
public:
    V_ULONG AddRef();
    V_ULONG Release();
    V_HRESULT GetCaps(V_DSBCAPS* caps);
    V_HRESULT GetCurrentPosition(V_DWORD* playCursor, V_DWORD* writeCursor);
    V_HRESULT GetFormat(V_WAVEFORMATEX* format, V_DWORD size, V_DWORD* written);
    V_HRESULT GetVolume(V_LONG* volume);
    V_HRESULT GetPan(V_LONG* pan);
    V_HRESULT GetFrequency(V_DWORD* frequency);
    V_HRESULT GetStatus(V_DWORD* status);
    V_HRESULT Lock(V_DWORD offset, V_DWORD bytes, void** part1, V_DWORD* length1, void** part2,
                   V_DWORD* length2, V_DWORD flags);
    V_HRESULT Play(V_DWORD reserved, V_DWORD priority, V_DWORD flags);
    V_HRESULT SetCurrentPosition(V_DWORD position);
    V_HRESULT SetFormat(const V_WAVEFORMATEX* format);
    V_HRESULT SetVolume(V_LONG volume);
    V_HRESULT SetPan(V_LONG pan);
    V_HRESULT SetFrequency(V_DWORD frequency);
    V_HRESULT Stop();
    V_HRESULT Unlock(void* part1, V_DWORD length1, void* part2, V_DWORD length2);

    explicit V_IDirectSoundBuffer(DSoundBufferState* state) : state_(state) {}
    DSoundBufferState* state_;
};

// The device object, made through the component service's class table.
class V_IDirectSound {
public:
    V_ULONG AddRef();
    V_ULONG Release();
    V_HRESULT Initialize(const V_GUID* device);
    V_HRESULT SetCooperativeLevel(V_HWND window, V_DWORD level);
    V_HRESULT GetCaps(V_DSCAPS* caps);
    V_HRESULT CreateSoundBuffer(const V_DSBUFFERDESC* description, V_IDirectSoundBuffer** buffer,
                                void* outer);
    V_HRESULT DuplicateSoundBuffer(V_IDirectSoundBuffer* original,
                                   V_IDirectSoundBuffer** duplicate);

    V_ULONG references_ = 1;
    int initialized_ = 0;
    int cooperativeLevel_ = 0;
};

// Creates an uninitialised device object (the class factory of V_CLSID_DirectSound).
V_HRESULT V_CreateDirectSoundObject(const V_GUID* interfaceId, void** object);

typedef V_BOOL (*V_LPDSENUMCALLBACKA)(V_GUID* guid, const char* description, const char* module,
                                     void* context);
// Reports the one output device this machine has.
V_HRESULT V_DirectSoundEnumerateA(V_LPDSENUMCALLBACKA callback, void* context);

// ---- The mixer behind the buffers ----

// Output format of the mixer: interleaved signed 16-bit stereo.
constexpr int kDSoundMixerRate = 44100;
constexpr int kDSoundMixerChannels = 2;

// With manual mixing on, no audio device is opened: the mixer runs only when a caller asks
// with V_DSoundMixerRender, so tests hear exactly what they advance. Set before Initialize.
void V_DSoundMixerSetManual(int manual);
// Mixes the next frames (stereo sample pairs) of output into `output`, advancing every
// playing buffer as the audio device would.
void V_DSoundMixerRender(int16_t* output, int frames);
// Buffers whose creation flags include any of these bits are refused, as a device without
// those abilities would; 0 restores the normal device.
void V_DSoundMixerRefuseFlags(V_DWORD flags);
// Number of secondary buffers alive (for leak checks).
int V_DSoundMixerBufferCount();
