// What the status page shows, and the page inside a connection prompt.  The
// status line and the keys that act while the page waits are in the
// interpreter cases.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <regex>
#include <string>

#include "terminal_harness.h"

namespace {

TEST(StatusPage, ShowsTheTerminalAndReturnsToTheSession) {
    TerminalHarness h;
    h.open(0);
    h.open(1);
    h.open(2);
    h.terminal.switchSession(0);
    h.bytesRead() = 5000000000LL;
    h.bytesWritten() = 7;
    h.connectTime(0) = std::time(nullptr) - 90;
    std::strcpy(h.copyBuffer().data(), "kept");
    h.adapter.pushKey(0x4800);  // Up, ESC O A: the page takes the whole key
    h.terminal.showStatusPage();
    std::string page;
    for (int r = 3; r < 21; r++) page += h.row(r, h.session(LOCAL_SESSION)) + "|";
    page = std::regex_replace(page, std::regex(" +\\|"), "|");
    const std::regex expected(
        R"(Adapter : Recording Adapter \(80x24\)\|Device  : Scripted Device \(Read 5000000000, Written 7\)\|)"
        R"(Printer : lpt1\|Switch  : 1 \(10\)\|Capture : off\|Copy    :     4 char\|\|)"
        R"(Session #  1 Connected     \d\d/\d\d/\d{4} \d\d:\d\d:\d\d Elapsed {9}9[01] sec\|)"
        R"(Session #  2 Connected .*\|Session #  3 Connected .*\|(Session # +\d+ Not connected\|){7})"
        R"(Press any key to continue\|)");
    EXPECT_TRUE(std::regex_match(page, expected)) << page;
    EXPECT_EQ(&h.screen(), h.session(0));
    EXPECT_EQ(h.takeReplies(), "");
    EXPECT_FALSE(h.session(LOCAL_SESSION)->keysQueued());
    EXPECT_EQ(h.session(LOCAL_SESSION)->cursorShown, 1);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST(StatusPage, AtAConnectionPromptItLeavesOnePromptWaiting) {
    TerminalHarness h;
    h.adapter.typeAhead = false;  // each key reaches only the wait that reads it
    h.device.openResults = {1, 1};
    // Ctrl+Alt+I at the prompt; a key that ends the page, whose return
    // reconnects and fails; ESC at the prompt shown after the page.
    h.adapter.pushKeys({0x1701, 'q', 27});
    h.open();
    EXPECT_EQ(&h.screen(), h.session(0));
    EXPECT_EQ(h.closePending(), 1);  // no second ESC for the prompt the page interrupted
    EXPECT_EQ(h.device.calls, (std::vector<std::string>{"open 0", "leave 0", "open 0"}));
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

}  // namespace
