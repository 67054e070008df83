// Stand-ins for the Windows Sockets 1.1 names over BSD sockets.
//
// The calls whose BSD form already behaves as the Winsock one (socket,
// inet_addr, gethostbyname, htons, recv, setsockopt) are the system's own.
// send and connect get overloads with the exact Winsock parameter types, so a
// call written the Winsock way (SOCKET, const char*, int, int) selects them
// over the system's (const void*, size_t): send must never raise SIGPIPE, and
// a signal must not fail a connect.
#pragma once
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "console.h"

typedef int SOCKET;
typedef struct hostent HOSTENT;
typedef struct sockaddr SOCKADDR;
typedef struct sockaddr_in SOCKADDR_IN;

#define INVALID_SOCKET (-1)
#define SOCKET_ERROR (-1)
#define WSAEWOULDBLOCK 10035
#define MAKEWORD(low, high) \
    ((WORD)(((unsigned char)(low)) | ((WORD)((unsigned char)(high))) << 8))

typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
} WSADATA;

// Nothing to set up on this platform; reports the version asked for.
int WSAStartup(WORD version, WSADATA* data);
// Only FIONBIO is known; its non-zero value makes the socket non-blocking.
int ioctlsocket(SOCKET s, long command, unsigned long* argument);
// Also takes the socket out of the idle wait: its number is free for reuse.
int closesocket(SOCKET s);
// WSAEWOULDBLOCK when the last call would have had to wait, another value
// (never WSAEWOULDBLOCK) for every other failure.
int WSAGetLastError();

int send(SOCKET s, const char* bytes, int count, int flags);
int connect(SOCKET s, const SOCKADDR* address, int addressLength);
