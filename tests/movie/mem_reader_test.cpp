// The memory stream and the asynchronous memory reader: positions, reads and pacing of the
// stream; the reader pin's types and connection rule; asynchronous and synchronous reads,
// requests cut at the end of the data, alignment, flushing with requests waiting.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "movie/dshow_filters.h"
#include "platform/winmm/winmm.h"

namespace {

constexpr int64_t kUnit = 10000000;

std::vector<V_BYTE> Pattern(size_t n) {
    std::vector<V_BYTE> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<V_BYTE>(i * 7 + 3);
    return b;
}

TEST(MemStream, PositionsReadsAndSizes) {
    auto data = Pattern(100);
    V_CMemStream* s = CreateMemStream(data.data(), 100, 0, kMemStreamUnpaced);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Alignment(), 1u);
    EXPECT_EQ(s->SetPointer(-1), V_S_FALSE);
    EXPECT_EQ(s->SetPointer(101), V_S_FALSE);
    V_BYTE buffer[64];
    V_DWORD read = 99;
    // The refused positions left it at 0.
    ASSERT_EQ(s->Read(buffer, 10, V_FALSE, &read), V_S_OK);
    EXPECT_EQ(read, 10u);
    EXPECT_EQ(std::memcmp(buffer, data.data(), 10), 0);
    // Cut at the end; at the end nothing, still S_OK.
    ASSERT_EQ(s->SetPointer(90), V_S_OK);
    ASSERT_EQ(s->Read(buffer, 64, V_FALSE, &read), V_S_OK);
    EXPECT_EQ(read, 10u);
    EXPECT_EQ(std::memcmp(buffer, data.data() + 90, 10), 0);
    ASSERT_EQ(s->SetPointer(100), V_S_OK);
    ASSERT_EQ(s->Read(buffer, 64, V_FALSE, &read), V_S_OK);
    EXPECT_EQ(read, 0u);
    // Unpaced: everything is there once a millisecond has passed.
    V_Sleep(3);
    int64_t total = 0, available = 0;
    ASSERT_EQ(s->Size(&total, &available), V_S_OK);
    EXPECT_EQ(total, 100);
    EXPECT_EQ(available, 100);
    DeleteMemStream(s);
    DeleteMemStream(nullptr);
    // The length's high half counts.
    V_CMemStream* big = CreateMemStream(data.data(), 5, 1, kMemStreamUnpaced);
    big->Size(&total, &available);
    EXPECT_EQ(total, (int64_t{1} << 32) + 5);
    DeleteMemStream(big);
}

TEST(MemStream, PacedReadsWaitForTheirBytes) {
    auto data = Pattern(400);
    // One byte a millisecond.
    V_CMemStream* s = CreateMemStream(data.data(), 400, 0, 1);
    V_DWORD start = V_timeGetTime();
    int64_t total = 0, available = 0;
    s->Size(&total, &available);
    EXPECT_LT(available, 60);
    V_BYTE buffer[80];
    V_DWORD read = 0;
    ASSERT_EQ(s->Read(buffer, 80, V_FALSE, &read), V_S_OK);
    EXPECT_EQ(read, 80u);
    EXPECT_GE(V_timeGetTime() - start, 79u);  // the 80th byte was due at 80 ms
    s->Size(&total, &available);
    EXPECT_GE(available, 79);
    EXPECT_LE(available, 400);
    DeleteMemStream(s);
    // A rate of 0 never lets time pass for a byte: it reads at once.
    V_CMemStream* zero = CreateMemStream(data.data(), 400, 0, 0);
    ASSERT_EQ(zero->Read(buffer, 80, V_FALSE, &read), V_S_OK);
    EXPECT_EQ(read, 80u);
    DeleteMemStream(zero);
}

// A stream whose reads wait at a gate while it is closed; alignment as given.
class GatedStream : public V_CAsyncStream {
public:
    GatedStream(std::vector<V_BYTE> bytes, V_DWORD align) : m_Data(std::move(bytes)), m_Align(align) {}
    V_HRESULT SetPointer(int64_t p) override {
        if (p < 0 || p > static_cast<int64_t>(m_Data.size())) return V_S_FALSE;
        m_Pos = p;
        return V_S_OK;
    }
    V_HRESULT Read(V_BYTE* buffer, V_DWORD bytes, V_BOOL, V_DWORD* read) override {
        {
            std::unique_lock<std::mutex> guard(m_Gate);
            ++m_Arrived;
            m_Changed.notify_all();
            m_Changed.wait(guard, [this] { return m_Open; });
        }
        int64_t left = static_cast<int64_t>(m_Data.size()) - m_Pos;
        V_DWORD n = static_cast<int64_t>(bytes) < left ? bytes : static_cast<V_DWORD>(left);
        std::memcpy(buffer, m_Data.data() + m_Pos, n);
        m_Pos += n;
        *read = n;
        return V_S_OK;
    }
    V_HRESULT Size(int64_t* total, int64_t* available) override {
        *total = *available = static_cast<int64_t>(m_Data.size());
        return V_S_OK;
    }
    V_DWORD Alignment() override { return m_Align; }
    void Lock() override {}
    void Unlock() override {}

