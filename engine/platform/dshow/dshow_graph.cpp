// The filter graph manager: the filters of a graph, connecting and rendering pins (with the
// platform's decoder and null renderer brought in where needed), rendering movie files
// through the FFmpeg source, running, pausing and stopping every filter against the graph's
// clock, the completion events of its renderers, and seeking through the source.
#include <ctime>
#include <condition_variable>
#include <deque>
#include <new>
#include <string>
#include <vector>

#include "platform/dshow/dshow_filter.h"
#include "platform/dshow/dshow_object.h"
#include "platform/kernel/file_names.h"
#include "platform/kernel/kernel.h"

namespace dshow {

namespace {

constexpr int kMaxRenderDepth = 6;

// The graph's default clock: the monotonic clock in 100-ns units.
class SystemClock : public SingleInterfaceObject<V_IReferenceClock> {
public:
    SystemClock() : SingleInterfaceObject(V_IID_IReferenceClock) {}
    V_HRESULT GetTime(V_REFERENCE_TIME* time) override {
        if (time == nullptr) return V_E_POINTER;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        *time = static_cast<V_REFERENCE_TIME>(now.tv_sec) * 10000000 + now.tv_nsec / 100;
        return V_S_OK;
    }
};

using FilterEnumerator = InterfaceListEnumerator<V_IEnumFilters, V_IBaseFilter>;

// The pins of a filter, each referenced; released by the destructor.
struct PinList {
    std::vector<V_IPin*> pins;
    explicit PinList(V_IBaseFilter* filter) {
        V_IEnumPins* e = nullptr;
        if (V_FAILED(filter->EnumPins(&e)) || e == nullptr) return;
        V_IPin* pin = nullptr;
        while (e->Next(1, &pin, nullptr) == V_S_OK) pins.push_back(pin);
        e->Release();
    }
    ~PinList() {
        for (V_IPin* pin : pins) pin->Release();
    }
    PinList(const PinList&) = delete;
    PinList& operator=(const PinList&) = delete;
};

V_PIN_DIRECTION DirectionOf(V_IPin* pin) {
    V_PIN_DIRECTION d = V_PINDIR_INPUT;
    pin->QueryDirection(&d);
    return d;
}

bool IsConnected(V_IPin* pin) {
    V_IPin* peer = nullptr;
    if (pin->ConnectedTo(&peer) != V_S_OK || peer == nullptr) return false;
    peer->Release();
    return true;
}

V_IBaseFilter* PeerFilter(V_IPin* pin) {
    V_IPin* peer = nullptr;
    if (pin->ConnectedTo(&peer) != V_S_OK || peer == nullptr) return nullptr;
    V_PIN_INFO info{};
    V_IBaseFilter* filter = nullptr;
    if (V_SUCCEEDED(peer->QueryPinInfo(&info)) && info.pFilter != nullptr) {
        filter = info.pFilter;
        info.pFilter->Release();  // the graph holds it
    }
    peer->Release();
    return filter;
}

bool Utf16ToPath(const V_WCHAR* wide, std::string& path) {
    char name[V_MAX_PATH * 3];
    if (V_WideCharToMultiByte(V_CP_ACP, 0, wide, -1, name, sizeof(name), nullptr, nullptr) <= 0)
        return false;
    return V_ResolveFileName(name, path);
}

class FilterGraph : public V_IGraphBuilder,
                    public V_IMediaControl,
                    public V_IMediaEvent,
                    public V_IMediaSeeking,
                    public V_IBasicAudio,
                    public V_IMediaFilter,
                    public V_IMediaEventSink {
public:
    FilterGraph() {
        m_Clock = new SystemClock();
        m_Clock->AddRef();
    }

    virtual ~FilterGraph() {
        StopFilters();
        for (Entry& entry : m_Filters) {
            PinList pins(entry.filter);
            for (V_IPin* pin : pins.pins) pin->Disconnect();
            entry.filter->JoinFilterGraph(nullptr, nullptr);
        }
        for (Entry& entry : m_Filters) entry.filter->Release();
        if (m_Clock != nullptr) m_Clock->Release();
    }

    // ---- IUnknown (one identity for every interface)
    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override {
        if (object == nullptr) return V_E_POINTER;
        *object = nullptr;
        if (iid == V_IID_IUnknown || iid == V_IID_IFilterGraph || iid == V_IID_IGraphBuilder)
            *object = static_cast<V_IGraphBuilder*>(this);
        else if (iid == V_IID_IMediaControl)
            *object = static_cast<V_IMediaControl*>(this);
        else if (iid == V_IID_IMediaEvent)
            *object = static_cast<V_IMediaEvent*>(this);
        else if (iid == V_IID_IMediaSeeking)
            *object = static_cast<V_IMediaSeeking*>(this);
        else if (iid == V_IID_IBasicAudio)
            *object = static_cast<V_IBasicAudio*>(this);
        else if (iid == V_IID_IMediaFilter || iid == V_IID_IPersist)
            *object = static_cast<V_IMediaFilter*>(this);
        else if (iid == V_IID_IMediaEventSink)
            *object = static_cast<V_IMediaEventSink*>(this);
        else
            return V_E_NOINTERFACE;
        AddRef();
        return V_S_OK;
    }
    V_ULONG AddRef() override { return static_cast<V_ULONG>(++m_cRef); }
    V_ULONG Release() override {
        long left = --m_cRef;
        if (left == 0) delete this;
        return static_cast<V_ULONG>(left);
    }

    // ---- IFilterGraph
    V_HRESULT AddFilter(V_IBaseFilter* filter, const V_WCHAR* name) override {
        if (filter == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        for (const Entry& entry : m_Filters)
            if (entry.filter == filter) return V_E_INVALIDARG;
        V_HRESULT hr = filter->JoinFilterGraph(this, name != nullptr ? name : u"");
        if (V_FAILED(hr)) return hr;
        filter->SetSyncSource(m_Clock);
        filter->AddRef();
        Entry entry{filter, {}};
        V_CopyWideName(entry.name, name != nullptr ? name : u"");
        m_Filters.push_back(entry);
        return V_S_OK;
    }

    V_HRESULT RemoveFilter(V_IBaseFilter* filter) override {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        for (size_t i = 0; i < m_Filters.size(); ++i) {
            if (m_Filters[i].filter != filter) continue;
            filter->Stop();
            PinList pins(filter);
            for (V_IPin* pin : pins.pins) {
                V_IPin* peer = nullptr;
                if (pin->ConnectedTo(&peer) == V_S_OK && peer != nullptr) {
                    peer->Disconnect();
                    peer->Release();
                }
                pin->Disconnect();
            }
            filter->JoinFilterGraph(nullptr, nullptr);
            if (m_Source == filter) m_Source = nullptr;
            if (m_Soundtrack == filter) m_Soundtrack = nullptr;
            m_Filters.erase(m_Filters.begin() + static_cast<long>(i));
            filter->Release();
            return V_S_OK;
        }
        return V_VFW_E_NOT_FOUND;
    }

    V_HRESULT EnumFilters(V_IEnumFilters** filters) override {
        if (filters == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        auto* e = new (std::nothrow) FilterEnumerator(V_IID_IEnumFilters, Snapshot());
        *filters = e;
        if (e == nullptr) return V_E_OUTOFMEMORY;
        e->AddRef();
        return V_S_OK;
    }

    V_HRESULT FindFilterByName(const V_WCHAR* name, V_IBaseFilter** filter) override {
        if (filter == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        *filter = nullptr;
        for (const Entry& entry : m_Filters) {
            if (V_WideNamesEqual(entry.name, name)) {
                *filter = entry.filter;
                entry.filter->AddRef();
                return V_S_OK;
            }
        }
        return V_VFW_E_NOT_FOUND;
    }

    V_HRESULT ConnectDirect(V_IPin* output, V_IPin* input, const V_AM_MEDIA_TYPE* type) override {
        if (output == nullptr || input == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        if (m_State != V_State_Stopped) return V_VFW_E_NOT_STOPPED;
        return output->Connect(input, type);
    }

    V_HRESULT Disconnect(V_IPin* pin) override {
        if (pin == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        if (m_State != V_State_Stopped) return V_VFW_E_NOT_STOPPED;
        return pin->Disconnect();
    }

    // ---- IGraphBuilder
    V_HRESULT Connect(V_IPin* output, V_IPin* input) override {
        if (output == nullptr || input == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        if (m_State != V_State_Stopped) return V_VFW_E_NOT_STOPPED;
        if (V_SUCCEEDED(output->Connect(input, nullptr))) return V_S_OK;
        // A decoder in between.
        StreamFilter* decoder = CreateMpegAudioDecoder();
        if (decoder == nullptr) return V_VFW_E_CANNOT_CONNECT;
        decoder->AddRef();
        V_HRESULT hr = V_VFW_E_CANNOT_CONNECT;
        if (V_SUCCEEDED(AddFilter(decoder, u"MPEG Audio Decoder"))) {
            PinList pins(decoder);
            if (pins.pins.size() == 2 && V_SUCCEEDED(output->Connect(pins.pins[0], nullptr)) &&
                V_SUCCEEDED(pins.pins[1]->Connect(input, nullptr)))
                hr = V_S_OK;
            if (V_FAILED(hr)) RemoveFilter(decoder);
        }
        decoder->Release();
        return hr;
    }

    V_HRESULT Render(V_IPin* output) override {
        if (output == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        if (m_State != V_State_Stopped) return V_VFW_E_NOT_STOPPED;
        if (DirectionOf(output) != V_PINDIR_OUTPUT) return V_VFW_E_INVALID_DIRECTION;
        return RenderPin(output, 0);
    }

    V_HRESULT RenderFile(const V_WCHAR* file, const V_WCHAR*) override {
        if (file == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        if (m_State != V_State_Stopped) return V_VFW_E_NOT_STOPPED;
        std::string path;
        if (!Utf16ToPath(file, path)) return V_VFW_E_NOT_FOUND;
        StreamFilter* source = CreateMovieSource(path.c_str());
        if (source == nullptr) return V_VFW_E_UNSUPPORTED_STREAM;
        source->AddRef();
        V_HRESULT hr = AddFilter(source, file);
        if (V_SUCCEEDED(hr)) {
            PinList pins(source);
            hr = V_VFW_E_CANNOT_RENDER;
            for (V_IPin* pin : pins.pins)
                if (V_SUCCEEDED(RenderPin(pin, 0))) hr = V_S_OK;
            if (V_FAILED(hr)) {
                RemoveFilter(source);
            } else {
                m_Source = source;
                m_Stop = -1;
                RenderSoundtrack(path.c_str());
            }
        }
        source->Release();
        return hr;
    }

    // ---- IMediaControl and IMediaFilter
    V_HRESULT Run() override { return RunAt(-1); }

    V_HRESULT Pause() override {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        if (m_State == V_State_Paused) return V_S_OK;
        if (m_State == V_State_Running) m_StreamTime = ClockTime() - m_RunStart;
        if (m_State == V_State_Stopped) StartCompletionCount();
        V_HRESULT result = V_S_OK;
        for (V_IBaseFilter* filter : DownstreamFirst()) {
            V_HRESULT hr = filter->Pause();
            if (V_FAILED(hr)) result = hr;
        }
        m_State = V_State_Paused;
        return result;
    }

    V_HRESULT Stop() override {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        StopFilters();
        return V_S_OK;
    }

    // A pause is complete once every filter has completed it (a renderer holds its first
    // sample); until then this waits up to the timeout (negative: no limit) and then answers
    // VFW_S_STATE_INTERMEDIATE. The filters are waited for without the graph's lock.
    V_HRESULT GetState(long timeout, V_FILTER_STATE* state) override {
        if (state == nullptr) return V_E_POINTER;
        std::vector<V_IBaseFilter*> filters;
        {
            std::lock_guard<std::recursive_mutex> guard(m_Lock);
            *state = m_State;
            if (m_State != V_State_Paused) return V_S_OK;
            filters = Snapshot();
            for (V_IBaseFilter* filter : filters) filter->AddRef();
        }
        const V_DWORD start = V_GetTickCount();
        V_HRESULT result = V_S_OK;
        for (V_IBaseFilter* filter : filters) {
            V_DWORD left = V_INFINITE;
            if (timeout >= 0) {
                V_DWORD spent = V_GetTickCount() - start;
                const V_DWORD limit = static_cast<V_DWORD>(timeout);
                left = spent < limit ? limit - spent : 0;
            }
            V_FILTER_STATE ignored = V_State_Stopped;
            if (filter->GetState(left, &ignored) == V_VFW_S_STATE_INTERMEDIATE)
                result = V_VFW_S_STATE_INTERMEDIATE;
            filter->Release();
        }
        return result;
    }

    V_HRESULT GetClassID(V_GUID* classId) override {
        if (classId == nullptr) return V_E_POINTER;
        *classId = V_CLSID_FilterGraph;
        return V_S_OK;
    }
    V_HRESULT Run(V_REFERENCE_TIME start) override { return RunAt(start); }
    V_HRESULT GetState(V_DWORD timeout, V_FILTER_STATE* state) override {
        return GetState(static_cast<long>(timeout), state);
    }

    V_HRESULT SetSyncSource(V_IReferenceClock* clock) override {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        if (m_State != V_State_Stopped) return V_VFW_E_NOT_STOPPED;
        if (clock != nullptr) clock->AddRef();
        if (m_Clock != nullptr) m_Clock->Release();
        m_Clock = clock;
        for (const Entry& entry : m_Filters) entry.filter->SetSyncSource(clock);
        return V_S_OK;
    }

    V_HRESULT GetSyncSource(V_IReferenceClock** clock) override {
        if (clock == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        *clock = m_Clock;
        if (m_Clock != nullptr) m_Clock->AddRef();
        return V_S_OK;
    }

    // ---- IMediaEventSink and IMediaEvent
    V_HRESULT Notify(long code, intptr_t param1, intptr_t param2) override {
        std::lock_guard<std::mutex> guard(m_EventLock);
        if (code == V_EC_COMPLETE) {
            // The graph completes once every renderer that streamed has reached its end.
            if (++m_Completed < m_Renderers) return V_S_OK;
            param1 = V_S_OK;
            param2 = 0;
        }
        m_Events.push_back(Event{code, param1, param2});
        m_EventAdded.notify_all();
        return V_S_OK;
    }

    V_HRESULT GetEvent(long* code, intptr_t* param1, intptr_t* param2, long timeout) override {
        if (code == nullptr || param1 == nullptr || param2 == nullptr) return V_E_POINTER;
        std::unique_lock<std::mutex> guard(m_EventLock);
        if (!WaitFor(guard, timeout, [this] { return !m_Events.empty(); })) return V_E_ABORT;
        Event e = m_Events.front();
        m_Events.pop_front();
        *code = e.code;
        *param1 = e.param1;
        *param2 = e.param2;
        return V_S_OK;
    }

    V_HRESULT WaitForCompletion(long timeout, long* code) override {
        if (code == nullptr) return V_E_POINTER;
        *code = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(m_Lock);
            if (m_State != V_State_Running) return V_VFW_E_WRONG_STATE;
        }
        std::unique_lock<std::mutex> guard(m_EventLock);
        auto ending = [this] {
            for (const Event& e : m_Events)
                if (e.code == V_EC_COMPLETE || e.code == V_EC_ERRORABORT ||
                    e.code == V_EC_USERABORT)
                    return true;
            return false;
        };
        if (!WaitFor(guard, timeout, ending)) return V_E_ABORT;
        for (auto it = m_Events.begin(); it != m_Events.end(); ++it) {
            if (it->code == V_EC_COMPLETE || it->code == V_EC_ERRORABORT ||
                it->code == V_EC_USERABORT) {
                *code = it->code;
                m_Events.erase(it);
                break;
            }
        }
        return V_S_OK;
    }

    V_HRESULT FreeEventParams(long, intptr_t, intptr_t) override { return V_S_OK; }

    // ---- IMediaSeeking
    V_HRESULT GetDuration(int64_t* duration) override {
        if (duration == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        SourceSeeking* seeking = Seeking();
        *duration = seeking != nullptr ? seeking->Duration() : 0;
        return seeking != nullptr ? V_S_OK : V_E_NOTIMPL;
    }

    V_HRESULT GetStopPosition(int64_t* stop) override {
        if (stop == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        SourceSeeking* seeking = Seeking();
        if (seeking == nullptr) return V_E_NOTIMPL;
        *stop = m_Stop >= 0 ? m_Stop : seeking->Duration();
        return V_S_OK;
    }

    V_HRESULT GetCurrentPosition(int64_t* current) override {
        if (current == nullptr) return V_E_POINTER;
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        SourceSeeking* seeking = Seeking();
        if (seeking == nullptr) return V_E_NOTIMPL;
        V_REFERENCE_TIME streamTime = m_State == V_State_Running && m_Clock != nullptr
                                          ? ClockTime() - m_RunStart
                                          : m_StreamTime;
        V_REFERENCE_TIME position = m_SegmentStart + (streamTime > 0 ? streamTime : 0);
        V_REFERENCE_TIME stop = m_Stop >= 0 ? m_Stop : seeking->Duration();
        *current = position < stop ? position : stop;
        return V_S_OK;
    }

    V_HRESULT SetPositions(int64_t* current, V_DWORD currentFlags, int64_t* stop,
                           V_DWORD stopFlags) override {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        SourceSeeking* seeking = Seeking();
        if (seeking == nullptr) return V_E_NOTIMPL;
        V_REFERENCE_TIME duration = seeking->Duration();
        if (stop != nullptr && (stopFlags & V_AM_SEEKING_PositioningBitsMask) != 0) {
            V_REFERENCE_TIME base = m_Stop >= 0 ? m_Stop : duration;
            V_REFERENCE_TIME value = (stopFlags & V_AM_SEEKING_PositioningBitsMask) ==
                                             V_AM_SEEKING_RelativePositioning
                                         ? base + *stop
                                         : *stop;
            m_Stop = value < 0 ? 0 : (value > duration ? duration : value);
        }
        if (current == nullptr || (currentFlags & V_AM_SEEKING_PositioningBitsMask) == 0)
            return V_S_OK;
        int64_t now = 0;
        GetCurrentPosition(&now);
        V_REFERENCE_TIME target = (currentFlags & V_AM_SEEKING_PositioningBitsMask) ==
                                          V_AM_SEEKING_RelativePositioning
                                      ? now + *current
                                      : *current;
        if (target < 0) target = 0;
        if (target > duration) target = duration;
        V_FILTER_STATE was = m_State;
        if (was == V_State_Running) Pause();
        {
            std::lock_guard<std::mutex> events(m_EventLock);
            m_Completed = 0;
        }
        seeking->SeekTo(target);
        if (m_Soundtrack != nullptr) GetSourceSeeking(m_Soundtrack)->SeekTo(target);
        m_SegmentStart = target;
        m_StreamTime = 0;
        if (was == V_State_Running) RunAt(-1);
        return V_S_OK;
    }

    // ---- IBasicAudio: the graph keeps the values and hands them to its audio renderers.
    V_HRESULT put_Volume(long volume) override {
        if (volume < -10000 || volume > 0) return V_E_INVALIDARG;
        m_Volume = volume;
        ForEachAudio([volume](V_IBasicAudio* audio) { audio->put_Volume(volume); });
        return V_S_OK;
    }
    V_HRESULT get_Volume(long* volume) override {
        if (volume == nullptr) return V_E_POINTER;
        *volume = m_Volume;
        return V_S_OK;
    }
    V_HRESULT put_Balance(long balance) override {
        if (balance < -10000 || balance > 10000) return V_E_INVALIDARG;
        m_Balance = balance;
        ForEachAudio([balance](V_IBasicAudio* audio) { audio->put_Balance(balance); });
        return V_S_OK;
    }
    V_HRESULT get_Balance(long* balance) override {
        if (balance == nullptr) return V_E_POINTER;
        *balance = m_Balance;
        return V_S_OK;
    }

private:
    struct Entry {
        V_IBaseFilter* filter;
        V_WCHAR name[128];
    };
    struct Event {
        long code;
        intptr_t param1;
        intptr_t param2;
    };

    template <class Ready>
    bool WaitFor(std::unique_lock<std::mutex>& guard, long timeout, Ready ready) {
        if (timeout < 0) {
            m_EventAdded.wait(guard, ready);
            return true;
        }
        return m_EventAdded.wait_for(guard, std::chrono::milliseconds(timeout), ready);
    }

    std::vector<V_IBaseFilter*> Snapshot() const {
        std::vector<V_IBaseFilter*> list;
        for (const Entry& entry : m_Filters) list.push_back(entry.filter);
        return list;
    }

    SourceSeeking* Seeking() { return m_Source != nullptr ? GetSourceSeeking(m_Source) : nullptr; }

    // The file's soundtrack, when it has one that plays: its source joins the graph, its
    // output is rendered (to the audio renderer), and the renderer's clock becomes the graph's.
    // A soundtrack that cannot be rendered leaves the movie silent.
    void RenderSoundtrack(const char* path) {
        StreamFilter* sound = CreateMovieAudioSource(path);
        if (sound == nullptr) return;
        sound->AddRef();
        if (V_SUCCEEDED(AddFilter(sound, u"Movie Sound Source"))) {
            PinList pins(sound);
            if (pins.pins.empty() || V_FAILED(RenderPin(pins.pins[0], 0))) {
                RemoveFilter(sound);
            } else {
                m_Soundtrack = sound;
                V_IReferenceClock* clock = nullptr;
                V_IBaseFilter* renderer = PeerFilter(pins.pins[0]);
                if (renderer != nullptr &&
                    V_SUCCEEDED(renderer->QueryInterface(V_IID_IReferenceClock,
                                                         reinterpret_cast<void**>(&clock)))) {
                    SetSyncSource(clock);
                    clock->Release();
                }
                long volume = m_Volume, balance = m_Balance;
                ForEachAudio([volume, balance](V_IBasicAudio* audio) {
                    audio->put_Volume(volume);
                    audio->put_Balance(balance);
                });
            }
        }
        sound->Release();
    }

    template <class Call>
    void ForEachAudio(Call call) {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        for (const Entry& entry : m_Filters) {
            V_IBasicAudio* audio = nullptr;
            if (V_SUCCEEDED(entry.filter->QueryInterface(V_IID_IBasicAudio,
                                                         reinterpret_cast<void**>(&audio))) &&
                audio != nullptr) {
                call(audio);
                audio->Release();
            }
        }
    }

    V_REFERENCE_TIME ClockTime() {
        V_REFERENCE_TIME now = 0;
        if (m_Clock != nullptr) m_Clock->GetTime(&now);
        return now;
    }

    // Renderers (a connected input, no output pins) are counted as the graph starts streaming.
    void StartCompletionCount() {
        int renderers = 0;
        for (const Entry& entry : m_Filters) {
            PinList pins(entry.filter);
            bool input = false, output = false;
            for (V_IPin* pin : pins.pins) {
                if (DirectionOf(pin) == V_PINDIR_OUTPUT)
                    output = true;
                else if (IsConnected(pin))
                    input = true;
            }
            if (input && !output) ++renderers;
        }
        std::lock_guard<std::mutex> guard(m_EventLock);
        m_Renderers = renderers;
        m_Completed = 0;
    }

    // The filters ordered so that each comes before every filter upstream of it.
    std::vector<V_IBaseFilter*> DownstreamFirst() {
        std::vector<V_IBaseFilter*> left = Snapshot(), ordered;
        while (!left.empty()) {
            bool placed = false;
            for (size_t i = 0; i < left.size(); ++i) {
                PinList pins(left[i]);
                bool ready = true;
                for (V_IPin* pin : pins.pins) {
                    if (DirectionOf(pin) != V_PINDIR_OUTPUT) continue;
                    V_IBaseFilter* next = PeerFilter(pin);
                    for (V_IBaseFilter* other : left)
                        if (other == next && other != left[i]) ready = false;
                }
                if (!ready) continue;
                ordered.push_back(left[i]);
                left.erase(left.begin() + static_cast<long>(i));
                placed = true;
                break;
            }
            if (!placed) {  // a cycle: keep the rest as added
                ordered.insert(ordered.end(), left.begin(), left.end());
                break;
            }
        }
        return ordered;
    }

    V_HRESULT RunAt(V_REFERENCE_TIME start) {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        if (m_State == V_State_Running) return V_S_OK;
        if (m_State == V_State_Stopped) {
            V_HRESULT hr = Pause();
            if (V_FAILED(hr)) return hr;
        }
        m_RunStart = start >= 0 ? start : ClockTime() - m_StreamTime;
        V_HRESULT result = V_S_OK;
        for (V_IBaseFilter* filter : DownstreamFirst()) {
            V_HRESULT hr = filter->Run(m_RunStart);
            if (V_FAILED(hr)) result = hr;
        }
        m_State = V_State_Running;
        return result;
    }

    void StopFilters() {
        for (V_IBaseFilter* filter : DownstreamFirst()) filter->Stop();
        m_State = V_State_Stopped;
        m_StreamTime = 0;
    }

    bool HasInputOnly(V_IBaseFilter* filter) {
        PinList pins(filter);
        for (V_IPin* pin : pins.pins)
            if (DirectionOf(pin) == V_PINDIR_OUTPUT) return false;
        return true;
    }

    // Connects the output pin to a free input pin of a filter and renders what follows it.
    V_HRESULT ConnectAndRenderOn(V_IPin* output, V_IBaseFilter* filter, int depth) {
        PinList pins(filter);
        for (V_IPin* input : pins.pins) {
            if (DirectionOf(input) != V_PINDIR_INPUT || IsConnected(input)) continue;
            if (V_FAILED(output->Connect(input, nullptr))) continue;
            V_HRESULT hr = V_S_OK;
            for (V_IPin* next : pins.pins) {
                if (DirectionOf(next) != V_PINDIR_OUTPUT || IsConnected(next)) continue;
                if (V_FAILED(RenderPin(next, depth + 1))) hr = V_VFW_E_CANNOT_RENDER;
            }
            if (V_SUCCEEDED(hr)) return hr;
            DisconnectDownstream(filter);
            output->Disconnect();
            input->Disconnect();
        }
        return V_VFW_E_CANNOT_RENDER;
    }

    // Undoes a failed rendering below a filter: its outputs and every filter they lead to.
    void DisconnectDownstream(V_IBaseFilter* filter) {
        PinList pins(filter);
        for (V_IPin* pin : pins.pins) {
            if (DirectionOf(pin) != V_PINDIR_OUTPUT) continue;
            V_IPin* peer = nullptr;
            if (pin->ConnectedTo(&peer) != V_S_OK || peer == nullptr) continue;
            V_IBaseFilter* next = PeerFilter(pin);
            if (next != nullptr) DisconnectDownstream(next);
            peer->Disconnect();
            pin->Disconnect();
            peer->Release();
        }
    }

    V_HRESULT RenderPin(V_IPin* output, int depth) {
        if (depth > kMaxRenderDepth) return V_VFW_E_CANNOT_RENDER;
        if (IsConnected(output)) return V_VFW_E_ALREADY_CONNECTED;
        V_PIN_INFO info{};
        V_IBaseFilter* owner = nullptr;
        if (V_SUCCEEDED(output->QueryPinInfo(&info)) && info.pFilter != nullptr) {
            owner = info.pFilter;
            info.pFilter->Release();
        }
        // Filters already in the graph first, then the platform's decoder and null renderer.
        for (V_IBaseFilter* filter : Snapshot()) {
            if (filter == owner) continue;
            if (V_SUCCEEDED(ConnectAndRenderOn(output, filter, depth))) return V_S_OK;
        }
        for (int kind = 0; kind < 3; ++kind) {
            StreamFilter* added = kind == 0   ? CreateMpegAudioDecoder()
                                  : kind == 1 ? CreateAudioRenderer()
                                              : CreateNullRenderer();
            if (added == nullptr) continue;
            added->AddRef();
            static const V_WCHAR* const kNames[] = {u"MPEG Audio Decoder", u"Audio Renderer",
                                                    u"Null Renderer"};
            V_HRESULT hr = AddFilter(added, kNames[kind]);
            if (V_SUCCEEDED(hr)) {
                hr = ConnectAndRenderOn(output, added, depth);
                if (V_FAILED(hr)) RemoveFilter(added);
            }
            added->Release();
            if (V_SUCCEEDED(hr)) return V_S_OK;
        }
        return V_VFW_E_CANNOT_RENDER;
    }

    std::recursive_mutex m_Lock;
    std::atomic<long> m_cRef{0};
    std::vector<Entry> m_Filters;
    V_IReferenceClock* m_Clock = nullptr;
    V_FILTER_STATE m_State = V_State_Stopped;
    V_REFERENCE_TIME m_RunStart = 0;
    V_REFERENCE_TIME m_StreamTime = 0;  // stream time reached when paused or stopped
    V_REFERENCE_TIME m_SegmentStart = 0;
    V_REFERENCE_TIME m_Stop = -1;  // -1: the duration
    StreamFilter* m_Source = nullptr;  // the rendered file's source (held in m_Filters)
    StreamFilter* m_Soundtrack = nullptr;  // its soundtrack's source, when it has one
    std::atomic<long> m_Volume{0};
    std::atomic<long> m_Balance{0};

    std::mutex m_EventLock;
    std::condition_variable m_EventAdded;
    std::deque<Event> m_Events;
    int m_Renderers = 0;
    int m_Completed = 0;
};

}  // namespace

}  // namespace dshow

V_HRESULT V_CreateFilterGraphObject(const V_GUID* interfaceId, void** object) {
    auto* graph = new (std::nothrow) dshow::FilterGraph();
    if (graph == nullptr) return V_E_OUTOFMEMORY;
    graph->AddRef();
    V_HRESULT hr = graph->QueryInterface(*interfaceId, object);
    graph->Release();
    return hr;
}
