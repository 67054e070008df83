// The status line below the emulated screen and the status page.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>

#include "terminal_harness.h"

namespace {

std::string rules(int n) { return std::string(n, static_cast<char>(RULE_CHARACTER)); }

std::string pageRow(const TerminalHarness& h, int r) {
    const Screen& page = *h.terminal.screens[LOCAL_SESSION];
    std::string text;
    for (int c = 0; c < page.cols; c++) text += static_cast<char>(page.cells[r * page.cols + c] & 0xFF);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// Session 1 open on a console of the given shape, with these lock keys shown.
struct StatusSession : TerminalHarness {
    StatusSession(Emulation emulation = XTERM, int columns = 80, unsigned locks = 0)
        : TerminalHarness(emulation, 25, columns) {
        open(0);
        adapter.keyState_ = locks;
        terminal.pollKeys();
    }
};

TEST(StatusLine, RuledTextLockIndicatorsInsideAnyConsoleAndLastColumnUntouched) {
    StatusSession h;
    EXPECT_EQ(h.adapter.rowText(24), "~screen 1 " + rules(69) + " ");
    EXPECT_EQ(h.adapter.attrAt(24 * 80), STATUS_ATTRIBUTE);
    EXPECT_EQ(h.adapter.grid[24 * 80 + 79], 0x0720);
    h.adapter.keyState_ = KEYSTATE_CAPSLOCK;
    h.terminal.pollKeys();
    EXPECT_EQ(h.adapter.rowText(24).substr(60), rules(14) + "CAPS" + rules(1) + " ");
    // A host title longer than the line is cut; the blank stays.
    h.feed("\x1b]0;" + std::string(200, 't') + "\a");
    EXPECT_EQ(std::string(h.screen().statusText.data()), std::string(79, 't') + " ");
    EXPECT_EQ(h.adapter.cursorPosition, h.screen().cursor);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));

    // Consoles of every shape: none, narrow, wide.
    StatusSession full(VT100);
    full.feed("\x1b[25;1Hbottom");
    full.terminal.setStatus("~screen %d", 5);
    EXPECT_STREQ(full.screen().statusText.data(), "");
    EXPECT_EQ(full.adapter.rowText(24).substr(0, 6), "bottom");

    // Too narrow for "NUM": it is left out, "CAPS" covers the cut text.
    StatusSession narrow(XTERM, 8, KEYSTATE_CAPSLOCK | KEYSTATE_NUMLOCK);
    EXPECT_EQ(narrow.adapter.rowText(24), "~sCAPSn ");
    StatusSession wide(XTERM, 300, KEYSTATE_CAPSLOCK | KEYSTATE_NUMLOCK);
    EXPECT_EQ(wide.adapter.rowText(24), "~screen 1 " + rules(280) + "NUM" + rules(1) + "CAPS" + rules(1) +
                                            " ");
    EXPECT_EQ(narrow.adapter.outOfRange + wide.adapter.outOfRange, 0);
}

TEST(StatusPage, ShowsTheTerminalWhileHotKeysActAndReturnsToTheSession) {
    StatusSession h;
    h.terminal.bytesRead = 5000000000LL;
    h.terminal.bytesWritten = 7;
    h.terminal.connectTime[0] = std::time(nullptr) - 90;
    h.adapter.pushKey(0x4800);  // Up, ESC O A: the page takes the whole key
    h.terminal.showStatusPage();
    EXPECT_EQ(pageRow(h, 3), "Adapter : Recording Adapter (80x24)");
    EXPECT_EQ(pageRow(h, 4), "Device  : Scripted Device (Read 5000000000, Written 7)");
    EXPECT_EQ(pageRow(h, 5), "Printer : lpt1");
    EXPECT_EQ(pageRow(h, 6), "Switch  : 1 (10)");
    EXPECT_EQ(pageRow(h, 7), "Capture : off");
    EXPECT_EQ(pageRow(h, 8), "Copy    :     0 char");
    const std::regex connected(R"(Session #  1 Connected     \d\d/\d\d/\d{4} \d\d:\d\d:\d\d)"
                               R"( Elapsed {9}9[01] sec)");
    EXPECT_TRUE(std::regex_match(pageRow(h, 10), connected)) << pageRow(h, 10);
    EXPECT_EQ(pageRow(h, 19), "Session # 10 Not connected");
    EXPECT_EQ(pageRow(h, 20), "Press any key to continue");
    EXPECT_EQ(h.terminal.currentScreen, h.terminal.screens[0]);
    EXPECT_EQ(h.takeReplies(), "");
    EXPECT_FALSE(h.terminal.screens[LOCAL_SESSION]->keysQueued());
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));

    // Hot keys act while it waits.  A nested page takes the first key, the outer one the second.
    for (int key : {0x1701 /* Ctrl+Alt+I */, int('a'), int('b')}) h.adapter.pushKey(key);
    h.terminal.showStatusPage();
    EXPECT_EQ(h.terminal.currentScreen, h.terminal.screens[0]);
    EXPECT_FALSE(h.adapter.keyReady());

    // A session key, also one typed before the page waits, leaves the page
    // for that session at once; the next key is that session's own.
    h.adapter.pushKey(0x6900 /* Alt+F2 */);
    h.terminal.showStatusPage();
    ASSERT_NE(h.terminal.screens[1], nullptr);
    EXPECT_EQ(h.terminal.currentScreen, h.terminal.screens[1]);
    h.adapter.pushKey('z');
    h.terminal.pollKeys();
    EXPECT_EQ(h.takeReplies(), "z");

    // The close key closes the session the page was shown from.
    for (int key : {0x2D01 /* Ctrl+Alt+X */, int('k')}) h.adapter.pushKey(key);
    h.terminal.showStatusPage();
    EXPECT_EQ(h.terminal.currentScreen, h.terminal.screens[1]);
    EXPECT_EQ(h.terminal.closePending, 1);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

}  // namespace
