// Opening, showing, switching and connecting sessions: the device calls, the
// repaint, and the connection prompt with its nested waits.  The banner's text
// and colours are in the interpreter cases.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "terminal_harness.h"

namespace {

using Calls = std::vector<std::string>;

const int ALT_F1 = 0x6800;
const int ALT_F2 = 0x6900;
const std::string PROMPT = " Unable to connect strike any key to retry (ESC exit) ";

TEST(Sessions, SessionKeysOpenSwitchAndRepaintWithTheCursor) {
    TerminalHarness h;
    h.device.alwaysOpen = true;
    h.open(0);
    EXPECT_EQ(h.device.lastTermType + " " + std::to_string(h.device.lastRows) + "x" +
                  std::to_string(h.device.lastColumns), "xterm 24x80");
    EXPECT_EQ(h.takeReplies(), "");  // the banner owes the host nothing
    h.feed("session one");
    h.adapter.pushKey(ALT_F1);  // already shown: nothing happens
    h.adapter.pushKey(ALT_F2);
    h.terminal.pollKeys();
    ASSERT_EQ(h.terminal.currentScreen, h.terminal.screens[1]);
    EXPECT_EQ(h.screen().session, 1);
    EXPECT_NE(h.row(1).find("Terminal  2/10"), std::string::npos);
    EXPECT_STREQ(h.screen().statusText.data(), "~screen 2 ");
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));

    // Session 2 hides its cursor and leaves it just past the last cell.
    h.feed("\x1b[?25l\x1b[24;80Hx");
    h.adapter.pushKey(ALT_F1);
    h.terminal.pollKeys();
    EXPECT_EQ(h.terminal.currentScreen, h.terminal.screens[0]);
    EXPECT_EQ(h.adapter.rowText(3).substr(0, 11), "session one");
    EXPECT_EQ(h.adapter.rowText(24).substr(0, 10), "~screen 1 ");
    EXPECT_TRUE(h.adapter.cursorVisible);
    EXPECT_EQ(h.adapter.cursorPosition, h.screen().cursor);
    EXPECT_EQ(h.device.calls, (Calls{"open 0", "leave 0", "open 1", "leave 1", "open 0"}));
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
    EXPECT_EQ(h.terminal.switchSession(1), 0);
    EXPECT_FALSE(h.adapter.cursorVisible);
    // The console has no cell after the last one: the cursor stays on it.
    EXPECT_EQ(h.adapter.cursorPosition, h.terminal.cellCount - 1);
    EXPECT_EQ(h.screen().cursor, h.terminal.cellCount);
    EXPECT_EQ(h.terminal.switchSession(1), 1);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST(ConnectPrompt, AnyKeyRetriesUntilConnected) {
    TerminalHarness h;
    for (int i = 0; i < 2; i++) h.device.pushOpenResult(1);
    // Alt+U queues two bytes, one answer; the hot key acts without ending the wait.
    for (int key : {0x1600, KEY_SCROLL_ON, int('b')}) h.adapter.pushKey(key);
    h.open(0);
    EXPECT_EQ(h.device.calls, (Calls{"open 0", "open 0", "open 0"}));
    EXPECT_EQ(h.terminal.closePending, 0);
    EXPECT_EQ(h.row(3).substr(0, PROMPT.size()), PROMPT);
    EXPECT_EQ(h.row(4).substr(0, PROMPT.size()), PROMPT);
    EXPECT_EQ(h.attrAt(3, 1), 0x47);  // white on red
    EXPECT_TRUE(h.screen().modes & MODE_HOLD);
    EXPECT_EQ(h.takeReplies(), "");  // the prompts took both keys whole
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST(ConnectPrompt, EscapeOrAKeyStartingWithItGivesUpAndTheRunEnds) {
    // ESC, Alt+A, and F1 of SCOANSI, which sends ESC [ M.
    const std::pair<Emulation, int> keys[] = {{XTERM, 27}, {XTERM, 0x1E00}, {SCOANSI, 0x3B00}};
    for (const auto& [emulation, code] : keys) {
        SCOPED_TRACE(code);
        TerminalHarness h(emulation);
        h.device.pushOpenResult(1);
        h.adapter.pushKey(code);
        h.open(0);
        EXPECT_EQ(h.terminal.closePending, 1);
        EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
        h.terminal.run();  // closes the only session and returns
        EXPECT_EQ(h.terminal.screens[0], nullptr);
        EXPECT_EQ(h.device.calls, (Calls{"open 0", "close 0"}));
    }
}

TEST(ConnectPrompt, SwitchingAwayAbandonsThePrompt) {
    TerminalHarness h;
    h.device.pushOpenResult(1);
    h.adapter.pushKey(ALT_F2);
    h.adapter.pushKey('z');
    h.open(0);
    // Session 2 was opened from the prompt and is shown; the prompt of session
    // 1 neither took the next key nor retried nor closed anything.
    EXPECT_EQ(h.terminal.currentScreen, h.terminal.screens[1]);
    EXPECT_EQ(h.terminal.closePending, 0);
    EXPECT_EQ(h.takeReplies(), "z");
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
    // Showing session 1 again connects it again.
    h.terminal.switchSession(0);
    EXPECT_EQ(h.device.calls, (Calls{"open 0", "leave 0", "open 1", "leave 1", "open 0"}));
}

// Keys that reach the program one at a time, each only once it waits for one,
// so nested waits see them in turn.
struct SlowTypist : RecordingAdapter {
    int keyReady() override { return 0; }
};

TEST(ConnectPrompt, StatusPageAtThePromptLeavesOnePromptWaiting) {
    SlowTypist adapter;
    ScriptedDevice device;
    Terminal terminal(&adapter, &device, XTERM, 0, 0);
    for (int i = 0; i < 2; i++) device.pushOpenResult(1);
    adapter.pushKey(0x1701);  // Ctrl+Alt+I at the prompt
    adapter.pushKey('q');     // ends the page; its return reconnects, and fails
    adapter.pushKey(27);      // gives up at the prompt shown after the page
    terminal.openSession(0);
    EXPECT_EQ(terminal.currentScreen, terminal.screens[0]);
    EXPECT_EQ(terminal.closePending, 1);
    // No second ESC is needed for the prompt that the page interrupted.
    EXPECT_FALSE(adapter.RecordingAdapter::keyReady());
    EXPECT_EQ(device.calls, (Calls{"open 0", "leave 0", "open 0"}));
    EXPECT_TRUE(cellsMatch(terminal, adapter));
}

}  // namespace
