// The frame of the platform's own filters (movie source, MPEG audio decoder, null renderer):
// a filter with up to two pins whose connection, allocator and streaming calls lead to
// hooks of the filter. Internal to the streaming stand-in.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/dshow/dshow.h"

namespace dshow {

class StreamFilter;

// Reference-counted list of pins or filters handed out by the enumerators.
V_IEnumPins* MakePinEnumerator(V_IPin* const* pins, int count);
V_IEnumMediaTypes* MakeTypeEnumerator(const V_AM_MEDIA_TYPE* types, int count);

// A pin of a platform filter. Its references are the filter's.
class StreamPin : public V_IPin, public V_IMemInputPin {
public:
    StreamPin(StreamFilter* filter, int index, V_PIN_DIRECTION direction, const V_WCHAR* name);
    virtual ~StreamPin();

    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override;
    V_ULONG AddRef() override;
    V_ULONG Release() override;

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
    V_HRESULT BeginFlush() override;
    V_HRESULT EndFlush() override;
    V_HRESULT NewSegment(V_REFERENCE_TIME start, V_REFERENCE_TIME stop, double rate) override;

    V_HRESULT GetAllocator(V_IMemAllocator** allocator) override;
    V_HRESULT NotifyAllocator(V_IMemAllocator* allocator, V_BOOL readOnly) override;
    V_HRESULT GetAllocatorRequirements(V_ALLOCATOR_PROPERTIES* properties) override;
    V_HRESULT Receive(V_IMediaSample* sample) override;
    V_HRESULT ReceiveCanBlock() override;

    bool IsConnected() const { return m_Peer != nullptr; }
    V_IPin* Peer() const { return m_Peer; }
    V_IMemInputPin* PeerInput() const { return m_PeerInput; }
    V_IMemAllocator* Allocator() const { return m_Allocator; }
    const V_AM_MEDIA_TYPE& Type() const { return m_Type; }

private:
    V_HRESULT TryConnect(V_IPin* receivePin, const V_AM_MEDIA_TYPE* type);
    V_HRESULT DecideAllocator();
    void ClearConnection();

    StreamFilter* m_Filter;
    int m_Index;
    V_PIN_DIRECTION m_Direction;
    V_WCHAR m_Name[128];
    V_IPin* m_Peer = nullptr;
    V_IMemInputPin* m_PeerInput = nullptr;  // output pins: the downstream pin's sample input
    V_IMemAllocator* m_Allocator = nullptr;
    V_AM_MEDIA_TYPE m_Type{};
};

// A platform filter: state, clock, graph membership and its pins; the streaming work is the
// derived filter's, through the hooks.
class StreamFilter : public V_IBaseFilter {
public:
    StreamFilter(const V_GUID& classId, const V_WCHAR* name);
    virtual ~StreamFilter();

    V_HRESULT QueryInterface(const V_GUID& iid, void** object) override;
    V_ULONG AddRef() override;
    V_ULONG Release() override;
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

    // Hooks. Output pins offer types by position (S_OK, or V_VFW_S_NO_MORE_ITEMS past the
    // last); input pins check a proposed connection (the peer is the connecting pin).
    virtual V_HRESULT GetPinType(int pin, int position, V_AM_MEDIA_TYPE* type);
    virtual V_HRESULT CheckPinConnection(int pin, const V_AM_MEDIA_TYPE* type, V_IPin* peer);
    virtual void BreakPinConnection(int pin);
    virtual void GetAllocatorNeeds(int pin, V_ALLOCATOR_PROPERTIES* properties);
    virtual V_HRESULT ReceiveSample(int pin, V_IMediaSample* sample);
    virtual V_HRESULT ReceiveEndOfStream(int pin);
    virtual V_HRESULT ReceiveFlush(int pin, bool begin);
    // State changes, called after the new state is stored, under the filter lock.
    virtual V_HRESULT OnStateChange(V_FILTER_STATE from, V_FILTER_STATE to);

    // Tells the graph (EC_COMPLETE from renderers, errors).
    void NotifyGraph(long code, intptr_t param1, intptr_t param2);
    V_FILTER_STATE State();
    std::recursive_mutex& Lock() { return m_Lock; }

protected:
    void SetPins(StreamPin* first, StreamPin* second);

