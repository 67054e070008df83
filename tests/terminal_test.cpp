#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "backend/devecho.h"
#include "platform/win32.h"
#include "terminal_harness.h"

namespace {

// openRecording opens session 0 and makes every byte fed to its screen land
// in its key queue instead of the interpreter.
struct TerminalTest : ::testing::Test {
    void openRecording(bool timed) {
        h.device.alwaysOpen = !timed;
        h.open(0);
        h.takeReplies();
        h.screen().state = &Terminal::queueKey;
    }
    TerminalHarness h;
};

// A temporary directory with files for replay and capture, removed at the end.
struct TempDir {
    TempDir() {
        path = std::filesystem::temp_directory_path() /
               ("zarnek-terminal-test-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string write(const char* name, const std::string& bytes) {
        std::string file = (path / name).string();
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    std::string read(const char* name) {
        std::ifstream in((path / name).string(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::filesystem::path path;
};

std::string letters(int n) {
    std::string text;
    for (int i = 0; i < n; i++) text += static_cast<char>('a' + i % 26);
    return text;
}

}  // namespace

TEST(TerminalConstruction, XtermKeepsTheLastConsoleRowForTheStatusLine) {
    TerminalHarness xterm(XTERM, 25, 80);
    EXPECT_EQ(xterm.terminal.rows, 24);
    EXPECT_EQ(xterm.terminal.cellCount, 24 * 80);
    EXPECT_EQ(xterm.terminal.copyBuffer.size(), 24u * 80u + 24u);
    TerminalHarness vt100(VT100, 25, 80);
    EXPECT_EQ(vt100.terminal.cellCount, 25 * 80);
}

TEST(TerminalConstruction, FirstTerminalIsClearedWithIt) {
    {
        auto first = std::make_unique<TerminalHarness>();
        EXPECT_EQ(firstTerminal, &first->terminal);
        {
            TerminalHarness second;
            EXPECT_EQ(firstTerminal, &first->terminal);
        }
        EXPECT_EQ(firstTerminal, &first->terminal);
    }
    EXPECT_EQ(firstTerminal, nullptr);
    tprintf("nobody %d\n", 1);  // must not print through a dangling pointer
    tputc('x');
}

TEST(TerminalConstruction, DestructionClosesDeviceSessionsButNotTheLocalScreen) {
    RecordingAdapter adapter;
    ScriptedDevice device;
    auto terminal = std::make_unique<Terminal>(&adapter, &device, XTERM, 0, 0);
    terminal->openSession(0);
    terminal->openSession(2);
    terminal->screens[LOCAL_SESSION] = new Screen(terminal->rows, terminal->cols);
    device.calls.clear();
    terminal.reset();
    EXPECT_EQ(device.calls, (std::vector<std::string>{"close 2", "close 0"}));
}

TEST_F(TerminalTest, KeyQueueHoldsAtMost127Bytes) {
    openRecording(false);
    h.screen().keyQueueHead = h.screen().keyQueueTail = 100;  // across the wrap
    h.terminal.queueString(letters(200).c_str());
    EXPECT_EQ(h.takeReplies(), letters(127));
    h.terminal.queueKey(0xFF);
    EXPECT_EQ(h.takeReplies(), "\xff");
}

TEST(TerminalWithoutSession, DropsBytesAndKeys) {
    TerminalHarness h;
    h.terminal.queueString("abc");
    h.terminal.feedBytes("abc", 3);
    EXPECT_EQ(h.terminal.pollKeys(), 0);
    tprintf("%s", "nothing to print on");
    EXPECT_EQ(h.adapter.outOfRange, 0);
}

TEST_F(TerminalTest, KeysAreDispatchedWhileWaitingAndTheLockKeysNoted) {
    openRecording(false);
    h.adapter.pushKey('q', KEYSTATE_CAPSLOCK);
    EXPECT_NE(h.terminal.pollKeys(), 0);
    EXPECT_EQ(h.screen().lockKeys, KEYSTATE_CAPSLOCK);
    EXPECT_EQ(h.terminal.getKey(), 'q');
    EXPECT_EQ(h.terminal.pollKeys(), 0);
    // A hot key acts at once; only a byte for the queue ends the wait.
    h.adapter.pushKey(KEY_SCROLL_ON);
    h.adapter.pushKey(0xE9);
    EXPECT_EQ(h.terminal.getKey(), 0xE9);
    EXPECT_NE(h.screen().modes & MODE_HOLD, 0u);
}

TEST_F(TerminalTest, DeviceFailuresAskForTheSessionToBeClosed) {
    openRecording(false);
    h.terminal.writeDevice("abc", 3);
    EXPECT_EQ(h.terminal.bytesWritten, 3);
    EXPECT_EQ(h.terminal.closePending, 0);
    h.device.writeLimit = 1;
    h.terminal.writeDevice("def", 3);
    EXPECT_EQ(h.terminal.bytesWritten, 3);
    EXPECT_EQ(h.terminal.closePending, 1);

    h.terminal.closePending = 0;
    char buffer[IO_BLOCK_SIZE];
    h.device.pushReadResult(-1);
    EXPECT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), 0);
    EXPECT_EQ(h.terminal.closePending, 1);
    EXPECT_EQ(h.terminal.bytesRead, 0);
}

TEST(TerminalFirstData, OnlyATimedConnectionReportsItsDelayOnce) {
    for (bool timed : {true, false}) {
        TerminalHarness h;
        h.device.alwaysOpen = !timed;
        h.open(0);
        h.takeReplies();
        h.screen().state = &Terminal::queueKey;
        char buffer[IO_BLOCK_SIZE];
        h.device.pushData("hello");
        EXPECT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), 5);
        EXPECT_EQ(std::regex_match(h.takeReplies(), std::regex(R"( \(\d+ ms\)\r\n\r\n)")), timed);
        h.device.pushData("again");
        EXPECT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), 5);
        EXPECT_EQ(h.takeReplies(), "");
        EXPECT_EQ(h.terminal.bytesRead, 10);
    }
}

