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

#include "platform/platform.h"
#include "text/cp437.h"
#include "types.h"

namespace {

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
        appendCp437AsUtf8(out, c);
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

// The console's size for a terminal's, within what a console may be.
COORD consoleSize(int columns, int rows) {
    return COORD{static_cast<SHORT>(std::clamp(columns, MIN_COLUMNS, MAX_COLUMNS)),
                 static_cast<SHORT>(std::clamp(rows, MIN_ROWS, MAX_ROWS))};
}

}  // namespace

ConsoleOutput& processConsoleOutput() {
    if (processOutput == nullptr) {
        COORD size{DEFAULT_COLUMNS, DEFAULT_ROWS};
        int columns, rows;
        if (terminalSize(STDOUT_FILENO, columns, rows)) size = consoleSize(columns, rows);
        processOutput = new ConsoleOutput(size.X, size.Y);
    }
    return *processOutput;
}

// What the terminal shows beyond the console (a terminal larger than a
// console may be) stays blank; what it cannot show is not drawn.
void followTerminalSize() {
    if (!resized) return;
    resized = 0;
    int columns, rows;
    if (!terminalSize(STDOUT_FILENO, columns, rows)) return;
    if (processRenderer != nullptr) {
        processRenderer->clipTo(columns, rows);
        processRenderer->repaintAll();
    }
    COORD size = consoleSize(columns, rows);
    if (processOutput == nullptr || (size.X == processOutput->columns() && size.Y == processOutput->rows()))
        return;
    processOutput->resize(size.X, size.Y);
    if (processInput != nullptr) processInput->queueResize(size);
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
    followTerminalSize();
    ConsoleRenderer& r = renderer();
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
