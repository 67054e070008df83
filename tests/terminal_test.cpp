#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "backend/devecho.h"
#include "terminal_harness.h"

namespace {

// Session 0 open; with recording on, every byte fed to its screen lands in
// its key queue instead of the interpreter.
void openSession(TerminalHarness& h, bool timed = false, bool recording = true) {
    h.device.alwaysOpen = !timed;
    h.open(0);
    h.takeReplies();
    if (recording) h.screen().state = &Terminal::queueKey;
    else h.clear();
}

struct TerminalTest : ::testing::Test {
    TerminalHarness h;
};

std::string letters(int n) {
    std::string text;
    for (int i = 0; i < n; i++) text += static_cast<char>('a' + i % 26);
    return text;
}

}  // namespace

TEST(TerminalLifetime, FirstTerminalPrintsAndEachClosesItsDeviceSessions) {
    RecordingAdapter adapter;
    ScriptedDevice device;
    auto first = std::make_unique<Terminal>(&adapter, &device, VT100, 0, 0);
    {
        TerminalHarness xterm(XTERM, 25, 80);
        EXPECT_EQ(xterm.terminal.copyBuffer.size(), 24u * 80u + 24u);  // each copied row may end in CR
        EXPECT_EQ(firstTerminal, first.get());
    }
    EXPECT_EQ(firstTerminal, first.get());
    // Without a session, bytes, keys and printed text go nowhere.
    first->queueString("abc");
    first->feedBytes("abc", 3);
    EXPECT_EQ(first->pollKeys(), 0);
    tprintf("%s", "nothing to print on");
    EXPECT_EQ(adapter.outOfRange, 0);

    first->openSession(0);
    first->openSession(2);
    first->screens[LOCAL_SESSION] = new Screen(first->rows, first->cols);
    device.calls.clear();
    first.reset();  // the local screen never reaches the device
    EXPECT_EQ(device.calls, (std::vector<std::string>{"close 2", "close 0"}));
    EXPECT_EQ(firstTerminal, nullptr);
    tprintf("nobody %d\n", 1);  // must not print through a dangling pointer
}

TEST_F(TerminalTest, KeyQueueHolds127BytesGetKeyDispatchesAndAShortWriteCloses) {
    openSession(h);
    h.screen().keyQueueHead = h.screen().keyQueueTail = 100;  // across the wrap
    h.terminal.queueString(letters(200).c_str());
    EXPECT_EQ(h.takeReplies(), letters(127));
    tprintf("ab\n%s", "cd");
    tputc('\n');
    EXPECT_EQ(h.takeReplies(), "ab\r\ncd\n");
    // A hot key acts at once; only a byte for the queue ends the wait.
    h.adapter.pushKey(KEY_SCROLL_ON, KEYSTATE_CAPSLOCK);
    h.adapter.pushKey(0xE9);
    EXPECT_EQ(h.terminal.getKey(), 0xE9);
    EXPECT_NE(h.screen().modes & MODE_HOLD, 0u);
    EXPECT_EQ(h.screen().lockKeys, KEYSTATE_CAPSLOCK);

    h.terminal.writeDevice("abc", 3);
    EXPECT_EQ(h.terminal.closePending, 0);
    h.device.writeLimit = 1;
    h.terminal.writeDevice("def", 3);  // a short write counts nothing
    EXPECT_EQ(h.terminal.bytesWritten, 3);
    EXPECT_EQ(h.terminal.closePending, 1);
}

TEST(TerminalFirstData, OnlyATimedConnectionReportsItsDelayOnce) {
    for (bool timed : {true, false}) {
        TerminalHarness h;
        openSession(h, timed);
        char buffer[IO_BLOCK_SIZE];
        for (const char* data : {"hello", "again"}) {
            h.device.pushData(data);
            EXPECT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), 5);
            bool reported = std::regex_match(h.takeReplies(), std::regex(R"( \(\d+ ms\)\r\n\r\n)"));
            EXPECT_EQ(reported, timed && data[0] == 'h') << data;
        }
        EXPECT_EQ(h.terminal.bytesRead, 10);
    }
}

