// A connection source for the Terminal's sessions (index 0..9).
#pragma once
#include <cstdint>

constexpr int PROXY_HOST_SIZE = 256;

class Device {
public:
    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // The virtual operations, in their fixed slot order.
    virtual int isOpen(int session);
    virtual void leave(int session);
    virtual int open(int session, const char* termType, int rows, int columns);
    virtual void close(int session);
    virtual int read(char* buffer, int max) = 0;
    virtual int write(const char* bytes, int count) = 0;
    virtual const char* name();
    virtual ~Device() = default;
    // The window of session n now has this size: a connection that agreed to
    // tell the host is told at once.
    virtual void resize(int session, int rows, int columns);

    // Remembers the relay proxy (host[:port]); the text is cut to fit.
    void setProxy(const char* text);

    char proxyHost[PROXY_HOST_SIZE] = {};
    int32_t proxyEnabled = 0;
};
