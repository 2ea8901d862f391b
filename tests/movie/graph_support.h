// A graph of the streaming stand-in around a frame-recording renderer of the library's base
// classes, for the graph tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "movie/dshow_base.h"
#include "platform/com/com_classes.h"
#include "platform/dshow/dshow.h"

namespace graph_test {

const V_GUID kRecorderClass = {0x1234, 0x5678, 0x9ABC, {1, 2, 3, 4, 5, 6, 7, 8}};

// A renderer that takes 24-bit RGB and keeps the colour of the first and last buffer row of
// each frame, and on request each sample's bytes whole.
class FrameRecorder : public V_CBaseVideoRenderer {
public:
    explicit FrameRecorder(V_HRESULT* hr)
        : V_CBaseVideoRenderer(kRecorderClass, "FrameRecorder", nullptr, hr) {}

    V_HRESULT CheckMediaType(const V_CMediaType* type) override {
        if (!(type->formattype == V_FORMAT_VideoInfo)) return V_E_INVALIDARG;
        if (!(type->majortype == V_MEDIATYPE_Video) || !(type->subtype == V_MEDIASUBTYPE_RGB24))
            return V_E_FAIL;
        return V_S_OK;
    }
    V_HRESULT SetMediaType(const V_CMediaType* type) override {
        std::lock_guard<std::mutex> guard(lock);
        std::memcpy(&info, type->pbFormat, sizeof(info));
        return V_S_OK;
    }
    V_HRESULT DoRenderSample(V_IMediaSample* sample) override {
        V_BYTE* data = nullptr;
        sample->GetPointer(&data);
        V_REFERENCE_TIME start = 0, stop = 0;
        sample->GetTime(&start, &stop);
        std::lock_guard<std::mutex> guard(lock);
        int pitch = (info.bmiHeader.biWidth * 3 + 3) & ~3;
        const V_BYTE* last = data + static_cast<size_t>(pitch) * (info.bmiHeader.biHeight - 1);
        frames.push_back({data[0], data[1], data[2], last[0], last[1], last[2], start,
                          sample->GetActualDataLength(), sample->GetSize()});
        if (keepPixels) pixels.emplace_back(data, data + sample->GetActualDataLength());
        return V_S_OK;
    }

    struct Frame {
        int firstB, firstG, firstR, lastB, lastG, lastR;
        V_REFERENCE_TIME start;
        long length, size;
    };
    std::vector<Frame> Frames() {
        std::lock_guard<std::mutex> guard(lock);
        return frames;
    }

    std::mutex lock;
    V_VIDEOINFOHEADER info{};
    std::vector<Frame> frames;
    bool keepPixels = false;
    std::vector<std::vector<V_BYTE>> pixels;
};

inline std::u16string Wide(const std::string& name) {
    std::u16string wide(name.size() + 1, u'\0');
    int n = V_MultiByteToWideChar(V_CP_ACP, 0, name.c_str(), -1, wide.data(),
                                  static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return wide;
}

struct Graph {
    V_IGraphBuilder* builder = nullptr;
    V_IMediaControl* control = nullptr;
    V_IMediaEvent* events = nullptr;
    V_IMediaSeeking* seeking = nullptr;
    FrameRecorder* renderer = nullptr;

    Graph() {
        V_CoCreateInstance(V_CLSID_FilterGraph, nullptr, V_CLSCTX_INPROC_SERVER,
                           V_IID_IGraphBuilder, reinterpret_cast<void**>(&builder));
        if (builder == nullptr) return;
        builder->QueryInterface(V_IID_IMediaControl, reinterpret_cast<void**>(&control));
        builder->QueryInterface(V_IID_IMediaEvent, reinterpret_cast<void**>(&events));
        builder->QueryInterface(V_IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
        V_HRESULT hr = V_S_OK;
        renderer = new FrameRecorder(&hr);
        renderer->AddRef();
        builder->AddFilter(renderer, u"MovieRenderer");
    }
    ~Graph() {
        if (seeking) seeking->Release();
        if (events) events->Release();
        if (control) control->Release();
        if (builder) builder->Release();
        if (renderer) renderer->Release();
    }
    V_HRESULT Render(const std::string& file) {
        return builder->RenderFile(Wide(file).c_str(), nullptr);
    }
    void NoClock() {
        V_IMediaFilter* filter = nullptr;
        builder->QueryInterface(V_IID_IMediaFilter, reinterpret_cast<void**>(&filter));
        filter->SetSyncSource(nullptr);
        filter->Release();
    }
    long WaitForEnd(long ms) {
        long code = 0;
        return V_SUCCEEDED(events->WaitForCompletion(ms, &code)) ? code : -1;
    }
};

}  // namespace graph_test