    void SetOpen(bool open) {
        std::lock_guard<std::mutex> guard(m_Gate);
        m_Open = open;
        m_Changed.notify_all();
    }
    void WaitForArrivals(int n) {
        std::unique_lock<std::mutex> guard(m_Gate);
        m_Changed.wait(guard, [&] { return m_Arrived >= n; });
    }

private:
    std::vector<V_BYTE> m_Data;
    V_DWORD m_Align;
    int64_t m_Pos = 0;
    std::mutex m_Gate;
    std::condition_variable m_Changed;
    bool m_Open = true;
    int m_Arrived = 0;
};

class TestReader : public AsyncReaderFilter {
public:
    TestReader(V_CAsyncStream* stream, V_HRESULT* hr) : AsyncReaderFilter("Test reader", nullptr, stream, hr) {
        m_mt.majortype = V_MEDIATYPE_Stream;
    }
};

// A reader over the bytes with its pin's reader interface and an allocator of four samples.
struct ReaderRig {
    V_IAsyncReader* reader = nullptr;
    V_IMemAllocator* allocator = nullptr;
    V_CBasePin* pin = nullptr;
    V_IBaseFilter* filter = nullptr;
    explicit ReaderRig(V_CBaseFilter* f, long bufferSize = 256) {
        filter = f;
        filter->AddRef();
        pin = f->GetPin(0);
        pin->QueryInterface(V_IID_IAsyncReader, reinterpret_cast<void**>(&reader));
        V_ALLOCATOR_PROPERTIES wanted{4, bufferSize, 1, 0};
        EXPECT_EQ(reader->RequestAllocator(nullptr, &wanted, &allocator), V_S_OK);
        allocator->Commit();
    }
    ~ReaderRig() {
        allocator->Decommit();
        allocator->Release();
        reader->Release();
        filter->Release();
    }
    V_IMediaSample* Sample(int64_t position, int64_t length) {
        V_IMediaSample* s = nullptr;
        EXPECT_EQ(allocator->GetBuffer(&s, nullptr, nullptr, 0), V_S_OK);
        V_REFERENCE_TIME a = position * kUnit, b = (position + length) * kUnit;
        s->SetTime(&a, &b);
        return s;
    }
};

