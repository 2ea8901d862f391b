// Base filter, media type records, reference counting and the pin and type enumerators of
// the library's filter base classes.
#include <cstring>
#include <new>
#include <vector>

#include "movie/dshow_base.h"

// ---------------------------------------------------------------- objects

V_ULONG V_CUnknown::NonDelegatingAddRef() { return static_cast<V_ULONG>(++m_cRef); }

V_ULONG V_CUnknown::NonDelegatingRelease() {
    long left = --m_cRef;
    if (left == 0) {
        // A guard count so that releases made by the destructor do not delete again.
        m_cRef = 1;
        delete this;
        return 0;
    }
    return static_cast<V_ULONG>(left);
}

V_HRESULT V_GetInterface(V_IUnknown* unknown, void** object) {
    if (object == nullptr) return V_E_POINTER;
    *object = unknown;
    unknown->AddRef();
    return V_S_OK;
}

// ---------------------------------------------------------------- media types

V_CMediaType::V_CMediaType() : V_AM_MEDIA_TYPE{} { InitMediaType(); }
V_CMediaType::V_CMediaType(const V_AM_MEDIA_TYPE& type) : V_AM_MEDIA_TYPE{} { Set(type); }
V_CMediaType::V_CMediaType(const V_CMediaType& type) : V_AM_MEDIA_TYPE{} { Set(type); }
V_CMediaType::~V_CMediaType() { V_FreeMediaType(*this); }

V_CMediaType& V_CMediaType::operator=(const V_AM_MEDIA_TYPE& type) {
    if (&type != this) Set(type);
    return *this;
}

V_CMediaType& V_CMediaType::operator=(const V_CMediaType& type) {
    if (&type != this) Set(type);
    return *this;
}

V_HRESULT V_CMediaType::Set(const V_AM_MEDIA_TYPE& type) {
    if (&type == this) return V_S_OK;
    V_FreeMediaType(*this);
    V_HRESULT hr = V_CopyMediaType(this, &type);
    if (V_FAILED(hr)) InitMediaType();
    return hr;
}

void V_CMediaType::InitMediaType() {
    V_FreeMediaType(*this);
    *static_cast<V_AM_MEDIA_TYPE*>(this) = V_AM_MEDIA_TYPE{};
    bFixedSizeSamples = V_TRUE;
    lSampleSize = 1;
}

V_BYTE* V_CMediaType::AllocFormatBuffer(V_ULONG length) {
    V_CoTaskMemFree(pbFormat);
    pbFormat = static_cast<V_BYTE*>(V_CoTaskMemAlloc(length));
    cbFormat = pbFormat != nullptr ? length : 0;
    if (pbFormat != nullptr) std::memset(pbFormat, 0, length);
    return pbFormat;
}

