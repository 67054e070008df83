#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "terminal_harness.h"

namespace {

constexpr int rows = 24;
constexpr int cols = 80;

// A 24 x 80 screen whose row r is filled with the letter 'A' + r.
struct DrawingTest : ::testing::Test {
    DrawingTest() {
        h.device.alwaysOpen = true;
        h.open(0);
        t().clearScreen();
        for (int r = 0; r < rows; r++) t().fillCells(r * cols, 'A' + r, cols);
    }
    ~DrawingTest() override { EXPECT_TRUE(cellsMatch(h.terminal, h.adapter)); }

    Terminal& t() { return h.terminal; }
    Screen& s() { return h.screen(); }
    // Each row as its letter, '.' for a blank row, '?' for a mixed one.
    std::string rowLetters() {
        std::string text;
        for (int r = 0; r < rows; r++) {
            std::string row = h.row(r);
            text += row.find_first_not_of(row[0]) != std::string::npos ? '?' : row[0] == ' ' ? '.' : row[0];
        }
        return text;
    }
    TerminalHarness h;
};

}  // namespace

TEST_F(DrawingTest, MovedBlocksGoOutInRunsOfEightyThenRestoreTheAttribute) {
    s().sentAttr = 0x07;
    h.adapter.setAttribute(0x07);
    t().eraseBlock(0, 0, 3, cols);
    s().sentAttr = 0x4E;  // what the next character would be drawn in
    h.adapter.setAttribute(0x4E);
    h.adapter.logging = true;
    t().moveCells(0, 10 * cols, 200);
    std::vector<std::string> drawn;
    for (const std::string& entry : h.adapter.log)
        if (entry.find("Cursor") == std::string::npos) drawn.push_back(entry);
    EXPECT_EQ(drawn, (std::vector<std::string>{"setAttribute 7", "write 800 " + std::string(80, ' '),
                                               "setAttribute 7", "write 880 " + std::string(80, ' '),
                                               "setAttribute 7", "write 960 " + std::string(40, ' '),
                                               "setAttribute 78"}));
}

TEST_F(DrawingTest, ClearScreenErasesThenResetsRenditionsAndParser) {
    s().cursor = 100;
    s().attrFlags = ATTR_REVERSE | ATTR_BOLD;
    s().scrollTop = 3;
    s().modes |= MODE_GRAPHICS | MODE_HOLD;
    int attr = s().sentAttr;
    t().clearScreen();
    EXPECT_EQ(rowLetters(), std::string(rows, '.'));
    EXPECT_EQ(h.attrAt(10, 10), attr);
    EXPECT_EQ(h.adapter.cursorPosition, 0);
    EXPECT_EQ(s().attrFlags, 0u);
    EXPECT_EQ(s().scrollTop, 0);
    EXPECT_EQ(s().modes & (MODE_GRAPHICS | MODE_HOLD), 0u);
}

TEST_F(DrawingTest, RequestsWithNothingOnTheScreenChangeNothing) {
    const std::vector<Cell> before = s().cells;
    s().scrollTop = 10;
    s().scrollBottom = 4;  // bottom above top
    t().scrollUp(1);
    t().scrollDown(3);
    s().cursor = rows * cols;  // just past the last cell
    t().insertCells(0, 5, 1);
    t().deleteCells(0, 5, 1);
    s().cursor = 0;
    t().scrollDown(-4);
    t().insertCells(0, -7, 1);
    t().deleteCells(INT_MAX, 3, 1);
    t().fillCells(rows * cols, 'x', INT_MAX);
    t().eraseBlock(INT_MIN, 0, INT_MAX, -1);
    t().moveCells(INT_MIN, 0, 100);
    t().paintCells(INT_MAX - 10, 100, s().cells.data());
    EXPECT_EQ(s().cells, before);
}

TEST_F(DrawingTest, OversizedRequestsAreCutToTheScreen) {
    t().fillCells(-5, '*', 8);
    EXPECT_EQ(h.row(0).substr(0, 4), "***A");
    s().scrollTop = -3;
    s().scrollBottom = 1000;
    t().scrollDown(2);
    EXPECT_EQ(rowLetters(), "..?BCDEFGHIJKLMNOPQRSTUV");
    s().cursor = 5 * cols;
    t().deleteCells(2, INT_MAX, 1);
    EXPECT_EQ(h.row(5), "DD" + std::string(cols - 2, ' '));
    t().insertCells(-10, 4, 1);
    EXPECT_EQ(h.row(5), "    DD" + std::string(cols - 6, ' '));
    t().eraseBlock(-1, 0, INT_MAX, cols);
    t().scrollUp(INT_MAX);
    EXPECT_EQ(rowLetters(), std::string(rows, '.'));
}

TEST_F(DrawingTest, HoldWaitsForScrollLockOffOrAnotherSessionWhileKeysStillAct) {
    Screen* held = &s();
    held->modes |= MODE_HOLD;
    h.adapter.pushKey('k');
    h.adapter.pushKey(KEY_SCROLL_OFF);
    t().scrollUp(1);
    EXPECT_EQ(rowLetters(), "BCDEFGHIJKLMNOPQRSTUVWX.");
    EXPECT_EQ(h.takeReplies(), "k");

    held->modes |= MODE_HOLD;
    h.adapter.pushKey(0x6900);  // Alt+F2 opens and shows session 2: the scroll is abandoned
    t().scrollUp(1);
    EXPECT_EQ(t().currentScreen, t().screens[1]);
    EXPECT_EQ(held->cells[0] & 0xFF, 'B');
    EXPECT_EQ(held->cells[(rows - 2) * cols] & 0xFF, 'X');
}
