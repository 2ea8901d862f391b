// The socket layer: length-framed messages over TCP connections, buffered in byte rings and
// driven by socket notifications. The library never starts it, so in this system every public
// operation returns at once; the whole path runs when a test starts it over a listening socket.
#include "core/network.h"
#include "core/core_services.h"

#include <cstring>

NetworkState g_Network;

namespace {

// The layer's notification "window": due notifications go straight to HandleSocketEvent.
// Returns non-zero when the pump asks the caller to stop (never, without a window of its own).
int PumpLayerOnce() {
    V_PollSocketNotifications([](V_HWND, V_UINT message, V_WPARAM socket, V_LPARAM event) {
        if (message == kSocketNotifyMessage) HandleSocketEvent(event, socket);
    });
    return 0;
}

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void WriteLittleEndian32(uint32_t value, uint8_t* bytes) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Checks the record before a receive or send; logs and fails for a broken or unused record.
NetworkRecord* UsableRecord(int handle, const char* operation) {
    NetworkRecord* record = GetNetworkRecord(handle);
    if (record != nullptr && record->error) {
        WriteLogFormat("このネットワークハンドルにはエラーが発生しています in %s", operation);
        return nullptr;
    }
    if (record == nullptr || !record->inUse) {
        WriteLogFormat("有効なネットワークハンドルではありません in %s", operation);
        return nullptr;
    }
    return record;
}

// Receives into the ring's free space at its write position, at most count bytes, in two
// receives when the free space wraps at the capacity. Returns the bytes received or -1.
int ReceiveIntoRing(NetworkRecord* record, int32_t count) {
    RingBuffer& ring = record->receiveRing;
    int32_t total = 0;
    while (count > 0) {
        WrapRingBuffer(&ring);
        int32_t room = ring.capacity - ring.writePosition;
        int32_t chunk = count < room ? count : room;
        int got = V_recv(record->socket, reinterpret_cast<char*>(ring.data + ring.writePosition), chunk, 0);
        if (got < 0) return V_WSAGetLastError() == V_WSAEWOULDBLOCK ? total : -1;
        ring.writePosition += got;
        ring.stored += got;
        total += got;
        count -= got;
        if (got < chunk) break;
    }
    return total;
}

// Sends up to count bytes from the send ring's read position. Returns the bytes sent or -1.
int SendFromRing(NetworkRecord* record, int32_t count) {
    RingBuffer& ring = record->sendRing;
    int32_t total = 0;
    while (count > 0) {
        WrapRingBuffer(&ring);
        int32_t contiguous = ring.capacity - ring.readPosition;
        int32_t chunk = count < contiguous ? count : contiguous;
        int sent = V_send(record->socket, reinterpret_cast<const char*>(ring.data + ring.readPosition), chunk, 0);
        if (sent < 0) return V_WSAGetLastError() == V_WSAEWOULDBLOCK ? total : -1;
        ring.readPosition += sent;
        ring.stored -= sent;
        total += sent;
        count -= sent;
        if (sent < chunk) break;
    }
    return total;
}

void FreeRecord(int index) {
    NetworkRecord* record = g_Network.table[index];
    FreeRingBuffer(&record->receiveRing);
    FreeRingBuffer(&record->sendRing);
    RemoveListNode(&record->node);
    FreeMemory(record);
    g_Network.table[index] = nullptr;
    --g_Network.count;
}

}  // namespace

int WriteNetworkLog(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    FormatStringV(text, sizeof text, format, arguments);
    va_end(arguments);
    return WriteLogFormat("ネットワークログ。%s[%d]", text, V_WSAGetLastError());
}

NetworkRecord* GetNetworkRecord(int handle) {
    if (handle < 0 || (handle & 0x78000000) != kNetworkHandleKind) return nullptr;
    const int index = handle & 0xFFFF;
    if (index >= kNetworkTableSize) return nullptr;
    NetworkRecord* record = g_Network.table[index];
    if (record == nullptr || record->check != ((handle >> 16) & 0x7FF)) return nullptr;
    return record;
}

int StartNetworkLayer(V_SOCKET listenSocket) {
    if (g_Network.initialised) return 0;
    InitList(&g_Network.head, &g_Network.tail);
    g_Network.listenSocket = listenSocket;
    if (listenSocket != V_INVALID_SOCKET &&
        V_WSAAsyncSelect(listenSocket, nullptr, kSocketNotifyMessage, V_FD_ACCEPT) != 0)
        return -1;
    g_Network.initialised = 1;
    return 0;
}

