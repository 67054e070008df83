// The ground, ESC, character-set, key-definition and title states of the
// interpreter, the printing of characters and the control characters, and the
// parameter collection that every control sequence shares.
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "terminal/terminal.h"

namespace {

constexpr int ENQ = 5;
constexpr int BEL = 7;
constexpr int BS = 8;
constexpr int HT = 9;
constexpr int LF = 10;
constexpr int FF = 12;
constexpr int CR = 13;
constexpr int SO = 14;
constexpr int SI = 15;
constexpr int CSI = 155;

constexpr int TAB_WIDTH = 8;

// The bytes 0x5F to 0x7E print as these code page 437 characters while
// line drawing is on.
constexpr int GRAPHICS_FIRST = 0x5F;
constexpr int GRAPHICS_LAST = 0x7E;
constexpr unsigned char graphicsTable[GRAPHICS_LAST - GRAPHICS_FIRST + 1] = {
    0x20, 0x04, 0xB1, 0x1A, 0x17, 0x1B, 0x19, 0xF8, 0xF1, 0x15, 0x12,
    0xD9, 0xBF, 0xDA, 0xC0, 0xC5, 0xC4, 0xC4, 0xC4, 0xC4, 0xC4, 0xC3,
    0xB4, 0xC1, 0xC2, 0xB3, 0xF3, 0xF2, 0xE3, 0x9D, 0x9C, 0xFA};

// A number from the host stops growing here instead of overflowing.
constexpr int32_t PARAM_MAX = std::numeric_limits<int32_t>::max();

// The bytes the ground state prints as they are: all but the controls it
// acts on and the two it ignores.
constexpr auto PRINTS = [] {
    std::array<bool, 256> prints{};
    prints.fill(true);
    for (int control : {0, 1, ENQ, BEL, BS, HT, LF, FF, CR, SO, SI, ESC, CSI}) prints[control] = false;
    return prints;
}();

// What a run from a UTF-8 host may hold: printable ASCII.
constexpr auto PRINTS_ASCII = [] {
    std::array<bool, 256> prints{};
    for (int byte = ' '; byte < 0x80; byte++) prints[byte] = PRINTS[byte];
    return prints;
}();

// A printed character that leaves the cursor in column 0 wrapped the line.
void noteWrap(Screen& s, int cols) {
    if (s.cursor % cols == 0)
        s.modes |= MODE_WRAPPED;
    else
        s.modes &= ~MODE_WRAPPED;
}

bool isDigit(int byte) { return byte >= '0' && byte <= '9'; }

int32_t appendDigit(int32_t value, int byte) {
    int digit = byte - '0';
    if (value > (PARAM_MAX - digit) / 10) return PARAM_MAX;
    return value * 10 + digit;
}

}  // namespace

constinit const ParserState GROUND_STATE = &Terminal::stateGround;

void Terminal::stateGround(int byte) {
    byte &= 0xFF;
    Screen& s = *currentScreen;
    // Translated line-drawing characters are always printed, even those that
    // share a value with a control character.
    if ((s.modes & MODE_GRAPHICS) && byte >= GRAPHICS_FIRST && byte <= GRAPHICS_LAST) {
        putCharacter(graphicsTable[byte - GRAPHICS_FIRST]);
        return;
    }
    switch (byte) {
    case ENQ: queueString(emulationName()); break;
    case BEL: ringBell(); break;
    case BS: backspace(); break;
    case HT: horizontalTab(); break;
    case LF: lineFeed(); break;
    case FF: clearScreen(); break;
    case CR: carriageReturn(); break;
    case SO: s.modes |= MODE_GRAPHICS; break;
    case SI: s.modes &= ~MODE_GRAPHICS; break;
    case ESC: s.state = &Terminal::stateEscape; break;
    case CSI: startSequence(); break;
    default: putCharacter(byte); break;
    }
}

// Lines always wrap; at the end of the screen the cursor waits just past the
// last cell, and the region scrolls only when the next character arrives.
void Terminal::putCharacter(int byte) {
    byte &= 0xFF;
    if (byte == 0 || byte == 1) return;
    drawCharacter(byte);
}

void Terminal::drawCharacter(int byte) {
    Screen& s = *currentScreen;
    int character = s.highBit | byte;
    if (s.cursor >= cellCount) {
        scrollUp(1);
        // A key dispatched while Scroll Lock held the scroll may have shown
        // another session; the character belonged to the one that left.
        if (currentScreen != &s) return;
        s.cursor = cellCount - cols;
        placeCursor();
    }
    syncAttribute();
    adapter->fill(s.cursor, static_cast<char>(character), 1);
    s.storeCells(character, 1);
    noteWrap(s, cols);
}

