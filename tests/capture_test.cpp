// Capture of received bytes and their replay, in a fresh directory where the
// capture file lives; copy and paste.
#include <gtest/gtest.h>

#include <string>

#include "scratch_dir.h"
#include "terminal_harness.h"

namespace fs = std::filesystem;

namespace {

const int ENTER = 13, DOWN = 0x5000, RIGHT = 0x4D00, INSERT = 0x5200;

struct Capture : ::testing::Test {
    void SetUp() override { fs::current_path(dir.path); }
    void TearDown() override { fs::current_path(previous); }
    fs::path previous = fs::current_path();
    ScratchDir dir;
};

TEST_F(Capture, RunsAppendToTheFileThatReplayFeedsInBlocksBeforeTheDeviceWithoutCounting) {
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
    // Descriptors are handed out lowest first: those of the Terminal that went
    // were closed, and so is each replay replaced or finished.
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
    while (h.terminal.readDevice(buffer, IO_BLOCK_SIZE) > 0) {
    }
    h.terminal.toggleCapture();  // a file still open could not be removed on Windows
    fs::remove(CAPTURE_FILE);
    h.terminal.startReplay();
    EXPECT_EQ(h.replayFd(), -1);  // no file, no replay
}

// The parts of copy and paste that the interpreter cases cannot show: the
// selection while it is made, and a paste longer than the key ring, which
// goes out over as many turns of the main loop as it takes.
TEST(CopyAndPaste, TheSelectionShowsInExchangedColoursAndAPasteGoesWholeBehindTheKeysBeforeIt) {
    TerminalHarness h;
    h.open();
    h.clear();
    for (int r = 0; r < 4; r++) h.feed("\x1b[" + std::to_string(r + 1) + "Habcd");
    h.feed("\x1b[2;2H");
    h.adapter.pushKey(INSERT, KEYSTATE_CTRL);
    h.adapter.pushKeys({ENTER, RIGHT, DOWN});  // no key to finish: the copy is caught mid-way
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
