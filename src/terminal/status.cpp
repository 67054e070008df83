// The status line below the emulated screen and the status page.
#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <string>

#include "terminal/terminal.h"

namespace {

constexpr const char* CAPS_TEXT = "CAPS";
constexpr const char* NUM_TEXT = "NUM";
// Distances of the indicators from the console's right edge.
constexpr int CAPS_OFFSET = 6;
constexpr int NUM_OFFSET = 10;
// The rows the page starts below: the banner's two lines and an empty one.
constexpr const char* PAGE_START = "\x1b[4;1H";

// An indicator that would begin left of the line (a console narrower than
// ten columns) is left out rather than cut.
void putIndicator(std::string& line, int position, const char* text) {
    if (position >= 0) line.replace(position, std::strlen(text), text);
}

}  // namespace

bool Terminal::statusLinePresent() const { return currentScreen != nullptr && rows < adapter->rows; }

void Terminal::writeSessionLine(int session, time_t now) {
    tprintf("Session # %2d ", session + 1);
    const std::tm* connected =
        screens[session] != nullptr ? std::localtime(&connectTime[session]) : nullptr;
    if (connected == nullptr) {
        tprintf("Not connected\n");
        return;
    }
    tprintf("Connected     %02d/%02d/%04d %02d:%02d:%02d", connected->tm_mday,
            connected->tm_mon + 1, connected->tm_year + 1900, connected->tm_hour,
            connected->tm_min, connected->tm_sec);
    tprintf(" Elapsed %10.0f sec\n", std::difftime(now, connectTime[session]));
}

void Terminal::writeStatusPage() {
    tprintf("%s", PAGE_START);
    tprintf("Adapter : %s (%dx%d)\n", adapter->name(), cols, rows);
    tprintf("Device  : %s (Read %" PRId64 ", Written %" PRId64 ")\n", device->name(),
            bytesRead, bytesWritten);
    tprintf("Printer : %s\n", printerName);
    tprintf("Switch  : %d (%d)\n", switchEnabled, MAX_SESSIONS);
    tprintf("Capture : %s\x1b[K\n", captureFd == -1 ? "off" : "on zarnek.cap");
    tprintf("Copy    : %5d char\n", static_cast<int>(std::strlen(copyBuffer.data())));
    // The defined page stands as it is for an 8-bit host; a UTF-8 host adds
    // a line.
    if (utf8Host) tprintf("Charset : UTF-8 host, code page 437 screen\n");
    tprintf("\n");
    time_t now = std::time(nullptr);
    for (int i = 0; i < MAX_SESSIONS; i++) writeSessionLine(i, now);
}

void Terminal::drawStatusLine() {
    if (!statusLinePresent()) return;
    int width = adapter->columns;
    int height = adapter->rows;
    // The last column is never written: on a console that scrolls when its
    // last cell is written, writing it would move the whole screen.
    int length = width - 1;
    if (length <= 0) return;
    std::string line(length, static_cast<char>(RULE_CHARACTER));
    const std::vector<char>& text = currentScreen->statusText;
    size_t textLength = std::find(text.begin(), text.end(), 0) - text.begin();
    size_t shown = std::min(textLength, line.size());
    line.replace(0, shown, text.data(), shown);
    if (currentScreen->lockKeys & KEYSTATE_CAPSLOCK) putIndicator(line, width - CAPS_OFFSET, CAPS_TEXT);
    if (currentScreen->lockKeys & KEYSTATE_NUMLOCK) putIndicator(line, width - NUM_OFFSET, NUM_TEXT);
    int saved = adapter->attribute();
    adapter->setAttribute(STATUS_ATTRIBUTE);
    adapter->write((height - 1) * width, line.data(), length);
    adapter->setAttribute(saved);
    placeCursor();
}

void Terminal::setStatus(const char* format, ...) {
    char text[TEXT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (!statusLinePresent()) return;
    // Room for the text, the blank after it and the terminator: a longer
    // text (a host's title) is cut, the blank is always kept.
    std::vector<char>& status = currentScreen->statusText;
    if (status.size() < 2) return;
    size_t length = std::strlen(text);
    if (length > status.size() - 2) length = status.size() - 2;
    std::memcpy(status.data(), text, length);
    status[length] = ' ';
    status[length + 1] = 0;
    drawStatusLine();
}

void Terminal::showStatusPage() {
    if (currentScreen == nullptr) return;
    int previous = switchSession(LOCAL_SESSION);
    cursorOff();
    writeStatusPage();
    cursorOn();
    tprintf("Press any key to continue");
    // Hot keys act while the page waits.  One that shows another session
    // (also one typed ahead of the page) leaves the page for it, and the
    // wait ends without taking a key meant for that session.
    if (promptKey() < 0) return;
    tprintf("\n\n");
    switchSession(previous);
}
