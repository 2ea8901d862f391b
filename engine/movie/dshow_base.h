// The library's filter base classes over the platform's streaming interfaces: locks, media
// type records, the base filter and pins (output pins with their allocator, input pins taking
// samples), the in-place transform filter, the renderer and video renderer, and the abstract
// byte stream of the memory reader. Filters of the library derive from them.
#pragma once

#include <atomic>

#include "platform/dshow/dshow.h"
#include "platform/kernel/kernel.h"

// ---------------------------------------------------------------- locks

class V_CCritSec {
public:
    V_CCritSec() { V_InitializeCriticalSection(&m_Section); }
    ~V_CCritSec() { V_DeleteCriticalSection(&m_Section); }
    V_CCritSec(const V_CCritSec&) = delete;
    V_CCritSec& operator=(const V_CCritSec&) = delete;
    void Lock() { V_EnterCriticalSection(&m_Section); }
    void Unlock() { V_LeaveCriticalSection(&m_Section); }

private:
    V_CRITICAL_SECTION m_Section;
};

class V_CAutoLock {
public:
    explicit V_CAutoLock(V_CCritSec* lock) : m_Lock(lock) { m_Lock->Lock(); }
    ~V_CAutoLock() { m_Lock->Unlock(); }
    V_CAutoLock(const V_CAutoLock&) = delete;
    V_CAutoLock& operator=(const V_CAutoLock&) = delete;

private:
    V_CCritSec* m_Lock;
};

// ---------------------------------------------------------------- objects and media types

// The reference count and the interface query of a library object. The object's interfaces
// lead their IUnknown calls here (V_DECLARE_IUNKNOWN). Aggregation is not offered: the outer
// object must be null.
class V_CUnknown {
public:
    explicit V_CUnknown(const char* name) : m_Name(name) {}
    virtual ~V_CUnknown() = default;
    V_CUnknown(const V_CUnknown&) = delete;
    V_CUnknown& operator=(const V_CUnknown&) = delete;

    virtual V_HRESULT NonDelegatingQueryInterface(const V_GUID& iid, void** object) = 0;
    virtual V_ULONG NonDelegatingAddRef();
    virtual V_ULONG NonDelegatingRelease();

protected:
    const char* m_Name;
    std::atomic<long> m_cRef{0};
};

#define V_DECLARE_IUNKNOWN                                                        \
    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override {         \
        return NonDelegatingQueryInterface(iid, object);                          \
    }                                                                             \
    V_ULONG AddRef() override { return NonDelegatingAddRef(); }                   \
    V_ULONG Release() override { return NonDelegatingRelease(); }

// Hands out an interface pointer with a reference.
V_HRESULT V_GetInterface(V_IUnknown* unknown, void** object);

// A media type record that owns its format block.
class V_CMediaType : public V_AM_MEDIA_TYPE {
public:
    V_CMediaType();
    V_CMediaType(const V_AM_MEDIA_TYPE& type);
    V_CMediaType(const V_CMediaType& type);
    ~V_CMediaType();
    V_CMediaType& operator=(const V_AM_MEDIA_TYPE& type);
    V_CMediaType& operator=(const V_CMediaType& type);

    // Copies the type; E_OUTOFMEMORY leaves this record empty.
    V_HRESULT Set(const V_AM_MEDIA_TYPE& type);
    void InitMediaType();
    // A zeroed format block of the size (null when it cannot be had).
    V_BYTE* AllocFormatBuffer(V_ULONG length);
    bool IsValid() const { return !(majortype == V_GUID_NULL); }
    bool MatchesPartial(const V_CMediaType* partial) const;
};

// ---------------------------------------------------------------- filter and pins

class V_CBasePin;

class V_CBaseFilter : public V_CUnknown, public V_IBaseFilter {
public:
    V_CBaseFilter(const char* name, V_IUnknown* outer, V_CCritSec* lock, const V_GUID& classId);
    ~V_CBaseFilter() override;

    V_DECLARE_IUNKNOWN
    V_HRESULT NonDelegatingQueryInterface(const V_GUID& iid, void** object) override;

