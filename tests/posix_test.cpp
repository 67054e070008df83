// The POSIX stand-ins: the key decoder and the console input over a terminal, the runtime's key functions,
// files and sockets, the renderer that shows the console buffer on a terminal, and the buffer's own writes
// and block moves against a cell-by-cell reference.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "scratch_dir.h"
#include "text/cp437.h"

namespace {

constexpr DWORD SHIFT = SHIFT_PRESSED, CTRL = LEFT_CTRL_PRESSED, ALT = LEFT_ALT_PRESSED;

// A virtual-key code (or, for a key event that names no key, its character) and the control-key state.
using Keys = std::vector<std::pair<int, DWORD>>;

// Letters, digits and the space, as a plain American keyboard types them.
int lettersLayout(WORD virtualKey, DWORD state) {
    if (virtualKey >= 'A' && virtualKey <= 'Z' && (state & ~SHIFT) == 0)
        return state == SHIFT ? virtualKey : virtualKey - 'A' + 'a';
    bool digitOrSpace = (virtualKey >= '0' && virtualKey <= '9') || virtualKey == VK_SPACE;
    return digitOrSpace && state == 0 ? virtualKey : 0;
}

// Decodes the pieces in order, then lets the held rest go; each key down must be followed by its up.  Without
// the layout, characters come alone.
Keys decodePieces(const std::vector<std::string>& pieces, bool layout = true, bool utf8 = true) {
    KeyDecoder decoder(utf8);
    if (layout) decoder.setLayout(lettersLayout);
    std::deque<INPUT_RECORD> events;
    for (const std::string& piece : pieces) decoder.feed(piece.data(), piece.size(), events);
    decoder.flush(events);
    EXPECT_FALSE(decoder.holding());
    EXPECT_EQ(events.size() % 2, 0u);
    Keys keys;
    for (size_t i = 0; i + 1 < events.size(); i += 2) {
        const KEY_EVENT_RECORD& down = events[i].Event.KeyEvent;
        const KEY_EVENT_RECORD& up = events[i + 1].Event.KeyEvent;
        EXPECT_TRUE(down.bKeyDown && !up.bKeyDown && down.wVirtualKeyCode == up.wVirtualKeyCode);
        int character = static_cast<unsigned char>(down.uChar.AsciiChar);
        keys.emplace_back(down.wVirtualKeyCode != VK_PACKET ? down.wVirtualKeyCode : character,
                          down.dwControlKeyState);
    }
    return keys;
}

INPUT_RECORD keyRecord(WORD virtualKey, WORD scan, DWORD state, char character, bool down = true) {
    return INPUT_RECORD{KEY_EVENT, {KEY_EVENT_RECORD{down, 1, virtualKey, scan, {character}, state}}};
}

const std::string CLEAR = "\x1b[0m\x1b[2J";

// Text at a position; the cursor is then homed.
void put(ConsoleOutput& console, int x, int y, const std::string& text, WORD attributes = 7) {
    console.attributes = attributes;
    console.moveCursor(COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)});
    console.writeText(text.data(), static_cast<DWORD>(text.size()));
    console.moveCursor(COORD{0, 0});
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

using Cells = std::vector<ConsoleCell>;

// Bytes written one at a time: each at the cursor, which moves on, wraps (scrolling at the bottom) or,
// without wrapping, stays in the last column.
void writeByByte(Cells& cells, COORD& cursor, int width, bool wrap, const std::string& bytes, WORD attributes) {
    int height = static_cast<int>(cells.size()) / width;
    for (char byte : bytes) {
        cells[cursor.Y * width + cursor.X] = ConsoleCell{static_cast<unsigned char>(byte), attributes};
        if (cursor.X + 1 < width || !wrap) {
            cursor.X = static_cast<SHORT>(std::min(cursor.X + 1, width - 1));
        } else if (cursor.X = 0; cursor.Y + 1 < height) {
            cursor.Y++;
        } else {
            cells.erase(cells.begin(), cells.begin() + width);
            cells.resize(cells.size() + width, ConsoleCell{' ', attributes});
        }
    }
}

