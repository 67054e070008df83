// Renditions, the private and SCO modes, and the answers owed to the host.
// Answers go into the key queue, in order with the typed keys.
#include <cstdio>
#include <string>

#include "terminal/terminal.h"

namespace {

constexpr int DEL = 0x7F;
constexpr int FIRST_PRINTABLE = 0x20;

constexpr int REPORT_CURSOR = 6;
constexpr int REPORT_TITLE = 21;
constexpr int CURSOR_VISIBLE = 25;
// A cursor shape up to this size (SCO CSI = C) shows the cursor.
constexpr int CURSOR_SHAPE_LIMIT = 10;
constexpr int REPLY_SIZE = 64;

constexpr uint32_t ALL_FLAGS = ATTR_REVERSE | ATTR_BLINK | ATTR_BOLD;

void setFlag(Screen& s, uint32_t flag, bool on) {
    if (on)
        s.attrFlags |= flag;
    else
        s.attrFlags &= ~flag;
}

}  // namespace

// CSI m alone resets; an empty last parameter is dropped; empty parameters
// before it keep their presets.
void Terminal::applyRenditions() {
    Screen& s = *currentScreen;
    if (s.paramIndex == 0 && s.paramFresh) {
        selectRendition(0);
        return;
    }
    int last = s.paramFresh ? s.paramIndex - 1 : s.paramIndex;
    for (int i = 0; i <= last; i++) selectRendition(s.params[i]);
}

// The new attribute reaches the console with the next character or erase.
void Terminal::selectRendition(int value) {
    Screen& s = *currentScreen;
    switch (value) {
    case 0:
        s.normalBg = s.defaultBg;
        s.normalFg = s.defaultFg;
        s.attrFlags &= ~ALL_FLAGS;
        break;
    case 1: s.attrFlags |= ATTR_BOLD; break;
    case 5: s.attrFlags |= ATTR_BLINK; break;
    case 7: s.attrFlags |= ATTR_REVERSE; break;
    case 8:  // hidden: black on black while reverse video is off
        s.normalBg = 0;
        s.normalFg = 0;
        break;
    case 10: s.highBit = 0; break;
    case 12: s.highBit = 0x80; break;
    case 27: s.attrFlags &= ~ATTR_REVERSE; break;
    case 38:
    case 39:
        s.colorFg = s.defaultFg;
        s.normalFg = s.colorFg;
        break;
    case 49:
        s.colorBg = s.defaultBg;
        s.normalBg = s.colorBg;
        break;
    default:
        if (value >= 30 && value <= 37) {
            s.colorFg = ansiToColor(value - 30);
            s.normalFg = s.colorFg;
        } else if (value >= 40 && value <= 47) {
            s.colorBg = ansiToColor(value - 40);
            s.normalBg = s.colorBg;
        }
        break;
    }
    computeAttribute();
}

// CSI ? … h / l.  Each ?25 l needs its own ?25 h; lines always wrap, so ?7
// is accepted as it is.
void Terminal::stateCsiPrivate(int byte) {
    byte &= 0xFF;
    if (collectParameter(byte)) return;
    Screen& s = *currentScreen;
    s.state = &Terminal::stateGround;
    if (byte != 'h' && byte != 'l') {
        showSequence("\x1b[?", byte);
        return;
    }
    for (int i = 0; i <= s.paramIndex; i++) {
        if (s.params[i] != CURSOR_VISIBLE) continue;
        if (byte == 'h')
            cursorOn();
        else
            cursorOff();
    }
}

// SCO CSI = sequences; the parameters collected before the = remain.
void Terminal::stateCsiEquals(int byte) {
    byte &= 0xFF;
    if (collectParameter(byte)) return;
    Screen& s = *currentScreen;
    const int p0 = s.params[0];
    s.state = &Terminal::stateGround;
    switch (byte) {
    case 'C':  // cursor shape: a normal one shows the cursor, anything else hides it
        if (s.paramIndex >= 1 && p0 <= CURSOR_SHAPE_LIMIT)
            cursorOn();
        else
            cursorOff();
        break;
    case 'D': setFlag(s, ATTR_BOLD, p0 != 0); break;
    case 'E': setFlag(s, ATTR_BLINK, p0 != 0); break;
    case 'F': s.defaultFg = ansiToColor(p0); break;  // defaults: used at the next reset
    case 'G': s.defaultBg = ansiToColor(p0); break;
    case 'H': s.colorFg = ansiToColor(p0); break;  // the colours reverse video draws with
    case 'I': s.colorBg = ansiToColor(p0); break;
    case 'J':
    case 'K': break;
    case 'M': reportColors(); break;
    default: showSequence("\x1b[=", byte); break;
    }
    computeAttribute();
}

void Terminal::reportDeviceStatus(int row, int column) {
    if (currentScreen->params[0] != REPORT_CURSOR) return;
    char reply[REPLY_SIZE];
    std::snprintf(reply, sizeof reply, "\x1b[?%d;%dR", row + 1, column + 1);
    queueString(reply);
}

void Terminal::reportDeviceAttributes() {
    char reply[REPLY_SIZE];
    std::snprintf(reply, sizeof reply, "\x1b[0;%s;0;c", VERSION_TEXT);
    queueString(reply);
}

// The title comes from the host and is shown to the user; sent back with
// its control characters it could type commands into the host, so they are
// left out.
void Terminal::reportTitle() {
    Screen& s = *currentScreen;
    for (int i = 0; i <= s.paramIndex; i++) {
        if (s.params[i] != REPORT_TITLE) continue;
        std::string title;
        for (char c : s.statusText) {
            unsigned char byte = static_cast<unsigned char>(c);
            if (byte == '\0') break;
            if (byte >= FIRST_PRINTABLE && byte != DEL) title += c;
        }
        queueString("\x1b]2;");
        queueString(forHost(title).c_str());
        queueKey('\a');
    }
}

// The colours drawn while reverse video is off, as ANSI colour indexes.
void Terminal::reportColors() {
    Screen& s = *currentScreen;
    char reply[REPLY_SIZE];
    std::snprintf(reply, sizeof reply, "%d %d\r", colorToAnsi(s.normalFg), colorToAnsi(s.normalBg));
    queueString(reply);
}
