// Construction, device I/O, the byte feed, the key queue, the main loop and
// the console print functions.
#include "terminal/terminal.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <utility>

#include "platform/platform.h"

Terminal* firstTerminal = nullptr;

namespace {

// The idle policy of the main loop: a turn that brings neither data nor keys
// waits this long.  The wait ends as soon as the console or the current
// session's socket has input, so it delays neither a key nor an echo.
constexpr DWORD IDLE_SLEEP_MS = 100;

constexpr unsigned char FIRST_NON_ASCII = 0x80;

}  // namespace

Terminal::Terminal(Adapter* adapterIn, Device* deviceIn, Emulation emulationIn,
                   int selectPrinterIn, int doubleBufferIn)
    : emulation(emulationIn),
      doubleBuffer(doubleBufferIn),
      selectPrinter(selectPrinterIn),
      adapter(adapterIn),
      device(deviceIn) {
    if (firstTerminal == nullptr) firstTerminal = this;
    adapter->showCursor();
    takeAdapterSize();
}

void Terminal::takeAdapterSize() {
    // XTERM keeps the console's last row for the status line.  A console
    // too small to hold a screen still gets one cell, so that no position
    // computed from the size can be negative.
    rows = std::max(adapter->rows - (emulation == XTERM ? 1 : 0), 1);
    cols = std::max<int32_t>(adapter->columns, 1);
    cellCount = rows * cols;
    scratchCells.assign(cellCount, 0);
    std::vector<char> copied(static_cast<size_t>(cellCount) + rows, '\0');
    auto end = std::find(copyBuffer.begin(), copyBuffer.end(), '\0');
    std::copy(copyBuffer.begin(), copyBuffer.begin() + std::min(end - copyBuffer.begin(),
                                                                 static_cast<ptrdiff_t>(copied.size()) - 1),
              copied.begin());
    copyBuffer.swap(copied);
}

void Terminal::resize() {
    resizePending = false;
    takeAdapterSize();
    for (Screen* screen : screens)
        if (screen != nullptr) screen->resize(rows, cols);
    if (currentScreen != nullptr) repaintScreen();
    for (int i = 0; i < MAX_SESSIONS; i++)
        if (screens[i] != nullptr) device->resize(i, rows, cols);
}

void Terminal::noteResize() {
    resizePending = true;
    if (feeding == 0) resize();
}

int Terminal::readOwnKey() {
    int key;
    while ((key = adapter->readKey()) == KEY_RESIZE) noteResize();
    return key;
}

Terminal::~Terminal() {
    if (replayFd >= 0) _close(replayFd);
    if (captureFd >= 0) _close(captureFd);
    currentScreen = nullptr;
    for (int i = SCREEN_SLOTS - 1; i >= 0; i--) {
        if (screens[i] == nullptr) continue;
        if (i != LOCAL_SESSION) device->close(i);
        closePrintStream(screens[i]);
        delete screens[i];
        screens[i] = nullptr;
    }
    // Print functions called after this Terminal is gone must find none.
    if (firstTerminal == this) firstTerminal = nullptr;
}

int Terminal::readDevice(char* buffer, int max) {
    if (max <= 0) return 0;
    // Received bytes wait in the device while a replay file is being shown.
    if (replayFd >= 0) {
        int n = _read(replayFd, buffer, max);
        if (n > 0) return n;
        _close(replayFd);
        replayFd = -1;
    }
    int n = device->read(buffer, max);
    if (n < 0) {
        closePending = 1;
        endedByHost = true;
        return 0;
    }
    if (n > 0 && currentScreen != nullptr) reportFirstData(currentScreen->session);
    bytesRead += n;
    return n;
}

// The delay of a timed connection attempt, shown once, before its first
// bytes.
void Terminal::reportFirstData(int session) {
    if (!firstDataPending[session]) return;
    firstDataPending[session] = false;
    firstDataTick[session] = GetTickCount();
    tprintf(" (%lu ms)\n\n",
            static_cast<unsigned long>(firstDataTick[session] - connectTick[session]));
}

