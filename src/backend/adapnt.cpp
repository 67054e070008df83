#include "backend/adapnt.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// Control keys come as key events, nothing is echoed, no mouse events.
constexpr DWORD CLEARED_INPUT_MODES = ENABLE_PROCESSED_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT;
constexpr int FILL_BUFFER_SIZE = 80;
constexpr DWORD BLOCK_CURSOR_SIZE = 100;
constexpr int BRIGHT = 0x08;

// Console colour bits of each colour number: the same bit order, so each
// number shows as the console colour of that number.
constexpr WORD FOREGROUND_BITS[8] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
constexpr WORD BACKGROUND_BITS[8] = {0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70};

char nameText[80];

WORD consoleAttributes(int attr) {
    WORD bits = BACKGROUND_BITS[(attr >> 4) & 7] | FOREGROUND_BITS[attr & 7];
    if (attr & BRIGHT) bits |= FOREGROUND_INTENSITY;
    return bits;
}

const char* layoutName(int keyboardCode) {
    switch (keyboardCode) {
    case KEYBOARD_AMERICAN: return "American";
    case KEYBOARD_ITALIAN: return "Italian";
    default: return "Unknown";
    }
}

}  // namespace

AdapNT::AdapNT(int keyboardCode, int forceNumpad)
    : keyboardCode(chooseKeyboardCode(keyboardCode)),
      forceNumpad(forceNumpad),
      outputHandle(GetStdHandle(STD_OUTPUT_HANDLE)),
      inputHandle(GetStdHandle(STD_INPUT_HANDLE)) {
    GetConsoleCursorInfo(outputHandle, &cursorInfo);
    takeConsoleSize();
    pendingKey = 0;
    // Writing the last column of a row must not wrap or scroll.
    GetConsoleMode(outputHandle, &savedOutputMode);
    SetConsoleMode(outputHandle, savedOutputMode & ~ENABLE_WRAP_AT_EOL_OUTPUT);
    GetConsoleMode(inputHandle, &savedInputMode);
    // The console reports a change of its size as an input event.
    SetConsoleMode(inputHandle, (savedInputMode & ~CLEARED_INPUT_MODES) | ENABLE_WINDOW_INPUT);
    // A console that receives characters, not keys, finds the key for a
    // character by reading this adapter's tables backwards.
    setConsoleKeyTranslation(inputHandle, [this](WORD virtualKey, DWORD controlKeyState) {
        return keyCode(virtualKey, 0, keyStateFor(controlKeyState));
    });
    showCursor();
}

AdapNT::~AdapNT() {
    setConsoleKeyTranslation(inputHandle, {});
    SetConsoleMode(outputHandle, savedOutputMode);
    SetConsoleMode(inputHandle, savedInputMode);
    showCursor();
}

bool AdapNT::takeConsoleSize() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(outputHandle, &info)) return false;
    bool changed = info.dwSize.X != columns || info.dwSize.Y != rows;
    columns = info.dwSize.X;
    rows = info.dwSize.Y;
    return changed;
}

const char* AdapNT::name() {
    std::snprintf(nameText, sizeof nameText, "WIN32 Console $Revision: 1.8 $ Keyboard %s (%d)",
                  layoutName(keyboardCode), keyboardCode);
    return nameText;
}

void AdapNT::setAttribute(int attr) {
    if (attr == attribute_) return;
    attribute_ = attr;
    SetConsoleTextAttribute(outputHandle, consoleAttributes(attr));
}

void AdapNT::setCursor(int position) {
    int column = position % columns;
    int row = position / columns;
    // Beyond what a console coordinate holds the console would refuse it anyway.
    if (row > SHRT_MAX || row < SHRT_MIN) return;
    SetConsoleCursorPosition(outputHandle, COORD{static_cast<SHORT>(column), static_cast<SHORT>(row)});
}

void AdapNT::write(int position, const char* text, int count) { drawRows(position, count, text, 0); }

void AdapNT::fill(int position, char ch, int count) {
    // One cell, which every printed character is, never crosses a row.
    if (count == 1) {
        setCursor(position);
        DWORD written = 0;
        WriteConsoleA(outputHandle, &ch, 1, &written, nullptr);
        return;
    }
    drawRows(position, count, nullptr, ch);
}

// The console does not wrap: each row is written separately, from its first
// affected cell.  Without text, the cells are filled with ch from a buffer
// of repeated characters, in as many writes as a long row needs.
void AdapNT::drawRows(int position, int count, const char* text, char ch) {
    char repeated[FILL_BUFFER_SIZE];
    if (text == nullptr) std::memset(repeated, ch, sizeof repeated);
    DWORD written = 0;
    int width = columns;
    while (count > 0) {
        setCursor(position);
        int n = std::min(width - position % width, count);
        if (text != nullptr) {
            WriteConsoleA(outputHandle, text, static_cast<DWORD>(n), &written, nullptr);
            text += n;
        } else {
            for (int left = n; left > 0; left -= FILL_BUFFER_SIZE)
                WriteConsoleA(outputHandle, repeated,
                              static_cast<DWORD>(std::min(left, FILL_BUFFER_SIZE)), &written, nullptr);
        }
        position += n;
        count -= n;
    }
}

// The console moves whole rows, or a piece of one row, as a rectangle; a
// block that wraps from row to row at other points is left to a repaint.
// Clipping to the destination keeps the cells the block leaves behind.
int AdapNT::moveBlock(int source, int destination, int count) {
    if (count <= 0) return 0;
    int width = columns;
    SMALL_RECT block;
    COORD origin;
    if (source % width == 0 && destination % width == 0 && count % width == 0) {
        block = SMALL_RECT{0, static_cast<SHORT>(source / width), static_cast<SHORT>(width - 1),
                           static_cast<SHORT>((source + count) / width - 1)};
        origin = COORD{0, static_cast<SHORT>(destination / width)};
    } else if (source / width == (source + count - 1) / width &&
               destination / width == (destination + count - 1) / width) {
        block = SMALL_RECT{static_cast<SHORT>(source % width), static_cast<SHORT>(source / width),
                           static_cast<SHORT>(source % width + count - 1),
                           static_cast<SHORT>(source / width)};
        origin = COORD{static_cast<SHORT>(destination % width), static_cast<SHORT>(destination / width)};
    } else {
        return 0;
    }
    SMALL_RECT clip{origin.X, origin.Y, static_cast<SHORT>(origin.X + block.Right - block.Left),
                    static_cast<SHORT>(origin.Y + block.Bottom - block.Top)};
    CHAR_INFO blank{};
    blank.Char.AsciiChar = ' ';
    blank.Attributes = consoleAttributes(attribute_);
    return ScrollConsoleScreenBufferA(outputHandle, &block, &clip, origin, &blank) ? 1 : 0;
}

void AdapNT::hideCursor() {
    cursorInfo.bVisible = FALSE;
    SetConsoleCursorInfo(outputHandle, &cursorInfo);
}

void AdapNT::showCursor() {
    cursorInfo.bVisible = TRUE;
    SetConsoleCursorInfo(outputHandle, &cursorInfo);
}

// A full-cell cursor for now; the stored shape comes back with the next
// hideCursor, showCursor or normalCursor.
void AdapNT::blockCursor() {
    CONSOLE_CURSOR_INFO block{BLOCK_CURSOR_SIZE, TRUE};
    SetConsoleCursorInfo(outputHandle, &block);
}

void AdapNT::normalCursor() { SetConsoleCursorInfo(outputHandle, &cursorInfo); }
