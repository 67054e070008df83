// Transparent printing and print screen: what reaches the printer, the
// dialog, the name field, spooling, and the screen given back afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "scratch_dir.h"
#include "terminal_harness.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const std::string START = "\x1b[5i";
const std::string END = "\x1b[4i";

class PrinterOutput : public ::testing::Test {
protected:
    // A session with some text on its screen, printing to a file.
    TerminalHarness& make(int selectPrinter = 0, int doubleBuffer = 0) {
        h.reset();  // the print functions act on the first Terminal alive
        h = std::make_unique<TerminalHarness>(XTERM, 25, 80, selectPrinter, doubleBuffer);
        h->open();
        h->clear();
        h->feed("\x1b[3;5Hkept text");
        h->terminal.setPrinter(printer.string().c_str());
        return *h;
    }

    void expectRestored() {
        EXPECT_EQ(h->row(2).substr(4, 9), "kept text");
        EXPECT_EQ(h->row(8), std::string(80, ' '));
        EXPECT_EQ(h->screen().cursor, 2 * 80 + 13);
        EXPECT_EQ(h->screen().state, &Terminal::stateGround);
        EXPECT_TRUE(cellsMatch(h->terminal, h->adapter));
    }

    ScratchDir dir;
    fs::path printer = dir.path / "printer.out";
    std::unique_ptr<TerminalHarness> h;
};

TEST_F(PrinterOutput, HostDataReachesThePrinterUnchangedInAnyChunkingDirectOrSpooledAndNoSpoolIsLeft) {
    fs::path spool = dir.path / "spool";
    fs::create_directory(spool);
    TemporaryFilesIn spooling(spool);
    // Other sequences, ESC [ 4 and a byte other than i, and at the end ESC ESC [ 4 i.
    const std::string data = "hello\0\x1b[1m\r\n\x1b[4x\x1b\x1b[\x1b[4\xff" "end\x1b"s;
    for (int doubleBuffer : {0, 1}) {
        for (size_t chunk : {size_t(1), size_t(3), size_t(1000)}) {
            SCOPED_TRACE(std::to_string(doubleBuffer) + " chunk " + std::to_string(chunk));
            fs::remove(printer);
            TerminalHarness& t = make(0, doubleBuffer);
            t.feed(START + END);  // nothing printed: nothing opened
            EXPECT_FALSE(fs::exists(printer));
            EXPECT_TRUE(fs::is_empty(spool));
            std::string stream = START + data;
            for (size_t i = 0; i < stream.size(); i += chunk) t.feed(stream.substr(i, chunk));
            EXPECT_EQ(fs::exists(printer), doubleBuffer == 0);  // a spool is copied at the end
            EXPECT_EQ(fs::is_empty(spool), doubleBuffer == 0);
            for (size_t i = 0; i < END.size(); i += chunk) t.feed(END.substr(i, chunk));
            EXPECT_EQ(readFile(printer), data);
            EXPECT_TRUE(fs::is_empty(spool));
            expectRestored();
        }
    }
#ifndef _WIN32  // a Windows death test reruns the test in a process with a scratch directory of its own
    // A spooled print cut short by the end of the run leaves no file behind.
    TerminalHarness& t = make(0, 1);
    EXPECT_EXIT((t.feed(START + "cut short"), std::exit(0)), [](int) { return true; }, "");
    EXPECT_TRUE(fs::is_empty(spool));
#endif
}

TEST_F(PrinterOutput, DialogAndProgressLineEvery1024CountedBytes) {
    TerminalHarness& t = make();
    t.feed(START);
    // The name as far as the row shows it: temporary directories may be deep.
    std::string device = ("Device :    " + printer.string()).substr(0, 80 - 26);
    EXPECT_EQ(t.row(8).substr(26, device.size()), device);
    EXPECT_EQ(t.row(9).substr(24, 27), "* Please wait .. printing *");
    t.feed(std::string(1022, 'x') + "\x1b[");
    EXPECT_EQ(t.row(10), std::string(80, ' '));
    // A byte that breaks a held-back ESC [ is counted twice, ESC and [ never.
    t.feed("y");
    EXPECT_EQ(t.row(10).substr(26, 24), "Printed     1024 byte(s)");
    t.feed(std::string(1024, 'z'));
    EXPECT_EQ(t.row(10).substr(26, 24), "Printed     2048 byte(s)");
    EXPECT_TRUE(cellsMatch(t.terminal, t.adapter));
    t.feed(END);
    EXPECT_EQ(readFile(printer).size(), 1022u + 3 + 1024);
    expectRestored();
}

TEST_F(PrinterOutput, CommandsTheNullDeviceUnopenableAndLongNamesAndAClosedSession) {
    TerminalHarness& t = make();
    // A command that both platforms have; it copies lines as they are.
    std::string command = "|more >\"" + printer.string() + "\"";
    t.terminal.setPrinter(command.c_str());
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
    std::string message = "ZARNEK: Unable to open " + missing + "\n";
    EXPECT_TRUE(out.ends_with(message)) << out;
    EXPECT_STREQ(t.terminal.printerName, "nul");
    expectRestored();

    t.terminal.setPrinter(std::string(100, 'n').c_str());
    EXPECT_EQ(std::string(t.terminal.printerName), std::string(63, 'n'));

    // A session closed while printing closes its print stream.
    fs::remove(printer);
    t.terminal.setPrinter(printer.string().c_str());
    t.feed(START + "partial");
    t.terminal.closeSession();
    EXPECT_EQ(readFile(printer), "partial");
}

TEST_F(PrinterOutput, PrintScreenEvenInsideAnUnfinishedSequence) {
    TerminalHarness& t = make();
    t.feed("\x1b[24;1H" + std::string(79, '#') + "\x1b[3");
    std::string expected;
    for (int r = 0; r < 24; r++) expected += t.row(r) + "\r\r\n";
    t.terminal.printScreen();
    EXPECT_EQ(readFile(printer), expected + "\f");
    // The host's CSI 3 goes on: CSI 31 m, red.
    t.feed("1mR");
    EXPECT_EQ(t.row(23), std::string(79, '#') + "R");
    EXPECT_EQ(t.attrAt(23, 79) & 0x07, 4);
    EXPECT_TRUE(cellsMatch(t.terminal, t.adapter));
}

TEST_F(PrinterOutput, NameFieldEditingKeys) {
    TerminalHarness& t = make(1);
    t.terminal.setPrinter("lpt1");
    // Right Right X Delete Left Backspace, a blank (ignored), Left Left at the start, Enter.
    for (int key : {0x4D00, 0x4D00, int('X'), 0x5300, 0x4B00, 8, int(' '), 0x4B00, 0x4B00, 13})
        t.adapter.pushKey(key);
    t.feed(START + END);
    EXPECT_STREQ(t.terminal.printerName, "lX");

    for (int key : {0x5300, 0x5300, 27}) t.adapter.pushKey(key);
    t.feed(START + END);
    EXPECT_STREQ(t.terminal.printerName, "nul");

    t.terminal.setPrinter("");
    for (int i = 0; i < 40; i++) t.adapter.pushKey('a');
    t.adapter.pushKey(10);
    t.feed(START + END);
    EXPECT_STREQ(t.terminal.printerName, std::string(32, 'a').c_str());
    expectRestored();
}

}  // namespace