// Its code page 437 value may be a control byte's (the arrows, the cent
// sign that is CSI): in the ground state it is printed, in a title it is
// text, and every other state acts on ASCII only, so there it is shown or
// dropped like any byte that no sequence expects.
void Terminal::showGlyph(int byte) {
    Screen& s = *currentScreen;
    if (s.state == &Terminal::stateGround)
        drawCharacter(byte);
    else if (s.state == &Terminal::stateCsi && s.introducer == ']')
        appendTitle(byte);
    else
        (this->*(s.state))(byte);
}

// The same cells, attribute and wrap state as printing the bytes one by one,
// drawn with one write: a run never leaves the cursor row, so nothing
// scrolls and no key can be dispatched in the middle of it.
int Terminal::printRun(const char* bytes, int count, bool asciiOnly) {
    const std::array<bool, 256>& prints = asciiOnly ? PRINTS_ASCII : PRINTS;
    // Most calls find a control or a lone character: they return at once.
    if (count < 2 || !prints[static_cast<unsigned char>(bytes[0])] ||
        !prints[static_cast<unsigned char>(bytes[1])])
        return 0;
    Screen& s = *currentScreen;
    if ((s.modes & MODE_GRAPHICS) || s.cursor >= cellCount) return 0;
    int room = std::min({count, cols - s.cursor % cols, PRINT_RUN_LIMIT});
    int length = 0;
    while (length < room && prints[static_cast<unsigned char>(bytes[length])]) length++;
    if (length < 2) return 0;
    // The bytes are drawn as they came unless the high bit is forced.
    const char* text = bytes;
    char shifted[PRINT_RUN_LIMIT];
    if (s.highBit != 0) {
        for (int i = 0; i < length; i++)
            shifted[i] = static_cast<char>(s.highBit | static_cast<unsigned char>(bytes[i]));
        text = shifted;
    }
    syncAttribute();
    adapter->write(s.cursor, text, length);
    Cell attribute = static_cast<Cell>((s.sentAttr & 0xFF) << 8);
    Cell* cells = &s.cells[s.cursor];
    for (int i = 0; i < length; i++)
        cells[i] = static_cast<Cell>(attribute | static_cast<unsigned char>(text[i]));
    s.cursor += length;
    noteWrap(s, cols);
    return length;
}

void Terminal::lineFeed() {
    Screen& s = *currentScreen;
    // The automatic wrap already moved the cursor to the next line.
    if (s.modes & MODE_WRAPPED) {
        s.modes &= ~MODE_WRAPPED;
        return;
    }
    int row = s.cursor / cols + 1;
    int column = s.cursor % cols;
    if (row > s.scrollBottom) {
        row = s.scrollBottom;
        scrollUp(1);
        if (currentScreen != &s) return;
    }
    s.cursor = row * cols + column;
    placeCursor();
}

// The wrap state is kept, so CR LF after a line that wrapped at its very end
// moves down only once.
void Terminal::carriageReturn() {
    Screen& s = *currentScreen;
    s.cursor = s.cursor / cols * cols;
    placeCursor();
}

void Terminal::backspace() {
    Screen& s = *currentScreen;
    if (s.cursor % cols == 0) return;
    s.cursor--;
    placeCursor();
}

// Tab stops are fixed at every eighth column; past the last one a tab goes to
// the start of the next line.
void Terminal::horizontalTab() {
    Screen& s = *currentScreen;
    int rowStart = s.cursor / cols * cols;
    int column = (s.cursor % cols & ~(TAB_WIDTH - 1)) + TAB_WIDTH;
    if (column >= cols) {
        s.cursor = rowStart;
        placeCursor();
        lineFeed();
        return;
    }
    s.cursor = std::min(rowStart + column, cellCount - 1);
    placeCursor();
}

