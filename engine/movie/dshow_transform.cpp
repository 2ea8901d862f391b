// The in-place transform filter: samples are worked on where they lie and passed on; the
// output offers the input's type and uses the input's allocator when the downstream pin
// takes it.
#include <cstring>

#include "movie/dshow_base.h"

// ---------------------------------------------------------------- input pin

V_CTransInPlaceInputPin::V_CTransInPlaceInputPin(const char* objectName,
                                                 V_CTransInPlaceFilter* filter, V_HRESULT* hr,
                                                 const V_WCHAR* name)
    : V_CBaseInputPin(objectName, filter, &filter->m_csFilter, hr, name), m_pTIPFilter(filter) {}

V_HRESULT V_CTransInPlaceInputPin::CheckMediaType(const V_CMediaType* type) {
    return m_pTIPFilter->CheckInputType(type);
}

V_HRESULT V_CTransInPlaceInputPin::SetMediaType(const V_CMediaType* type) {
    return V_CBaseInputPin::SetMediaType(type);
}

V_HRESULT V_CTransInPlaceInputPin::Receive(V_IMediaSample* sample) {
    V_CAutoLock lock(&m_pTIPFilter->m_csReceive);
    V_HRESULT hr = V_CBaseInputPin::Receive(sample);
    if (hr != V_S_OK) return hr;
    return m_pTIPFilter->Receive(sample);
}

V_HRESULT V_CTransInPlaceInputPin::EndOfStream() {
    V_CAutoLock lock(&m_pTIPFilter->m_csReceive);
    V_HRESULT hr = CheckStreaming();
    if (hr != V_S_OK) return hr;
    V_CTransInPlaceOutputPin* output = m_pTIPFilter->OutputPin();
    return output != nullptr && output->IsConnected() ? output->DeliverEndOfStream() : V_S_OK;
}

V_HRESULT V_CTransInPlaceInputPin::BeginFlush() {
    V_CBaseInputPin::BeginFlush();
    V_CTransInPlaceOutputPin* output = m_pTIPFilter->OutputPin();
    return output != nullptr && output->IsConnected() ? output->DeliverBeginFlush() : V_S_OK;
}

V_HRESULT V_CTransInPlaceInputPin::EndFlush() {
    V_CTransInPlaceOutputPin* output = m_pTIPFilter->OutputPin();
    if (output != nullptr && output->IsConnected()) output->DeliverEndFlush();
    return V_CBaseInputPin::EndFlush();
}

V_HRESULT V_CTransInPlaceInputPin::NewSegment(V_REFERENCE_TIME start, V_REFERENCE_TIME stop,
                                              double rate) {
    V_CBasePin::NewSegment(start, stop, rate);
    V_CTransInPlaceOutputPin* output = m_pTIPFilter->OutputPin();
    return output != nullptr && output->IsConnected()
               ? output->DeliverNewSegment(start, stop, rate)
               : V_S_OK;
}

// ---------------------------------------------------------------- output pin

V_CTransInPlaceOutputPin::V_CTransInPlaceOutputPin(const char* objectName,
                                                   V_CTransInPlaceFilter* filter,
                                                   V_HRESULT* hr, const V_WCHAR* name)
    : V_CBaseOutputPin(objectName, filter, &filter->m_csFilter, hr, name),
      m_pTIPFilter(filter) {}

V_HRESULT V_CTransInPlaceOutputPin::CheckMediaType(const V_CMediaType* type) {
    V_CTransInPlaceInputPin* input = m_pTIPFilter->InputPin();
    if (input == nullptr || !input->IsConnected()) return V_VFW_E_NOT_CONNECTED;
    const V_CMediaType& in = input->CurrentMediaType();
    return type->majortype == in.majortype && type->subtype == in.subtype &&
                   type->formattype == in.formattype
               ? V_S_OK
               : V_S_FALSE;
}

V_HRESULT V_CTransInPlaceOutputPin::GetMediaType(int position, V_CMediaType* type) {
    V_CTransInPlaceInputPin* input = m_pTIPFilter->InputPin();
    if (position < 0) return V_E_INVALIDARG;
    if (input == nullptr || !input->IsConnected()) return V_VFW_E_NOT_CONNECTED;
    if (position > 0) return V_VFW_S_NO_MORE_ITEMS;
    return type->Set(input->CurrentMediaType());
}

V_HRESULT V_CTransInPlaceOutputPin::DecideAllocator(V_IMemInputPin* pin,
                                                    V_IMemAllocator** allocator) {
    // The upstream samples go on as they are when the downstream pin takes their allocator.
    V_IMemAllocator* upstream = m_pTIPFilter->InputPin()->PeekAllocator();
    if (upstream != nullptr && V_SUCCEEDED(pin->NotifyAllocator(upstream, V_FALSE))) {
        upstream->AddRef();
        *allocator = upstream;
        return V_S_OK;
    }
    return V_CBaseOutputPin::DecideAllocator(pin, allocator);
}

