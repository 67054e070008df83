// The console screen buffer and the console API calls that act on it.  The
// renderer (console_render.cpp) brings the real terminal up to date later.
#include <algorithm>
#include <climits>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "console.h"

namespace {

// A cell is stored as one 32-bit word, which the compiler turns into wide
// stores: the character byte at offset 0 and the attributes at offset 2 of
// its object representation, whatever the byte order.
static_assert(std::is_trivially_copyable_v<ConsoleCell> && sizeof(ConsoleCell) == 4 &&
              offsetof(ConsoleCell, character) == 0 && offsetof(ConsoleCell, attributes) == 2);
constexpr bool LITTLE_ENDIAN_WORDS = std::endian::native == std::endian::little;
constexpr int CHARACTER_SHIFT = LITTLE_ENDIAN_WORDS ? 0 : 24;
constexpr int ATTRIBUTES_SHIFT = LITTLE_ENDIAN_WORDS ? 16 : 0;

void storeText(ConsoleCell* cells, const char* bytes, DWORD count, WORD attributes) {
    const uint32_t attributeBits = static_cast<uint32_t>(attributes) << ATTRIBUTES_SHIFT;
    for (DWORD i = 0; i < count; i++) {
        uint32_t word = attributeBits |
                        static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << CHARACTER_SHIFT;
        std::memcpy(static_cast<void*>(&cells[i]), &word, sizeof word);
    }
}

// Windows accepts cursor sizes from 1 to 100 per cent of the cell.
constexpr DWORD MIN_CURSOR_SIZE = 1;
constexpr DWORD MAX_CURSOR_SIZE = 100;

HANDLE standardOutput = nullptr;
HANDLE standardInput = nullptr;

ConsoleOutput* outputOf(HANDLE handle) {
    return handle != nullptr ? static_cast<ConsoleObject*>(handle)->output() : nullptr;
}

ConsoleInput* inputOf(HANDLE handle) {
    return dynamic_cast<ConsoleInput*>(static_cast<ConsoleObject*>(handle));
}

}  // namespace

ConsoleOutput::ConsoleOutput(int columns, int rows)
    : width(columns), height(rows), cells(static_cast<size_t>(columns) * rows), rowStart(rows) {
    for (int y = 0; y < rows; y++) rowStart[y] = static_cast<size_t>(y) * columns;
}

std::vector<ConsoleCell> ConsoleOutput::snapshot() const {
    std::vector<ConsoleCell> rowsInOrder;
    rowsInOrder.reserve(cells.size());
    for (int y = 0; y < height; y++) rowsInOrder.insert(rowsInOrder.end(), &at(0, y), &at(0, y) + width);
    return rowsInOrder;
}

// A row piece at a time: the drawing of every printed character and every
// scrolled row comes through here.
void ConsoleOutput::writeText(const char* bytes, DWORD count) {
    // One character that leaves the cursor in its row: each printed one.
    if (count == 1 && cursor.X + 1 < width) {
        storeText(&at(cursor.X, cursor.Y), bytes, 1, attributes);
        cursor.X++;
        changed = true;
        return;
    }
    while (count > 0) {
        int x = cursor.X;
        DWORD piece = std::min<DWORD>(count, static_cast<DWORD>(width - x));
        ConsoleCell* cell = &at(x, cursor.Y);
        storeText(cell, bytes, piece, attributes);
        bytes += piece;
        count -= piece;
        if (x + static_cast<int>(piece) < width) {
            cursor.X = static_cast<SHORT>(x + piece);
        } else if (mode & ENABLE_WRAP_AT_EOL_OUTPUT) {
            cursor.X = 0;
            if (cursor.Y + 1 < height)
                cursor.Y++;
            else
                scrollUp();
        } else {
            // Without wrapping the cursor stays in the last column, and every
            // further byte overwrites that cell: the last one stays.
            cursor.X = static_cast<SHORT>(width - 1);
            if (count > 0) storeText(&cell[piece - 1], &bytes[count - 1], 1, attributes);
            count = 0;
        }
        changed = true;
    }
}

void ConsoleOutput::scrollUp() {
    std::rotate(rowStart.begin(), rowStart.begin() + 1, rowStart.end());
    fillSpan(height - 1, 0, width - 1, ConsoleCell{' ', attributes});
}

