// Transparent printing and print screen: what reaches the printer, spooling, and the screen given back
// afterwards (the dialog and the name field are in the interpreter cases); capture and replay; copy and
// paste.
#include <memory>

#include "scratch_dir.h"
#include "terminal_harness.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const std::string START = "\x1b[5i", END = "\x1b[4i";

// In a fresh directory, where the capture file lives.
struct PrinterOutput : ::testing::Test {
    void SetUp() override { fs::current_path(dir.path); }
    void TearDown() override { fs::current_path(previous); }
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
    fs::path previous = fs::current_path();
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

    t.terminal.setPrinter(std::string(100, 'n').c_str());
    EXPECT_EQ(std::string(t.printerName()), std::string(63, 'n'));
    // A session closed while printing closes its print stream.
    fs::remove(printer);
    t.terminal.setPrinter(printer.string().c_str());
    t.feed(START + "partial");
    t.terminal.closeSession();
    EXPECT_EQ(readFile(printer), "partial");
    make().feed(START + "unended");
    h.reset();  // so does a Terminal that goes
    EXPECT_EQ(readFile(printer), "partialunended");

    // Direct, the failure shows at the first byte; spooled, when the spool is copied.
    const std::string missing = (dir.path / "no-such-dir" / "lp").string();
    for (int doubleBuffer : {0, 1}) {
        TerminalHarness& u = make(doubleBuffer);
        u.terminal.setPrinter(missing.c_str());
        u.adapter.pushKey('k');  // one key for the one message; the rest goes to nul
        testing::internal::CaptureStdout();
        u.feed(START + "lost" + END);
        // Straight to standard output, after whatever frame of the console was due.
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(out.ends_with("ZARNEK: Unable to open " + missing + "\n")) << out;
        EXPECT_STREQ(u.printerName(), "nul");
        EXPECT_TRUE(fs::is_empty(spool.path));
        expectRestored();
    }
}

TEST_F(PrinterOutput, TheHotKeyPrintsTheScreenEvenInsideAnUnfinishedSequence) {
    TerminalHarness& t = make();
    t.feed("\x1b[24;1H" + std::string(79, '#') + "\x1b[3");
    std::string expected;
    for (int r = 0; r < 24; r++) expected += t.row(r) + "\r\r\n";
    t.adapter.pushKey(0x1901);  // Ctrl+Alt+P
    t.terminal.dispatchKey();
    EXPECT_EQ(readFile(printer), expected + "\f");
    // Every byte printed counts for the progress line; the console is polled when the dialog is up and with
    // the line at 1024 bytes.
    EXPECT_EQ(t.screen().printCount * 10 + t.adapter.keyPolls, (24 * 83 + 1) * 10 + 2);
    EXPECT_EQ(t.takeReplies(), "");
    // The host's CSI 3 goes on: CSI 31 m, red.
    t.feed("1mR");
    EXPECT_EQ(t.row(23), std::string(79, '#') + "R");
    EXPECT_EQ(t.attrAt(23, 79), 0x04);
    EXPECT_TRUE(cellsMatch(t.terminal, t.adapter));
}

