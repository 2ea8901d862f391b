// The library's own streaming filters: the memory byte stream, the asynchronous memory
// reader that serves it to the platform's parsers, and the sample grabber.
#pragma once

#include "movie/dshow_base.h"

// ---------------------------------------------------------------- memory stream

// A read-only view of memory with a position, optionally paced to a number of bytes a
// millisecond (kilobytes a second); 0xFFFFFFFF reads without waiting.
class V_CMemStream : public V_CAsyncStream {
public:
    V_CMemStream(const V_BYTE* data, int64_t length, V_DWORD rate);
    ~V_CMemStream() override;

    V_HRESULT SetPointer(int64_t position) override;
    V_HRESULT Read(V_BYTE* buffer, V_DWORD bytes, V_BOOL aligned, V_DWORD* read) override;
    V_HRESULT Size(int64_t* total, int64_t* available) override;
    V_DWORD Alignment() override { return 1; }
    void Lock() override { V_EnterCriticalSection(&m_Lock); }
    void Unlock() override { V_LeaveCriticalSection(&m_Lock); }

private:
    V_CRITICAL_SECTION m_Lock;
    const V_BYTE* m_pData;  // not owned
    int64_t m_llLength;
    int64_t m_llPosition = 0;
    V_DWORD m_dwKBPerSec;
    V_DWORD m_dwTimeStart;
};

constexpr V_DWORD kMemStreamUnpaced = 0xFFFFFFFFu;

V_CMemStream* CreateMemStream(const void* data, V_DWORD lengthLow, V_DWORD lengthHigh,
                              V_DWORD rate);
void DeleteMemStream(V_CMemStream* stream);

// ---------------------------------------------------------------- asynchronous reader

class AsyncRequestQueue;
class AsyncReaderFilter;

// The reader's output pin: offers the filter's type and serves reads through IAsyncReader.
class MemReaderOutputPin : public V_CBasePin, public V_IAsyncReader {
public:
    MemReaderOutputPin(AsyncReaderFilter* filter, AsyncRequestQueue* queue, V_CCritSec* lock,
                       V_HRESULT* hr);

    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override {
        return NonDelegatingQueryInterface(iid, object);
    }
    V_ULONG AddRef() override { return m_pFilter->AddRef(); }
    V_ULONG Release() override { return m_pFilter->Release(); }
    V_HRESULT NonDelegatingQueryInterface(const V_GUID& iid, void** object) override;

    V_HRESULT GetMediaType(int position, V_CMediaType* type) override;
    V_HRESULT CheckMediaType(const V_CMediaType* type) override;
    V_HRESULT CompleteConnect(V_IPin* receivePin) override;
    V_HRESULT BreakConnect() override;

    V_HRESULT RequestAllocator(V_IMemAllocator* preferred, V_ALLOCATOR_PROPERTIES* properties,
                               V_IMemAllocator** actual) override;
    V_HRESULT Request(V_IMediaSample* sample, uintptr_t user) override;
    V_HRESULT WaitForNext(V_DWORD timeout, V_IMediaSample** sample, uintptr_t* user) override;
    V_HRESULT SyncReadAligned(V_IMediaSample* sample) override;
    V_HRESULT SyncRead(int64_t position, long length, V_BYTE* buffer) override;
    V_HRESULT Length(int64_t* total, int64_t* available) override;
    V_HRESULT BeginFlush() override;
    V_HRESULT EndFlush() override;

    bool QueriedForAsyncReader() const { return m_bQueriedForAsyncReader; }

private:
    // The byte range of a sample's times, cut at the stream's (aligned) end.
    V_HRESULT ConvertSampleTimes(V_IMediaSample* sample, int64_t* position, long* length);

    std::atomic<bool> m_bQueriedForAsyncReader{false};
    AsyncReaderFilter* m_pReader;
    AsyncRequestQueue* m_pIo;
};

// Requests of the reader, served in order by a worker thread of their own.
class AsyncRequestQueue {
public:
    explicit AsyncRequestQueue(V_CAsyncStream* stream);
    ~AsyncRequestQueue();

    bool IsValid() const;
    V_HRESULT Request(int64_t position, long length, bool aligned, V_BYTE* buffer,
                      void* context, uintptr_t user);
    // The next completed request: its result, context, user value and bytes read.
    V_HRESULT WaitForNext(V_DWORD timeout, void** context, uintptr_t* user, long* actual);
    // Reads at once on the caller's thread.
    V_HRESULT SyncReadAligned(int64_t position, long length, V_BYTE* buffer, long* actual,
                              void* context);
    V_HRESULT SyncRead(int64_t position, long length, V_BYTE* buffer);
    V_HRESULT Length(int64_t* total, int64_t* available);
    V_DWORD Alignment();
    V_HRESULT BeginFlush();
    V_HRESULT EndFlush();

private:
    struct PendingRead;
    bool IsAligned(int64_t value);
    void Complete(PendingRead* request);
    V_HRESULT StartThread();
    void StopThread();
    static V_DWORD ThreadProc(void* queue);
    void ProcessRequests();

    V_CAsyncStream* m_pStream;
    V_CCritSec m_csReader;  // the stream: one read at a time
    V_CCritSec m_csLists;   // the lists and counters
    PendingRead* m_pWaiting = nullptr;    // oldest first
    PendingRead* m_pCompleted = nullptr;  // oldest first
    V_HANDLE m_evWork;
    V_HANDLE m_evDone;
    V_HANDLE m_evAllDone;
    V_HANDLE m_evStop;
    long m_cItemsOut = 0;  // requests the worker has in hand
    bool m_bFlushing = false;
    bool m_bWaiting = false;
    V_HANDLE m_hThread = nullptr;
};

