// The request queue of the asynchronous reader: requests wait in order, a worker thread reads
// them from the stream and moves them to the completed list, and callers collect them.
#include <new>

#include "movie/dshow_filters.h"

struct AsyncRequestQueue::PendingRead {
    PendingRead* next = nullptr;
    int64_t position = 0;
    long length = 0;
    bool aligned = false;
    V_BYTE* buffer = nullptr;
    void* context = nullptr;  // the media sample
    uintptr_t user = 0;
    V_HRESULT hr = V_VFW_E_TIMEOUT;  // until completed
};

namespace {

// A stream reports with this that its data started again (the sample is a discontinuity).
constexpr V_HRESULT kStreamRestarted = 0x00040000;

template <class Item>
void Append(Item** list, Item* item) {
    item->next = nullptr;
    while (*list != nullptr) list = &(*list)->next;
    *list = item;
}

template <class Item>
Item* TakeFirst(Item** list) {
    Item* first = *list;
    if (first != nullptr) *list = first->next;
    return first;
}

}  // namespace

AsyncRequestQueue::AsyncRequestQueue(V_CAsyncStream* stream)
    : m_pStream(stream),
      m_evWork(V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr)),
      m_evDone(V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr)),
      m_evAllDone(V_CreateEventA(nullptr, V_FALSE, V_FALSE, nullptr)),
      m_evStop(V_CreateEventA(nullptr, V_TRUE, V_FALSE, nullptr)) {}

AsyncRequestQueue::~AsyncRequestQueue() {
    StopThread();
    for (PendingRead** list : {&m_pWaiting, &m_pCompleted})
        while (PendingRead* r = TakeFirst(list)) delete r;
    for (V_HANDLE event : {m_evWork, m_evDone, m_evAllDone, m_evStop})
        if (event != nullptr) V_CloseHandle(event);
}

bool AsyncRequestQueue::IsValid() const {
    return m_evWork != nullptr && m_evDone != nullptr && m_evAllDone != nullptr &&
           m_evStop != nullptr;
}

V_DWORD AsyncRequestQueue::Alignment() {
    V_DWORD align = m_pStream != nullptr ? m_pStream->Alignment() : 1;
    return align == 0 ? 1 : align;
}

bool AsyncRequestQueue::IsAligned(int64_t value) {
    return value % static_cast<int64_t>(Alignment()) == 0;
}

V_HRESULT AsyncRequestQueue::Length(int64_t* total, int64_t* available) {
    if (total == nullptr || available == nullptr) return V_E_POINTER;
    if (m_pStream == nullptr) return V_E_UNEXPECTED;
    return m_pStream->Size(total, available);
}

V_HRESULT AsyncRequestQueue::StartThread() {
    if (m_hThread != nullptr) return V_S_OK;
    V_ResetEvent(m_evStop);
    V_DWORD id = 0;
    m_hThread = V_CreateThread(nullptr, 0, &AsyncRequestQueue::ThreadProc, this, 0, &id);
    return m_hThread != nullptr ? V_S_OK : V_E_OUTOFMEMORY;
}

void AsyncRequestQueue::StopThread() {
    if (m_hThread == nullptr) return;
    V_SetEvent(m_evStop);
    V_WaitForSingleObject(m_hThread, V_INFINITE);
    V_CloseHandle(m_hThread);
    m_hThread = nullptr;
}

V_DWORD AsyncRequestQueue::ThreadProc(void* queue) {
    static_cast<AsyncRequestQueue*>(queue)->ProcessRequests();
    return 0;
}

void AsyncRequestQueue::ProcessRequests() {
    const V_HANDLE events[2] = {m_evStop, m_evWork};
    for (;;) {
        if (V_WaitForMultipleObjects(2, events, V_FALSE, V_INFINITE) != V_WAIT_OBJECT_0 + 1)
            return;
        for (;;) {
            PendingRead* request;
            {
                V_CAutoLock lock(&m_csLists);
                request = TakeFirst(&m_pWaiting);
                if (m_pWaiting == nullptr) V_ResetEvent(m_evWork);
                if (request == nullptr) break;
                ++m_cItemsOut;
            }
            Complete(request);
            V_CAutoLock lock(&m_csLists);
            Append(&m_pCompleted, request);
            V_SetEvent(m_evDone);
            if (--m_cItemsOut == 0 && m_bWaiting) V_SetEvent(m_evAllDone);
        }
    }
}

