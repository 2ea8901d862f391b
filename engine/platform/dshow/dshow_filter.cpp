// The frame of the platform's own filters: pins, their connection and allocator, the filter's
// state and graph membership, and the pin and media type enumerators.
#include "platform/dshow/dshow_filter.h"
#include "platform/dshow/dshow_object.h"

#include <cstring>
#include <new>
#include <vector>

namespace dshow {

namespace {

using PinEnumerator = InterfaceListEnumerator<V_IEnumPins, V_IPin>;

class TypeEnumerator : public ListEnumerator<V_IEnumMediaTypes, V_AM_MEDIA_TYPE> {
public:
    TypeEnumerator(const V_AM_MEDIA_TYPE* types, int count) : ListEnumerator(V_IID_IEnumMediaTypes) {
        for (int i = 0; i < count; ++i) {
            V_AM_MEDIA_TYPE copy{};
            if (V_SUCCEEDED(V_CopyMediaType(&copy, &types[i]))) m_Items.push_back(copy);
        }
    }
    ~TypeEnumerator() override {
        for (V_AM_MEDIA_TYPE& type : m_Items) V_FreeMediaType(type);
    }
    V_HRESULT Next(V_ULONG count, V_AM_MEDIA_TYPE** types, V_ULONG* fetched) override {
        if (types == nullptr) return V_E_POINTER;
        V_ULONG n = 0;
        while (n < count && m_Position < m_Items.size()) {
            types[n] = V_CreateMediaType(&m_Items[m_Position++]);
            if (types[n] == nullptr) break;
            ++n;
        }
        if (fetched != nullptr) *fetched = n;
        return n == count ? V_S_OK : V_S_FALSE;
    }
};

}  // namespace

V_IEnumPins* MakePinEnumerator(V_IPin* const* pins, int count) {
    auto* e = new (std::nothrow) PinEnumerator(V_IID_IEnumPins, std::vector<V_IPin*>(pins, pins + count));
    if (e != nullptr) e->AddRef();
    return e;
}

V_IEnumMediaTypes* MakeTypeEnumerator(const V_AM_MEDIA_TYPE* types, int count) {
    auto* e = new (std::nothrow) TypeEnumerator(types, count);
    if (e != nullptr) e->AddRef();
    return e;
}

bool TypeIs(const V_AM_MEDIA_TYPE* type, const V_GUID& major, const V_GUID& subtype) {
    return type != nullptr && type->majortype == major &&
           (subtype == V_GUID_NULL || type->subtype == subtype);
}

V_HRESULT SetPcmType(V_AM_MEDIA_TYPE* type, int channels, int rate) {
    int block = channels * 2;
    *type = V_AM_MEDIA_TYPE{};
    type->majortype = V_MEDIATYPE_Audio;
    type->subtype = V_MEDIASUBTYPE_PCM;
    type->bFixedSizeSamples = V_TRUE;
    type->lSampleSize = static_cast<V_ULONG>(block);
    type->formattype = V_FORMAT_WaveFormatEx;
    type->cbFormat = sizeof(V_WAVEFORMATEX);
    type->pbFormat = static_cast<V_BYTE*>(V_CoTaskMemAlloc(sizeof(V_WAVEFORMATEX)));
    if (type->pbFormat == nullptr) return V_E_OUTOFMEMORY;
    V_WAVEFORMATEX format{};
    format.wFormatTag = V_WAVE_FORMAT_PCM;
    format.nChannels = static_cast<V_WORD>(channels);
    format.nSamplesPerSec = static_cast<V_DWORD>(rate);
    format.nAvgBytesPerSec = static_cast<V_DWORD>(rate * block);
    format.nBlockAlign = static_cast<V_WORD>(block);
    format.wBitsPerSample = 16;
    std::memcpy(type->pbFormat, &format, sizeof(format));
    return V_S_OK;
}

// ---------------------------------------------------------------- pins

StreamPin::StreamPin(StreamFilter* filter, int index, V_PIN_DIRECTION direction,
                     const V_WCHAR* name)
    : m_Filter(filter), m_Index(index), m_Direction(direction) {
    V_CopyWideName(m_Name, name);
}

StreamPin::~StreamPin() { ClearConnection(); }

V_HRESULT StreamPin::QueryInterface(const V_GUID& iid, void** object) {
    if (object == nullptr) return V_E_POINTER;
    *object = nullptr;
    if (iid == V_IID_IUnknown || iid == V_IID_IPin)
        *object = static_cast<V_IPin*>(this);
    else if (iid == V_IID_IMemInputPin && m_Direction == V_PINDIR_INPUT)
        *object = static_cast<V_IMemInputPin*>(this);
    else
        return V_E_NOINTERFACE;
    AddRef();
    return V_S_OK;
}

V_ULONG StreamPin::AddRef() { return m_Filter->AddRef(); }
V_ULONG StreamPin::Release() { return m_Filter->Release(); }

void StreamPin::ClearConnection() {
    if (m_PeerInput != nullptr) m_PeerInput->Release();
    if (m_Peer != nullptr) m_Peer->Release();
    if (m_Allocator != nullptr) {
        m_Allocator->Decommit();
        m_Allocator->Release();
    }
    m_PeerInput = nullptr;
    m_Peer = nullptr;
    m_Allocator = nullptr;
    V_FreeMediaType(m_Type);
    m_Type = V_AM_MEDIA_TYPE{};
}

V_HRESULT StreamPin::TryConnect(V_IPin* receivePin, const V_AM_MEDIA_TYPE* type) {
    if (V_FAILED(receivePin->ReceiveConnection(this, type))) return V_VFW_E_TYPE_NOT_ACCEPTED;
    m_Peer = receivePin;
    m_Peer->AddRef();
    V_CopyMediaType(&m_Type, type);
    V_HRESULT hr = DecideAllocator();
    if (V_FAILED(hr)) {
        receivePin->Disconnect();
        ClearConnection();
        return hr;
    }
    return V_S_OK;
}

V_HRESULT StreamPin::Connect(V_IPin* receivePin, const V_AM_MEDIA_TYPE* type) {
    if (receivePin == nullptr) return V_E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_Filter->Lock());
    if (m_Direction != V_PINDIR_OUTPUT) return V_E_UNEXPECTED;
    if (m_Peer != nullptr) return V_VFW_E_ALREADY_CONNECTED;
    if (m_Filter->State() != V_State_Stopped) return V_VFW_E_NOT_STOPPED;
    V_PIN_DIRECTION direction;
    if (V_FAILED(receivePin->QueryDirection(&direction)) || direction != V_PINDIR_INPUT)
        return V_VFW_E_INVALID_DIRECTION;
    for (int position = 0;; ++position) {
        V_AM_MEDIA_TYPE offered{};
        if (m_Filter->GetPinType(m_Index, position, &offered) != V_S_OK) break;
        bool wanted = type == nullptr ||
                      ((type->majortype == V_GUID_NULL || type->majortype == offered.majortype) &&
                       (type->subtype == V_GUID_NULL || type->subtype == offered.subtype));
        V_HRESULT hr = wanted ? TryConnect(receivePin, &offered) : V_VFW_E_TYPE_NOT_ACCEPTED;
        V_FreeMediaType(offered);
        if (V_SUCCEEDED(hr)) return hr;
    }
    return V_VFW_E_NO_ACCEPTABLE_TYPES;
}

