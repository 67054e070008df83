#include "backend/devecho.h"

#include <cstring>

// What one write sent replaces what was still waiting.  More than the buffer
// holds cannot come from the Terminal, which writes at most one I/O block.
int DevEcho::write(const char* bytes, int count) {
    if (count < 0) count = 0;
    int kept = count < ECHO_BUFFER_SIZE ? count : ECHO_BUFFER_SIZE;
    if (kept > 0) std::memcpy(echoBuffer, bytes, kept);
    echoCount = kept;
    return count;
}

// Never more than the caller asked for: what does not fit waits for the
// next read.
int DevEcho::read(char* buffer, int max) {
    if (max <= 0 || echoCount == 0) return 0;
    int n = echoCount < max ? echoCount : max;
    std::memcpy(buffer, echoBuffer, n);
    echoCount -= n;
    if (echoCount > 0) std::memmove(echoBuffer, echoBuffer + n, echoCount);
    return n;
}

const char* DevEcho::name() { return "ECHO $Revision: 1.1.1.1 $"; }
