// The platform's audio renderer: plays PCM samples through a sound device object of its own
// (a looping one-second ring in the stream's format), takes the graph's volume and balance,
// and serves as the graph's clock, counted from the bytes the device has played.
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>

#include "platform/dshow/dshow_filter.h"
#include "platform/dsound/dsound.h"

namespace dshow {

namespace {

constexpr V_WCHAR kInputName[] = u"Audio Input pin (rendered)";
constexpr V_WCHAR kFilterName[] = u"Audio Renderer";
constexpr int kPollMilliseconds = 5;
constexpr int64_t kUnitsPerSecond = 10000000;

V_REFERENCE_TIME MonotonicTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<V_REFERENCE_TIME>(now.tv_sec) * kUnitsPerSecond + now.tv_nsec / 100;
}

bool IsPlayablePcm(const V_AM_MEDIA_TYPE* type) {
    if (type == nullptr || !TypeIs(type, V_MEDIATYPE_Audio, V_MEDIASUBTYPE_PCM) ||
        !(type->formattype == V_FORMAT_WaveFormatEx) || type->pbFormat == nullptr ||
        type->cbFormat < 16)
        return false;
    V_WAVEFORMATEX format{};
    std::memcpy(&format, type->pbFormat, 16);
    return format.wFormatTag == V_WAVE_FORMAT_PCM && format.nChannels >= 1 &&
           format.nChannels <= 2 && (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
           format.nSamplesPerSec >= V_DSBFREQUENCY_MIN &&
           format.nSamplesPerSec <= V_DSBFREQUENCY_MAX &&
           format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8;
}

class AudioRenderer : public StreamFilter, public V_IBasicAudio, public V_IReferenceClock {
public:
    AudioRenderer() : StreamFilter(V_GUID_NULL, kFilterName) {
        SetPins(new StreamPin(this, 0, V_PINDIR_INPUT, kInputName), nullptr);
    }

    ~AudioRenderer() override {
        Stop();
        ReleaseDevice();
    }

    // ---- IUnknown, shared by the filter, its audio controls and its clock
    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override {
        if (object == nullptr) return V_E_POINTER;
        if (iid == V_IID_IBasicAudio) {
            *object = static_cast<V_IBasicAudio*>(this);
        } else if (iid == V_IID_IReferenceClock) {
            *object = static_cast<V_IReferenceClock*>(this);
        } else {
            return StreamFilter::QueryInterface(iid, object);
        }
        AddRef();
        return V_S_OK;
    }
    V_ULONG AddRef() override { return StreamFilter::AddRef(); }
    V_ULONG Release() override { return StreamFilter::Release(); }

    // Being the graph's clock itself, it keeps no reference to itself.
    V_HRESULT SetSyncSource(V_IReferenceClock* clock) override {
        return StreamFilter::SetSyncSource(clock == static_cast<V_IReferenceClock*>(this) ? nullptr
                                                                                          : clock);
    }

    // ---- the input
    V_HRESULT CheckPinConnection(int, const V_AM_MEDIA_TYPE* type, V_IPin*) override {
        return IsPlayablePcm(type) ? V_S_OK : V_S_FALSE;
    }

    void BreakPinConnection(int) override { ReleaseDevice(); }

    V_HRESULT ReceiveSample(int, V_IMediaSample* sample) override {
        V_BYTE* data = nullptr;
        if (V_FAILED(sample->GetPointer(&data)) || data == nullptr) return V_E_POINTER;
        long length = sample->GetActualDataLength();
        std::unique_lock<std::mutex> guard(m_RingLock);
        if (m_RenderState == V_State_Stopped) return V_VFW_E_WRONG_STATE;
        if (m_Flushing || m_EndReceived) return V_S_FALSE;
        if (m_Buffer == nullptr) return V_S_OK;
        length -= length % m_Format.nBlockAlign;
        while (length > 0) {
            if (m_RenderState == V_State_Stopped) return V_VFW_E_WRONG_STATE;
            if (m_Flushing) return V_S_FALSE;
            TrackCursor();
            uint32_t room = m_RingBytes - static_cast<uint32_t>(m_Written - m_Played);
            if (room == 0) {
                m_Changed.wait_for(guard, std::chrono::milliseconds(kPollMilliseconds));
                continue;
            }
            uint32_t n =
                static_cast<uint32_t>(length) < room ? static_cast<uint32_t>(length) : room;
            WriteRing(static_cast<uint32_t>(m_Written % m_RingBytes), data, n);
            m_Written += n;
            data += n;
            length -= static_cast<long>(n);
        }
        return V_S_OK;
    }

    // The end completes the graph once every byte written has been heard.
    V_HRESULT ReceiveEndOfStream(int) override {
        std::unique_lock<std::mutex> guard(m_RingLock);
        if (m_RenderState == V_State_Stopped || m_Flushing || m_EndReceived) return V_S_OK;
        m_EndReceived = true;
        while (m_Buffer != nullptr) {
            if (m_RenderState == V_State_Stopped || m_Flushing) return V_S_OK;
            TrackCursor();
            if (m_Played >= m_Written) break;
            m_Changed.wait_for(guard, std::chrono::milliseconds(kPollMilliseconds));
        }
        guard.unlock();
        NotifyGraph(V_EC_COMPLETE, V_S_OK,
                    reinterpret_cast<intptr_t>(static_cast<V_IBaseFilter*>(this)));
        return V_S_OK;
    }

    // A flush drops what was written but not yet heard.
    V_HRESULT ReceiveFlush(int, bool begin) override {
        std::lock_guard<std::mutex> guard(m_RingLock);
        m_Flushing = begin;
        m_EndReceived = false;
        if (begin) {
            TrackCursor();
            SilenceRing();
            m_Written = m_Played;
            m_StreamHeard = 0;  // the data after a flush starts a new stream time
        }
        m_Changed.notify_all();
        return V_S_OK;
    }

    V_HRESULT OnStateChange(V_FILTER_STATE from, V_FILTER_STATE to) override {
        // Without a sound device the movie plays on silently, on the system clock.
        if (from == V_State_Stopped && m_Pins[0]->IsConnected() && m_Buffer == nullptr)
            CreateDevice();
        std::lock_guard<std::mutex> guard(m_RingLock);
        ClockNow();  // the clock runs on from here in its new mode
        if (from == V_State_Running && to != V_State_Running && m_Buffer != nullptr)
            m_StreamHeard = m_ClockLast > m_Start ? m_ClockLast - m_Start : 0;
        if (to == V_State_Stopped) m_StreamHeard = 0;
        m_RenderState = to;
        if (m_Buffer != nullptr) {
            if (to == V_State_Running) {
                m_Buffer->Play(0, 0, V_DSBPLAY_LOOPING);
                // The clock reads the run's start plus the sound heard, so the stream time
                // never runs ahead of the sound: time spent between the graph taking its start
                // and this call is not counted as heard (the clock holds until the sound has
                // caught up). A start still to come is not waited for.
                const V_REFERENCE_TIME heardFrom = m_Start + m_StreamHeard;
                m_AudioBase = heardFrom < m_ClockLast ? heardFrom : m_ClockLast;
                m_AudioBaseHeard = m_Heard;
            } else {
                TrackCursor();
                m_Buffer->Stop();
            }
            if (to == V_State_Stopped) {
                // The next start plays from the top of an empty ring.
                SilenceRing();
                m_Buffer->SetCurrentPosition(0);
                m_LastCursor = 0;
                m_Played = m_Written = 0;
            }
        }
        if (to == V_State_Stopped) m_EndReceived = false;
        m_Changed.notify_all();
        return V_S_OK;
    }

    // ---- IBasicAudio
    V_HRESULT put_Volume(long volume) override {
        if (volume < V_DSBVOLUME_MIN || volume > V_DSBVOLUME_MAX) return V_E_INVALIDARG;
        std::lock_guard<std::mutex> guard(m_RingLock);
        m_Volume = volume;
        if (m_Buffer != nullptr) m_Buffer->SetVolume(volume);
        return V_S_OK;
    }
    V_HRESULT get_Volume(long* volume) override {
        if (volume == nullptr) return V_E_POINTER;
        std::lock_guard<std::mutex> guard(m_RingLock);
        *volume = m_Volume;
        return V_S_OK;
    }
    V_HRESULT put_Balance(long balance) override {
        if (balance < V_DSBPAN_LEFT || balance > V_DSBPAN_RIGHT) return V_E_INVALIDARG;
        std::lock_guard<std::mutex> guard(m_RingLock);
        m_Balance = balance;
        if (m_Buffer != nullptr) m_Buffer->SetPan(balance);
        return V_S_OK;
    }
    V_HRESULT get_Balance(long* balance) override {
        if (balance == nullptr) return V_E_POINTER;
        std::lock_guard<std::mutex> guard(m_RingLock);
        *balance = m_Balance;
        return V_S_OK;
    }

    // ---- IReferenceClock
    V_HRESULT GetTime(V_REFERENCE_TIME* time) override {
        if (time == nullptr) return V_E_POINTER;
        std::lock_guard<std::mutex> guard(m_RingLock);
        *time = ClockNow();
        return V_S_OK;
    }

private:
    bool CreateDevice() {
        const V_AM_MEDIA_TYPE& type = m_Pins[0]->Type();
        V_WAVEFORMATEX format{};
        std::memcpy(&format, type.pbFormat, 16);
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        format.cbSize = 0;
        void* object = nullptr;
        if (V_FAILED(V_CreateDirectSoundObject(&V_IID_IDirectSound, &object)) || object == nullptr)
            return false;
        auto* device = static_cast<V_IDirectSound*>(object);
        V_DSBUFFERDESC description{};
        description.dwSize = sizeof(description);
        description.dwFlags = V_DSBCAPS_CTRLVOLUME | V_DSBCAPS_CTRLPAN | V_DSBCAPS_GLOBALFOCUS |
                              V_DSBCAPS_GETCURRENTPOSITION2;
        description.dwBufferBytes = format.nAvgBytesPerSec;
        description.lpwfxFormat = &format;
        V_IDirectSoundBuffer* buffer = nullptr;
        if (V_FAILED(device->Initialize(nullptr)) ||
            V_FAILED(device->SetCooperativeLevel(nullptr, V_DSSCL_NORMAL)) ||
            V_FAILED(device->CreateSoundBuffer(&description, &buffer, nullptr)) ||
            buffer == nullptr) {
            device->Release();
            return false;
        }
        std::lock_guard<std::mutex> guard(m_RingLock);
        m_Device = device;
        m_Buffer = buffer;
        m_Format = format;
        m_RingBytes = description.dwBufferBytes;
        m_Buffer->SetVolume(m_Volume);
        m_Buffer->SetPan(m_Balance);
        SilenceRing();
        m_LastCursor = 0;
        m_Played = m_Written = 0;
        return true;
    }

    void ReleaseDevice() {
        std::lock_guard<std::mutex> guard(m_RingLock);
        if (m_Buffer != nullptr) {
            m_Buffer->Stop();
            m_Buffer->Release();
        }
        if (m_Device != nullptr) m_Device->Release();
        m_Buffer = nullptr;
        m_Device = nullptr;
    }

    // Counts what the device played since the last look and silences it, so that a ring that
    // runs dry plays silence and the next data follows the cursor. The silence of a ring run dry
    // is not counted as heard until the stream has ended, so the clock waits for late data
    // rather than running ahead of the sound. Under the ring lock.
    void TrackCursor() {
        if (m_Buffer == nullptr) return;
        V_DWORD play = 0, write = 0;
        if (V_FAILED(m_Buffer->GetCurrentPosition(&play, &write))) return;
        uint32_t moved =
            play >= m_LastCursor ? play - m_LastCursor : m_RingBytes - m_LastCursor + play;
        if (moved == 0) return;
        uint64_t heard = 0;
        if (m_Written > m_Played) {
            heard = m_Written - m_Played < moved ? m_Written - m_Played : moved;
            SilenceRange(m_LastCursor, static_cast<uint32_t>(heard));
        }
        m_Heard += m_EndReceived ? moved : heard;
        m_LastCursor = play;
        m_Played += moved;
        if (m_Written < m_Played) m_Written = m_Played;
    }

    void WriteRing(uint32_t offset, const V_BYTE* data, uint32_t bytes) {
        void* part1 = nullptr;
        void* part2 = nullptr;
        V_DWORD length1 = 0, length2 = 0;
        if (V_FAILED(m_Buffer->Lock(offset, bytes, &part1, &length1, &part2, &length2, 0))) return;
        std::memcpy(part1, data, length1);
        if (part2 != nullptr) std::memcpy(part2, data + length1, length2);
        m_Buffer->Unlock(part1, length1, part2, length2);
    }

    void SilenceRange(uint32_t offset, uint32_t bytes) {
        if (bytes == 0) return;
        void* part1 = nullptr;
        void* part2 = nullptr;
        V_DWORD length1 = 0, length2 = 0;
        if (V_FAILED(m_Buffer->Lock(offset, bytes, &part1, &length1, &part2, &length2, 0))) return;
        const int silence = m_Format.wBitsPerSample == 8 ? 0x80 : 0;
        std::memset(part1, silence, length1);
        if (part2 != nullptr) std::memset(part2, silence, length2);
        m_Buffer->Unlock(part1, length1, part2, length2);
    }

    void SilenceRing() {
        if (m_Buffer != nullptr) SilenceRange(0, m_RingBytes);
    }

    // The clock: while the device plays, the bytes heard since it started; otherwise
    // the system clock, carried on from the last value so that the time never steps back.
    // Under the ring lock.
    V_REFERENCE_TIME ClockNow() {
        V_REFERENCE_TIME system = MonotonicTime();
        V_REFERENCE_TIME now;
        if (m_Buffer != nullptr && m_RenderState == V_State_Running) {
            TrackCursor();
            now = m_AudioBase +
                  static_cast<V_REFERENCE_TIME>((m_Heard - m_AudioBaseHeard) * kUnitsPerSecond /
                                                m_Format.nAvgBytesPerSec);
        } else {
            now = m_ClockStarted ? m_ClockLast + (system - m_SystemLast) : system;
        }
        if (m_ClockStarted && now < m_ClockLast) now = m_ClockLast;
        m_ClockStarted = true;
        m_ClockLast = now;
        m_SystemLast = system;
        return now;
    }

    std::mutex m_RingLock;
    std::condition_variable m_Changed;
    V_IDirectSound* m_Device = nullptr;
    V_IDirectSoundBuffer* m_Buffer = nullptr;
    V_WAVEFORMATEX m_Format{};
    uint32_t m_RingBytes = 0;
    uint32_t m_LastCursor = 0;
    uint64_t m_Written = 0;  // bytes put in the ring since the start
    uint64_t m_Played = 0;   // bytes the device has played since the start
    uint64_t m_Heard = 0;    // of those, the bytes that count for the clock
    V_FILTER_STATE m_RenderState = V_State_Stopped;
    bool m_Flushing = false;
    bool m_EndReceived = false;
    long m_Volume = 0;
    long m_Balance = 0;
    bool m_ClockStarted = false;
    V_REFERENCE_TIME m_ClockLast = 0;
    V_REFERENCE_TIME m_SystemLast = 0;
    V_REFERENCE_TIME m_AudioBase = 0;
    uint64_t m_AudioBaseHeard = 0;
    V_REFERENCE_TIME m_StreamHeard = 0;  // stream time of the sound heard when the run stopped
};

}  // namespace

StreamFilter* CreateAudioRenderer() {
    return new (std::nothrow) AudioRenderer();
}

}  // namespace dshow
