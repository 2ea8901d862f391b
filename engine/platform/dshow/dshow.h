// Stand-in for the media streaming services: media types, samples and allocators, the pin
// and filter interfaces, the filter graph manager with its control, event and seeking
// interfaces, and the platform's own filters (a movie file source and an MPEG audio decoder
// on FFmpeg, a null renderer). Filters of the library derive from its own base classes
// (engine/movie) over these interfaces.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/gdi/gdi_dib.h"
#include "platform/kernel/kernel.h"
#include "platform/types.h"
#include "platform/winmm/winmm.h"

typedef int64_t V_REFERENCE_TIME;

// ---------------------------------------------------------------- identifiers

constexpr V_GUID V_GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
constexpr V_GUID V_IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                   {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr V_GUID V_IID_IPersist = {0x0000010C, 0x0000, 0x0000,
                                   {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
#define V_DSHOW_IID(name, first)                                          \
    constexpr V_GUID name = {first, 0x0AD4, 0x11CE,                     \
                             {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}}
V_DSHOW_IID(V_IID_IPin, 0x56A86891);
V_DSHOW_IID(V_IID_IEnumPins, 0x56A86892);
V_DSHOW_IID(V_IID_IEnumFilters, 0x56A86893);
V_DSHOW_IID(V_IID_IBaseFilter, 0x56A86895);
V_DSHOW_IID(V_IID_IReferenceClock, 0x56A86897);
V_DSHOW_IID(V_IID_IMediaFilter, 0x56A86899);
V_DSHOW_IID(V_IID_IMediaSample, 0x56A8689A);
V_DSHOW_IID(V_IID_IMemAllocator, 0x56A8689C);
V_DSHOW_IID(V_IID_IMemInputPin, 0x56A8689D);
V_DSHOW_IID(V_IID_IFilterGraph, 0x56A8689F);
V_DSHOW_IID(V_IID_IMediaEventSink, 0x56A868A2);
V_DSHOW_IID(V_IID_IGraphBuilder, 0x56A868A9);
V_DSHOW_IID(V_IID_IAsyncReader, 0x56A868AA);
V_DSHOW_IID(V_IID_IMediaControl, 0x56A868B1);
V_DSHOW_IID(V_IID_IBasicAudio, 0x56A868B3);
V_DSHOW_IID(V_IID_IMediaEvent, 0x56A868B6);
#undef V_DSHOW_IID
constexpr V_GUID V_IID_IEnumMediaTypes = {0x89C31040, 0x846B, 0x11CE,
                                          {0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr V_GUID V_IID_IMediaSeeking = {0x36B73880, 0xC2C8, 0x11CF,
                                        {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};

constexpr V_GUID V_CLSID_FilterGraph = {0xE436EBB3, 0x524F, 0x11CE,
                                        {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr V_GUID V_CLSID_NullRenderer = {0xC1F400A4, 0x3F08, 0x11D3,
                                         {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
constexpr V_GUID V_CLSID_MemoryAllocator = {0x1E651CC0, 0xB199, 0x11D0,
                                            {0x82, 0x12, 0x00, 0xC0, 0x4F, 0xC3, 0x2C, 0x45}};

// Media major types, subtypes and format types.
constexpr V_GUID V_MEDIATYPE_Video = {0x73646976, 0x0000, 0x0010,
                                      {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr V_GUID V_MEDIATYPE_Audio = {0x73647561, 0x0000, 0x0010,
                                      {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr V_GUID V_MEDIATYPE_Stream = {0xE436EB83, 0x524F, 0x11CE,
                                       {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr V_GUID V_MEDIASUBTYPE_PCM = {0x00000001, 0x0000, 0x0010,
                                       {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr V_GUID V_MEDIASUBTYPE_MPEG1Audio = {0xE436EB87, 0x524F, 0x11CE,
                                              {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr V_GUID V_MEDIASUBTYPE_RGB24 = {0xE436EB7D, 0x524F, 0x11CE,
                                         {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr V_GUID V_FORMAT_None = {0x0F6417D6, 0xC318, 0x11D0,
                                  {0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr V_GUID V_FORMAT_VideoInfo = {0x05589F80, 0xC356, 0x11CE,
                                       {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr V_GUID V_FORMAT_WaveFormatEx = {0x05589F81, 0xC356, 0x11CE,
                                          {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

// ---------------------------------------------------------------- result and event codes

constexpr V_HRESULT V_E_UNEXPECTED = static_cast<V_HRESULT>(0x8000FFFFu);
constexpr V_HRESULT V_E_ABORT = static_cast<V_HRESULT>(0x80004004u);
constexpr V_HRESULT V_VFW_S_NO_MORE_ITEMS = 0x00040103;
constexpr V_HRESULT V_VFW_S_PARTIAL_RENDER = 0x00040242;
constexpr V_HRESULT V_VFW_S_STATE_INTERMEDIATE = 0x00040237;
constexpr V_HRESULT V_VFW_S_NO_STOP_TIME = 0x00040270;
#define V_VFW_ERROR(name, code) constexpr V_HRESULT name = static_cast<V_HRESULT>(code)
V_VFW_ERROR(V_VFW_E_ALREADY_CONNECTED, 0x80040204u);
V_VFW_ERROR(V_VFW_E_NO_ACCEPTABLE_TYPES, 0x80040207u);
V_VFW_ERROR(V_VFW_E_INVALID_DIRECTION, 0x80040208u);
V_VFW_ERROR(V_VFW_E_NOT_CONNECTED, 0x80040209u);
V_VFW_ERROR(V_VFW_E_NO_ALLOCATOR, 0x8004020Au);
V_VFW_ERROR(V_VFW_E_RUNTIME_ERROR, 0x8004020Bu);
V_VFW_ERROR(V_VFW_E_BADALIGN, 0x8004020Eu);
V_VFW_ERROR(V_VFW_E_ALREADY_COMMITTED, 0x80040210u);
V_VFW_ERROR(V_VFW_E_NOT_COMMITTED, 0x80040211u);
V_VFW_ERROR(V_VFW_E_SIZENOTSET, 0x80040212u);
V_VFW_ERROR(V_VFW_E_NOT_FOUND, 0x80040216u);
V_VFW_ERROR(V_VFW_E_CANNOT_CONNECT, 0x80040217u);
V_VFW_ERROR(V_VFW_E_CANNOT_RENDER, 0x80040218u);
V_VFW_ERROR(V_VFW_E_NOT_STOPPED, 0x80040224u);
V_VFW_ERROR(V_VFW_E_BUFFERS_OUTSTANDING, 0x80040225u);
V_VFW_ERROR(V_VFW_E_WRONG_STATE, 0x80040227u);
V_VFW_ERROR(V_VFW_E_TYPE_NOT_ACCEPTED, 0x8004022Au);
V_VFW_ERROR(V_VFW_E_TIMEOUT, 0x8004022Eu);
V_VFW_ERROR(V_VFW_E_BUFFER_OVERFLOW, 0x8004020Du);
V_VFW_ERROR(V_VFW_E_SAMPLE_TIME_NOT_SET, 0x80040249u);
V_VFW_ERROR(V_VFW_E_INVALID_MEDIA_TYPE, 0x80040248u);
V_VFW_ERROR(V_VFW_E_NOT_IN_GRAPH, 0x8004025Fu);
V_VFW_ERROR(V_VFW_E_UNSUPPORTED_STREAM, 0x80040265u);
#undef V_VFW_ERROR

constexpr V_DWORD V_AM_GBF_NOWAIT = 4;

constexpr long V_EC_COMPLETE = 0x01;
constexpr long V_EC_USERABORT = 0x02;
constexpr long V_EC_ERRORABORT = 0x03;

// ---------------------------------------------------------------- records

struct V_AM_MEDIA_TYPE {
    V_GUID majortype;
    V_GUID subtype;
    V_BOOL bFixedSizeSamples;
    V_BOOL bTemporalCompression;
    V_ULONG lSampleSize;
    V_GUID formattype;
    V_IUnknown* pUnk;
    V_ULONG cbFormat;
    V_BYTE* pbFormat;  // allocated with V_CoTaskMemAlloc
};

struct V_VIDEOINFOHEADER {
    V_RECT rcSource;
    V_RECT rcTarget;
    V_DWORD dwBitRate;
    V_DWORD dwBitErrorRate;
    V_REFERENCE_TIME AvgTimePerFrame;
    V_BITMAPINFOHEADER bmiHeader;
};

struct V_ALLOCATOR_PROPERTIES {
    long cBuffers;
    long cbBuffer;
    long cbAlign;
    long cbPrefix;
};

enum V_PIN_DIRECTION { V_PINDIR_INPUT = 0, V_PINDIR_OUTPUT = 1 };
enum V_FILTER_STATE { V_State_Stopped = 0, V_State_Paused = 1, V_State_Running = 2 };

struct V_IBaseFilter;
struct V_IFilterGraph;

struct V_PIN_INFO {
    V_IBaseFilter* pFilter;  // referenced for the caller
    V_PIN_DIRECTION dir;
    V_WCHAR achName[128];
};

struct V_FILTER_INFO {
    V_WCHAR achName[128];
    V_IFilterGraph* pGraph;  // referenced for the caller
};

constexpr V_DWORD V_AM_SEEKING_NoPositioning = 0x0;
constexpr V_DWORD V_AM_SEEKING_AbsolutePositioning = 0x1;
constexpr V_DWORD V_AM_SEEKING_RelativePositioning = 0x2;
constexpr V_DWORD V_AM_SEEKING_PositioningBitsMask = 0x3;

// Memory of media types' format blocks and of other records handed across interfaces.
void* V_CoTaskMemAlloc(size_t size);
void V_CoTaskMemFree(void* memory);

// Media type records: the format block is owned by the record.
void V_FreeMediaType(V_AM_MEDIA_TYPE& type);
void V_DeleteMediaType(V_AM_MEDIA_TYPE* type);
V_HRESULT V_CopyMediaType(V_AM_MEDIA_TYPE* target, const V_AM_MEDIA_TYPE* source);
V_AM_MEDIA_TYPE* V_CreateMediaType(const V_AM_MEDIA_TYPE* source);

// Wide names of filters and pins (at most 127 characters kept).
void V_CopyWideName(V_WCHAR* target, const V_WCHAR* source);
bool V_WideNamesEqual(const V_WCHAR* a, const V_WCHAR* b);

// ---------------------------------------------------------------- interfaces

struct V_IReferenceClock : V_IUnknown {
    virtual V_HRESULT GetTime(V_REFERENCE_TIME* time) = 0;
};

struct V_IMediaSample : V_IUnknown {
    virtual V_HRESULT GetPointer(V_BYTE** buffer) = 0;
    virtual long GetSize() = 0;
    virtual V_HRESULT GetTime(V_REFERENCE_TIME* start, V_REFERENCE_TIME* end) = 0;
    virtual V_HRESULT SetTime(V_REFERENCE_TIME* start, V_REFERENCE_TIME* end) = 0;
    virtual V_HRESULT IsSyncPoint() = 0;
    virtual V_HRESULT SetSyncPoint(V_BOOL syncPoint) = 0;
    virtual V_HRESULT IsPreroll() = 0;
    virtual V_HRESULT SetPreroll(V_BOOL preroll) = 0;
    virtual long GetActualDataLength() = 0;
    virtual V_HRESULT SetActualDataLength(long length) = 0;
    virtual V_HRESULT GetMediaType(V_AM_MEDIA_TYPE** type) = 0;
    virtual V_HRESULT SetMediaType(V_AM_MEDIA_TYPE* type) = 0;
    virtual V_HRESULT IsDiscontinuity() = 0;
    virtual V_HRESULT SetDiscontinuity(V_BOOL discontinuity) = 0;
};

struct V_IMemAllocator : V_IUnknown {
    virtual V_HRESULT SetProperties(V_ALLOCATOR_PROPERTIES* request,
                                    V_ALLOCATOR_PROPERTIES* actual) = 0;
    virtual V_HRESULT GetProperties(V_ALLOCATOR_PROPERTIES* properties) = 0;
    virtual V_HRESULT Commit() = 0;
    virtual V_HRESULT Decommit() = 0;
    virtual V_HRESULT GetBuffer(V_IMediaSample** sample, V_REFERENCE_TIME* start,
                                V_REFERENCE_TIME* end, V_DWORD flags) = 0;
    virtual V_HRESULT ReleaseBuffer(V_IMediaSample* sample) = 0;
};

struct V_IEnumMediaTypes : V_IUnknown {
    virtual V_HRESULT Next(V_ULONG count, V_AM_MEDIA_TYPE** types, V_ULONG* fetched) = 0;
    virtual V_HRESULT Skip(V_ULONG count) = 0;
    virtual V_HRESULT Reset() = 0;
};

struct V_IPin : V_IUnknown {
    virtual V_HRESULT Connect(V_IPin* receivePin, const V_AM_MEDIA_TYPE* type) = 0;
    virtual V_HRESULT ReceiveConnection(V_IPin* connector, const V_AM_MEDIA_TYPE* type) = 0;
    virtual V_HRESULT Disconnect() = 0;
    virtual V_HRESULT ConnectedTo(V_IPin** pin) = 0;
    virtual V_HRESULT ConnectionMediaType(V_AM_MEDIA_TYPE* type) = 0;
    virtual V_HRESULT QueryPinInfo(V_PIN_INFO* info) = 0;
    virtual V_HRESULT QueryDirection(V_PIN_DIRECTION* direction) = 0;
    virtual V_HRESULT QueryAccept(const V_AM_MEDIA_TYPE* type) = 0;
    virtual V_HRESULT EnumMediaTypes(V_IEnumMediaTypes** types) = 0;
    virtual V_HRESULT EndOfStream() = 0;
    virtual V_HRESULT BeginFlush() = 0;
    virtual V_HRESULT EndFlush() = 0;
    virtual V_HRESULT NewSegment(V_REFERENCE_TIME start, V_REFERENCE_TIME stop, double rate) = 0;
};

struct V_IEnumPins : V_IUnknown {
    virtual V_HRESULT Next(V_ULONG count, V_IPin** pins, V_ULONG* fetched) = 0;
    virtual V_HRESULT Skip(V_ULONG count) = 0;
    virtual V_HRESULT Reset() = 0;
};

struct V_IMemInputPin : V_IUnknown {
    virtual V_HRESULT GetAllocator(V_IMemAllocator** allocator) = 0;
    virtual V_HRESULT NotifyAllocator(V_IMemAllocator* allocator, V_BOOL readOnly) = 0;
    virtual V_HRESULT GetAllocatorRequirements(V_ALLOCATOR_PROPERTIES* properties) = 0;
    virtual V_HRESULT Receive(V_IMediaSample* sample) = 0;
    virtual V_HRESULT ReceiveCanBlock() = 0;
};

struct V_IAsyncReader : V_IUnknown {
    virtual V_HRESULT RequestAllocator(V_IMemAllocator* preferred,
                                       V_ALLOCATOR_PROPERTIES* properties,
                                       V_IMemAllocator** actual) = 0;
    virtual V_HRESULT Request(V_IMediaSample* sample, uintptr_t user) = 0;
    virtual V_HRESULT WaitForNext(V_DWORD timeout, V_IMediaSample** sample, uintptr_t* user) = 0;
    virtual V_HRESULT SyncReadAligned(V_IMediaSample* sample) = 0;
    virtual V_HRESULT SyncRead(int64_t position, long length, V_BYTE* buffer) = 0;
    virtual V_HRESULT Length(int64_t* total, int64_t* available) = 0;
    virtual V_HRESULT BeginFlush() = 0;
    virtual V_HRESULT EndFlush() = 0;
};

struct V_IPersist : V_IUnknown {
    virtual V_HRESULT GetClassID(V_GUID* classId) = 0;
};

struct V_IMediaFilter : V_IPersist {
    virtual V_HRESULT Stop() = 0;
    virtual V_HRESULT Pause() = 0;
    virtual V_HRESULT Run(V_REFERENCE_TIME start) = 0;
    virtual V_HRESULT GetState(V_DWORD timeout, V_FILTER_STATE* state) = 0;
    virtual V_HRESULT SetSyncSource(V_IReferenceClock* clock) = 0;
    virtual V_HRESULT GetSyncSource(V_IReferenceClock** clock) = 0;
};

struct V_IBaseFilter : V_IMediaFilter {
    virtual V_HRESULT EnumPins(V_IEnumPins** pins) = 0;
    virtual V_HRESULT FindPin(const V_WCHAR* id, V_IPin** pin) = 0;
    virtual V_HRESULT QueryFilterInfo(V_FILTER_INFO* info) = 0;
    virtual V_HRESULT JoinFilterGraph(V_IFilterGraph* graph, const V_WCHAR* name) = 0;
};

struct V_IEnumFilters : V_IUnknown {
    virtual V_HRESULT Next(V_ULONG count, V_IBaseFilter** filters, V_ULONG* fetched) = 0;
    virtual V_HRESULT Skip(V_ULONG count) = 0;
    virtual V_HRESULT Reset() = 0;
};

struct V_IFilterGraph : V_IUnknown {
    virtual V_HRESULT AddFilter(V_IBaseFilter* filter, const V_WCHAR* name) = 0;
    virtual V_HRESULT RemoveFilter(V_IBaseFilter* filter) = 0;
    virtual V_HRESULT EnumFilters(V_IEnumFilters** filters) = 0;
    virtual V_HRESULT FindFilterByName(const V_WCHAR* name, V_IBaseFilter** filter) = 0;
    virtual V_HRESULT ConnectDirect(V_IPin* output, V_IPin* input,
                                    const V_AM_MEDIA_TYPE* type) = 0;
    virtual V_HRESULT Disconnect(V_IPin* pin) = 0;
};

struct V_IGraphBuilder : V_IFilterGraph {
    virtual V_HRESULT Connect(V_IPin* output, V_IPin* input) = 0;
    virtual V_HRESULT Render(V_IPin* output) = 0;
    virtual V_HRESULT RenderFile(const V_WCHAR* file, const V_WCHAR* playList) = 0;
};

// Filters report events (end of stream of a renderer, errors) to their graph through this.
struct V_IMediaEventSink : V_IUnknown {
    virtual V_HRESULT Notify(long code, intptr_t param1, intptr_t param2) = 0;
};

struct V_IMediaControl : V_IUnknown {
    virtual V_HRESULT Run() = 0;
    virtual V_HRESULT Pause() = 0;
    virtual V_HRESULT Stop() = 0;
    virtual V_HRESULT GetState(long timeout, V_FILTER_STATE* state) = 0;
};

struct V_IMediaEvent : V_IUnknown {
    virtual V_HRESULT GetEvent(long* code, intptr_t* param1, intptr_t* param2, long timeout) = 0;
    virtual V_HRESULT WaitForCompletion(long timeout, long* code) = 0;
    virtual V_HRESULT FreeEventParams(long code, intptr_t param1, intptr_t param2) = 0;
};

struct V_IMediaSeeking : V_IUnknown {
    virtual V_HRESULT GetDuration(int64_t* duration) = 0;
    virtual V_HRESULT GetStopPosition(int64_t* stop) = 0;
    virtual V_HRESULT GetCurrentPosition(int64_t* current) = 0;
    virtual V_HRESULT SetPositions(int64_t* current, V_DWORD currentFlags, int64_t* stop,
                                   V_DWORD stopFlags) = 0;
};

struct V_IBasicAudio : V_IUnknown {
    virtual V_HRESULT put_Volume(long volume) = 0;
    virtual V_HRESULT get_Volume(long* volume) = 0;
    virtual V_HRESULT put_Balance(long balance) = 0;
    virtual V_HRESULT get_Balance(long* balance) = 0;
};

// ---------------------------------------------------------------- samples and allocators

class V_CBaseAllocator;

// A sample of a memory allocator: a buffer with times, flags and an optional media type.
// Released for the last time it goes back to its allocator.
class V_CMediaSample : public V_IMediaSample {
public:
    V_CMediaSample(V_CBaseAllocator* allocator, V_BYTE* buffer, long length);
    virtual ~V_CMediaSample();

    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override;
    V_ULONG AddRef() override;
    V_ULONG Release() override;
    V_HRESULT GetPointer(V_BYTE** buffer) override;
    long GetSize() override;
    V_HRESULT GetTime(V_REFERENCE_TIME* start, V_REFERENCE_TIME* end) override;
    V_HRESULT SetTime(V_REFERENCE_TIME* start, V_REFERENCE_TIME* end) override;
    V_HRESULT IsSyncPoint() override;
    V_HRESULT SetSyncPoint(V_BOOL syncPoint) override;
    V_HRESULT IsPreroll() override;
    V_HRESULT SetPreroll(V_BOOL preroll) override;
    long GetActualDataLength() override;
    V_HRESULT SetActualDataLength(long length) override;
    V_HRESULT GetMediaType(V_AM_MEDIA_TYPE** type) override;
    V_HRESULT SetMediaType(V_AM_MEDIA_TYPE* type) override;
    V_HRESULT IsDiscontinuity() override;
    V_HRESULT SetDiscontinuity(V_BOOL discontinuity) override;

    // Points the sample at another buffer (allocators over memory of their callers).
    void SetBuffer(V_BYTE* buffer, long length);
    void ClearState();

    V_CMediaSample* m_pNext = nullptr;  // the allocator's free list

protected:
    V_CBaseAllocator* m_pAllocator;
    V_BYTE* m_pBuffer;
    long m_cbBuffer;
    long m_lActual = 0;
    V_REFERENCE_TIME m_Start = 0;
    V_REFERENCE_TIME m_End = 0;
    bool m_bTimeValid = false;
    bool m_bStopValid = false;
    bool m_bSyncPoint = false;
    bool m_bPreroll = false;
    bool m_bDiscontinuity = false;
    V_AM_MEDIA_TYPE* m_pMediaType = nullptr;
    std::atomic<long> m_cRef{0};
};

// The allocator frame: properties, commit and decommit, a free list of samples and the wait
// for a free one. Each sample handed out holds a reference on its allocator.
class V_CBaseAllocator : public V_IMemAllocator {
public:
    V_CBaseAllocator();
    virtual ~V_CBaseAllocator();

    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override;
    V_ULONG AddRef() override;
    V_ULONG Release() override;
    V_HRESULT SetProperties(V_ALLOCATOR_PROPERTIES* request,
                            V_ALLOCATOR_PROPERTIES* actual) override;
    V_HRESULT GetProperties(V_ALLOCATOR_PROPERTIES* properties) override;
    V_HRESULT Commit() override;
    V_HRESULT Decommit() override;
    V_HRESULT GetBuffer(V_IMediaSample** sample, V_REFERENCE_TIME* start, V_REFERENCE_TIME* end,
                        V_DWORD flags) override;
    V_HRESULT ReleaseBuffer(V_IMediaSample* sample) override;

protected:
    // Makes the samples for the current properties (on Commit); frees them (once every
    // sample is back after a Decommit).
    virtual V_HRESULT Alloc() = 0;
    virtual void Free() = 0;
    // Samples made by Alloc go on the free list through this.
    void AddFreeSample(V_CMediaSample* sample);
    // Deletes every sample of the free list.
    void DeleteFreeSamples();

    std::mutex m_Lock;
    std::condition_variable m_FreeChanged;
    V_ALLOCATOR_PROPERTIES m_Properties{};
    bool m_bPropertiesSet = false;
    bool m_bCommitted = false;
    bool m_bDecommitPending = false;
    long m_lAllocated = 0;  // samples made by Alloc
    long m_lFree = 0;
    V_CMediaSample* m_pFree = nullptr;
    std::atomic<long> m_cRef{0};
};

// The platform's memory allocator: one block of memory laid out as the asked buffers.
class V_CMemAllocator : public V_CBaseAllocator {
public:
    ~V_CMemAllocator() override;
    V_HRESULT SetProperties(V_ALLOCATOR_PROPERTIES* request,
                            V_ALLOCATOR_PROPERTIES* actual) override;

protected:
    V_HRESULT Alloc() override;
    void Free() override;

    V_BYTE* m_pMemory = nullptr;
};

// Class factories of the component table.
V_HRESULT V_CreateFilterGraphObject(const V_GUID* interfaceId, void** object);
V_HRESULT V_CreateNullRendererObject(const V_GUID* interfaceId, void** object);
V_HRESULT V_CreateMemoryAllocatorObject(const V_GUID* interfaceId, void** object);
