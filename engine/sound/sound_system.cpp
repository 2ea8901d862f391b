// Sound system start and end: the device, the primary and silent buffers, the sound lock,
// the stream refill thread and the device report in the log.
#include "core/core_services.h"
#include "platform/com/com_classes.h"
#include "platform/user/user.h"
#include "sound/sound_internal.h"
#include "sound/sound_services.h"

SoundSystemState g_SoundSystem;
WaveCaptureState g_WaveCapture;

namespace {

const char* YesNo(V_DWORD flags, V_DWORD bit) { return (flags & bit) ? "OK" : "NO"; }

V_BOOL OnSoundDeviceEnum(V_GUID*, const char* description, const char* module, void*) {
    WriteLogFormat("モジュール名:%15s  ドライバ記述:%s ", module, description);
    return 1;
}

void ReleaseAndClear(V_IDirectSoundBuffer*& buffer) {
    if (buffer == nullptr) return;
    buffer->Stop();
    buffer->Release();
    buffer = nullptr;
}

// Fails the start: the device object is released and the system stays stopped.
int FailStart(const char* message) {
    WriteLog(message);
    g_SoundSystem.directSound->Release();
    g_SoundSystem.directSound = nullptr;
    return -1;
}

void CreateSilentBuffer() {
    SoundSystemState& s = g_SoundSystem;
    V_WAVEFORMATEX format = {V_WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    V_DSBUFFERDESC description{};
    description.dwSize = sizeof(description);
    description.dwFlags = V_DSBCAPS_STATIC | V_DSBCAPS_GLOBALFOCUS;
    description.dwBufferBytes = 400;
    description.lpwfxFormat = &format;
    if (V_FAILED(s.directSound->CreateSoundBuffer(&description, &s.silentBuffer, nullptr))) {
        WriteLog("無音バッファの作成に失敗しました");
        s.silentBuffer = nullptr;
        return;
    }
    void* part1 = nullptr;
    void* part2 = nullptr;
    V_DWORD length1 = 0, length2 = 0;
    if (V_FAILED(s.silentBuffer->Lock(0, 400, &part1, &length1, &part2, &length2, 0))) {
        WriteLog("無音バッファのロックに失敗しました");
        s.silentBuffer->Release();
        s.silentBuffer = nullptr;
        return;
    }
    FillBytes(part1, 0, length1);
    if (part2) FillBytes(part2, 0, length2);
    s.silentBuffer->Unlock(part1, length1, part2, length2);
    s.silentBuffer->Play(0, 0, V_DSBPLAY_LOOPING);
}

void ReportSoundDevice() {
    IncreaseLogIndent();
    V_DSCAPS caps{};
    caps.dwSize = sizeof(caps);
    g_SoundSystem.directSound->GetCaps(&caps);
    WriteLog("DirectSound デバイスを列挙します\n");
    IncreaseLogIndent();
    V_HMODULE library = V_LoadLibraryA("DSOUND.DLL");
    if (library == nullptr) {
        WriteLog("DSOUND.DLL のロードに失敗しました\n");
        DecreaseLogIndent();
        DecreaseLogIndent();
        return;
    }
    auto enumerate =
        reinterpret_cast<V_HRESULT (*)(V_LPDSENUMCALLBACKA, void*)>(
            V_GetProcAddress(library, "DirectSoundEnumerateA"));
    if (enumerate == nullptr) {
        V_FreeLibrary(library);
        WriteLog("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
        DecreaseLogIndent();
        DecreaseLogIndent();
        return;
    }
    enumerate(&OnSoundDeviceEnum, nullptr);
    DecreaseLogIndent();
    WriteLogFormat("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                   caps.dwMaxSecondarySampleRate / 1000.0, caps.dwMinSecondarySampleRate / 1000.0);
    WriteLogFormat("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n",
                   caps.dwTotalHwMemBytes / 1024.0, caps.dwFreeHwMemBytes / 1024.0);
    WriteLog("利用可能サンプリング精度\n");
    WriteLogFormat(" プライマリ １６bit = %s  ８bit = %s ", YesNo(caps.dwFlags, 0x8),
                   YesNo(caps.dwFlags, 0x4));
    WriteLogFormat(" セカンダリ １６bit = %s  ８bit = %s \n", YesNo(caps.dwFlags, 0x800),
                   YesNo(caps.dwFlags, 0x400));
    WriteLog("利用可能チャンネル\n");
    WriteLogFormat(" プライマリ MONO = %s  STEREO = %s ", YesNo(caps.dwFlags, 0x1),
                   YesNo(caps.dwFlags, 0x2));
    WriteLogFormat(" セカンダリ MONO = %s  STEREO = %s \n", YesNo(caps.dwFlags, 0x100),
                   YesNo(caps.dwFlags, 0x200));
    DecreaseLogIndent();
    V_FreeLibrary(library);
}

}  // namespace

void EnterSoundLock() {
    V_EnterCriticalSection(&g_SoundSystem.lock);
    g_SoundSystem.lockOwner.store(V_GetCurrentThreadId(), std::memory_order_relaxed);
    ++g_SoundSystem.lockDepth;
}

void LeaveSoundLock() {
    if (--g_SoundSystem.lockDepth == 0) g_SoundSystem.lockOwner.store(0, std::memory_order_relaxed);
    V_LeaveCriticalSection(&g_SoundSystem.lock);
}

bool SoundLockHeldByCaller() {
    return g_SoundSystem.lockOwner.load(std::memory_order_relaxed) == V_GetCurrentThreadId();
}

int InitializeSoundSystem() {
    SoundSystemState& s = g_SoundSystem;
    if (s.directSound != nullptr) return -1;
    V_InitializeCriticalSection(&s.lock);
    s.lockOwner = 0;
    s.lockDepth = 0;
    WriteLog("DirectSound の初期化を行います\n");
    WriteLog("DirectSound インターフェースの取得を行います....  ");
    void* object = nullptr;
    if (V_FAILED(V_CoCreateInstance(V_CLSID_DirectSound, nullptr, V_CLSCTX_ALL,
                                    V_IID_IDirectSound, &object))) {
        WriteLog("DirectSoundインターフェースの作成に失敗しました\n");
        s.directSound = nullptr;
        return -1;
    }
    s.directSound = static_cast<V_IDirectSound*>(object);
    WriteLog("成功\n");
    WriteLog("引き続きインターフェースの初期化処理...  ");
    if (s.directSound->Initialize(nullptr) < 0) return FailStart("初期化に失敗しました\n");
    WriteLog("成功\n");
    if (V_FAILED(s.directSound->SetCooperativeLevel(V_GetDesktopWindow(), V_DSSCL_PRIORITY)))
        return FailStart("DirectSoundの協調レベルの設定に失敗しました\n");

    V_DSBUFFERDESC primary{};
    primary.dwSize = sizeof(primary);
    primary.dwFlags = V_DSBCAPS_PRIMARYBUFFER;
    if (V_FAILED(s.directSound->CreateSoundBuffer(&primary, &s.primaryBuffer, nullptr)))
        return FailStart("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");

    V_DSCAPS caps{};
    caps.dwSize = sizeof(caps);
    s.directSound->GetCaps(&caps);
    V_WAVEFORMATEX format{};
    format.wFormatTag = V_WAVE_FORMAT_PCM;
    format.nChannels = (caps.dwFlags & V_DSCAPS_PRIMARYSTEREO) ? 2 : 1;
    format.wBitsPerSample = (caps.dwFlags & V_DSCAPS_PRIMARY16BIT) ? 16 : 8;
    format.nSamplesPerSec = caps.dwMaxSecondarySampleRate < 44100 ? caps.dwMaxSecondarySampleRate
                                                                   : 44100;
    format.nBlockAlign = static_cast<V_WORD>(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    if (V_FAILED(s.primaryBuffer->SetFormat(&format)))
        WriteLog("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");

    CreateSilentBuffer();
    s.createType = kSoundCreateNormal;
    s.oggSampleWidth = 2;
    InitList(&s.streamHead, &s.streamTail);
    ReportSoundDevice();
    DeleteAllSounds(0);

    s.stopFlag = 0;
    s.thread = V_CreateThread(nullptr, 0, &SoundStreamThread, nullptr, V_CREATE_SUSPENDED,
                              &s.threadId);
    if (s.thread != nullptr) {
        V_SetThreadPriority(s.thread, V_THREAD_PRIORITY_TIME_CRITICAL);
        V_ResumeThread(s.thread);
    } else {
        s.stopFlag = 2;  // no thread: the end has nothing to wait for
    }
    WriteLog("DirectSound の初期化は正常に終了しました\n");
    return 0;
}

V_DWORD SoundStreamThread(void*) {
    SoundSystemState& s = g_SoundSystem;
    while (s.stopFlag.load() != 1) {
        // The lock is only tried, so that a stop request is seen even while another thread
        // holds the lock for a long time (or for good, in a fatal exit inside a sound call).
        if (V_TryEnterCriticalSection(&s.lock)) {
            s.lockOwner.store(V_GetCurrentThreadId(), std::memory_order_relaxed);
            ++s.lockDepth;
            if (s.directSound != nullptr) {
                for (ListNode* node = s.streamHead.next; node != nullptr && node->next != nullptr;
                     node = node->next) {
                    auto* record = static_cast<SoundRecord*>(node->data);
                    if (record->active) RefillStreamSound(node->value);
                }
            }
            LeaveSoundLock();
            V_Sleep(30);
        } else {
            V_Sleep(1);
        }
    }
    s.stopFlag = 2;
    return 0;
}

int TerminateSoundSystem() {
    SoundSystemState& s = g_SoundSystem;
    if (s.directSound == nullptr) return -1;
    // Always wait for the thread: it never blocks on the lock, so it stops within one pass
    // even when this thread holds the lock.
    if (s.stopFlag.load() != 2) {
        s.stopFlag = 1;
        while (s.stopFlag.load() == 1) {
            V_Sleep(2);
            if (!SoundLockHeldByCaller()) ProcessMessage();
        }
    }
    if (s.thread != nullptr) {
        V_WaitForSingleObject(s.thread, V_INFINITE);
        V_CloseHandle(s.thread);
        s.thread = nullptr;
    }
    FinishWaveCapture();
    DeleteAllSounds(0);
    DeleteAllMidiHandles();
    // Ending from inside a sound call (a fatal exit) never returns to that call: give the
    // lock up before it goes.
    while (SoundLockHeldByCaller()) LeaveSoundLock();
    V_DeleteCriticalSection(&s.lock);
    ReleaseAndClear(s.primaryBuffer);
    ReleaseAndClear(s.silentBuffer);
    s.directSound->Release();
    s.directSound = nullptr;
    WriteLog("DirectSound の終了処理は正常に終了しました\n");
    return 0;
}
