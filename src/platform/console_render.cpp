// The renderer that shows the console screen buffer on the real terminal, and
// the terminal's set-up and restoration on every way out of the program.
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/console.h"
#include "platform/runtime.h"

namespace {

// Code page 437, control bytes included: the console shows them as glyphs.
constexpr char16_t CP437[256] = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,  // 00
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,  // 10
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,  // 20
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 30
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,  // 40
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,  // 50
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,  // 60
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,  // 70
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x2302,
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

constexpr char ESC = '\x1b';
constexpr char BEL = '\x07';
// A flood of output costs one screen per frame, not one sequence per byte.
constexpr int64_t FRAME_INTERVAL_MS = 16;
// What a console may be: a terminal reports its own size within these.
constexpr int DEFAULT_COLUMNS = 80;
constexpr int DEFAULT_ROWS = 25;
constexpr int MIN_COLUMNS = 10;
constexpr int MIN_ROWS = 3;
constexpr int MAX_COLUMNS = 1000;
constexpr int MAX_ROWS = 500;
// The console's cursor size that the terminal shows as a block.
constexpr DWORD BLOCK_CURSOR_SIZE = 100;
// Printed in place of a byte that a non-UTF-8 terminal would take as a control.
constexpr char UNPRINTABLE = '?';

constexpr const char* ENTER_SCREEN = "\x1b[?1049h\x1b[?7l";
constexpr const char* LEAVE_SCREEN = "\x1b[?7h\x1b[?1049l";
constexpr const char* RESET_COLOURS = "\x1b[0m";
constexpr const char* CLEAR_SCREEN = "\x1b[0m\x1b[2J";
constexpr const char* SHOW_CURSOR = "\x1b[?25h";
constexpr const char* HIDE_CURSOR = "\x1b[?25l";
constexpr const char* BLOCK_SHAPE = "\x1b[2 q";
constexpr const char* DEFAULT_SHAPE = "\x1b[0 q";

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendNumber(std::string& out, int n) { out += std::to_string(n); }

// Console colour bits (1 blue, 2 green, 4 red) to the ANSI colour index
// (1 red, 2 green, 4 blue).
int ansiColour(int bits) { return ((bits & 1) << 2) | (bits & 2) | ((bits & 4) >> 2); }

bool localeIsUtf8() {
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    std::string restore = previous != nullptr ? previous : "C";
    std::setlocale(LC_CTYPE, "");
    bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    // Only the codeset was wanted: the rest of the program keeps its locale.
    std::setlocale(LC_CTYPE, restore.c_str());
    return utf8;
}

}  // namespace

char16_t cp437ToUnicode(unsigned char byte) { return CP437[byte]; }

void appendCp437AsUtf8(std::string& out, unsigned char byte) { appendUtf8(out, CP437[byte]); }

