// The library's base pins: connection and media type agreement, output pins with their
// allocator and delivery, input pins that take samples.
#include "movie/dshow_base.h"

// ---------------------------------------------------------------- base pin

V_CBasePin::V_CBasePin(const char* objectName, V_CBaseFilter* filter, V_CCritSec* lock,
                       V_HRESULT*, const V_WCHAR* name, V_PIN_DIRECTION direction)
    : V_CUnknown(objectName), m_dir(direction), m_pLock(lock), m_pFilter(filter) {
    V_CopyWideName(m_pName, name);
}

V_CBasePin::~V_CBasePin() {
    if (m_Connected != nullptr) m_Connected->Release();
}

V_HRESULT V_CBasePin::NonDelegatingQueryInterface(const V_GUID& iid, void** object) {
    if (object == nullptr) return V_E_POINTER;
    *object = nullptr;
    if (iid == V_IID_IUnknown || iid == V_IID_IPin)
        return V_GetInterface(static_cast<V_IPin*>(this), object);
    return V_E_NOINTERFACE;
}

V_HRESULT V_CBasePin::Connect(V_IPin* receivePin, const V_AM_MEDIA_TYPE* type) {
    if (receivePin == nullptr) return V_E_POINTER;
    V_CAutoLock lock(m_pLock);
    if (m_Connected != nullptr) return V_VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return V_VFW_E_NOT_STOPPED;
    V_CMediaType partial;
    if (type != nullptr) partial = *type;
    V_HRESULT hr = AgreeMediaType(receivePin, type != nullptr ? &partial : nullptr);
    if (V_FAILED(hr)) return hr;
    return V_S_OK;
}

V_HRESULT V_CBasePin::AgreeMediaType(V_IPin* receivePin, const V_CMediaType* partial) {
    // A complete type is tried alone.
    if (partial != nullptr && !(partial->majortype == V_GUID_NULL) &&
        !(partial->subtype == V_GUID_NULL) && !(partial->formattype == V_GUID_NULL))
        return AttemptConnection(receivePin, partial);
    V_HRESULT last = V_VFW_E_NO_ACCEPTABLE_TYPES;
    // The receiving pin's types first, then our own.
    for (int round = 0; round < 2; ++round) {
        V_IEnumMediaTypes* types = nullptr;
        V_HRESULT hr = round == 0 ? receivePin->EnumMediaTypes(&types) : EnumMediaTypes(&types);
        if (V_FAILED(hr) || types == nullptr) continue;
        hr = TryMediaTypes(receivePin, partial, types);
        types->Release();
        if (V_SUCCEEDED(hr)) return V_S_OK;
        if (hr != V_VFW_E_NO_ACCEPTABLE_TYPES) last = hr;
    }
    return last;
}

V_HRESULT V_CBasePin::TryMediaTypes(V_IPin* receivePin, const V_CMediaType* partial,
                                    V_IEnumMediaTypes* types) {
    V_HRESULT last = V_VFW_E_NO_ACCEPTABLE_TYPES;
    types->Reset();
    for (;;) {
        V_AM_MEDIA_TYPE* offered = nullptr;
        V_ULONG fetched = 0;
        if (types->Next(1, &offered, &fetched) != V_S_OK || fetched != 1) break;
        V_CMediaType candidate(*offered);
        V_DeleteMediaType(offered);
        if (partial != nullptr && !candidate.MatchesPartial(partial)) continue;
        V_HRESULT hr = AttemptConnection(receivePin, &candidate);
        if (V_SUCCEEDED(hr)) return hr;
        last = hr;
    }
    return last;
}

