#include "backend/device.h"

#include <cstring>

int Device::isOpen(int) { return 1; }

void Device::leave(int) {}

int Device::open(int, const char*, int, int) { return 0; }

void Device::close(int) {}

void Device::resize(int, int, int) {}

const char* Device::name() { return "GENERIC DEVICE $Revision: 1.3 $"; }

void Device::setProxy(const char* text) {
    proxyEnabled = 1;
    size_t length = text == nullptr ? 0 : std::strlen(text);
    if (length > PROXY_HOST_SIZE - 1) length = PROXY_HOST_SIZE - 1;
    if (length > 0) std::memcpy(proxyHost, text, length);
    proxyHost[length] = '\0';
}
