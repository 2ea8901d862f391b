// Media type records, wide names, and the samples and memory allocator of the streaming
// services.
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/dshow/dshow.h"

void* V_CoTaskMemAlloc(size_t size) { return std::malloc(size == 0 ? 1 : size); }
void V_CoTaskMemFree(void* memory) { std::free(memory); }

void V_FreeMediaType(V_AM_MEDIA_TYPE& type) {
    V_CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk != nullptr) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void V_DeleteMediaType(V_AM_MEDIA_TYPE* type) {
    if (type == nullptr) return;
    V_FreeMediaType(*type);
    V_CoTaskMemFree(type);
}

V_HRESULT V_CopyMediaType(V_AM_MEDIA_TYPE* target, const V_AM_MEDIA_TYPE* source) {
    if (target == nullptr || source == nullptr) return V_E_POINTER;
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat != nullptr) {
        target->pbFormat = static_cast<V_BYTE*>(V_CoTaskMemAlloc(source->cbFormat));
        if (target->pbFormat == nullptr) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return V_E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->pbFormat = nullptr;
        target->cbFormat = 0;
    }
    if (target->pUnk != nullptr) target->pUnk->AddRef();
    return V_S_OK;
}

V_AM_MEDIA_TYPE* V_CreateMediaType(const V_AM_MEDIA_TYPE* source) {
    auto* type = static_cast<V_AM_MEDIA_TYPE*>(V_CoTaskMemAlloc(sizeof(V_AM_MEDIA_TYPE)));
    if (type == nullptr) return nullptr;
    if (V_FAILED(V_CopyMediaType(type, source))) {
        V_CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

void V_CopyWideName(V_WCHAR* target, const V_WCHAR* source) {
    int i = 0;
    if (source != nullptr)
        for (; i < 127 && source[i] != 0; ++i) target[i] = source[i];
    target[i] = 0;
}

bool V_WideNamesEqual(const V_WCHAR* a, const V_WCHAR* b) {
    if (a == nullptr || b == nullptr) return a == b;
    int i = 0;
    for (; i < 127 && a[i] != 0 && a[i] == b[i]; ++i) {
    }
    return i == 127 || a[i] == b[i];
}

// ---------------------------------------------------------------- samples

V_CMediaSample::V_CMediaSample(V_CBaseAllocator* allocator, V_BYTE* buffer, long length)
    : m_pAllocator(allocator), m_pBuffer(buffer), m_cbBuffer(length) {}

V_CMediaSample::~V_CMediaSample() { V_DeleteMediaType(m_pMediaType); }

V_HRESULT V_CMediaSample::QueryInterface(const V_GUID& iid, void** object) {
    if (object == nullptr) return V_E_POINTER;
    if (iid == V_IID_IUnknown || iid == V_IID_IMediaSample) {
        *object = static_cast<V_IMediaSample*>(this);
        AddRef();
        return V_S_OK;
    }
    *object = nullptr;
    return V_E_NOINTERFACE;
}

V_ULONG V_CMediaSample::AddRef() { return static_cast<V_ULONG>(++m_cRef); }

V_ULONG V_CMediaSample::Release() {
    long left = --m_cRef;
    if (left == 0) {
        if (m_pAllocator != nullptr)
            m_pAllocator->ReleaseBuffer(this);
        else
            delete this;
    }
    return static_cast<V_ULONG>(left < 0 ? 0 : left);
}

V_HRESULT V_CMediaSample::GetPointer(V_BYTE** buffer) {
    if (buffer == nullptr) return V_E_POINTER;
    *buffer = m_pBuffer;
    return V_S_OK;
}

long V_CMediaSample::GetSize() { return m_cbBuffer; }

V_HRESULT V_CMediaSample::GetTime(V_REFERENCE_TIME* start, V_REFERENCE_TIME* end) {
    if (start == nullptr || end == nullptr) return V_E_POINTER;
    if (!m_bTimeValid) return V_VFW_E_SAMPLE_TIME_NOT_SET;
    *start = m_Start;
    *end = m_bStopValid ? m_End : m_Start + 1;
    return m_bStopValid ? V_S_OK : V_VFW_S_NO_STOP_TIME;
}

V_HRESULT V_CMediaSample::SetTime(V_REFERENCE_TIME* start, V_REFERENCE_TIME* end) {
    m_bTimeValid = start != nullptr;
    m_bStopValid = start != nullptr && end != nullptr;
    if (start != nullptr) m_Start = *start;
    if (end != nullptr) m_End = *end;
    return V_S_OK;
}

V_HRESULT V_CMediaSample::IsSyncPoint() { return m_bSyncPoint ? V_S_OK : V_S_FALSE; }
V_HRESULT V_CMediaSample::SetSyncPoint(V_BOOL syncPoint) {
    m_bSyncPoint = syncPoint != 0;
    return V_S_OK;
}
V_HRESULT V_CMediaSample::IsPreroll() { return m_bPreroll ? V_S_OK : V_S_FALSE; }
V_HRESULT V_CMediaSample::SetPreroll(V_BOOL preroll) {
    m_bPreroll = preroll != 0;
    return V_S_OK;
}
long V_CMediaSample::GetActualDataLength() { return m_lActual; }
V_HRESULT V_CMediaSample::SetActualDataLength(long length) {
    if (length < 0 || length > m_cbBuffer) return V_VFW_E_BUFFER_OVERFLOW;
    m_lActual = length;
    return V_S_OK;
}

V_HRESULT V_CMediaSample::GetMediaType(V_AM_MEDIA_TYPE** type) {
    if (type == nullptr) return V_E_POINTER;
    *type = nullptr;
    if (m_pMediaType == nullptr) return V_S_FALSE;
    *type = V_CreateMediaType(m_pMediaType);
    return *type == nullptr ? V_E_OUTOFMEMORY : V_S_OK;
}

V_HRESULT V_CMediaSample::SetMediaType(V_AM_MEDIA_TYPE* type) {
    V_DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
    if (type == nullptr) return V_S_OK;
    m_pMediaType = V_CreateMediaType(type);
    return m_pMediaType == nullptr ? V_E_OUTOFMEMORY : V_S_OK;
}

V_HRESULT V_CMediaSample::IsDiscontinuity() { return m_bDiscontinuity ? V_S_OK : V_S_FALSE; }
V_HRESULT V_CMediaSample::SetDiscontinuity(V_BOOL discontinuity) {
    m_bDiscontinuity = discontinuity != 0;
    return V_S_OK;
}

void V_CMediaSample::SetBuffer(V_BYTE* buffer, long length) {
    m_pBuffer = buffer;
    m_cbBuffer = length;
    if (m_lActual > length) m_lActual = length;
}

void V_CMediaSample::ClearState() {
    m_lActual = 0;
    m_bTimeValid = m_bStopValid = false;
    m_bSyncPoint = m_bPreroll = m_bDiscontinuity = false;
    V_DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
}

// ---------------------------------------------------------------- allocators

V_CBaseAllocator::V_CBaseAllocator() = default;
V_CBaseAllocator::~V_CBaseAllocator() = default;

V_HRESULT V_CBaseAllocator::QueryInterface(const V_GUID& iid, void** object) {
    if (object == nullptr) return V_E_POINTER;
    if (iid == V_IID_IUnknown || iid == V_IID_IMemAllocator) {
        *object = static_cast<V_IMemAllocator*>(this);
        AddRef();
        return V_S_OK;
    }
    *object = nullptr;
    return V_E_NOINTERFACE;
}

V_ULONG V_CBaseAllocator::AddRef() { return static_cast<V_ULONG>(++m_cRef); }

V_ULONG V_CBaseAllocator::Release() {
    long left = --m_cRef;
    if (left == 0) delete this;
    return static_cast<V_ULONG>(left < 0 ? 0 : left);
}

V_HRESULT V_CBaseAllocator::SetProperties(V_ALLOCATOR_PROPERTIES* request,
                                          V_ALLOCATOR_PROPERTIES* actual) {
    if (request == nullptr || actual == nullptr) return V_E_POINTER;
    std::lock_guard<std::mutex> guard(m_Lock);
    if (m_bCommitted) return V_VFW_E_ALREADY_COMMITTED;
    if (m_lAllocated != m_lFree) return V_VFW_E_BUFFERS_OUTSTANDING;
    if (request->cbAlign <= 0 || (request->cbAlign & (request->cbAlign - 1)) != 0)
        return V_VFW_E_BADALIGN;
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0)
        return V_E_INVALIDARG;
    m_Properties = *request;
    m_bPropertiesSet = true;
    *actual = m_Properties;
    return V_S_OK;
}

V_HRESULT V_CBaseAllocator::GetProperties(V_ALLOCATOR_PROPERTIES* properties) {
    if (properties == nullptr) return V_E_POINTER;
    std::lock_guard<std::mutex> guard(m_Lock);
    *properties = m_Properties;
    return V_S_OK;
}

V_HRESULT V_CBaseAllocator::Commit() {
    std::lock_guard<std::mutex> guard(m_Lock);
    if (m_bCommitted) return V_S_OK;
    if (!m_bPropertiesSet || m_Properties.cBuffers <= 0 || m_Properties.cbBuffer <= 0)
        return V_VFW_E_SIZENOTSET;
    m_bDecommitPending = false;
    // Samples of an earlier commit that are all back can be kept when nothing changed.
    if (m_lAllocated == 0 || m_lAllocated != m_lFree) {
        if (m_lAllocated != 0 && m_lAllocated != m_lFree) return V_VFW_E_BUFFERS_OUTSTANDING;
        V_HRESULT hr = Alloc();
        if (V_FAILED(hr)) return hr;
    }
    m_bCommitted = true;
    return V_S_OK;
}

V_HRESULT V_CBaseAllocator::Decommit() {
    std::lock_guard<std::mutex> guard(m_Lock);
    if (!m_bCommitted) return V_S_OK;
    m_bCommitted = false;
    if (m_lFree == m_lAllocated) {
        Free();
    } else {
        m_bDecommitPending = true;
    }
    m_FreeChanged.notify_all();
    return V_S_OK;
}

V_HRESULT V_CBaseAllocator::GetBuffer(V_IMediaSample** sample, V_REFERENCE_TIME*,
                                      V_REFERENCE_TIME*, V_DWORD flags) {
    if (sample == nullptr) return V_E_POINTER;
    *sample = nullptr;
    std::unique_lock<std::mutex> guard(m_Lock);
    for (;;) {
        if (!m_bCommitted) return V_VFW_E_NOT_COMMITTED;
        if (m_pFree != nullptr) break;
        if (flags & V_AM_GBF_NOWAIT) return V_VFW_E_TIMEOUT;
        m_FreeChanged.wait(guard);
    }
    V_CMediaSample* taken = m_pFree;
    m_pFree = taken->m_pNext;
    taken->m_pNext = nullptr;
    --m_lFree;
    guard.unlock();
    taken->ClearState();
    taken->AddRef();
    AddRef();
    *sample = taken;
    return V_S_OK;
}

V_HRESULT V_CBaseAllocator::ReleaseBuffer(V_IMediaSample* sample) {
    if (sample == nullptr) return V_E_POINTER;
    auto* returned = static_cast<V_CMediaSample*>(sample);
    {
        std::lock_guard<std::mutex> guard(m_Lock);
        returned->m_pNext = m_pFree;
        m_pFree = returned;
        ++m_lFree;
        if (m_bDecommitPending && m_lFree == m_lAllocated) {
            Free();
            m_bDecommitPending = false;
        }
        m_FreeChanged.notify_all();
    }
    Release();
    return V_S_OK;
}

void V_CBaseAllocator::AddFreeSample(V_CMediaSample* sample) {
    sample->m_pNext = m_pFree;
    m_pFree = sample;
    ++m_lFree;
    ++m_lAllocated;
}

void V_CBaseAllocator::DeleteFreeSamples() {
    while (m_pFree != nullptr) {
        V_CMediaSample* next = m_pFree->m_pNext;
        delete m_pFree;
        m_pFree = next;
    }
    m_lFree = 0;
    m_lAllocated = 0;
}

V_CMemAllocator::~V_CMemAllocator() {
    std::lock_guard<std::mutex> guard(m_Lock);
    Free();
}

V_HRESULT V_CMemAllocator::SetProperties(V_ALLOCATOR_PROPERTIES* request,
                                         V_ALLOCATOR_PROPERTIES* actual) {
    if (request == nullptr || actual == nullptr) return V_E_POINTER;
    V_ALLOCATOR_PROPERTIES adjusted = *request;
    if (adjusted.cbAlign == 0) adjusted.cbAlign = 1;
    // Each buffer with its prefix takes a whole number of alignment steps.
    if (adjusted.cbAlign > 0 && adjusted.cbBuffer > 0) {
        long whole = adjusted.cbBuffer + adjusted.cbPrefix;
        long rem = whole % adjusted.cbAlign;
        if (rem != 0) adjusted.cbBuffer += adjusted.cbAlign - rem;
    }
    return V_CBaseAllocator::SetProperties(&adjusted, actual);
}

V_HRESULT V_CMemAllocator::Alloc() {
    Free();
    const V_ALLOCATOR_PROPERTIES& p = m_Properties;
    int64_t step = static_cast<int64_t>(p.cbBuffer) + p.cbPrefix;
    int64_t total = step * p.cBuffers + p.cbAlign;
    if (total > (int64_t{1} << 31)) return V_E_OUTOFMEMORY;
    m_pMemory = static_cast<V_BYTE*>(std::malloc(static_cast<size_t>(total)));
    if (m_pMemory == nullptr) return V_E_OUTOFMEMORY;
    // The first buffer starts on the alignment; every step is a multiple of it.
    uintptr_t base = reinterpret_cast<uintptr_t>(m_pMemory) + static_cast<uintptr_t>(p.cbPrefix);
    uintptr_t align = static_cast<uintptr_t>(p.cbAlign);
    V_BYTE* first = m_pMemory + ((align - base % align) % align) + p.cbPrefix;
    for (long i = 0; i < p.cBuffers; ++i) {
        auto* sample = new (std::nothrow) V_CMediaSample(this, first + step * i, p.cbBuffer);
        if (sample == nullptr) {
            Free();
            return V_E_OUTOFMEMORY;
        }
        AddFreeSample(sample);
    }
    return V_S_OK;
}

void V_CMemAllocator::Free() {
    DeleteFreeSamples();
    std::free(m_pMemory);
    m_pMemory = nullptr;
}

V_HRESULT V_CreateMemoryAllocatorObject(const V_GUID* interfaceId, void** object) {
    auto* allocator = new (std::nothrow) V_CMemAllocator();
    if (allocator == nullptr) return V_E_OUTOFMEMORY;
    allocator->AddRef();
    V_HRESULT hr = allocator->QueryInterface(*interfaceId, object);
    allocator->Release();
    return hr;
}