int RecvSocket(int handle) {
    if (!g_Network.initialised || g_Network.receiving) return -1;
    g_Network.receiving = 1;
    int result = 0;
    int stop = PumpLayerOnce();
    NetworkRecord* record = UsableRecord(handle, "RecvSocket");
    if (record == nullptr) {
        g_Network.receiving = 0;
        return -1;
    }
    while (record->framing && !stop) {
        if (record->receiveRemaining == 0) {
            uint8_t header[4];
            if (V_recv(record->socket, reinterpret_cast<char*>(header), 4, V_MSG_PEEK) < 4) break;
            V_recv(record->socket, reinterpret_cast<char*>(header), 4, 0);
            const uint32_t length = ReadLittleEndian32(header);
            if (length > INT32_MAX || ReserveRingBuffer(static_cast<int32_t>(length), &record->receiveRing) != 0) {
                WriteLogFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %u byte)", length);
                record->error = 1;
                result = -1;
                break;
            }
            record->messageLength = static_cast<int32_t>(length);
            record->receiveRemaining = static_cast<int32_t>(length);
            if (length == 0) continue;  // an empty message is complete at once
        }
        int got = ReceiveIntoRing(record, record->receiveRemaining);
        if (got < 0) {
            record->error = 1;
            result = -1;
            break;
        }
        record->receiveRemaining -= got;
        if (record->receiveRemaining == 0) record->completeBytes += record->messageLength;
        stop = PumpLayerOnce();
        if (got < 1 || record->receiveRemaining != 0) break;
    }
    g_Network.receiving = 0;
    return result;
}

int SendSocket(int handle) {
    if (!g_Network.initialised || g_Network.sending) return -1;
    g_Network.sending = 1;
    int result = 0;
    int stop = PumpLayerOnce();
    NetworkRecord* record = UsableRecord(handle, "SendSocket");
    if (record == nullptr) {
        g_Network.sending = 0;
        return -1;
    }
    while (record->framing && record->sendWaiting > 0 && !stop) {
        uint8_t header[4];
        if (record->headerUnsent == 0 && record->sendRemaining == 0) {
            // All waiting bytes become one message, its length sent first.
            record->sendRemaining = static_cast<uint32_t>(record->sendWaiting);
            record->headerUnsent = 4;
        }
        if (record->headerUnsent > 0) {
            WriteLittleEndian32(record->sendRemaining, header);
            int sent = V_send(record->socket, reinterpret_cast<const char*>(header + 4 - record->headerUnsent),
                              record->headerUnsent, 0);
            if (sent < 0) {
                if (V_WSAGetLastError() != V_WSAEWOULDBLOCK) result = -1;
                break;
            }
            record->headerUnsent -= sent;
            if (record->headerUnsent > 0) break;
        }
        int sent = SendFromRing(record, static_cast<int32_t>(record->sendRemaining));
        if (sent < 0) {
            record->error = 1;
            result = -1;
            break;
        }
        record->sendWaiting -= sent;
        record->sendRemaining -= static_cast<uint32_t>(sent);
        if (record->sendRemaining != 0) break;  // short send: wait for the next write notification
        stop = PumpLayerOnce();
    }
    g_Network.sending = 0;
    return result;
}

