#include "scripted_device.h"

#include <cstring>

int ScriptedDevice::isOpen(int session) {
    if (alwaysOpen) return 1;
    return session >= 0 && session < 10 && connected[session] ? 1 : 0;
}

void ScriptedDevice::leave(int session) { calls.push_back("leave " + std::to_string(session)); }

int ScriptedDevice::open(int session, const char* termType, int rows, int columns) {
    calls.push_back("open " + std::to_string(session));
    current = session;
    lastTermType = termType;
    lastRows = rows;
    lastColumns = columns;
    int result = 0;
    if (!openResults.empty()) {
        result = openResults.front();
        openResults.pop_front();
    }
    if (result == 0) connected[session] = true;
    return result;
}

void ScriptedDevice::close(int session) {
    calls.push_back("close " + std::to_string(session));
    if (session >= 0 && session < 10) connected[session] = false;
}

int ScriptedDevice::read(char* buffer, int max) {
    reads++;
    if (script.empty() || max <= 0) return 0;
    Chunk& chunk = script.front();
    if (chunk.result < 0) {
        int result = chunk.result;
        script.pop_front();
        return result;
    }
    int n = static_cast<int>(chunk.bytes.size());
    if (n > max) n = max;
    std::memcpy(buffer, chunk.bytes.data(), n);
    chunk.bytes.erase(0, n);
    if (chunk.bytes.empty()) script.pop_front();
    return n;
}

int ScriptedDevice::write(const char* bytes, int count) {
    if (current >= 0 && current < 10 && count > 0) written[current].append(bytes, count);
    if (writeLimit >= 0 && writeLimit < count) return writeLimit;
    return count;
}

const char* ScriptedDevice::name() { return "Scripted Device"; }

void ScriptedDevice::pushData(const std::string& bytes) {
    if (!bytes.empty()) script.push_back({bytes, 0});
}

void ScriptedDevice::pushReadResult(int result) { script.push_back({std::string(), result}); }

void ScriptedDevice::pushOpenResult(int result) { openResults.push_back(result); }
