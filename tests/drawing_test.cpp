// The write-through drawing operations and what reaches the console.
#include <gtest/gtest.h>

#include <algorithm>
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
    long logged(const std::string& entry) {
        return std::count(h.adapter.log.begin(), h.adapter.log.end(), entry);
    }
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

TEST(Screen, StoresNothingPastTheSpareRow) {
    Screen screen(2, 4);
    screen.cursor = 10;
    screen.storeCells('y', 5);
    EXPECT_EQ(screen.cursor, 15);
    EXPECT_EQ(screen.cells[11], 'y');
}

// A burst of drawing hides and shows the console cursor once, and a colour
// reaches the console once, when something is drawn with it.
TEST_F(DrawingTest, ColoursAndTheCursorReachTheConsoleOnceAndTheCursorStaysOnIt) {
    h.adapter.logging = true;
    h.feed("\x1b[1;5;37;44m\x1b[2L\x1b[3P");
    EXPECT_EQ(logged("hideCursor"), 1);
    EXPECT_EQ(logged("showCursor"), 1);
    EXPECT_EQ(logged("setAttribute 159"), 0);
    t().syncAttribute();
    t().syncAttribute();
    EXPECT_EQ(logged("setAttribute 159"), 1);
    s().cursor = t().cellCount;
    t().placeCursor();
    EXPECT_EQ(h.adapter.cursorPosition, t().cellCount - 1);
}

// Positions and counts may come from a host: what lies outside the screen is
// cut off, and a request with nothing left changes nothing.
TEST_F(DrawingTest, RequestsAreCutToTheScreen) {
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

    t().fillCells(-5, '*', 8);
    EXPECT_EQ(h.row(0).substr(0, 4), "***A");
    s().scrollTop = -3;
    s().scrollBottom = 1000;
    t().scrollDown(2);
    EXPECT_EQ(rowLetters(), "..?BCDEFGHIJKLMNOPQRSTUV");
    s().cursor = 5 * cols;
    t().insertCells(-10, 4, 1);
    EXPECT_EQ(h.row(5), "    " + std::string(cols - 4, 'D'));
    t().eraseBlock(-1, 0, INT_MAX, cols);
    t().scrollUp(INT_MAX);
    EXPECT_EQ(rowLetters(), std::string(rows, '.'));
}

// Keys typed during a hold still act.
TEST_F(DrawingTest, HoldLastsUntilScrollLockOffAnotherSessionOrAClearScreen) {
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

    s().modes |= MODE_HOLD;
    t().clearScreen();
    EXPECT_EQ(h.adapter.cursorPosition, 0);
    t().scrollUp(1);  // no key is scripted: a hold left on would fail here
}
