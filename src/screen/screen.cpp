#include "screen/screen.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "terminal/terminal.h"

namespace {

// Colour number of each ANSI colour index (0 black, 1 red, 2 green, 3 yellow,
// 4 blue, 5 magenta, 6 cyan, 7 white).
constexpr int ANSI_COLORS[8] = {0, 4, 2, 6, 1, 5, 3, 7};

constexpr int BLINK_BIT = 0x80;
constexpr int BOLD_BIT = 0x08;

// The most a key backlog holds: two pastes of the largest console.  Beyond
// it bytes are dropped, as a full ring drops them.
constexpr size_t KEY_BACKLOG_LIMIT = 1 << 20;

void storeInRing(Screen& s, QueuedKey key) {
    s.keyQueue[s.keyQueueHead] = key.byte;
    s.keyContinues[s.keyQueueHead] = key.continuesPress;
    s.keyQueueHead = (s.keyQueueHead + 1) % KEY_QUEUE_SIZE;
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
    state = &Terminal::stateGround;
    modes &= ~(MODE_GRAPHICS | MODE_WRAPPED | MODE_HOLD);
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
