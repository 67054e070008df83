#include "terminal_harness.h"

#include <algorithm>
#include <cstring>

RecordingAdapter::RecordingAdapter(int rowCount, int columnCount) {
    rows = static_cast<int16_t>(rowCount);
    columns = static_cast<int16_t>(columnCount);
    grid.assign(static_cast<size_t>(rowCount) * columnCount, 0x0720);
}

// Text advances through its bytes (step 1), a fill repeats its one (step 0).
void RecordingAdapter::draw(const char* call, int position, const char* text, int step, int count) {
    std::string what = step ? std::string(text, std::max(count, 0))
                            : std::to_string(static_cast<unsigned char>(*text)) + " " + std::to_string(count);
    note(call, position, what);
    for (int i = 0; i < count; i++) {
        if (position + i < 0 || position + i >= static_cast<int>(grid.size()))
            outOfRange++;
        else
            grid[position + i] = static_cast<Cell>((attribute_ & 0xFF) << 8 | static_cast<unsigned char>(text[i * step]));
    }
    if (count > 0) cursorPosition = position + count;
}

int RecordingAdapter::moveBlock(int source, int destination, int count) {
    if (!blockMoves) return 0;
    moveCalls++;
    note("moveBlock", source, std::to_string(destination) + " " + std::to_string(count));
    int size = static_cast<int>(grid.size());
    if (count < 0 || std::min(source, destination) < 0 || std::max(source, destination) > size - count)
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
    if (key.size) {
        rows = static_cast<int16_t>(key.size->first);
        columns = static_cast<int16_t>(key.size->second);
        grid.assign(static_cast<size_t>(rows) * columns, 0x0720);
    }
    note("readKey", key.code);
    return key.code;
}

std::string RecordingAdapter::rowText(int row) const {
    std::string text;
    for (int c = 0; c < columns; c++) text += static_cast<char>(grid[row * columns + c] & 0xFF);
    return text;
}

int ScriptedDevice::open(int session, const char* termType, int rows, int columns) {
    calls.push_back("open " + std::to_string(session));
    opened = std::string(termType) + " " + std::to_string(rows) + "x" + std::to_string(columns);
    int result = openResults.empty() ? 0 : openResults.front();
    if (!openResults.empty()) openResults.pop_front();
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
    auto& [bytes, result] = script.front();
    int n = result < 0 ? result : std::min(static_cast<int>(bytes.size()), max);
    if (n > 0) std::memcpy(buffer, bytes.data(), n);
    bytes.erase(0, std::max(n, 0));
    if (bytes.empty()) script.pop_front();
    return n;
}

int ScriptedDevice::write(const char* bytes, int count) {
    written.append(bytes, count);
    return writeLimit >= 0 && writeLimit < count ? writeLimit : count;
}

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
    const Screen* s = TerminalHarness::shown(terminal);
    if (s == nullptr) return ::testing::AssertionSuccess();
    int cells = s->rows * s->cols;
    auto first = std::mismatch(s->cells.begin(), s->cells.begin() + cells, adapter.grid.begin());
    if (adapter.outOfRange != 0) return ::testing::AssertionFailure() << adapter.outOfRange << " cells drawn outside";
    if (first.first != s->cells.begin() + cells)
        return ::testing::AssertionFailure() << "cell " << first.first - s->cells.begin() << ": console shows " << std::hex
                                             << *first.second << ", screen holds " << *first.first;
    if (adapter.cursorVisible != (s->cursorShown > 0) || adapter.attribute_ != s->sentAttr ||
        std::min(adapter.cursorPosition, cells - 1) != std::min(s->cursor, cells - 1))
        return ::testing::AssertionFailure() << "the console's cursor or attribute is not the screen's";
    return ::testing::AssertionSuccess();
}
