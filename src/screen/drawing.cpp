// The attribute and cursor operations of the current screen, and its
// write-through editing operations: each changes the cells and draws the
// same change on the console at once.  Positions and
// counts may come straight from a host, so every operation keeps itself
// inside the visible cells: the part of a request that lies outside the
// screen is cut off, and a request with nothing left is ignored.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#include "terminal/terminal.h"

namespace {

constexpr int BLINK_BIT = 0x80;
constexpr int BOLD_BIT = 0x08;

// Moved blocks are drawn in runs of at most this many cells.
constexpr int PAINT_RUN_LIMIT = 80;
constexpr int SPACE = ' ';
constexpr Cell CHARACTER_MASK = 0x00FF;
constexpr Cell ATTRIBUTE_MASK = 0xFF00;
// Runs are measured four cells to a 64-bit word.
constexpr int CELL_BITS = 16;
constexpr int CELLS_PER_WORD = 4;
constexpr uint64_t CELLS_IN_WORD_ONES = 0x0001000100010001ULL;
constexpr uint64_t WORD_ATTRIBUTE_MASK = ATTRIBUTE_MASK * CELLS_IN_WORD_ONES;

// The part of the cells [start, start + count) that lies in [0, limit).
struct Span {
    int start;
    int count;
};

Span clip(int64_t start, int64_t count, int64_t limit) {
    int64_t end = start + count;
    start = std::max<int64_t>(start, 0);
    end = std::min(end, limit);
    if (end <= start) return {0, 0};
    return {static_cast<int>(start), static_cast<int>(end - start)};
}

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The scrolling region cut to the screen; false when nothing of it is left
// (its bottom above its top).
bool scrollRegion(const Screen& s, int rows, int& top, int& bottom) {
    top = std::max(s.scrollTop, 0);
    bottom = std::min(s.scrollBottom, rows - 1);
    return top <= bottom;
}

// Where an insertion or deletion of n cells at an offset from the start of
// the cursor row acts: [start, end), with n cut to what fits.  The row below
// the screen that a cursor just past the last cell stands on is never drawn,
// so nothing acts there.
struct EditSpan {
    int start;
    int end;
    int count;
};

EditSpan editSpan(int cursor, int offset, int n, int lineOnly, int rows, int cols) {
    int64_t cellCount = static_cast<int64_t>(rows) * cols;
    int64_t rowStart = static_cast<int64_t>(std::clamp(cursor / cols, 0, rows)) * cols;
    int64_t end = std::min(lineOnly ? rowStart + cols : cellCount, cellCount);
    int64_t start = std::clamp(rowStart + offset, std::min(rowStart, end), end);
    int64_t count = std::clamp<int64_t>(n, 0, end - start);
    return {static_cast<int>(start), static_cast<int>(end), static_cast<int>(count)};
}

// The number of cells, at most limit, that share the first one's attribute.
// A scroll paints every row of the region, so four cells are compared at
// once, as one 64-bit word; the first cell that differs is found from the
// position of the lowest differing bit in memory order.
int attributeRun(const Cell* cells, int limit) {
    const Cell attr = cells[0] & ATTRIBUTE_MASK;
    const uint64_t pattern = attr * CELLS_IN_WORD_ONES;
    int length = 0;
    for (; length + CELLS_PER_WORD <= limit; length += CELLS_PER_WORD) {
        uint64_t word;
        std::memcpy(&word, cells + length, sizeof word);
        uint64_t differ = (word ^ pattern) & WORD_ATTRIBUTE_MASK;
        if (differ != 0) {
            int bit = std::endian::native == std::endian::little ? std::countr_zero(differ)
                                                                 : std::countl_zero(differ);
            return length + bit / CELL_BITS;
        }
    }
    while (length < limit && (cells[length] & ATTRIBUTE_MASK) == attr) length++;
    return length;
}

}  // namespace