bool V_CMediaType::MatchesPartial(const V_CMediaType* partial) const {
    if (!(partial->majortype == V_GUID_NULL) && !(partial->majortype == majortype)) return false;
    if (!(partial->subtype == V_GUID_NULL) && !(partial->subtype == subtype)) return false;
    if (!(partial->formattype == V_GUID_NULL)) {
        if (!(partial->formattype == formattype) || partial->cbFormat != cbFormat) return false;
        if (cbFormat != 0 && std::memcmp(partial->pbFormat, pbFormat, cbFormat) != 0)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- enumerators

namespace {

// The pins of a library filter, taken when the enumerator is made.
class PinEnumerator : public V_IEnumPins {
public:
    explicit PinEnumerator(V_CBaseFilter* filter) {
        for (int i = 0; i < filter->GetPinCount(); ++i) {
            V_CBasePin* pin = filter->GetPin(i);
            if (pin == nullptr) continue;
            pin->AddRef();
            m_Pins.push_back(pin);
        }
    }
    virtual ~PinEnumerator() {
        for (V_IPin* pin : m_Pins) pin->Release();
    }
    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override {
        if (object == nullptr) return V_E_POINTER;
        *object = nullptr;
        if (!(iid == V_IID_IUnknown || iid == V_IID_IEnumPins)) return V_E_NOINTERFACE;
        return V_GetInterface(this, object);
    }
    V_ULONG AddRef() override { return static_cast<V_ULONG>(++m_cRef); }
    V_ULONG Release() override {
        long left = --m_cRef;
        if (left == 0) delete this;
        return static_cast<V_ULONG>(left);
    }
    V_HRESULT Next(V_ULONG count, V_IPin** pins, V_ULONG* fetched) override {
        if (pins == nullptr) return V_E_POINTER;
        V_ULONG n = 0;
        while (n < count && m_Position < m_Pins.size()) {
            pins[n] = m_Pins[m_Position++];
            pins[n++]->AddRef();
        }
        if (fetched != nullptr) *fetched = n;
        return n == count ? V_S_OK : V_S_FALSE;
    }
    V_HRESULT Skip(V_ULONG count) override {
        m_Position += count;
        return m_Position <= m_Pins.size() ? V_S_OK : V_S_FALSE;
    }
    V_HRESULT Reset() override {
        m_Position = 0;
        return V_S_OK;
    }

private:
    std::vector<V_IPin*> m_Pins;
    size_t m_Position = 0;
    std::atomic<long> m_cRef{0};
};

// The media types a library pin offers, asked of the pin position by position.
class TypeEnumerator : public V_IEnumMediaTypes {
public:
    explicit TypeEnumerator(V_CBasePin* pin) : m_Pin(pin) { m_Pin->AddRef(); }
    virtual ~TypeEnumerator() { m_Pin->Release(); }
    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override {
        if (object == nullptr) return V_E_POINTER;
        *object = nullptr;
        if (!(iid == V_IID_IUnknown || iid == V_IID_IEnumMediaTypes)) return V_E_NOINTERFACE;
        return V_GetInterface(this, object);
    }
    V_ULONG AddRef() override { return static_cast<V_ULONG>(++m_cRef); }
    V_ULONG Release() override {
        long left = --m_cRef;
        if (left == 0) delete this;
        return static_cast<V_ULONG>(left);
    }
    V_HRESULT Next(V_ULONG count, V_AM_MEDIA_TYPE** types, V_ULONG* fetched) override {
        if (types == nullptr) return V_E_POINTER;
        V_ULONG n = 0;
        while (n < count) {
            V_CMediaType type;
            if (m_Pin->GetMediaType(m_Position, &type) != V_S_OK) break;
            ++m_Position;
            types[n] = V_CreateMediaType(&type);
            if (types[n] == nullptr) break;
            ++n;
        }
        if (fetched != nullptr) *fetched = n;
        return n == count ? V_S_OK : V_S_FALSE;
    }
    V_HRESULT Skip(V_ULONG count) override {
        m_Position += static_cast<int>(count);
        return V_S_OK;
    }
    V_HRESULT Reset() override {
        m_Position = 0;
        return V_S_OK;
    }

private:
    V_CBasePin* m_Pin;
    int m_Position = 0;
    std::atomic<long> m_cRef{0};
};

}  // namespace

V_HRESULT V_CBasePin::EnumMediaTypes(V_IEnumMediaTypes** types) {
    if (types == nullptr) return V_E_POINTER;
    auto* e = new (std::nothrow) TypeEnumerator(this);
    *types = e;
    if (e == nullptr) return V_E_OUTOFMEMORY;
    e->AddRef();
    return V_S_OK;
}

// ---------------------------------------------------------------- filters

V_CBaseFilter::V_CBaseFilter(const char* name, V_IUnknown*, V_CCritSec* lock,
                             const V_GUID& classId)
    : V_CUnknown(name), m_clsid(classId), m_pLock(lock) {}

V_CBaseFilter::~V_CBaseFilter() {
    if (m_pClock != nullptr) m_pClock->Release();
}

V_HRESULT V_CBaseFilter::NonDelegatingQueryInterface(const V_GUID& iid, void** object) {
    if (object == nullptr) return V_E_POINTER;
    *object = nullptr;
    if (iid == V_IID_IUnknown || iid == V_IID_IBaseFilter || iid == V_IID_IMediaFilter ||
        iid == V_IID_IPersist)
        return V_GetInterface(static_cast<V_IBaseFilter*>(this), object);
    return V_E_NOINTERFACE;
}

V_HRESULT V_CBaseFilter::GetClassID(V_GUID* classId) {
    if (classId == nullptr) return V_E_POINTER;
    *classId = m_clsid;
    return V_S_OK;
}

V_HRESULT V_CBaseFilter::Stop() {
    V_CAutoLock lock(m_pLock);
    V_HRESULT result = V_S_OK;
    if (m_State != V_State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            V_CBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                V_HRESULT hr = pin->Inactive();
                if (V_FAILED(hr) && V_SUCCEEDED(result)) result = hr;
            }
        }
    }
    m_State = V_State_Stopped;
    return result;
}

