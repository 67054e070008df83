// The Screen record's own operations: construction, the parser reset, the
// cell store and the key queue; and the ANSI colour mapping.
#include "screen/screen.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// Colour number of each ANSI colour index (0 black, 1 red, 2 green, 3 yellow,
// 4 blue, 5 magenta, 6 cyan, 7 white).
constexpr int ANSI_COLORS[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// The most a key backlog holds: two pastes of the largest console.  Beyond
// it bytes are dropped, as a full ring drops them.
constexpr size_t KEY_BACKLOG_LIMIT = 1 << 20;

void storeInRing(Screen& s, QueuedKey key) {
    s.keyQueue[s.keyQueueHead] = key.byte;
    s.keyContinues[s.keyQueueHead] = key.continuesPress;
    s.keyQueueHead = (s.keyQueueHead + 1) % KEY_QUEUE_SIZE;
}

// A position on a screen of rows x cols, with the row counted from the top
// of the screen after the first shift rows are dropped.
struct Place {
    int row;
    int column;
};

// Where a cursor stands; one just past the last cell (a character printed
// there) stands past the end of the last row.
Place placeOf(int cursor, int rows, int cols) {
    if (cursor >= rows * cols) return {rows - 1, cols};
    cursor = std::max(cursor, 0);
    return {cursor / cols, cursor % cols};
}

// The rows to drop from the top so that the row stays on a screen of newRows.
int shiftFor(Place place, int newRows) { return std::max(0, place.row - (newRows - 1)); }

// The cursor on the new screen: a column beyond it goes to its last one,
// except that the end of a row stays the end.
int movedCursor(Place place, int shift, int cols, int newRows, int newCols) {
    int row = std::clamp(place.row - shift, 0, newRows - 1);
    int column = std::min(place.column, place.column >= cols ? newCols : newCols - 1);
    return row * newCols + column;
}

// The cells of a screen (with spare rows below it) at a new size.
std::vector<Cell> movedCells(const std::vector<Cell>& cells, int rows, int cols, int newRows, int newCols,
                             int shift, int spareRows, Cell blank) {
    std::vector<Cell> moved(static_cast<size_t>(newRows + spareRows) * newCols, blank);
    int width = std::min(cols, newCols);
    for (int r = 0; r < newRows && r + shift < rows; r++) {
        auto from = cells.begin() + static_cast<ptrdiff_t>(r + shift) * cols;
        std::copy(from, from + width, moved.begin() + static_cast<ptrdiff_t>(r) * newCols);
    }
    return moved;
}

}  // namespace

int ansiToColor(int index) { return ANSI_COLORS[index & 7]; }

int colorToAnsi(int color) {
    for (int i = 0; i < 8; i++)
        if (ANSI_COLORS[i] == (color & 7)) return i;
    return 0;
}

Screen::Screen(int rowCount, int colCount)
    : rows(rowCount > 0 ? rowCount : 1), cols(colCount > 0 ? colCount : 1) {
    // One spare row below the screen, never shown.
    cells.assign(static_cast<size_t>(rows + 1) * cols, 0);
    statusText.assign(static_cast<size_t>(cols) + 1, '\0');
    resetParser();
}

// A print stream still open is closed by the Terminal before it destroys the
// screen, so only the owned arrays go here.
Screen::~Screen() = default;

void Screen::resetParser() {
    highBit = 0;
    scrollTop = 0;
    scrollBottom = rows - 1;
    state = GROUND_STATE;
    modes &= ~(MODE_GRAPHICS | MODE_WRAPPED | MODE_HOLD);
}

void Screen::resize(int newRows, int newCols) {
    newRows = std::max(newRows, 1);
    newCols = std::max(newCols, 1);
    const Cell blank = static_cast<Cell>(((defaultBg << 4) | defaultFg) << 8 | ' ');
    Place place = placeOf(cursor, rows, cols);
    int shift = shiftFor(place, newRows);
    cells = movedCells(cells, rows, cols, newRows, newCols, shift, 1, blank);
    cursor = movedCursor(place, shift, cols, newRows, newCols);
    savedCursor = movedCursor(placeOf(savedCursor, rows, cols), shift, cols, newRows, newCols);
    if (!printSavedCells.empty()) {
        Place saved = placeOf(printSavedCursor, rows, cols);
        int savedShift = shiftFor(saved, newRows);
        printSavedCells = movedCells(printSavedCells, rows, cols, newRows, newCols, savedShift, 0, blank);
        printSavedCursor = movedCursor(saved, savedShift, cols, newRows, newCols);
    }
    // The status text is cut to the new width, and stays terminated.
    statusText.resize(static_cast<size_t>(newCols) + 1, '\0');
    statusText.back() = '\0';
    rows = newRows;
    cols = newCols;
    scrollTop = 0;
    scrollBottom = rows - 1;
}

// Callers keep the cursor inside the screen; a store that would leave the
// cell array is cut there all the same.
void Screen::storeCells(int character, int n) {
    if (n <= 0) return;
    Cell cell = static_cast<Cell>(((sentAttr & 0xFF) << 8) | (character & 0xFF));
    int64_t first = std::max<int64_t>(cursor, 0);
    int64_t last = std::min<int64_t>(static_cast<int64_t>(cursor) + n, static_cast<int64_t>(cells.size()));
    if (first < last) std::fill(cells.begin() + first, cells.begin() + last, cell);
    cursor += n;
}

void Screen::queueKey(QueuedKey key, bool keep) {
    bool ringFull = (keyQueueHead + 1) % KEY_QUEUE_SIZE == keyQueueTail;
    if (keyBacklog.empty() && !ringFull)
        storeInRing(*this, key);
    else if ((keep || !keyBacklog.empty()) && keyBacklog.size() < KEY_BACKLOG_LIMIT)
        keyBacklog.push_back(key);
}

unsigned char Screen::takeKey() {
    unsigned char byte = keyQueue[keyQueueTail];
    keyQueueTail = (keyQueueTail + 1) % KEY_QUEUE_SIZE;
    if (!keyBacklog.empty()) {
        storeInRing(*this, keyBacklog.front());
        keyBacklog.pop_front();
    }
    return byte;
}

void Screen::dropRestOfKeyPress() {
    while (keysQueued() && keyContinues[keyQueueTail]) takeKey();
}

AttrState Screen::attrState() const {
    return {defaultBg, defaultFg, colorBg, colorFg, normalBg, normalFg, attrFlags};
}

void Screen::setAttrState(const AttrState& block) {
    defaultBg = block.defaultBg;
    defaultFg = block.defaultFg;
    colorBg = block.colorBg;
    colorFg = block.colorFg;
    normalBg = block.normalBg;
    normalFg = block.normalFg;
    attrFlags = block.attrFlags;
}
