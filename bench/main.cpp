// The benchmark program: the throughput benchmarks (Google Benchmark, each
// a median of repeated runs), then the memory, idle, latency and redraw
// measurements.  The program's console output goes to a counting pipe; the
// report goes to the standard output the program was given.
//
//   zarnek_bench [benchmark flags] [--no_measurements | --measurements_only]
//                [--stream_mb=N]   (smaller streams, for a run under a profiler)
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

constexpr const char* DEFAULT_FLAGS[] = {"--benchmark_repetitions=5",
                                         "--benchmark_report_aggregates_only=true"};

constexpr const char* STREAM_MB_FLAG = "--stream_mb=";
constexpr size_t BYTES_PER_MB = 1'000'000;

// Takes the flag out of the arguments; value receives what follows it.
bool takeFlag(std::vector<char*>& args, const char* flag, const char** value = nullptr) {
    size_t length = std::strlen(flag);
    for (auto it = args.begin() + 1; it != args.end(); ++it) {
        bool prefix = value != nullptr && std::strncmp(*it, flag, length) == 0;
        if (prefix || std::strcmp(*it, flag) == 0) {
            if (prefix) *value = *it + length;
            args.erase(it);
            return true;
        }
    }
    return false;
}

// Medians need repetitions: five unless the command line says otherwise.
void addDefaultFlags(std::vector<char*>& args) {
    for (const char* flag : DEFAULT_FLAGS) {
        std::string name(flag, std::strchr(flag, '=') - flag);
        bool given = false;
        for (size_t i = 1; i < args.size(); i++)
            given = given || std::strncmp(args[i], name.c_str(), name.size()) == 0;
        if (!given) args.insert(args.begin() + 1, const_cast<char*>(flag));
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Frames are rendered for a UTF-8 terminal, the usual case; the renderer
    // reads the codeset once, when it starts.
    setenv("LC_ALL", "C.UTF-8", 1);
    std::vector<char*> args(argv, argv + argc);
    bool measurements = !takeFlag(args, "--no_measurements");
    bool benchmarks = !takeFlag(args, "--measurements_only");
    const char* megabytes = nullptr;
    if (takeFlag(args, STREAM_MB_FLAG, &megabytes)) {
        long value = std::strtol(megabytes, nullptr, 10);
        if (value > 0) setStreamBytes(static_cast<size_t>(value) * BYTES_PER_MB);
    }
    addDefaultFlags(args);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    TerminalSink& sink = terminalSink();
    sink.install();
    std::ostream& out = sink.report();
    // First, while no console exists yet, so that its buffers are counted.
    if (measurements) measureMemory(out);
    if (benchmarks) {
        registerThroughputBenchmarks();
        benchmark::BenchmarkReporter* reporter = benchmark::CreateDefaultDisplayReporter();
        reporter->SetOutputStream(&out);
        reporter->SetErrorStream(&out);
        benchmark::RunSpecifiedBenchmarks(reporter);
    }
    if (measurements) {
        measureIdleAndLatency(out);
        measureTelnetRedraw(out);
    }
    out.flush();
    benchmark::Shutdown();
    sink.remove();
    return 0;
}