V_HRESULT V_CBasePin::AttemptConnection(V_IPin* receivePin, const V_CMediaType* type) {
    V_HRESULT hr = CheckConnect(receivePin);
    if (V_FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(type);
    if (hr != V_S_OK) {
        BreakConnect();
        return V_FAILED(hr) ? hr : V_VFW_E_TYPE_NOT_ACCEPTED;
    }
    m_Connected = receivePin;
    m_Connected->AddRef();
    hr = SetMediaType(type);
    if (V_SUCCEEDED(hr)) {
        hr = receivePin->ReceiveConnection(this, type);
        if (V_SUCCEEDED(hr)) {
            hr = CompleteConnect(receivePin);
            if (V_SUCCEEDED(hr)) return hr;
            receivePin->Disconnect();
        }
    }
    BreakConnect();
    m_Connected->Release();
    m_Connected = nullptr;
    return V_FAILED(hr) ? hr : V_VFW_E_TYPE_NOT_ACCEPTED;
}

V_HRESULT V_CBasePin::ReceiveConnection(V_IPin* connector, const V_AM_MEDIA_TYPE* type) {
    if (connector == nullptr || type == nullptr) return V_E_POINTER;
    V_CAutoLock lock(m_pLock);
    if (m_Connected != nullptr) return V_VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return V_VFW_E_NOT_STOPPED;
    V_HRESULT hr = CheckConnect(connector);
    if (V_FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    V_CMediaType proposed(*type);
    hr = CheckMediaType(&proposed);
    if (hr != V_S_OK) {
        BreakConnect();
        return V_FAILED(hr) ? hr : V_VFW_E_TYPE_NOT_ACCEPTED;
    }
    m_Connected = connector;
    m_Connected->AddRef();
    hr = SetMediaType(&proposed);
    if (V_SUCCEEDED(hr)) {
        hr = CompleteConnect(connector);
        if (V_SUCCEEDED(hr)) return V_S_OK;
    }
    BreakConnect();
    m_Connected->Release();
    m_Connected = nullptr;
    return hr;
}

V_HRESULT V_CBasePin::DisconnectInternal() {
    if (m_Connected == nullptr) return V_S_FALSE;
    V_HRESULT hr = BreakConnect();
    if (V_FAILED(hr)) return hr;
    m_Connected->Release();
    m_Connected = nullptr;
    return V_S_OK;
}

V_HRESULT V_CBasePin::Disconnect() {
    V_CAutoLock lock(m_pLock);
    if (!IsStopped()) return V_VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

V_HRESULT V_CBasePin::ConnectedTo(V_IPin** pin) {
    if (pin == nullptr) return V_E_POINTER;
    V_CAutoLock lock(m_pLock);
    *pin = m_Connected;
    if (m_Connected == nullptr) return V_VFW_E_NOT_CONNECTED;
    m_Connected->AddRef();
    return V_S_OK;
}

V_HRESULT V_CBasePin::ConnectionMediaType(V_AM_MEDIA_TYPE* type) {
    if (type == nullptr) return V_E_POINTER;
    V_CAutoLock lock(m_pLock);
    if (m_Connected == nullptr) {
        *type = V_AM_MEDIA_TYPE{};
        return V_VFW_E_NOT_CONNECTED;
    }
    return V_CopyMediaType(type, &m_mt);
}

V_HRESULT V_CBasePin::QueryPinInfo(V_PIN_INFO* info) {
    if (info == nullptr) return V_E_POINTER;
    info->pFilter = m_pFilter;
    m_pFilter->AddRef();
    info->dir = m_dir;
    V_CopyWideName(info->achName, m_pName);
    return V_S_OK;
}

V_HRESULT V_CBasePin::QueryDirection(V_PIN_DIRECTION* direction) {
    if (direction == nullptr) return V_E_POINTER;
    *direction = m_dir;
    return V_S_OK;
}

V_HRESULT V_CBasePin::QueryAccept(const V_AM_MEDIA_TYPE* type) {
    if (type == nullptr) return V_E_POINTER;
    V_CMediaType proposed(*type);
    V_HRESULT hr = CheckMediaType(&proposed);
    return hr == V_S_OK ? V_S_OK : V_S_FALSE;
}

V_HRESULT V_CBasePin::EndOfStream() { return V_S_OK; }

V_HRESULT V_CBasePin::NewSegment(V_REFERENCE_TIME start, V_REFERENCE_TIME stop, double rate) {
    m_tStart = start;
    m_tStop = stop;
    m_dRate = rate;
    return V_S_OK;
}

V_HRESULT V_CBasePin::SetMediaType(const V_CMediaType* type) { return m_mt.Set(*type); }
V_HRESULT V_CBasePin::GetMediaType(int, V_CMediaType*) { return V_VFW_S_NO_MORE_ITEMS; }

V_HRESULT V_CBasePin::CheckConnect(V_IPin* pin) {
    V_PIN_DIRECTION direction;
    if (V_FAILED(pin->QueryDirection(&direction)) || direction == m_dir)
        return V_VFW_E_INVALID_DIRECTION;
    return V_S_OK;
}

V_HRESULT V_CBasePin::BreakConnect() { return V_S_OK; }
V_HRESULT V_CBasePin::CompleteConnect(V_IPin*) { return V_S_OK; }

// ---------------------------------------------------------------- output pin

V_CBaseOutputPin::V_CBaseOutputPin(const char* objectName, V_CBaseFilter* filter,
                                   V_CCritSec* lock, V_HRESULT* hr, const V_WCHAR* name)
    : V_CBasePin(objectName, filter, lock, hr, name, V_PINDIR_OUTPUT) {}

V_HRESULT V_CBaseOutputPin::CheckConnect(V_IPin* pin) {
    V_HRESULT hr = V_CBasePin::CheckConnect(pin);
    if (V_FAILED(hr)) return hr;
    if (V_FAILED(pin->QueryInterface(V_IID_IMemInputPin,
                                     reinterpret_cast<void**>(&m_pInputPin)))) {
        m_pInputPin = nullptr;
        return V_E_NOINTERFACE;
    }
    return V_S_OK;
}

V_HRESULT V_CBaseOutputPin::CompleteConnect(V_IPin*) {
    return DecideAllocator(m_pInputPin, &m_pAllocator);
}

V_HRESULT V_CBaseOutputPin::BreakConnect() {
    if (m_pAllocator != nullptr) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    if (m_pInputPin != nullptr) {
        m_pInputPin->Release();
        m_pInputPin = nullptr;
    }
    return V_S_OK;
}

V_HRESULT V_CBaseOutputPin::InitAllocator(V_IMemAllocator** allocator) {
    return V_CreateMemoryAllocatorObject(&V_IID_IMemAllocator,
                                         reinterpret_cast<void**>(allocator));
}

V_HRESULT V_CBaseOutputPin::DecideAllocator(V_IMemInputPin* pin, V_IMemAllocator** allocator) {
    *allocator = nullptr;
    V_ALLOCATOR_PROPERTIES properties{};
    pin->GetAllocatorRequirements(&properties);
    if (properties.cbAlign == 0) properties.cbAlign = 1;
    // Sizes the allocator just obtained and hands it to the input pin; drops it on failure.
    auto settle = [&](V_HRESULT hr) {
        if (V_SUCCEEDED(hr)) hr = DecideBufferSize(*allocator, &properties);
        if (V_SUCCEEDED(hr)) hr = pin->NotifyAllocator(*allocator, V_FALSE);
        if (V_SUCCEEDED(hr)) return V_S_OK;
        if (*allocator != nullptr) {
            (*allocator)->Release();
            *allocator = nullptr;
        }
        return hr;
    };
    // The input pin's allocator first, then our own.
    if (settle(pin->GetAllocator(allocator)) == V_S_OK) return V_S_OK;
    return settle(InitAllocator(allocator));
}

V_HRESULT V_CBaseOutputPin::Active() {
    return m_pAllocator != nullptr ? m_pAllocator->Commit() : V_VFW_E_NO_ALLOCATOR;
}

V_HRESULT V_CBaseOutputPin::Inactive() {
    return m_pAllocator != nullptr ? m_pAllocator->Decommit() : V_VFW_E_NO_ALLOCATOR;
}

V_HRESULT V_CBaseOutputPin::GetDeliveryBuffer(V_IMediaSample** sample, V_REFERENCE_TIME* start,
                                              V_REFERENCE_TIME* stop, V_DWORD flags) {
    if (m_pAllocator == nullptr) return V_VFW_E_NO_ALLOCATOR;
    return m_pAllocator->GetBuffer(sample, start, stop, flags);
}

V_HRESULT V_CBaseOutputPin::Deliver(V_IMediaSample* sample) {
    return m_pInputPin != nullptr ? m_pInputPin->Receive(sample) : V_VFW_E_NOT_CONNECTED;
}

V_HRESULT V_CBaseOutputPin::DeliverEndOfStream() {
    return m_Connected != nullptr ? m_Connected->EndOfStream() : V_VFW_E_NOT_CONNECTED;
}

V_HRESULT V_CBaseOutputPin::DeliverBeginFlush() {
    return m_Connected != nullptr ? m_Connected->BeginFlush() : V_VFW_E_NOT_CONNECTED;
}

V_HRESULT V_CBaseOutputPin::DeliverEndFlush() {
    return m_Connected != nullptr ? m_Connected->EndFlush() : V_VFW_E_NOT_CONNECTED;
}

V_HRESULT V_CBaseOutputPin::DeliverNewSegment(V_REFERENCE_TIME start, V_REFERENCE_TIME stop,
                                              double rate) {
    return m_Connected != nullptr ? m_Connected->NewSegment(start, stop, rate)
                                  : V_VFW_E_NOT_CONNECTED;
}

// ---------------------------------------------------------------- input pin

V_CBaseInputPin::V_CBaseInputPin(const char* objectName, V_CBaseFilter* filter,
                                 V_CCritSec* lock, V_HRESULT* hr, const V_WCHAR* name)
    : V_CBasePin(objectName, filter, lock, hr, name, V_PINDIR_INPUT) {}

V_CBaseInputPin::~V_CBaseInputPin() {
    if (m_pAllocator != nullptr) m_pAllocator->Release();
}

V_HRESULT V_CBaseInputPin::NonDelegatingQueryInterface(const V_GUID& iid, void** object) {
    if (iid == V_IID_IMemInputPin) {
        if (object == nullptr) return V_E_POINTER;
        return V_GetInterface(static_cast<V_IMemInputPin*>(this), object);
    }
    return V_CBasePin::NonDelegatingQueryInterface(iid, object);
}

V_HRESULT V_CBaseInputPin::GetAllocator(V_IMemAllocator** allocator) {
    if (allocator == nullptr) return V_E_POINTER;
    V_CAutoLock lock(m_pLock);
    if (m_pAllocator == nullptr) {
        V_HRESULT hr = V_CreateMemoryAllocatorObject(&V_IID_IMemAllocator,
                                                     reinterpret_cast<void**>(&m_pAllocator));
        if (V_FAILED(hr)) return hr;
    }
    *allocator = m_pAllocator;
    m_pAllocator->AddRef();
    return V_S_OK;
}

V_HRESULT V_CBaseInputPin::NotifyAllocator(V_IMemAllocator* allocator, V_BOOL readOnly) {
    if (allocator == nullptr) return V_E_POINTER;
    V_CAutoLock lock(m_pLock);
    allocator->AddRef();
    if (m_pAllocator != nullptr) m_pAllocator->Release();
    m_pAllocator = allocator;
    m_bReadOnly = readOnly != 0;
    return V_S_OK;
}

V_HRESULT V_CBaseInputPin::GetAllocatorRequirements(V_ALLOCATOR_PROPERTIES*) {
    return V_E_NOTIMPL;
}

V_HRESULT V_CBaseInputPin::CheckStreaming() {
    if (m_Connected == nullptr) return V_VFW_E_NOT_CONNECTED;
    if (IsStopped()) return V_VFW_E_WRONG_STATE;
    if (m_bFlushing) return V_S_FALSE;
    if (m_bRunTimeError) return V_VFW_E_RUNTIME_ERROR;
    return V_S_OK;
}

V_HRESULT V_CBaseInputPin::Receive(V_IMediaSample* sample) {
    if (sample == nullptr) return V_E_POINTER;
    V_HRESULT hr = CheckStreaming();
    if (hr != V_S_OK) return hr;
    // A sample that carries a new type changes the connection's type when it is acceptable.
    V_AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == V_S_OK && changed != nullptr) {
        V_CMediaType type(*changed);
        V_DeleteMediaType(changed);
        hr = CheckMediaType(&type);
        if (hr != V_S_OK) {
            m_bRunTimeError = true;
            return V_VFW_E_INVALID_MEDIA_TYPE;
        }
        hr = SetMediaType(&type);
        if (V_FAILED(hr)) return hr;
    }
    return V_S_OK;
}

V_HRESULT V_CBaseInputPin::BeginFlush() {
    m_bFlushing = true;
    return V_S_OK;
}

V_HRESULT V_CBaseInputPin::EndFlush() {
    m_bFlushing = false;
    m_bRunTimeError = false;
    return V_S_OK;
}

V_HRESULT V_CBaseInputPin::BreakConnect() {
    if (m_pAllocator != nullptr) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    return V_S_OK;
}

V_HRESULT V_CBaseInputPin::Inactive() {
    m_bRunTimeError = false;
    m_bFlushing = false;
    return V_S_OK;
}
