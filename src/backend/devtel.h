// The Telnet device: up to ten TCP connections to one host, directly or
// through a relay proxy.
#pragma once
#include <cstdint>

#include "backend/device.h"
#include "backend/telnet.h"
#include "platform/platform.h"

constexpr int HOST_SPEC_SIZE = 64;
constexpr int RECV_BUFFER_SIZE = 512;
constexpr int TELNET_PORT = 23;
constexpr int PROXY_PORT = 8080;
constexpr int TEL_SESSIONS = 10;

struct TelSession {
    SOCKET socket = INVALID_SOCKET;
    int32_t connected = 0;
    unsigned char recvBuffer[RECV_BUFFER_SIZE] = {};
    int32_t recvIndex = 0;
    int32_t recvCount = 0;
    // The host closed the connection or it failed; the next read reports it.
    int32_t lost = 0;
    // The echo flags and the command parser, which a command cut between
    // reads leaves where it stopped.
    TelnetProtocol telnet;
};

class DevTel : public Device {
public:
    explicit DevTel(const char* hostText);
    ~DevTel() override;

    int isOpen(int session) override;
    void leave(int session) override;
    int open(int session, const char* termType, int rows, int columns) override;
    void close(int session) override;
    int read(char* buffer, int max) override;
    int write(const char* bytes, int count) override;
    const char* name() override;
    void resize(int session, int rows, int columns) override;

    int reportError();
    // The host speaks UTF-8: every connection asks for the binary option.
    void wantBinary() { binaryWanted = true; }

    char hostSpec[HOST_SPEC_SIZE] = {};
    TelSession sessions[TEL_SESSIONS];
    TelSession* current = nullptr;
    int32_t currentIndex = 0;

private:
    bool binaryWanted = false;
    // Connects the session to the host, directly or through the relay proxy;
    // 0 on success.
    int connectSession(TelSession& record);
    int connectTo(SOCKET s, const char* name, int port, const char* targetHost);
    void sendRelayRequest(TelSession& session, const char* host, int port);
    void watchSelected();

    // The byte stream of one session.  Each takes the session it works on:
    // an error box waits for keys, and a hot key pressed there may select
    // another session before the call returns.
    int bytesWaiting(TelSession& session);
    int sendBytes(TelSession& session, const char* bytes, int count);
};