    V_HRESULT GetClassID(V_GUID* classId) override;
    V_HRESULT Stop() override;
    V_HRESULT Pause() override;
    V_HRESULT Run(V_REFERENCE_TIME start) override;
    V_HRESULT GetState(V_DWORD timeout, V_FILTER_STATE* state) override;
    V_HRESULT SetSyncSource(V_IReferenceClock* clock) override;
    V_HRESULT GetSyncSource(V_IReferenceClock** clock) override;
    V_HRESULT EnumPins(V_IEnumPins** pins) override;
    V_HRESULT FindPin(const V_WCHAR* id, V_IPin** pin) override;
    V_HRESULT QueryFilterInfo(V_FILTER_INFO* info) override;
    V_HRESULT JoinFilterGraph(V_IFilterGraph* graph, const V_WCHAR* name) override;

    virtual int GetPinCount() = 0;
    virtual V_CBasePin* GetPin(int n) = 0;

    bool IsActive();
    bool IsStopped();
    // Sends an event to the graph (nothing when the filter is in no graph).
    V_HRESULT NotifyEvent(long code, intptr_t param1, intptr_t param2);
    V_IFilterGraph* GetFilterGraph() { return m_pGraph; }

protected:
    V_FILTER_STATE m_State = V_State_Stopped;
    V_IReferenceClock* m_pClock = nullptr;
    V_REFERENCE_TIME m_tStart = 0;
    V_GUID m_clsid;
    V_CCritSec* m_pLock;
    V_WCHAR m_pName[128] = {};
    V_IFilterGraph* m_pGraph = nullptr;    // not referenced: the graph holds the filter
    V_IMediaEventSink* m_pSink = nullptr;  // the graph itself, not referenced either
};

class V_CBasePin : public V_CUnknown, public V_IPin {
public:
    V_CBasePin(const char* objectName, V_CBaseFilter* filter, V_CCritSec* lock, V_HRESULT* hr,
               const V_WCHAR* name, V_PIN_DIRECTION direction);
    ~V_CBasePin() override;

    // The pin's references are its filter's.
    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override {
        return NonDelegatingQueryInterface(iid, object);
    }
    V_ULONG AddRef() override { return m_pFilter->AddRef(); }
    V_ULONG Release() override { return m_pFilter->Release(); }
    V_HRESULT NonDelegatingQueryInterface(const V_GUID& iid, void** object) override;

    V_HRESULT Connect(V_IPin* receivePin, const V_AM_MEDIA_TYPE* type) override;
    V_HRESULT ReceiveConnection(V_IPin* connector, const V_AM_MEDIA_TYPE* type) override;
    V_HRESULT Disconnect() override;
    V_HRESULT ConnectedTo(V_IPin** pin) override;
    V_HRESULT ConnectionMediaType(V_AM_MEDIA_TYPE* type) override;
    V_HRESULT QueryPinInfo(V_PIN_INFO* info) override;
    V_HRESULT QueryDirection(V_PIN_DIRECTION* direction) override;
    V_HRESULT QueryAccept(const V_AM_MEDIA_TYPE* type) override;
    V_HRESULT EnumMediaTypes(V_IEnumMediaTypes** types) override;
    V_HRESULT EndOfStream() override;
    V_HRESULT NewSegment(V_REFERENCE_TIME start, V_REFERENCE_TIME stop, double rate) override;

    // Media types: checking, storing and offering.
    virtual V_HRESULT CheckMediaType(const V_CMediaType* type) = 0;
    virtual V_HRESULT SetMediaType(const V_CMediaType* type);
    virtual V_HRESULT GetMediaType(int position, V_CMediaType* type);
    // Connection steps.
    virtual V_HRESULT CheckConnect(V_IPin* pin);
    virtual V_HRESULT BreakConnect();
    virtual V_HRESULT CompleteConnect(V_IPin* receivePin);
    // Streaming starts (pause from stop) and ends (stop); Run passes the start time.
    virtual V_HRESULT Active() { return V_S_OK; }
    virtual V_HRESULT Inactive() { return V_S_OK; }
    virtual V_HRESULT Run(V_REFERENCE_TIME) { return V_S_OK; }

