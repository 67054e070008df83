#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

int WSAStartup(WORD version, WSADATA* data) {
    if (data != nullptr) {
        *data = WSADATA{};
        data->wVersion = version;
        data->wHighVersion = version;
    }
    return 0;
}

int ioctlsocket(SOCKET s, long command, unsigned long* argument) {
    if (command != static_cast<long>(FIONBIO) || argument == nullptr) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    int flags = fcntl(s, F_GETFL);
    if (flags < 0) return SOCKET_ERROR;
    flags = *argument != 0 ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
    return fcntl(s, F_SETFL, flags) < 0 ? SOCKET_ERROR : 0;
}

int closesocket(SOCKET s) {
    unwatchSocket(s);
    return ::close(s) < 0 ? SOCKET_ERROR : 0;
}

int WSAGetLastError() {
    int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) return WSAEWOULDBLOCK;
    // A failure that left no reason still must not read as would-block.
    return error != 0 ? error : EIO;
}

int send(SOCKET s, const char* bytes, int count, int flags) {
    if (count < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    ssize_t sent = ::send(s, static_cast<const void*>(bytes), static_cast<size_t>(count),
                          flags | MSG_NOSIGNAL);
    return sent < 0 ? SOCKET_ERROR : static_cast<int>(sent);
}

int connect(SOCKET s, const SOCKADDR* address, int addressLength) {
    if (addressLength < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    int result = ::connect(s, address, static_cast<socklen_t>(addressLength));
    // A signal (a window resize) must not fail the attempt: the connection
    // goes on in the background, and asking again waits for it.
    while (result < 0 && (errno == EINTR || errno == EALREADY))
        result = ::connect(s, address, static_cast<socklen_t>(addressLength));
    return result < 0 && errno != EISCONN ? SOCKET_ERROR : 0;
}
