// The fakes that stand in for the console and the connection, and a Terminal over them with helpers to feed
// host bytes and read the screen back.
#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "terminal/terminal.h"

// Thrown by readKey when the test scripted no more keys: a wait for a key fails the test instead of hanging
// it.
struct NoMoreKeys : std::runtime_error {
    NoMoreKeys() : std::runtime_error("the test scripted no more keys") {}
};

// A console of cells that logs the calls it gets ("fill 10 97 3") while logging is on; keys and the key state
// in force from each are scripted.
class RecordingAdapter : public Adapter {
public:
    explicit RecordingAdapter(int rows = 25, int columns = 80);
    const char* name() override { return "Recording Adapter"; }
    void setAttribute(int attr) override { Adapter::setAttribute(attr); note("setAttribute", attr); }
    void setCursor(int position) override {
        outOfRange += position < 0 || position >= static_cast<int>(grid.size());
        cursorPosition = position;
        note("setCursor", position);
    }
    void write(int position, const char* text, int count) override { draw("write", position, text, 1, count); }
    void fill(int position, char ch, int count) override { fillCalls++; draw("fill", position, &ch, 0, count); }
    // Without typeAhead a key reaches the program only through a wait that reads it.
    int keyReady() override {
        keyPolls++;
        return typeAhead && !keys.empty();
    }
    int readKey() override;
    void hideCursor() override { cursorVisible = cursorBlock = false; note("hideCursor"); }
    void showCursor() override { cursorBlock = false; cursorVisible = true; note("showCursor"); }
    void blockCursor() override { cursorBlock = true; note("blockCursor"); }
    void normalCursor() override { cursorBlock = false; note("normalCursor"); }
    int moveBlock(int source, int destination, int count) override;

    void pushKey(int code, std::optional<unsigned> state = {}) { keys.push_back({code, state}); }
    void pushKeys(std::initializer_list<int> codes) {
        for (int code : codes) pushKey(code);
    }
    // The console takes this size when the key that reports it is read.
    void pushResize(int newRows, int newColumns) { keys.push_back({KEY_RESIZE, {}, {{newRows, newColumns}}}); }
    std::string rowText(int row) const;

    std::vector<Cell> grid;
    int cursorPosition = 0, fillCalls = 0, moveCalls = 0, keyPolls = 0;
    bool cursorVisible = true, cursorBlock = false, typeAhead = true;
    bool blockMoves = false;  // moves blocks itself instead of leaving the Terminal to repaint
    bool logging = false;
    std::vector<std::string> log;
    int outOfRange = 0;  // cells drawn outside the grid: a correct program draws none

private:
    void draw(const char* call, int position, const char* text, int step, int count);
    void note(const std::string& call, int argument = -1, const std::string& more = "") {
        if (!logging) return;
        log.push_back(argument < 0 ? call : call + " " + std::to_string(argument) + (more.empty() ? "" : " ") + more);
    }
    struct Key {
        int code;
        std::optional<unsigned> state;
        std::optional<std::pair<int, int>> size = {};
    };
    std::deque<Key> keys;
};

// A connection whose reads are scripted: data, handed out over as many reads as it takes, or a negative
// result (a lost connection).  Opens, leaves and closes are recorded ("open 0"), and what each session was
// sent.
class ScriptedDevice : public Device {
public:
    // Sessions alwaysOpen, like the echo device's, never time a connection.
    int isOpen(int session) override { return alwaysOpen || connected[session]; }
    void leave(int session) override { calls.push_back("leave " + std::to_string(session)); }
    int open(int session, const char* termType, int rows, int columns) override;
    void close(int session) override;
    int read(char* buffer, int max) override;
    int write(const char* bytes, int count) override;
    const char* name() override { return "Scripted Device"; }
    void resize(int session, int rows, int columns) override {
        calls.push_back("resize " + std::to_string(session) + " " + std::to_string(rows) + "x" + std::to_string(columns));
    }
    void pushData(const std::string& bytes) { script.push_back({bytes, 0}); }
    void pushReadResult(int result) { script.push_back({"", result}); }

    std::deque<int> openResults;  // of the next opens (0 success); success when none is left
    bool alwaysOpen = false;
    int writeLimit = -1;  // when set, write accepts this many bytes instead of all
    bool connected[MAX_SESSIONS] = {};
    std::string written;  // by every session
    std::vector<std::string> calls;
    std::string opened;  // terminal type and size of the last open: "xterm 24x80"
    int reads = 0;

private:
    std::deque<std::pair<std::string, int>> script;
};

// A Terminal over the fakes, or over a device of the test's own.  Its friend: the accessors are the part of
// its state that tests look at.
struct TerminalHarness {
    explicit TerminalHarness(Emulation emulation = XTERM, int consoleRows = 25, int consoleCols = 80,
                             int selectPrinter = 0, int doubleBuffer = 0, Device* otherDevice = nullptr)
        : adapter(consoleRows, consoleCols),
          terminal(&adapter, otherDevice ? otherDevice : &device, emulation, selectPrinter, doubleBuffer) {}

    // Opens session n as start-up does (banner, key definitions, connection).
    void open(int session = 0) { terminal.openSession(session); }
    void feed(const std::string& bytes) { terminal.feedBytes(bytes.data(), static_cast<int>(bytes.size())); }
    void clear() { feed("\x1b[2J"); }
    // Characters of one row of the current screen, or of another.
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

// True when the console shows exactly the current screen's cells, its cursor and its drawing attribute (the
// write-through drawing has not drifted).
::testing::AssertionResult cellsMatch(const Terminal& terminal, const RecordingAdapter& adapter);
