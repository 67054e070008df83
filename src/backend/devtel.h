// The Telnet device: up to ten TCP connections to one host, directly or
// through a relay proxy.
#pragma once
#include <cstdint>

#include "backend/device.h"
#include "platform/win32.h"

constexpr int HOST_SPEC_SIZE = 64;
constexpr int RECV_BUFFER_SIZE = 512;
constexpr int TELNET_PORT = 23;
constexpr int PROXY_PORT = 8080;

struct TelSession {
    SOCKET socket = INVALID_SOCKET;
    int32_t localEcho = 0;
    int32_t remoteEcho = 0;
    int32_t connected = 0;
    unsigned char recvBuffer[RECV_BUFFER_SIZE] = {};
    int32_t recvIndex = 0;
    int32_t recvCount = 0;
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

    int reportError();

    const char* termType = "";
    int32_t winRows = 0;
    int32_t winCols = 0;
    char hostSpec[HOST_SPEC_SIZE] = {};
    TelSession sessions[10];
    TelSession* current = nullptr;
    int32_t currentIndex = 0;
};
