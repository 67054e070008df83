// Measurements of whole sessions, printed after the benchmarks: the heap in
// use with ten sessions open, the processor time of an idle echo session and
// of one whose Telnet host redraws its screen every second, and the time
// from a key on the console input to its echo on the terminal.
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

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
#include "backend/devtel.h"
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
// Long enough for any activity after a key to have died down.
constexpr auto LOOP_GOES_IDLE = std::chrono::milliseconds(1200);
// A key typed right after the echo of the one before.
constexpr auto BUSY_KEY_GAP = std::chrono::milliseconds(2);
constexpr auto IDLE_WINDOW = std::chrono::seconds(3);
constexpr auto ONE_SECOND = std::chrono::seconds(1);
// The host redraws every second; the first redraws come with the
// connection and are left out.
constexpr auto REDRAW_INTERVAL = std::chrono::seconds(1);
constexpr auto REDRAW_SETTLE = std::chrono::milliseconds(1500);
constexpr auto REDRAW_WINDOW = std::chrono::seconds(5);
constexpr auto HOST_POLL = std::chrono::milliseconds(20);
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

// The processor time of the thread that runs the program's main loop: what
// the program costs, without the benchmark's own threads.
double processorSeconds(std::thread& loop) {
    clockid_t clock;
    struct timespec used {};
    if (pthread_getcpuclockid(loop.native_handle(), &clock) != 0 || clock_gettime(clock, &used) != 0)
        return 0;
    return static_cast<double>(used.tv_sec) + used.tv_nsec / 1e9;
}

// Milliseconds of the loop's processor time over a stretch of waiting.
double processorMillisecondsOver(std::thread& loop, std::chrono::milliseconds window) {
    double start = processorSeconds(loop);
    std::this_thread::sleep_for(window);
    return (processorSeconds(loop) - start) * 1e3;
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

    double firstSecond = processorMillisecondsOver(loop, ONE_SECOND);
    long switchesBefore = contextSwitches();
    double idle = processorMillisecondsOver(loop, IDLE_WINDOW);
    long switches = contextSwitches() - switchesBefore;
    double window = std::chrono::duration<double>(IDLE_WINDOW).count();

    // One key into the idle session, and what the second after it costs.
    double beforeKey = processorSeconds(loop);
    int lost = 0;
    if (terminalSink().typeAndWaitForEcho(ECHOED_KEY, ECHO_LIMIT_MS) < 0) lost++;
    std::this_thread::sleep_for(ONE_SECOND);
    double afterKey = (processorSeconds(loop) - beforeKey) * 1e3;

    std::vector<double> idleLatency = echoLatencies(LATENCY_IDLE_SAMPLES, LOOP_GOES_IDLE, lost);
    std::vector<double> busyLatency = echoLatencies(LATENCY_BUSY_SAMPLES, BUSY_KEY_GAP, lost);

    device.stopping = true;
    loop.join();

    char text[400];
    std::snprintf(text, sizeof text,
                  "Idle echo session (processor time of the main loop's thread):\n"
                  "  in the first second after opening          %7.1f ms\n"
                  "  over the next %.0f s                         %7.1f ms (%.3f%% of a core, %.1f context switches/s)\n"
                  "  in the second after a key                  %7.1f ms (%.2f%% of a core)\n",
                  firstSecond, window, idle, idle / window / 10, switches / window, afterKey,
                  afterKey / 10);
    out << text << "Key to echo on the terminal:\n";
    printLatency(out, "  loop idle (key after 1.2 s of quiet)", idleLatency, lost);
    printLatency(out, "  right after a key (2 ms after its echo)", busyLatency, lost);
}

namespace {

// A row of a process monitor: the figures move with every redraw.
void appendProcessRow(std::string& out, int row, int tick) {
    char text[160];
    int seed = (row * 7919 + tick * 104729) % 1000;
    std::snprintf(text, sizeof text,
                  "\x1b[%d;1H%5d user      20   0 %7d %6d %5d %c %4.1f %4.1f %3d:%02d.%02d proc%02d\x1b[K",
                  row, 1000 + row * 37, 250000 + seed * 97, 9000 + seed * 13, 7000 + seed, "SRSD"[seed % 4],
                  seed / 10.0, (seed % 97) / 10.0, tick / 60, tick % 60, seed % 100, row);
    out += text;
}

// What a host running top sends once a second: the cursor home, the header
// and every process row placed and erased to its end.
std::string topRedraw(int tick) {
    char header[160];
    std::snprintf(header, sizeof header,
                  "\x1b[H\x1b[1mtop - 10:%02d:%02d up 3 days,  2 users,  load average: 0.%02d, 0.%02d, 0.%02d\x1b[m\x1b[K",
                  tick / 60 % 60, tick % 60, tick % 100, (tick * 3) % 100, (tick * 7) % 100);
    std::string out = header;
    for (int row = 2; row <= SCREEN_ROWS; row++) appendProcessRow(out, row, tick);
    return out;
}

// A Telnet host on the loopback interface that redraws a top screen every
// second until it is told to stop, then hangs up.
class RedrawingHost {
public:
    RedrawingHost() {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 1) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("redrawing host");
            std::exit(2);
        }
        port = ntohs(address.sin_port);
        thread = std::thread([this] { serve(); });
    }
    ~RedrawingHost() {
        stopping = true;
        thread.join();
        close(listener);
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port); }
    std::atomic<bool> stopping{false};

private:
    void serve() {
        int connection = accept(listener, nullptr, nullptr);
        auto next = std::chrono::steady_clock::now();
        for (int tick = 0; !stopping.load(); tick++) {
            std::string screen = topRedraw(tick);
            if (write(connection, screen.data(), screen.size()) < 0) break;
            next += REDRAW_INTERVAL;
            while (!stopping.load() && std::chrono::steady_clock::now() < next)
                std::this_thread::sleep_for(HOST_POLL);
        }
        close(connection);
    }

    int listener = -1;
    int port = 0;
    std::thread thread;
};

}  // namespace

void measureTelnetRedraw(std::ostream& out) {
    RedrawingHost host;
    std::string address = host.address();
    std::atomic<bool> opened{false};
    std::thread loop([&] {
        AdapNT adapter(KEYBOARD_AUTOMATIC, 0);
        DevTel device(address.c_str());
        Terminal terminal(&adapter, &device, XTERM, 0, 0);
        terminal.openSession(0);
        opened = true;
        // Ends when the host hangs up.
        terminal.run();
    });
    while (!opened.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(REDRAW_SETTLE);
    double used = processorMillisecondsOver(loop, REDRAW_WINDOW);
    host.stopping = true;
    loop.join();
    double window = std::chrono::duration<double>(REDRAW_WINDOW).count();
    char text[200];
    std::snprintf(text, sizeof text,
                  "Telnet host redrawing a top screen every second:\n"
                  "  processor time of the main loop over %.0f s    %7.1f ms (%.2f%% of a core)\n",
                  window, used, used / window / 10);
    out << text;
}
