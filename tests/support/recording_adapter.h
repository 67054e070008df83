// An Adapter that draws into a cell grid and records what it was asked to
// do, with keys and key state scripted by the test.
#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "backend/adapter.h"
#include "screen/screen.h"

class Terminal;

// Thrown by readKey when a test did not script enough keys, so that a wait
// for a key fails the test instead of hanging it.
struct NoMoreKeys : std::runtime_error {
    NoMoreKeys() : std::runtime_error("the test scripted no more keys") {}
};

class RecordingAdapter : public Adapter {
public:
    RecordingAdapter(int rows = 25, int columns = 80);

    const char* name() override;
    void setAttribute(int attr) override;
    void setCursor(int position) override;
    void write(int position, const char* text, int count) override;
    void fill(int position, char ch, int count) override;
    int keyReady() override;
    int readKey() override;
    void hideCursor() override;
    void showCursor() override;
    void blockCursor() override;
    void normalCursor() override;
    int moveBlock(int source, int destination, int count) override;

    // Keys for keyReady/readKey; each may carry the key state that is in force
    // from the moment it is read.
    void pushKey(int code);
    void pushKey(int code, unsigned state);
    void pushText(const std::string& text);

    // The grid: character and attribute of a position; a row as text.
    unsigned char charAt(int position) const { return grid[position] & 0xFF; }
    int attrAt(int position) const { return grid[position] >> 8; }
    std::string rowText(int row) const;

    std::vector<Cell> grid;
    int cursorPosition = 0;
    bool cursorVisible = true;
    bool cursorBlock = false;
    int fillCalls = 0;
    int writeCalls = 0;
    // Whether moveBlock moves the grid's cells (a console that can) or
    // refuses, leaving the Terminal to repaint.
    bool blockMoves = false;
    int moveCalls = 0;
    // The call log ("setAttribute 7", "fill 10 'a' 3", ...) when logging is on.
    bool logging = false;
    std::vector<std::string> log;
    // Bytes the program wrote as console glyphs out of range: positions
    // outside the grid.  A correct program never produces any.
    int outOfRange = 0;

private:
    struct ScriptedKey {
        int code;
        bool setsState;
        unsigned state;
    };
    std::deque<ScriptedKey> keys;
    void record(const std::string& entry);
};

// True when the adapter's grid shows exactly the current screen's cells (the
// write-through drawing has not drifted); explains the first difference.
::testing::AssertionResult cellsMatch(const Terminal& terminal, const RecordingAdapter& adapter);