    bool IsConnected() const { return m_Connected != nullptr; }
    V_IPin* GetConnected() const { return m_Connected; }
    bool IsStopped() { return m_pFilter->IsStopped(); }
    const V_CMediaType& CurrentMediaType() const { return m_mt; }
    V_REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    V_REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
    double CurrentRate() const { return m_dRate; }
    const V_WCHAR* Name() const { return m_pName; }

protected:
    V_HRESULT AgreeMediaType(V_IPin* receivePin, const V_CMediaType* type);
    V_HRESULT TryMediaTypes(V_IPin* receivePin, const V_CMediaType* partial,
                            V_IEnumMediaTypes* types);
    V_HRESULT AttemptConnection(V_IPin* receivePin, const V_CMediaType* type);
    V_HRESULT DisconnectInternal();

    V_WCHAR m_pName[128] = {};
    V_IPin* m_Connected = nullptr;
    V_PIN_DIRECTION m_dir;
    V_CCritSec* m_pLock;
    V_CBaseFilter* m_pFilter;
    V_CMediaType m_mt;
    V_REFERENCE_TIME m_tStart = 0;
    V_REFERENCE_TIME m_tStop = INT64_MAX;
    double m_dRate = 1.0;
};

class V_CBaseOutputPin : public V_CBasePin {
public:
    V_CBaseOutputPin(const char* objectName, V_CBaseFilter* filter, V_CCritSec* lock,
                     V_HRESULT* hr, const V_WCHAR* name);

    V_HRESULT CompleteConnect(V_IPin* receivePin) override;
    V_HRESULT CheckConnect(V_IPin* pin) override;
    V_HRESULT BreakConnect() override;
    V_HRESULT Active() override;
    V_HRESULT Inactive() override;
    V_HRESULT BeginFlush() override { return V_E_UNEXPECTED; }
    V_HRESULT EndFlush() override { return V_E_UNEXPECTED; }

    // Allocator negotiation with the connected input pin.
    virtual V_HRESULT DecideAllocator(V_IMemInputPin* pin, V_IMemAllocator** allocator);
    virtual V_HRESULT DecideBufferSize(V_IMemAllocator* allocator,
                                       V_ALLOCATOR_PROPERTIES* properties) = 0;
    virtual V_HRESULT InitAllocator(V_IMemAllocator** allocator);

    // Streaming downstream.
    virtual V_HRESULT GetDeliveryBuffer(V_IMediaSample** sample, V_REFERENCE_TIME* start,
                                        V_REFERENCE_TIME* stop, V_DWORD flags);
    virtual V_HRESULT Deliver(V_IMediaSample* sample);
    virtual V_HRESULT DeliverEndOfStream();
    virtual V_HRESULT DeliverBeginFlush();
    virtual V_HRESULT DeliverEndFlush();
    virtual V_HRESULT DeliverNewSegment(V_REFERENCE_TIME start, V_REFERENCE_TIME stop,
                                        double rate);

    V_IMemAllocator* Allocator() const { return m_pAllocator; }

protected:
    V_IMemAllocator* m_pAllocator = nullptr;
    V_IMemInputPin* m_pInputPin = nullptr;
};

class V_CBaseInputPin : public V_CBasePin, public V_IMemInputPin {
public:
    V_CBaseInputPin(const char* objectName, V_CBaseFilter* filter, V_CCritSec* lock,
                    V_HRESULT* hr, const V_WCHAR* name);
    ~V_CBaseInputPin() override;

    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override {
        return NonDelegatingQueryInterface(iid, object);
    }
    V_ULONG AddRef() override { return m_pFilter->AddRef(); }
    V_ULONG Release() override { return m_pFilter->Release(); }
    V_HRESULT NonDelegatingQueryInterface(const V_GUID& iid, void** object) override;

    V_HRESULT GetAllocator(V_IMemAllocator** allocator) override;
    V_HRESULT NotifyAllocator(V_IMemAllocator* allocator, V_BOOL readOnly) override;
    V_HRESULT GetAllocatorRequirements(V_ALLOCATOR_PROPERTIES* properties) override;
    // Checks that the pin can take the sample now (and takes a changed media type):
    // derived pins call it first.
    V_HRESULT Receive(V_IMediaSample* sample) override;
    V_HRESULT ReceiveCanBlock() override { return V_S_OK; }