int unicodeToCp437(char32_t character) {
    if (character >= 0x20 && character < 0x7F) return static_cast<int>(character);
    for (int byte = 0; byte < 256; byte++) {
        if (byte == ' ' || (byte > ' ' && byte < 0x7F)) continue;
        if (CP437[byte] == character) return byte;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// The renderer.

std::string ConsoleRenderer::frame(ConsoleOutput& buffer) {
    std::string out;
    bool everything = !shownValid || shownColumns != buffer.columns() ||
                      shown.size() != static_cast<size_t>(buffer.columns()) * buffer.rows();
    if (!everything && !buffer.changed && !buffer.bell) return out;
    if (!started) {
        // Not before: a run that ends before drawing anything leaves the
        // user's screen alone.
        out += ENTER_SCREEN;
        started = true;
    }
    if (everything) {
        // Whatever else is on the terminal goes, also beyond the buffer when
        // the terminal is the larger.
        out += CLEAR_SCREEN;
        shown = buffer.snapshot();
        shownColumns = buffer.columns();
        shownValid = true;
        terminalX = terminalY = terminalAttributes = -1;
    }
    int rows = std::min(buffer.rows(), clipRows);
    for (int y = 0; y < rows; y++) paintRow(buffer, y, everything, out);
    showCursor(buffer, out);
    if (buffer.bell) out += BEL;
    buffer.bell = false;
    buffer.changed = false;
    return out;
}

void ConsoleRenderer::paintRow(const ConsoleOutput& buffer, int y, bool everything,
                               std::string& out) {
    int columns = std::min(buffer.columns(), clipColumns);
    for (int x = 0; x < columns; x++) {
        const ConsoleCell& cell = buffer.at(x, y);
        ConsoleCell& seen = shown[static_cast<size_t>(y) * shownColumns + x];
        if (!everything && cell == seen) continue;
        if (terminalX != x || terminalY != y) moveTo(x, y, out);
        paintCell(cell, out);
        seen = cell;
        terminalX = x + 1;
    }
}

void ConsoleRenderer::paintCell(const ConsoleCell& cell, std::string& out) {
    // Bit 7 (background intensity) is not shown.
    int attributes = cell.attributes & 0x7F;
    if (attributes != terminalAttributes) {
        int foreground = ansiColour(attributes & 7);
        int background = ansiColour((attributes >> 4) & 7);
        out += ESC;
        out += terminalAttributes < 0 ? "[0;" : "[";
        appendNumber(out, (attributes & FOREGROUND_INTENSITY ? 90 : 30) + foreground);
        out += ';';
        appendNumber(out, 40 + background);
        out += 'm';
        terminalAttributes = attributes;
    }
    appendGlyph(out, cell.character);
}

void ConsoleRenderer::appendGlyph(std::string& out, unsigned char c) const {
    if (utf8)
        appendUtf8(out, CP437[c]);
    else if (c == 0)
        out += ' ';
    else if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        out += UNPRINTABLE;
    else
        out += static_cast<char>(c);
}

void ConsoleRenderer::moveTo(int x, int y, std::string& out) {
    out += ESC;
    out += '[';
    appendNumber(out, y + 1);
    if (x > 0) {
        out += ';';
        appendNumber(out, x + 1);
    }
    out += 'H';
    terminalX = x;
    terminalY = y;
}

void ConsoleRenderer::showCursor(const ConsoleOutput& buffer, std::string& out) {
    int x = buffer.cursor.X;
    int y = buffer.cursor.Y;
    bool visible = buffer.cursorInfo.bVisible && x < clipColumns && y < clipRows;
    if (!visible) {
        if (cursorShown) out += HIDE_CURSOR;
        cursorShown = false;
        return;
    }
    if (terminalX != x || terminalY != y) moveTo(x, y, out);
    bool block = buffer.cursorInfo.dwSize >= BLOCK_CURSOR_SIZE;
    if (block != blockShown) {
        out += block ? BLOCK_SHAPE : DEFAULT_SHAPE;
        blockShown = block;
        shapeChanged = true;
    }
    if (!cursorShown) out += SHOW_CURSOR;
    cursorShown = true;
}

void ConsoleRenderer::clipTo(int columns, int rows) {
    if (columns == clipColumns && rows == clipRows) return;
    clipColumns = columns;
    clipRows = rows;
    repaintAll();
}

std::string ConsoleRenderer::leave() const {
    if (!started) return {};
    std::string out = RESET_COLOURS;
    if (shapeChanged) out += DEFAULT_SHAPE;
    out += SHOW_CURSOR;
    out += LEAVE_SCREEN;
    return out;
}

// ---------------------------------------------------------------------------
// The process's console on its terminal: standard input and output.

namespace {

ConsoleOutput* processOutput = nullptr;
ConsoleInput* processInput = nullptr;
ConsoleRenderer* processRenderer = nullptr;
int64_t lastFrame = 0;

// What the signal handlers need, kept ready because they may not allocate.
struct termios savedModes;
volatile sig_atomic_t haveSavedModes = 0;
volatile sig_atomic_t restored = 0;
volatile sig_atomic_t resized = 0;
char leaveBytes[64];
volatile sig_atomic_t leaveLength = 0;
bool guarded = false;
// Written below the command that started the program once the terminal is
// given back at the end.
std::string leftInView;

// Signals after which the terminal is restored and the signal goes on to
// its previous action.  Faults come back by themselves when the handler
// returns; the others are raised again.
constexpr int ENDING_SIGNALS[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGABRT};
constexpr int FAULT_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction previousActions[NSIG];

bool terminalSize(int fd, int& columns, int& rows) {
    struct winsize size {};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return false;
    columns = size.ws_col;
    rows = size.ws_row;
    return true;
}

void writeAll(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t n = ::write(fd, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            struct pollfd writable {fd, POLLOUT, 0};
            poll(&writable, 1, -1);
        } else if (n < 0 && errno != EINTR) {
            return;  // the terminal is gone; nothing is left to show
        }
    }
}

void keepLeaveBytes(const std::string& bytes) {
    leaveLength = 0;
    size_t n = std::min(bytes.size(), sizeof leaveBytes);
    std::memcpy(leaveBytes, bytes.data(), n);
    leaveLength = static_cast<sig_atomic_t>(n);
}

// Safe inside a signal handler: only write and tcsetattr.
void restoreTerminal() {
    if (restored) return;
    restored = 1;
    if (leaveLength > 0) writeAll(STDOUT_FILENO, leaveBytes, static_cast<size_t>(leaveLength));
    if (haveSavedModes) tcsetattr(STDIN_FILENO, TCSADRAIN, &savedModes);
}

void restoreAtExit() {
    if (restored) return;
    // A terminal without an alternate screen keeps the last frame in view;
    // a run that never showed one leaves the screen alone.
    if (processRenderer != nullptr && processRenderer->started) renderConsole(true);
    restoreTerminal();
    writeAll(STDOUT_FILENO, leftInView.data(), leftInView.size());
}

void restoreOnSignal(int signal) {
    int saved = errno;
    releaseOnSignal();
    restoreTerminal();
    sigaction(signal, &previousActions[signal], nullptr);
    if (std::find(std::begin(FAULT_SIGNALS), std::end(FAULT_SIGNALS), signal) ==
        std::end(FAULT_SIGNALS))
        raise(signal);
    errno = saved;
}

void noteResize(int) { resized = 1; }

void installHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // A window resize must not fail a read, a write or a connection attempt
    // on its way; the waits still wake up for it and repaint.
    action.sa_flags = SA_RESTART;
    sigaction(signal, nullptr, &previousActions[signal]);
    // A signal the user chose to ignore (nohup) stays ignored.
    if (previousActions[signal].sa_handler == SIG_IGN) return;
    sigaction(signal, &action, nullptr);
}

// From the first change to the terminal on, every way out restores it.
void guardTerminal() {
    if (guarded) return;
    guarded = true;
    std::atexit(restoreAtExit);
    for (int signal : ENDING_SIGNALS) installHandler(signal, restoreOnSignal);
    for (int signal : FAULT_SIGNALS) installHandler(signal, restoreOnSignal);
    installHandler(SIGWINCH, noteResize);
}

ConsoleRenderer& renderer() {
    if (processRenderer == nullptr) {
        processRenderer = new ConsoleRenderer(localeIsUtf8());
        int columns, rows;
        if (terminalSize(STDOUT_FILENO, columns, rows)) processRenderer->clipTo(columns, rows);
    }
    return *processRenderer;
}

}  // namespace