TEST(TerminalLoop, EchoedKeyIsReadBackInTheSameTurn) {
    RecordingAdapter adapter;
    DevEcho echo;
    Terminal terminal(&adapter, &echo, XTERM, 0, 0);
    terminal.openSession(0);
    int at = terminal.currentScreen->cursor;
    adapter.pushKey('a');
    adapter.pushKey(0x2D01);  // Ctrl+Alt+X closes the session at the next turn
    terminal.run();
    EXPECT_EQ(terminal.bytesWritten, 1);
    EXPECT_EQ(terminal.bytesRead, 1);
    EXPECT_EQ(terminal.currentScreen, nullptr);
    EXPECT_FALSE(terminal.lastWords) << "a session the user closed leaves nothing in view";
    EXPECT_EQ(adapter.charAt(at), 'a');
}

TEST_F(TerminalTest, LostSessionGivesWayToTheHighestLeftAndTheLastLeavesItsWords) {
    h.device.alwaysOpen = true;
    for (int n : {0, 3, 1}) h.open(n);
    h.device.calls.clear();
    for (int i = 0; i < 2; i++) h.device.pushReadResult(-1);
    h.device.pushData("Too many users\r\n");
    h.device.pushReadResult(-1);
    h.terminal.run();
    const std::vector<std::string> calls{"close 1", "open 3", "close 3", "open 0", "close 0"};
    EXPECT_EQ(h.device.calls, calls);
    for (Screen* screen : h.terminal.screens) EXPECT_EQ(screen, nullptr);
    EXPECT_EQ(h.terminal.bytesRead, 16);  // a failed read counts nothing
    // Session 1's screen down to its last row with text: the banner, an empty row, the host's words.
    ASSERT_TRUE(h.terminal.lastWords);
    EXPECT_EQ(h.terminal.lastWords->size(), 4u);
    EXPECT_EQ(h.terminal.lastWords->at(1).substr(0, 15), " Terminal  1/10");
    EXPECT_EQ(h.terminal.lastWords->at(2) + "|" + h.terminal.lastWords->at(3), "|Too many users");
}

TEST_F(TerminalTest, PrintedTextIsCutAt255AndTheErrorBoxWaitsForAKeyAndDropsIt) {
    openSession(h, false, false);
    tprintf("%s", letters(300).c_str());
    EXPECT_EQ(h.screen().cursor, 255);
    EXPECT_EQ(h.row(3), letters(255).substr(240) + std::string(65, ' '));

    h.adapter.pushKey(0x3B00);  // F1, ESC [ M: taken whole
    terror("boom %d", 7);
    EXPECT_EQ(h.takeReplies(), "");
    std::string box = " boom 7  Press any key to continue ";
    EXPECT_EQ(h.row(4).substr(0, box.size()), box);
    EXPECT_EQ(h.attrAt(4, 1), 0x47);   // white on red
    EXPECT_EQ(h.attrAt(4, 10), 0x74);  // red on white
    EXPECT_EQ(h.screen().cursor, 5 * 80);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST_F(TerminalTest, DrawingBracketEndsOnTheScreenWhereItBegan) {
    h.device.alwaysOpen = true;
    h.open(1);
    openSession(h, false, false);
    h.screen().modes |= MODE_HOLD;
    h.adapter.pushKey(0x6900);  // Alt+F2 during the hold shows session 2
    h.feed(std::string(30, '\n'));
    ASSERT_EQ(h.terminal.currentScreen, h.terminal.screens[1]);
    EXPECT_EQ(h.terminal.screens[0]->cursorShown, 1);
    EXPECT_EQ(h.terminal.screens[1]->cursorShown, 1);
    EXPECT_TRUE(h.adapter.cursorVisible);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}