void AsyncRequestQueue::Complete(PendingRead* request) {
    V_CAutoLock lock(&m_csReader);
    V_HRESULT hr = m_pStream->SetPointer(request->position);
    if (hr != V_S_OK) {
        // A position beyond the data: nothing read.
        request->length = 0;
        request->hr = V_FAILED(hr) ? hr : V_S_FALSE;
        return;
    }
    V_DWORD read = 0;
    hr = m_pStream->Read(request->buffer, static_cast<V_DWORD>(request->length),
                         request->aligned ? V_TRUE : V_FALSE, &read);
    if (hr == kStreamRestarted) {
        if (request->context != nullptr)
            static_cast<V_IMediaSample*>(request->context)->SetDiscontinuity(V_TRUE);
        hr = V_S_OK;
    }
    if (V_FAILED(hr)) {
        request->hr = hr;
    } else if (read < static_cast<V_DWORD>(request->length)) {
        request->length = static_cast<long>(read);
        request->hr = V_S_FALSE;
    } else {
        request->hr = V_S_OK;
    }
}

V_HRESULT AsyncRequestQueue::Request(int64_t position, long length, bool aligned,
                                     V_BYTE* buffer, void* context, uintptr_t user) {
    if (aligned && (!IsAligned(position) || !IsAligned(length) ||
                    !IsAligned(static_cast<int64_t>(reinterpret_cast<uintptr_t>(buffer)))))
        return V_VFW_E_BADALIGN;
    if (length < 0) return V_E_INVALIDARG;
    auto* request = new (std::nothrow) struct PendingRead;
    if (request == nullptr) return V_E_OUTOFMEMORY;
    request->position = position;
    request->length = length;
    request->aligned = aligned;
    request->buffer = buffer;
    request->context = context;
    request->user = user;
    V_CAutoLock lock(&m_csLists);
    if (m_bFlushing) {
        delete request;
        return V_VFW_E_WRONG_STATE;
    }
    V_HRESULT hr = StartThread();
    if (V_FAILED(hr)) {
        delete request;
        return hr;
    }
    Append(&m_pWaiting, request);
    V_SetEvent(m_evWork);
    return V_S_OK;
}

V_HRESULT AsyncRequestQueue::WaitForNext(V_DWORD timeout, void** context, uintptr_t* user,
                                         long* actual) {
    *context = nullptr;
    *user = 0;
    *actual = 0;
    for (;;) {
        if (V_WaitForSingleObject(m_evDone, timeout) == V_WAIT_TIMEOUT) return V_VFW_E_TIMEOUT;
        V_CAutoLock lock(&m_csLists);
        PendingRead* request = TakeFirst(&m_pCompleted);
        if (request != nullptr) {
            // Callers keep returning at once while flushing.
            if (m_pCompleted == nullptr && !m_bFlushing) V_ResetEvent(m_evDone);
            V_HRESULT hr = request->hr;
            *context = request->context;
            *user = request->user;
            *actual = request->length;
            delete request;
            return hr;
        }
        if (m_bFlushing && !m_bWaiting) return V_VFW_E_WRONG_STATE;
        if (!m_bFlushing) V_ResetEvent(m_evDone);
    }
}

V_HRESULT AsyncRequestQueue::SyncReadAligned(int64_t position, long length, V_BYTE* buffer,
                                             long* actual, void* context) {
    if (!IsAligned(position) || !IsAligned(length) ||
        !IsAligned(static_cast<int64_t>(reinterpret_cast<uintptr_t>(buffer))))
        return V_VFW_E_BADALIGN;
    if (length < 0) return V_E_INVALIDARG;
    PendingRead request;
    request.position = position;
    request.length = length;
    request.aligned = true;
    request.buffer = buffer;
    request.context = context;
    Complete(&request);
    *actual = request.length;
    return request.hr;
}

V_HRESULT AsyncRequestQueue::SyncRead(int64_t position, long length, V_BYTE* buffer) {
    if (buffer == nullptr) return V_E_POINTER;
    if (length < 0) return V_E_INVALIDARG;
    PendingRead request;
    request.position = position;
    request.length = length;
    request.buffer = buffer;
    Complete(&request);
    return request.hr;
}

V_HRESULT AsyncRequestQueue::BeginFlush() {
    {
        V_CAutoLock lock(&m_csLists);
        m_bFlushing = true;
        // Waiting requests are handed back unread (their result stays VFW_E_TIMEOUT).
        while (PendingRead* request = TakeFirst(&m_pWaiting)) Append(&m_pCompleted, request);
        V_ResetEvent(m_evWork);
        if (m_cItemsOut > 0) {
            m_bWaiting = true;
            V_ResetEvent(m_evAllDone);
        }
    }
    // The worker's requests in hand are finished before the flush goes on.
    for (;;) {
        {
            V_CAutoLock lock(&m_csLists);
            if (m_cItemsOut == 0) {
                m_bWaiting = false;
                break;
            }
        }
        V_WaitForSingleObject(m_evAllDone, 100);
    }
    V_SetEvent(m_evDone);
    return V_S_OK;
}

V_HRESULT AsyncRequestQueue::EndFlush() {
    V_CAutoLock lock(&m_csLists);
    m_bFlushing = false;
    if (m_pCompleted != nullptr)
        V_SetEvent(m_evDone);
    else
        V_ResetEvent(m_evDone);
    return V_S_OK;
}
