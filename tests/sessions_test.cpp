// Opening, showing, switching and connecting sessions: the banner, the
// device calls, the repaint, and the connection prompt with its nested waits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal_harness.h"

namespace {

using Calls = std::vector<std::string>;

const int ALT_F1 = 0x6800;
const int ALT_F2 = 0x6900;
const std::string PROMPT = " Unable to connect strike any key to retry (ESC exit) ";

std::string padded(const std::string& text, int width) {
    return text + std::string(width - text.size(), ' ');
}

std::string statusText(const Screen& screen) { return screen.statusText.data(); }

// Dispatches the scripted keys one by one, as the main loop would.
void dispatchAll(TerminalHarness& h) {
    while (h.adapter.keyReady()) h.terminal.dispatchKey();
}

TEST(Sessions, FirstSessionShowsBannerStatusAndConnects) {
    TerminalHarness h;
    h.open(0);
    EXPECT_EQ(h.row(0), padded(" " + std::string(BANNER), 80));
    EXPECT_EQ(h.row(1), padded(" Terminal  1/10, Id xterm   , Screen 80x24, $Revision: 1.19 $", 80));
    EXPECT_EQ(h.attrAt(0, 0), 0x1B);  // bright cyan on blue
    EXPECT_EQ(h.attrAt(1, 77), 0x1B);
    EXPECT_EQ(h.attrAt(0, 78), 0x02);  // the rest of the row keeps the cleared colours
    EXPECT_EQ(h.cursorRow(), 3);
    EXPECT_EQ(h.cursorCol(), 0);
    EXPECT_EQ(statusText(h.screen()), "~screen 1 ");
    EXPECT_EQ(h.adapter.rowText(24).substr(0, 10), "~screen 1 ");

    EXPECT_EQ(h.device.calls, Calls{"open 0"});
    EXPECT_EQ(h.device.lastTermType, "xterm");
    EXPECT_EQ(h.device.lastRows, 24);
    EXPECT_EQ(h.device.lastColumns, 80);
    EXPECT_EQ(h.takeReplies(), "");
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST(Sessions, SessionKeysOpenSwitchAndRepaint) {
    TerminalHarness h;
    h.device.alwaysOpen = true;
    h.open(0);
    h.feed("session one");

    h.adapter.pushKey(ALT_F1);  // already shown: nothing happens
    h.adapter.pushKey(ALT_F2);
    dispatchAll(h);
    ASSERT_NE(h.terminal.screens[1], nullptr);
    EXPECT_EQ(h.terminal.currentScreen, h.terminal.screens[1]);
    EXPECT_EQ(h.screen().session, 1);
    EXPECT_NE(h.row(1).find("Terminal  2/10"), std::string::npos);
    EXPECT_EQ(statusText(h.screen()), "~screen 2 ");
    EXPECT_EQ(h.device.calls, (Calls{"open 0", "leave 0", "open 1"}));
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));

    h.feed("session two");
    h.adapter.pushKey(ALT_F1);
    dispatchAll(h);
    EXPECT_EQ(h.terminal.currentScreen, h.terminal.screens[0]);
    EXPECT_EQ(h.row(3).substr(0, 11), "session one");
    EXPECT_EQ(h.adapter.rowText(3).substr(0, 11), "session one");
    EXPECT_EQ(h.adapter.rowText(24).substr(0, 10), "~screen 1 ");
    EXPECT_EQ(h.device.calls, (Calls{"open 0", "leave 0", "open 1", "leave 1", "open 0"}));
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));

    EXPECT_EQ(h.terminal.switchSession(1), 0);
    EXPECT_EQ(h.terminal.switchSession(1), 1);
}

