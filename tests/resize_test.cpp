// A new console size: every screen takes it, the cursor stays in view, the
// hosts are told, and the waits of prompts, prints and copies go on.
#include <algorithm>
#include <cstring>

#include "backend/adapnt.h"
#include "terminal_harness.h"

namespace {

// XTERM: row r holds 'a' + r and a '|' in column 79; a scrolling region, the
// cursor at (cursorRow, 3), blue as the default background.
struct ResizeHarness : TerminalHarness {
    explicit ResizeHarness(int cursorRow) {
        open();
        clear();
        for (int r = 0; r < 24; r++) feed("\x1b[" + std::to_string(r + 1) + "H" + char('a' + r) + "\x1b[80G|");
        feed("\x1b[5;10r\x1b[=4G\x1b[" + std::to_string(cursorRow + 1) + ";4H");
    }
};

}  // namespace

TEST(Resize, KeepsRowsFromTheTopPadsOrCutsThemAndKeepsTheCursorInView) {
    const struct {
        int cursorRow, consoleRows, consoleCols;
        char top;
        int newCursorRow;
    } cases[] = {{23, 31, 100, 'a', 23}, {5, 11, 40, 'a', 5}, {23, 11, 40, 'o', 9}, {0, 3, 10, 'a', 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.consoleRows * 1000 + c.consoleCols);
        ResizeHarness h(c.cursorRow);
        h.adapter.pushResize(c.consoleRows, c.consoleCols);
        h.terminal.dispatchKey();
        const int rows = c.consoleRows - 1, cols = c.consoleCols;
        const Screen& s = h.screen();
        EXPECT_TRUE(s.rows == rows && s.cols == cols && h.cellCount() == rows * cols && s.scrollBottom == rows - 1);
        EXPECT_TRUE(h.row(0)[0] == c.top && s.cursor == c.newCursorRow * cols + 3 && s.scrollTop == 0);
        EXPECT_EQ(h.row(0).find('|'), cols > 80 ? 79 : std::string::npos);
        EXPECT_TRUE(cols <= 80 || h.attrAt(rows - 1, cols - 1) == 0x12) << "padding in the default colours";
        EXPECT_EQ(h.adapter.rowText(rows).substr(0, 8), "~screen ") << "the status line is on the new last row";
        EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
        EXPECT_EQ(h.device.calls.back(), "resize 0 " + std::to_string(rows) + "x" + std::to_string(cols));
    }
}

TEST(Resize, EverySessionAndTheStatusPageTakeTheSizeAndTheWaitsGoOn) {
    ResizeHarness h(3);
    h.open(1);
    // The status page waits over a resize for its key; then session 2 is shown again.
    h.adapter.pushKey(0x1701);
    h.adapter.pushResize(31, 100);
    h.adapter.pushKey('x');
    h.terminal.dispatchKey();
    for (int n : {0, 1, LOCAL_SESSION}) EXPECT_EQ(h.session(n)->cols, 100) << n;
    EXPECT_EQ(h.screen().session, 1);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
    auto told = std::count_if(h.device.calls.begin(), h.device.calls.end(), [](auto& c) { return c.rfind("resize", 0) == 0; });
    EXPECT_EQ(told, 2) << "the device hears of the sessions only";
}

TEST(Resize, EndsACopyKeepingTheSelectionAndWaitsForTheEndOfAPrintDialog) {
    ResizeHarness h(0);
    h.adapter.pushKey(0x5200, KEYSTATE_CTRL);
    h.adapter.pushKeys({KEY_LEFT, KEY_LEFT, KEY_LEFT, '\r', KEY_RIGHT});
    h.adapter.pushResize(21, 60);
    h.terminal.dispatchKey();
    EXPECT_STREQ(h.copyBuffer().data(), "a ");
    EXPECT_EQ(h.attrAt(0, 0), h.attrAt(0, 1)) << "no selection colours left";
    EXPECT_TRUE(h.screen().cols == 60 && cellsMatch(h.terminal, h.adapter));

    // Inside the interpreter the new size waits for the main loop.
    std::strcpy(h.printerName(), "nul");
    h.selectPrinter() = 1;
    h.adapter.pushResize(31, 100);
    h.adapter.pushKey('\r');
    h.feed("\x1b[5i");
    EXPECT_EQ(h.screen().cols, 60);
    h.terminal.resize();
    h.feed("printed\x1b[4i");
    EXPECT_EQ(h.row(0).substr(0, 2), "a ");
    EXPECT_TRUE(h.screen().cols == 100 && cellsMatch(h.terminal, h.adapter));
}

#ifndef _WIN32
TEST(Resize, TheConsoleReportsItsNewSizeAsAnEventWhileTheAdapterAsksForIt) {
    ConsoleOutput output(80, 25);
    ConsoleInput input{-1, false};
    SetStdHandle(STD_OUTPUT_HANDLE, &output);
    SetStdHandle(STD_INPUT_HANDLE, &input);
    output.at(79, 24).character = 'z';
    {
        AdapNT adapter(KEYBOARD_AMERICAN, 0);
        output.resize(100, 30);
        input.queueResize({100, 30});
        EXPECT_TRUE(adapter.keyReady() && adapter.readKey() == KEY_RESIZE && adapter.rows == 30 && adapter.columns == 100);
    }
    input.queueResize({90, 30});
    EXPECT_TRUE(input.events.empty() && output.at(79, 24).character == 'z') << "kept; no event not asked for";
    SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    SetStdHandle(STD_INPUT_HANDLE, nullptr);
}
#endif
