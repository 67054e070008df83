#include "recording_adapter.h"

#include <cstdio>
#include <cstring>

#include "terminal/terminal.h"

RecordingAdapter::RecordingAdapter(int rowCount, int columnCount) {
    rows = static_cast<int16_t>(rowCount);
    columns = static_cast<int16_t>(columnCount);
    grid.assign(static_cast<size_t>(rowCount) * columnCount, 0x0720);
}

const char* RecordingAdapter::name() { return "Recording Adapter"; }

// Callers test logging first, so that a run without the log builds no text.
void RecordingAdapter::record(const std::string& entry) { log.push_back(entry); }

void RecordingAdapter::setAttribute(int attr) {
    Adapter::setAttribute(attr);
    if (logging) record("setAttribute " + std::to_string(attr));
}

void RecordingAdapter::setCursor(int position) {
    if (position < 0 || position >= static_cast<int>(grid.size())) outOfRange++;
    cursorPosition = position;
    if (logging) record("setCursor " + std::to_string(position));
}

void RecordingAdapter::write(int position, const char* text, int count) {
    writeCalls++;
    if (logging)
        record("write " + std::to_string(position) + " " + std::string(text, count > 0 ? count : 0));
    for (int i = 0; i < count; i++) {
        int p = position + i;
        if (p < 0 || p >= static_cast<int>(grid.size())) {
            outOfRange++;
            continue;
        }
        grid[p] = static_cast<Cell>(((attribute_ & 0xFF) << 8) | static_cast<unsigned char>(text[i]));
    }
    if (count > 0) cursorPosition = position + count;
}

void RecordingAdapter::fill(int position, char ch, int count) {
    fillCalls++;
    if (logging)
        record("fill " + std::to_string(position) + " " +
               std::to_string(static_cast<unsigned char>(ch)) + " " + std::to_string(count));
    for (int i = 0; i < count; i++) {
        int p = position + i;
        if (p < 0 || p >= static_cast<int>(grid.size())) {
            outOfRange++;
            continue;
        }
        grid[p] = static_cast<Cell>(((attribute_ & 0xFF) << 8) | static_cast<unsigned char>(ch));
    }
    if (count > 0) cursorPosition = position + count;
}

int RecordingAdapter::moveBlock(int source, int destination, int count) {
    if (!blockMoves) return 0;
    moveCalls++;
    if (logging)
        record("moveBlock " + std::to_string(source) + " " + std::to_string(destination) + " " +
               std::to_string(count));
    int size = static_cast<int>(grid.size());
    if (count < 0 || source < 0 || destination < 0 || source > size - count || destination > size - count) {
        outOfRange++;
        return 1;
    }
    std::memmove(&grid[destination], &grid[source], count * sizeof(Cell));
    return 1;
}

int RecordingAdapter::keyReady() { return keys.empty() ? 0 : 1; }

int RecordingAdapter::readKey() {
    if (keys.empty()) throw NoMoreKeys();
    ScriptedKey key = keys.front();
    keys.pop_front();
    if (key.setsState) keyState_ = key.state;
    if (logging) record("readKey " + std::to_string(key.code));
    return key.code;
}

void RecordingAdapter::hideCursor() {
    cursorVisible = false;
    cursorBlock = false;
    if (logging) record("hideCursor");
}

void RecordingAdapter::showCursor() {
    cursorVisible = true;
    cursorBlock = false;
    if (logging) record("showCursor");
}

void RecordingAdapter::blockCursor() {
    cursorBlock = true;
    if (logging) record("blockCursor");
}

void RecordingAdapter::normalCursor() {
    cursorBlock = false;
    if (logging) record("normalCursor");
}

void RecordingAdapter::pushKey(int code) { keys.push_back({code, false, 0}); }

void RecordingAdapter::pushKey(int code, unsigned state) { keys.push_back({code, true, state}); }

void RecordingAdapter::pushText(const std::string& text) {
    for (unsigned char c : text) pushKey(c);
}

std::string RecordingAdapter::rowText(int row) const {
    std::string text;
    for (int c = 0; c < columns; c++) text += static_cast<char>(charAt(row * columns + c));
    return text;
}

::testing::AssertionResult cellsMatch(const Terminal& terminal, const RecordingAdapter& adapter) {
    const Screen* screen = terminal.currentScreen;
    if (screen == nullptr) return ::testing::AssertionSuccess();
    if (adapter.outOfRange != 0)
        return ::testing::AssertionFailure() << adapter.outOfRange << " adapter accesses out of range";
    for (int i = 0; i < terminal.cellCount; i++) {
        if (adapter.grid[i] != screen->cells[i]) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "cell %d (row %d, column %d): console shows %04x, screen holds %04x", i,
                          i / terminal.cols, i % terminal.cols, adapter.grid[i], screen->cells[i]);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}