int AcceptNetWork() {
    if (!g_Network.initialised) return -1;
    int index = 0;
    while (index < kNetworkTableSize - 1 && g_Network.table[index] != nullptr) ++index;
    if (index == kNetworkTableSize - 1) return WriteLog("空きソケットデータがなかったので accept を拒否しました \n");
    auto* record = static_cast<NetworkRecord*>(AllocateZeroedMemory(sizeof(NetworkRecord), __FILE__, __LINE__));
    if (record == nullptr) return WriteLog("ソケット用のメモリの確保に失敗しました\n");
    record->inUse = 1;
    record->framing = g_Network.framingSetting;
    record->autoClose = g_Network.autoCloseSetting;
    const int handle = kNetworkHandleKind | (g_Network.checkCounter << 16) | index;
    AddListNode(&g_Network.head, &record->node, handle, record);
    g_Network.table[index] = record;
    ++g_Network.count;

    V_SOCKADDR_IN peer{};
    int peerLength = sizeof peer;
    record->socket = V_accept(g_Network.listenSocket, &peer, &peerLength);
    if (record->socket == V_INVALID_SOCKET) {
        FreeRecord(index);
        return WriteLog("acceptに失敗しました");
    }
    std::memcpy(record->peerAddress, &peer.sin_addr, 4);
    record->peerPort = static_cast<uint16_t>((peer.sin_port >> 8) | (peer.sin_port << 8));
    if (V_WSAAsyncSelect(record->socket, nullptr, kSocketNotifyMessage, V_FD_READ | V_FD_WRITE | V_FD_CLOSE) != 0) {
        V_closesocket(record->socket);
        FreeRecord(index);
        return WriteLog("WSAAsyncSelectのエラー in AcceptNetWork");
    }
    record->connected = 1;
    record->check = g_Network.checkCounter;
    g_Network.checkCounter = (g_Network.checkCounter + 1) % 2048;
    return 1;
}

int CloseNetworkHandle(int handle) {
    if (!g_Network.initialised) return -1;
    NetworkRecord* record = GetNetworkRecord(handle);
    if (record == nullptr) return -1;
    const int start = GetMilliseconds();
    while (record->receiveRemaining > 0 && GetMillisecondsSince(start) < 1000) {
        if (RecvSocket(handle) != 0 || PumpLayerOnce() != 0) break;
    }
    const int sendStart = GetMilliseconds();
    while (record->sendWaiting > 0 && GetMillisecondsSince(sendStart) < 1000) {
        if (SendSocket(handle) != 0 || PumpLayerOnce() != 0) break;
    }
    V_WSAAsyncSelect(record->socket, nullptr, 0, 0);
    V_closesocket(record->socket);
    FreeRecord(handle & 0xFFFF);
    return 0;
}

int PumpNetworkMessages(int closeFlag) {
    if (!g_Network.initialised) return 0;
    if (closeFlag == 1) {
        for (ListNode* node = g_Network.head.next; node != nullptr && node->next != nullptr;) {
            ListNode* next = node->next;
            auto* record = static_cast<NetworkRecord*>(node->data);
            if (record->error || (!record->connected && record->closed && record->autoClose))
                CloseNetworkHandle(node->value);
            node = next;
        }
    }
    PumpLayerOnce();
    return 0;
}

int HandleSocketEvent(intptr_t event, uintptr_t socket) {
    if (!g_Network.initialised) return 0;
    if (socket == g_Network.listenSocket && (event & 0xFFFF) == V_FD_ACCEPT) return AcceptNetWork();
    NetworkRecord* record = nullptr;
    int handle = -1;
    for (ListNode* node = g_Network.head.next; node != nullptr && node->next != nullptr; node = node->next) {
        auto* candidate = static_cast<NetworkRecord*>(node->data);
        if (candidate->socket == socket) {
            record = candidate;
            handle = node->value;
            break;
        }
    }
    if (record == nullptr) {
        WriteLog("通信エラー No.1\n");
        return 0;
    }
    switch (event & 0xFFFF) {
        case V_FD_READ: RecvSocket(handle); break;
        case V_FD_WRITE: SendSocket(handle); break;
        case V_FD_ACCEPT: AcceptNetWork(); break;
        case V_FD_CONNECT:
            if (((event >> 16) & 0xFFFF) == 0) record->connected = 1;
            break;
        case V_FD_CLOSE:
            // Marked closed so that an auto-closing connection is reclaimed by the next pump.
            record->connected = 0;
            record->closed = 1;
            break;
        default: break;
    }
    return 1;
}

int EndNetwork() {
    if (!g_Network.initialised) return 0;
    WriteLog("ネットワーク関連の終了処理を行います \n");
    for (int index = 0; index < kNetworkTableSize; ++index)
        if (g_Network.table[index] != nullptr)
            CloseNetworkHandle(kNetworkHandleKind | (g_Network.table[index]->check << 16) | index);
    if (g_Network.listenSocket != V_INVALID_SOCKET) V_WSAAsyncSelect(g_Network.listenSocket, nullptr, 0, 0);
    V_WSACleanup();
    g_Network = NetworkState();
    WriteLog("ネットワーク関連の終了処理は完了しました\n");
    return 0;
}
