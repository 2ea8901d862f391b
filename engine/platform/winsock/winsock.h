// Stand-ins for the socket library: non-blocking sockets whose readiness is reported as window
// messages. Built on POSIX sockets; readiness is polled by the message pump.
#pragma once

#include "platform/types.h"

typedef uintptr_t V_SOCKET;
constexpr V_SOCKET V_INVALID_SOCKET = ~static_cast<V_SOCKET>(0);
constexpr int V_SOCKET_ERROR = -1;

constexpr long V_FD_READ = 0x01;
constexpr long V_FD_WRITE = 0x02;
constexpr long V_FD_ACCEPT = 0x08;
constexpr long V_FD_CONNECT = 0x10;
constexpr long V_FD_CLOSE = 0x20;
constexpr int V_MSG_PEEK = 0x2;

constexpr int V_WSAEWOULDBLOCK = 10035;
constexpr int V_WSAENOTSOCK = 10038;
constexpr int V_WSAECONNRESET = 10054;
constexpr int V_WSANOTINITIALISED = 10093;

struct V_SOCKADDR_IN {
    int16_t sin_family;
    uint16_t sin_port;   // network byte order
    uint32_t sin_addr;   // network byte order
    char sin_zero[8];
};

int V_WSAGetLastError();
void V_WSASetLastError(int error);
int V_recv(V_SOCKET socket, char* buffer, int length, int flags);
int V_send(V_SOCKET socket, const char* buffer, int length, int flags);
V_SOCKET V_accept(V_SOCKET socket, V_SOCKADDR_IN* address, int* addressLength);
int V_closesocket(V_SOCKET socket);
// Registers (or with events 0 cancels) the notifications of a socket. The socket becomes
// non-blocking. Notifications are posted by V_PollSocketNotifications.
int V_WSAAsyncSelect(V_SOCKET socket, V_HWND window, V_UINT message, long events);
int V_WSACleanup();

// Polls every registered socket once and hands each due notification to post as
// (window, message, socket, event | error << 16). Read, accept and close are reported while they
// hold; write once when the socket becomes writable and again after a send would have blocked.
typedef void (*V_SocketNotificationSink)(V_HWND window, V_UINT message, V_WPARAM socket,
                                         V_LPARAM event);
void V_PollSocketNotifications(V_SocketNotificationSink post);
