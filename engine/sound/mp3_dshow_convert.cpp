// MPEG audio that no other decoder took, converted whole: the file's bytes are served from
// memory by the memory reader, the platform's decoder turns them into PCM, the sample grabber
// collects every sample into one growing block, and a null renderer ends the graph, which runs
// without a clock as fast as it decodes. The decoder then hands out that PCM (kind 3).
#include <cstring>

#include "core/core_services.h"
#include "platform/com/com_classes.h"
#include "sound/mp3_dshow.h"
#include "sound/sound_decoder.h"

namespace {

constexpr uint32_t kGrowStep = 1048576;
constexpr uint64_t kLargestBlock = 0x7FFFFFFF;  // PCM sizes are 32-bit signed

// Everything one conversion makes, released in the tear-down.
struct Conversion {
    uint8_t* image = nullptr;
    V_CMemStream* stream = nullptr;
    V_CMemReader* reader = nullptr;
    V_IBaseFilter* nullRenderer = nullptr;
    V_IGraphBuilder* graph = nullptr;
    V_CSampleGrabber* grabber = nullptr;
    bool grabberInGraph = false;
    V_IMediaFilter* mediaFilter = nullptr;
    V_IMediaControl* control = nullptr;
    V_IMediaEvent* events = nullptr;
};

void TearDown(Conversion& c) {
    if (c.events != nullptr) c.events->Release();
    if (c.mediaFilter != nullptr) c.mediaFilter->Release();
    if (c.control != nullptr) c.control->Release();
    // The graph stops and lets go of every filter added to it, the grabber among them.
    if (c.graph != nullptr) c.graph->Release();
    if (c.nullRenderer != nullptr) c.nullRenderer->Release();
    if (c.grabber != nullptr && !c.grabberInGraph) delete c.grabber;
    if (c.reader != nullptr) c.reader->Release();
    DeleteMemStream(c.stream);
    FreeMemory(c.image);
}

int Fail(Conversion& c, SoundDecoder* decoder, const char* message) {
    if (message != nullptr) WriteLog(message);
    TearDown(c);
    FreeMemory(decoder->pcm.data);
    decoder->pcm = PcmGrowBuffer{};
    return -1;
}

// The renderer the graph brought in (a filter with a connected input and no output) is
// taken out of the stream, and the null renderer put in its place.
bool ReplaceRenderer(Conversion& c) {
    V_IEnumFilters* filters = nullptr;
    if (V_FAILED(c.graph->EnumFilters(&filters)) || filters == nullptr) return false;
    V_IPin* upstream = nullptr;
    bool ok = false;
    V_IBaseFilter* filter = nullptr;
    while (filters->Next(1, &filter, nullptr) == V_S_OK) {
        V_IPin* input = FindPinByDirection(filter, V_PINDIR_INPUT);
        V_IPin* output = FindPinByDirection(filter, V_PINDIR_OUTPUT);
        bool found = false;
        if (input != nullptr && output == nullptr &&
            input->ConnectedTo(&upstream) == V_S_OK && upstream != nullptr) {
            found = true;
            ok = V_SUCCEEDED(c.graph->Disconnect(upstream)) &&
                 V_SUCCEEDED(c.graph->Disconnect(input));
        }
        if (input != nullptr) input->Release();
        if (output != nullptr) output->Release();
        filter->Release();
        if (found) break;
    }
    filters->Release();
    if (upstream == nullptr) return false;
    if (ok) {
        V_IPin* nullInput = FindPinByDirection(c.nullRenderer, V_PINDIR_INPUT);
        ok = nullInput != nullptr && V_SUCCEEDED(c.graph->Connect(upstream, nullInput));
        if (nullInput != nullptr) nullInput->Release();
    }
    upstream->Release();
    return ok;
}

}  // namespace

V_IPin* FindPinByDirection(V_IBaseFilter* filter, int direction) {
    V_IEnumPins* pins = nullptr;
    if (filter == nullptr || V_FAILED(filter->EnumPins(&pins)) || pins == nullptr) return nullptr;
    V_IPin* found = nullptr;
    V_IPin* pin = nullptr;
    while (found == nullptr && pins->Next(1, &pin, nullptr) == V_S_OK) {
        V_PIN_DIRECTION d;
        if (V_SUCCEEDED(pin->QueryDirection(&d)) && static_cast<int>(d) == direction)
            found = pin;
        else
            pin->Release();
    }
    pins->Release();
    return found;
}

