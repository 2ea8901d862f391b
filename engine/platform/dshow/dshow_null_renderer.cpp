// The platform's null renderer: takes every sample of any type and drops it; its end of
// stream completes the graph.
#include <new>

#include "platform/dshow/dshow_filter.h"

namespace dshow {

namespace {

constexpr V_WCHAR kInputName[] = u"In";
constexpr V_WCHAR kFilterName[] = u"Null Renderer";

class NullRenderer : public StreamFilter {
public:
    NullRenderer() : StreamFilter(V_CLSID_NullRenderer, kFilterName) {
        SetPins(new StreamPin(this, 0, V_PINDIR_INPUT, kInputName), nullptr);
    }

    V_HRESULT CheckPinConnection(int, const V_AM_MEDIA_TYPE*, V_IPin*) override { return V_S_OK; }

    V_HRESULT ReceiveSample(int, V_IMediaSample*) override {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        if (m_State == V_State_Stopped) return V_VFW_E_WRONG_STATE;
        return m_Flushing || m_Ended ? V_S_FALSE : V_S_OK;
    }

    V_HRESULT ReceiveEndOfStream(int) override {
        {
            std::lock_guard<std::recursive_mutex> guard(m_Lock);
            if (m_State == V_State_Stopped || m_Flushing || m_Ended) return V_S_OK;
            m_Ended = true;
        }
        NotifyGraph(V_EC_COMPLETE, V_S_OK, reinterpret_cast<intptr_t>(this));
        return V_S_OK;
    }

    V_HRESULT ReceiveFlush(int, bool begin) override {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        m_Flushing = begin;
        m_Ended = false;
        return V_S_OK;
    }

    V_HRESULT OnStateChange(V_FILTER_STATE from, V_FILTER_STATE to) override {
        if (from == V_State_Stopped || to == V_State_Stopped) m_Ended = false;
        return V_S_OK;
    }

private:
    bool m_Flushing = false;
    bool m_Ended = false;
};

}  // namespace

StreamFilter* CreateNullRenderer() { return new (std::nothrow) NullRenderer(); }

}  // namespace dshow

V_HRESULT V_CreateNullRendererObject(const V_GUID* interfaceId, void** object) {
    dshow::StreamFilter* filter = dshow::CreateNullRenderer();
    if (filter == nullptr) return V_E_OUTOFMEMORY;
    filter->AddRef();
    V_HRESULT hr = filter->QueryInterface(*interfaceId, object);
    filter->Release();
    return hr;
}