V_HRESULT StreamPin::DecideAllocator() {
    if (m_Peer->QueryInterface(V_IID_IMemInputPin, reinterpret_cast<void**>(&m_PeerInput)) !=
        V_S_OK) {
        m_PeerInput = nullptr;
        return V_E_NOINTERFACE;
    }
    V_ALLOCATOR_PROPERTIES wanted{1, 1, 1, 0};
    m_Filter->GetAllocatorNeeds(m_Index, &wanted);
    V_ALLOCATOR_PROPERTIES downstream{};
    if (V_SUCCEEDED(m_PeerInput->GetAllocatorRequirements(&downstream))) {
        if (downstream.cBuffers > wanted.cBuffers) wanted.cBuffers = downstream.cBuffers;
        if (downstream.cbAlign > wanted.cbAlign) wanted.cbAlign = downstream.cbAlign;
        wanted.cbPrefix = downstream.cbPrefix;
    }
    // The downstream pin's allocator first, then one of ours.
    for (int attempt = 0; attempt < 2; ++attempt) {
        V_IMemAllocator* allocator = nullptr;
        V_HRESULT hr = attempt == 0 ? m_PeerInput->GetAllocator(&allocator)
                                    : V_CreateMemoryAllocatorObject(
                                          &V_IID_IMemAllocator,
                                          reinterpret_cast<void**>(&allocator));
        if (V_FAILED(hr) || allocator == nullptr) continue;
        V_ALLOCATOR_PROPERTIES actual{};
        if (V_SUCCEEDED(allocator->SetProperties(&wanted, &actual)) &&
            actual.cbBuffer >= wanted.cbBuffer &&
            V_SUCCEEDED(m_PeerInput->NotifyAllocator(allocator, V_FALSE))) {
            m_Allocator = allocator;
            return V_S_OK;
        }
        allocator->Release();
    }
    return V_VFW_E_NO_ALLOCATOR;
}

