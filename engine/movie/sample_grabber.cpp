// The sample grabber: an in-place transform that hands each sample to the caller's callback,
// optionally limited to one media type, optionally delivering into the caller's buffer.
#include <new>

#include "movie/dshow_filters.h"

// ---------------------------------------------------------------- allocator over the buffer

SampleGrabberAllocator::~SampleGrabberAllocator() {
    std::lock_guard<std::mutex> guard(m_Lock);
    Free();
}

V_HRESULT SampleGrabberAllocator::SetProperties(V_ALLOCATOR_PROPERTIES* request,
                                                V_ALLOCATOR_PROPERTIES* actual) {
    if (request == nullptr || actual == nullptr) return V_E_POINTER;
    const V_ALLOCATOR_PROPERTIES& own = m_pPin->m_allocprops;
    if (request->cbAlign != own.cbAlign) return V_VFW_E_BADALIGN;
    if (request->cbPrefix != own.cbPrefix || request->cBuffers > own.cBuffers ||
        request->cbBuffer > own.cbBuffer)
        return V_E_FAIL;
    V_ALLOCATOR_PROPERTIES taken = own;
    V_HRESULT hr = V_CBaseAllocator::SetProperties(&taken, actual);
    if (V_SUCCEEDED(hr)) *actual = own;
    return hr;
}

V_HRESULT SampleGrabberAllocator::GetProperties(V_ALLOCATOR_PROPERTIES* properties) {
    if (properties == nullptr) return V_E_POINTER;
    *properties = m_pPin->m_allocprops;
    return V_S_OK;
}

V_HRESULT SampleGrabberAllocator::Alloc() {
    DeleteFreeSamples();
    const V_ALLOCATOR_PROPERTIES& p = m_pPin->m_allocprops;
    long align = p.cbAlign > 0 ? p.cbAlign : 1;
    long step = (p.cbBuffer + align - 1) / align * align;
    V_BYTE* at = m_pPin->m_pBuffer;
    if (at == nullptr) return V_E_POINTER;
    for (long i = 0; i < p.cBuffers; ++i) {
        auto* sample = new (std::nothrow) V_CMediaSample(this, at + p.cbPrefix, p.cbBuffer);
        if (sample == nullptr) {
            DeleteFreeSamples();
            return V_E_OUTOFMEMORY;
        }
        AddFreeSample(sample);
        at += step;
    }
    return V_S_OK;
}

void SampleGrabberAllocator::Free() { DeleteFreeSamples(); }

// ---------------------------------------------------------------- input pin

SampleGrabberInputPin::SampleGrabberInputPin(V_CSampleGrabber* filter, V_HRESULT* hr)
    : V_CTransInPlaceInputPin("SampleGrabberInputPin", filter, hr, u"Input") {}

SampleGrabberInputPin::~SampleGrabberInputPin() {
    if (m_pPrivateAllocator != nullptr) m_pPrivateAllocator->Release();
}

V_HRESULT SampleGrabberInputPin::GetAllocator(V_IMemAllocator** allocator) {
    if (m_pPrivateAllocator == nullptr) return V_CTransInPlaceInputPin::GetAllocator(allocator);
    if (allocator == nullptr) return V_E_POINTER;
    *allocator = m_pPrivateAllocator;
    m_pPrivateAllocator->AddRef();
    return V_S_OK;
}

V_HRESULT SampleGrabberInputPin::NotifyAllocator(V_IMemAllocator* allocator, V_BOOL readOnly) {
    if (m_pPrivateAllocator != nullptr &&
        allocator != static_cast<V_IMemAllocator*>(m_pPrivateAllocator))
        return V_E_FAIL;
    return V_CTransInPlaceInputPin::NotifyAllocator(allocator, readOnly);
}

V_HRESULT SampleGrabberInputPin::GetAllocatorRequirements(V_ALLOCATOR_PROPERTIES* properties) {
    if (properties == nullptr) return V_E_POINTER;
    if (m_pPrivateAllocator == nullptr) return V_E_NOTIMPL;
    *properties = m_allocprops;
    return V_S_OK;
}

V_HRESULT SampleGrabberInputPin::SetMediaType(const V_CMediaType* type) {
    m_bMediaTypeChanged = true;
    return V_CTransInPlaceInputPin::SetMediaType(type);
}

V_HRESULT SampleGrabberInputPin::SetDeliveryBuffer(V_ALLOCATOR_PROPERTIES properties,
                                                   V_BYTE* buffer) {
    if (properties.cBuffers != 1 || buffer == nullptr) return V_E_INVALIDARG;
    if (properties.cbBuffer <= 0 || properties.cbPrefix < 0) return V_E_INVALIDARG;
    if (m_pPrivateAllocator != nullptr) {
        m_pPrivateAllocator->Release();
        m_pPrivateAllocator = nullptr;
    }
    m_allocprops = properties;
    if (m_allocprops.cbAlign <= 0) m_allocprops.cbAlign = 1;
    m_pBuffer = buffer;
    m_pPrivateAllocator = new (std::nothrow) SampleGrabberAllocator(this);
    if (m_pPrivateAllocator == nullptr) return V_E_OUTOFMEMORY;
    m_pPrivateAllocator->AddRef();
    return V_S_OK;
}

