// Transparent printing of what the host sends between CSI 5 i and CSI 4 i,
// and printing of the screen.
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "terminal/terminal.h"

namespace {

constexpr const char* PRINT_END = "\x1b[4i";
constexpr int PRINT_END_LENGTH = 4;
constexpr uint32_t PROGRESS_INTERVAL = 1024;
constexpr const char* NULL_PRINTER = "nul";
// The name field: 32 columns from column 39 of row 9.
constexpr int FIELD_COLUMN = 39;
constexpr int FIELD_END = 71;
constexpr int FIRST_NAME_KEY = 0x21;
constexpr int LAST_NAME_KEY = 0x80;
constexpr int KEY_BACKSPACE = 8;
constexpr int KEY_LINE_FEED = 10;
constexpr int KEY_ENTER = 13;
constexpr int CARRIAGE_RETURN = 13;
constexpr int LINE_FEED = 10;
constexpr int FORM_FEED = 12;

bool continuesPrintEnd(int byte, int matched) {
    return byte == static_cast<unsigned char>(PRINT_END[matched]);
}

bool printing(const Screen& screen) { return screen.state == &Terminal::statePrint; }

// Counts a byte for the progress line, which is drawn through the
// interpreter and so needs the ground state while it is written.
void countPrintedByte(Adapter& adapter, Screen& screen) {
    if (++screen.printCount % PROGRESS_INTERVAL != 0) return;
    screen.state = &Terminal::stateGround;
    tprintf("\x1b[11;27HPrinted %8lu byte(s)\n", static_cast<unsigned long>(screen.printCount));
    adapter.keyReady();
    screen.state = &Terminal::statePrint;
}

// One key of the printer-name field; i is the index into the name, and the
// field's column is FIELD_COLUMN + i.
void editNameKey(char* name, int& i, int key) {
    int length = static_cast<int>(std::strlen(name));
    if (key >= FIRST_NAME_KEY && key <= LAST_NAME_KEY) {
        if (FIELD_COLUMN + i >= FIELD_END) return;
        name[i] = static_cast<char>(key);
        if (i == length) name[i + 1] = 0;
        i++;
    } else if (key == KEY_DELETE) {
        if (name[i] != 0) std::memmove(name + i, name + i + 1, length - i);
    } else if (key == KEY_RIGHT) {
        if (name[i] != 0) i++;
    } else if (key == KEY_LEFT) {
        if (i > 0) i--;
    } else if (key == KEY_BACKSPACE) {
        if (i == 0) return;
        std::memmove(name + i - 1, name + i, length - i + 1);
        i--;
    }
}

// What the interpreter holds of a sequence the host has not finished.  A
// print of the screen needs the interpreter for its own sequences; the
// host's sequence is put back afterwards and goes on with its next byte.
struct PendingSequence {
    explicit PendingSequence(const Screen& s)
        : state(s.state),
          introducer(s.introducer),
          oscLength(s.oscLength),
          paramFresh(s.paramFresh),
          paramIndex(s.paramIndex),
          paramOffset(s.paramPtr - s.params) {
        std::memcpy(oscText, s.oscText, sizeof oscText);
        std::memcpy(params, s.params, sizeof params);
    }

    void restore(Screen& s) const {
        s.state = state;
        s.introducer = introducer;
        std::memcpy(s.oscText, oscText, sizeof oscText);
        s.oscLength = oscLength;
        s.paramFresh = paramFresh;
        s.paramIndex = paramIndex;
        std::memcpy(s.params, params, sizeof params);
        s.paramPtr = s.params + paramOffset;
    }

    ParserState state;
    int32_t introducer;
    char oscText[OSC_TEXT_SIZE];
    int32_t oscLength;
    int32_t paramFresh;
    int32_t paramIndex;
    ptrdiff_t paramOffset;
    int32_t params[PARAM_COUNT];
};

}  // namespace

void Terminal::setPrinter(const char* name) {
    if (name != nullptr) std::snprintf(printerName, sizeof printerName, "%s", name);
}

void Terminal::startPrint() {
    Screen* s = currentScreen;
    s->printSavedCells.assign(s->cells.begin(), s->cells.begin() + cellCount);
    s->printSavedCursor = s->cursor;
    cursorOff();
    clearScreen();
    tprintf("\x1b[09;27HDevice :");
    editPrinterName(printerName);
    tprintf("\x1b[09;39H%s", printerName);
    tprintf("\x1b[10;25H* Please wait .. printing *");
    s->state = &Terminal::statePrint;
    s->printCount = 0;
    s->printEndMatch = 0;
    s->spoolFile = nullptr;
    adapter->keyReady();
}

