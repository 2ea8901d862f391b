// The asynchronous memory reader: a source filter whose output pin serves a byte stream to
// the platform's parsers through IAsyncReader.
#include <new>

#include "movie/dshow_filters.h"

namespace {

constexpr V_GUID kAsyncReaderClass = {0xC553F2C0, 0x1529, 0x11D0,
                                      {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};
constexpr int64_t kUnitsPerByte = 10000000;  // sample times carry byte positions this way

}  // namespace

// ---------------------------------------------------------------- output pin

MemReaderOutputPin::MemReaderOutputPin(AsyncReaderFilter* filter, AsyncRequestQueue* queue,
                                       V_CCritSec* lock, V_HRESULT* hr)
    : V_CBasePin("Async output pin", filter, lock, hr, u"Output", V_PINDIR_OUTPUT),
      m_pReader(filter),
      m_pIo(queue) {}

V_HRESULT MemReaderOutputPin::NonDelegatingQueryInterface(const V_GUID& iid, void** object) {
    if (object == nullptr) return V_E_POINTER;
    if (iid == V_IID_IAsyncReader) {
        m_bQueriedForAsyncReader = true;
        return V_GetInterface(static_cast<V_IAsyncReader*>(this), object);
    }
    return V_CBasePin::NonDelegatingQueryInterface(iid, object);
}

V_HRESULT MemReaderOutputPin::GetMediaType(int position, V_CMediaType* type) {
    if (position < 0) return V_E_INVALIDARG;
    if (position > 0) return V_VFW_S_NO_MORE_ITEMS;
    return type->Set(*m_pReader->LoadType());
}

V_HRESULT MemReaderOutputPin::CheckMediaType(const V_CMediaType* type) {
    const V_CMediaType* own = m_pReader->LoadType();
    if (type->majortype == own->majortype &&
        (own->subtype == V_GUID_NULL || type->subtype == own->subtype))
        return V_S_OK;
    return V_S_FALSE;
}

V_HRESULT MemReaderOutputPin::CompleteConnect(V_IPin* receivePin) {
    if (!m_bQueriedForAsyncReader) return V_E_FAIL;
    return V_CBasePin::CompleteConnect(receivePin);
}

V_HRESULT MemReaderOutputPin::BreakConnect() {
    m_bQueriedForAsyncReader = false;
    return V_CBasePin::BreakConnect();
}

V_HRESULT MemReaderOutputPin::RequestAllocator(V_IMemAllocator* preferred,
                                               V_ALLOCATOR_PROPERTIES* properties,
                                               V_IMemAllocator** actual) {
    if (properties == nullptr || actual == nullptr) return V_E_POINTER;
    *actual = nullptr;
    long align = static_cast<long>(m_pIo->Alignment());
    V_ALLOCATOR_PROPERTIES wanted = *properties;
    if (wanted.cbAlign <= 0) wanted.cbAlign = 1;
    if (preferred != nullptr) {
        V_ALLOCATOR_PROPERTIES got{};
        if (V_SUCCEEDED(preferred->SetProperties(&wanted, &got)) && got.cbAlign % align == 0) {
            preferred->AddRef();
            *actual = preferred;
            return V_S_OK;
        }
    }
    V_IMemAllocator* own = nullptr;
    if (V_FAILED(V_CreateMemoryAllocatorObject(&V_IID_IMemAllocator,
                                               reinterpret_cast<void**>(&own))))
        return V_E_OUTOFMEMORY;
    if (wanted.cbAlign % align != 0) wanted.cbAlign = align;
    V_ALLOCATOR_PROPERTIES got{};
    if (V_SUCCEEDED(own->SetProperties(&wanted, &got)) && got.cbAlign % align == 0) {
        *actual = own;
        return V_S_OK;
    }
    own->Release();
    return V_VFW_E_BADALIGN;
}

V_HRESULT MemReaderOutputPin::ConvertSampleTimes(V_IMediaSample* sample, int64_t* position,
                                                 long* length) {
    V_REFERENCE_TIME start = 0, stop = 0;
    V_HRESULT hr = sample->GetTime(&start, &stop);
    if (V_FAILED(hr)) return hr;
    if (start < 0 || stop < start) return V_E_INVALIDARG;
    int64_t pos = start / kUnitsPerByte;
    int64_t len = (stop - start) / kUnitsPerByte;
    int64_t total = 0, available = 0;
    hr = m_pIo->Length(&total, &available);
    if (V_FAILED(hr)) return hr;
    if (pos + len > total) {
        // Cut at the end of the data, rounded up to the stream's alignment.
        int64_t align = m_pIo->Alignment();
        int64_t rounded = (total + align - 1) / align * align;
        if (pos + len > rounded) {
            len = rounded > pos ? rounded - pos : 0;
            V_REFERENCE_TIME newStop = rounded * kUnitsPerByte;
            sample->SetTime(&start, &newStop);
        }
    }
    // The read goes into the sample's own buffer: never more than it holds.
    if (len > sample->GetSize()) return V_E_INVALIDARG;
    *position = pos;
    *length = static_cast<long>(len);
    return V_S_OK;
}

V_HRESULT MemReaderOutputPin::Request(V_IMediaSample* sample, uintptr_t user) {
    if (sample == nullptr) return V_E_POINTER;
    int64_t position = 0;
    long length = 0;
    V_HRESULT hr = ConvertSampleTimes(sample, &position, &length);
    if (V_FAILED(hr)) return hr;
    V_BYTE* buffer = nullptr;
    hr = sample->GetPointer(&buffer);
    if (V_FAILED(hr)) return hr;
    return m_pIo->Request(position, length, true, buffer, sample, user);
}

V_HRESULT MemReaderOutputPin::WaitForNext(V_DWORD timeout, V_IMediaSample** sample,
                                          uintptr_t* user) {
    if (sample == nullptr || user == nullptr) return V_E_POINTER;
    void* context = nullptr;
    long actual = 0;
    V_HRESULT hr = m_pIo->WaitForNext(timeout, &context, user, &actual);
    *sample = static_cast<V_IMediaSample*>(context);
    if (*sample == nullptr) return hr;
    (*sample)->SetActualDataLength(actual);
    if (hr == V_S_FALSE) {
        // Short only because the data ended there: a whole read.
        V_REFERENCE_TIME start = 0, stop = 0;
        int64_t total = 0, available = 0;
        (*sample)->GetTime(&start, &stop);
        m_pIo->Length(&total, &available);
        hr = start / kUnitsPerByte + actual == total ? V_S_OK : V_E_FAIL;
    }
    return hr;
}

V_HRESULT MemReaderOutputPin::SyncReadAligned(V_IMediaSample* sample) {
    if (sample == nullptr) return V_E_POINTER;
    int64_t position = 0;
    long length = 0;
    V_HRESULT hr = ConvertSampleTimes(sample, &position, &length);
    if (V_FAILED(hr)) return hr;
    V_BYTE* buffer = nullptr;
    hr = sample->GetPointer(&buffer);
    if (V_FAILED(hr)) return hr;
    long actual = 0;
    hr = m_pIo->SyncReadAligned(position, length, buffer, &actual, sample);
    sample->SetActualDataLength(actual);
    return hr;
}

V_HRESULT MemReaderOutputPin::SyncRead(int64_t position, long length, V_BYTE* buffer) {
    return m_pIo->SyncRead(position, length, buffer);
}

V_HRESULT MemReaderOutputPin::Length(int64_t* total, int64_t* available) {
    return m_pIo->Length(total, available);
}

V_HRESULT MemReaderOutputPin::BeginFlush() { return m_pIo->BeginFlush(); }
V_HRESULT MemReaderOutputPin::EndFlush() { return m_pIo->EndFlush(); }

// ---------------------------------------------------------------- filters

AsyncReaderFilter::AsyncReaderFilter(const char* name, V_IUnknown* outer,
                                     V_CAsyncStream* stream, V_HRESULT* hr)
    : V_CBaseFilter(name, outer, &m_csFilter, kAsyncReaderClass),
      m_pStream(stream),
      m_Io(stream),
      m_OutputPin(this, &m_Io, &m_csFilter, hr) {
    if (hr != nullptr && !m_Io.IsValid()) *hr = V_E_OUTOFMEMORY;
}

AsyncReaderFilter::~AsyncReaderFilter() = default;

V_CMemReader::V_CMemReader(V_CMemStream* stream, const V_AM_MEDIA_TYPE* type, V_HRESULT* hr)
    : AsyncReaderFilter("Mem Reader", nullptr, stream, hr) {
    if (type != nullptr && V_FAILED(m_mt.Set(*type)) && hr != nullptr) *hr = V_E_OUTOFMEMORY;
}

V_CMemReader* CreateMemReader(V_CMemStream* stream, const V_AM_MEDIA_TYPE* type,
                              V_HRESULT* hr) {
    V_HRESULT result = V_S_OK;
    auto* reader = new (std::nothrow) V_CMemReader(stream, type, &result);
    if (reader != nullptr && V_FAILED(result)) {
        delete reader;
        reader = nullptr;
    }
    if (hr != nullptr) *hr = reader != nullptr ? V_S_OK : V_E_OUTOFMEMORY;
    return reader;
}