void Terminal::computeAttribute() {
    Screen* s = currentScreen;
    if (s == nullptr) return;
    // Reverse video draws the last selected colours exchanged.
    int attr = (s->attrFlags & ATTR_REVERSE) ? (s->colorFg & 7) * 16 + (s->colorBg & 7)
                                             : (s->normalBg & 7) * 16 + (s->normalFg & 7);
    if (s->attrFlags & ATTR_BLINK) attr |= BLINK_BIT;
    if (s->attrFlags & ATTR_BOLD) attr |= BOLD_BIT;
    s->currentAttr = attr;
}

// Colour changes reach the console only when something is drawn with them.
void Terminal::syncAttribute() {
    Screen* s = currentScreen;
    if (s == nullptr || s->currentAttr == s->sentAttr) return;
    s->sentAttr = s->currentAttr;
    adapter->setAttribute(s->sentAttr);
}

// A cursor just past the last cell shows on the last cell.
void Terminal::placeCursor() {
    Screen* s = currentScreen;
    if (s == nullptr) return;
    int position = s->cursor;
    if (position >= cellCount) position = cellCount - 1;
    if (position < 0) position = 0;
    adapter->setCursor(position);
}

// Hiding and showing nest, so a burst of drawing hides the console cursor
// once at its start and shows it once at its end.  The host moves the count
// too; it stops at the ends of its range instead of overflowing.
void Terminal::cursorOff() {
    Screen* s = currentScreen;
    if (s == nullptr || s->cursorShown == std::numeric_limits<int32_t>::min()) return;
    if (--s->cursorShown == 0) adapter->hideCursor();
}

void Terminal::cursorOn() {
    Screen* s = currentScreen;
    if (s == nullptr || s->cursorShown == std::numeric_limits<int32_t>::max()) return;
    if (++s->cursorShown == 1) adapter->showCursor();
}

void Terminal::fillCells(int position, int character, int n) {
    Screen* s = currentScreen;
    Span span = clip(position, n, cellCount);
    if (s == nullptr || span.count == 0) return;
    cursorOff();
    // The adapter fills in its current attribute, which outside paintCells
    // is sentAttr, the attribute the stored cells receive.
    adapter->fill(span.start, static_cast<char>(character), span.count);
    int cursor = s->cursor;
    s->cursor = span.start;
    s->storeCells(character, span.count);
    s->cursor = cursor;
    cursorOn();
}

void Terminal::eraseBlock(int row, int column, int lines, int count) {
    if (currentScreen == nullptr || lines <= 0 || count <= 0) return;
    // Only the rows whose cells reach into the screen are visited, so a
    // hostile number of lines costs nothing.
    int64_t base = static_cast<int64_t>(row) * cols + column;
    int64_t first = std::max<int64_t>(0, floorDiv(-static_cast<int64_t>(count) - base, cols) + 1);
    int64_t last = std::min<int64_t>(lines - 1, floorDiv(cellCount - 1 - base, cols));
    cursorOff();
    for (int64_t i = first; i <= last; i++)
        fillCells(static_cast<int>(base + i * cols), SPACE, count);
    cursorOn();
}

void Terminal::paintCells(int position, int n, const Cell* source) {
    Screen* s = currentScreen;
    Span span = clip(position, n, cellCount);
    if (s == nullptr || source == nullptr || span.count == 0) return;
    source += span.start - static_cast<int64_t>(position);
    cursorOff();
    char text[PAINT_RUN_LIMIT];
    for (int i = 0; i < span.count;) {
        int length = attributeRun(source + i, std::min(PAINT_RUN_LIMIT, span.count - i));
        for (int k = 0; k < length; k++) text[k] = static_cast<char>(source[i + k] & CHARACTER_MASK);
        adapter->setAttribute(source[i] >> 8);
        adapter->write(span.start + i, text, length);
        i += length;
    }
    // The source may be the screen's own cells.
    std::memmove(&s->cells[span.start], source, span.count * sizeof(Cell));
    adapter->setAttribute(s->sentAttr);
    cursorOn();
}

