#include "loopback.h"

#ifndef _WIN32
#include <netinet/tcp.h>
#endif

#include <algorithm>
#include <cstring>

namespace {

// How long a test waits for a connection or for bytes that should come.
constexpr int PATIENCE_MS = 5000;

#ifdef _WIN32
using SocketLength = int;
// Windows ignores select's count of descriptors.
int selectCount(SOCKET) { return 0; }
#else
using SocketLength = socklen_t;
int selectCount(SOCKET s) { return s + 1; }
#endif

SOCKADDR_IN loopbackAddress(int port) {
    SOCKADDR_IN address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<unsigned short>(port));
    return address;
}

}  // namespace

LoopbackListener::LoopbackListener() {
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
    socket = ::socket(AF_INET, SOCK_STREAM, 0);
    SOCKADDR_IN address = loopbackAddress(0);
    SocketLength length = sizeof address;
    if (bind(socket, reinterpret_cast<SOCKADDR*>(&address), length) != 0 || listen(socket, 4) != 0 ||
        getsockname(socket, reinterpret_cast<SOCKADDR*>(&address), &length) != 0)
        return;
    port = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() { close(); }

SOCKET LoopbackListener::accept() const {
    return readable(socket, PATIENCE_MS) ? ::accept(socket, nullptr, nullptr) : INVALID_SOCKET;
}

void LoopbackListener::close() {
    if (socket != INVALID_SOCKET) closesocket(socket);
    socket = INVALID_SOCKET;
}

LoopbackPair::LoopbackPair() {
    LoopbackListener listener;
    client = ::socket(AF_INET, SOCK_STREAM, 0);
    SOCKADDR_IN address = loopbackAddress(listener.port);
    if (connect(client, reinterpret_cast<const SOCKADDR*>(&address), static_cast<int>(sizeof address)) != 0)
        return;
    host = listener.accept();
    unsigned long nonBlocking = 1;
    ioctlsocket(client, FIONBIO, &nonBlocking);
    // Each send goes out at once, so that what one side sent is there for the
    // other to read when the test looks.
    int noDelay = 1;
    for (SOCKET end : {client, host})
        setsockopt(end, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
}

LoopbackPair::~LoopbackPair() {
    if (client != INVALID_SOCKET) closesocket(client);
    if (host != INVALID_SOCKET) closesocket(host);
}

bool readable(SOCKET s, int milliseconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{milliseconds / 1000, milliseconds % 1000 * 1000};
    return select(selectCount(s), &set, nullptr, nullptr, &limit) == 1;
}

std::string receive(SOCKET s, size_t count) {
    std::string bytes;
    char buffer[256];
    while (bytes.size() < count && readable(s, PATIENCE_MS)) {
        int n = recv(s, buffer, static_cast<int>(std::min(sizeof buffer, count - bytes.size())), 0);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

std::string receiveWaiting(SOCKET s) {
    std::string bytes;
    char buffer[256];
    for (int n; readable(s, 0) && (n = recv(s, buffer, sizeof buffer, 0)) > 0;)
        bytes.append(buffer, static_cast<size_t>(n));
    return bytes;
}

bool peerClosed(SOCKET s) {
    char byte;
    return readable(s, PATIENCE_MS) && recv(s, &byte, 1, 0) == 0;
}

void sendAll(SOCKET s, const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

void closeAbortively(SOCKET s) {
    linger abortive{1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
    closesocket(s);
}
