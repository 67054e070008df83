#include "terminal_harness.h"

TerminalHarness::TerminalHarness(Emulation emulation, int consoleRows, int consoleCols,
                                 int selectPrinter, int doubleBuffer)
    : adapter(consoleRows, consoleCols),
      terminal(&adapter, &device, emulation, selectPrinter, doubleBuffer) {}

TerminalHarness::~TerminalHarness() = default;

void TerminalHarness::open(int session) { terminal.openSession(session); }

void TerminalHarness::feed(const std::string& bytes) {
    terminal.feedBytes(bytes.data(), static_cast<int>(bytes.size()));
}

void TerminalHarness::clear() { feed("\x1b[2J"); }

std::string TerminalHarness::row(int r) const {
    std::string text;
    const Screen& s = screen();
    for (int c = 0; c < s.cols; c++) text += static_cast<char>(s.cells[r * s.cols + c] & 0xFF);
    return text;
}

int TerminalHarness::cursorRow() const { return screen().cursor / screen().cols; }

int TerminalHarness::cursorCol() const { return screen().cursor % screen().cols; }

int TerminalHarness::attrAt(int r, int c) const { return screen().cells[r * screen().cols + c] >> 8; }

std::string TerminalHarness::takeReplies() {
    std::string bytes;
    Screen& s = screen();
    while (s.keysQueued()) bytes += static_cast<char>(s.takeKey());
    return bytes;
}
