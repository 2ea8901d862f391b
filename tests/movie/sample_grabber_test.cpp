// The sample grabber between a test source and a test sink: accepted types, the callback with
// its times and type-changed flag, samples passing on without a callback, the connected type
// and the caller's delivery buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "movie/dshow_filters.h"

namespace {

const V_GUID kSourceClass = {0x51, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const V_GUID kSinkClass = {0x52, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
const V_GUID kSubtypeA = {0xA, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}};

V_CMediaType MakeType(const V_GUID& major, const V_GUID& subtype) {
    V_CMediaType t;
    t.majortype = major;
    t.subtype = subtype;
    t.formattype = V_FORMAT_WaveFormatEx;
    V_WAVEFORMATEX* w = reinterpret_cast<V_WAVEFORMATEX*>(t.AllocFormatBuffer(sizeof(V_WAVEFORMATEX)));
    w->wFormatTag = 1;
    w->nChannels = 2;
    return t;
}

class TestSource;

class SourcePin : public V_CBaseOutputPin {
public:
    SourcePin(V_CBaseFilter* f, V_CCritSec* lock, const V_CMediaType& type)
        : V_CBaseOutputPin("source pin", f, lock, nullptr, u"Out"), m_Type(type) {}
    V_HRESULT CheckMediaType(const V_CMediaType* t) override {
        return t->majortype == m_Type.majortype && t->subtype == m_Type.subtype ? V_S_OK : V_S_FALSE;
    }
    V_HRESULT GetMediaType(int position, V_CMediaType* t) override {
        if (position != 0) return V_VFW_S_NO_MORE_ITEMS;
        return t->Set(m_Type);
    }
    V_HRESULT DecideBufferSize(V_IMemAllocator* a, V_ALLOCATOR_PROPERTIES* p) override {
        V_ALLOCATOR_PROPERTIES want{p->cBuffers > 0 ? p->cBuffers : 2, p->cbBuffer > 0 ? p->cbBuffer : 64,
                                    p->cbAlign > 0 ? p->cbAlign : 1, p->cbPrefix};
        V_ALLOCATOR_PROPERTIES got{};
        return a->SetProperties(&want, &got);
    }
    V_CMediaType m_Type;
};

class TestSource : public V_CBaseFilter {
public:
    explicit TestSource(const V_CMediaType& type)
        : V_CBaseFilter("source", nullptr, &m_Lock, kSourceClass), m_Pin(this, &m_Lock, type) {}
    int GetPinCount() override { return 1; }
    V_CBasePin* GetPin(int n) override { return n == 0 ? &m_Pin : nullptr; }
    // Sends a sample of `length` bytes of `value` with the times.
    V_HRESULT Send(V_BYTE value, long length, V_REFERENCE_TIME start, V_BYTE** where = nullptr) {
        V_IMediaSample* s = nullptr;
        V_HRESULT hr = m_Pin.GetDeliveryBuffer(&s, nullptr, nullptr, 0);
        if (V_FAILED(hr)) return hr;
        V_BYTE* p = nullptr;
        s->GetPointer(&p);
        std::memset(p, value, static_cast<size_t>(length));
        s->SetActualDataLength(length);
        V_REFERENCE_TIME stop = start + 100;
        s->SetTime(&start, &stop);
        if (where != nullptr) *where = p;
        hr = m_Pin.Deliver(s);
        s->Release();
        return hr;
    }
    V_CCritSec m_Lock;
    SourcePin m_Pin;
};

// A renderer that takes everything and counts the bytes that reached it.
class TestSink : public V_CBaseRenderer {
public:
    explicit TestSink(V_HRESULT* hr) : V_CBaseRenderer(kSinkClass, "sink", nullptr, hr) {}
    V_HRESULT CheckMediaType(const V_CMediaType*) override { return V_S_OK; }
    V_HRESULT DoRenderSample(V_IMediaSample* s) override {
        ++samples;
        V_BYTE* p = nullptr;
        s->GetPointer(&p);
        lastByte = s->GetActualDataLength() > 0 ? p[0] : -1;
        return V_S_OK;
    }
    int samples = 0;
    int lastByte = -1;
};

struct Call {
    V_REFERENCE_TIME start, stop;
    V_BOOL changed;
    int firstByte;
    long length;
};

V_HRESULT Record(V_IMediaSample* sample, V_REFERENCE_TIME* start, V_REFERENCE_TIME* stop,
                 V_BOOL changed, void* user) {
    V_BYTE* p = nullptr;
    sample->GetPointer(&p);
    static_cast<std::vector<Call>*>(user)->push_back(
        {*start, *stop, changed, p[0], sample->GetActualDataLength()});
    return V_S_OK;
}

// Source → grabber → sink, connected with the source's type.
struct Chain {
    TestSource* source;
    V_CSampleGrabber* grabber;
    TestSink* sink;
    explicit Chain(const V_CMediaType& type) {
        V_HRESULT hr = V_S_OK;
        source = new TestSource(type);
        grabber = CreateSampleGrabber(&hr);
        sink = new TestSink(&hr);
        source->AddRef();
        grabber->AddRef();
        sink->AddRef();
    }
    V_HRESULT ConnectSource() { return source->GetPin(0)->Connect(grabber->GetPin(0), nullptr); }
    V_HRESULT ConnectSink() { return grabber->GetPin(1)->Connect(sink->GetPin(0), nullptr); }
    void Run() {
        sink->Run(0);
        grabber->Run(0);
        source->Run(0);
    }
    ~Chain() {
        sink->Stop();
        grabber->Stop();
        source->Stop();
        for (V_CBaseFilter* f : {static_cast<V_CBaseFilter*>(source), static_cast<V_CBaseFilter*>(grabber),
                                 static_cast<V_CBaseFilter*>(sink)})
            for (int i = 0; i < f->GetPinCount(); ++i) f->GetPin(i)->Disconnect();
        source->Release();
        grabber->Release();
        sink->Release();
    }
};

TEST(SampleGrabber, AcceptedTypesNarrowWhatConnects) {
    V_CMediaType audioA = MakeType(V_MEDIATYPE_Audio, kSubtypeA);
    V_CMediaType audioPcm = MakeType(V_MEDIATYPE_Audio, V_MEDIASUBTYPE_PCM);
    V_CMediaType video = MakeType(V_MEDIATYPE_Video, V_MEDIASUBTYPE_RGB24);
    V_HRESULT hr;
    V_CSampleGrabber* g = CreateSampleGrabber(&hr);
    g->AddRef();
    // Nothing set: everything.
    EXPECT_EQ(g->CheckInputType(&video), V_S_OK);
    EXPECT_EQ(g->CheckInputType(nullptr), V_E_POINTER);
    // Major type only: every subtype of it.
    V_CMediaType accept;
    accept.majortype = V_MEDIATYPE_Audio;
    ASSERT_EQ(g->SetAcceptedMediaType(&accept), V_S_OK);
    EXPECT_EQ(g->CheckInputType(&audioA), V_S_OK);
    EXPECT_EQ(g->CheckInputType(&video), V_VFW_E_INVALID_MEDIA_TYPE);
    // And the subtype, and the format type.
    accept.subtype = V_MEDIASUBTYPE_PCM;
    g->SetAcceptedMediaType(&accept);
    EXPECT_EQ(g->CheckInputType(&audioA), V_VFW_E_INVALID_MEDIA_TYPE);
    EXPECT_EQ(g->CheckInputType(&audioPcm), V_S_OK);
    accept.formattype = V_FORMAT_VideoInfo;
    g->SetAcceptedMediaType(&accept);
    EXPECT_EQ(g->CheckInputType(&audioPcm), V_VFW_E_INVALID_MEDIA_TYPE);
    // Null resets to everything.
    g->SetAcceptedMediaType(nullptr);
    EXPECT_EQ(g->CheckInputType(&video), V_S_OK);
    // The grabber interface from the filter.
    V_ISampleGrabber* i = nullptr;
    ASSERT_EQ(g->QueryInterface(V_IID_ISampleGrabber, reinterpret_cast<void**>(&i)), V_S_OK);
    V_AM_MEDIA_TYPE connected{};
    EXPECT_EQ(i->GetConnectedMediaType(&connected), V_VFW_E_NOT_CONNECTED);
    i->Release();
    g->Release();

    Chain refused(video);
    V_CMediaType onlyAudio;
    onlyAudio.majortype = V_MEDIATYPE_Audio;
    refused.grabber->SetAcceptedMediaType(&onlyAudio);
    EXPECT_LT(refused.ConnectSource(), 0);
    EXPECT_FALSE(refused.grabber->GetPin(0)->IsConnected());
}

TEST(SampleGrabber, CallbackGetsSegmentTimesAndTheTypeChangeOnce) {
    Chain c(MakeType(V_MEDIATYPE_Audio, V_MEDIASUBTYPE_PCM));
    ASSERT_EQ(c.ConnectSource(), V_S_OK);
    ASSERT_EQ(c.ConnectSink(), V_S_OK);
    V_AM_MEDIA_TYPE connected{};
    ASSERT_EQ(c.grabber->GetConnectedMediaType(&connected), V_S_OK);
    EXPECT_TRUE(connected.subtype == V_MEDIASUBTYPE_PCM);
    EXPECT_EQ(connected.cbFormat, sizeof(V_WAVEFORMATEX));
    V_FreeMediaType(connected);
    std::vector<Call> calls;
    ASSERT_EQ(c.grabber->SetCallback(&Record, &calls), V_S_OK);
    c.Run();
    static_cast<V_CBaseOutputPin*>(c.source->GetPin(0))->DeliverNewSegment(5000, 90000, 1.0);
    ASSERT_EQ(c.source->Send(0x11, 40, 0), V_S_OK);
    ASSERT_EQ(c.source->Send(0x22, 30, 100), V_S_OK);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].start, 5000);  // the segment start added
    EXPECT_EQ(calls[0].stop, 5100);
    EXPECT_EQ(calls[0].changed, V_TRUE);
    EXPECT_EQ(calls[0].firstByte, 0x11);
    EXPECT_EQ(calls[0].length, 40);
    EXPECT_EQ(calls[1].start, 5100);
    EXPECT_EQ(calls[1].changed, V_FALSE);
    EXPECT_EQ(c.sink->samples, 2);
    EXPECT_EQ(c.sink->lastByte, 0x22);
    // Without a callback the samples still pass on.
    c.grabber->SetCallback(nullptr, nullptr);
    ASSERT_EQ(c.source->Send(0x33, 10, 200), V_S_OK);
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(c.sink->samples, 3);
    EXPECT_EQ(c.sink->lastByte, 0x33);
    EXPECT_EQ(c.grabber->Transform(nullptr), V_E_POINTER);
    EXPECT_EQ(c.grabber->Receive(nullptr), V_E_POINTER);
}

