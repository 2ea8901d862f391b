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
      m_evChange(V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr)),
      m_evComplete(V_CreateEventA(nullptr, V_TRUE, V_TRUE, nullptr)) {
    if (hr != nullptr && (m_evChange == nullptr || m_evComplete == nullptr))
        *hr = V_E_OUTOFMEMORY;
}

V_CBaseRenderer::~V_CBaseRenderer() {
    Stop();
    if (m_RenderClock != nullptr) m_RenderClock->Release();
    delete m_pInputPin;
    if (m_evChange != nullptr) V_CloseHandle(m_evChange);
    if (m_evComplete != nullptr) V_CloseHandle(m_evComplete);
}

void V_CBaseRenderer::SetStateComplete(bool complete) {
    if (m_evComplete == nullptr) return;
    if (complete)
        V_SetEvent(m_evComplete);
    else
        V_ResetEvent(m_evComplete);
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
        SetStateComplete(true);
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
        // The pause is complete with the first sample; at once when nothing can come.
        SetStateComplete(V_FAILED(hr) || m_pInputPin == nullptr ||
                         !m_pInputPin->IsConnected());
    } else if (from == V_State_Running) {
        // The frame on show stays: the next one waits for the run.
        m_bPrerolled = true;
        SetStateComplete(true);
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
        SetStateComplete(true);
        SignalChange();
    }
    // An end of stream that came while paused completes the graph once it runs.
    if (complete) NotifyEvent(V_EC_COMPLETE, V_S_OK, 0);
    return hr;
}

V_HRESULT V_CBaseRenderer::GetState(V_DWORD timeout, V_FILTER_STATE* state) {
    V_HRESULT hr = V_CBaseFilter::GetState(timeout, state);
    if (V_FAILED(hr) || *state != V_State_Paused) return hr;
    // Waited for without a lock: the streaming thread completes the pause.
    return V_WaitForSingleObject(m_evComplete, timeout) == V_WAIT_OBJECT_0
               ? V_S_OK
               : V_VFW_S_STATE_INTERMEDIATE;
}

V_HRESULT V_CBaseRenderer::Receive(V_IMediaSample* sample) {
    bool preroll = false;
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
                    preroll = true;
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
    if (preroll) {
        // The first sample of the pause is shown: the pause is complete (unless a flush
        // began meanwhile and waits for the next one).
        V_CAutoLock state(&m_RendererLock);
        if (m_RenderState == V_State_Paused && m_bPrerolled) SetStateComplete(true);
    }
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
        SetStateComplete(true);
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
    // A flush while paused (a seek) waits for the first sample of the new position.
    if (m_RenderState == V_State_Paused) SetStateComplete(false);
    SignalChange();
    return V_S_OK;
}

V_HRESULT V_CBaseRenderer::EndFlush() {
    V_CAutoLock state(&m_RendererLock);
    m_bPrerolled = false;
    return V_S_OK;
}
