#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "terminal_harness.h"

namespace {

struct ScreenTest : ::testing::Test {
    ScreenTest() {
        h.device.alwaysOpen = true;
        h.open(0);
        s().setAttrState(Screen(1, 1).attrState());  // as new, before the banner's colours
        h.adapter.logging = true;
    }
    Screen& s() { return h.screen(); }
    long logged(const std::string& entry) { return std::count(h.adapter.log.begin(), h.adapter.log.end(), entry); }
    TerminalHarness h;
};

}  // namespace

TEST(Screen, StartsWithAnEmptyTitleAndStoresInTheSentAttribute) {
    Screen screen(2, 4);
    EXPECT_STREQ(screen.statusText.data(), "");
    EXPECT_EQ(screen.scrollBottom, 1);
    screen.sentAttr = 0x1E;
    screen.cursor = 2;
    screen.storeCells('x', 3);
    EXPECT_EQ(screen.cursor, 5);
    EXPECT_EQ(screen.cells[1], 0);
    EXPECT_EQ(screen.cells[4], 0x1E78);
    // Past the spare row nothing is stored.
    screen.cursor = 10;
    screen.storeCells('y', 5);
    EXPECT_EQ(screen.cursor, 15);
    EXPECT_EQ(screen.cells[11], 0x1E79);
}

TEST_F(ScreenTest, AttributeFollowsColoursAndReachesTheConsoleLazily) {
    h.terminal.computeAttribute();
    EXPECT_EQ(s().currentAttr, 0x02);  // green on black
    s().attrFlags = ATTR_REVERSE;  // colorFg high, colorBg low
    s().colorFg = ansiToColor(2);  // the banner's 32
    s().colorBg = ansiToColor(0);  // and 40
    h.terminal.computeAttribute();
    EXPECT_EQ(s().currentAttr, 0x20);
    s().attrFlags = ATTR_BLINK | ATTR_BOLD;
    s().normalFg = ansiToColor(7);
    s().normalBg = ansiToColor(4);
    h.terminal.computeAttribute();
    EXPECT_EQ(s().currentAttr, 0x9F);
    EXPECT_EQ(logged("setAttribute 159"), 0);
    h.terminal.syncAttribute();
    h.terminal.syncAttribute();
    EXPECT_EQ(logged("setAttribute 159"), 1);
}

TEST_F(ScreenTest, CursorHidingNestsAndAPositionPastTheEndStaysOnTheLastCell) {
    h.terminal.cursorOff();
    h.terminal.cursorOff();
    h.terminal.cursorOn();
    EXPECT_FALSE(h.adapter.cursorVisible);
    h.terminal.cursorOn();
    EXPECT_TRUE(h.adapter.cursorVisible);
    EXPECT_EQ(logged("hideCursor"), 1);
    EXPECT_EQ(logged("showCursor"), 1);
    h.terminal.cursorOn();  // shown twice over, as a host can ask
    h.terminal.cursorOff();
    EXPECT_TRUE(h.adapter.cursorVisible);

    s().cursor = h.terminal.cellCount;
    h.terminal.placeCursor();
    EXPECT_EQ(h.adapter.cursorPosition, h.terminal.cellCount - 1);
    EXPECT_EQ(h.adapter.outOfRange, 0);
}
