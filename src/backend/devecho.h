// The loop-back device: what is written comes back at the next read.
#pragma once
#include "backend/device.h"

// Large enough for everything the Terminal sends in one write.
constexpr int ECHO_BUFFER_SIZE = 1024;

class DevEcho : public Device {
public:
    int read(char* buffer, int max) override;
    int write(const char* bytes, int count) override;
    const char* name() override;

    char echoBuffer[ECHO_BUFFER_SIZE] = {};
    int32_t echoCount = 0;
};
