// Engine core services to the other subsystems: the allocator's block header, the intrusive
// list, the processor abilities, the byte ring and the message pass without the lock.
#pragma once

#include <cstdint>

#include "core/core.h"

// ---------------------------------------------------------------- tracked memory

// Header in front of every tracked block. The guard holds a copy of the header's first half
// (the fields before it), so damage to either half is found; 80 bytes keep the data after the
// header 16-byte aligned.
struct AllocationHeader {
    char sourceName[16];          // last 15 characters of the caller's source name
    uint16_t serial;              // allocation serial, wraps at 65536
    uint16_t line;                // caller's line (0xFFFF from the log writer)
    uint32_t size;                // size of the caller's data
    AllocationHeader* older;      // next older block (the anchor for the oldest)
    AllocationHeader* newer;      // next newer block, null for the newest
    unsigned char guard[40];      // copy of the 40 bytes above
};
static_assert(sizeof(AllocationHeader) == 80, "header keeps the data 16-byte aligned");

void LogAllocationRecord(const AllocationHeader* header);

// ---------------------------------------------------------------- intrusive list

struct ListNode {
    int32_t value;
    void* data;
    ListNode* previous;
    ListNode* next;
};

int InitList(ListNode* head, ListNode* tail);
int AddListNode(ListNode* head, ListNode* node, int32_t value, void* data);
int RemoveListNode(ListNode* node);

// ---------------------------------------------------------------- processor abilities

int CheckMmxSupport();
int GetMmxFlag();
// Chooses the kernels' MMX or plain forms; start-up sets it from the processor.
void SetMmxFlag(int flag);

// ---------------------------------------------------------------- network layer

// A byte ring: bytes are stored from the write position and taken from the read position, both
// wrapping at the capacity.
struct RingBuffer {
    uint8_t* data;
    int32_t readPosition;
    int32_t writePosition;
    int32_t stored;
    int32_t capacity;
};

int ReserveRingBuffer(int32_t needed, RingBuffer* ring);
int FreeRingBuffer(RingBuffer* ring);
void WrapRingBuffer(RingBuffer* ring);

// ---------------------------------------------------------------- message processing

// The message pass itself (for callers inside the library, which already run on the main
// thread), and the wait of drawing calls while the window is inactive.
int ProcessMessage();
void WaitWhileInactive();