TEST_F(TerminalTest, ReplayComesInBlocksBeforeTheDeviceAndIsNotCounted) {
    openRecording(true);
    TempDir dir;
    std::string replay = letters(2500);
    h.terminal.replayFd = _open(dir.write("replay", replay).c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_GE(h.terminal.replayFd, 0);
    h.device.pushData("live");
    char buffer[IO_BLOCK_SIZE];
    std::string got;
    for (int expected : {1024, 1024, 452}) {
        ASSERT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), expected);
        got.append(buffer, expected);
    }
    EXPECT_EQ(got, replay);
    EXPECT_EQ(h.device.reads, 0);
    EXPECT_EQ(h.terminal.bytesRead, 0);
    EXPECT_EQ(h.takeReplies(), "");  // no first-data line for replayed bytes
    ASSERT_EQ(h.terminal.readDevice(buffer, IO_BLOCK_SIZE), 4);
    EXPECT_EQ(std::string(buffer, 4), "live");
    EXPECT_EQ(h.terminal.replayFd, -1);
    EXPECT_EQ(h.terminal.bytesRead, 4);
}

TEST_F(TerminalTest, PrintFunctionsSendLineFeedsAsCarriageReturnLineFeed) {
    openRecording(false);
    tprintf("ab\n%s", "cd");
    tputc('\n');
    EXPECT_EQ(h.takeReplies(), "ab\r\ncd\n");
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
    EXPECT_EQ(adapter.charAt(at), 'a');
}

TEST_F(TerminalTest, LostSessionGivesWayToTheHighestLeft) {
    h.open(0);
    h.open(3);
    h.open(1);
    h.device.calls.clear();
    for (int i = 0; i < 3; i++) h.device.pushReadResult(-1);
    h.terminal.run();
    EXPECT_EQ(h.device.calls, (std::vector<std::string>{"close 1", "open 3", "close 3", "open 0", "close 0"}));
    for (Screen* screen : h.terminal.screens) EXPECT_EQ(screen, nullptr);
}

TEST_F(TerminalTest, RunCapturesReplayedBytesUnchanged) {
    TempDir dir;
    h.device.alwaysOpen = true;
    h.open(0);
    std::string replay = letters(1500);
    h.terminal.replayFd = _open(dir.write("replay", replay).c_str(), _O_RDONLY | _O_BINARY);
    h.terminal.captureFd = _open((dir.path / "capture").string().c_str(),
                                 _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY, 0664);
    ASSERT_GE(h.terminal.captureFd, 0);
    h.device.pushData("xy");
    h.device.pushReadResult(-1);
    h.terminal.run();
    _close(h.terminal.captureFd);
    h.terminal.captureFd = -1;
    EXPECT_EQ(dir.read("capture"), replay + "xy");
    EXPECT_EQ(h.terminal.bytesRead, 2);
}

TEST_F(TerminalTest, PrintedTextIsCutAt255Characters) {
    h.device.alwaysOpen = true;
    h.open(0);
    h.clear();
    tprintf("%s", letters(300).c_str());
    EXPECT_EQ(h.screen().cursor, 255);
    EXPECT_EQ(h.row(3), letters(255).substr(240) + std::string(65, ' '));
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST_F(TerminalTest, ErrorBoxWaitsForAKeyAndDropsIt) {
    h.device.alwaysOpen = true;
    h.open(0);
    h.clear();
    h.adapter.pushKey('k');
    terror("boom %d", 7);
    EXPECT_EQ(h.takeReplies(), "");
    std::string box = " boom 7  Press any key to continue ";
    EXPECT_EQ(h.row(1).substr(0, box.size()), box);
    EXPECT_EQ(h.attrAt(1, 1), 0x47);   // white on red
    EXPECT_EQ(h.attrAt(1, 10), 0x74);  // red on white
    EXPECT_EQ(h.cursorRow(), 2);
    EXPECT_EQ(h.cursorCol(), 0);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST_F(TerminalTest, DrawingBracketEndsOnTheScreenWhereItBegan) {
    h.device.alwaysOpen = true;
    h.open(1);
    h.open(0);
    h.clear();
    h.screen().modes |= MODE_HOLD;
    h.adapter.pushKey(0x6900);  // Alt+F2 during the hold shows session 2
    h.feed(std::string(30, '\n'));
    ASSERT_EQ(h.terminal.currentScreen, h.terminal.screens[1]);
    EXPECT_EQ(h.terminal.screens[0]->cursorShown, 1);
    EXPECT_EQ(h.terminal.screens[1]->cursorShown, 1);
    EXPECT_TRUE(h.adapter.cursorVisible);
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}
