// Small routines of the sound system: the in-memory RIFF/WAVE writer, whole-file and
// whole-stream reading, the capture file's closing header, and samples to milliseconds.
#include "sound/sound.h"
#include "sound/sound_decoder.h"
#include "sound/sound_internal.h"

#include "platform/kernel/kernel.h"

namespace {

uint8_t* PutTag(uint8_t* p, const char* tag) {
    CopyBytes(p, tag, 4);
    return p + 4;
}

uint8_t* PutLittle32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
    return p + 4;
}

uint8_t* PutLittle16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    return p + 2;
}

}  // namespace

int BuildWaveFileImage(uint8_t** image, int32_t* imageSize, const void* format,
                       int32_t formatSize, const void* data, int32_t dataSize) {
    int64_t total = 28 + static_cast<int64_t>(formatSize) + dataSize;
    if (formatSize < 0 || dataSize < 0 || total > 0x7FFFFFFF) return -1;
    auto* block = static_cast<uint8_t*>(AllocateMemory(static_cast<size_t>(total), "", 0));
    if (block == nullptr) return -1;
    uint8_t* p = PutTag(block, "RIFF");
    p = PutLittle32(p, static_cast<uint32_t>(total - 8));
    p = PutTag(p, "WAVE");
    p = PutTag(p, "fmt ");
    p = PutLittle32(p, static_cast<uint32_t>(formatSize));
    CopyBytes(p, format, static_cast<size_t>(formatSize));
    p += formatSize;
    p = PutTag(p, "data");
    p = PutLittle32(p, static_cast<uint32_t>(dataSize));
    CopyBytes(p, data, static_cast<size_t>(dataSize));
    *image = block;
    *imageSize = static_cast<int32_t>(total);
    return 0;
}

int FinishWaveCapture() {
    WaveCaptureState& capture = g_WaveCapture;
    if (!capture.capturing) return -1;
    uint8_t header[46];
    uint32_t dataBytes = 4u * static_cast<uint32_t>(capture.frames);
    uint8_t* p = PutTag(header, "RIFF");
    p = PutLittle32(p, 38 + dataBytes);
    p = PutTag(p, "WAVE");
    p = PutTag(p, "fmt ");
    p = PutLittle32(p, 18);
    p = PutLittle16(p, 1);
    p = PutLittle16(p, 2);
    p = PutLittle32(p, 44100);
    p = PutLittle32(p, 176400);
    p = PutLittle16(p, 4);
    p = PutLittle16(p, 16);
    p = PutLittle16(p, 0);
    p = PutTag(p, "data");
    PutLittle32(p, dataBytes);
    V_SetFilePointer(capture.file, 0, nullptr, V_FILE_BEGIN);
    V_DWORD written = 0;
    V_WriteFile(capture.file, header, sizeof(header), &written, nullptr);
    V_CloseHandle(capture.file);
    capture.file = nullptr;
    capture.capturing = 0;
    return 0;
}

int LoadFileToMemory(const char* path, uint8_t** data, int32_t* size) {
    intptr_t file = OpenFileHandle(path, 0, 1, 0);
    if (file == 0) {
        WriteLogFormat("右記のファイルのオープンに失敗しました：%s", path);
        return -1;
    }
    SeekFileHandle(file, 0, 2);
    int32_t length = TellFileHandle(file);
    SeekFileHandle(file, 0, 0);
    if (length < 0) length = 0;
    auto* block = static_cast<uint8_t*>(AllocateMemory(static_cast<size_t>(length), "", 0));
    if (block == nullptr) {
        WriteLogFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
        CloseFileHandle(file);
        return -1;
    }
    ReadFileHandle(block, 1, static_cast<size_t>(length), file);
    CloseFileHandle(file);
    *data = block;
    *size = length;
    return 0;
}

int ReadStreamToMemory(const StreamHolder* stream, uint8_t** data, int32_t* size) {
    stream->functions.seek(stream->handle, 0, 2);
    int32_t length = stream->functions.tell(stream->handle);
    stream->functions.seek(stream->handle, 0, 0);
    if (length < 0) length = 0;
    auto* block = static_cast<uint8_t*>(AllocateMemory(static_cast<size_t>(length), "", 0));
    if (block == nullptr) {
        WriteLogFormat("ストリームの読み込みに必要なメモリの確保に失敗しました");
        return -1;
    }
    stream->functions.read(block, 1, static_cast<size_t>(length), stream->handle);
    *data = block;
    *size = length;
    return 0;
}

int ConvertSamplesToMs(int32_t samples, int32_t rate) {
    if (rate == 0) return 0;
    return static_cast<int>(static_cast<int64_t>(samples) * 1000 / rate);
}