TEST(MemReader, PinTypesAndTheReaderInterfaceRule) {
    auto data = Pattern(16);
    V_CMemStream* stream = CreateMemStream(data.data(), 16, 0, kMemStreamUnpaced);
    V_CMediaType type;
    type.majortype = V_MEDIATYPE_Stream;
    type.subtype = V_MEDIASUBTYPE_MPEG1Audio;
    V_HRESULT hr = V_E_FAIL;
    V_CMemReader* reader = CreateMemReader(stream, &type, &hr);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(hr, V_S_OK);
    reader->AddRef();
    auto* pin = static_cast<MemReaderOutputPin*>(reader->GetPin(0));
    EXPECT_EQ(reader->GetPinCount(), 1);
    V_CMediaType offered;
    EXPECT_EQ(pin->GetMediaType(0, &offered), V_S_OK);
    EXPECT_TRUE(offered.subtype == V_MEDIASUBTYPE_MPEG1Audio);
    EXPECT_EQ(pin->GetMediaType(-1, &offered), V_E_INVALIDARG);
    EXPECT_EQ(pin->GetMediaType(1, &offered), V_VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(pin->CheckMediaType(&type), V_S_OK);
    V_CMediaType other = type;
    other.subtype = V_MEDIASUBTYPE_PCM;
    EXPECT_EQ(pin->CheckMediaType(&other), V_S_FALSE);
    other.majortype = V_MEDIATYPE_Audio;
    EXPECT_EQ(pin->CheckMediaType(&other), V_S_FALSE);
    // A connection completes only with a pin that asked for the reader interface.
    EXPECT_EQ(pin->CompleteConnect(nullptr), V_E_FAIL);
    V_IAsyncReader* async = nullptr;
    ASSERT_EQ(pin->QueryInterface(V_IID_IAsyncReader, reinterpret_cast<void**>(&async)), V_S_OK);
    EXPECT_EQ(pin->CompleteConnect(nullptr), V_S_OK);
    pin->BreakConnect();
    EXPECT_EQ(pin->CompleteConnect(nullptr), V_E_FAIL);
    async->Release();
    reader->Release();
    DeleteMemStream(stream);

    // A reader whose type has no subtype takes every subtype of its major type.
    V_CMemStream* s2 = CreateMemStream(data.data(), 16, 0, kMemStreamUnpaced);
    V_CMediaType any;
    any.majortype = V_MEDIATYPE_Stream;
    V_CMemReader* r2 = CreateMemReader(s2, &any, &hr);
    r2->AddRef();
    EXPECT_EQ(static_cast<MemReaderOutputPin*>(r2->GetPin(0))->CheckMediaType(&type), V_S_OK);
    r2->Release();
    DeleteMemStream(s2);
}

TEST(MemReader, AsynchronousAndSynchronousReadsUpToTheEnd) {
    auto data = Pattern(1000);
    V_CMemStream* stream = CreateMemStream(data.data(), 1000, 0, kMemStreamUnpaced);
    V_CMediaType type;
    type.majortype = V_MEDIATYPE_Stream;
    V_HRESULT hr;
    {
        ReaderRig rig(CreateMemReader(stream, &type, &hr));
        int64_t total = 0, available = 0;
        ASSERT_EQ(rig.reader->Length(&total, &available), V_S_OK);
        EXPECT_EQ(total, 1000);
        // Three requests come back in order with their data and user values.
        V_IMediaSample* sent[3] = {rig.Sample(0, 100), rig.Sample(100, 256), rig.Sample(900, 200)};
        for (uintptr_t i = 0; i < 3; ++i) ASSERT_EQ(rig.reader->Request(sent[i], 10 + i), V_S_OK);
        // The last one ran past the end: cut to the data, its stop time with it.
        V_REFERENCE_TIME a = 0, b = 0;
        sent[2]->GetTime(&a, &b);
        EXPECT_EQ(b, 1000 * kUnit);
        const long expected[3] = {100, 256, 100};
        const int64_t from[3] = {0, 100, 900};
        for (int i = 0; i < 3; ++i) {
            V_IMediaSample* got = nullptr;
            uintptr_t user = 0;
            // Short only because the data ended: a whole read.
            EXPECT_EQ(rig.reader->WaitForNext(5000, &got, &user), V_S_OK);
            ASSERT_EQ(got, sent[i]);
            EXPECT_EQ(user, 10u + i);
            EXPECT_EQ(got->GetActualDataLength(), expected[i]);
            V_BYTE* p = nullptr;
            got->GetPointer(&p);
            EXPECT_EQ(std::memcmp(p, data.data() + from[i], static_cast<size_t>(expected[i])), 0);
            got->Release();
        }
        // Nothing more: a timeout.
        V_IMediaSample* none = nullptr;
        uintptr_t user = 0;
        EXPECT_EQ(rig.reader->WaitForNext(10, &none, &user), V_VFW_E_TIMEOUT);
        EXPECT_EQ(none, nullptr);
        // Beyond the end: nothing read, and not the end of the data either.
        V_IMediaSample* beyond = rig.Sample(1200, 10);
        ASSERT_EQ(rig.reader->Request(beyond, 0), V_S_OK);
        EXPECT_EQ(rig.reader->WaitForNext(5000, &none, &user), V_E_FAIL);
        EXPECT_EQ(none, beyond);
        EXPECT_EQ(beyond->GetActualDataLength(), 0);
        beyond->Release();
        // A request larger than its sample's buffer is refused.
        V_IMediaSample* small = rig.Sample(0, 257);
        EXPECT_EQ(rig.reader->Request(small, 0), V_E_INVALIDARG);
        // Synchronous reads, aligned into a sample and unaligned into any buffer.
        V_IMediaSample* s = rig.Sample(500, 50);
        ASSERT_EQ(rig.reader->SyncReadAligned(s), V_S_OK);
        EXPECT_EQ(s->GetActualDataLength(), 50);
        V_BYTE* p = nullptr;
        s->GetPointer(&p);
        EXPECT_EQ(std::memcmp(p, data.data() + 500, 50), 0);
        V_BYTE buffer[7];
        EXPECT_EQ(rig.reader->SyncRead(333, 7, buffer), V_S_OK);
        EXPECT_EQ(std::memcmp(buffer, data.data() + 333, 7), 0);
        EXPECT_EQ(rig.reader->SyncRead(997, 7, buffer), V_S_FALSE);  // short at the end
        small->Release();
        s->Release();
    }
    DeleteMemStream(stream);
}

TEST(MemReader, AlignedStreamsRoundTheEndAndRefuseUnalignedReads) {
    GatedStream stream(Pattern(1001), 4);
    V_HRESULT hr = V_S_OK;
    ReaderRig rig(new TestReader(&stream, &hr));
    // The end rounded up to 1004: a request at 1000 for 8 is cut to 4, reads 1, and is whole.
    V_IMediaSample* last = rig.Sample(1000, 8);
    ASSERT_EQ(rig.reader->Request(last, 0), V_S_OK);
    V_REFERENCE_TIME a = 0, b = 0;
    last->GetTime(&a, &b);
    EXPECT_EQ(b, 1004 * kUnit);
    V_IMediaSample* got = nullptr;
    uintptr_t user = 0;
    EXPECT_EQ(rig.reader->WaitForNext(5000, &got, &user), V_S_OK);
    EXPECT_EQ(got->GetActualDataLength(), 1);
    got->Release();
    V_IMediaSample* odd = rig.Sample(2, 8);
    EXPECT_EQ(rig.reader->SyncReadAligned(odd), V_VFW_E_BADALIGN);
    EXPECT_EQ(rig.reader->Request(odd, 0), V_VFW_E_BADALIGN);
    odd->Release();
    // Unaligned synchronous reads are served.
    V_BYTE buffer[3];
    EXPECT_EQ(rig.reader->SyncRead(5, 3, buffer), V_S_OK);
}

TEST(MemReader, FlushHandsBackWaitingRequestsAndRefusesNewOnes) {
    GatedStream stream(Pattern(1000), 1);
    V_HRESULT hr = V_S_OK;
    ReaderRig rig(new TestReader(&stream, &hr));
    stream.SetOpen(false);
    V_IMediaSample* sent[3] = {rig.Sample(0, 10), rig.Sample(10, 10), rig.Sample(20, 10)};
    for (uintptr_t i = 0; i < 3; ++i) ASSERT_EQ(rig.reader->Request(sent[i], i), V_S_OK);
    stream.WaitForArrivals(1);  // the worker holds the first, the others wait
    std::atomic<bool> flushed{false};
    std::thread flusher([&] {
        rig.reader->BeginFlush();
        flushed = true;
    });
    V_Sleep(30);
    EXPECT_FALSE(flushed);  // the flush waits for the read in hand
    stream.SetOpen(true);
    flusher.join();
    V_IMediaSample* late = rig.Sample(30, 10);
    EXPECT_EQ(rig.reader->Request(late, 9), V_VFW_E_WRONG_STATE);
    late->Release();
    // The waiting ones come back first, unread, without blocking; then the one read.
    V_HRESULT results[3];
    V_IMediaSample* order[3];
    for (int i = 0; i < 3; ++i) {
        uintptr_t user = 0;
        results[i] = rig.reader->WaitForNext(0, &order[i], &user);
    }
    EXPECT_EQ(order[0], sent[1]);
    EXPECT_EQ(results[0], V_VFW_E_TIMEOUT);
    EXPECT_EQ(order[1], sent[2]);
    EXPECT_EQ(results[1], V_VFW_E_TIMEOUT);
    EXPECT_EQ(order[2], sent[0]);
    EXPECT_EQ(results[2], V_S_OK);
    EXPECT_EQ(sent[0]->GetActualDataLength(), 10);
    // Flushing and empty: no waiting.
    V_IMediaSample* none = nullptr;
    uintptr_t user = 0;
    EXPECT_EQ(rig.reader->WaitForNext(5000, &none, &user), V_VFW_E_WRONG_STATE);
    ASSERT_EQ(rig.reader->EndFlush(), V_S_OK);
    EXPECT_EQ(rig.reader->WaitForNext(10, &none, &user), V_VFW_E_TIMEOUT);
    ASSERT_EQ(rig.reader->Request(sent[1], 5), V_S_OK);
    EXPECT_EQ(rig.reader->WaitForNext(5000, &none, &user), V_S_OK);
    EXPECT_EQ(none, sent[1]);
    for (V_IMediaSample* s : sent) s->Release();
}

}  // namespace
