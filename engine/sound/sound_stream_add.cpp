// Stream sounds: adding sources (a file, a memory image, any stream) to a stream sound.
#include "core/core_services.h"
#include "sound/sound_internal.h"

namespace {

StreamHolder MemoryStreamOver(const void* data, uint32_t size) {
    StreamHolder holder{};
    holder.functions = *GetMemoryStreamFunctions();
    holder.handle = OpenMemoryStream(data, size);
    return holder;
}

void CloseHolder(StreamHolder* holder) {
    if (holder->handle != 0 && holder->functions.close != nullptr)
        holder->functions.close(holder->handle);
    holder->handle = 0;
}

// Undoes what opening a source made.
void DiscardSource(StreamSoundSource* source) {
    if (source->decoder.openFlag) CloseSoundDecoder(&source->decoder);
    CloseHolder(&source->ownStream);
    if (source->image) FreeMemory(source->image);
    source->image = nullptr;
}

// Opens the source's decoder on a memory stream over its own image.
int OpenImageSource(StreamSoundSource* source) {
    source->ownStream = MemoryStreamOver(source->image, source->imageSize);
    if (source->ownStream.handle == 0 ||
        OpenSoundDecoder(&source->ownStream, &source->decoder) != 0) {
        DiscardSource(source);
        return -1;
    }
    return 0;
}

// Mode 0: the whole stream decoded once into a PCM RIFF/WAVE image.
int OpenDecodedSource(const StreamHolder* stream, StreamSoundSource* source) {
    uint8_t* file = nullptr;
    int32_t fileSize = 0;
    if (ReadStreamToMemory(stream, &file, &fileSize) != 0) {
        WriteLogFormat("音声データの読み込みに失敗しました");
        return -1;
    }
    StreamHolder temporary = MemoryStreamOver(file, static_cast<uint32_t>(fileSize));
    SoundDecoder decoder{};
    uint8_t* pcm = nullptr;
    int32_t pcmSize = 0;
    V_WAVEFORMATEX format{};
    int result = -1;
    if (temporary.handle != 0 && OpenSoundDecoder(&temporary, &decoder) == 0) {
        result = DecodeWholeSound(&decoder, &format, &pcm, &pcmSize);
        CloseSoundDecoder(&decoder);
    }
    CloseHolder(&temporary);
    FreeMemory(file);
    if (result != 0) {
        WriteLogFormat("音声データの変換に失敗しました");
        return -1;
    }
    uint8_t* image = nullptr;
    int32_t imageSize = 0;
    result = BuildWaveFileImage(&image, &imageSize, &format, sizeof(V_WAVEFORMATEX), pcm, pcmSize);
    FreeMemory(pcm);
    if (result != 0) {
        WriteLogFormat("音声データの変換に失敗しました");
        return -1;
    }
    source->image = image;
    source->imageSize = static_cast<uint32_t>(imageSize);
    if (OpenImageSource(source) != 0) {
        WriteLogFormat("音声データのオープンに失敗しました");
        return -1;
    }
    return 0;
}

}  // namespace

