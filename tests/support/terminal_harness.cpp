#include "terminal_harness.h"

#include <algorithm>
#include <cstring>

RecordingAdapter::RecordingAdapter(int rowCount, int columnCount) {
    rows = static_cast<int16_t>(rowCount);
    columns = static_cast<int16_t>(columnCount);
    grid.assign(static_cast<size_t>(rowCount) * columnCount, 0x0720);
}

void RecordingAdapter::setAttribute(int attr) {
    Adapter::setAttribute(attr);
    note("setAttribute " + std::to_string(attr));
}

void RecordingAdapter::setCursor(int position) {
    if (position < 0 || position >= static_cast<int>(grid.size())) outOfRange++;
    cursorPosition = position;
    note("setCursor " + std::to_string(position));
}

// Text advances through its bytes (step 1), a fill repeats its one byte (step 0).
void RecordingAdapter::draw(int position, const char* text, int step, int count) {
    for (int i = 0; i < count; i++) {
        int p = position + i;
        if (p < 0 || p >= static_cast<int>(grid.size()))
            outOfRange++;
        else
            grid[p] = static_cast<Cell>(((attribute_ & 0xFF) << 8) | static_cast<unsigned char>(text[i * step]));
    }
    if (count > 0) cursorPosition = position + count;
}

void RecordingAdapter::write(int position, const char* text, int count) {
    note("write " + std::to_string(position) + " " + std::string(text, std::max(count, 0)));
    draw(position, text, 1, count);
}

void RecordingAdapter::fill(int position, char ch, int count) {
    fillCalls++;
    note("fill " + std::to_string(position) + " " + std::to_string(static_cast<unsigned char>(ch)) + " " +
         std::to_string(count));
    draw(position, &ch, 0, count);
}

int RecordingAdapter::moveBlock(int source, int destination, int count) {
    if (!blockMoves) return 0;
    moveCalls++;
    note("moveBlock " + std::to_string(source) + " " + std::to_string(destination) + " " + std::to_string(count));
    int size = static_cast<int>(grid.size());
    if (count < 0 || source < 0 || destination < 0 || source > size - count || destination > size - count)
        outOfRange++;
    else
        std::memmove(&grid[destination], &grid[source], count * sizeof(Cell));
    return 1;
}

int RecordingAdapter::readKey() {
    if (keys.empty()) throw NoMoreKeys();
    Key key = keys.front();
    keys.pop_front();
    keyState_ = key.state.value_or(keyState_);
    note("readKey " + std::to_string(key.code));
    return key.code;
}

void RecordingAdapter::cursor(bool visible, bool block, const char* call) {
    cursorVisible = visible;
    cursorBlock = block;
    note(call);
}

std::string RecordingAdapter::rowText(int row) const {
    std::string text;
    for (int c = 0; c < columns; c++) text += static_cast<char>(grid[row * columns + c] & 0xFF);
    return text;
}

int ScriptedDevice::open(int session, const char* termType, int rows, int columns) {
    calls.push_back("open " + std::to_string(session));
    current = session;
    opened = termType + (" " + std::to_string(rows)) + "x" + std::to_string(columns);
    int result = 0;
    if (!openResults.empty()) {
        result = openResults.front();
        openResults.pop_front();
    }
    connected[session] = result == 0;
    return result;
}

void ScriptedDevice::close(int session) {
    calls.push_back("close " + std::to_string(session));
    connected[session] = false;
}

int ScriptedDevice::read(char* buffer, int max) {
    reads++;
    if (script.empty()) return 0;
    Chunk& chunk = script.front();
    int n = chunk.result < 0 ? chunk.result : std::min(static_cast<int>(chunk.bytes.size()), max);
    if (n > 0) std::memcpy(buffer, chunk.bytes.data(), n);
    chunk.bytes.erase(0, std::max(n, 0));
    if (chunk.bytes.empty()) script.pop_front();
    return n;
}

int ScriptedDevice::write(const char* bytes, int count) {
    written[current].append(bytes, count);
    return writeLimit >= 0 && writeLimit < count ? writeLimit : count;
}

TerminalHarness::TerminalHarness(Emulation emulation, int consoleRows, int consoleCols, int selectPrinter,
                                 int doubleBuffer, Device* otherDevice)
    : adapter(consoleRows, consoleCols),
      terminal(&adapter, otherDevice != nullptr ? otherDevice : &device, emulation, selectPrinter, doubleBuffer) {}

std::string TerminalHarness::row(int r, const Screen* of) const {
    const Screen& s = of != nullptr ? *of : screen();
    std::string text;
    for (int c = 0; c < s.cols; c++) text += static_cast<char>(s.cells[r * s.cols + c] & 0xFF);
    return text;
}

std::string TerminalHarness::takeReplies() {
    std::string bytes;
    while (screen().keysQueued()) bytes += static_cast<char>(screen().takeKey());
    return bytes;
}

::testing::AssertionResult cellsMatch(const Terminal& terminal, const RecordingAdapter& adapter) {
    const Screen* screen = TerminalHarness::shown(terminal);
    if (screen == nullptr) return ::testing::AssertionSuccess();
    if (adapter.outOfRange != 0)
        return ::testing::AssertionFailure() << adapter.outOfRange << " adapter accesses out of range";
    for (int i = 0; i < screen->rows * screen->cols; i++) {
        if (adapter.grid[i] != screen->cells[i])
            return ::testing::AssertionFailure() << "cell " << i / screen->cols << "," << i % screen->cols
                                                 << ": console shows " << std::hex << adapter.grid[i]
                                                 << ", screen holds " << screen->cells[i];
    }
    return ::testing::AssertionSuccess();
}
