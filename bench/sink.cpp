// The user's terminal as the benchmarks see it: a pipe for the keys behind
// standard input, and a pipe behind standard output that a thread drains,
// counting the bytes and noting when a watched byte goes by.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <streambuf>

#include "bench_support.h"

namespace {

// Written by the benchmark to mark a point in the output; the renderer
// never writes it (a cell holding 0 is shown as a space).
constexpr char MARKER = '\0';
constexpr size_t DRAIN_SIZE = 1 << 16;

// The report goes to the standard output the process was started with.
class DescriptorBuffer : public std::streambuf {
public:
    void attach(int descriptor) { fd = descriptor; }

protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        char byte = static_cast<char>(c);
        return writeAll(&byte, 1) ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        return writeAll(text, static_cast<size_t>(count)) ? count : 0;
    }

private:
    bool writeAll(const char* text, size_t count) {
        while (count > 0) {
            ssize_t n = ::write(fd, text, count);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            text += n;
            count -= static_cast<size_t>(n);
        }
        return true;
    }
    int fd = -1;
};

DescriptorBuffer reportBuffer;
std::ostream reportStream(&reportBuffer);

void check(bool ok, const char* what) {
    if (ok) return;
    std::perror(what);
    std::exit(2);
}

}  // namespace

int64_t monotonicNanoseconds() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

TerminalSink& terminalSink() {
    static TerminalSink sink;
    return sink;
}

void TerminalSink::install() {
    int keys[2];
    int output[2];
    check(pipe(keys) == 0 && pipe(output) == 0, "pipe");
    reportFd = dup(STDOUT_FILENO);
    check(reportFd >= 0, "dup");
    reportBuffer.attach(reportFd);
    // The key pipe stays open for writing, so the console input never sees
    // the end of its input (which would end the run).
    check(dup2(keys[0], STDIN_FILENO) >= 0 && dup2(output[1], STDOUT_FILENO) >= 0, "dup2");
    close(keys[0]);
    close(output[1]);
    keyFd = keys[1];
    readFd = output[0];
    drainer = std::thread([this] { drain(); });
}

// Standard output goes to the null device from here on, so that what the
// console still writes at exit goes nowhere and the drain thread sees the
// end of its pipe.
void TerminalSink::remove() {
    int null = open("/dev/null", O_WRONLY);
    check(null >= 0 && dup2(null, STDOUT_FILENO) >= 0, "/dev/null");
    close(null);
    drainer.join();
    close(readFd);
    close(keyFd);
}

std::ostream& TerminalSink::report() { return reportStream; }

void TerminalSink::drain() {
    static char bytes[DRAIN_SIZE];
    for (;;) {
        ssize_t n = ::read(readFd, bytes, sizeof bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        int64_t now = monotonicNanoseconds();
        uint64_t markers = static_cast<uint64_t>(std::count(bytes, bytes + n, MARKER));
        std::lock_guard<std::mutex> hold(lock);
        counted += static_cast<uint64_t>(n) - markers;
        markersSeen += markers;
        if (watched >= 0 && std::find(bytes, bytes + n, static_cast<char>(watched)) != bytes + n) {
            watchedSeen = now;
            watched = -1;
        }
        changed.notify_all();
    }
}

void TerminalSink::sync() {
    uint64_t mark = ++markersSent;
    check(::write(STDOUT_FILENO, &MARKER, 1) == 1, "write");
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] { return markersSeen >= mark; });
}

uint64_t TerminalSink::bytes() {
    std::lock_guard<std::mutex> hold(lock);
    return counted;
}

int64_t TerminalSink::typeAndWaitForEcho(char key, int limitMilliseconds) {
    std::unique_lock<std::mutex> hold(lock);
    watched = static_cast<unsigned char>(key);
    watchedSeen = -1;
    int64_t sentAt = monotonicNanoseconds();
    check(::write(keyFd, &key, 1) == 1, "write");
    bool seen = changed.wait_for(hold, std::chrono::milliseconds(limitMilliseconds),
                                 [&] { return watchedSeen >= 0; });
    watched = -1;
    return seen ? watchedSeen - sentAt : -1;
}
