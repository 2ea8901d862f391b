// The streaming stand-in's own pieces: media type records, the memory allocator (properties,
// alignment, commit and decommit with samples out, a waiting GetBuffer), the graph's filter
// list, events and audio values, the class table, and the code page 932 / UTF-16 conversions.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/com/com_classes.h"
#include "platform/dshow/dshow.h"
#include "platform/kernel/kernel.h"

namespace {

template <class T>
T* Create(const V_GUID& classId, const V_GUID& iid) {
    T* object = nullptr;
    EXPECT_EQ(V_CoCreateInstance(classId, nullptr, V_CLSCTX_INPROC_SERVER, iid,
                                 reinterpret_cast<void**>(&object)),
              V_S_OK);
    return object;
}

TEST(DshowMediaType, CopiesOwnTheirFormatBlock) {
    V_AM_MEDIA_TYPE a{};
    a.majortype = V_MEDIATYPE_Audio;
    a.formattype = V_FORMAT_WaveFormatEx;
    a.cbFormat = 18;
    a.pbFormat = static_cast<V_BYTE*>(V_CoTaskMemAlloc(18));
    std::memset(a.pbFormat, 0x5C, 18);
    V_AM_MEDIA_TYPE* b = V_CreateMediaType(&a);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b->pbFormat, a.pbFormat);
    EXPECT_EQ(std::memcmp(b->pbFormat, a.pbFormat, 18), 0);
    V_FreeMediaType(a);
    EXPECT_EQ(a.pbFormat, nullptr);
    EXPECT_EQ(a.cbFormat, 0u);
    EXPECT_EQ(b->pbFormat[17], 0x5C);  // untouched by freeing the original
    V_DeleteMediaType(b);
    V_DeleteMediaType(nullptr);
    EXPECT_EQ(V_CopyMediaType(nullptr, &a), V_E_POINTER);
    // Names: at most 127 characters kept, compared as far as kept.
    V_WCHAR name[128];
    std::u16string longName(300, u'x');
    V_CopyWideName(name, longName.c_str());
    EXPECT_EQ(std::u16string(name).size(), 127u);
    EXPECT_TRUE(V_WideNamesEqual(name, longName.c_str()));
    EXPECT_FALSE(V_WideNamesEqual(u"In", u"Input"));
}

TEST(DshowAllocator, PropertiesAlignmentAndCommit) {
    auto* a = Create<V_IMemAllocator>(V_CLSID_MemoryAllocator, V_IID_IMemAllocator);
    ASSERT_NE(a, nullptr);
    V_IMediaSample* s = nullptr;
    EXPECT_EQ(a->GetBuffer(&s, nullptr, nullptr, 0), V_VFW_E_NOT_COMMITTED);
    EXPECT_EQ(a->Commit(), V_VFW_E_SIZENOTSET);
    V_ALLOCATOR_PROPERTIES bad{2, 100, 3, 0}, got{};
    EXPECT_EQ(a->SetProperties(&bad, &got), V_VFW_E_BADALIGN);
    // Buffer and prefix together take whole alignment steps.
    V_ALLOCATOR_PROPERTIES want{2, 100, 16, 4};
    ASSERT_EQ(a->SetProperties(&want, &got), V_S_OK);
    EXPECT_EQ((got.cbBuffer + got.cbPrefix) % 16, 0);
    EXPECT_GE(got.cbBuffer, 100);
    ASSERT_EQ(a->Commit(), V_S_OK);
    EXPECT_EQ(a->SetProperties(&want, &got), V_VFW_E_ALREADY_COMMITTED);
    V_IMediaSample* one = nullptr;
    V_IMediaSample* two = nullptr;
    ASSERT_EQ(a->GetBuffer(&one, nullptr, nullptr, 0), V_S_OK);
    ASSERT_EQ(a->GetBuffer(&two, nullptr, nullptr, 0), V_S_OK);
    V_BYTE* p1 = nullptr;
    V_BYTE* p2 = nullptr;
    one->GetPointer(&p1);
    two->GetPointer(&p2);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p1) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p2) % 16, 0u);
    EXPECT_NE(p1, p2);
    EXPECT_EQ(one->SetActualDataLength(got.cbBuffer + 1), V_VFW_E_BUFFER_OVERFLOW);
    // None free: no waiting asked → a timeout; a waiting call is woken by a returned sample.
    V_IMediaSample* third = nullptr;
    EXPECT_EQ(a->GetBuffer(&third, nullptr, nullptr, V_AM_GBF_NOWAIT), V_VFW_E_TIMEOUT);
    std::atomic<V_HRESULT> waited{1};
    std::thread waiter([&] { waited = a->GetBuffer(&third, nullptr, nullptr, 0); });
    V_Sleep(20);
    EXPECT_EQ(waited.load(), 1);
    V_REFERENCE_TIME start = 5, stop = 9;
    one->SetTime(&start, &stop);
    one->Release();
    waiter.join();
    ASSERT_EQ(waited.load(), V_S_OK);
    // A sample handed out again starts clean.
    EXPECT_EQ(third->GetTime(&start, &stop), V_VFW_E_SAMPLE_TIME_NOT_SET);
    third->Release();
    // Decommit wakes a waiter with a refusal; samples out keep the memory until they return.
    V_IMediaSample* held = nullptr;
    ASSERT_EQ(a->GetBuffer(&held, nullptr, nullptr, 0), V_S_OK);
    std::thread refused([&] { waited = a->GetBuffer(&third, nullptr, nullptr, 0); });
    V_Sleep(20);
    ASSERT_EQ(a->Decommit(), V_S_OK);
    refused.join();
    EXPECT_EQ(waited.load(), V_VFW_E_NOT_COMMITTED);
    std::memset(p2, 1, 100);  // still valid memory while out
    two->Release();
    held->Release();
    a->Release();
}