TEST(Sessions, ShowingASessionRestoresItsCursor) {
    TerminalHarness h(VT100);
    h.device.alwaysOpen = true;
    h.open(0);
    // Session 1 hides its cursor and leaves it just past the last cell.
    h.terminal.switchSession(1);
    h.feed("\x1b[?25l\x1b[25;80Hx");
    ASSERT_EQ(h.screen().cursor, h.terminal.cellCount);

    h.terminal.switchSession(0);
    EXPECT_TRUE(h.adapter.cursorVisible);
    EXPECT_EQ(h.adapter.cursorPosition, h.screen().cursor);

    h.terminal.switchSession(1);
    EXPECT_FALSE(h.adapter.cursorVisible);
    // The console has no cell after the last one: the cursor stays on it.
    EXPECT_EQ(h.adapter.cursorPosition, h.terminal.cellCount - 1);
    EXPECT_EQ(h.screen().cursor, h.terminal.cellCount);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST(Sessions, StatusPageKeyShowsThePageAndReturns) {
    TerminalHarness h;
    h.open(0);
    h.adapter.pushKey(0x1701);  // Ctrl+Alt+I
    h.adapter.pushKey('q');     // ends the page and goes nowhere else
    dispatchAll(h);
    const Screen* local = h.terminal.screens[LOCAL_SESSION];
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(local->keyDefLength[0], 3);  // opened with key definitions like any session
    EXPECT_EQ(h.terminal.currentScreen, h.terminal.screens[0]);
    EXPECT_EQ(h.takeReplies(), "");
    // Leaving and showing session 1 again reconnects it; the page itself
    // never reaches the device.
    EXPECT_EQ(h.device.calls, (Calls{"open 0", "leave 0", "open 0"}));
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST(Sessions, OnlyAConnectionAttemptIsTimed) {
    TerminalHarness timed;
    timed.open(0);
    EXPECT_TRUE(timed.terminal.firstDataPending[0]);
    EXPECT_EQ(timed.terminal.firstDataTick[0], 0u);

    TerminalHarness alwaysOpen;
    alwaysOpen.device.alwaysOpen = true;
    alwaysOpen.open(0);
    EXPECT_FALSE(alwaysOpen.terminal.firstDataPending[0]);
}

TEST(ConnectPrompt, AnyKeyRetriesUntilConnected) {
    TerminalHarness h;
    h.device.pushOpenResult(1);
    h.device.pushOpenResult(1);
    h.adapter.pushKey('a');
    h.adapter.pushKey(KEY_SCROLL_ON);  // a hot key acts without ending the wait
    h.adapter.pushKey('b');
    h.open(0);
    EXPECT_EQ(h.device.calls, (Calls{"open 0", "open 0", "open 0"}));
    EXPECT_EQ(h.terminal.closePending, 0);
    EXPECT_EQ(h.row(3).substr(0, PROMPT.size()), PROMPT);
    EXPECT_EQ(h.row(4).substr(0, PROMPT.size()), PROMPT);
    EXPECT_EQ(h.attrAt(3, 1), 0x47);  // white on red
    EXPECT_TRUE(h.screen().modes & MODE_HOLD);
    EXPECT_EQ(h.takeReplies(), "");  // the prompt took both keys
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST(ConnectPrompt, EscapeGivesUpAndTheRunEnds) {
    TerminalHarness h;
    h.device.pushOpenResult(1);
    h.adapter.pushKey(27);
    h.open(0);
    EXPECT_EQ(h.device.calls, Calls{"open 0"});
    EXPECT_EQ(h.terminal.closePending, 1);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));

    h.terminal.run();  // closes the only session and returns
    EXPECT_EQ(h.terminal.screens[0], nullptr);
    EXPECT_EQ(h.device.calls, (Calls{"open 0", "close 0"}));
}

TEST(ConnectPrompt, KeyStartingWithEscapeCountsAsEscape) {
    const struct {
        Emulation emulation;
        int code;
    } keys[] = {{XTERM, 0x1E00} /* Alt+A */, {SCOANSI, 0x3B00} /* F1 */};
    for (const auto& key : keys) {
        TerminalHarness h(key.emulation);
        h.device.pushOpenResult(1);
        h.adapter.pushKey(key.code);
        h.open(0);
        EXPECT_EQ(h.terminal.closePending, 1) << key.code;
        EXPECT_EQ(h.device.calls, Calls{"open 0"});
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
    EXPECT_EQ(h.device.calls, (Calls{"open 0", "leave 0", "open 1"}));
    EXPECT_EQ(h.terminal.closePending, 0);
    EXPECT_EQ(h.takeReplies(), "z");
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));

    // Showing session 1 again connects it again.
    h.terminal.switchSession(0);
    EXPECT_EQ(h.device.calls, (Calls{"open 0", "leave 0", "open 1", "leave 1", "open 0"}));
    EXPECT_TRUE(h.device.connected[0]);
}

// Keys that reach the program one at a time, each only once it waits for one,
// so nested waits see them in turn.
struct SlowTypist : RecordingAdapter {
    int keyReady() override { return 0; }
    bool keysLeft() { return RecordingAdapter::keyReady() != 0; }
};

TEST(ConnectPrompt, StatusPageAtThePromptLeavesOnePromptWaiting) {
    SlowTypist adapter;
    ScriptedDevice device;
    Terminal terminal(&adapter, &device, XTERM, 0, 0);
    device.pushOpenResult(1);
    device.pushOpenResult(1);
    adapter.pushKey(0x1701);  // Ctrl+Alt+I at the prompt
    adapter.pushKey('q');     // ends the page; its return reconnects, and fails
    adapter.pushKey(27);      // gives up at the prompt shown after the page
    terminal.openSession(0);
    EXPECT_EQ(terminal.currentScreen, terminal.screens[0]);
    EXPECT_EQ(terminal.closePending, 1);
    // No second ESC is needed for the prompt that the page interrupted.
    EXPECT_FALSE(adapter.keysLeft());
    EXPECT_EQ(device.calls, (Calls{"open 0", "leave 0", "open 0"}));
    EXPECT_TRUE(cellsMatch(terminal, adapter));
}

}  // namespace
