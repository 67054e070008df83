// Sockets on the loopback interface for the tests that play a host: a
// listener, connected pairs, and reads that give up after a few seconds
// instead of hanging.  Written with the Windows Sockets names, which both
// platforms provide.
#pragma once
#include <string>

#include "platform/platform.h"

// A listening socket on 127.0.0.1 at a port of the system's choice.
struct LoopbackListener {
    LoopbackListener();
    ~LoopbackListener();
    // The next connection, or INVALID_SOCKET when none comes.
    SOCKET accept() const;
    // Stops listening: from then on nobody listens on the port.
    void close();

    SOCKET socket = INVALID_SOCKET;
    int port = 0;
};

// A connection over the loopback interface: the client's end non-blocking,
// as the Telnet device keeps its sockets, the host's end blocking.
struct LoopbackPair {
    LoopbackPair();
    ~LoopbackPair();

    SOCKET client = INVALID_SOCKET;
    SOCKET host = INVALID_SOCKET;
};

// Data, the end or an error waits on the socket within the time.
bool readable(SOCKET s, int milliseconds);
// count bytes, or fewer when the rest does not come.
std::string receive(SOCKET s, size_t count);
// What has arrived so far, without waiting.
std::string receiveWaiting(SOCKET s);
// The peer ended the connection in order: the next read gives the end.
bool peerClosed(SOCKET s);
void sendAll(SOCKET s, const std::string& bytes);
// Ends the connection with a reset instead of in order.
void closeAbortively(SOCKET s);
