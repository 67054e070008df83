// One session's screen: its cells and everything its interpreter remembers
// between bytes.  Nothing of a session's emulation lives outside it.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

#include "text/utf8.h"
#include "types.h"

class Terminal;

// A parser state: the Terminal operation that receives the next byte.
using ParserState = void (Terminal::*)(int);
// The state a new or reset parser starts in (defined with the interpreter).
extern const ParserState GROUND_STATE;

constexpr int OSC_TEXT_SIZE = 256;
constexpr int PARAM_COUNT = 16;
constexpr int KEY_QUEUE_SIZE = 128;
constexpr int KEY_COUNT = 71;
constexpr int KEY_DEF_SIZE = 16;
constexpr int SPOOL_NAME_SIZE = 256;

// modes bits.
constexpr uint32_t MODE_GRAPHICS = 0x01;
constexpr uint32_t MODE_WRAPPED = 0x04;
constexpr uint32_t MODE_HOLD = 0x08;
constexpr uint32_t MODE_INITIALIZED = 0x10;

// attrFlags bits.
constexpr uint32_t ATTR_REVERSE = 0x01;
constexpr uint32_t ATTR_BLINK = 0x02;
constexpr uint32_t ATTR_BOLD = 0x04;

// The colour and flag block that ESC 7 saves and ESC 8 restores as a unit.
struct AttrState {
    int32_t defaultBg;
    int32_t defaultFg;
    int32_t colorBg;
    int32_t colorFg;
    int32_t normalBg;
    int32_t normalFg;
    uint32_t attrFlags;
};

// A byte for the host, and whether it continues the key press of the byte
// before it (the later bytes of Alt+letter, of a function key, of a paste).
struct QueuedKey {
    unsigned char byte;
    bool continuesPress;
};

// ANSI colour index (SGR 30+n) <-> colour number (bit 0 blue, 1 green, 2 red).
int ansiToColor(int index);
int colorToAnsi(int color);

struct Screen {
    Screen(int rows, int cols);
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
    ~Screen();

    void resetParser();
    // Takes a new size: rows kept from the top, cut or padded with blanks in
    // the default colours, and moved up as far as the cursor's row needs to
    // stay in view; the scrolling region becomes the whole screen.  The
    // screen saved by a print session changes the same way.
    void resize(int newRows, int newCols);
    // Stores n cells of the character in sentAttr at cursor and advances it.
    void storeCells(int character, int n);

    // The key queue: the ring, and behind it the backlog of what a paste
    // could not fit in.  A byte that finds the ring full is dropped unless
    // kept; a kept one waits in the backlog.  Once the backlog holds
    // anything, every byte joins it, so that nothing overtakes the paste.
    void queueKey(QueuedKey key, bool keep);
    bool keysQueued() const { return keyQueueTail != keyQueueHead; }
    // Takes the next byte, which must be there; the ring takes in the
    // backlog as it drains.
    unsigned char takeKey();
    // Drops the rest of the key press whose byte was taken last.
    void dropRestOfKeyPress();

    AttrState attrState() const;
    void setAttrState(const AttrState& block);

    uint32_t lockKeys = 0;
    int32_t rows;
    int32_t cols;
    std::vector<Cell> cells;  // (rows + 1) * cols; the spare last row is never shown
    int32_t session = 0;

    ParserState state = nullptr;
    int32_t introducer = '[';
    char oscText[OSC_TEXT_SIZE] = {};
    int32_t oscLength = 0;
    int32_t paramFresh = 1;
    int32_t paramIndex = 0;
    int32_t params[PARAM_COUNT] = {1, 1, 1};
    int32_t* paramPtr = params;
    // A UTF-8 host's character split across reads waits here (UTF-8 hosts
    // only), apart from every other session's.
    Utf8Decoder decoder;

    int32_t keyQueueHead = 0;
    int32_t keyQueueTail = 0;
    unsigned char keyQueue[KEY_QUEUE_SIZE] = {};
    // Per byte of the ring: it continues the key press of the byte before.
    bool keyContinues[KEY_QUEUE_SIZE] = {};
    // What a paste could not fit into the ring, and every byte queued after it.
    std::deque<QueuedKey> keyBacklog;

    unsigned char keyDefs[KEY_COUNT][KEY_DEF_SIZE] = {};
    uint8_t keyDefLength[KEY_COUNT] = {};

    uint32_t modes = 0;
    std::vector<char> statusText;  // cols + 1 bytes, always terminated

    // Transparent printing.
    uint32_t printCount = 0;
    std::vector<Cell> printSavedCells;
    int32_t printSavedCursor = 0;
    char spoolName[SPOOL_NAME_SIZE] = {};
    FILE* spoolFile = nullptr;
    int32_t printEndMatch = 0;

    int32_t scrollTop = 0;
    int32_t scrollBottom = 0;

    int32_t defaultBg = 0;
    int32_t defaultFg = 2;
    int32_t colorBg = 2;
    int32_t colorFg = 0;
    int32_t normalBg = 0;
    int32_t normalFg = 2;
    uint32_t attrFlags = 0;
    AttrState savedAttrState = {0, 2, 2, 0, 0, 2, 0};

    int32_t cursorShown = 1;
    int32_t cursor = 0;
    int32_t savedCursor = 0;
    int32_t currentAttr = 0;
    int32_t sentAttr = 0;
    int32_t highBit = 0;
};
