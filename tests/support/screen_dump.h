// Runs a byte stream through a Terminal as received data and dumps the
// resulting screen as text: the screen tool and the golden tests share it.
#pragma once
#include <string>
#include <vector>

#include "terminal/terminal.h"

// The UTF-8 text of code page 437 bytes, the console's own glyphs: the
// control bytes 0x00..0x1F and 0x7F have glyphs too (0x00 is blank).
std::string cp437ToUtf8(const std::string& bytes);

struct ScreenOptions {
    Emulation emulation = XTERM;
    int consoleRows = 25;
    int consoleCols = 80;
    bool attrs = false;   // one "attrs" line per row
    bool status = false;  // the "status" line
    // Received bytes are delivered in blocks of at most this size, as the main
    // loop reads them.
    int blockSize = IO_BLOCK_SIZE;
    std::string inputPath;  // empty: standard input
};

// Parses the tool's arguments (without the program name).  On failure returns
// false with a message in error.
bool parseScreenOptions(const std::vector<std::string>& args, ScreenOptions& options,
                        std::string& error);

struct ScreenResult {
    std::string dump;
    // The stream made the terminal wait for a key, which nobody types here;
    // the dump shows the screen at that moment.
    bool waitedForKey = false;
    // Empty when the console shows exactly the screen's cells.
    std::string drift;
};

// Opens session 0 as start-up does, then feeds the input as received data.
ScreenResult runScreen(const ScreenOptions& options, const std::string& input);