V_HRESULT StreamPin::ReceiveConnection(V_IPin* connector, const V_AM_MEDIA_TYPE* type) {
    if (connector == nullptr || type == nullptr) return V_E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_Filter->Lock());
    if (m_Direction != V_PINDIR_INPUT) return V_E_UNEXPECTED;
    if (m_Peer != nullptr) return V_VFW_E_ALREADY_CONNECTED;
    if (m_Filter->State() != V_State_Stopped) return V_VFW_E_NOT_STOPPED;
    V_HRESULT hr = m_Filter->CheckPinConnection(m_Index, type, connector);
    if (hr != V_S_OK) return V_FAILED(hr) ? hr : V_VFW_E_TYPE_NOT_ACCEPTED;
    m_Peer = connector;
    m_Peer->AddRef();
    V_CopyMediaType(&m_Type, type);
    return V_S_OK;
}

V_HRESULT StreamPin::Disconnect() {
    std::lock_guard<std::recursive_mutex> guard(m_Filter->Lock());
    if (m_Filter->State() != V_State_Stopped) return V_VFW_E_NOT_STOPPED;
    if (m_Peer == nullptr) return V_S_FALSE;
    m_Filter->BreakPinConnection(m_Index);
    ClearConnection();
    return V_S_OK;
}

V_HRESULT StreamPin::ConnectedTo(V_IPin** pin) {
    if (pin == nullptr) return V_E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_Filter->Lock());
    *pin = m_Peer;
    if (m_Peer == nullptr) return V_VFW_E_NOT_CONNECTED;
    m_Peer->AddRef();
    return V_S_OK;
}

V_HRESULT StreamPin::ConnectionMediaType(V_AM_MEDIA_TYPE* type) {
    if (type == nullptr) return V_E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_Filter->Lock());
    if (m_Peer == nullptr) {
        *type = V_AM_MEDIA_TYPE{};
        return V_VFW_E_NOT_CONNECTED;
    }
    return V_CopyMediaType(type, &m_Type);
}

V_HRESULT StreamPin::QueryPinInfo(V_PIN_INFO* info) {
    if (info == nullptr) return V_E_POINTER;
    info->pFilter = m_Filter;
    m_Filter->AddRef();
    info->dir = m_Direction;
    V_CopyWideName(info->achName, m_Name);
    return V_S_OK;
}

V_HRESULT StreamPin::QueryDirection(V_PIN_DIRECTION* direction) {
    if (direction == nullptr) return V_E_POINTER;
    *direction = m_Direction;
    return V_S_OK;
}

V_HRESULT StreamPin::QueryAccept(const V_AM_MEDIA_TYPE* type) {
    if (type == nullptr) return V_E_POINTER;
    if (m_Direction == V_PINDIR_INPUT) {
        std::lock_guard<std::recursive_mutex> guard(m_Filter->Lock());
        return m_Peer != nullptr && type->majortype == m_Type.majortype &&
                       type->subtype == m_Type.subtype
                   ? V_S_OK
                   : V_S_FALSE;
    }
    return V_S_FALSE;
}

V_HRESULT StreamPin::EnumMediaTypes(V_IEnumMediaTypes** types) {
    if (types == nullptr) return V_E_POINTER;
    std::vector<V_AM_MEDIA_TYPE> offered;
    if (m_Direction == V_PINDIR_OUTPUT) {
        for (int position = 0; position < 8; ++position) {
            V_AM_MEDIA_TYPE type{};
            if (m_Filter->GetPinType(m_Index, position, &type) != V_S_OK) break;
            offered.push_back(type);
        }
    }
    *types = MakeTypeEnumerator(offered.data(), static_cast<int>(offered.size()));
    for (V_AM_MEDIA_TYPE& type : offered) V_FreeMediaType(type);
    return *types == nullptr ? V_E_OUTOFMEMORY : V_S_OK;
}