    V_HRESULT BeginFlush() override;
    V_HRESULT EndFlush() override;
    V_HRESULT BreakConnect() override;
    V_HRESULT Inactive() override;

    // Not connected → VFW_E_NOT_CONNECTED; flushing → S_FALSE; stopped → VFW_E_WRONG_STATE.
    V_HRESULT CheckStreaming();
    bool IsFlushing() const { return m_bFlushing; }
    bool IsReadOnly() const { return m_bReadOnly; }
    V_IMemAllocator* PeekAllocator() const { return m_pAllocator; }

protected:
    V_IMemAllocator* m_pAllocator = nullptr;
    // Read by the streaming thread in CheckStreaming while the filter's thread stops, flushes
    // or sets them.
    std::atomic<bool> m_bFlushing{false};
    bool m_bReadOnly = false;
    std::atomic<bool> m_bRunTimeError{false};
};

// ---------------------------------------------------------------- in-place transform

class V_CTransInPlaceFilter;

class V_CTransInPlaceInputPin : public V_CBaseInputPin {
public:
    V_CTransInPlaceInputPin(const char* objectName, V_CTransInPlaceFilter* filter, V_HRESULT* hr,
                            const V_WCHAR* name);
    V_HRESULT CheckMediaType(const V_CMediaType* type) override;
    V_HRESULT SetMediaType(const V_CMediaType* type) override;
    V_HRESULT Receive(V_IMediaSample* sample) override;
    V_HRESULT EndOfStream() override;
    V_HRESULT BeginFlush() override;
    V_HRESULT EndFlush() override;
    V_HRESULT NewSegment(V_REFERENCE_TIME start, V_REFERENCE_TIME stop, double rate) override;

protected:
    V_CTransInPlaceFilter* m_pTIPFilter;
};

class V_CTransInPlaceOutputPin : public V_CBaseOutputPin {
public:
    V_CTransInPlaceOutputPin(const char* objectName, V_CTransInPlaceFilter* filter,
                             V_HRESULT* hr, const V_WCHAR* name);
    V_HRESULT CheckMediaType(const V_CMediaType* type) override;
    V_HRESULT GetMediaType(int position, V_CMediaType* type) override;
    V_HRESULT DecideAllocator(V_IMemInputPin* pin, V_IMemAllocator** allocator) override;
    V_HRESULT DecideBufferSize(V_IMemAllocator* allocator,
                               V_ALLOCATOR_PROPERTIES* properties) override;

protected:
    V_CTransInPlaceFilter* m_pTIPFilter;
};

// A filter that passes each sample on after working on it where it lies; a sample from an
// upstream allocator that differs from the downstream one is copied first.
class V_CTransInPlaceFilter : public V_CBaseFilter {
public:
    V_CTransInPlaceFilter(const char* name, V_IUnknown* outer, const V_GUID& classId,
                          V_HRESULT* hr);
    ~V_CTransInPlaceFilter() override;

    int GetPinCount() override { return 2; }
    V_CBasePin* GetPin(int n) override;

    virtual V_HRESULT CheckInputType(const V_CMediaType* type) = 0;
    virtual V_HRESULT Transform(V_IMediaSample* sample) = 0;
    virtual V_HRESULT Receive(V_IMediaSample* sample);

    V_CTransInPlaceInputPin* InputPin() { return m_pInput; }
    V_CTransInPlaceOutputPin* OutputPin() { return m_pOutput; }
    bool UsingDifferentAllocators() const;
    // A sample of the output's allocator holding a copy of the data, times and flags.
    V_IMediaSample* Copy(V_IMediaSample* source);

    V_CCritSec m_csFilter;
    V_CCritSec m_csReceive;

protected:
    V_CTransInPlaceInputPin* m_pInput = nullptr;
    V_CTransInPlaceOutputPin* m_pOutput = nullptr;
};

// ---------------------------------------------------------------- renderers

class V_CBaseRenderer;