// A source filter with one output pin over a byte stream.
class AsyncReaderFilter : public V_CBaseFilter {
public:
    AsyncReaderFilter(const char* name, V_IUnknown* outer, V_CAsyncStream* stream,
                      V_HRESULT* hr);
    ~AsyncReaderFilter() override;

    int GetPinCount() override { return 1; }
    V_CBasePin* GetPin(int n) override { return n == 0 ? &m_OutputPin : nullptr; }
    const V_CMediaType* LoadType() const { return &m_mt; }

protected:
    V_CCritSec m_csFilter;
    V_CAsyncStream* m_pStream;
    AsyncRequestQueue m_Io;
    MemReaderOutputPin m_OutputPin;
    V_CMediaType m_mt;
};

class V_CMemReader : public AsyncReaderFilter {
public:
    V_CMemReader(V_CMemStream* stream, const V_AM_MEDIA_TYPE* type, V_HRESULT* hr);
};

// The filter (reference count 0), or null with E_OUTOFMEMORY in the result.
V_CMemReader* CreateMemReader(V_CMemStream* stream, const V_AM_MEDIA_TYPE* type,
                              V_HRESULT* hr);

// ---------------------------------------------------------------- sample grabber

typedef V_HRESULT (*SampleGrabberCallback)(V_IMediaSample* sample, V_REFERENCE_TIME* start,
                                           V_REFERENCE_TIME* stop, V_BOOL typeChanged,
                                           void* user);

constexpr V_GUID V_IID_ISampleGrabber = {0x6B652FFF, 0x11FE, 0x4FCE,
                                         {0x92, 0x64, 0x32, 0x36, 0x35, 0x37, 0x37, 0x66}};
constexpr V_GUID V_CLSID_SampleGrabber = {0x2FA4F053, 0x6D60, 0x4CB0,
                                          {0x95, 0x33, 0x65, 0x39, 0x33, 0x66, 0x66, 0x33}};

struct V_ISampleGrabber : V_IUnknown {
    virtual V_HRESULT SetAcceptedMediaType(const V_AM_MEDIA_TYPE* type) = 0;
    virtual V_HRESULT GetConnectedMediaType(V_AM_MEDIA_TYPE* type) = 0;
    virtual V_HRESULT SetCallback(SampleGrabberCallback callback, void* user) = 0;
    virtual V_HRESULT SetDeliveryBuffer(V_ALLOCATOR_PROPERTIES properties, V_BYTE* buffer) = 0;
};

class SampleGrabberInputPin;

// Allocator whose samples lie one after the other in the caller's delivery buffer.
class SampleGrabberAllocator : public V_CMemAllocator {
public:
    explicit SampleGrabberAllocator(SampleGrabberInputPin* pin) : m_pPin(pin) {}
    ~SampleGrabberAllocator() override;
    V_HRESULT SetProperties(V_ALLOCATOR_PROPERTIES* request,
                            V_ALLOCATOR_PROPERTIES* actual) override;
    V_HRESULT GetProperties(V_ALLOCATOR_PROPERTIES* properties) override;

protected:
    V_HRESULT Alloc() override;
    void Free() override;

    SampleGrabberInputPin* m_pPin;
};

class V_CSampleGrabber;

class SampleGrabberInputPin : public V_CTransInPlaceInputPin {
public:
    SampleGrabberInputPin(V_CSampleGrabber* filter, V_HRESULT* hr);
    ~SampleGrabberInputPin() override;

    V_HRESULT GetAllocator(V_IMemAllocator** allocator) override;
    V_HRESULT NotifyAllocator(V_IMemAllocator* allocator, V_BOOL readOnly) override;
    V_HRESULT GetAllocatorRequirements(V_ALLOCATOR_PROPERTIES* properties) override;
    V_HRESULT SetMediaType(const V_CMediaType* type) override;

    V_HRESULT SetDeliveryBuffer(V_ALLOCATOR_PROPERTIES properties, V_BYTE* buffer);
    // Reads and clears the type-changed flag.
    V_BOOL TakeTypeChanged();

private:
    friend class SampleGrabberAllocator;
    SampleGrabberAllocator* m_pPrivateAllocator = nullptr;
    V_ALLOCATOR_PROPERTIES m_allocprops{};
    V_BYTE* m_pBuffer = nullptr;
    std::atomic<bool> m_bMediaTypeChanged{false};
};

// An in-place transform that hands every sample to a callback; it can be limited to one
// media type and report the type it is connected with.
class V_CSampleGrabber : public V_CTransInPlaceFilter, public V_ISampleGrabber {
public:
    V_CSampleGrabber(V_IUnknown* outer, V_HRESULT* hr);
    ~V_CSampleGrabber() override;

    V_DECLARE_IUNKNOWN
    V_HRESULT NonDelegatingQueryInterface(const V_GUID& iid, void** object) override;
    V_HRESULT CheckInputType(const V_CMediaType* type) override;
    V_HRESULT Receive(V_IMediaSample* sample) override;
    V_HRESULT Transform(V_IMediaSample* sample) override;

    V_HRESULT SetAcceptedMediaType(const V_AM_MEDIA_TYPE* type) override;
    V_HRESULT GetConnectedMediaType(V_AM_MEDIA_TYPE* type) override;
    V_HRESULT SetCallback(SampleGrabberCallback callback, void* user) override;
    V_HRESULT SetDeliveryBuffer(V_ALLOCATOR_PROPERTIES properties, V_BYTE* buffer) override;

protected:
    V_CMediaType m_mtAccept;
    SampleGrabberCallback m_callback = nullptr;
    V_CCritSec m_Lock;
    void* m_pUser = nullptr;
};

// The grabber (reference count 0), or null with E_OUTOFMEMORY in the result.
V_CSampleGrabber* CreateSampleGrabber(V_HRESULT* hr);
