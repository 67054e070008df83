// The Terminal's lifetime, device I/O, the main loop, the print functions and the status page; the generic
// adapter and the echo device.
#include <cstring>
#include <memory>
#include <regex>

#include "backend/devecho.h"
#include "terminal_harness.h"

namespace {

using Calls = std::vector<std::string>;

TEST(Terminal, TheFirstOnePrintsAndEachClosesItsDeviceSessionsButTheLocalOne) {
    ScriptedDevice device;
    auto first = std::make_unique<TerminalHarness>(VT100, 25, 80, 0, 0, &device);
    EXPECT_EQ(TerminalHarness().copyBuffer().size(), 24u * 81u);  // each copied row may end in CR
    EXPECT_EQ(firstTerminal, &first->terminal);
    // Without a session, bytes, keys and printed text go nowhere, and no box waits.
    first->terminal.queueString("abc");
    first->feed("abc");
    EXPECT_EQ(first->terminal.pollKeys(), 0);
    tprintf("%s", "nothing to print on");
    terror("nobody sees this");
    for (int n : {0, 2, LOCAL_SESSION}) first->terminal.switchSession(n);
    device.calls.clear();
    first.reset();
    EXPECT_EQ(device.calls, (Calls{"close 2", "close 0"}));
    EXPECT_EQ(firstTerminal, nullptr);
    tprintf("nobody %d\n", 1);  // must not print through a dangling pointer
}

TEST(Terminal, OnlyATimedConnectionReportsItsDelayOnceBeforeItsFirstDataAndAShortWriteCloses) {
    for (bool timed : {true, false}) {
        TerminalHarness h;
        h.device.alwaysOpen = !timed;
        h.open();
        h.clear();
        char buffer[IO_BLOCK_SIZE];
        for (std::string data : {"", "h", "again"}) {
            h.device.pushData(data);
            EXPECT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), static_cast<int>(data.size()));
            EXPECT_EQ(h.screen().cursor, timed && !data.empty() ? 2 * 80 : 0) << data;
        }
        EXPECT_EQ(std::regex_match(h.row(0), std::regex(R"( \(\d+ ms\) *)")), timed);
        EXPECT_EQ(h.bytesRead(), 6);
        h.device.writeLimit = 1;
        h.terminal.writeDevice("def", 3);  // counts nothing
        EXPECT_EQ(h.bytesWritten() * 10 + h.closePending(), 1);
    }
}

TEST(Terminal, AnEchoedKeyIsReadBackInTheSameTurn) {
    DevEcho echo;
    TerminalHarness h(XTERM, 25, 80, 0, 0, &echo);
    h.open();
    int at = h.screen().cursor;
    h.adapter.pushKeys({'a', 0x2D01});  // Ctrl+Alt+X closes the session at the next turn
    h.terminal.run();
    EXPECT_EQ(h.bytesWritten() + h.bytesRead(), 2);
    EXPECT_EQ(TerminalHarness::shown(h.terminal), nullptr);
    EXPECT_FALSE(h.terminal.lastWords()) << "a session the user closed leaves nothing in view";
    EXPECT_EQ(h.adapter.grid[at] & 0xFF, 'a');
}

TEST(Terminal, ALostSessionGivesWayToTheHighestLeftAndTheLastLeavesItsWords) {
    TerminalHarness h;
    h.device.alwaysOpen = true;
    for (int n : {0, 3, 1}) h.open(n);
    h.device.calls.clear();
    for (int result : {-1, -1, 0, -1}) result ? h.device.pushReadResult(result) : h.device.pushData("Too many users\r\n");
    h.terminal.run();
    EXPECT_EQ(h.device.calls, (Calls{"close 1", "open 3", "close 3", "open 0", "close 0"}));
    EXPECT_EQ(h.device.opened, "xterm 24x80");
    for (int n = 0; n < SCREEN_SLOTS; n++) EXPECT_EQ(h.session(n), nullptr);
    EXPECT_EQ(h.bytesRead(), 16);  // a failed read counts nothing
    // Session 1's screen down to its last row with text: the banner, an empty row, the host's words.
    const auto& words = h.terminal.lastWords();
    ASSERT_TRUE(words && words->size() == 4);
    EXPECT_EQ(words->at(1).substr(0, 15) + words->at(2) + "|" + words->at(3), " Terminal  1/10|Too many users");
    // A later run that the user ends leaves nothing.
    h.open(5);
    h.adapter.pushKey(0x2D01);
    h.terminal.run();
    EXPECT_FALSE(h.terminal.lastWords());
}