V_HRESULT V_CBaseFilter::Pause() {
    V_CAutoLock lock(m_pLock);
    if (m_State == V_State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            V_CBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                V_HRESULT hr = pin->Active();
                if (V_FAILED(hr)) return hr;
            }
        }
    }
    m_State = V_State_Paused;
    return V_S_OK;
}

V_HRESULT V_CBaseFilter::Run(V_REFERENCE_TIME start) {
    V_CAutoLock lock(m_pLock);
    m_tStart = start;
    if (m_State == V_State_Stopped) {
        V_HRESULT hr = Pause();
        if (V_FAILED(hr)) return hr;
    }
    if (m_State != V_State_Running) {
        for (int i = 0; i < GetPinCount(); ++i) {
            V_CBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                V_HRESULT hr = pin->Run(start);
                if (V_FAILED(hr)) return hr;
            }
        }
    }
    m_State = V_State_Running;
    return V_S_OK;
}

V_HRESULT V_CBaseFilter::GetState(V_DWORD, V_FILTER_STATE* state) {
    if (state == nullptr) return V_E_POINTER;
    V_CAutoLock lock(m_pLock);
    *state = m_State;
    return V_S_OK;
}

V_HRESULT V_CBaseFilter::SetSyncSource(V_IReferenceClock* clock) {
    V_CAutoLock lock(m_pLock);
    if (clock != nullptr) clock->AddRef();
    if (m_pClock != nullptr) m_pClock->Release();
    m_pClock = clock;
    return V_S_OK;
}

V_HRESULT V_CBaseFilter::GetSyncSource(V_IReferenceClock** clock) {
    if (clock == nullptr) return V_E_POINTER;
    V_CAutoLock lock(m_pLock);
    *clock = m_pClock;
    if (m_pClock != nullptr) m_pClock->AddRef();
    return V_S_OK;
}

V_HRESULT V_CBaseFilter::EnumPins(V_IEnumPins** pins) {
    if (pins == nullptr) return V_E_POINTER;
    auto* e = new (std::nothrow) PinEnumerator(this);
    *pins = e;
    if (e == nullptr) return V_E_OUTOFMEMORY;
    e->AddRef();
    return V_S_OK;
}

V_HRESULT V_CBaseFilter::FindPin(const V_WCHAR* id, V_IPin** pin) {
    if (pin == nullptr) return V_E_POINTER;
    *pin = nullptr;
    for (int i = 0; i < GetPinCount(); ++i) {
        V_CBasePin* candidate = GetPin(i);
        if (candidate != nullptr && V_WideNamesEqual(candidate->Name(), id)) {
            *pin = candidate;
            candidate->AddRef();
            return V_S_OK;
        }
    }
    return V_VFW_E_NOT_FOUND;
}

V_HRESULT V_CBaseFilter::QueryFilterInfo(V_FILTER_INFO* info) {
    if (info == nullptr) return V_E_POINTER;
    V_CopyWideName(info->achName, m_pName);
    info->pGraph = m_pGraph;
    if (m_pGraph != nullptr) m_pGraph->AddRef();
    return V_S_OK;
}

V_HRESULT V_CBaseFilter::JoinFilterGraph(V_IFilterGraph* graph, const V_WCHAR* name) {
    V_CAutoLock lock(m_pLock);
    m_pGraph = graph;
    m_pSink = nullptr;
    if (graph != nullptr) {
        V_IMediaEventSink* sink = nullptr;
        if (V_SUCCEEDED(graph->QueryInterface(V_IID_IMediaEventSink,
                                              reinterpret_cast<void**>(&sink)))) {
            m_pSink = sink;
            sink->Release();
        }
        V_CopyWideName(m_pName, name);
    } else {
        m_pName[0] = 0;
    }
    return V_S_OK;
}

bool V_CBaseFilter::IsActive() {
    V_CAutoLock lock(m_pLock);
    return m_State != V_State_Stopped;
}

bool V_CBaseFilter::IsStopped() {
    V_CAutoLock lock(m_pLock);
    return m_State == V_State_Stopped;
}

V_HRESULT V_CBaseFilter::NotifyEvent(long code, intptr_t param1, intptr_t param2) {
    V_IMediaEventSink* sink = m_pSink;
    if (sink == nullptr) return V_E_NOTIMPL;
    if (code == V_EC_COMPLETE && param2 == 0)
        param2 = reinterpret_cast<intptr_t>(static_cast<V_IBaseFilter*>(this));
    return sink->Notify(code, param1, param2);
}