// Rows top..bottom take the storage of the rows dy above or below them.  The
// rows they came from that are not themselves overwritten keep their cells:
// each takes the storage of an overwritten row that no row moves into, and
// its cells are copied there.
void ConsoleOutput::moveRows(int top, int bottom, int dy) {
    previousStart = rowStart;
    for (int y = top; y <= bottom; y++) rowStart[y] = previousStart[y - dy];
    int vacated = dy < 0 ? std::max(top - dy, bottom + 1) : top - dy;
    int vacatedEnd = dy < 0 ? bottom - dy : std::min(bottom - dy, top - 1);
    int freed = dy < 0 ? top : std::max(top, bottom - dy + 1);
    for (; vacated <= vacatedEnd; vacated++, freed++) {
        rowStart[vacated] = previousStart[freed];
        std::memcpy(&cells[rowStart[vacated]], &cells[previousStart[vacated]], width * sizeof(ConsoleCell));
    }
}

void ConsoleOutput::fillSpan(int y, int from, int to, ConsoleCell fill) {
    if (from <= to) std::fill(&at(from, y), &at(to, y) + 1, fill);
}

bool ConsoleOutput::clipToBuffer(SMALL_RECT& rect) const {
    rect.Left = std::max<SHORT>(rect.Left, 0);
    rect.Top = std::max<SHORT>(rect.Top, 0);
    rect.Right = std::min<SHORT>(rect.Right, static_cast<SHORT>(width - 1));
    rect.Bottom = std::min<SHORT>(rect.Bottom, static_cast<SHORT>(height - 1));
    return rect.Left <= rect.Right && rect.Top <= rect.Bottom;
}

// Rows are copied in the order that reads every source row before it is
// overwritten, each with memmove, so overlapping rectangles move correctly.
bool ConsoleOutput::scrollRectangle(SMALL_RECT scroll, const SMALL_RECT* clip, COORD destination,
                                    ConsoleCell fill) {
    SMALL_RECT wanted = scroll;
    if (!clipToBuffer(scroll)) return false;
    int dx = destination.X + (scroll.Left - wanted.Left) - scroll.Left;
    int dy = destination.Y + (scroll.Top - wanted.Top) - scroll.Top;
    SMALL_RECT limit = clip != nullptr ? *clip : SMALL_RECT{0, 0, SHRT_MAX, SHRT_MAX};
    if (!clipToBuffer(limit)) return true;
    // The destination rectangle as far as the clip lets it change.
    int left = std::max<int>(scroll.Left + dx, limit.Left);
    int right = std::min<int>(scroll.Right + dx, limit.Right);
    int top = std::max<int>(scroll.Top + dy, limit.Top);
    int bottom = std::min<int>(scroll.Bottom + dy, limit.Bottom);
    if (left == 0 && right == width - 1 && dx == 0 && top <= bottom) {
        moveRows(top, bottom, dy);
    } else if (left <= right && top <= bottom) {
        int step = dy > 0 ? -1 : 1;
        for (int y = dy > 0 ? bottom : top; y >= top && y <= bottom; y += step)
            std::memmove(&at(left, y), &at(left - dx, y - dy), (right - left + 1) * sizeof(ConsoleCell));
    }
    // What the move uncovered and nothing covered again.
    for (int y = std::max(scroll.Top, limit.Top); y <= std::min(scroll.Bottom, limit.Bottom); y++) {
        int from = std::max(scroll.Left, limit.Left);
        int to = std::min(scroll.Right, limit.Right);
        if (y - dy < scroll.Top || y - dy > scroll.Bottom) {
            fillSpan(y, from, to, fill);
        } else {
            fillSpan(y, from, std::min(to, scroll.Left + dx - 1), fill);
            fillSpan(y, std::max(from, scroll.Right + dx + 1), to, fill);
        }
    }
    changed = true;
    return true;
}

void ConsoleOutput::resize(int columns, int rows) {
    ConsoleOutput resized(columns, rows);
    for (int y = 0; y < std::min(rows, height); y++)
        std::copy_n(&at(0, y), std::min(columns, width), &resized.at(0, y));
    width = columns;
    height = rows;
    cells.swap(resized.cells);
    rowStart.swap(resized.rowStart);
    cursor = COORD{static_cast<SHORT>(std::min<int>(cursor.X, columns - 1)),
                   static_cast<SHORT>(std::min<int>(cursor.Y, rows - 1))};
    changed = true;
}

