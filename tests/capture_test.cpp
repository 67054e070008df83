// Capture of received bytes, their replay, and the copy of a rectangle of
// the screen.  Each test runs in a fresh directory, where the capture file
// lives.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scratch_dir.h"
#include "terminal_harness.h"

namespace fs = std::filesystem;

namespace {

const int ENTER = 13, ESC = 27;
const int UP = 0x4800, DOWN = 0x5000, LEFT = 0x4B00, RIGHT = 0x4D00;

class Capture : public ::testing::Test {
protected:
    void SetUp() override { fs::current_path(dir.path); }
    void TearDown() override { fs::current_path(previous); }
    fs::path previous = fs::current_path();
    ScratchDir dir;
};

TEST_F(Capture, RunsAppendToTheFileThatReplayFeedsInBlocksWithoutCounting) {
    std::string recorded;
    for (int i = 0; i < 2500; i++) recorded += static_cast<char>('a' + i % 26);
    recorded.replace(1200, 2, std::string("\0\xff", 2));
    for (const std::string& bytes : {recorded.substr(0, 1000), recorded.substr(1000)}) {
        TerminalHarness run;
        run.open(0);
        run.terminal.toggleCapture();
        run.device.pushData(bytes);
        run.device.pushReadResult(-1);
        run.terminal.run();
    }
    ASSERT_EQ(readFile(CAPTURE_FILE), recorded);

    TerminalHarness h;
    h.open(0);
    h.device.pushData("live");
    char buffer[IO_BLOCK_SIZE];
    h.terminal.startReplay();
    int first = h.terminal.replayFd;
    EXPECT_EQ(h.terminal.readDevice(buffer, 2), 2);
    h.terminal.startReplay();  // starts again from the beginning
    // The replaced replay's descriptor was closed, not leaked: descriptors are
    // handed out lowest first, so the new one takes its number.
    EXPECT_EQ(h.terminal.replayFd, first);
    std::string replayed;
    for (int expected : {1024, 1024, 452}) {
        ASSERT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), expected);
        replayed.append(buffer, expected);
    }
    EXPECT_EQ(replayed, recorded);
    EXPECT_EQ(h.device.reads, 0);  // replay comes before the device
    EXPECT_EQ(h.terminal.bytesRead, 0);
    EXPECT_EQ(h.screen().cursor, 3 * 80);  // no first-data line for replayed bytes
    EXPECT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), 4);
    EXPECT_NE(h.screen().cursor, 3 * 80);  // but for the first live ones
    EXPECT_EQ(h.terminal.replayFd, -1);
    EXPECT_EQ(h.terminal.bytesRead, 4);
    fs::remove(CAPTURE_FILE);
    h.terminal.startReplay();
    EXPECT_EQ(h.terminal.replayFd, -1);  // no file, no replay
}

// Row r of the screen reads the digit r % 10, then the alphabet.
class Copy : public ::testing::Test {
protected:
    void SetUp() override {
        h.open(0);
        h.clear();
        for (int r = 0; r < 24; r++) {
            moveTo(r, 0);
            h.feed(std::to_string(r % 10) + "abcdefghijklmnopqrstuvwxyz");
        }
        h.terminal.setStatus("title");
        moveTo(19, 29);
        before = h.screen().cells;
    }
    // Each key pushed times times in turn.
    void keys(std::initializer_list<int> codes, int times = 1) {
        for (int code : codes)
            for (int i = 0; i < times; i++) h.adapter.pushKey(code);
    }
    void moveTo(int row, int column) {
        h.feed("\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H");
    }
    std::string copy() {
        h.terminal.copyRegion();
        return h.terminal.copyBuffer.data();
    }
    TerminalHarness h;
    std::vector<Cell> before;
};

TEST_F(Copy, RectangleFromEitherCornerOrNoneAndItsLengthOnTheStatusPage) {
    std::strcpy(h.terminal.copyBuffer.data(), "kept");
    keys({LEFT, ESC});  // ESC before an anchor keeps the last copy
    EXPECT_EQ(copy(), "kept");
    // Anchor at row 2, column 10, end at row 4, column 5, from the cursor at 19, 29.
    keys({UP}, 17), keys({LEFT}, 19), keys({ENTER}), keys({DOWN}, 2), keys({LEFT}, 5), keys({ENTER});
    EXPECT_EQ(copy(), "efghij\refghij\refghij");
    EXPECT_EQ(h.screen().cells, before);
    EXPECT_EQ(h.screen().cursor, 19 * 80 + 29);
    EXPECT_STREQ(h.screen().statusText.data(), "title ");
    EXPECT_FALSE(h.adapter.cursorBlock);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));

    // The same rectangle from the bottom-right corner, finished with ESC.
    h.terminal.copyBuffer[0] = 0;
    moveTo(4, 10);
    keys({int('x')}), keys({UP}, 2), keys({LEFT}, 5), keys({ESC});
    EXPECT_EQ(copy(), "efghij\refghij\refghij");
    EXPECT_THROW(h.terminal.showStatusPage(), NoMoreKeys);  // caught while the page waits
    EXPECT_EQ(h.row(8).substr(0, 20), "Copy    :    20 char");
}

TEST_F(Copy, TheScreenEdgesStopTheSelectionShownInExchangedColoursWhileMoving) {
    moveTo(0, 0);
    keys({LEFT, UP, ENTER, ENTER});
    EXPECT_EQ(copy(), "0");
    // A character printed in the last cell leaves the cursor past it.
    h.feed("\x1b[24;80H*");
    ASSERT_EQ(h.screen().cursor, h.terminal.cellCount);
    keys({RIGHT, DOWN, ENTER, ENTER});
    EXPECT_EQ(copy(), "*");
    EXPECT_EQ(h.screen().cursor, h.terminal.cellCount);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));

    moveTo(1, 1);
    keys({ENTER, RIGHT, DOWN});  // no key to finish: the copy is caught mid-way
    EXPECT_THROW(h.terminal.copyRegion(), NoMoreKeys);
    int plain = before[0] >> 8;
    int selected = ((plain & 7) << 4) | ((plain >> 4) & 7) | (plain & 0x88);
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            EXPECT_EQ(h.attrAt(r, c), r >= 1 && r <= 2 && c >= 1 && c <= 2 ? selected : plain);
    EXPECT_STREQ(h.screen().statusText.data(), "Move to end and press ENTER ");
    EXPECT_STREQ(h.terminal.copyBuffer.data(), "ab\rab");
}

}  // namespace