// A block moved cell by cell: every cell of the clip that the moved rectangle covers takes the cell it came
// from, every other cell of the clip inside the rectangle takes the fill.  Only what lies in the buffer
// moves; false when nothing of it does.
bool moveByCell(Cells& cells, int width, SMALL_RECT scroll, const SMALL_RECT* clip, COORD to, ConsoleCell fill) {
    const Cells before = cells;
    int height = static_cast<int>(cells.size()) / width;
    auto inside = [](int x, int y, SMALL_RECT r) { return x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom; };
    SMALL_RECT moved{std::max<SHORT>(scroll.Left, 0), std::max<SHORT>(scroll.Top, 0),
                     std::min<SHORT>(scroll.Right, width - 1), std::min<SHORT>(scroll.Bottom, height - 1)};
    int dx = to.X - scroll.Left, dy = to.Y - scroll.Top;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            if (clip == nullptr || inside(x, y, *clip))
                if (inside(x - dx, y - dy, moved) || inside(x, y, moved))
                    cells[y * width + x] = inside(x - dx, y - dy, moved) ? before[(y - dy) * width + x - dx] : fill;
    return moved.Left <= moved.Right && moved.Top <= moved.Bottom;
}

}  // namespace

TEST(KeyDecoder, TerminalSequencesBecomeKeysWholeByteByByteAndSplitAnywhere) {
    const std::pair<std::string, Keys> cases[] = {
        {"aZ\r\t\x7f\b", {{'A', 0}, {'Z', SHIFT}, {VK_RETURN, 0}, {VK_TAB, 0}, {VK_BACK, 0}, {VK_BACK, 0}}},
        {"\x1bx\x1bX\x1b\x1b", {{'X', ALT}, {'X', SHIFT | ALT}, {VK_ESCAPE, ALT}}},
        {"\x1b[A\x1bOB\x1b\x1b[A", {{VK_UP, 0}, {VK_DOWN, 0}, {VK_UP, ALT}}},
        {"\x1b[1;5D\x1b[1;8H\x1b[1;2F", {{VK_LEFT, CTRL}, {VK_HOME, SHIFT | ALT | CTRL}, {VK_END, SHIFT}}},
        {"\x1bOP\x1b[1;2P\x1b[1;3Q\x1b[1;4R\x1b[1;7S",
         {{VK_F1, 0}, {VK_F1, SHIFT}, {VK_F1 + 1, ALT}, {VK_F1 + 2, SHIFT | ALT}, {VK_F1 + 3, CTRL | ALT}}},
        {"\x1b[11~\x1b[15~\x1b[17;2~\x1b[21~\x1b[23~\x1b[24;5~",
         {{VK_F1, 0}, {VK_F1 + 4, 0}, {VK_F1 + 5, SHIFT}, {VK_F10, 0}, {VK_F11, 0}, {VK_F12, CTRL}}},
        {"\x1b[[A\x1b[[E", {{VK_F1, 0}, {VK_F1 + 4, 0}}},
        {"\x1b[1~\x1b[4~\x1b[7~\x1b[8~", {{VK_HOME, 0}, {VK_END, 0}, {VK_HOME, 0}, {VK_END, 0}}},
        {"\x1b[2~\x1b[3;3~\x1b[5~\x1b[6~", {{VK_INSERT, 0}, {VK_DELETE, ALT}, {VK_PRIOR, 0}, {VK_NEXT, 0}}},
        {"\x1b[2$\x1b[2^\x1b[3@", {{VK_INSERT, SHIFT}, {VK_INSERT, CTRL}, {VK_DELETE, CTRL | SHIFT}}},
        {"\x1b[Z\x1b[a\x1bOd", {{VK_TAB, SHIFT}, {VK_UP, SHIFT}, {VK_LEFT, CTRL}}},
        // Sequences that are no key are swallowed whole; what follows still counts.
        {"\x1b[200~\x1b[?1;2c\x1b[99~\x1b[I1", {{'1', 0}}},
        // A character that no key of the layout types still comes, as itself; broken UTF-8 and control bytes
        // without a key are dropped.
        {"\xC3\xA9\xC2\xB0\xE0\xA0\x80\xff\xC3z~\x1c", {{0x82, 0}, {0xF8, 0}, {'Z', 0}, {'~', 0}}},
        {"ab\x1b[Bc", {{'A', 0}, {'B', 0}, {VK_DOWN, 0}, {'C', 0}}},
    };
    for (const auto& [bytes, keys] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        std::vector<std::string> single;
        for (char byte : bytes) single.emplace_back(1, byte);
        EXPECT_EQ(decodePieces(single), keys);
        for (size_t cut = 0; cut < bytes.size(); cut++)  // cut 0: all in one piece
            EXPECT_EQ(decodePieces({bytes.substr(0, cut), bytes.substr(cut)}), keys) << "cut " << cut;
    }
}