V_BOOL SampleGrabberInputPin::TakeTypeChanged() {
    return m_bMediaTypeChanged.exchange(false) ? V_TRUE : V_FALSE;
}

// ---------------------------------------------------------------- filter

V_CSampleGrabber::V_CSampleGrabber(V_IUnknown* outer, V_HRESULT* hr)
    : V_CTransInPlaceFilter("SampleGrabber", outer, V_CLSID_SampleGrabber, hr) {
    m_pInput = new (std::nothrow) SampleGrabberInputPin(this, hr);
    if (m_pInput == nullptr && hr != nullptr) *hr = V_E_OUTOFMEMORY;
    m_mtAccept.majortype = V_GUID_NULL;
}

V_CSampleGrabber::~V_CSampleGrabber() = default;

V_HRESULT V_CSampleGrabber::NonDelegatingQueryInterface(const V_GUID& iid, void** object) {
    if (object == nullptr) return V_E_POINTER;
    if (iid == V_IID_ISampleGrabber)
        return V_GetInterface(static_cast<V_ISampleGrabber*>(this), object);
    return V_CTransInPlaceFilter::NonDelegatingQueryInterface(iid, object);
}

V_HRESULT V_CSampleGrabber::CheckInputType(const V_CMediaType* type) {
    if (type == nullptr) return V_E_POINTER;
    V_CAutoLock lock(&m_Lock);
    if (m_mtAccept.majortype == V_GUID_NULL) return V_S_OK;
    if (!(m_mtAccept.majortype == type->majortype)) return V_VFW_E_INVALID_MEDIA_TYPE;
    if (m_mtAccept.subtype == V_GUID_NULL) return V_S_OK;
    if (!(m_mtAccept.subtype == type->subtype)) return V_VFW_E_INVALID_MEDIA_TYPE;
    if (m_mtAccept.formattype == V_GUID_NULL) return V_S_OK;
    if (!(m_mtAccept.formattype == type->formattype)) return V_VFW_E_INVALID_MEDIA_TYPE;
    return V_S_OK;
}

V_HRESULT V_CSampleGrabber::Receive(V_IMediaSample* sample) {
    if (sample == nullptr) return V_E_POINTER;
    // Every sample here belongs to the media stream (the platform has no others), so the
    // in-place path serves: copy when the allocators differ, the callback, the delivery.
    return V_CTransInPlaceFilter::Receive(sample);
}

V_HRESULT V_CSampleGrabber::Transform(V_IMediaSample* sample) {
    if (sample == nullptr) return V_E_POINTER;
    V_CAutoLock lock(&m_Lock);
    if (m_callback == nullptr) return V_S_OK;
    V_REFERENCE_TIME start = 0, stop = 0;
    sample->GetTime(&start, &stop);
    V_REFERENCE_TIME segment = m_pInput->CurrentStartTime();
    start += segment;
    stop += segment;
    auto* input = static_cast<SampleGrabberInputPin*>(m_pInput);
    return m_callback(sample, &start, &stop, input->TakeTypeChanged(), m_pUser);
}

V_HRESULT V_CSampleGrabber::SetAcceptedMediaType(const V_AM_MEDIA_TYPE* type) {
    V_CAutoLock lock(&m_Lock);
    if (type == nullptr) {
        m_mtAccept.InitMediaType();
        m_mtAccept.majortype = V_GUID_NULL;
        return V_S_OK;
    }
    return m_mtAccept.Set(*type);
}

V_HRESULT V_CSampleGrabber::GetConnectedMediaType(V_AM_MEDIA_TYPE* type) {
    if (type == nullptr) return V_E_POINTER;
    if (m_pInput == nullptr || !m_pInput->IsConnected()) return V_VFW_E_NOT_CONNECTED;
    return m_pInput->ConnectionMediaType(type);
}

V_HRESULT V_CSampleGrabber::SetCallback(SampleGrabberCallback callback, void* user) {
    V_CAutoLock lock(&m_Lock);
    m_callback = callback;
    m_pUser = user;
    return V_S_OK;
}

V_HRESULT V_CSampleGrabber::SetDeliveryBuffer(V_ALLOCATOR_PROPERTIES properties,
                                              V_BYTE* buffer) {
    if (GetPin(0) == nullptr || GetPin(1) == nullptr) return V_E_POINTER;
    if (m_pInput->IsConnected() || m_pOutput->IsConnected()) return V_E_INVALIDARG;
    return static_cast<SampleGrabberInputPin*>(m_pInput)->SetDeliveryBuffer(properties, buffer);
}

V_CSampleGrabber* CreateSampleGrabber(V_HRESULT* hr) {
    V_HRESULT result = V_S_OK;
    auto* grabber = new (std::nothrow) V_CSampleGrabber(nullptr, &result);
    if (grabber != nullptr && V_FAILED(result)) {
        delete grabber;
        grabber = nullptr;
    }
    if (hr != nullptr) *hr = grabber != nullptr ? V_S_OK : V_E_OUTOFMEMORY;
    return grabber;
}