bool ConsoleOutput::moveCursor(COORD position) {
    if (position.X < 0 || position.Y < 0 || position.X >= width || position.Y >= height)
        return false;
    cursor = position;
    changed = true;
    return true;
}

HANDLE GetStdHandle(DWORD which) {
    if (which == STD_OUTPUT_HANDLE) {
        if (standardOutput == nullptr) standardOutput = &processConsoleOutput();
        return standardOutput;
    }
    if (which == STD_INPUT_HANDLE) {
        if (standardInput == nullptr) standardInput = &processConsoleInput();
        return standardInput;
    }
    return nullptr;
}

BOOL SetStdHandle(DWORD which, HANDLE handle) {
    if (which == STD_OUTPUT_HANDLE && (handle == nullptr || outputOf(handle) != nullptr)) {
        standardOutput = handle;
        return TRUE;
    }
    if (which == STD_INPUT_HANDLE && (handle == nullptr || inputOf(handle) != nullptr)) {
        standardInput = handle;
        return TRUE;
    }
    return FALSE;
}

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
    if (mode == nullptr) return FALSE;
    if (ConsoleOutput* output = outputOf(console)) {
        *mode = output->mode;
        return TRUE;
    }
    if (ConsoleInput* input = inputOf(console)) {
        *mode = input->mode;
        return TRUE;
    }
    return FALSE;
}

BOOL SetConsoleMode(HANDLE console, DWORD mode) {
    if (ConsoleOutput* output = outputOf(console)) {
        output->mode = mode;
        return TRUE;
    }
    ConsoleInput* input = inputOf(console);
    if (input == nullptr) return FALSE;
    input->mode = mode;
    // Setting the input mode is how a program takes the console's keys as
    // events; on a terminal that means raw input from now on.
    if (input == &processConsoleInput()) takeTerminalInput(mode & ENABLE_PROCESSED_INPUT);
    return TRUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
    ConsoleOutput* output = outputOf(console);
    if (output == nullptr || info == nullptr) return FALSE;
    SHORT width = static_cast<SHORT>(output->columns());
    SHORT height = static_cast<SHORT>(output->rows());
    info->dwSize = COORD{width, height};
    info->dwCursorPosition = output->cursor;
    info->wAttributes = output->attributes;
    info->srWindow = SMALL_RECT{0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
    info->dwMaximumWindowSize = COORD{width, height};
    return TRUE;
}

BOOL GetConsoleCursorInfo(HANDLE console, CONSOLE_CURSOR_INFO* info) {
    ConsoleOutput* output = outputOf(console);
    if (output == nullptr || info == nullptr) return FALSE;
    *info = output->cursorInfo;
    return TRUE;
}

BOOL SetConsoleCursorInfo(HANDLE console, const CONSOLE_CURSOR_INFO* info) {
    ConsoleOutput* output = outputOf(console);
    if (output == nullptr || info == nullptr) return FALSE;
    if (info->dwSize < MIN_CURSOR_SIZE || info->dwSize > MAX_CURSOR_SIZE) return FALSE;
    output->cursorInfo = *info;
    output->changed = true;
    return TRUE;
}

BOOL SetConsoleCursorPosition(HANDLE console, COORD position) {
    ConsoleOutput* output = outputOf(console);
    return output != nullptr && output->moveCursor(position) ? TRUE : FALSE;
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) {
    ConsoleOutput* output = outputOf(console);
    if (output == nullptr) return FALSE;
    output->attributes = attributes;
    return TRUE;
}

BOOL ScrollConsoleScreenBufferA(HANDLE console, const SMALL_RECT* scroll, const SMALL_RECT* clip,
                                COORD destination, const CHAR_INFO* fill) {
    ConsoleOutput* output = outputOf(console);
    if (output == nullptr || scroll == nullptr || fill == nullptr) return FALSE;
    ConsoleCell blank{static_cast<unsigned char>(fill->Char.AsciiChar), fill->Attributes};
    return output->scrollRectangle(*scroll, clip, destination, blank) ? TRUE : FALSE;
}

BOOL WriteConsoleA(HANDLE console, const void* buffer, DWORD count, LPDWORD written, void*) {
    ConsoleOutput* output = outputOf(console);
    if (output == nullptr || (buffer == nullptr && count > 0)) return FALSE;
    output->writeText(static_cast<const char*>(buffer), count);
    if (written != nullptr) *written = count;
    return TRUE;
}
