// Throughput of the four host streams through the main loop: (a) the
// Terminal over an adapter that draws nothing, (b) the whole output path,
// the console adapter, the console screen buffer and the renderer writing
// frames to the terminal at its frame cap.  The terminal is a thread that
// drains a pipe; its work is not the program's, so the rates are taken on
// the processor time of the program's thread.
#include <benchmark/benchmark.h>

#include <memory>

#include "backend/adapnt.h"
#include "bench_support.h"
#include "platform/platform.h"
#include "terminal/terminal.h"

namespace {

constexpr double BYTES_PER_MB = 1e6;
constexpr StreamKind STREAM_KINDS[] = {StreamKind::Plain, StreamKind::Colour, StreamKind::Cursor,
                                       StreamKind::Scroll};

// A session opened as start-up opens the first one (banner, key
// definitions), whose device then serves the stream; with utf8 as for a host
// that speaks UTF-8 (--utf8).
template <class ConsoleAdapter>
struct StreamSession {
    StreamSession(const std::string& stream, bool utf8) : device(stream) {
        terminal.setUtf8Host(utf8);
        terminal.openSession(0);
    }
    ConsoleAdapter adapter;
    StreamDevice device;
    Terminal terminal{&adapter, &device, XTERM, 0, 0};
};

struct ConsoleAdapter : AdapNT {
    ConsoleAdapter() : AdapNT(KEYBOARD_AUTOMATIC, 0) {}
};

// Rates on the processor time of the thread that runs the program (what the
// program costs, whatever else the machine does), and on the clock.
void reportRate(benchmark::State& state, double megabytes, double wallSeconds) {
    state.SetBytesProcessed(static_cast<int64_t>(megabytes * BYTES_PER_MB));
    state.counters["MB/s"] = benchmark::Counter(megabytes, benchmark::Counter::kIsRate);
    state.counters["wall_MB/s"] = benchmark::Counter(megabytes / wallSeconds);
}

double secondsSince(int64_t start) { return static_cast<double>(monotonicNanoseconds() - start) / 1e9; }

void nullAdapterThroughput(benchmark::State& state, StreamKind kind, bool utf8) {
    const std::string& stream = hostStream(kind);
    double wall = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto session = std::make_unique<StreamSession<NullAdapter>>(stream, utf8);
        state.ResumeTiming();
        int64_t start = monotonicNanoseconds();
        session->terminal.run();
        wall += secondsSince(start);
        state.PauseTiming();
        session.reset();
        state.ResumeTiming();
    }
    reportRate(state, static_cast<double>(state.iterations()) * stream.size() / BYTES_PER_MB, wall);
}

// The renderer is driven by the main loop itself, as in the program: a
// frame at most every 16 ms while output flows, and one at the end.
void outputPathThroughput(benchmark::State& state, StreamKind kind, bool utf8) {
    const std::string& stream = hostStream(kind);
    TerminalSink& sink = terminalSink();
    uint64_t written = 0;
    double wall = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto session = std::make_unique<StreamSession<ConsoleAdapter>>(stream, utf8);
        renderConsole(true);
        sink.sync();
        uint64_t before = sink.bytes();
        state.ResumeTiming();
        int64_t start = monotonicNanoseconds();
        session->terminal.run();
        renderConsole(true);
        wall += secondsSince(start);
        state.PauseTiming();
        sink.sync();
        written += sink.bytes() - before;
        session.reset();
        state.ResumeTiming();
    }
    double megabytes = static_cast<double>(state.iterations()) * stream.size() / BYTES_PER_MB;
    reportRate(state, megabytes, wall);
    state.counters["out_bytes/MB"] = benchmark::Counter(static_cast<double>(written) / megabytes);
}

}  // namespace

NullAdapter::NullAdapter() {
    rows = SCREEN_ROWS + 1;
    columns = SCREEN_COLUMNS;
}

void NullAdapter::setCursor(int) {}

void NullAdapter::write(int, const char*, int) {}

void NullAdapter::fill(int, char, int) {}

int NullAdapter::keyReady() { return 0; }

int NullAdapter::readKey() { return 0; }

// Moves nothing, as it draws nothing: the Terminal is spared the repaint as
// over a real console.
int NullAdapter::moveBlock(int, int, int) { return 1; }

int StreamDevice::read(char* buffer, int max) {
    if (offset >= stream.size()) return -1;
    size_t n = std::min(stream.size() - offset, static_cast<size_t>(std::max(max, 0)));
    stream.copy(buffer, n, offset);
    offset += n;
    return static_cast<int>(n);
}

int StreamDevice::write(const char*, int count) { return count; }

void registerThroughputBenchmarks() {
    // The text streams also as from a host that speaks UTF-8: what the
    // decoder costs on the text most hosts send.
    for (bool utf8 : {false, true}) {
        for (StreamKind kind : STREAM_KINDS) {
            if (utf8 && kind != StreamKind::Plain && kind != StreamKind::Colour) continue;
            std::string name = std::string(utf8 ? "_utf8/" : "/") + streamName(kind);
            // One pass over a stream is long enough to time; the repetitions
            // give the median.
            benchmark::RegisterBenchmark(("null_adapter" + name).c_str(), nullAdapterThroughput, kind, utf8)
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("output_path" + name).c_str(), outputPathThroughput, kind, utf8)
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
        }
    }
}
