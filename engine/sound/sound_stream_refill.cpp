// Stream sounds: the refill that keeps the one-second ring ahead of the play cursor filled
// from the sources, moves from source to source, marks loop points and writes the end.
#include "sound/sound_internal.h"

namespace {

// A locked byte range of the ring as the refill fills it.
struct LockedRegion {
    uint32_t start;
    uint8_t* part1;
    uint8_t* part2;
    uint32_t length1;
    uint32_t length2;
    uint32_t done1;
    uint32_t done2;
    uint32_t left1;
    uint32_t left2;
};

uint32_t WholeBlocks(uint64_t bytes, uint32_t block) {
    return static_cast<uint32_t>(bytes / block * block);
}

// Bytes from one ring offset forward to another.
uint32_t RingDistance(uint32_t from, uint32_t to, uint32_t ringBytes) {
    return to >= from ? to - from : ringBytes - from + to;
}

uint32_t RegionWriteOffset(const LockedRegion& region) {
    if (region.left1 > 0) return region.start + region.length1 - region.left1;
    return region.length2 - region.left2;
}

int CopyDecodedToLockedBuffer(LockedRegion* region, SoundDecoder* decoder, uint32_t bytes) {
    uint32_t total = 0;
    while (bytes > 0) {
        uint8_t* target;
        uint32_t* done;
        uint32_t* left;
        if (region->left1 > 0) {
            target = region->part1;
            done = &region->done1;
            left = &region->left1;
        } else if (region->left2 > 0) {
            target = region->part2;
            done = &region->done2;
            left = &region->left2;
        } else {
            break;
        }
        uint32_t want = bytes < *left ? bytes : *left;
        int got = ReadSoundDecoder(decoder, target + *done, static_cast<int32_t>(want));
        if (got <= 0) break;
        *done += static_cast<uint32_t>(got);
        *left -= static_cast<uint32_t>(got);
        bytes -= static_cast<uint32_t>(got);
        total += static_cast<uint32_t>(got);
    }
    return static_cast<int>(total);
}

void WriteStreamSilence(const SoundRecord* record, LockedRegion* region, uint32_t bytes) {
    // 8-bit data is padded with 0x7F, the others with zero.
    int silence = record->format.wBitsPerSample == 8 ? 0x7F : 0;
    uint32_t n = bytes < region->left1 ? bytes : region->left1;
    FillBytes(region->part1 + region->done1, silence, n);
    region->done1 += n;
    region->left1 -= n;
    bytes -= n;
    n = bytes < region->left2 ? bytes : region->left2;
    if (n > 0) FillBytes(region->part2 + region->done2, silence, n);
    region->done2 += n;
    region->left2 -= n;
}

// Sets a loop point at the region's write offset, where the data starts again from `base`.
// Another may follow pending ones when it lies one loop of the same data after the last of
// them; otherwise false: the refill waits until they have been heard.
bool AddLoopMark(SoundRecord* record, const LockedRegion& region, uint32_t base) {
    uint32_t offset = RegionWriteOffset(region);
    if (record->markPending == 0) {
        record->markPending = 1;
        record->markOffset = record->markLast = offset;
        record->markBase = base;
        record->markInterval = 0;
        return true;
    }
    uint32_t interval = RingDistance(record->markLast, offset, record->bufferBytes);
    if (base != record->markBase || interval == 0 ||
        (record->markPending > 1 && interval != record->markInterval))
        return false;
    record->markInterval = interval;
    record->markLast = offset;
    ++record->markPending;
    return true;
}

// Called when the current source gave no more data. -1 once the end has been written, 1 while
// the loop point has to wait for the pending ones to be heard.
int AdvanceStreamSource(SoundRecord* record, LockedRegion* region, uint32_t cursor) {
    const uint32_t block = record->format.nBlockAlign;
    ++record->loopsDone;
    StreamSoundSource* source = &record->sources[record->currentSource];
    if (source->loopCount == 255) {
        if (!AddLoopMark(record, *region, source->loopStart * block)) {
            --record->loopsDone;  // tried again by a later pass
            return 1;
        }
        record->bytesTaken = static_cast<int32_t>(source->loopStart * block);
        SeekSoundDecoder(&source->decoder, static_cast<int32_t>(source->loopStart));
        return 0;
    }
    if (record->loopsDone <= static_cast<int8_t>(source->loopCount)) {
        record->bytesTaken = 0;
        SeekSoundDecoder(&source->decoder, 0);
        return 0;
    }
    if (record->currentSource == record->sourceCount - 1 && record->playType == kPlayTypeLoop &&
        !AddLoopMark(record, *region, 0)) {
        --record->loopsDone;
        return 1;
    }
    record->loopsDone = 0;
    ++record->currentSource;
    if (record->currentSource < record->sourceCount) {
        record->bytesTaken = 0;
        SeekSoundDecoder(&record->sources[record->currentSource].decoder, 0);
        return 0;
    }
    record->finished = 1;
    if (record->playType == kPlayTypeLoop) {
        // The loop point was set above.
        record->currentSource = 0;
        record->bytesTaken = 0;
        SeekSoundDecoder(&record->sources[0].decoder, 0);
        return 0;
    }
    record->endWritten = 1;
    record->endOffset = RegionWriteOffset(*region);
    record->endCursor = cursor;
    // The play position stands at the last cursor; the data ends that far ahead of it.
    record->endPosition = record->playPosition +
                          RingDistance(record->lastCursor, record->endOffset, record->bufferBytes);
    WriteStreamSilence(record, region, WholeBlocks(record->format.nAvgBytesPerSec / 8, block));
    return -1;
}

// The cursor must lie in the stretch last written, from the safe mark to the write position,
// counted across the end of the ring when the mark lies above the write position.
bool CursorInWindow(const SoundRecord* record, uint32_t cursor) {
    uint32_t mark = static_cast<uint32_t>(record->safeMark);
    uint32_t write = static_cast<uint32_t>(record->writePosition);
    if (mark <= write) return cursor >= mark && cursor <= write;
    return cursor >= mark || cursor <= write;
}

bool LockRegion(SoundBuffer* buffer, uint32_t offset, uint32_t bytes, LockedRegion* region) {
    void* part1 = nullptr;
    void* part2 = nullptr;
    V_DWORD length1 = 0, length2 = 0;
    if (LockSoundBufferObject(buffer, offset, bytes, &part1, &length1, &part2, &length2) != 0)
        return false;
    *region = LockedRegion{};
    region->start = offset;
    region->part1 = static_cast<uint8_t*>(part1);
    region->part2 = static_cast<uint8_t*>(part2);
    region->length1 = region->left1 = length1;
    region->length2 = region->left2 = part2 ? length2 : 0;
    return true;
}

void UnlockRegion(SoundBuffer* buffer, const LockedRegion& region) {
    UnlockSoundBufferObject(buffer, region.part1, region.length1, region.part2, region.length2);
}

int Leave(int result) {
    LeaveSoundLock();
    return result;
}

}  // namespace

