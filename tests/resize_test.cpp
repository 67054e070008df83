// A new console size over the waits of prompts, prints and copies: every screen takes it and the waits go
// on (what a screen does with a new size is in the interpreter cases).
#include <algorithm>
#include <cstring>

#include "terminal_harness.h"

namespace {

// An XTERM session with "a" in its first row and the cursor at (0, 3).
struct ResizeHarness : TerminalHarness {
    ResizeHarness() {
        open();
        clear();
        feed("a\x1b[1;4H");
    }
};

}  // namespace

TEST(Resize, EverySessionAndTheStatusPageTakeTheSizeAndTheWaitsGoOn) {
    ResizeHarness h;
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
    ResizeHarness h;
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
