// The console around the program's own drawing, on the real console, which
// shows every drawing at once and reports keys rather than characters.
#include <cstdarg>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr int MESSAGE_SIZE = 512;

// The console as it was before a message went over it.
struct SavedConsole {
    HANDLE output = nullptr;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    std::vector<CHAR_INFO> cells;
};
SavedConsole saved;

SMALL_RECT wholeBuffer(COORD size) {
    return SMALL_RECT{0, 0, static_cast<SHORT>(size.X - 1), static_cast<SHORT>(size.Y - 1)};
}

bool saveConsole(HANDLE output) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(output, &info) || info.dwSize.X <= 0 || info.dwSize.Y <= 0) return false;
    saved.cells.resize(static_cast<size_t>(info.dwSize.X) * static_cast<size_t>(info.dwSize.Y));
    SMALL_RECT region = wholeBuffer(info.dwSize);
    if (!ReadConsoleOutputA(output, saved.cells.data(), info.dwSize, COORD{0, 0}, &region)) return false;
    saved.output = output;
    saved.info = info;
    return true;
}

// Every line end as CR LF, and the message on a line of its own.
std::string consoleLines(const char* text) {
    std::string lines = "\r\n";
    for (; *text != '\0'; text++) {
        if (*text == '\n') lines += '\r';
        lines += *text;
    }
    return lines;
}

}  // namespace

void printOverConsole(const char* format, ...) {
    char text[MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!saveConsole(output)) {
        // Standard output is no console: the message is plain text there.
        std::fputs(text, stdout);
        std::fflush(stdout);
        return;
    }
    // The console adapter keeps the console from wrapping; the message may
    // wrap and scroll, since the console is given back afterwards.
    DWORD mode = 0;
    GetConsoleMode(output, &mode);
    SetConsoleMode(output, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT);
    std::string lines = consoleLines(text);
    DWORD written = 0;
    WriteConsoleA(output, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    SetConsoleMode(output, mode);
}

void consoleTextWritten() {
    if (saved.output == nullptr) return;
    SMALL_RECT region = wholeBuffer(saved.info.dwSize);
    WriteConsoleOutputA(saved.output, saved.cells.data(), saved.info.dwSize, COORD{0, 0}, &region);
    SetConsoleCursorPosition(saved.output, saved.info.dwCursorPosition);
    SetConsoleTextAttribute(saved.output, saved.info.wAttributes);
    saved = SavedConsole{};
}

void consoleBeforeBlocking() {}

void setConsoleKeyTranslation(HANDLE, const std::function<int(WORD, DWORD)>&) {}