TEST(DshowGraph, FiltersEventsAndAudioValues) {
    auto* graph = Create<V_IGraphBuilder>(V_CLSID_FilterGraph, V_IID_IGraphBuilder);
    auto* renderer = Create<V_IBaseFilter>(V_CLSID_NullRenderer, V_IID_IBaseFilter);
    ASSERT_NE(graph, nullptr);
    ASSERT_NE(renderer, nullptr);
    EXPECT_EQ(graph->AddFilter(nullptr, u"x"), V_E_POINTER);
    ASSERT_EQ(graph->AddFilter(renderer, u"First"), V_S_OK);
    EXPECT_EQ(graph->AddFilter(renderer, u"Again"), V_E_INVALIDARG);
    V_IBaseFilter* found = nullptr;
    ASSERT_EQ(graph->FindFilterByName(u"First", &found), V_S_OK);
    EXPECT_EQ(found, renderer);
    found->Release();
    EXPECT_EQ(graph->FindFilterByName(u"Other", &found), V_VFW_E_NOT_FOUND);
    V_FILTER_INFO info{};
    ASSERT_EQ(renderer->QueryFilterInfo(&info), V_S_OK);
    EXPECT_TRUE(V_WideNamesEqual(info.achName, u"First"));
    EXPECT_NE(info.pGraph, nullptr);
    info.pGraph->Release();

    V_IMediaEvent* events = nullptr;
    V_IMediaControl* control = nullptr;
    V_IBasicAudio* audio = nullptr;
    V_IMediaSeeking* seeking = nullptr;
    graph->QueryInterface(V_IID_IMediaEvent, reinterpret_cast<void**>(&events));
    graph->QueryInterface(V_IID_IMediaControl, reinterpret_cast<void**>(&control));
    graph->QueryInterface(V_IID_IBasicAudio, reinterpret_cast<void**>(&audio));
    graph->QueryInterface(V_IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
    long code = 0;
    EXPECT_EQ(events->WaitForCompletion(0, &code), V_VFW_E_WRONG_STATE);
    intptr_t p1 = 0, p2 = 0;
    EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 5), V_E_ABORT);
    // Nothing streams: running waits in vain.
    ASSERT_EQ(control->Run(), V_S_OK);
    V_FILTER_STATE state;
    EXPECT_EQ(control->GetState(0, &state), V_S_OK);
    EXPECT_EQ(state, V_State_Running);
    EXPECT_EQ(events->WaitForCompletion(10, &code), V_E_ABORT);
    EXPECT_EQ(graph->Render(nullptr), V_E_POINTER);
    control->Stop();
    // No file source: no seeking.
    int64_t duration = 0;
    EXPECT_EQ(seeking->GetDuration(&duration), V_E_NOTIMPL);
    EXPECT_EQ(audio->put_Volume(1), V_E_INVALIDARG);
    EXPECT_EQ(audio->put_Volume(-2500), V_S_OK);
    long volume = 0;
    audio->get_Volume(&volume);
    EXPECT_EQ(volume, -2500);
    EXPECT_EQ(audio->put_Balance(10001), V_E_INVALIDARG);
    ASSERT_EQ(graph->RemoveFilter(renderer), V_S_OK);
    EXPECT_EQ(graph->RemoveFilter(renderer), V_VFW_E_NOT_FOUND);
    for (V_IUnknown* u : std::initializer_list<V_IUnknown*>{events, control, audio, seeking, graph})
        u->Release();
    renderer->Release();
    // Other contexts and outer objects are refused as the class table does.
    void* object = nullptr;
    EXPECT_EQ(V_CoCreateInstance(V_CLSID_FilterGraph, nullptr, V_CLSCTX_LOCAL_SERVER,
                                 V_IID_IGraphBuilder, &object),
              V_REGDB_E_CLASSNOTREG);
}

TEST(DshowWideText, CodePage932AndUtf16BothWays) {
    const char* text = "ムービー/movie.avi";  // code page 932 bytes in this program
    int needed = V_MultiByteToWideChar(V_CP_ACP, 0, text, -1, nullptr, 0);
    ASSERT_GT(needed, 0);
    V_WCHAR wide[64];
    ASSERT_EQ(V_MultiByteToWideChar(V_CP_ACP, 0, text, -1, wide, 64), needed);
    EXPECT_EQ(std::u16string(wide), u"ムービー/movie.avi");
    EXPECT_EQ(V_MultiByteToWideChar(V_CP_ACP, 0, text, -1, wide, 3), 0);  // too short
    char back[64];
    int bytes = V_WideCharToMultiByte(V_CP_ACP, 0, wide, -1, back, sizeof(back), nullptr, nullptr);
    ASSERT_EQ(bytes, static_cast<int>(std::strlen(text)) + 1);
    EXPECT_STREQ(back, text);
    // A lone surrogate is not text.
    const V_WCHAR broken[] = {0xD800, 0};
    EXPECT_EQ(V_WideCharToMultiByte(V_CP_ACP, 0, broken, -1, back, sizeof(back), nullptr, nullptr), 0);
}

}  // namespace
