// The dispatch of control sequences: cursor movement, erase, insertion and
// deletion, scrolling and the scrolling region.  Renditions, modes and the
// replies to the host are handed on to modes.cpp.
#include <algorithm>
#include <cstdint>

#include "terminal/terminal.h"

namespace {

constexpr int SPACE = ' ';
constexpr int MEDIA_COPY_PRINT = 5;

// A count from the host cut to what there is room for.
int atMost(int64_t count, int room) {
    return static_cast<int>(std::clamp<int64_t>(count, 0, std::max(room, 0)));
}

bool rowHolds(const Screen& s, int row, Cell cell) {
    const Cell* first = &s.cells[static_cast<size_t>(row) * s.cols];
    return std::all_of(first, first + s.cols, [cell](Cell c) { return c == cell; });
}

Cell makeCell(int character, int attr) {
    return static_cast<Cell>(((attr & 0xFF) << 8) | (character & 0xFF));
}

}  // namespace

void Terminal::stateCsi(int byte) {
    byte &= 0xFF;
    Screen& s = *currentScreen;
    if (s.introducer == ']') {
        collectTitle(byte);
        return;
    }
    if (collectParameter(byte)) return;
    finalCsi(byte);
}

void Terminal::finalCsi(int byte) {
    Screen& s = *currentScreen;
    // Every action starts from the position the cursor had when the final
    // arrived, and most of them leave the cursor there.
    const int row = s.cursor / cols;
    const int column = s.cursor % cols;
    const int64_t p0 = s.params[0];
    const int64_t p1 = s.params[1];
    const int64_t count = s.paramFresh ? 1 : p0;
    s.state = &Terminal::stateGround;
    switch (byte) {
    case '\'':  // HPA: column absolute
    case 'G':   // CHA
    case '`': moveCursor(row, column, row, p0 - 1); break;
    case 'A':  // CUU: cursor up
        s.modes &= ~MODE_WRAPPED;
        moveCursor(row, column, row - p0, column);
        break;
    case 'B':  // CUD: cursor down
    case 'e':  // VPR
        moveCursor(row, column, row + p0, column);
        break;
    case 'C':  // CUF: cursor forward
    case 'a':  // HPR
        moveCursor(row, column, row, column + p0);
        break;
    case 'D': moveCursor(row, column, row, column - p0); break;  // CUB: cursor back
    case 'E': moveCursor(row, column, row + p0, 0); break;       // CNL: next line
    case 'F': moveCursor(row, column, row - p0, 0); break;       // CPL: previous line
    case 'H':                                                    // CUP: cursor position
    case 'f':                                                    // HVP
        s.modes &= ~MODE_WRAPPED;
        moveCursor(row, column, p0 - 1, p1 - 1);
        break;
    case 'd': moveCursor(row, column, p0 - 1, column); break;  // VPA: row absolute
    case 's':                                                  // save the cursor
        s.savedCursor = s.cursor;
        finishSequence(row, column);
        break;
    case 'u': moveCursor(row, column, s.savedCursor / cols, s.savedCursor % cols); break;
    case 'J': eraseInDisplay(row, column); break;  // ED
    case 'K':                                      // EL
        eraseInLine(row, column);
        finishSequence(row, column);
        break;
    case '@':  // ICH: insert characters
        insertCells(column, atMost(count, cols - column), 1);
        finishSequence(row, column);
        break;
    case 'P':  // DCH: delete characters
        deleteCells(column, atMost(count, cols - column), 1);
        finishSequence(row, column);
        break;
    case 'L':  // IL: insert lines, down to the end of the screen
        insertCells(0, atMost(count, rows - row) * cols, 0);
        finishSequence(row, column);
        break;
    case 'M':  // DL: delete lines
        deleteCells(0, atMost(count, rows - row) * cols, 0);
        finishSequence(row, column);
        break;
    case 'S':  // SU: scroll up
        scrollUp(atMost(p0, s.scrollBottom - s.scrollTop + 1));
        if (currentScreen != &s) return;
        finishSequence(row, column);
        break;
    case 'T':  // SD: scroll down
        scrollDown(atMost(p0, s.scrollBottom - s.scrollTop + 1));
        finishSequence(row, column);
        break;
    case 'X':  // ECH: erase characters, printed as spaces
        eraseCharacters(static_cast<int>(p0));
        if (currentScreen != &s) return;
        placeWithinScreen(row, column);
        break;
    case 'r':  // DECSTBM: scrolling region
        setScrollRegion(p0, p1);
        finishSequence(row, column);
        break;
    case 'm':  // SGR
        applyRenditions();
        finishSequence(row, column);
        break;
    case 'n':  // DSR
        reportDeviceStatus(row, column);
        finishSequence(row, column);
        break;
    case 'c':  // DA
        reportDeviceAttributes();
        finishSequence(row, column);
        break;
    case 't':  // window report
        reportTitle();
        finishSequence(row, column);
        break;
    case 'i':  // MC: printing takes the parser and the cursor over
        if (p0 == MEDIA_COPY_PRINT) {
            startPrint();
            return;
        }
        finishSequence(row, column);
        break;
    case '?':
        startSequence();
        s.state = &Terminal::stateCsiPrivate;
        break;
    case '=': s.state = &Terminal::stateCsiEquals; break;
    case 'h':  // SM, RM: accepted, nothing to set
    case 'l':
    case 'Z':
    case 'z': finishSequence(row, column); break;
    default:
        // Shown where the sequence began, then overwritten by what follows.
        showSequence("\x1b[", byte);
        if (currentScreen != &s) return;
        finishSequence(row, column);
        break;
    }
}

