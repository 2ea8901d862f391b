// Socket stand-ins over POSIX sockets.
#include "platform/winsock/winsock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <vector>

namespace {

thread_local int t_LastSocketError = 0;

struct Registration {
    V_HWND window;
    V_UINT message;
    long events;
    bool writeDue;  // a write notification is owed (after connect or a blocked send)
};

std::mutex& RegistryMutex() {
    static std::mutex* mutex = new std::mutex();
    return *mutex;
}

std::map<int, Registration>& Registry() {
    static auto* registry = new std::map<int, Registration>();
    return *registry;
}

int TranslateError(int error) {
    switch (error) {
        case EAGAIN: return V_WSAEWOULDBLOCK;
        case EBADF:
        case ENOTSOCK: return V_WSAENOTSOCK;
        case ECONNRESET:
        case EPIPE: return V_WSAECONNRESET;
        default: return 10000 + error;
    }
}

int Fail() {
    t_LastSocketError = TranslateError(errno);
    return V_SOCKET_ERROR;
}

void OweWrite(int fd) {
    std::lock_guard lock(RegistryMutex());
    auto it = Registry().find(fd);
    if (it != Registry().end()) it->second.writeDue = true;
}

}  // namespace

int V_WSAGetLastError() { return t_LastSocketError; }
void V_WSASetLastError(int error) { t_LastSocketError = error; }

int V_recv(V_SOCKET socket, char* buffer, int length, int flags) {
    if (length < 0) length = 0;
    ssize_t got = ::recv(static_cast<int>(socket), buffer, static_cast<size_t>(length),
                         (flags & V_MSG_PEEK) ? MSG_PEEK : 0);
    return got < 0 ? Fail() : static_cast<int>(got);
}

int V_send(V_SOCKET socket, const char* buffer, int length, int /*flags*/) {
    if (length < 0) length = 0;
    ssize_t sent = ::send(static_cast<int>(socket), buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (sent < 0) {
        if (errno == EAGAIN) OweWrite(static_cast<int>(socket));
        return Fail();
    }
    if (sent < length) OweWrite(static_cast<int>(socket));
    return static_cast<int>(sent);
}

V_SOCKET V_accept(V_SOCKET socket, V_SOCKADDR_IN* address, int* addressLength) {
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    int fd = ::accept(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (fd < 0) {
        Fail();
        return V_INVALID_SOCKET;
    }
    if (address != nullptr) {
        address->sin_family = static_cast<int16_t>(peer.sin_family);
        address->sin_port = peer.sin_port;
        address->sin_addr = peer.sin_addr.s_addr;
        if (addressLength != nullptr) *addressLength = sizeof(V_SOCKADDR_IN);
    }
    return static_cast<V_SOCKET>(fd);
}

int V_closesocket(V_SOCKET socket) {
    {
        std::lock_guard lock(RegistryMutex());
        Registry().erase(static_cast<int>(socket));
    }
    return ::close(static_cast<int>(socket)) == 0 ? 0 : Fail();
}

int V_WSAAsyncSelect(V_SOCKET socket, V_HWND window, V_UINT message, long events) {
    int fd = static_cast<int>(socket);
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return Fail();
    std::lock_guard lock(RegistryMutex());
    if (events == 0)
        Registry().erase(fd);
    else
        Registry()[fd] = Registration{window, message, events, (events & V_FD_WRITE) != 0};
    return 0;
}

int V_WSACleanup() {
    std::lock_guard lock(RegistryMutex());
    Registry().clear();
    return 0;
}

void V_PollSocketNotifications(V_SocketNotificationSink post) {
    struct Due {
        int fd;
        Registration registration;
        long event;
    };
    std::vector<Due> due;
    {
        std::lock_guard lock(RegistryMutex());
        for (auto& [fd, registration] : Registry()) {
            pollfd probe{fd, POLLIN, 0};
            if (poll(&probe, 1, 0) > 0) {
                char byte;
                bool listening = false;
                int accepting = 0;
                socklen_t size = sizeof accepting;
                if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &size) == 0) listening = accepting != 0;
                if (listening) {
                    if (registration.events & V_FD_ACCEPT) due.push_back({fd, registration, V_FD_ACCEPT});
                } else if (::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0 || (probe.revents & POLLHUP)) {
                    if (registration.events & V_FD_CLOSE) due.push_back({fd, registration, V_FD_CLOSE});
                } else if (registration.events & V_FD_READ) {
                    due.push_back({fd, registration, V_FD_READ});
                }
            }
            if (registration.writeDue) {
                pollfd writable{fd, POLLOUT, 0};
                if (poll(&writable, 1, 0) > 0 && (writable.revents & POLLOUT)) {
                    registration.writeDue = false;
                    due.push_back({fd, registration, V_FD_WRITE});
                }
            }
        }
    }
    for (const Due& d : due)
        post(d.registration.window, d.registration.message, static_cast<V_WPARAM>(d.fd), d.event);
}