int AddSreamSound(const StreamHolder* stream, uint8_t loopCount, SoundHandle handle, int mode,
                  int32_t* closeStream, SoundHandle shareWith) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    EnterSoundLock();
    // A normal sound has no sources but holds decoded data and buffers of its own: it is
    // refused like any other sound that is not a stream sound.
    bool normalSound = !record->streamFlag && (record->pcmData != nullptr ||
                                               record->bufferCount > 0 || record->buffers[0].valid);
    if (record->sourceCount > 0 || normalSound) {
        const char* refusal = nullptr;
        SoundBuffer* buffer = nullptr;
        V_DWORD status = 0;
        if (!record->streamFlag)
            refusal = "ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n";
        else if (GetStreamSoundBuffer(handle, record, &buffer, 0) == 0 &&
                 GetSoundBufferStatus(buffer, &status) == 0 && (status & V_DSBSTATUS_PLAYING))
            refusal = "既に再生中のストリームサウンドデータにデータを追加しようとしました\n";
        else if (record->sourceCount >= kMaxStreamSources)
            refusal = "ストリーム風サウンドの制御データ領域がいっぱいです\n";
        if (refusal != nullptr) {
            WriteLog(refusal);
            LeaveSoundLock();
            return -1;
        }
    }
    int index = record->sourceCount;
    StreamSoundSource* source = &record->sources[index];
    *source = StreamSoundSource{};
    source->mode = mode;
    source->endSample = -1;
    stream->functions.seek(stream->handle, 0, 0);

    int opened = -1;
    switch (mode) {
        case 3:
            opened = OpenSoundDecoder(stream, &source->decoder);
            if (opened != 0) WriteLogFormat("音声データのオープンに失敗しました");
            *closeStream = 0;
            break;
        case 2: {
            uint8_t* image = nullptr;
            int32_t size = 0;
            if (ReadStreamToMemory(stream, &image, &size) != 0) {
                WriteLogFormat("音声データの読み込みに失敗しました");
                break;
            }
            source->image = image;
            source->imageSize = static_cast<uint32_t>(size);
            opened = OpenImageSource(source);
            if (opened != 0) WriteLogFormat("音声データのオープンに失敗しました");
            *closeStream = 1;
            break;
        }
        case 0:
            opened = OpenDecodedSource(stream, source);
            *closeStream = 1;
            break;
        default:
            break;  // no other way of reading a source exists
    }
    if (opened != 0) {
        LeaveSoundLock();
        return -1;
    }

    V_WAVEFORMATEX format{};
    GetSoundDecoderFormat(&source->decoder, &format);
    if (index == 0) {
        record->format = format;
        SoundRecord* owner = shareWith != -1 ? GetSoundRecord(shareWith) : nullptr;
        if (owner != nullptr && owner != record && owner->streamFlag && owner->owner == -1 &&
            CompareBytes(&owner->format, &format, sizeof(V_WAVEFORMATEX)) == 0) {
            record->streamFlag = 1;
            record->bufferCount = 1;
            AddListNode(&g_SoundSystem.streamHead, &record->node, handle, record);
            record->owner = shareWith;
            ++owner->sharers;
            record->bufferBytes = GetOneSecondBytes(format);
        } else {
            CreateSoundBuffers(-1, &format, GetOneSecondBytes(format), 1, 1, handle);
            record->owner = -1;
            record->bufferBytes = GetOneSecondBytes(format);
            record->frequency = format.nSamplesPerSec;
        }
        record->sharers = 0;
        record->currentUser = -1;
        record->deletePending = 0;
    } else if (CompareBytes(&record->format, &format, sizeof(V_WAVEFORMATEX)) != 0) {
        DiscardSource(source);
        WriteLogFormat("フォーマットの違う音声データは同時に使うことは出来ません");
        LeaveSoundLock();
        return -1;
    }
    source->loopCount = loopCount;
    ++record->sourceCount;
    int64_t total = 0;
    for (int i = 0; i < record->sourceCount; ++i)
        total += GetSoundDecoderLength(&record->sources[i].decoder) / record->format.nBlockAlign;
    record->totalSamples = total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(total);
    // A first fill that ran past the last source before this one came (sources shorter than
    // the fill) wrote the end, or the way back to the first source, where this source belongs.
    // While none of it has been heard, the fill is written again from the top.
    if (index > 0 && record->active && record->finished && record->playPosition == 0) {
        ResetStreamProgress(record);
        StartStreamSound(handle);
    }
    LeaveSoundLock();
    return 0;
}

int AddStreamSoundFile(const char* path, uint8_t loopCount, SoundHandle handle, int mode,
                       SoundHandle shareWith) {
    EnterSoundLock();
    StreamHolder file{};
    file.functions = *GetFileStreamFunctions();
    file.handle = OpenFileHandle(path, 0, 1, 0);
    if (file.handle == 0) {
        WriteLogFormat("右記のＷＡＶファイルのロードに失敗しました：%s \n", path);
        LeaveSoundLock();
        return -1;
    }
    int32_t closeStream = 0;
    if (AddSreamSound(&file, loopCount, handle, mode, &closeStream, shareWith) != 0) {
        CloseFileHandle(file.handle);
        WriteLogFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", path);
        LeaveSoundLock();
        return -1;
    }
    if (closeStream == 1) CloseFileHandle(file.handle);
    SoundRecord* record = GetSoundRecord(handle);
    record->sourceStreamFlags[record->sourceCount - 1] = 1;
    LeaveSoundLock();
    return 0;
}

int AddStreamSoundMemory(const void* image, int32_t size, uint8_t loopCount, SoundHandle handle,
                         int mode, SoundHandle shareWith) {
    EnterSoundLock();
    StreamHolder memory = MemoryStreamOver(image, static_cast<uint32_t>(size));
    if (memory.handle == 0) {
        WriteLogFormat("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
        LeaveSoundLock();
        return -1;
    }
    int32_t closeStream = 0;
    if (AddSreamSound(&memory, loopCount, handle, mode == 3 ? 2 : mode, &closeStream,
                      shareWith) != 0) {
        CloseHolder(&memory);
        WriteLogFormat("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
        LeaveSoundLock();
        return -1;
    }
    if (closeStream == 1) CloseHolder(&memory);
    SoundRecord* record = GetSoundRecord(handle);
    record->sourceStreamFlags[record->sourceCount - 1] = 1;
    LeaveSoundLock();
    return 0;
}
