// Transparent printing and print screen: what reaches the printer, spooling,
// and the screen given back afterwards.  The dialog and the name field are in
// the interpreter cases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "scratch_dir.h"
#include "terminal_harness.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const std::string START = "\x1b[5i", END = "\x1b[4i";

struct PrinterOutput : ::testing::Test {
    // A session with some text on its screen, printing to a file.
    TerminalHarness& make(int doubleBuffer = 0) {
        h.reset();  // the print functions act on the first Terminal alive
        h = std::make_unique<TerminalHarness>(XTERM, 25, 80, 0, doubleBuffer);
        h->open();
        h->feed("\x1b[2J\x1b[3;5Hkept text");
        h->terminal.setPrinter(printer.string().c_str());
        return *h;
    }
    void expectRestored() {
        EXPECT_EQ(h->row(2).substr(4, 9) + h->row(8), "kept text" + std::string(80, ' '));
        EXPECT_EQ(h->screen().cursor * 10 + h->screen().cursorShown, (2 * 80 + 13) * 10 + 1);
        EXPECT_EQ(h->screen().state, &Terminal::stateGround);
        EXPECT_TRUE(cellsMatch(h->terminal, h->adapter));
    }
    ScratchDir dir, spool;  // temporary files go to the second
    fs::path printer = dir.path / "printer.out";
    std::unique_ptr<TerminalHarness> h;
};

TEST_F(PrinterOutput, HostDataReachesThePrinterUnchangedInAnyChunkingDirectOrSpooledAndNoSpoolIsLeft) {
    // Other sequences, ESC [ 4 and a byte other than i, and at the end ESC ESC [ 4 i.
    const std::string data = "hello\0\x1b[1m\r\n\x1b[4x\x1b\x1b[\x1b[4\xff" "end\x1b"s;
    for (int doubleBuffer : {0, 1}) {
        for (size_t chunk : {size_t(1), size_t(3), size_t(1000)}) {
            SCOPED_TRACE(std::to_string(doubleBuffer) + " chunk " + std::to_string(chunk));
            fs::remove(printer);
            TerminalHarness& t = make(doubleBuffer);
            t.feed(START + END);  // nothing printed: nothing opened
            EXPECT_FALSE(fs::exists(printer));
            std::string stream = START + data + END;
            for (size_t i = 0; i < stream.size(); i += chunk) {
                EXPECT_EQ(fs::exists(printer), doubleBuffer == 0 && i > START.size());  // a spool is copied at the end
                EXPECT_EQ(fs::is_empty(spool.path), doubleBuffer == 0 || i <= START.size());
                EXPECT_EQ(t.adapter.cursorVisible, i < START.size());
                t.feed(stream.substr(i, chunk));
            }
            EXPECT_EQ(readFile(printer), data);
            EXPECT_TRUE(fs::is_empty(spool.path));
            expectRestored();
        }
    }
#ifndef _WIN32  // a Windows death test reruns the test in a process with a scratch directory of its own
    // A spooled print cut short by the end of the run leaves no file behind.
    TerminalHarness& t = make(1);
    EXPECT_EXIT((t.feed(START + "cut short"), std::exit(0)), [](int) { return true; }, "");
    EXPECT_TRUE(fs::is_empty(spool.path));
#endif
}

TEST_F(PrinterOutput, CommandsTheNullDeviceUnopenableAndLongNamesAndAClosedSession) {
    TerminalHarness& t = make();
    // A command that both platforms have; it copies lines as they are.
    t.terminal.setPrinter(("|more >\"" + printer.string() + "\"").c_str());
    t.feed(START + "piped\r\n" + END);
    EXPECT_EQ(readFile(printer), "piped\r\n");
    t.terminal.setPrinter("NUL");
    testing::internal::CaptureStdout();
    t.feed(START + "gone" + END);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the null device opens";

    std::string missing = (dir.path / "no-such-dir" / "lp").string();
    t.terminal.setPrinter(missing.c_str());
    t.adapter.pushKey('k');  // one key for the one message; the rest goes to nul
    testing::internal::CaptureStdout();
    t.feed(START + "lost" + END);
    // Straight to standard output, after whatever frame of the console was due.
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(out.ends_with("ZARNEK: Unable to open " + missing + "\n")) << out;
    EXPECT_STREQ(t.printerName(), "nul");
    expectRestored();

    t.terminal.setPrinter(std::string(100, 'n').c_str());
    EXPECT_EQ(std::string(t.printerName()), std::string(63, 'n'));
    // A session closed while printing closes its print stream.
    fs::remove(printer);
    t.terminal.setPrinter(printer.string().c_str());
    t.feed(START + "partial");
    t.terminal.closeSession();
    EXPECT_EQ(readFile(printer), "partial");
}

TEST_F(PrinterOutput, TheHotKeyPrintsTheScreenEvenInsideAnUnfinishedSequence) {
    TerminalHarness& t = make();
    t.feed("\x1b[24;1H" + std::string(79, '#') + "\x1b[3");
    std::string expected;
    for (int r = 0; r < 24; r++) expected += t.row(r) + "\r\r\n";
    t.adapter.pushKey(0x1901);  // Ctrl+Alt+P
    t.terminal.dispatchKey();
    EXPECT_EQ(readFile(printer), expected + "\f");
    // Every byte printed counts for the progress line; the console is polled
    // when the dialog is up and with the line at 1024 bytes.
    EXPECT_EQ(t.screen().printCount * 10 + t.adapter.keyPolls, (24 * 83 + 1) * 10 + 2);
    EXPECT_EQ(t.takeReplies(), "");
    // The host's CSI 3 goes on: CSI 31 m, red.
    t.feed("1mR");
    EXPECT_EQ(t.row(23), std::string(79, '#') + "R");
    EXPECT_EQ(t.attrAt(23, 79), 0x04);
    EXPECT_TRUE(cellsMatch(t.terminal, t.adapter));
}

}  // namespace
