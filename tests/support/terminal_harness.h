// The fakes that stand in for the console and the connection, and a Terminal
// over them with helpers to feed host bytes and read the screen back.
#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "terminal/terminal.h"

// Thrown by readKey when a test scripted no more keys, so that a wait for a
// key fails the test instead of hanging it.
struct NoMoreKeys : std::runtime_error {
    NoMoreKeys() : std::runtime_error("the test scripted no more keys") {}
};

// An Adapter that draws into a cell grid and, while logging is on, records
// what it was asked to do ("setAttribute 7", "fill 10 97 3", ...).  Keys and
// the key state are scripted.
class RecordingAdapter : public Adapter {
public:
    explicit RecordingAdapter(int rows = 25, int columns = 80);

    const char* name() override { return "Recording Adapter"; }
    void setAttribute(int attr) override;
    void setCursor(int position) override;
    void write(int position, const char* text, int count) override;
    void fill(int position, char ch, int count) override;
    // Without typeAhead a key reaches the program only through a wait that reads it.
    int keyReady() override { return typeAhead && !keys.empty(); }
    int readKey() override;
    void hideCursor() override { cursor(false, false, "hideCursor"); }
    void showCursor() override { cursor(true, false, "showCursor"); }
    void blockCursor() override { cursor(cursorVisible, true, "blockCursor"); }
    void normalCursor() override { cursor(cursorVisible, false, "normalCursor"); }
    int moveBlock(int source, int destination, int count) override;

    // Keys, each with the key state in force from the moment it is read.
    void pushKey(int code, std::optional<unsigned> state = {}) { keys.push_back({code, state}); }
    void pushKeys(std::initializer_list<int> codes) {
        for (int code : codes) pushKey(code);
    }
    std::string rowText(int row) const;

    std::vector<Cell> grid;
    int cursorPosition = 0;
    bool cursorVisible = true;
    bool cursorBlock = false;
    bool typeAhead = true;
    // Whether moveBlock moves the cells (a console that can) or leaves the
    // Terminal to repaint them.
    bool blockMoves = false;
    int fillCalls = 0;
    int moveCalls = 0;
    bool logging = false;
    std::vector<std::string> log;
    // Drawing at positions outside the grid; a correct program has none.
    int outOfRange = 0;

private:
    void draw(int position, const char* text, int step, int count);
    void cursor(bool visible, bool block, const char* call);
    void note(const std::string& call) {
        if (logging) log.push_back(call);
    }
    struct Key {
        int code;
        std::optional<unsigned> state;
    };
    std::deque<Key> keys;
};

// A Device whose reads are scripted and whose opens, leaves and closes are
// recorded ("open 0", "leave 0", "close 0"), with what each session was sent.
class ScriptedDevice : public Device {
public:
    int isOpen(int session) override { return alwaysOpen || connected[session]; }
    void leave(int session) override { calls.push_back("leave " + std::to_string(session)); }
    int open(int session, const char* termType, int rows, int columns) override;
    void close(int session) override;
    int read(char* buffer, int max) override;
    int write(const char* bytes, int count) override;
    const char* name() override { return "Scripted Device"; }

    // What reads return in turn: data, handed out over as many reads as it
    // takes, or a negative result (a lost connection).
    void pushData(const std::string& bytes) { script.push_back({bytes, 0}); }
    void pushReadResult(int result) { script.push_back({"", result}); }

    // Results of the next opens (0 success); when none is left, open succeeds.
    std::deque<int> openResults;
    // Sessions report themselves open whatever happened (like the echo
    // device), so no connection attempt is ever timed.
    bool alwaysOpen = false;
    int writeLimit = -1;  // when set, write accepts this many bytes instead of all
    bool connected[MAX_SESSIONS] = {};
    std::string written[MAX_SESSIONS];
    std::vector<std::string> calls;
    std::string opened;  // terminal type and size of the last open: "xterm 24x80"
    int reads = 0;

private:
    struct Chunk {
        std::string bytes;
        int result;
    };
    std::deque<Chunk> script;
    int current = 0;
};

// A Terminal over the fakes, or over a device of the test's own.  Its friend:
// the accessors below are the part of its state that tests look at.
struct TerminalHarness {
    explicit TerminalHarness(Emulation emulation = XTERM, int consoleRows = 25, int consoleCols = 80,
                             int selectPrinter = 0, int doubleBuffer = 0, Device* otherDevice = nullptr);

    // Opens session n as start-up does (banner, key definitions, connection).
    void open(int session = 0) { terminal.openSession(session); }
    // Host bytes through the interpreter of the current screen.
    void feed(const std::string& bytes) { terminal.feedBytes(bytes.data(), static_cast<int>(bytes.size())); }
    // Clears the current screen and homes the cursor (no banner left over).
    void clear() { feed("\x1b[2J"); }
    // Characters of one emulated row of the current screen, or of another.
    std::string row(int r, const Screen* of = nullptr) const;
    int attrAt(int r, int c) const { return screen().cells[r * screen().cols + c] >> 8; }
    // Takes every byte queued for the host out of the current key queue.
    std::string takeReplies();

    static Screen* shown(const Terminal& t) { return t.currentScreen; }
    Screen& screen() const { return *terminal.currentScreen; }
    Screen* session(int n) const { return terminal.screens[n]; }
    int cellCount() const { return terminal.cellCount; }
    std::vector<char>& copyBuffer() { return terminal.copyBuffer; }
    int32_t& closePending() { return terminal.closePending; }
    int64_t& bytesRead() { return terminal.bytesRead; }
    int64_t& bytesWritten() { return terminal.bytesWritten; }
    time_t& connectTime(int n) { return terminal.connectTime[n]; }
    char* printerName() { return terminal.printerName; }
    int32_t& selectPrinter() { return terminal.selectPrinter; }
    int replayFd() const { return terminal.replayFd; }

    RecordingAdapter adapter;
    ScriptedDevice device;
    Terminal terminal;
};

// True when the adapter's grid shows exactly the current screen's cells (the
// write-through drawing has not drifted); explains the first difference.
::testing::AssertionResult cellsMatch(const Terminal& terminal, const RecordingAdapter& adapter);