TEST(KeyDecoder, WithoutALayoutCharactersComeAsTheCodePageByteAndOverlongSequencesAreTyped) {
    EXPECT_EQ(decodePieces({"\xC3\xA9\xE2\x94", "\x80x\x1b["}, false),
              (Keys{{0x82, 0}, {0xC4, 0}, {'x', 0}, {'[', ALT}})) << "a sequence given up is Alt with its bytes";
    // A terminal of another codeset sends the byte itself.
    EXPECT_EQ(decodePieces({"\xE9"}, false, false), (Keys{{0xE9, 0}}));
    Keys keys = decodePieces({"\x1b[" + std::string(20, '7') + "Z"});
    EXPECT_EQ(keys.size(), 22u) << "not a key sequence: the [ and the digits are typed";
    EXPECT_EQ(keys.back(), (std::pair<int, DWORD>{'Z', SHIFT}));
}

TEST(ConsoleInput, ReadsTheDescriptorTimesOutALoneEscapeAndEndsWithTheInput) {
    int terminal[2];
    ASSERT_EQ(pipe(terminal), 0);
    ConsoleInput input(terminal[0], true);
    ASSERT_EQ(write(terminal[1], "\x1b", 1), 1);
    input.pump();
    EXPECT_TRUE(input.events.empty());
    ASSERT_TRUE(input.wait(10000, false));
    ASSERT_EQ(input.events.size(), 2u);
    EXPECT_EQ(input.events[0].Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
    input.events.clear();
    ASSERT_EQ(write(terminal[1], "q", 1), 1);
    INPUT_RECORD records[4];
    DWORD count = 0;
    const CONSOLE_CURSOR_INFO cursor{25, TRUE};
    EXPECT_TRUE(PeekConsoleInputA(&input, records, 4, &count) && count == 2) << count;
    EXPECT_TRUE(ReadConsoleInputA(&input, records, 1, &count) && count == 1 && records[0].Event.KeyEvent.bKeyDown);
    EXPECT_TRUE(PeekConsoleInputA(&input, records, 4, &count) && count == 1) << "a read takes, a peek leaves";
    EXPECT_TRUE(ReadConsoleInputA(&input, nullptr, 0, &count) && count == 0) << "a read of nothing is no error";
    EXPECT_FALSE(ReadConsoleInputA(&input, records, 1, nullptr) || SetConsoleCursorInfo(&input, &cursor))
        << "a call without its result, or on a handle of the other kind, is refused";
    input.events.clear();
    EXPECT_EQ(WaitForSingleObject(&input, 1), WAIT_TIMEOUT);
    close(terminal[1]);
    EXPECT_EQ(WaitForSingleObject(&input, INFINITE), WAIT_TIMEOUT) << "nothing can come any more";
    EXPECT_TRUE(input.ended);
    SetStdHandle(STD_INPUT_HANDLE, &input);
    EXPECT_EQ(_getch(), 0) << "the end of the input gives no key";
    SetStdHandle(STD_INPUT_HANDLE, nullptr);
    close(terminal[0]);
}

TEST(ConsoleInput, RuntimeKeyFunctionsGiveCharactersAndExtendedCodes) {
    ConsoleInput input(-1, true);
    SetStdHandle(STD_INPUT_HANDLE, &input);
    EXPECT_EQ(_kbhit(), 0);
    input.events = {keyRecord('A', 0x1E, 0, 'a'),        keyRecord('A', 0x1E, 0, 'a', false),
                    keyRecord(VK_F1, 0x3B, 0, 0),        keyRecord(VK_F1, 0x3B, SHIFT, 0),
                    keyRecord(VK_F12, 0x58, ALT, 0),     keyRecord('X', 0x2D, ALT, 'x'),
                    keyRecord(VK_SHIFT, 0x2A, SHIFT, 0)};
    std::vector<int> codes;
    while (_kbhit()) codes.push_back(_getch());
    SetStdHandle(STD_INPUT_HANDLE, nullptr);
    EXPECT_EQ(codes, (std::vector<int>{'a', 0, 0x3B, 0, 0x54, 0, 0x8C, 0, 0x2D}));
}

TEST(ConsoleRenderer, FirstFrameEntersTheAlternateScreenThenOnlyChangesGoOutAndLeavingResetsAll) {
    ConsoleOutput console(3, 2);
    ConsoleRenderer renderer(true);
    EXPECT_EQ(renderer.leave(), "") << "nothing shown yet, nothing to give back";
    put(console, 0, 0, "ab");
    EXPECT_EQ(renderer.frame(console), "\x1b[?1049h\x1b[?7l" + CLEAR + "\x1b[1H\x1b[0;37;40mab \x1b[2H   \x1b[1H");
    EXPECT_EQ(renderer.frame(console), "") << "an unchanged buffer writes nothing";
    put(console, 1, 1, "x");
    EXPECT_EQ(renderer.frame(console), "\x1b[2;2Hx\x1b[1H");
    put(console, 1, 1, "x");
    EXPECT_EQ(renderer.frame(console), "") << "the same character again changes nothing";
    console.bell = true;
    EXPECT_EQ(renderer.frame(console), "\x07");
    EXPECT_EQ(renderer.frame(console), "") << "the bell rings once";
    // After other output everything is painted again, but the screen is entered once.
    renderer.repaintAll();
    EXPECT_EQ(renderer.frame(console), CLEAR + "\x1b[1H\x1b[0;37;40mab \x1b[2H x \x1b[1H");
    const CONSOLE_CURSOR_INFO hidden{25, FALSE}, block{100, TRUE}, normal{25, TRUE};
    SetConsoleCursorInfo(&console, &hidden);
    EXPECT_EQ(renderer.frame(console), "\x1b[?25l");
    SetConsoleCursorInfo(&console, &block);
    console.moveCursor(COORD{2, 1});
    EXPECT_EQ(renderer.frame(console), "\x1b[2;3H\x1b[2 q\x1b[?25h");
    SetConsoleCursorInfo(&console, &normal);
    EXPECT_EQ(renderer.frame(console), "\x1b[0 q");
    // The cursor shape was changed: it is reset too.
    std::string leave = renderer.leave();
    for (const char* part : {"\x1b[?1049l", "\x1b[?7h", "\x1b[0m", "\x1b[0 q\x1b[?25h"})
        EXPECT_TRUE(contains(leave, part)) << part;
}

TEST(ConsoleRenderer, ColoursFollowTheConsoleBitsAndGlyphsGoOutAsUtf8OrRawBytesButNeverAsControls) {
    ConsoleOutput console(9, 1);
    console.mode = 0;
    put(console, 0, 0, "a", 0x1E);  // bright yellow on blue
    put(console, 1, 0, "b", 0x87);  // bit 7 is not shown: white on black
    put(console, 2, 0, "c", 0x07);
    put(console, 3, 0, "d", 0x41);  // blue on red
    put(console, 4, 0, std::string("\xC4\x01\x00\x82\x1B", 5));
    std::string frame = ConsoleRenderer(true).frame(console);
    EXPECT_TRUE(contains(frame, "\x1b[0;93;44ma\x1b[37;40mbc\x1b[34;41md\x1b[37;40m"
                                "\xE2\x94\x80\xE2\x98\xBA \xC3\xA9\xE2\x86\x90")) << frame;
    frame = ConsoleRenderer(false).frame(console);
    EXPECT_TRUE(contains(frame, "\xC4? ??")) << frame;
    for (int byte = 0x01; byte < 0x100; byte++)
        EXPECT_EQ(unicodeToCp437(cp437ToUnicode(static_cast<unsigned char>(byte))), byte) << byte;
}

TEST(ConsoleRenderer, ASmallerTerminalGetsOnlyWhatFitsAndTheBufferRefusesACursorOutside) {
    ConsoleOutput console(6, 3);
    console.mode = 0;
    ConsoleRenderer renderer(true);
    put(console, 0, 2, "zzzzzz");
    put(console, 0, 0, "abcdef");
    for (COORD outside : {COORD{6, 0}, COORD{0, 3}, COORD{-1, 1}, COORD{0, -1}})
        EXPECT_FALSE(console.moveCursor(outside));
    console.moveCursor(COORD{5, 0});
    renderer.frame(console);
    renderer.clipTo(4, 2);  // the terminal shrank: painted again
    std::string frame = renderer.frame(console);
    // The cursor stands in the last column, beyond the terminal: hidden.
    for (const char* part : {"abcd\x1b[2H", "\x1b[?25l"}) EXPECT_TRUE(contains(frame, part)) << frame;
    for (const char* beyond : {"e", "z"}) EXPECT_FALSE(contains(frame, beyond)) << beyond;
}

TEST(PosixRuntime, FilesAndSocketsKeepTheirContractsAndAWayOutRemovesTheTemporaryFilesLeft) {
    ScratchDir scratch;  // temporary files go there too
    const std::string made = (scratch.path / "made").string();
    int fd = _open(made.c_str(), _O_WRONLY | _O_CREAT, _S_IREAD | _S_IWRITE);
    struct stat status {};
    EXPECT_TRUE(fd >= 0 && _close(fd) == 0 && stat(made.c_str(), &status) == 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0664 & ~mask);
    char byte = 0;
    EXPECT_TRUE(_read(-1, &byte, 1) == -1 && _write(-1, &byte, 1) == -1) << "a failure is reported, not retried";
    errno = 0;
    EXPECT_EQ(WSAGetLastError(), EIO) << "a failure without a reason is no would-block";
    int pair[2];
    unsigned long nonBlocking = 1;
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_TRUE(ioctlsocket(pair[0], FIONBIO, &nonBlocking) == 0 && send(pair[0], "", 0, 0) == 0);
    for (int end : pair) closesocket(end);
    char name[256], left[256];
    {
        ScratchDir missing;
        std::filesystem::remove(missing.path);
        EXPECT_FALSE(temporaryName(name, sizeof name));
    }
    // More than the way out keeps at once, each removed when done with.
    for (int i = 0; i < 20; i++) {
        ASSERT_TRUE(temporaryName(name, sizeof name));
        removeTemporary(name);
    }
    ASSERT_TRUE(!temporaryName(name, 8) && temporaryName(name, sizeof name) && temporaryName(left, sizeof left));
    removeTemporary(name);
    releaseOnSignal();
    EXPECT_FALSE(std::filesystem::exists(left));
}

TEST(ConsoleOutput, TextWritesAndBlockMovesMatchTheirCellByCellDefinitions) {
    std::mt19937 random(5);
    auto coordinate = [&](int size) { return static_cast<SHORT>(static_cast<int>(random() % (size + 6)) - 3); };
    for (int round = 0; round < 2000; round++) {
        int width = 1 + static_cast<int>(random() % 12), height = 1 + static_cast<int>(random() % 6);
        bool wrap = random() % 2;
        ConsoleOutput console(width, height);
        console.mode = wrap ? ENABLE_WRAP_AT_EOL_OUTPUT : 0;
        for (int i = 0; i < width * height; i++)
            console.at(i % width, i / width) = {static_cast<unsigned char>('a' + i % 26), static_cast<WORD>(i)};
        for (int step = 0; step < 4; step++) {
            Cells expected = console.snapshot();
            if (random() % 2) {
                COORD cursor{static_cast<SHORT>(random() % width), static_cast<SHORT>(random() % height)};
                ASSERT_TRUE(console.moveCursor(cursor));
                // Any attribute word, the high byte and bit 7 included.
                console.attributes = static_cast<WORD>(random());
                console.changed = false;
                std::string bytes(random() % (3 * width * height + 2), '\0');
                for (char& byte : bytes) byte = static_cast<char>(random());
                console.writeText(bytes.data(), static_cast<DWORD>(bytes.size()));
                writeByByte(expected, cursor, width, wrap, bytes, console.attributes);
                ASSERT_EQ(std::pair(console.cursor.X, console.cursor.Y), std::pair(cursor.X, cursor.Y));
                ASSERT_EQ(console.changed, !bytes.empty());
            } else {
                SMALL_RECT scroll{coordinate(width), coordinate(height), coordinate(width), coordinate(height)};
                SMALL_RECT clip{coordinate(width), coordinate(height), coordinate(width), coordinate(height)};
                COORD to{coordinate(width), coordinate(height)};
                // Half of the moves take whole rows, as scrolling does.
                if (random() % 2) {
                    scroll.Left = clip.Left = to.X = static_cast<SHORT>(-static_cast<int>(random() % 2));
                    scroll.Right = clip.Right = static_cast<SHORT>(width - 1 + random() % 2);
                }
                const SMALL_RECT* clipping = random() % 3 == 0 ? nullptr : &clip;
                ConsoleCell fill{'#', static_cast<WORD>(step)};
                ASSERT_EQ(console.scrollRectangle(scroll, clipping, to, fill),
                          moveByCell(expected, width, scroll, clipping, to, fill));
            }
            ASSERT_EQ(console.snapshot(), expected) << "round " << round << " step " << step;
        }
    }
}