TEST_F(PrinterOutput, CaptureRunsAppendToTheFileThatReplayFeedsInBlocksBeforeTheDeviceWithoutCounting) {
    std::string recorded;
    for (int i = 0; i < 2500; i++) recorded += static_cast<char>('a' + i % 26);
    recorded.replace(1200, 2, std::string("\0\xff", 2));
    for (const std::string& bytes : {recorded.substr(0, 1000), recorded.substr(1000)}) {
        TerminalHarness run;
        run.open();
        run.adapter.pushKey(0x2E01);  // Ctrl+Alt+C
        run.device.pushData(bytes);
        run.device.pushReadResult(-1);
        run.terminal.run();
        EXPECT_EQ(run.device.written, "");
    }
    ASSERT_EQ(readFile(CAPTURE_FILE), recorded);

    int first;
    {
        TerminalHarness gone;
        gone.terminal.startReplay();
        gone.terminal.toggleCapture();
        first = gone.replayFd();
    }
    // Descriptors are handed out lowest first: those of the Terminal that went were closed, and so is each
    // replay replaced or finished.
    TerminalHarness h;
    h.open();
    h.device.pushData("live");
    char buffer[IO_BLOCK_SIZE];
    h.terminal.toggleCapture();
    h.terminal.startReplay();
    EXPECT_EQ(h.replayFd(), first + 1);
    EXPECT_EQ(h.terminal.readDevice(buffer, 2), 2);
    h.adapter.pushKey(0x3201);  // Ctrl+Alt+M starts again from the beginning
    h.terminal.dispatchKey();
    EXPECT_EQ(h.replayFd(), first + 1);
    std::string replayed;
    for (int expected : {1024, 1024, 452}) {
        ASSERT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), expected);
        replayed.append(buffer, expected);
    }
    EXPECT_EQ(replayed + h.takeReplies(), recorded);
    EXPECT_EQ(h.device.reads + h.bytesRead(), 0);
    EXPECT_EQ(h.screen().cursor, 3 * 80);  // no first-data line for replayed bytes
    EXPECT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), 4);
    EXPECT_NE(h.screen().cursor, 3 * 80);  // but for the first live ones
    EXPECT_EQ(h.replayFd(), -1);
    EXPECT_EQ(h.bytesRead(), 4);
    h.terminal.startReplay();
    EXPECT_EQ(h.replayFd(), first + 1);
    while (h.terminal.readDevice(buffer, IO_BLOCK_SIZE) > 0) continue;
    h.terminal.toggleCapture();  // a file still open could not be removed on Windows
    fs::remove(CAPTURE_FILE);
    h.terminal.startReplay();
    EXPECT_EQ(h.replayFd(), -1);  // no file, no replay
}

// The parts of copy and paste that the interpreter cases cannot show: the selection while it is made, and a
// paste longer than the key ring, which goes out over as many turns of the main loop as it takes.
TEST(CopyAndPaste, TheSelectionShowsInExchangedColoursAndAPasteGoesWholeBehindTheKeysBeforeIt) {
    TerminalHarness h;
    h.open();
    h.clear();
    for (int r = 0; r < 4; r++) h.feed("\x1b[" + std::to_string(r + 1) + "Habcd");
    h.feed("\x1b[2;2H");
    const int INSERT = 0x5200;
    h.adapter.pushKey(INSERT, KEYSTATE_CTRL);
    h.adapter.pushKeys({13, 0x4D00, 0x5000});  // Enter, Right, Down, no key to finish: caught mid-way
    EXPECT_THROW(h.terminal.dispatchKey(), NoMoreKeys);
    EXPECT_EQ(h.adapter.cursorPosition, 2 * 80 + 2);
    EXPECT_TRUE(h.adapter.cursorBlock);
    for (int r = 0; r < 4; r++)  // green on black, black on green
        for (int c = 0; c < 4; c++) EXPECT_EQ(h.adapter.grid[r * 80 + c] >> 8, r % 3 && c % 3 ? 0x20 : 0x02);
    EXPECT_EQ(h.adapter.rowText(24).substr(0, 28), "Move to end and press ENTER ");
    EXPECT_STREQ(h.copyBuffer().data(), "bc\rbc");

    std::string text;
    for (char& c : h.copyBuffer()) text += c = static_cast<char>('a' + text.size() % 26);
    h.adapter.pushKey(INSERT, KEYSTATE_SHIFT);
    terror("paste");  // a prompt takes the first byte of the paste and drops the rest
    EXPECT_EQ(h.takeReplies(), "");
    for (int key : {int('k'), INSERT, int('m'), INSERT}) h.adapter.pushKey(key, key == INSERT ? KEYSTATE_SHIFT : 0);
    // Four turns of the main loop send it all; the fourth read ends the session.
    for (int turn = 1; turn < 4; turn++) h.device.pushData("");
    h.device.pushReadResult(-1);
    h.terminal.run();
    EXPECT_EQ(h.device.written, "k" + text + "m" + text);
}

}  // namespace