void Terminal::stateEscape(int byte) {
    byte &= 0xFF;
    Screen& s = *currentScreen;
    s.state = &Terminal::stateGround;
    switch (byte) {
    case '(':  // designate a character set (there is one switch for both)
    case ')': s.state = &Terminal::stateCharset; break;
    case '7':  // save the cursor and the colours
        s.savedCursor = s.cursor;
        s.savedAttrState = s.attrState();
        break;
    case '8':  // restore them
        s.cursor = s.savedCursor;
        placeCursor();
        s.setAttrState(s.savedAttrState);
        computeAttribute();
        syncAttribute();
        break;
    case '=':  // keypad modes: the keys are defined with ESC Q instead
    case '>': break;
    case 'D': lineFeed(); break;  // index
    case 'E':                     // next line
        carriageReturn();
        lineFeed();
        break;
    case 'M':  // reverse index, whatever the cursor row
        scrollDown(1);
        placeCursor();  // drawing the blank line moved the console's cursor
        break;
    case 'Q':                        // define a function key
        s.params[0] = 0;
        s.state = &Terminal::stateKeyNumber;
        break;
    case '[': startSequence(); break;
    case ']':  // the window title
        startSequence();
        s.introducer = ']';
        break;
    case 'c': clearScreen(); break;  // reset
    case '\\': break;                // string terminator: its string has ended
    default: showSequence("\x1b", byte); break;
    }
}

void Terminal::stateCharset(int byte) {
    Screen& s = *currentScreen;
    if (byte == '0')
        s.modes |= MODE_GRAPHICS;
    else if (byte == 'A' || byte == 'B')
        s.modes &= ~MODE_GRAPHICS;
    s.state = &Terminal::stateGround;
}

// ESC Q keeps the key number in params[0] and the delimiter in params[1].
void Terminal::stateKeyNumber(int byte) {
    byte &= 0xFF;
    Screen& s = *currentScreen;
    if (isDigit(byte)) {
        s.params[0] = appendDigit(s.params[0], byte);
        return;
    }
    if (s.params[0] < KEY_COUNT) s.keyDefLength[s.params[0]] = 0;
    s.params[1] = byte;
    s.state = &Terminal::stateKeyText;
}

// Bytes for a key number outside the table, or beyond a full definition,
// are read and dropped.
void Terminal::stateKeyText(int byte) {
    byte &= 0xFF;
    Screen& s = *currentScreen;
    if (byte == s.params[1]) {
        s.state = &Terminal::stateGround;
        return;
    }
    int key = s.params[0];
    if (key >= KEY_COUNT || s.keyDefLength[key] >= KEY_DEF_SIZE) return;
    s.keyDefs[key][s.keyDefLength[key]++] = static_cast<unsigned char>(byte);
}

void Terminal::startSequence() {
    Screen& s = *currentScreen;
    s.oscLength = 0;
    s.introducer = '[';
    s.state = &Terminal::stateCsi;
    s.paramIndex = 0;
    s.params[0] = s.params[1] = s.params[2] = 1;
    s.paramFresh = 1;
    s.paramPtr = &s.params[0];
}

// An omitted parameter keeps its preset; a 17th and later parameter
// overwrite the 16th.
bool Terminal::collectParameter(int byte) {
    Screen& s = *currentScreen;
    if (isDigit(byte)) {
        if (s.paramFresh) {
            s.paramFresh = 0;
            *s.paramPtr = 0;
        }
        *s.paramPtr = appendDigit(*s.paramPtr, byte);
        return true;
    }
    if (byte == ';') {
        if (s.paramIndex < PARAM_COUNT - 1) s.paramIndex++;
        s.paramPtr = &s.params[s.paramIndex];
        s.paramFresh = 1;
        return true;
    }
    return false;
}

// ESC ] number ; text BEL.  The number is read and ignored: every such
// string sets the title.  BEL or ESC ends it; a title longer than the buffer
// keeps its first bytes.
void Terminal::collectTitle(int byte) {
    byte &= 0xFF;
    Screen& s = *currentScreen;
    if (s.paramIndex == 0 && collectParameter(byte)) return;
    // ESC ends the string too, as the string terminator ESC \ does: taken as
    // title text it would swallow everything the host sends until a BEL.
    if (byte == BEL || byte == ESC) {
        s.oscText[s.oscLength] = '\0';
        s.state = byte == ESC ? &Terminal::stateEscape : &Terminal::stateGround;
        setStatus("%s", s.oscText);
        return;
    }
    appendTitle(byte);
}

void Terminal::appendTitle(int byte) {
    Screen& s = *currentScreen;
    if (s.oscLength < OSC_TEXT_SIZE - 1) s.oscText[s.oscLength++] = static_cast<char>(byte);
}

// An unrecognised sequence is shown as its bytes rather than reported.
void Terminal::showSequence(const char* introducer, int byte) {
    Screen* s = currentScreen;
    for (const char* p = introducer; *p != '\0'; p++) {
        putCharacter(static_cast<unsigned char>(*p));
        if (currentScreen != s) return;
    }
    putCharacter(byte);
}