V_HRESULT StreamPin::EndOfStream() {
    return m_Direction == V_PINDIR_INPUT ? m_Filter->ReceiveEndOfStream(m_Index) : V_E_UNEXPECTED;
}
V_HRESULT StreamPin::BeginFlush() {
    return m_Direction == V_PINDIR_INPUT ? m_Filter->ReceiveFlush(m_Index, true) : V_E_UNEXPECTED;
}
V_HRESULT StreamPin::EndFlush() {
    return m_Direction == V_PINDIR_INPUT ? m_Filter->ReceiveFlush(m_Index, false)
                                         : V_E_UNEXPECTED;
}
V_HRESULT StreamPin::NewSegment(V_REFERENCE_TIME, V_REFERENCE_TIME, double) { return V_S_OK; }

V_HRESULT StreamPin::GetAllocator(V_IMemAllocator** allocator) {
    if (allocator == nullptr) return V_E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_Filter->Lock());
    if (m_Allocator == nullptr) {
        V_HRESULT hr = V_CreateMemoryAllocatorObject(&V_IID_IMemAllocator,
                                                     reinterpret_cast<void**>(&m_Allocator));
        if (V_FAILED(hr)) return hr;
    }
    *allocator = m_Allocator;
    m_Allocator->AddRef();
    return V_S_OK;
}

V_HRESULT StreamPin::NotifyAllocator(V_IMemAllocator* allocator, V_BOOL) {
    if (allocator == nullptr) return V_E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_Filter->Lock());
    allocator->AddRef();
    if (m_Allocator != nullptr) m_Allocator->Release();
    m_Allocator = allocator;
    return V_S_OK;
}

V_HRESULT StreamPin::GetAllocatorRequirements(V_ALLOCATOR_PROPERTIES*) { return V_E_NOTIMPL; }

V_HRESULT StreamPin::Receive(V_IMediaSample* sample) {
    if (sample == nullptr) return V_E_POINTER;
    return m_Filter->ReceiveSample(m_Index, sample);
}

V_HRESULT StreamPin::ReceiveCanBlock() { return V_S_FALSE; }

// ---------------------------------------------------------------- filters

StreamFilter::StreamFilter(const V_GUID& classId, const V_WCHAR* name) : m_ClassId(classId) {
    V_CopyWideName(m_Name, name);
}

StreamFilter::~StreamFilter() {
    if (m_Clock != nullptr) m_Clock->Release();
    for (int i = 0; i < m_PinCount; ++i) delete m_Pins[i];
}

void StreamFilter::SetPins(StreamPin* first, StreamPin* second) {
    m_Pins[0] = first;
    m_Pins[1] = second;
    m_PinCount = second != nullptr ? 2 : 1;
}

V_HRESULT StreamFilter::QueryInterface(const V_GUID& iid, void** object) {
    if (object == nullptr) return V_E_POINTER;
    *object = nullptr;
    if (iid == V_IID_IUnknown || iid == V_IID_IPersist || iid == V_IID_IMediaFilter ||
        iid == V_IID_IBaseFilter) {
        *object = static_cast<V_IBaseFilter*>(this);
        AddRef();
        return V_S_OK;
    }
    return V_E_NOINTERFACE;
}

V_ULONG StreamFilter::AddRef() { return static_cast<V_ULONG>(++m_cRef); }

V_ULONG StreamFilter::Release() {
    long left = --m_cRef;
    if (left == 0) delete this;
    return static_cast<V_ULONG>(left);
}

V_HRESULT StreamFilter::GetClassID(V_GUID* classId) {
    if (classId == nullptr) return V_E_POINTER;
    *classId = m_ClassId;
    return V_S_OK;
}

V_FILTER_STATE StreamFilter::State() {
    std::lock_guard<std::recursive_mutex> guard(m_Lock);
    return m_State;
}

V_HRESULT StreamFilter::Stop() {
    std::lock_guard<std::recursive_mutex> guard(m_Lock);
    V_FILTER_STATE from = m_State;
    if (from == V_State_Stopped) return V_S_OK;
    m_State = V_State_Stopped;
    return OnStateChange(from, V_State_Stopped);
}

V_HRESULT StreamFilter::Pause() {
    std::lock_guard<std::recursive_mutex> guard(m_Lock);
    V_FILTER_STATE from = m_State;
    if (from == V_State_Paused) return V_S_OK;
    m_State = V_State_Paused;
    return OnStateChange(from, V_State_Paused);
}