V_HRESULT Mp3GrabberCallback(V_IMediaSample* sample, V_REFERENCE_TIME*, V_REFERENCE_TIME*,
                             V_BOOL, void* user) {
    PcmGrowBuffer& pcm = static_cast<SoundDecoder*>(user)->pcm;
    if (pcm.data == nullptr) return 0;
    V_BYTE* data = nullptr;
    sample->GetPointer(&data);
    long n = sample->GetActualDataLength();
    if (data == nullptr || n <= 0) return 0;
    uint64_t needed = static_cast<uint64_t>(pcm.used) + static_cast<uint64_t>(n);
    if (needed > pcm.capacity) {
        uint64_t capacity = pcm.capacity;
        while (capacity < needed) capacity += kGrowStep;
        uint8_t* grown = capacity <= kLargestBlock
                             ? static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(capacity)))
                             : nullptr;
        if (grown != nullptr) std::memcpy(grown, pcm.data, pcm.used);
        FreeMemory(pcm.data);
        pcm.data = grown;
        if (grown == nullptr) {
            // Every later sample is dropped; the conversion fails once the graph completes.
            pcm.capacity = 0;
            pcm.used = 0;
            return 0;
        }
        pcm.capacity = static_cast<uint32_t>(capacity);
    }
    std::memcpy(pcm.data + pcm.used, data, static_cast<size_t>(n));
    pcm.used += static_cast<uint32_t>(n);
    return 0;
}

int ConvertMp3ToPcm(SoundDecoder* decoder) {
    decoder->pcm = PcmGrowBuffer{};
    decoder->pcmReadOffset = 0;
    Conversion c;
    const StreamFunctions& io = decoder->stream.functions;
    intptr_t handle = decoder->stream.handle;

    // The whole file in memory.
    io.seek(handle, 0, 2);
    int32_t size = io.tell(handle);
    io.seek(handle, 0, 0);
    if (size <= 0) return Fail(c, decoder, nullptr);
    c.image = static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(size)));
    if (c.image == nullptr) return Fail(c, decoder, nullptr);
    size_t got = io.read(c.image, 1, static_cast<size_t>(size), handle);
    if (got < static_cast<size_t>(size)) size = static_cast<int32_t>(got);

    c.stream = CreateMemStream(c.image, static_cast<V_DWORD>(size), 0, kMemStreamUnpaced);
    if (c.stream == nullptr) return Fail(c, decoder, "MP3変換用 V_CMemStream の作成に失敗しました");
    V_CMediaType readerType;
    readerType.majortype = V_MEDIATYPE_Stream;
    readerType.subtype = V_MEDIASUBTYPE_MPEG1Audio;
    V_HRESULT hr = V_S_OK;
    c.reader = CreateMemReader(c.stream, &readerType, &hr);
    if (c.reader == nullptr) return Fail(c, decoder, "MP3変換用 V_CMemReader の作成に失敗しました");
    c.reader->AddRef();
    if (V_FAILED(V_CoCreateInstance(V_CLSID_NullRenderer, nullptr, V_CLSCTX_INPROC_SERVER,
                                    V_IID_IBaseFilter,
                                    reinterpret_cast<void**>(&c.nullRenderer))))
        return Fail(c, decoder, "MP3変換用 NullRender の作成に失敗しました");
    if (V_FAILED(V_CoCreateInstance(V_CLSID_FilterGraph, nullptr,
                                    V_CLSCTX_INPROC_SERVER | V_CLSCTX_INPROC_HANDLER,
                                    V_IID_IGraphBuilder, reinterpret_cast<void**>(&c.graph))))
        return Fail(c, decoder, "MP3変換用 IGraphBuilder の作成に失敗しました");
    c.grabber = CreateSampleGrabber(&hr);
    if (c.grabber == nullptr)
        return Fail(c, decoder, "MP3変換用 V_CSampleGrabber の作成に失敗しました");
    V_CMediaType accepted;
    accepted.majortype = V_MEDIATYPE_Audio;
    accepted.subtype = V_MEDIASUBTYPE_PCM;
    if (V_FAILED(c.grabber->SetAcceptedMediaType(&accepted)))
        return Fail(c, decoder, "サンプルグラバフィルタのメディアタイプの設定に失敗しました");
    if (V_FAILED(c.graph->AddFilter(c.grabber, u"SampleGrabber")))
        return Fail(c, decoder, "サンプルグラバフィルタのグラフへの追加に失敗しました");
    c.grabberInGraph = true;
    if (V_FAILED(c.graph->AddFilter(c.reader, u"MemFile")))
        return Fail(c, decoder, "メモリファイルフィルタのグラフへの追加に失敗しました");
    if (V_FAILED(c.graph->Render(c.reader->GetPin(0))))
        return Fail(c, decoder, "グラフの構築に失敗しました");
    if (V_FAILED(c.graph->AddFilter(c.nullRenderer, u"File Renderer")))
        return Fail(c, decoder, "ヌルレンダラーフィルタのグラフへの追加に失敗しました");
    if (!ReplaceRenderer(c))
        return Fail(c, decoder, "既存レンダラーをNullレンダラーと交換する処理が失敗しました");

    // The decoded format.
    V_AM_MEDIA_TYPE connected{};
    if (V_FAILED(c.grabber->GetConnectedMediaType(&connected)))
        return Fail(c, decoder,
                    "音声が含まれていないか、オーディオフォーマットの取得に失敗しました。");
    V_WAVEFORMATEX wave{};
    bool waveFormat = connected.formattype == V_FORMAT_WaveFormatEx &&
                      connected.pbFormat != nullptr && connected.cbFormat >= 16;
    if (waveFormat)
        std::memcpy(&wave, connected.pbFormat,
                    connected.cbFormat < sizeof(wave) ? connected.cbFormat : sizeof(wave));
    V_FreeMediaType(connected);
    if (!waveFormat) return Fail(c, decoder, "サポート外のストリームフォーマットです。");
    // A format without channels or sample size cannot be played either.
    if (wave.wFormatTag != V_WAVE_FORMAT_PCM || wave.nChannels == 0 || wave.nBlockAlign == 0 ||
        wave.nSamplesPerSec == 0)
        return Fail(c, decoder, "サポート外のオーディオフォーマットです。");
    V_WAVEFORMATEX& format = decoder->format;
    format = V_WAVEFORMATEX{};
    format.wFormatTag = wave.wFormatTag;
    format.nChannels = wave.nChannels;
    format.nSamplesPerSec = wave.nSamplesPerSec;
    format.nBlockAlign = wave.nBlockAlign;
    format.nAvgBytesPerSec = static_cast<V_DWORD>(wave.nBlockAlign) * wave.nSamplesPerSec;
    format.wBitsPerSample = static_cast<V_WORD>(wave.nBlockAlign * 8 / wave.nChannels);
    format.cbSize = 0;

    if (V_FAILED(c.grabber->SetCallback(&Mp3GrabberCallback, decoder)))
        return Fail(c, decoder, "コールバック関数を設定できません");
    uint64_t capacity = static_cast<uint64_t>(size) * 10;
    decoder->pcm.data = capacity <= kLargestBlock
                            ? static_cast<uint8_t*>(VELK_ALLOC(static_cast<size_t>(capacity)))
                            : nullptr;
    if (decoder->pcm.data == nullptr)
        return Fail(c, decoder, "PCMデータを格納するメモリ領域の確保に失敗しました");
    decoder->pcm.capacity = static_cast<uint32_t>(capacity);
    decoder->pcm.used = 0;

    if (V_FAILED(c.graph->QueryInterface(V_IID_IMediaFilter,
                                         reinterpret_cast<void**>(&c.mediaFilter))))
        return Fail(c, decoder, "IMediaFilter の取得に失敗しました");
    c.mediaFilter->SetSyncSource(nullptr);
    if (V_FAILED(c.graph->QueryInterface(V_IID_IMediaControl,
                                         reinterpret_cast<void**>(&c.control))))
        return Fail(c, decoder, "IMediaControl の取得に失敗しました");
    if (V_FAILED(c.graph->QueryInterface(V_IID_IMediaEvent, reinterpret_cast<void**>(&c.events))))
        return Fail(c, decoder, "IMediaEvent の取得に失敗しました");

    c.control->Run();
    if (ProcessMessage() == -1) return Fail(c, decoder, "MP3変換の途中でソフトが終了しました");
    for (;;) {
        long code = 0;
        hr = c.events->WaitForCompletion(100, &code);
        if (V_SUCCEEDED(hr) && code == V_EC_ERRORABORT)
            return Fail(c, decoder, "MP3変換の途中でエラーが発生しました");
        if (V_SUCCEEDED(hr) && code == V_EC_COMPLETE) break;
        if (ProcessMessage() == -1)
            return Fail(c, decoder, "MP3変換の途中でソフトが終了しました");
    }
    if (decoder->pcm.data == nullptr)
        return Fail(c, decoder, "PCMデータを格納するメモリ領域の再確保に失敗しました");

    decoder->kind = kDecoderMemoryPcm;
    decoder->chunkSize = static_cast<int32_t>(format.nAvgBytesPerSec);
    decoder->pcmReadOffset = 0;
    TearDown(c);
    return 0;
}