class V_CRendererInputPin : public V_CBaseInputPin {
public:
    V_CRendererInputPin(V_CBaseRenderer* renderer, V_HRESULT* hr, const V_WCHAR* name);
    V_HRESULT CheckMediaType(const V_CMediaType* type) override;
    V_HRESULT SetMediaType(const V_CMediaType* type) override;
    V_HRESULT Receive(V_IMediaSample* sample) override;
    V_HRESULT EndOfStream() override;
    V_HRESULT BeginFlush() override;
    V_HRESULT EndFlush() override;
    V_HRESULT BreakConnect() override;

protected:
    V_CBaseRenderer* m_pRenderer;
};

// A filter with one input pin that shows each sample when its time has come on the graph's
// clock (at once without a clock). Paused, it shows the first sample and holds the next until
// it runs, stops or flushes; the pause is complete (GetState) once that sample is shown or the
// stream has ended. Its end of stream completes the graph.
class V_CBaseRenderer : public V_CBaseFilter {
public:
    V_CBaseRenderer(const V_GUID& classId, const char* name, V_IUnknown* outer, V_HRESULT* hr);
    ~V_CBaseRenderer() override;

    V_HRESULT Stop() override;
    V_HRESULT Pause() override;
    V_HRESULT Run(V_REFERENCE_TIME start) override;
    // Paused and not yet complete: waits up to the timeout, then VFW_S_STATE_INTERMEDIATE.
    V_HRESULT GetState(V_DWORD timeout, V_FILTER_STATE* state) override;
    int GetPinCount() override { return 1; }
    V_CBasePin* GetPin(int n) override;

    virtual V_HRESULT CheckMediaType(const V_CMediaType* type) = 0;
    virtual V_HRESULT SetMediaType(const V_CMediaType*) { return V_S_OK; }
    virtual V_HRESULT DoRenderSample(V_IMediaSample* sample) = 0;
    virtual V_HRESULT BreakConnect() { return V_S_OK; }

    // Streaming calls of the input pin.
    virtual V_HRESULT Receive(V_IMediaSample* sample);
    virtual V_HRESULT EndOfStream();
    virtual V_HRESULT BeginFlush();
    virtual V_HRESULT EndFlush();

    V_CRendererInputPin* InputPin() { return m_pInputPin; }
    V_CCritSec* InterfaceLock() { return &m_InterfaceLock; }
    long FramesDrawn() const { return m_cFramesDrawn; }

protected:
    // Wakes a Receive that waits (state change or flush); called under the renderer lock.
    void SignalChange() { V_SetEvent(m_evChange); }
    // Marks the current state as complete or not (under the renderer lock).
    void SetStateComplete(bool complete);
    virtual void OnRenderDone(V_IMediaSample*) {}

    V_CCritSec m_InterfaceLock;
    V_CCritSec m_RendererLock;
    V_CRendererInputPin* m_pInputPin = nullptr;
    V_HANDLE m_evChange;
    V_HANDLE m_evComplete;  // set while the state is complete (manual reset)
    // The streaming thread's view of the state, clock and start time (under m_RendererLock).
    V_FILTER_STATE m_RenderState = V_State_Stopped;
    V_IReferenceClock* m_RenderClock = nullptr;
    V_REFERENCE_TIME m_RenderStart = 0;
    bool m_bPrerolled = false;  // paused and the first sample shown
    bool m_bEOS = false;
    bool m_bEOSDelivered = false;
    std::atomic<long> m_cFramesDrawn{0};
};

class V_CBaseVideoRenderer : public V_CBaseRenderer {
public:
    using V_CBaseRenderer::V_CBaseRenderer;

protected:
    void OnRenderDone(V_IMediaSample*) override { ++m_cFramesDrawn; }
};

// ---------------------------------------------------------------- byte streams

// The stream behind an asynchronous reader filter.
class V_CAsyncStream {
public:
    virtual ~V_CAsyncStream() = default;
    virtual V_HRESULT SetPointer(int64_t position) = 0;
    virtual V_HRESULT Read(V_BYTE* buffer, V_DWORD bytes, V_BOOL aligned, V_DWORD* read) = 0;
    virtual V_HRESULT Size(int64_t* total, int64_t* available) = 0;
    virtual V_DWORD Alignment() = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};
