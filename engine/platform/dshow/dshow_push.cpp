// The streaming thread of the platform's source and decoder filters.
#include "platform/dshow/dshow_filter.h"

namespace dshow {

PushFilter::~PushFilter() { StopStreaming(); }

void PushFilter::UnblockStreaming(bool) {}

V_HRESULT PushFilter::OnStateChange(V_FILTER_STATE from, V_FILTER_STATE to) {
    StreamPin* output = OutputPin();
    if (to == V_State_Stopped) {
        StopStreaming();
        return V_S_OK;
    }
    if (from != V_State_Stopped || !output->IsConnected() || output->Allocator() == nullptr)
        return V_S_OK;
    V_HRESULT hr = output->Allocator()->Commit();
    if (V_FAILED(hr)) return hr;
    {
        std::lock_guard<std::mutex> guard(m_ThreadLock);
        m_StopRequested = false;
        m_SeekPending = false;
    }
    m_Thread = std::thread(&PushFilter::StreamingLoop, this);
    return V_S_OK;
}

void PushFilter::StopStreaming() {
    if (!m_Thread.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(m_ThreadLock);
        m_StopRequested = true;
        m_ThreadWake.notify_all();
    }
    // A thread waiting for a buffer or a read is woken by these.
    StreamPin* output = OutputPin();
    if (output->Allocator() != nullptr) output->Allocator()->Decommit();
    UnblockStreaming(true);
    m_Thread.join();
    UnblockStreaming(false);
    // The next start begins the data again from the top.
    m_StartSeek = true;
    m_SeekTarget = 0;
}

void PushFilter::RequestSeek(V_REFERENCE_TIME position) {
    StreamPin* output = OutputPin();
    std::unique_lock<std::mutex> guard(m_ThreadLock);
    if (!m_Thread.joinable()) {
        m_StartSeek = true;
        m_SeekTarget = position;
        return;
    }
    guard.unlock();
    // The flush frees a downstream pin that holds the thread in a delivery; it begins before
    // the thread is told, so that the thread's end of the flush always comes after it.
    if (output->Peer() != nullptr) output->Peer()->BeginFlush();
    guard.lock();
    m_SeekTarget = position;
    m_SeekPending = true;
    m_SeekDone = false;
    m_ThreadWake.notify_all();
    m_ThreadWake.wait(guard, [this] { return m_SeekDone || m_StopRequested; });
}

V_IMediaSample* PushFilter::GetDeliveryBuffer() {
    V_IMemAllocator* allocator = OutputPin()->Allocator();
    V_IMediaSample* sample = nullptr;
    if (allocator == nullptr || V_FAILED(allocator->GetBuffer(&sample, nullptr, nullptr, 0)))
        return nullptr;
    return sample;
}

V_HRESULT PushFilter::Deliver(V_IMediaSample* sample) {
    V_IMemInputPin* input = OutputPin()->PeerInput();
    return input != nullptr ? input->Receive(sample) : V_VFW_E_NOT_CONNECTED;
}

V_HRESULT PushFilter::DeliverStamped(V_IMediaSample* sample, V_REFERENCE_TIME start,
                                     V_REFERENCE_TIME stop, long length) {
    sample->SetTime(&start, &stop);
    sample->SetActualDataLength(length);
    sample->SetSyncPoint(V_TRUE);
    V_HRESULT hr = Deliver(sample);
    sample->Release();
    return hr == V_S_OK ? V_S_OK : (V_FAILED(hr) ? hr : V_E_ABORT);
}

void PushFilter::StreamingLoop() {
    StreamPin* output = OutputPin();
    bool ended = false;
    {
        std::lock_guard<std::mutex> guard(m_ThreadLock);
        if (m_StartSeek) {
            SeekData(m_SeekTarget);
            m_StartSeek = false;
            if (output->Peer() != nullptr) output->Peer()->NewSegment(m_SeekTarget, -1, 1.0);
        }
    }
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(m_ThreadLock);
            if (ended)
                m_ThreadWake.wait(guard, [this] { return m_StopRequested || m_SeekPending; });
            if (m_StopRequested) break;
            if (m_SeekPending) {
                SeekData(m_SeekTarget);
                if (output->Peer() != nullptr) {
                    output->Peer()->EndFlush();
                    output->Peer()->NewSegment(m_SeekTarget, -1, 1.0);
                }
                m_SeekPending = false;
                m_SeekDone = true;
                ended = false;
                m_ThreadWake.notify_all();
            }
        }
        V_HRESULT hr = DeliverNext();
        if (hr == V_S_OK) continue;
        {
            std::lock_guard<std::mutex> guard(m_ThreadLock);
            if (m_StopRequested || m_SeekPending) continue;
        }
        // The end of the data (or of what could be decoded) is the end of the stream. It is
        // sent without the thread lock: a renderer may hold it until its data has been heard,
        // and a seek or stop meanwhile flushes or stops that renderer first.
        if (output->Peer() != nullptr) output->Peer()->EndOfStream();
        ended = true;
    }
}

}  // namespace dshow