int ReadMemoryPcmChunk(SoundDecoder* decoder) {
    int32_t used = static_cast<int32_t>(decoder->pcm.used);
    if (decoder->pcmReadOffset >= used) return -1;
    int32_t n = used - decoder->pcmReadOffset;
    if (n > decoder->chunkSize) n = decoder->chunkSize;
    CopyBytes(decoder->outputBlock, decoder->pcm.data + decoder->pcmReadOffset,
              static_cast<size_t>(n));
    decoder->pcmReadOffset += n;
    decoder->chunkLeft = n;
    decoder->chunkOffset = 0;
    return 0;
}

int SeekMemoryPcm(SoundDecoder* decoder, int32_t sample) {
    int64_t offset = static_cast<int64_t>(sample) * decoder->format.nBlockAlign;
    if (offset < 0) offset = 0;
    if (offset > decoder->pcm.used) offset = decoder->pcm.used;
    decoder->pcmReadOffset = static_cast<int32_t>(offset);
    decoder->position = SeekTargetPosition(decoder, sample);
    decoder->chunkLeft = 0;
    decoder->chunkOffset = 0;
    return 0;
}

void CloseMemoryPcm(SoundDecoder* decoder) {
    FreeMemory(decoder->pcm.data);
    decoder->pcm = PcmGrowBuffer{};
    decoder->pcmReadOffset = 0;
}
