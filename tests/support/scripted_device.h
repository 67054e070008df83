// A Device whose reads are scripted by the test and whose writes, opens and
// closes are recorded per session.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "backend/device.h"

class ScriptedDevice : public Device {
public:
    int isOpen(int session) override;
    void leave(int session) override;
    int open(int session, const char* termType, int rows, int columns) override;
    void close(int session) override;
    int read(char* buffer, int max) override;
    int write(const char* bytes, int count) override;
    const char* name() override;

    // Data the current session receives, in chunks; a chunk longer than a
    // read's max is handed out over several reads.
    void pushData(const std::string& bytes);
    // A read that returns this (negative) result: a lost connection.
    void pushReadResult(int result);
    // Results of the next open calls (0 success); when none are left, open
    // succeeds.
    void pushOpenResult(int result);

    // Sessions report themselves open whatever happened (like the echo
    // device), so no connection attempt is ever timed.
    bool alwaysOpen = false;
    // When set, write accepts this many bytes instead of all.
    int writeLimit = -1;

    int current = -1;
    bool connected[10] = {};
    std::string written[10];
    std::vector<std::string> calls;
    std::string lastTermType;
    int lastRows = 0;
    int lastColumns = 0;
    int reads = 0;

private:
    struct Chunk {
        std::string bytes;
        int result;
    };
    std::deque<Chunk> script;
    std::deque<int> openResults;
};
