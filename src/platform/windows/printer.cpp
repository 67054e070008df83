// Printers and spool files with the C runtime and the kernel.  Windows itself
// knows the device names nul, prn and lpt1..lpt9: they open like files.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr const char* SPOOL_PREFIX = "zar";
constexpr const char* DEFAULT_COMMAND_PROCESSOR = "cmd.exe";

// A printer command started by openPrinter, to be waited for when closed.
struct PrinterCommand {
    FILE* stream;
    HANDLE process;
};
std::vector<PrinterCommand> printerCommands;

// Spool files not yet removed: they go on every way out, the console window
// closed or the session logged off included.
std::vector<std::string> temporaries;

void removeTemporaries() {
    for (const std::string& name : temporaries) DeleteFileA(name.c_str());
    temporaries.clear();
}

// At the end of the run a spool still being written is open, and Windows
// removes no open file: the streams are closed first, as exit would close
// them afterwards.
void removeTemporariesAtExit() {
    _fcloseall();
    removeTemporaries();
}

BOOL WINAPI removeTemporariesOnClose(DWORD) {
    removeTemporaries();
    return FALSE;  // the default handler ends the process
}

void keepUntilWayOut(const char* name) {
    if (temporaries.empty()) {
        static bool registered = false;
        if (!registered) {
            std::atexit(removeTemporariesAtExit);
            SetConsoleCtrlHandler(removeTemporariesOnClose, TRUE);
        }
        registered = true;
    }
    temporaries.emplace_back(name);
}

// The command processor runs the command with the print data on its standard
// input and its output going nowhere, so that it cannot draw over the
// console.  (The runtime's _popen would give it the console for output.)
FILE* openPrinterCommand(const char* command) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE dataIn, dataOut;
    if (!CreatePipe(&dataIn, &dataOut, &inherited, 0)) return nullptr;
    SetHandleInformation(dataOut, HANDLE_FLAG_INHERIT, 0);
    HANDLE quiet = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = dataIn;
    startup.hStdOutput = quiet;
    startup.hStdError = quiet;
    const char* processor = std::getenv("COMSPEC");
    std::string line = std::string("\"") + (processor != nullptr ? processor : DEFAULT_COMMAND_PROCESSOR) +
                       "\" /c " + command;
    PROCESS_INFORMATION process{};
    BOOL started = quiet != INVALID_HANDLE_VALUE &&
                   CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(dataIn);
    if (quiet != INVALID_HANDLE_VALUE) CloseHandle(quiet);
    if (!started) {
        CloseHandle(dataOut);
        return nullptr;
    }
    CloseHandle(process.hThread);
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(dataOut), _O_WRONLY | _O_BINARY);
    FILE* stream = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (stream == nullptr) {
        // The command sees the end of its input and finishes by itself.
        if (fd >= 0)
            _close(fd);
        else
            CloseHandle(dataOut);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        return nullptr;
    }
    printerCommands.push_back({stream, process.hProcess});
    return stream;
}

}  // namespace

FILE* openPrinter(const char* name) {
    if (name[0] == '|') return openPrinterCommand(name + 1);
    return std::fopen(name, "ab");
}

void closePrinter(FILE* stream) {
    std::fclose(stream);
    auto command = std::find_if(printerCommands.begin(), printerCommands.end(),
                                [stream](const PrinterCommand& c) { return c.stream == stream; });
    if (command == printerCommands.end()) return;
    WaitForSingleObject(command->process, INFINITE);
    CloseHandle(command->process);
    printerCommands.erase(command);
}

bool temporaryName(char* name, size_t size) {
    char directory[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof directory, directory);
    if (length == 0 || length >= sizeof directory) return false;
    char path[MAX_PATH];
    if (GetTempFileNameA(directory, SPOOL_PREFIX, 0, path) == 0) return false;
    if (std::strlen(path) >= size) {
        DeleteFileA(path);
        return false;
    }
    std::strcpy(name, path);
    keepUntilWayOut(name);
    return true;
}

void removeTemporary(const char* name) {
    DeleteFileA(name);
    std::erase(temporaries, std::string(name));
}

// The console keeps its screen when the program ends: the last words are in
// view already.
void leaveInView(const std::vector<std::string>&) {}