// A move to where the cursor already stands changes nothing, not even the
// wrap state; any other move is clamped to the screen.
void Terminal::moveCursor(int row, int column, int64_t targetRow, int64_t targetColumn) {
    if (targetRow == row && targetColumn == column)
        finishSequence(row, column);
    else
        placeWithinScreen(targetRow, targetColumn);
}

void Terminal::placeWithinScreen(int64_t row, int64_t column) {
    currentScreen->modes &= ~MODE_WRAPPED;
    finishSequence(static_cast<int>(std::clamp<int64_t>(row, 0, rows - 1)),
                   static_cast<int>(std::clamp<int64_t>(column, 0, cols - 1)));
}

void Terminal::finishSequence(int row, int column) {
    currentScreen->cursor = row * cols + column;
    placeCursor();
}

// An empty last parameter selects the first form; unknown forms do nothing.
void Terminal::eraseInDisplay(int row, int column) {
    Screen& s = *currentScreen;
    syncAttribute();
    switch (s.paramFresh ? 0 : s.params[0]) {
    case 0:  // from the cursor to the end of the screen
        eraseInRow(row, column, cols - column);
        eraseBlock(row + 1, 0, std::max(rows - row - 1, 0), cols);
        break;
    case 1:  // from the start of the screen through the cursor
        eraseInRow(row, 0, column + 1);
        eraseBlock(0, 0, row, cols);
        break;
    case 2:  // all, with the renditions and the parser reset
        clearScreen();
        moveCursor(row, column, 0, 0);
        return;
    }
    finishSequence(row, column);
}

void Terminal::eraseInLine(int row, int column) {
    Screen& s = *currentScreen;
    syncAttribute();
    switch (s.paramFresh ? 0 : s.params[0]) {
    case 0:  // to the end of the line, unless the cursor already wrapped past it
        if (!(s.modes & MODE_WRAPPED)) eraseInRow(row, column, cols - column);
        break;
    case 1: eraseInRow(row, 0, column + 1); break;  // from the start through the cursor
    case 2: eraseInRow(row, 0, cols); break;        // the whole line
    }
}

// A cursor just past the last cell stands on the spare row, which is never
// shown: there is nothing to erase on it.
void Terminal::eraseInRow(int row, int column, int count) {
    if (row < rows) eraseBlock(row, column, 1, count);
}

// The spaces are printed as text, so they wrap and scroll.  Past the end of
// the screen each further row of them scrolls the region and rewrites the
// last row; once such a row would leave the screen as it is, so would every
// later one, and only the last, partial row is still printed.  A hostile
// count thus costs about one screenful of work and gives the same screen.
void Terminal::eraseCharacters(int count) {
    Screen& s = *currentScreen;
    while (count > 0 && currentScreen == &s) {
        if (count > cols && s.cursor >= cellCount && spaceRowChangesNothing())
            count = (count - 1) % cols + 1;
        putCharacter(SPACE);
        count--;
    }
}

// A row of spaces printed past the end of the screen scrolls the region
// (its bottom row becomes blank in sentAttr) and writes the last row in
// currentAttr.  That changes nothing when every row of the region already
// holds what the scroll would bring into it, and the last row holds the
// printed spaces.
bool Terminal::spaceRowChangesNothing() const {
    const Screen& s = *currentScreen;
    if (s.sentAttr != s.currentAttr) return false;
    const Cell printed = makeCell(s.highBit | SPACE, s.currentAttr);
    const Cell blank = makeCell(SPACE, s.sentAttr);
    const Cell regionCell = s.scrollBottom == rows - 1 ? printed : blank;
    if (!rowHolds(s, rows - 1, printed)) return false;
    for (int row = s.scrollTop; row <= s.scrollBottom; row++)
        if (!rowHolds(s, row, regionCell)) return false;
    return true;
}

// A region beyond the screen is cut to it; one whose bottom lies above its
// top is refused and the region stays as it was.  Both presets are 1, so
// CSI r alone makes the top row a region of its own.
void Terminal::setScrollRegion(int64_t top, int64_t bottom) {
    int first = static_cast<int>(std::clamp<int64_t>(top - 1, 0, rows - 1));
    int last = static_cast<int>(std::clamp<int64_t>(bottom - 1, 0, rows - 1));
    if (last < first) return;
    currentScreen->scrollTop = first;
    currentScreen->scrollBottom = last;
}
