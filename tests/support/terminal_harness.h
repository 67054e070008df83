// A Terminal over the recording adapter and the scripted device, with small
// helpers to feed host bytes and read the screen back.
#pragma once
#include <string>

#include "recording_adapter.h"
#include "scripted_device.h"
#include "terminal/terminal.h"

struct TerminalHarness {
    explicit TerminalHarness(Emulation emulation = XTERM, int consoleRows = 25,
                             int consoleCols = 80, int selectPrinter = 0, int doubleBuffer = 0);
    ~TerminalHarness();

    // Opens session n as start-up does (banner, key definitions, connection).
    void open(int session = 0);
    // Host bytes through the interpreter of the current screen.
    void feed(const std::string& bytes);
    // Clears the current screen and homes the cursor (no banner left over).
    void clear();

    Screen& screen() const { return *terminal.currentScreen; }
    // Characters of one emulated row of the current screen.
    std::string row(int r) const;
    int cursorRow() const;
    int cursorCol() const;
    int attrAt(int r, int c) const;
    // Takes every byte queued for the host out of the current key queue.
    std::string takeReplies();

    RecordingAdapter adapter;
    ScriptedDevice device;
    Terminal terminal;
};