int RefillStreamSound(SoundHandle handle) {
    SoundRecord* record = GetSoundRecord(handle);
    if (record == nullptr) return -1;
    if (!record->streamFlag) return 0;
    EnterSoundLock();
    SoundBuffer* buffer = nullptr;
    if (GetStreamSoundBuffer(handle, record, &buffer, 0) != 0 || !record->active ||
        record->sourceCount == 0)
        return Leave(0);
    UpdateStreamPlayPosition(handle, -1);

    const uint32_t block = record->format.nBlockAlign;
    const uint32_t avg = record->format.nAvgBytesPerSec;
    const uint32_t step = WholeBlocks(avg / 8, block);
    const bool firstFill = record->writePosition == kFirstFillMarker;
    uint32_t bytes;
    uint32_t offset;
    uint32_t cursor = 0;
    uint32_t written;

    if (record->endWritten) {
        int64_t play = GetSoundBufferPlayCursor(buffer);
        if (play < 0) return Leave(-1);
        uint32_t p = static_cast<uint32_t>(play);
        // Measured as distance played, so that an end met exactly by the cursor (or a source
        // of no data at all) is still seen once the cursor moves on.
        uint32_t heard =
            record->playPosition + RingDistance(record->lastCursor, p, record->bufferBytes);
        if (static_cast<int32_t>(heard - record->endPosition) > 0) {
            // The data has been heard to its end.
            StopSoundBufferObject(buffer);
            record->endWritten = 0;
            record->bytesTaken = 0;
            record->playPosition = 0;
            record->markPending = 0;
            record->loopsDone = 0;
            record->currentSource = 0;
            record->active = 0;
            return Leave(0);
        }
        if (!CursorInWindow(record, p)) return Leave(-1);
        LockedRegion region;
        if (!LockRegion(buffer, static_cast<uint32_t>(record->writePosition), step, &region))
            return Leave(-1);
        WriteStreamSilence(record, &region, step);
        UnlockRegion(buffer, region);
        written = step;
    } else {
        V_DWORD status = 0;
        if (GetSoundBufferStatus(buffer, &status) != 0) return Leave(-1);
        if (!(status & V_DSBSTATUS_PLAYING)) {
            if (!firstFill) return Leave(0);
            bytes = WholeBlocks(static_cast<uint64_t>(avg) * 192 / 256, block);
            offset = 0;
        } else {
            if (firstFill) return Leave(-1);
            bytes = step;
            int64_t play = GetSoundBufferPlayCursor(buffer);
            if (play < 0) return Leave(-1);
            cursor = static_cast<uint32_t>(play);
            if (!CursorInWindow(record, cursor)) return Leave(-1);
            uint32_t w = static_cast<uint32_t>(record->writePosition);
            uint32_t p = cursor;
            if (record->writePosition < record->safeMark) {
                w += record->bufferBytes;
                if (p < static_cast<uint32_t>(record->writePosition)) p += record->bufferBytes;
            }
            uint64_t lead = static_cast<uint64_t>(w - p) * 512 / avg;
            if (lead < 192) bytes = WholeBlocks((192 - lead) * avg / 512, block);
            offset = static_cast<uint32_t>(record->writePosition);
        }
        if (bytes == 0) return Leave(0);
        LockedRegion region;
        if (!LockRegion(buffer, offset, bytes, &region)) return Leave(-1);
        uint32_t remaining = bytes;
        int emptyAdvances = 0;
        while (remaining > 0 && !record->endWritten) {
            SoundDecoder* decoder = &record->sources[record->currentSource].decoder;
            int got = CopyDecodedToLockedBuffer(&region, decoder, remaining);
            if (got > 0) {
                remaining -= static_cast<uint32_t>(got);
                record->bytesTaken += got;
                emptyAdvances = 0;
                continue;
            }
            // On to the loop point, the next repetition or the next source within this pass,
            // so that data shorter than the step (a short loop) still fills it. A round through
            // the sources that gives no data at all ends the pass.
            if (AdvanceStreamSource(record, &region, cursor) != 0 ||
                ++emptyAdvances > record->sourceCount)
                break;
        }
        UnlockRegion(buffer, region);
        written = bytes - remaining;
    }

    if (firstFill) {
        record->writePosition = static_cast<int32_t>(written);
        record->safeMark = 0;
    } else {
        uint32_t write = static_cast<uint32_t>(record->writePosition) + written;
        if (write >= record->bufferBytes) write -= record->bufferBytes;
        record->writePosition = static_cast<int32_t>(write);
        uint32_t distance = (avg * 192 / 256 + block - 1) / block * block;
        int64_t mark = static_cast<int64_t>(write) - distance;
        if (mark < 0) mark += record->bufferBytes;
        record->safeMark = static_cast<int32_t>(mark);
    }
    return Leave(0);
}
