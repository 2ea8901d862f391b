// Internal records of the network layer.
#pragma once

#include "core/core.h"
#include "core/core_services.h"
#include "platform/winsock/winsock.h"

constexpr int kNetworkHandleKind = 0x48000000;
constexpr int kNetworkTableSize = 4097;  // new connections take one of the first 4096
constexpr uint32_t kSocketNotifyMessage = 0x505;

struct NetworkRecord {
    int32_t inUse;
    int32_t error;
    int32_t connected;
    int32_t closed;
    int32_t state[2];
    int32_t framing;      // length framing, 1 by default
    int32_t autoClose;    // 1 by default
    int32_t check;
    V_SOCKET socket;
    int32_t receiveRemaining;   // bytes still to receive of the current message; 0 awaits a length
    RingBuffer receiveRing;
    int32_t messageLength;
    int32_t completeBytes;      // received bytes that belong to complete messages
    RingBuffer sendRing;
    int32_t sendWaiting;
    uint32_t sendRemaining;     // remaining bytes of the outgoing message; its bytes are the header
    int32_t headerUnsent;
    uint8_t peerAddress[4];
    uint16_t peerPort;
    ListNode node;
};

struct NetworkState {
    int initialised = 0;
    int receiving = 0;  // re-entry guards
    int sending = 0;
    int framingSetting = 1;
    int autoCloseSetting = 1;
    int checkCounter = 0;
    int count = 0;
    V_SOCKET listenSocket = V_INVALID_SOCKET;
    NetworkRecord* table[kNetworkTableSize] = {};
    ListNode head{};
    ListNode tail{};
};

extern NetworkState g_Network;

// Starts the layer over a listening socket. Nothing in the library calls it; tests do.
int StartNetworkLayer(V_SOCKET listenSocket);
NetworkRecord* GetNetworkRecord(int handle);