void Terminal::writeDevice(const char* bytes, int count) {
    int n = device->write(bytes, count);
    if (n != count) {
        closePending = 1;
        n = 0;
    }
    bytesWritten += n;
}

void Terminal::feedBytes(const char* bytes, int count) { feedWith(&Terminal::interpret, bytes, count); }

void Terminal::receiveBytes(const char* bytes, int count) {
    feedWith(utf8Host ? &Terminal::interpretUtf8 : &Terminal::interpret, bytes, count);
}

void Terminal::feedWith(void (Terminal::*interpretBlock)(const char*, int), const char* bytes,
                        int count) {
    Screen* screen = currentScreen;
    if (screen == nullptr) return;
    cursorOff();
    feeding++;
    (this->*interpretBlock)(bytes, count);
    feeding--;
    endFeed(screen);
}

// A byte may show another session (a hot key during a Scroll Lock hold): the
// rest goes to whichever screen is current.
void Terminal::interpret(const char* bytes, int count) {
    for (int i = 0; i < count && currentScreen != nullptr;) {
        if (currentScreen->state == &Terminal::stateGround) {
            int printed = printRun(bytes + i, count - i);
            if (printed > 0) {
                i += printed;
                continue;
            }
        }
        (this->*(currentScreen->state))(static_cast<unsigned char>(bytes[i]));
        i++;
    }
}

// ASCII between characters decodes to itself, so a run of printable ASCII
// is printed as from an 8-bit host; no byte from 0x80 up may reach the run
// as a character.
void Terminal::interpretUtf8(const char* bytes, int count) {
    for (int i = 0; i < count && currentScreen != nullptr;) {
        const Screen& s = *currentScreen;
        if (s.state == &Terminal::stateGround && s.decoder.idle()) {
            int printed = printRun(bytes + i, count - i, true);
            if (printed > 0) {
                i += printed;
                continue;
            }
        }
        receiveUtf8Byte(static_cast<unsigned char>(bytes[i]));
        i++;
    }
}

// The printer gets the host's bytes as they came: the end of the print
// session is ASCII, so it is found all the same.
void Terminal::receiveUtf8Byte(unsigned char byte) {
    Screen* s = currentScreen;
    if (s->state == &Terminal::statePrint) {
        statePrint(byte);
        return;
    }
    if (byte < FIRST_NON_ASCII && s->decoder.idle()) {
        (this->*(s->state))(byte);
        return;
    }
    Utf8Decoder::Decoded decoded[Utf8Decoder::MAX_DECODED];
    int n = s->decoder.decode(byte, decoded);
    for (int k = 0; k < n && currentScreen == s; k++) {
        if (decoded[k].glyph)
            showGlyph(decoded[k].byte);
        else
            (this->*(s->state))(decoded[k].byte);
    }
}

std::string Terminal::forHost(std::string_view text) const {
    return utf8Host ? utf8ForHost(text) : std::string(text);
}

// Ends the drawing bracket on the screen where it began, which may no longer
// be the one shown.
void Terminal::endFeed(Screen* screen) {
    if (screen == currentScreen) {
        cursorOn();
        return;
    }
    for (Screen* open : screens)
        if (open == screen) screen->cursorShown++;
}

void Terminal::feedByte(int byte) {
    char c = static_cast<char>(byte);
    feedBytes(&c, 1);
}

void Terminal::queueKey(int byte) {
    if (currentScreen != nullptr) currentScreen->queueKey({static_cast<unsigned char>(byte), false}, false);
}

void Terminal::queueKeyPress(const unsigned char* bytes, int count, bool keepAll) {
    if (currentScreen == nullptr) return;
    for (int i = 0; i < count; i++) currentScreen->queueKey({bytes[i], i > 0}, keepAll);
}

void Terminal::queueString(const char* text) {
    for (; *text != '\0'; text++) queueKey(static_cast<unsigned char>(*text));
}

int Terminal::pollKeys() {
    while (adapter->keyReady()) dispatchKey();
    Screen* s = currentScreen;
    if (s == nullptr) return 0;
    unsigned state = adapter->keyState();
    if (state != s->lockKeys) {
        s->lockKeys = state;
        drawStatusLine();
    }
    return s->keysQueued();
}