V_HRESULT StreamFilter::Run(V_REFERENCE_TIME start) {
    std::lock_guard<std::recursive_mutex> guard(m_Lock);
    m_Start = start;
    V_FILTER_STATE from = m_State;
    if (from == V_State_Stopped) {
        m_State = V_State_Paused;
        V_HRESULT hr = OnStateChange(from, V_State_Paused);
        if (V_FAILED(hr)) return hr;
        from = V_State_Paused;
    }
    if (from == V_State_Running) return V_S_OK;
    m_State = V_State_Running;
    return OnStateChange(from, V_State_Running);
}

V_HRESULT StreamFilter::GetState(V_DWORD, V_FILTER_STATE* state) {
    if (state == nullptr) return V_E_POINTER;
    *state = State();
    return V_S_OK;
}

V_HRESULT StreamFilter::SetSyncSource(V_IReferenceClock* clock) {
    std::lock_guard<std::recursive_mutex> guard(m_Lock);
    if (clock != nullptr) clock->AddRef();
    if (m_Clock != nullptr) m_Clock->Release();
    m_Clock = clock;
    return V_S_OK;
}

V_HRESULT StreamFilter::GetSyncSource(V_IReferenceClock** clock) {
    if (clock == nullptr) return V_E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_Lock);
    *clock = m_Clock;
    if (m_Clock != nullptr) m_Clock->AddRef();
    return V_S_OK;
}

V_HRESULT StreamFilter::EnumPins(V_IEnumPins** pins) {
    if (pins == nullptr) return V_E_POINTER;
    V_IPin* list[2] = {m_Pins[0], m_Pins[1]};
    *pins = MakePinEnumerator(list, m_PinCount);
    return *pins == nullptr ? V_E_OUTOFMEMORY : V_S_OK;
}

V_HRESULT StreamFilter::FindPin(const V_WCHAR* id, V_IPin** pin) {
    if (pin == nullptr) return V_E_POINTER;
    *pin = nullptr;
    for (int i = 0; i < m_PinCount; ++i) {
        V_PIN_INFO info{};
        m_Pins[i]->QueryPinInfo(&info);
        info.pFilter->Release();
        if (V_WideNamesEqual(info.achName, id)) {
            *pin = m_Pins[i];
            m_Pins[i]->AddRef();
            return V_S_OK;
        }
    }
    return V_VFW_E_NOT_FOUND;
}

V_HRESULT StreamFilter::QueryFilterInfo(V_FILTER_INFO* info) {
    if (info == nullptr) return V_E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_Lock);
    V_CopyWideName(info->achName, m_Name);
    info->pGraph = m_Graph;
    if (m_Graph != nullptr) m_Graph->AddRef();
    return V_S_OK;
}

V_HRESULT StreamFilter::JoinFilterGraph(V_IFilterGraph* graph, const V_WCHAR* name) {
    std::lock_guard<std::recursive_mutex> guard(m_Lock);
    m_Graph = graph;
    m_Sink = nullptr;
    if (graph != nullptr) {
        if (V_FAILED(graph->QueryInterface(V_IID_IMediaEventSink,
                                           reinterpret_cast<void**>(&m_Sink))))
            m_Sink = nullptr;
        // The sink is the graph itself: holding it would keep the graph alive.
        if (m_Sink != nullptr) m_Sink->Release();
        V_CopyWideName(m_Name, name);
    }
    return V_S_OK;
}

void StreamFilter::NotifyGraph(long code, intptr_t param1, intptr_t param2) {
    V_IMediaEventSink* sink;
    {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        sink = m_Sink;
    }
    if (sink != nullptr) sink->Notify(code, param1, param2);
}

V_HRESULT StreamFilter::GetPinType(int, int, V_AM_MEDIA_TYPE*) { return V_VFW_S_NO_MORE_ITEMS; }
V_HRESULT StreamFilter::CheckPinConnection(int, const V_AM_MEDIA_TYPE*, V_IPin*) {
    return V_S_FALSE;
}
void StreamFilter::BreakPinConnection(int) {}
void StreamFilter::GetAllocatorNeeds(int, V_ALLOCATOR_PROPERTIES*) {}
V_HRESULT StreamFilter::ReceiveSample(int, V_IMediaSample*) { return V_E_UNEXPECTED; }
V_HRESULT StreamFilter::ReceiveEndOfStream(int) { return V_S_OK; }
V_HRESULT StreamFilter::ReceiveFlush(int, bool) { return V_S_OK; }
V_HRESULT StreamFilter::OnStateChange(V_FILTER_STATE, V_FILTER_STATE) { return V_S_OK; }

}  // namespace dshow