TEST(Terminal, PrintedTextEndsLinesWithCrIsCutAt255AndTheErrorBoxTakesAWholeKey) {
    TerminalHarness h;
    h.open();
    h.clear();
    tprintf("ab\n%s", "cd");
    tputc('\n');
    EXPECT_EQ(h.row(0).substr(0, 2) + h.row(1).substr(0, 2), "abcd");
    EXPECT_EQ(h.screen().cursor, 2 * 80 + 2);
    h.clear();
    tprintf("%0300d", 1);
    EXPECT_EQ(h.screen().cursor, 255);
    // A hot key acts while the box waits; F1 (ESC [ M) ends it and is taken whole, F2 typed with it stays.
    h.adapter.pushKey(KEY_SCROLL_ON, KEYSTATE_CAPSLOCK);
    h.adapter.pushKeys({0x3B00, 0x3C00});
    terror("boom %d", 7);
    EXPECT_EQ(h.takeReplies(), "\x1b[N");
    EXPECT_EQ(h.screen().lockKeys, KEYSTATE_CAPSLOCK);
    EXPECT_NE(h.screen().modes & MODE_HOLD, 0u);
    EXPECT_EQ(h.row(4).substr(0, 35), " boom 7  Press any key to continue ");
    EXPECT_EQ(h.attrAt(4, 1) * 256 + h.attrAt(4, 10), 0x4774);  // white on red, red on white
    EXPECT_EQ(h.screen().cursor, 5 * 80);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

// The keys that act while the page waits, and the page at a connection prompt, are in the interpreter cases.
TEST(StatusPage, ShowsTheTerminalAndReturnsToTheSession) {
    TerminalHarness h;
    for (int n : {0, 1, 2}) h.open(n);
    h.terminal.switchSession(0);
    h.bytesRead() = 5000000000LL;
    h.bytesWritten() = 7;
    h.connectTime(0) = std::time(nullptr) - 90;
    char connected[20];
    std::strftime(connected, sizeof connected, "%d/%m/%Y %H:%M:%S", std::localtime(&h.connectTime(0)));
    std::strcpy(h.copyBuffer().data(), "kept");
    h.adapter.pushKey(0x4800);  // Up, ESC O A: the page takes the whole key
    h.terminal.showStatusPage();
    std::string page;
    for (int r = 3; r < 21; r++) page += h.row(r, h.session(LOCAL_SESSION)) + "|";
    page = std::regex_replace(page, std::regex(" +\\|"), "|");
    const std::regex expected(
        R"(Adapter : Recording Adapter \(80x24\)\|Device  : Scripted Device \(Read 5000000000, Written 7\)\|)"
        R"(Printer : lpt1\|Switch  : 1 \(10\)\|Capture : off\|Copy    :     4 char\|\|)"
        R"(Session #  1 Connected     )" + std::string(connected) + R"( Elapsed {9}9[01] sec\|)"
        R"(Session #  2 Connected .*\|Session #  3 Connected .*\|(Session # +\d+ Not connected\|){7})"
        R"(Press any key to continue\|)");
    EXPECT_TRUE(std::regex_match(page, expected)) << page;
    EXPECT_EQ(&h.screen(), h.session(0));
    EXPECT_EQ(h.takeReplies(), "");
    EXPECT_FALSE(h.session(LOCAL_SESSION)->keysQueued());
    EXPECT_EQ(h.session(LOCAL_SESSION)->cursorShown, 1);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

// The generic adapter with its fills recorded as "position:char:count".
struct FillLog : Adapter {
    void setCursor(int) override {}
    void fill(int position, char ch, int count) override {
        fills += std::to_string(position) + ":" + (ch ? std::string(1, ch) : "") + ":" + std::to_string(count) + " ";
    }
    std::string fills;
};

TEST(GenericAdapter, StartsWithTheNormalAttributeAndWritesRunsAsFills) {
    FillLog adapter;
    EXPECT_EQ(adapter.attribute(), NORMAL_ATTRIBUTE);
    adapter.write(10, "aaab", 4);
    adapter.write(0, "xyyx", 4);
    adapter.write(55, "", 0);
    EXPECT_EQ(adapter.fills, "10:a:3 13:b:1 0:x:1 1:y:2 3:x:1 0::0 ");
}

TEST(DevEcho, KeepsAtMost255CharactersOfProxyAndGivesBackTheLastWriteNoMoreThanAsked) {
    DevEcho echo;
    char buffer[ECHO_BUFFER_SIZE];
    auto read = [&](int max) { return std::string(buffer, echo.read(buffer, max)); };
    echo.setProxy(std::string(400, 'p').c_str());
    EXPECT_EQ(std::string(echo.proxyHost), std::string(PROXY_HOST_SIZE - 1, 'p'));
    echo.write("abc", 3);
    EXPECT_EQ(echo.write("de", 2), 2);
    EXPECT_EQ(read(1024), "de");
    EXPECT_EQ(read(1024), "");
    std::string block;
    for (int i = 0; i < ECHO_BUFFER_SIZE; i++) block += static_cast<char>('a' + i % 26);
    echo.write(block.data(), ECHO_BUFFER_SIZE);
    EXPECT_EQ(read(1000), block.substr(0, 1000));
    EXPECT_EQ(read(1000), block.substr(1000));
}

}  // namespace
