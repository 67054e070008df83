// Capture of the received bytes, their replay, and the copy of a rectangle
// of the screen.
#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "terminal/terminal.h"

namespace {

constexpr int CAPTURE_PERMISSIONS = _S_IREAD | _S_IWRITE;
constexpr char ROW_SEPARATOR = 13;

// Foreground and background exchanged; bold and blink kept.
int selectedAttribute(int attribute) {
    return ((attribute & 0x07) << 4) | ((attribute >> 4) & 0x07) | (attribute & 0x88);
}

// Moves the selection cursor; false for a key that is not a cursor key.
bool moveSelectionCursor(int cols, int cellCount, int& cursor, int key) {
    switch (key) {
    case KEY_UP:
        if (cursor >= cols) cursor -= cols;
        return true;
    case KEY_DOWN:
        if (cursor + cols < cellCount) cursor += cols;
        return true;
    case KEY_LEFT:
        if (cursor > 0) cursor--;
        return true;
    case KEY_RIGHT:
        if (cursor + 1 < cellCount) cursor++;
        return true;
    default:
        return false;
    }
}

}  // namespace

// The rectangle between the anchor and the cursor, whichever corner came
// first, goes into copyBuffer and is shown in exchanged colours over the
// screen as it was when the copy began.
void Terminal::showSelection(const std::vector<Cell>& original, int anchor, int cursor) {
    int top = std::min(anchor / cols, cursor / cols);
    int bottom = std::max(anchor / cols, cursor / cols);
    int left = std::min(anchor % cols, cursor % cols);
    int right = std::max(anchor % cols, cursor % cols);
    std::vector<Cell> shown(original);
    size_t k = 0;
    for (int r = top; r <= bottom; r++) {
        for (int c = left; c <= right; c++) {
            Cell& cell = shown[r * cols + c];
            copyBuffer[k++] = static_cast<char>(cell & 0xFF);
            cell = static_cast<Cell>((selectedAttribute(cell >> 8) << 8) | (cell & 0xFF));
        }
        if (r < bottom) copyBuffer[k++] = ROW_SEPARATOR;
    }
    copyBuffer[k] = 0;
    paintCells(0, cellCount, shown.data());
    // Drawing gives the cursor its normal shape back.
    adapter->blockCursor();
}

void Terminal::toggleCapture() {
    if (captureFd >= 0) {
        _close(captureFd);
        captureFd = -1;
        return;
    }
    captureFd = _open(CAPTURE_FILE, _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY,
                      CAPTURE_PERMISSIONS);
}

void Terminal::startReplay() {
    // The replaced replay's file would otherwise stay open for the whole run.
    if (replayFd >= 0) _close(replayFd);
    replayFd = _open(CAPTURE_FILE, _O_RDONLY | _O_BINARY);
}

void Terminal::copyRegion() {
    Screen* s = currentScreen;
    if (s == nullptr || cellCount <= 0) return;
    int remembered = s->cursor;
    std::vector<Cell> original(s->cells.begin(), s->cells.begin() + cellCount);
    std::vector<char> status = s->statusText;
    // A cursor just past the last cell selects from the last cell, so the
    // rectangle never reaches the hidden spare row.
    s->cursor = std::min(s->cursor, cellCount - 1);
    adapter->blockCursor();
    setStatus("Move to start and press ENTER");
    int anchor = -1;
    bool finished = false;
    bool resized = false;
    while (!finished) {
        placeCursor();
        int key = adapter->readKey();
        // A new console size ends the copy; what was selected stays copied.
        if (key == KEY_RESIZE) {
            resized = true;
            break;
        }
        if (!moveSelectionCursor(cols, cellCount, s->cursor, key)) {
            if (key == KEY_ESCAPE || anchor >= 0) {
                finished = true;
            } else {
                anchor = s->cursor;
                setStatus("Move to end and press ENTER");
            }
        }
        if (anchor >= 0) showSelection(original, anchor, s->cursor);
    }
    adapter->normalCursor();
    if (resized) {
        // Not drawn at the old size: the repaint at the new one shows them.
        std::copy(original.begin(), original.end(), s->cells.begin());
        s->statusText = status;
        s->cursor = remembered;
        noteResize();
        return;
    }
    paintCells(0, cellCount, original.data());
    s->statusText = status;
    drawStatusLine();
    s->cursor = remembered;
    placeCursor();
}