ConsoleOutput& processConsoleOutput() {
    if (processOutput == nullptr) {
        int columns = DEFAULT_COLUMNS;
        int rows = DEFAULT_ROWS;
        if (terminalSize(STDOUT_FILENO, columns, rows)) {
            columns = std::clamp(columns, MIN_COLUMNS, MAX_COLUMNS);
            rows = std::clamp(rows, MIN_ROWS, MAX_ROWS);
        }
        processOutput = new ConsoleOutput(columns, rows);
    }
    return *processOutput;
}

ConsoleInput& processConsoleInput() {
    if (processInput == nullptr) {
        processInput = new ConsoleInput(STDIN_FILENO, renderer().utf8Terminal());
        processInput->endsRun = true;
        processInput->listening = false;
    }
    return *processInput;
}

void renderConsole(bool force) {
    if (processOutput == nullptr || restored) return;
    ConsoleRenderer& r = renderer();
    if (resized) {
        resized = 0;
        int columns, rows;
        if (terminalSize(STDOUT_FILENO, columns, rows)) r.clipTo(columns, rows);
        r.repaintAll();
    }
    if (!r.started && !processOutput->changed) return;
    int64_t now = consoleClock();
    if (!force && now - lastFrame < FRAME_INTERVAL_MS) return;
    std::string bytes = r.frame(*processOutput);
    if (bytes.empty()) return;
    guardTerminal();
    keepLeaveBytes(r.leave());
    writeAll(STDOUT_FILENO, bytes.data(), bytes.size());
    lastFrame = now;
}

void takeTerminalInput(bool signalsFromKeys) {
    processConsoleInput().listening = true;
    if (!haveSavedModes) {
        if (tcgetattr(STDIN_FILENO, &savedModes) != 0) return;  // not a terminal
        haveSavedModes = 1;
        guardTerminal();
    }
    // Raw input, as cfmakeraw makes it, but the output processing stays on
    // so that text written straight to standard output reads right.
    struct termios raw = savedModes;
    raw.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_lflag &= ~(ECHO | ECHONL | ICANON | IEXTEN | ISIG);
    if (signalsFromKeys) raw.c_lflag |= ISIG;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

void leaveInView(const std::vector<std::string>& lines) {
    // From here on every way out gives the terminal back, and the normal one
    // writes the lines after it.
    guardTerminal();
    leftInView.clear();
    for (const std::string& line : lines) {
        for (char c : line) renderer().appendGlyph(leftInView, static_cast<unsigned char>(c));
        leftInView += '\n';
    }
}

void consoleTextWritten() {
    if (processRenderer != nullptr) processRenderer->repaintAll();
}

void consoleBeforeBlocking() { renderConsole(true); }