V_HRESULT V_CTransInPlaceOutputPin::DecideBufferSize(V_IMemAllocator* allocator,
                                                     V_ALLOCATOR_PROPERTIES* properties) {
    V_ALLOCATOR_PROPERTIES wanted = *properties;
    V_IMemAllocator* upstream = m_pTIPFilter->InputPin()->PeekAllocator();
    V_ALLOCATOR_PROPERTIES input{};
    if (upstream != nullptr && V_SUCCEEDED(upstream->GetProperties(&input))) {
        if (input.cBuffers > wanted.cBuffers) wanted.cBuffers = input.cBuffers;
        if (input.cbBuffer > wanted.cbBuffer) wanted.cbBuffer = input.cbBuffer;
    }
    if (wanted.cBuffers < 1) wanted.cBuffers = 1;
    if (wanted.cbBuffer < 1) wanted.cbBuffer = 1;
    if (wanted.cbAlign < 1) wanted.cbAlign = 1;
    V_ALLOCATOR_PROPERTIES actual{};
    V_HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (V_FAILED(hr)) return hr;
    return actual.cbBuffer < wanted.cbBuffer ? V_E_FAIL : V_S_OK;
}

// ---------------------------------------------------------------- filter

V_CTransInPlaceFilter::V_CTransInPlaceFilter(const char* name, V_IUnknown* outer,
                                             const V_GUID& classId, V_HRESULT*)
    : V_CBaseFilter(name, outer, &m_csFilter, classId) {}

V_CTransInPlaceFilter::~V_CTransInPlaceFilter() {
    Stop();
    delete m_pInput;
    delete m_pOutput;
}

V_CBasePin* V_CTransInPlaceFilter::GetPin(int n) {
    V_HRESULT hr = V_S_OK;
    if (m_pInput == nullptr) m_pInput = new V_CTransInPlaceInputPin("In-place input", this, &hr, u"Input");
    if (m_pOutput == nullptr)
        m_pOutput = new V_CTransInPlaceOutputPin("In-place output", this, &hr, u"Output");
    if (n == 0) return m_pInput;
    if (n == 1) return m_pOutput;
    return nullptr;
}

bool V_CTransInPlaceFilter::UsingDifferentAllocators() const {
    return m_pInput != nullptr && m_pOutput != nullptr &&
           m_pInput->PeekAllocator() != m_pOutput->Allocator();
}

V_IMediaSample* V_CTransInPlaceFilter::Copy(V_IMediaSample* source) {
    V_IMediaSample* copy = nullptr;
    if (V_FAILED(m_pOutput->GetDeliveryBuffer(&copy, nullptr, nullptr, 0)) || copy == nullptr)
        return nullptr;
    long length = source->GetActualDataLength();
    V_BYTE* from = nullptr;
    V_BYTE* to = nullptr;
    source->GetPointer(&from);
    copy->GetPointer(&to);
    if (length < 0 || length > copy->GetSize() || from == nullptr || to == nullptr) {
        copy->Release();
        return nullptr;
    }
    std::memcpy(to, from, static_cast<size_t>(length));
    copy->SetActualDataLength(length);
    V_REFERENCE_TIME start = 0, stop = 0;
    V_HRESULT timed = source->GetTime(&start, &stop);
    if (timed == V_S_OK)
        copy->SetTime(&start, &stop);
    else if (timed == V_VFW_S_NO_STOP_TIME)
        copy->SetTime(&start, nullptr);
    copy->SetSyncPoint(source->IsSyncPoint() == V_S_OK);
    copy->SetPreroll(source->IsPreroll() == V_S_OK);
    copy->SetDiscontinuity(source->IsDiscontinuity() == V_S_OK);
    V_AM_MEDIA_TYPE* type = nullptr;
    if (source->GetMediaType(&type) == V_S_OK) {
        copy->SetMediaType(type);
        V_DeleteMediaType(type);
    }
    return copy;
}

V_HRESULT V_CTransInPlaceFilter::Receive(V_IMediaSample* sample) {
    bool deliver = m_pOutput != nullptr && m_pOutput->IsConnected();
    V_IMediaSample* work = sample;
    if (deliver && UsingDifferentAllocators()) {
        work = Copy(sample);
        if (work == nullptr) return V_E_UNEXPECTED;
    }
    V_HRESULT hr = Transform(work);
    if (hr == V_S_OK && deliver) hr = m_pOutput->Deliver(work);
    if (work != sample) work->Release();
    return hr;
}
