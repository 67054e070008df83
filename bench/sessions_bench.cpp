// Measurements of whole sessions, printed after the benchmarks: the heap in
// use with ten sessions open, the processor time of an idle echo session,
// and the time from a key on the console input to its echo on the terminal.
#include <malloc.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "backend/adapnt.h"
#include "backend/devecho.h"
#include "bench_support.h"
#include "platform/platform.h"
#include "terminal/terminal.h"

// ---------------------------------------------------------------------------
// Every allocation of the process is counted by the size the allocator gave
// it, so the heap a set of sessions holds is known to the byte.

namespace {

std::atomic<size_t> heapInUse{0};
std::atomic<size_t> heapPeak{0};

void* allocate(size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    size_t now = heapInUse.fetch_add(malloc_usable_size(block), std::memory_order_relaxed) +
                 malloc_usable_size(block);
    size_t peak = heapPeak.load(std::memory_order_relaxed);
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
    return block;
}

void release(void* block) {
    if (block == nullptr) return;
    heapInUse.fetch_sub(malloc_usable_size(block), std::memory_order_relaxed);
    std::free(block);
}

}  // namespace

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, size_t) noexcept { release(block); }
void operator delete[](void* block, size_t) noexcept { release(block); }

namespace {

constexpr int LATENCY_IDLE_SAMPLES = 10;
constexpr int LATENCY_BUSY_SAMPLES = 30;
constexpr int ECHO_LIMIT_MS = 2000;
// The main loop spins for a second after the last traffic, then sleeps.
constexpr auto LOOP_GOES_IDLE = std::chrono::milliseconds(1200);
constexpr auto BUSY_KEY_GAP = std::chrono::milliseconds(40);
constexpr auto IDLE_WINDOW = std::chrono::seconds(3);
constexpr auto FIRST_SECOND = std::chrono::seconds(1);
constexpr char ECHOED_KEY = 'x';
constexpr double KB = 1024.0;

// An echo session whose connection can be dropped from outside, so that
// its main loop ends.
class StoppableEcho : public DevEcho {
public:
    int read(char* buffer, int max) override {
        return stopping.load() ? -1 : DevEcho::read(buffer, max);
    }
    std::atomic<bool> stopping{false};
};

double processorSeconds() {
    struct timespec used {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return static_cast<double>(used.tv_sec) + used.tv_nsec / 1e9;
}

long maxResidentKilobytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long contextSwitches() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

// A screenful in changing colours, so that every session has drawn and the
// renderer has a full frame to build.
std::string colourfulScreen() {
    std::string text = "\x1b[2J";
    for (int row = 0; row < SCREEN_ROWS; row++) {
        text += "\x1b[3" + std::to_string(row % 8) + ";4" + std::to_string((row + 3) % 8) + "m";
        text += std::string(SCREEN_COLUMNS - 1, static_cast<char>('A' + row));
        text += "\r\n";
    }
    return text;
}

struct Summary {
    double median;
    double low;
    double high;
};

Summary summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty()) return {0, 0, 0};
    size_t middle = values.size() / 2;
    double median = values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    return {median, values.front(), values.back()};
}

void printLatency(std::ostream& out, const char* label, const std::vector<double>& samples,
                  int lost) {
    Summary s = summarise(samples);
    char line[160];
    std::snprintf(line, sizeof line, "%-44s median %7.3f ms  min %7.3f  max %7.3f  (%zu keys%s)\n",
                  label, s.median, s.low, s.high, samples.size(), lost > 0 ? ", some lost" : "");
    out << line;
}

std::vector<double> echoLatencies(int samples, std::chrono::milliseconds gap, int& lost) {
    std::vector<double> milliseconds;
    for (int i = 0; i < samples; i++) {
        std::this_thread::sleep_for(gap);
        int64_t nanoseconds = terminalSink().typeAndWaitForEcho(ECHOED_KEY, ECHO_LIMIT_MS);
        if (nanoseconds < 0)
            lost++;
        else
            milliseconds.push_back(static_cast<double>(nanoseconds) / 1e6);
    }
    return milliseconds;
}

}  // namespace

void measureMemory(std::ostream& out) {
    long residentBefore = maxResidentKilobytes();
    size_t base = heapInUse.load();
    heapPeak = base;
    size_t oneSession = 0;
    size_t tenSessions = 0;
    {
        AdapNT adapter(KEYBOARD_AUTOMATIC, 0);
        DevEcho device;
        Terminal terminal(&adapter, &device, XTERM, 0, 0);
        std::string screen = colourfulScreen();
        for (int n = 0; n < MAX_SESSIONS; n++) {
            // As Alt+F1 .. Alt+F10 open them.
            terminal.switchSession(n);
            terminal.feedBytes(screen.data(), static_cast<int>(screen.size()));
            renderConsole(true);
            if (n == 0) oneSession = heapInUse.load() - base;
        }
        tenSessions = heapInUse.load() - base;
        // The Terminal closes its sessions when it goes.
    }
    size_t peak = heapPeak.load() - base;
    char text[400];
    std::snprintf(text, sizeof text,
                  "Memory (heap counted by allocation, allocator block sizes):\n"
                  "  console, adapter, Terminal and 1 session  %8.1f KB\n"
                  "  ... with 10 sessions open                 %8.1f KB  (%.1f KB per further session)\n"
                  "  peak while opening them                   %8.1f KB\n"
                  "  process max RSS: %ld KB before, %ld KB after (benchmark library and runtime included)\n",
                  oneSession / KB, tenSessions / KB, (tenSessions - oneSession) / KB / (MAX_SESSIONS - 1),
                  peak / KB, residentBefore, maxResidentKilobytes());
    out << text;
}

void measureIdleAndLatency(std::ostream& out) {
    StoppableEcho device;
    std::atomic<bool> opened{false};
    std::thread loop([&] {
        AdapNT adapter(KEYBOARD_AUTOMATIC, 0);
        Terminal terminal(&adapter, &device, XTERM, 0, 0);
        terminal.openSession(0);
        opened = true;
        terminal.run();
    });
    while (!opened.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    double start = processorSeconds();
    std::this_thread::sleep_for(FIRST_SECOND);
    double afterFirstSecond = processorSeconds();
    long switchesBefore = contextSwitches();
    std::this_thread::sleep_for(IDLE_WINDOW);
    double idle = processorSeconds() - afterFirstSecond;
    long switches = contextSwitches() - switchesBefore;
    double window = std::chrono::duration<double>(IDLE_WINDOW).count();

    int lost = 0;
    std::vector<double> idleLatency = echoLatencies(LATENCY_IDLE_SAMPLES, LOOP_GOES_IDLE, lost);
    std::vector<double> busyLatency = echoLatencies(LATENCY_BUSY_SAMPLES, BUSY_KEY_GAP, lost);

    device.stopping = true;
    loop.join();

    char text[300];
    std::snprintf(text, sizeof text,
                  "Idle echo session:\n"
                  "  processor time in the first second after opening  %7.1f ms\n"
                  "  processor time over the next %.0f s                 %7.1f ms (%.3f%% of a core, %.1f context switches/s)\n",
                  (afterFirstSecond - start) * 1e3, window, idle * 1e3, idle / window * 100,
                  switches / window);
    out << text << "Key to echo on the terminal:\n";
    printLatency(out, "  loop idle (key after 1.2 s of quiet)", idleLatency, lost);
    printLatency(out, "  loop busy (keys 40 ms apart)", busyLatency, lost);
}