// For a repaint the block is copied aside first, so overlapping moves work
// both ways.
void Terminal::moveCells(int source, int destination, int n) {
    Screen* s = currentScreen;
    if (s == nullptr || n <= 0) return;
    // Only the cells whose source and destination both lie on the screen move.
    int64_t from = source;
    int64_t to = destination;
    int64_t lo = std::max<int64_t>({0, -from, -to});
    int64_t hi = std::min<int64_t>({n, cellCount - from, cellCount - to});
    if (hi <= lo) return;
    int count = static_cast<int>(hi - lo);
    cursorOff();
    // A console that moves the block itself is spared the repaint; the
    // screen's cells move the same way.
    if (adapter->moveBlock(static_cast<int>(from + lo), static_cast<int>(to + lo), count)) {
        std::memmove(&s->cells[to + lo], &s->cells[from + lo], count * sizeof(Cell));
    } else {
        std::copy_n(&s->cells[from + lo], count, scratchCells.begin());
        paintCells(static_cast<int>(to + lo), count, scratchCells.data());
    }
    cursorOn();
}

void Terminal::scrollUp(int n) {
    Screen* s = currentScreen;
    if (s == nullptr || n <= 0) return;
    // Scroll Lock holds the output here; the keys typed meanwhile still act.
    // A key that shows another session leaves this scroll undone: the
    // screen it was for is no longer the one drawn.
    while (s->modes & MODE_HOLD) {
        dispatchKey();
        if (currentScreen != s) return;
    }
    int top;
    int bottom;
    if (!scrollRegion(*s, rows, top, bottom)) return;
    n = std::min(n, bottom - top + 1);
    cursorOff();
    moveCells((top + n) * cols, top * cols, (bottom - top - n + 1) * cols);
    eraseBlock(bottom - n + 1, 0, n, cols);
    cursorOn();
}

void Terminal::scrollDown(int n) {
    Screen* s = currentScreen;
    int top;
    int bottom;
    if (s == nullptr || n <= 0 || !scrollRegion(*s, rows, top, bottom)) return;
    n = std::min(n, bottom - top + 1);
    cursorOff();
    moveCells(top * cols, (top + n) * cols, (bottom - top - n + 1) * cols);
    eraseBlock(top, 0, n, cols);
    cursorOn();
}

void Terminal::deleteCells(int offset, int n, int lineOnly) {
    Screen* s = currentScreen;
    if (s == nullptr) return;
    EditSpan e = editSpan(s->cursor, offset, n, lineOnly, rows, cols);
    if (e.count == 0) return;
    cursorOff();
    moveCells(e.start + e.count, e.start, e.end - e.start - e.count);
    fillCells(e.end - e.count, SPACE, e.count);
    cursorOn();
}

void Terminal::insertCells(int offset, int n, int lineOnly) {
    Screen* s = currentScreen;
    if (s == nullptr) return;
    EditSpan e = editSpan(s->cursor, offset, n, lineOnly, rows, cols);
    if (e.count == 0) return;
    cursorOff();
    moveCells(e.start, e.start + e.count, e.end - e.start - e.count);
    fillCells(e.start, SPACE, e.count);
    cursorOn();
}

// Erases in the attribute last sent, then resets the renditions as SGR 0
// does and the parser as a new screen has it.
void Terminal::clearScreen() {
    Screen* s = currentScreen;
    if (s == nullptr) return;
    eraseBlock(0, 0, rows, cols);
    s->cursor = 0;
    s->normalBg = s->defaultBg;
    s->normalFg = s->defaultFg;
    s->attrFlags &= ~(ATTR_REVERSE | ATTR_BLINK | ATTR_BOLD);
    computeAttribute();
    s->resetParser();
    placeCursor();
}