    std::recursive_mutex m_Lock;
    std::atomic<long> m_cRef{0};
    V_GUID m_ClassId;
    V_WCHAR m_Name[128];
    V_IFilterGraph* m_Graph = nullptr;  // not referenced: the graph holds the filter
    V_IMediaEventSink* m_Sink = nullptr;
    V_IReferenceClock* m_Clock = nullptr;
    V_REFERENCE_TIME m_Start = 0;
    V_FILTER_STATE m_State = V_State_Stopped;
    StreamPin* m_Pins[2] = {nullptr, nullptr};
    int m_PinCount = 0;
};

// A filter whose output pin (the last pin) is fed by a streaming thread of its own: the thread
// runs from pause to stop, asks the derived filter for one sample after another, handles seek
// requests between samples and sends the end of the stream downstream.
class PushFilter : public StreamFilter {
public:
    using StreamFilter::StreamFilter;
    ~PushFilter() override;

    V_HRESULT OnStateChange(V_FILTER_STATE from, V_FILTER_STATE to) override;
    // Moves the stream (flushing downstream when streaming); applied at the next start when
    // the thread is not running.
    void RequestSeek(V_REFERENCE_TIME position);

protected:
    // Fills and delivers the next sample through Deliver: S_OK, S_FALSE at the end of the data,
    // an error when decoding failed (treated as the end).
    virtual V_HRESULT DeliverNext() = 0;
    // Moves the data to the position; called on the streaming thread (and at start).
    virtual void SeekData(V_REFERENCE_TIME position) = 0;
    // Called on the stopping thread before it waits for the streaming thread to end, and after.
    virtual void UnblockStreaming(bool begin);

    // A free sample of the output's allocator (null when the allocator was decommitted).
    V_IMediaSample* GetDeliveryBuffer();
    // Hands the sample downstream; the result of the downstream pin.
    V_HRESULT Deliver(V_IMediaSample* sample);
    // Stamps the sample (times, data length, a sync point), delivers and releases it: S_OK, the
    // downstream's failure, or E_ABORT when the downstream refused it without one.
    V_HRESULT DeliverStamped(V_IMediaSample* sample, V_REFERENCE_TIME start,
                             V_REFERENCE_TIME stop, long length);
    StreamPin* OutputPin() { return m_Pins[m_PinCount - 1]; }

private:
    void StreamingLoop();
    void StopStreaming();

    std::thread m_Thread;
    std::mutex m_ThreadLock;
    std::condition_variable m_ThreadWake;
    bool m_StopRequested = false;
    bool m_SeekPending = false;
    bool m_SeekDone = false;
    V_REFERENCE_TIME m_SeekTarget = 0;
    bool m_StartSeek = false;  // a seek to apply when the thread starts
};

// True when the type is of the given major type and subtype (a null subtype matches any).
bool TypeIs(const V_AM_MEDIA_TYPE* type, const V_GUID& major, const V_GUID& subtype);
// Makes the type interleaved 16-bit PCM of the channels and rate (the format block allocated
// with CoTaskMemAlloc); E_OUTOFMEMORY when it cannot be had.
V_HRESULT SetPcmType(V_AM_MEDIA_TYPE* type, int channels, int rate);

// Creates the platform's filters for the graph manager. The movie source opens the file
// (UTF-8 path); null when FFmpeg cannot read a video stream from it.
StreamFilter* CreateMovieSource(const char* path);
// The movie file's soundtrack as PCM; null when FFmpeg finds no audio stream it can decode.
StreamFilter* CreateMovieAudioSource(const char* path);
StreamFilter* CreateMpegAudioDecoder();
// Plays PCM through a sound device object of its own; offers the graph its clock and the
// audio controls.
StreamFilter* CreateAudioRenderer();
StreamFilter* CreateNullRenderer();

// The movie source's position control, used by the graph manager's seeking interface.
struct SourceSeeking {
    virtual V_REFERENCE_TIME Duration() = 0;
    // Moves the stream to the position (100-ns units); the filter flushes its way downstream.
    virtual void SeekTo(V_REFERENCE_TIME position) = 0;

protected:
    ~SourceSeeking() = default;
};
SourceSeeking* GetSourceSeeking(StreamFilter* source);

}  // namespace dshow
