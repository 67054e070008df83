// Opening, showing, switching and connecting sessions.
#include <ctime>

#include "platform/platform.h"
#include "terminal/terminal.h"

const char* const BANNER = "ZARNEK Vers. " ZARNEK_VERSION " - multi-session terminal emulator and Telnet client";

namespace {

// Final letters of the default definitions ESC [ c of key numbers 0..59:
// F1..F12, Shift+F1..F12, Ctrl+F1..F12, the twelve unreachable numbers, then
// Home, Up, Page Up, keypad minus, Left, keypad centre, Right, keypad plus,
// End, Down, Page Down and Insert.
constexpr const char* KEY_LETTERS = "MNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz@[\\]^_`{HAI*DEC*FBGL";

constexpr const char* REVISION = "$Revision: 1.19 $";
constexpr int KEY_LETTER_COUNT = 60;

// Keypad plus and minus send themselves, Delete sends DEL.
constexpr char PLAIN_KEY_DEFINITIONS[] = "\x1bQ55 + \x1bQ51 - \x1bQ60 \x7f ";

// Page Up, Page Down, Insert and Delete in the LINUX and XTERM emulations.
constexpr const char* TILDE_KEY_DEFINITIONS[] = {
    "\x1bQ50 \x1b[5~ ", "\x1bQ58 \x1b[6~ ", "\x1bQ59 \x1b[2~ ", "\x1bQ60 \x1b[3~ "};
// Up, Down, Right and Left in the XTERM emulation.
constexpr const char* XTERM_CURSOR_DEFINITIONS[] = {
    "\x1bQ49 \x1bOA ", "\x1bQ57 \x1bOB ", "\x1bQ54 \x1bOC ", "\x1bQ52 \x1bOD "};
constexpr int VT100_PF_KEYS = 4;  // F1..F4 send ESC O P .. ESC O S

}  // namespace

const char* Terminal::emulationName() const {
    switch (emulation) {
    case SCOANSI:
        return "Scoansi";
    case VT100:
        return "Vt100";
    case LINUX:
        return "Linux";
    case XTERM:
        break;
    }
    return "xterm";
}

void Terminal::openSession(int n) {
    Screen* screen = new Screen(rows, cols);
    screen->session = n;
    screens[n] = screen;
    connectTime[n] = time(nullptr);
    showSession(n);
    writeBanner(n);
    loadKeyDefinitions();
    currentScreen->lockKeys = adapter->keyState();
    setStatus("~screen %d", n + 1);
    if (n < MAX_SESSIONS) connectSession(n);
}

void Terminal::writeBanner(int n) {
    tprintf("\x1b[2J\x1b[36;44;1m");
    tprintf(" %-77.77s\n", BANNER);
    tprintf(" Terminal %2d/%2d, Id %-8.8s, Screen %02dx%02d, %-33.33s \n", n + 1, MAX_SESSIONS,
            emulationName(), cols, rows, REVISION);
    tprintf("\n\x1b[40;32;0m");
}

// The table is not built in: it is loaded through the session's own
// interpreter, as ESC Q definitions, so the host can redefine any key the
// same way later.
void Terminal::loadKeyDefinitions() {
    for (int i = 0; i < KEY_LETTER_COUNT; i++) tprintf("\x1bQ%d \x1b[%c ", i, KEY_LETTERS[i]);
    feedBytes(PLAIN_KEY_DEFINITIONS, sizeof PLAIN_KEY_DEFINITIONS - 1);
    int first = keyNumber(SCAN_ALT_F1);
    for (int j = first; j < first + MAX_SESSIONS; j++) tprintf("\x1bQ%d \x1b[%dz ", j, j - first + 1);
    if (emulation == LINUX || emulation == XTERM)
        for (const char* definition : TILDE_KEY_DEFINITIONS) tprintf("%s", definition);
    if (emulation == VT100)
        for (int i = 0; i < VT100_PF_KEYS; i++) tprintf("\x1bQ%d \x1bO%c ", i, 'P' + i);
    if (emulation == XTERM)
        for (const char* definition : XTERM_CURSOR_DEFINITIONS) tprintf("%s", definition);
}

void Terminal::showSession(int n) {
    adapter->hideCursor();
    currentScreen = screens[n];
    sessionsShown++;
    Screen& screen = *currentScreen;
    if (!(screen.modes & MODE_INITIALIZED)) {
        computeAttribute();
        syncAttribute();
        screen.cursor = 0;
        screen.storeCells(' ', cellCount);
        screen.cursor = 0;
        screen.modes |= MODE_INITIALIZED;
    }
    repaintScreen();
}

void Terminal::repaintScreen() {
    Screen& screen = *currentScreen;
    drawStatusLine();
    uint32_t wrapped = screen.modes & MODE_WRAPPED;
    // The repaint leaves the console drawing in the screen's sentAttr.
    paintCells(0, cellCount, screen.cells.data());
    // placeCursor keeps a cursor that stands just past the last cell on the
    // console's last cell.
    placeCursor();
    if (screen.cursorShown > 0) adapter->showCursor();
    screen.modes = (screen.modes & ~MODE_WRAPPED) | wrapped;
}

void Terminal::leaveSession(int n) {
    if (n != LOCAL_SESSION) device->leave(n);
}

int Terminal::switchSession(int n) {
    int previous = currentScreen != nullptr ? currentScreen->session : -1;
    if (currentScreen != nullptr) {
        if (n == previous) return previous;
        leaveSession(previous);
    }
    if (screens[n] == nullptr) {
        openSession(n);
        return previous;
    }
    showSession(n);
    if (n < MAX_SESSIONS) connectSession(n);
    return previous;
}

void Terminal::connectSession(int n) {
    if (!device->isOpen(n)) {
        connectTick[n] = GetTickCount();
        firstDataTick[n] = 0;
        firstDataPending[n] = true;
    }
    int result = device->open(n, emulationName(), rows, cols);
    while (result != 0) {
        tprintf("\x1b[41;37m Unable to connect strike any key to retry (ESC exit) \x1b[0m");
        int key = promptKey();
        // A hot key showed another session meanwhile: this prompt no longer
        // owns the screen, and whoever shows session n again connects it anew.
        if (key < 0) return;
        tprintf("\n");
        if (key == ESC) {
            closePending = 1;
            return;
        }
        result = device->open(n, emulationName(), rows, cols);
    }
}

int Terminal::promptKey() {
    const uint32_t shown = sessionsShown;
    for (;;) {
        // pollKeys dispatches every key that is ready first, so a byte it
        // reports is taken without another key being dispatched.
        int ready = pollKeys();
        if (sessionsShown != shown) return -1;
        if (ready) return getWholeKey();
        dispatchKey();
    }
}
