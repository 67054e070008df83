// The console around the program's own drawing, on the real console, which
// shows every drawing at once and reports keys rather than characters.
#include <algorithm>
#include <cstdarg>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr int MESSAGE_SIZE = 512;

// The rows of the console that a message covers, and the cursor, as they
// were before it.
struct SavedRows {
    HANDLE output = nullptr;
    COORD cursor{};
    COORD size{};
    SMALL_RECT region{};
    std::vector<CHAR_INFO> cells;
};
SavedRows saved;

// The message's lines, each cut into rows of the console's width.
std::vector<std::string> messageRows(const char* text, int width) {
    std::vector<std::string> rows;
    std::string row;
    for (; *text != '\0'; text++) {
        if (*text == '\n' || static_cast<int>(row.size()) == width) {
            rows.push_back(row);
            row.clear();
        }
        if (*text != '\n') row += *text;
    }
    if (!row.empty()) rows.push_back(row);
    return rows;
}

}  // namespace

// The message goes on the rows below the cursor, as a line written there
// would, but is placed, not written: the console neither wraps nor scrolls,
// and only the rows it covers need to be given back.
void printOverConsole(const char* format, ...) {
    char text[MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(output, &info) || info.dwSize.X <= 0 || info.dwSize.Y <= 0) {
        // Standard output is no console: the message is plain text there.
        std::fputs(text, stdout);
        std::fflush(stdout);
        return;
    }
    std::vector<std::string> rows = messageRows(text, info.dwSize.X);
    SHORT count = static_cast<SHORT>(std::min<size_t>(rows.size(), static_cast<size_t>(info.dwSize.Y)));
    if (count == 0) return;
    SHORT top = static_cast<SHORT>(std::min(info.dwCursorPosition.Y + 1, info.dwSize.Y - count));
    saved.size = COORD{info.dwSize.X, count};
    saved.region = SMALL_RECT{0, top, static_cast<SHORT>(info.dwSize.X - 1), static_cast<SHORT>(top + count - 1)};
    saved.cells.resize(static_cast<size_t>(info.dwSize.X) * static_cast<size_t>(count));
    SMALL_RECT region = saved.region;
    saved.output = ReadConsoleOutputA(output, saved.cells.data(), saved.size, COORD{0, 0}, &region) ? output : nullptr;
    saved.cursor = info.dwCursorPosition;
    for (SHORT i = 0; i < count; i++) {
        COORD at{0, static_cast<SHORT>(top + i)};
        DWORD written = 0;
        FillConsoleOutputCharacterA(output, ' ', static_cast<DWORD>(info.dwSize.X), at, &written);
        FillConsoleOutputAttribute(output, info.wAttributes, static_cast<DWORD>(info.dwSize.X), at, &written);
        WriteConsoleOutputCharacterA(output, rows[i].data(), static_cast<DWORD>(rows[i].size()), at, &written);
    }
}

void consoleTextWritten() {
    if (saved.output == nullptr) return;
    SMALL_RECT region = saved.region;
    WriteConsoleOutputA(saved.output, saved.cells.data(), saved.size, COORD{0, 0}, &region);
    SetConsoleCursorPosition(saved.output, saved.cursor);
    saved = SavedRows{};
}

void consoleBeforeBlocking() {}

void setConsoleKeyTranslation(HANDLE, const std::function<int(WORD, DWORD)>&) {}