// Hot keys typed meanwhile act at once; only a byte for the queue ends the
// wait.
int Terminal::getKey() {
    while (!pollKeys()) dispatchKey();
    return currentScreen->takeKey();
}

// The first byte decides; an arrow key or a function key must not answer
// the next prompt as well with the bytes it queued after it.
int Terminal::getWholeKey() {
    int byte = getKey();
    currentScreen->dropRestOfKeyPress();
    return byte;
}

void Terminal::closeSession() {
    Screen* s = currentScreen;
    if (s == nullptr) return;
    if (s->session != LOCAL_SESSION) device->close(s->session);
    closePrintStream(s);
    screens[s->session] = nullptr;
    currentScreen = nullptr;
    delete s;
}

void Terminal::keepLastWords() {
    lastWords_.reset();
    if (!std::exchange(endedByHost, false) || currentScreen == nullptr) return;
    std::vector<std::string> text;
    size_t lastWithText = 0;
    for (int r = 0; r < rows; r++) {
        std::string row;
        for (int c = 0; c < cols; c++) row += static_cast<char>(currentScreen->cells[r * cols + c] & 0xFF);
        row.erase(row.find_last_not_of(std::string(" \0", 2)) + 1);
        text.push_back(row);
        if (!row.empty()) lastWithText = text.size();
    }
    text.resize(lastWithText);
    lastWords_ = text;
}

int Terminal::switchToLastSession() {
    for (int i = MAX_SESSIONS - 1; i >= 0; i--) {
        if (screens[i] != nullptr) {
            switchSession(i);
            return i;
        }
    }
    return -1;
}

void Terminal::run() {
    char buffer[IO_BLOCK_SIZE];
    for (;;) {
        if (closePending) {
            closePending = 0;
            keepLastWords();
            closeSession();
        }
        if (currentScreen == nullptr && switchToLastSession() < 0) return;
        if (resizePending) resize();
        bool sentKeys = sendKeys(buffer);
        int n = readDevice(buffer, IO_BLOCK_SIZE);
        if (n > 0) {
            if (captureFd >= 0) _write(captureFd, buffer, n);
            receiveBytes(buffer, n);
        } else if (!sentKeys && !closePending) {
            idleWait(IDLE_SLEEP_MS);
        }
    }
}

// The bytes queued since the last turn go out in one device write.
bool Terminal::sendKeys(char* buffer) {
    int count = 0;
    while (count < IO_BLOCK_SIZE && pollKeys()) buffer[count++] = static_cast<char>(getKey());
    if (count == 0) return false;
    writeDevice(buffer, count);
    return true;
}

// The console's own bell, not a character of the screen.
void Terminal::ringBell() { _putch('\a'); }

namespace {

// Feeds text to the first Terminal's current screen, each line feed preceded
// by a carriage return.
void printText(const char* text) {
    for (; *text != '\0'; text++) {
        if (*text == '\n') tputc('\r');
        tputc(static_cast<unsigned char>(*text));
    }
}

// Formats into the one text buffer; longer text is cut.
void printFormatted(const char* format, va_list args) {
    char text[TEXT_BUFFER_SIZE];
    std::vsnprintf(text, sizeof text, format, args);
    printText(text);
}

}  // namespace

// Without a current screen, feeding bytes does nothing.
void tputc(int byte) {
    if (firstTerminal != nullptr) firstTerminal->feedByte(byte);
}

void tprintf(const char* format, ...) {
    if (firstTerminal == nullptr) return;
    va_list args;
    va_start(args, format);
    printFormatted(format, args);
    va_end(args);
}

// The message white on red, then the prompt red on white until a key; the
// wait needs a screen to queue the key on.
void terror(const char* format, ...) {
    auto canPrint = [] { return firstTerminal != nullptr && firstTerminal->currentScreen != nullptr; };
    if (!canPrint()) return;
    printText("\n\x1b[41;37m ");
    va_list args;
    va_start(args, format);
    printFormatted(format, args);
    va_end(args);
    printText(" \x1b[31;47m Press any key to continue ");
    if (canPrint()) firstTerminal->getWholeKey();
    printText("\x1b[0m\n");
}
