// What the benchmarks share: the four host streams, an adapter that draws
// nothing, a device that serves a stream, and the pipes that stand in for
// the user's terminal behind standard input and standard output.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "backend/adapter.h"
#include "backend/device.h"

// ---------------------------------------------------------------------------
// Host streams (streams.cpp).

enum class StreamKind { Plain, Colour, Cursor, Scroll };

// 20 MB unless the command line asks for less (a profiler run).
constexpr size_t DEFAULT_STREAM_BYTES = 20'000'000;
void setStreamBytes(size_t bytes);
// The console of a run with standard output on a pipe: 80x25, of which the
// XTERM emulation shows 24 rows and keeps the last for the status line.
constexpr int SCREEN_COLUMNS = 80;
constexpr int SCREEN_ROWS = 24;

// The same bytes on every machine and every run (fixed seeds).
const std::string& hostStream(StreamKind kind);
const char* streamName(StreamKind kind);

// ---------------------------------------------------------------------------
// Fakes (throughput_bench.cpp).

// A console that draws nothing: what is left is the interpreter and the
// screen model.
class NullAdapter : public Adapter {
public:
    NullAdapter();
    void setCursor(int position) override;
    void write(int position, const char* text, int count) override;
    void fill(int position, char ch, int count) override;
    int keyReady() override;
    int readKey() override;
    int moveBlock(int source, int destination, int count) override;
};

// Hands out a stream in reads of at most the size asked for, as a socket
// under a flood does, then reports the connection lost, which ends the main
// loop once the stream is shown.
class StreamDevice : public Device {
public:
    explicit StreamDevice(const std::string& bytes) : stream(bytes) {}
    int read(char* buffer, int max) override;
    int write(const char* bytes, int count) override;

private:
    const std::string& stream;
    size_t offset = 0;
};

// ---------------------------------------------------------------------------
// The terminal's side of the console (sink.cpp).  Standard input becomes a
// pipe the benchmark types into; standard output a pipe drained by a thread
// that counts what the program writes to the terminal.

class TerminalSink {
public:
    // Redirects standard input and output; the report goes to the standard
    // output the process was given.
    void install();
    void remove();
    std::ostream& report();

    // Waits until everything written to standard output so far is counted.
    void sync();
    // Bytes the program wrote to its terminal.
    uint64_t bytes();

    // Sends a key to the console input and waits for the byte to appear in
    // the terminal output; returns the nanoseconds between the two, or -1
    // when the echo did not come within the limit.
    int64_t typeAndWaitForEcho(char key, int limitMilliseconds);

private:
    void drain();

    int keyFd = -1;
    int readFd = -1;
    int reportFd = -1;
    std::thread drainer;
    std::mutex lock;
    std::condition_variable changed;
    uint64_t counted = 0;
    uint64_t markersSent = 0;
    uint64_t markersSeen = 0;
    int watched = -1;
    int64_t watchedSeen = -1;
};

TerminalSink& terminalSink();
int64_t monotonicNanoseconds();

// The throughput benchmarks, for the four streams (throughput_bench.cpp).
void registerThroughputBenchmarks();

// ---------------------------------------------------------------------------
// Measurements printed after the benchmarks (sessions_bench.cpp).

// Heap in use with ten sessions open; run before anything else has built a
// console, so the console's own buffers are counted too.
void measureMemory(std::ostream& out);
// Processor time of an idle echo session, before and after a key, and the
// time from a key on the console input to its echo on the terminal.
void measureIdleAndLatency(std::ostream& out);
// Processor time of a session whose Telnet host redraws its screen every
// second, as top does.
void measureTelnetRedraw(std::ostream& out);
