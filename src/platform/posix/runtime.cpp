// The runtime's file services over POSIX descriptors, and printers by their
// device names.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr const char* NULL_DEVICE = "/dev/null";
constexpr const char* SHELL = "/bin/sh";
constexpr int COMMAND_NOT_RUN = 127;

// Printer commands started by openPrinter, to be waited for when closed.
std::vector<std::pair<FILE*, pid_t>> printerCommands;

// What a way out of the program must not leave behind, in plain arrays that
// a signal handler can read: the temporary files not yet removed and the
// pipes of the printer commands.  A slot holds its name or descriptor while
// its flag is set.
constexpr int WAY_OUT_SLOTS = 16;
constexpr size_t TEMPORARY_NAME_SIZE = 256;
char temporaryNames[WAY_OUT_SLOTS][TEMPORARY_NAME_SIZE];
volatile sig_atomic_t temporaryKept[WAY_OUT_SLOTS];
int printerPipes[WAY_OUT_SLOTS];
volatile sig_atomic_t printerPipeOpen[WAY_OUT_SLOTS];

void removeTemporaries() {
    for (int i = 0; i < WAY_OUT_SLOTS; i++)
        if (temporaryKept[i]) ::unlink(temporaryNames[i]);
}

void keepUntilWayOut(const char* name) {
    static bool registered = false;
    if (!registered) std::atexit(removeTemporaries);
    registered = true;
    size_t length = std::strlen(name);
    if (length >= TEMPORARY_NAME_SIZE) return;
    for (int i = 0; i < WAY_OUT_SLOTS; i++) {
        if (temporaryKept[i]) continue;
        std::memcpy(temporaryNames[i], name, length + 1);
        temporaryKept[i] = 1;
        return;
    }
}

void notePrinterPipe(int fd) {
    for (int i = 0; i < WAY_OUT_SLOTS; i++) {
        if (printerPipeOpen[i]) continue;
        printerPipes[i] = fd;
        printerPipeOpen[i] = 1;
        return;
    }
}

void forgetPrinterPipe(int fd) {
    for (int i = 0; i < WAY_OUT_SLOTS; i++)
        if (printerPipeOpen[i] && printerPipes[i] == fd) printerPipeOpen[i] = 0;
}

// The device file behind a DOS device name, or null for an ordinary name.
// Holds the text it returns.
const char* deviceFile(const char* name, char* path, size_t size) {
    if (strcasecmp(name, "nul") == 0) return NULL_DEVICE;
    if (strcasecmp(name, "prn") == 0) name = "lpt1";
    if (strncasecmp(name, "lpt", 3) == 0 && name[3] >= '1' && name[3] <= '9' && name[4] == 0) {
        std::snprintf(path, size, "/dev/lp%d", name[3] - '1');
        return path;
    }
    return nullptr;
}

// The command reads the print data on its standard input; what it writes
// goes nowhere, so that it cannot scribble over the console.
FILE* openPrinterCommand(const char* command) {
    int quiet = ::open(NULL_DEVICE, O_WRONLY | O_CLOEXEC);
    if (quiet < 0) return nullptr;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        ::close(quiet);
        return nullptr;
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGPIPE, SIG_DFL);
        ::dup2(ends[0], STDIN_FILENO);
        ::dup2(quiet, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        ::execl(SHELL, "sh", "-c", command, static_cast<char*>(nullptr));
        ::_exit(COMMAND_NOT_RUN);
    }
    ::close(quiet);
    ::close(ends[0]);
    FILE* stream = pid > 0 ? ::fdopen(ends[1], "wb") : nullptr;
    if (stream == nullptr) {
        ::close(ends[1]);
        if (pid > 0) ::waitpid(pid, nullptr, 0);
        return nullptr;
    }
    // A command that ends before reading everything must not kill the
    // program with SIGPIPE: the writes fail instead, and those are ignored.
    ::signal(SIGPIPE, SIG_IGN);
    printerCommands.emplace_back(stream, pid);
    notePrinterPipe(::fileno(stream));
    return stream;
}

}  // namespace

int _open(const char* path, int flags, int mode) {
    int posixFlags = (flags & _O_WRONLY) ? O_WRONLY : O_RDONLY;
    if (flags & _O_APPEND) posixFlags |= O_APPEND;
    if (flags & _O_CREAT) posixFlags |= O_CREAT;
    mode_t permissions = 0;
    if (mode & _S_IREAD) permissions |= S_IRUSR | S_IRGRP | S_IROTH;
    if (mode & _S_IWRITE) permissions |= S_IWUSR | S_IWGRP;
    // Printer commands are started while capture or replay files are open;
    // they must not inherit them.
    return ::open(path, posixFlags | O_CLOEXEC, permissions);
}

int _read(int fd, void* buffer, unsigned count) {
    ssize_t n;
    do n = ::read(fd, buffer, count);
    while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

int _write(int fd, const void* buffer, unsigned count) {
    ssize_t n;
    do n = ::write(fd, buffer, count);
    while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

int _close(int fd) { return ::close(fd); }

FILE* openPrinter(const char* name) {
    if (name[0] == '|') return openPrinterCommand(name + 1);
    char path[16];
    const char* device = deviceFile(name, path, sizeof path);
    return std::fopen(device != nullptr ? device : name, "ab");
}

void closePrinter(FILE* stream) {
    forgetPrinterPipe(::fileno(stream));
    std::fclose(stream);
    for (auto it = printerCommands.begin(); it != printerCommands.end(); ++it) {
        if (it->first != stream) continue;
        pid_t pid = it->second;
        printerCommands.erase(it);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return;
    }
}

bool temporaryName(char* name, size_t size) {
    const char* directory = std::getenv("TMPDIR");
    if (directory == nullptr || directory[0] == 0) directory = "/tmp";
    int length = std::snprintf(name, size, "%s/zarnekXXXXXX", directory);
    if (length < 0 || static_cast<size_t>(length) >= size) return false;
    int fd = ::mkostemp(name, O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    keepUntilWayOut(name);
    return true;
}

void removeTemporary(const char* name) {
    ::unlink(name);
    for (int i = 0; i < WAY_OUT_SLOTS; i++)
        if (temporaryKept[i] && std::strcmp(temporaryNames[i], name) == 0) temporaryKept[i] = 0;
}

// A signal ends the program without flushing its streams: closing the pipes
// is what tells the printer commands that no more comes.  (At the normal
// end, exit flushes and closes the streams after removing the temporaries.)
void releaseOnSignal() {
    removeTemporaries();
    for (int i = 0; i < WAY_OUT_SLOTS; i++)
        if (printerPipeOpen[i]) ::close(printerPipes[i]);
}

void printOverConsole(const char* format, ...) {
    // Bring the terminal up to date first: a frame still to come would
    // otherwise be drawn over the message before anyone could read it.
    consoleBeforeBlocking();
    // The terminal's cursor is wherever the last frame left it, perhaps in
    // the middle of a row: the message starts a line of its own.
    if (::isatty(STDOUT_FILENO)) std::fputs("\r\n", stdout);
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}
