#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/core_services.h"
#include "core/network.h"

TEST(RingBuffer, GrowingUnwrapsTheStoredBytes) {
    RingBuffer ring{};
    ASSERT_EQ(ReserveRingBuffer(10 - 1000, &ring), -1);  // negative needs are refused
    ASSERT_EQ(ReserveRingBuffer(0, &ring), 0);
    // Build a ring of capacity 10 holding "ABCDEF" from read position 7 (wrapped).
    ring.data = static_cast<uint8_t*>(AllocateMemory(10, "test", 1));
    ring.capacity = 10;
    std::memcpy(ring.data + 7, "ABC", 3);
    std::memcpy(ring.data, "DEF", 3);
    ring.readPosition = 7;
    ring.writePosition = 3;
    ring.stored = 6;
    ASSERT_EQ(ReserveRingBuffer(8, &ring), 0);
    EXPECT_EQ(ring.capacity, 6 + 8 + 1000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ring.data), 6), "ABCDEF");
    EXPECT_EQ(ring.readPosition, 0);
    EXPECT_EQ(ring.writePosition, 6);

    uint8_t* before = ring.data;
    ring.writePosition = ring.capacity;  // a position at the capacity wraps first
    ring.readPosition = ring.capacity - 6;
    ASSERT_EQ(ReserveRingBuffer(100, &ring), 0);
    EXPECT_EQ(ring.data, before);  // enough room: not reallocated
    EXPECT_EQ(ring.writePosition, 0);
    FreeRingBuffer(&ring);
    EXPECT_EQ(ring.data, nullptr);
    EXPECT_EQ(ring.capacity, 0);
}

TEST(Network, EveryOperationFailsBeforeTheLayerStarts) {
    EXPECT_EQ(RecvSocket(kNetworkHandleKind), -1);
    EXPECT_EQ(SendSocket(kNetworkHandleKind), -1);
    EXPECT_EQ(AcceptNetWork(), -1);
    EXPECT_EQ(CloseNetworkHandle(kNetworkHandleKind), -1);
    EXPECT_EQ(PumpNetworkMessages(1), 0);
    EXPECT_EQ(EndNetwork(), 0);
    EXPECT_EQ(HandleSocketEvent(V_FD_READ, 5), 0);
    EXPECT_EQ(g_Network.count, 0);
}

namespace {
int Listen(uint16_t* port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd, 4);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

int Connect(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

template <typename Condition>
bool PumpUntil(Condition condition) {
    for (int i = 0; i < 500 && !condition(); ++i) {
        PumpNetworkMessages(0);
        usleep(1000);
    }
    return condition();
}
}  // namespace

TEST(Network, FramedMessagesTravelBothWays) {
    uint16_t port = 0;
    int listener = Listen(&port);
    ASSERT_EQ(StartNetworkLayer(static_cast<V_SOCKET>(listener)), 0);
    int client = Connect(port);
    ASSERT_TRUE(PumpUntil([] { return g_Network.count == 1; }));
    NetworkRecord* record = g_Network.table[0];
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->peerAddress[0], 127);

    // Two messages from the peer, the second split across writes.
    const uint8_t first[] = {5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 3, 0, 0, 0, 'a'};
    ASSERT_EQ(write(client, first, sizeof first), static_cast<ssize_t>(sizeof first));
    ASSERT_TRUE(PumpUntil([&] { return record->completeBytes == 5 && record->receiveRemaining == 2; }));
    ASSERT_EQ(write(client, "bc", 2), 2);
    ASSERT_TRUE(PumpUntil([&] { return record->completeBytes == 8; }));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record->receiveRing.data), 8), "helloabc");

    // Waiting bytes go out as one message with its length first.
    ASSERT_EQ(ReserveRingBuffer(6, &record->sendRing), 0);
    std::memcpy(record->sendRing.data, "world!", 6);
    record->sendRing.writePosition = record->sendRing.stored = 6;
    record->sendWaiting = 6;
    const int handle = record->node.value;
    EXPECT_EQ(SendSocket(handle), 0);
    char reply[10] = {};
    ASSERT_EQ(read(client, reply, sizeof reply), 10);
    EXPECT_EQ(std::string(reply, 10), std::string("\x06\0\0\0world!", 10));
    EXPECT_EQ(record->sendWaiting, 0);

    EXPECT_EQ(CloseNetworkHandle(handle), 0);
    EXPECT_EQ(RecvSocket(handle), -1);  // the handle is gone
    EXPECT_EQ(g_Network.count, 0);
    close(client);
    EXPECT_EQ(EndNetwork(), 0);
    close(listener);
}

TEST(Network, PeerCloseIsReclaimedByThePump) {
    uint16_t port = 0;
    int listener = Listen(&port);
    ASSERT_EQ(StartNetworkLayer(static_cast<V_SOCKET>(listener)), 0);
    int client = Connect(port);
    ASSERT_TRUE(PumpUntil([] { return g_Network.count == 1; }));
    close(client);
    ASSERT_TRUE(PumpUntil([] { return g_Network.table[0] == nullptr || g_Network.table[0]->closed == 1; }));
    PumpNetworkMessages(1);
    EXPECT_EQ(g_Network.count, 0);
    EXPECT_EQ(EndNetwork(), 0);
    close(listener);
}
