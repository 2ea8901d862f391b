// The base renderer: one input pin, samples shown at their time on the graph's clock, the
// first sample shown while paused, the end of the stream reported to the graph.
#include "movie/dshow_base.h"

namespace {

constexpr V_WCHAR kInputName[] = u"In";

}  // namespace

// ---------------------------------------------------------------- input pin

V_CRendererInputPin::V_CRendererInputPin(V_CBaseRenderer* renderer, V_HRESULT* hr,
                                         const V_WCHAR* name)
    : V_CBaseInputPin("Renderer input pin", renderer, renderer->InterfaceLock(), hr, name),
      m_pRenderer(renderer) {}

V_HRESULT V_CRendererInputPin::CheckMediaType(const V_CMediaType* type) {
    return m_pRenderer->CheckMediaType(type);
}

V_HRESULT V_CRendererInputPin::SetMediaType(const V_CMediaType* type) {
    V_HRESULT hr = V_CBaseInputPin::SetMediaType(type);
    if (V_FAILED(hr)) return hr;
    return m_pRenderer->SetMediaType(type);
}

V_HRESULT V_CRendererInputPin::Receive(V_IMediaSample* sample) {
    V_HRESULT hr = V_CBaseInputPin::Receive(sample);
    if (hr != V_S_OK) return hr;
    return m_pRenderer->Receive(sample);
}

V_HRESULT V_CRendererInputPin::EndOfStream() { return m_pRenderer->EndOfStream(); }

V_HRESULT V_CRendererInputPin::BeginFlush() {
    V_CBaseInputPin::BeginFlush();
    return m_pRenderer->BeginFlush();
}

V_HRESULT V_CRendererInputPin::EndFlush() {
    m_pRenderer->EndFlush();
    return V_CBaseInputPin::EndFlush();
}

V_HRESULT V_CRendererInputPin::BreakConnect() {
    m_pRenderer->BreakConnect();
    return V_CBaseInputPin::BreakConnect();
}

// ---------------------------------------------------------------- renderer

V_CBaseRenderer::V_CBaseRenderer(const V_GUID& classId, const char* name, V_IUnknown* outer,
                                 V_HRESULT* hr)
    : V_CBaseFilter(name, outer, &m_InterfaceLock, classId),
      m_evChange(V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr)) {
    if (hr != nullptr && m_evChange == nullptr) *hr = V_E_OUTOFMEMORY;
}

V_CBaseRenderer::~V_CBaseRenderer() {
    Stop();
    if (m_RenderClock != nullptr) m_RenderClock->Release();
    delete m_pInputPin;
    if (m_evChange != nullptr) V_CloseHandle(m_evChange);
}

V_CBasePin* V_CBaseRenderer::GetPin(int n) {
    if (n != 0) return nullptr;
    V_CAutoLock lock(&m_InterfaceLock);
    if (m_pInputPin == nullptr) {
        V_HRESULT hr = V_S_OK;
        m_pInputPin = new V_CRendererInputPin(this, &hr, kInputName);
    }
    return m_pInputPin;
}

V_HRESULT V_CBaseRenderer::Stop() {
    V_CAutoLock lock(&m_InterfaceLock);
    {
        V_CAutoLock state(&m_RendererLock);
        m_RenderState = V_State_Stopped;
        m_bPrerolled = false;
        m_bEOS = false;
        m_bEOSDelivered = false;
        SignalChange();
    }
    return V_CBaseFilter::Stop();
}

V_HRESULT V_CBaseRenderer::Pause() {
    V_CAutoLock lock(&m_InterfaceLock);
    V_FILTER_STATE from = m_State;
    V_HRESULT hr = V_CBaseFilter::Pause();
    V_CAutoLock state(&m_RendererLock);
    m_RenderState = m_State;
    if (from == V_State_Stopped) {
        m_bPrerolled = false;
        m_bEOS = false;
        m_bEOSDelivered = false;
    } else if (from == V_State_Running) {
        // The frame on show stays: the next one waits for the run.
        m_bPrerolled = true;
    }
    SignalChange();
    return hr;
}

V_HRESULT V_CBaseRenderer::Run(V_REFERENCE_TIME start) {
    V_CAutoLock lock(&m_InterfaceLock);
    V_HRESULT hr = V_CBaseFilter::Run(start);
    bool complete;
    {
        V_CAutoLock state(&m_RendererLock);
        m_RenderState = m_State;
        m_RenderStart = start;
        if (m_RenderClock != nullptr) m_RenderClock->Release();
        m_RenderClock = m_pClock;
        if (m_RenderClock != nullptr) m_RenderClock->AddRef();
        complete = m_bEOS && !m_bEOSDelivered;
        if (complete) m_bEOSDelivered = true;
        SignalChange();
    }
    // An end of stream that came while paused completes the graph once it runs.
    if (complete) NotifyEvent(V_EC_COMPLETE, V_S_OK, 0);
    return hr;
}

V_HRESULT V_CBaseRenderer::Receive(V_IMediaSample* sample) {
    for (;;) {
        V_DWORD waitMs = 0;
        {
            V_CAutoLock state(&m_RendererLock);
            if (m_RenderState == V_State_Stopped) return V_VFW_E_WRONG_STATE;
            if (m_pInputPin->IsFlushing() || m_bEOS) return V_S_FALSE;
            if (m_RenderState == V_State_Paused) {
                if (m_bPrerolled) {
                    waitMs = V_INFINITE;
                } else {
                    m_bPrerolled = true;
                }
            } else if (m_RenderClock != nullptr) {
                V_REFERENCE_TIME start = 0, stop = 0, now = 0;
                if (V_SUCCEEDED(sample->GetTime(&start, &stop)) &&
                    V_SUCCEEDED(m_RenderClock->GetTime(&now))) {
                    V_REFERENCE_TIME due = m_RenderStart + start - now;
                    if (due > 0) waitMs = static_cast<V_DWORD>((due + 9999) / 10000);
                }
            }
            if (waitMs != 0) V_ResetEvent(m_evChange);
        }
        if (waitMs == 0) break;
        // Woken by a state change or a flush: look again. Timed out: the sample is due.
        if (V_WaitForSingleObject(m_evChange, waitMs) == V_WAIT_TIMEOUT) {
            V_CAutoLock state(&m_RendererLock);
            if (m_RenderState == V_State_Running && !m_pInputPin->IsFlushing() && !m_bEOS) break;
        }
    }
    V_HRESULT hr = DoRenderSample(sample);
    OnRenderDone(sample);
    return V_SUCCEEDED(hr) ? V_S_OK : hr;
}

V_HRESULT V_CBaseRenderer::EndOfStream() {
    bool complete;
    {
        V_CAutoLock state(&m_RendererLock);
        if (m_RenderState == V_State_Stopped || m_pInputPin->IsFlushing() || m_bEOS) return V_S_OK;
        m_bEOS = true;
        complete = m_RenderState == V_State_Running;
        if (complete) m_bEOSDelivered = true;
        SignalChange();
    }
    if (complete) NotifyEvent(V_EC_COMPLETE, V_S_OK, 0);
    return V_S_OK;
}

V_HRESULT V_CBaseRenderer::BeginFlush() {
    V_CAutoLock state(&m_RendererLock);
    m_bEOS = false;
    m_bEOSDelivered = false;
    m_bPrerolled = false;
    SignalChange();
    return V_S_OK;
}

V_HRESULT V_CBaseRenderer::EndFlush() {
    V_CAutoLock state(&m_RendererLock);
    m_bPrerolled = false;
    return V_S_OK;
}
