// What real full-screen programs send under the scoansi terminal description
// (and the zarnek-scoansi one a host administrator can install), cut down to
// the sequences that decide what the user sees.
#include <gtest/gtest.h>

#include <string>

#include "emulation_scenario.h"

namespace {

// SCOANSI has no status line: the host gets the whole 80x25 console.
constexpr int SCO_ROWS = 25;

std::string row(int r) { return "old row " + std::to_string(r); }

// Every row holds text a program is expected to replace or keep.
std::string filled() {
    std::string out;
    for (int r = 0; r < SCO_ROWS; r++) out += at(r, 0) + row(r);
    return out;
}

class ScoansiProgram : public ::testing::Test {
protected:
    ScoansiProgram() : s(SCOANSI, SCO_ROWS, COLS) { s.feed(filled()); }
    void TearDown() override { EXPECT_TRUE(s.consistent()); }
    std::string text(int r) const { return s.text(r, 0, COLS); }
    Scenario s;
};

const std::string FULL_WIDTH =
    "2020-01-01 00:00 +0000 Tester I Add file number 1 with a reasonably long subject";
const std::string BLANK(COLS, ' ');

}  // namespace

// A list shorter than the screen after a page down: curses writes the last
// entry to the right margin, trusts the automatic wrap to leave the cursor at
// the start of the next row, and clears the rows below with erase-line and
// cursor-down.  zarnek-scoansi's erase-line ends the wrap first, so the rows
// are cleared and the full-width entry keeps its last character.
TEST_F(ScoansiProgram, ListEndingAtTheMarginClearsTheRowsBelowIt) {
    ASSERT_EQ(FULL_WIDTH.size(), static_cast<size_t>(COLS));
    const std::string eraseLine = "\x1b[m\x1b[0A\x1b[K";
    s.feed(at(7, 0) + "\x1b[0;37;40m" + FULL_WIDTH + "\x1b[0;10m" + eraseLine + "\x1b[B" + eraseLine + "\x1b[B" +
           eraseLine);
    EXPECT_EQ(text(7), FULL_WIDTH);
    EXPECT_EQ(text(8), BLANK);
    EXPECT_EQ(text(9), BLANK);
    EXPECT_EQ(text(10), BLANK);
    EXPECT_EQ(s.text(11, 0, row(11).size()), row(11));
    EXPECT_EQ(s.cursorRow(), 10);
    EXPECT_EQ(s.cursorCol(), 0);
    // A line feed after the erase is a real move: the wrap has ended.
    s.feed("\n");
    EXPECT_EQ(s.cursorRow(), 11);
}

// The status bar of a curses program ends in the bottom-right cell: with
// autowrap switched off around it (the emulation always wraps) the screen
// must not scroll, and the next move must start from a known position.
TEST_F(ScoansiProgram, BottomRightCellDoesNotScrollTheScreen) {
    s.feed(at(SCO_ROWS - 1, 0) + "\x1b[7m" + std::string(COLS - 1, '=') + "\x1b[?7l" + "#" + "\x1b[?7h\x1b[m");
    s.feed(at(SCO_ROWS - 1, 70) + "\x1b[7mcommit 30" + at(0, 0));
    EXPECT_EQ(s.text(0, 0, row(0).size()), row(0));
    EXPECT_EQ(text(SCO_ROWS - 1), std::string(70, '=') + "commit 30#");
    EXPECT_EQ(s.cursorRow(), 0);
    EXPECT_EQ(s.cursorCol(), 0);
}

// Frames and scroll bars: the description selects line drawing with SGR 12,
// which sets bit 7 of the bytes its character map names, and leaves it with
// the SGR 10 inside its attribute reset.  The arrows it maps to bytes that
// already have bit 7 set stay as they are.
TEST_F(ScoansiProgram, LineDrawingThroughTheHighBitFont) {
    s.feed(at(3, 10) + "\x1b[12mZDD?" + "\x1b[0;10m Fruit " + "\x1b[12m3\x98\x99" + "\x1b[0;10mx");
    const std::string frame = "\xDA\xC4\xC4\xBF Fruit \xB3\x98\x99x";
    EXPECT_EQ(s.text(3, 10, frame.size()), frame);
    EXPECT_EQ(s.screen().highBit, 0);
}

// Curses programs hide the cursor while they redraw and show it again after;
// the SCO cursor-shape pair must balance however often it is sent.
TEST_F(ScoansiProgram, CursorHiddenDuringRedrawsComesBack) {
    const std::string hide = "\x1b[=14;12C";
    const std::string show = "\x1b[=10;12C";
    for (int redraw = 0; redraw < 3; redraw++) s.feed(hide + at(redraw, 0) + "redrawn" + show);
    EXPECT_TRUE(s.adapter().cursorVisible);
    s.feed(hide);
    EXPECT_FALSE(s.adapter().cursorVisible);
}