TEST(SampleGrabber, DeliveryBufferTakesTheSamples) {
    Chain c(MakeType(V_MEDIATYPE_Audio, V_MEDIASUBTYPE_PCM));
    std::vector<V_BYTE> buffer(256, 0);
    V_ALLOCATOR_PROPERTIES two{2, 128, 1, 0};
    EXPECT_EQ(c.grabber->SetDeliveryBuffer(two, buffer.data()), V_E_INVALIDARG);
    V_ALLOCATOR_PROPERTIES one{1, 128, 1, 0};
    EXPECT_EQ(c.grabber->SetDeliveryBuffer(one, nullptr), V_E_INVALIDARG);
    ASSERT_EQ(c.grabber->SetDeliveryBuffer(one, buffer.data()), V_S_OK);
    ASSERT_EQ(c.ConnectSource(), V_S_OK);
    // Connected: no more changes.
    EXPECT_EQ(c.grabber->SetDeliveryBuffer(one, buffer.data()), V_E_INVALIDARG);
    std::vector<Call> calls;
    c.grabber->SetCallback(&Record, &calls);
    c.Run();
    V_BYTE* where = nullptr;
    ASSERT_EQ(c.source->Send(0x5A, 100, 0, &where), V_S_OK);
    EXPECT_EQ(where, buffer.data());
    EXPECT_EQ(buffer[99], 0x5A);
    ASSERT_EQ(calls.size(), 1u);
    // The allocator over the buffer refuses what the buffer does not give.
    V_IMemAllocator* a = nullptr;
    static_cast<V_IMemInputPin*>(static_cast<V_CBaseInputPin*>(c.grabber->GetPin(0)))->GetAllocator(&a);
    ASSERT_NE(a, nullptr);
    a->Decommit();
    V_ALLOCATOR_PROPERTIES got{};
    V_ALLOCATOR_PROPERTIES aligned{1, 128, 16, 0};
    EXPECT_EQ(a->SetProperties(&aligned, &got), V_VFW_E_BADALIGN);
    V_ALLOCATOR_PROPERTIES larger{1, 129, 1, 0};
    EXPECT_EQ(a->SetProperties(&larger, &got), V_E_FAIL);
    V_ALLOCATOR_PROPERTIES smaller{1, 50, 1, 0};
    EXPECT_EQ(a->SetProperties(&smaller, &got), V_S_OK);
    EXPECT_EQ(got.cbBuffer, 128);
    a->Release();
}

}  // namespace
