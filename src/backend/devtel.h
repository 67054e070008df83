// The Telnet device: up to ten TCP connections to one host, directly or
// through a relay proxy.
#pragma once
#include <cstdint>

#include "backend/device.h"
#include "platform/platform.h"

constexpr int HOST_SPEC_SIZE = 64;
constexpr int RECV_BUFFER_SIZE = 512;
constexpr int TELNET_PORT = 23;
constexpr int PROXY_PORT = 8080;
constexpr int TEL_SESSIONS = 10;

// Where a session's command parser stands between received bytes.  A command
// may be split across reads anywhere; the parser picks it up where the last
// piece ended.
enum class TelnetState : uint8_t {
    Data,        // plain data
    DataCr,      // plain data, just after a CR: a NUL here is no data
    Command,     // after IAC
    Option,      // after IAC WILL/WONT/DO/DONT, waiting for the option
    SubOption,   // after IAC SB, waiting for the option
    SubCode,     // after IAC SB TERMINAL-TYPE, waiting for the code
    SubBody,     // inside a subnegotiation, up to its IAC SE
    SubBodyIac,  // after an IAC inside a subnegotiation
};

struct TelSession {
    SOCKET socket = INVALID_SOCKET;
    int32_t localEcho = 0;
    int32_t remoteEcho = 0;
    int32_t connected = 0;
    unsigned char recvBuffer[RECV_BUFFER_SIZE] = {};
    int32_t recvIndex = 0;
    int32_t recvCount = 0;
    TelnetState state = TelnetState::Data;
    unsigned char command = 0;  // the WILL/WONT/DO/DONT awaiting its option
    // The host closed the connection or it failed; the next read reports it.
    int32_t lost = 0;
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
    TelSession sessions[TEL_SESSIONS];
    TelSession* current = nullptr;
    int32_t currentIndex = 0;

private:
    // Connection (devtel.cpp).
    int connectTo(SOCKET s, const char* name, int port, const char* targetHost);
    void sendRelayRequest(TelSession& session, const char* host, int port);
    void watchSelected();

    // The byte stream of one session (telnet.cpp).  Each takes the session
    // it works on: an error box waits for keys, and a hot key pressed there
    // may select another session before the call returns.
    int getByte(TelSession& session);
    int sendBytes(TelSession& session, const char* bytes, int count);
    void sendCommand(TelSession& session, int command, int option);
    int handleCommand(TelSession& session, int byte);
    int handleSubnegotiation(TelSession& session, int byte);
    void negotiate(TelSession& session, int command, int option);
    void sendTerminalType(TelSession& session);
    void sendWindowSize(TelSession& session);
};