void Terminal::statePrint(int byte) {
    Screen* s = currentScreen;
    // Bytes that may begin PRINT_END are held back until it is complete
    // (they are dropped) or broken (they go out before the byte that broke it).
    while (!continuesPrintEnd(byte, s->printEndMatch)) {
        countPrintedByte(*adapter, *s);
        if (s->printEndMatch == 0) {
            spoolByte(byte);
            return;
        }
        for (int i = 0; i < s->printEndMatch; i++) spoolByte(static_cast<unsigned char>(PRINT_END[i]));
        s->printEndMatch = 0;
    }
    if (++s->printEndMatch == PRINT_END_LENGTH) endPrint();
}

// The stream opens with the first byte that is written.  A failure is shown
// on standard output, as the dialog covers the session's screen.
bool Terminal::openPrintStream(Screen& screen) {
    const char* name = printerName;
    if (doubleBuffer) {
        name = screen.spoolName;
        if (temporaryName(screen.spoolName, sizeof screen.spoolName)) {
            screen.spoolFile = std::fopen(screen.spoolName, "ab");
            if (screen.spoolFile == nullptr) removeTemporary(screen.spoolName);
        }
    } else {
        screen.spoolFile = openPrinter(name);
    }
    if (screen.spoolFile != nullptr) return true;
    printerFailed(name);
    return false;
}

// Shown until a key is pressed; later prints go to the null device.
void Terminal::printerFailed(const char* name) {
    printOverConsole("ZARNEK: Unable to open %s\n", name);
    readOwnKey();
    consoleTextWritten();
    setPrinter(NULL_PRINTER);
}

void Terminal::spoolByte(int byte) {
    Screen* s = currentScreen;
    if (s->spoolFile == nullptr && !openPrintStream(*s)) return;
    std::fputc(byte, s->spoolFile);
}

void Terminal::endPrint() {
    Screen* s = currentScreen;
    if (static_cast<int>(s->printSavedCells.size()) >= cellCount)
        paintCells(0, cellCount, s->printSavedCells.data());
    std::vector<Cell>().swap(s->printSavedCells);
    s->cursor = s->printSavedCursor;
    placeCursor();
    cursorOn();
    if (s->spoolFile != nullptr) {
        closePrinter(s->spoolFile);
        s->spoolFile = nullptr;
        if (doubleBuffer) {
            // A spooled print that cannot reach the printer is lost: say so, as
            // for a printer that cannot be opened at the start of a print.
            if (!copyToPrinter(s->spoolName, printerName)) printerFailed(printerName);
            removeTemporary(s->spoolName);
        }
    }
    s->state = &Terminal::stateGround;
}

void Terminal::editPrinterName(char* name) {
    if (!selectPrinter) return;
    int i = 0;
    for (;;) {
        tprintf("\x1b[09;39H\x1b[1m%-32.32s\x1b[0m", name);
        tprintf("\x1b[09;%dH", FIELD_COLUMN + i);
        int key = readOwnKey();
        if (key == KEY_ENTER || key == KEY_LINE_FEED || key == KEY_ESCAPE) break;
        editNameKey(name, i, key);
    }
    if (name[0] == 0) std::strcpy(name, NULL_PRINTER);
}

void Terminal::printScreen() {
    Screen* s = currentScreen;
    if (s == nullptr) return;
    std::vector<char> text(cellCount);
    for (int i = 0; i < cellCount; i++) text[i] = static_cast<char>(s->cells[i] & 0xFF);
    // Inside a host's print session the whole print joins the host's data;
    // inside an unfinished sequence that sequence waits until the print is done.
    bool interrupted = !printing(*s) && s->state != &Terminal::stateGround;
    PendingSequence pending(*s);
    if (interrupted) s->state = &Terminal::stateGround;
    tprintf("\x1b[5i");
    if (currentScreen == s && printing(*s)) {
        // The characters go to the printer as they are: text on the screen
        // that reads like PRINT_END must not end the print half-way.
        for (int r = 0; r < rows; r++) {
            for (int c = 0; c < cols; c++) {
                countPrintedByte(*adapter, *s);
                spoolByte(static_cast<unsigned char>(text[r * cols + c]));
            }
            tprintf("%c%c", CARRIAGE_RETURN, LINE_FEED);
        }
        tprintf("%c", FORM_FEED);
        tprintf("%s", PRINT_END);
    }
    if (interrupted) pending.restore(*s);
}

void Terminal::closePrintStream(Screen* screen) {
    if (screen == nullptr || screen->spoolFile == nullptr) return;
    // The session ends mid-print: what was sent went to the printer; an
    // unfinished spool file is discarded rather than printed.
    closePrinter(screen->spoolFile);
    screen->spoolFile = nullptr;
    if (doubleBuffer) removeTemporary(screen->spoolName);
}
