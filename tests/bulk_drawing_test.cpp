// The drawing paths that move many cells at once give exactly what drawing
// them one by one gives: the console buffer's text writes and block moves,
// the runs in which the Terminal paints moved blocks, the consoles that move
// blocks themselves, and printed characters drawn a run at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "terminal_harness.h"

namespace {

// The adapter calls that paint cells as defined: one setAttribute and one
// write per run of equal attribute of at most 80 cells, then the attribute
// last sent again.
std::vector<std::string> definedPaint(int position, const std::vector<Cell>& cells, int sentAttr) {
    std::vector<std::string> calls;
    for (size_t i = 0; i < cells.size();) {
        std::string text;
        int attr = cells[i] >> 8;
        size_t start = i;
        while (i < cells.size() && text.size() < 80 && (cells[i] >> 8) == attr)
            text += static_cast<char>(cells[i++] & 0xFF);
        calls.push_back("setAttribute " + std::to_string(attr));
        calls.push_back("write " + std::to_string(position + static_cast<int>(start)) + " " + text);
    }
    calls.push_back("setAttribute " + std::to_string(sentAttr));
    return calls;
}

std::vector<std::string> drawingCalls(const std::vector<std::string>& log) {
    std::vector<std::string> calls;
    for (const std::string& entry : log)
        if (entry.rfind("setAttribute", 0) == 0 || entry.rfind("write", 0) == 0) calls.push_back(entry);
    return calls;
}

// Host output that moves blocks every way the interpreter can: scrolling
// regions, line feeds at their bottom, scrolls, inserted and deleted lines
// and characters, in changing colours.
std::string movingStream(std::mt19937& random, int length) {
    static const char* const MOVES[] = {"L", "M", "@", "P", "S", "T", "X", "K", "J"};
    std::string stream;
    auto number = [&](int limit) { return std::to_string(random() % limit); };
    while (static_cast<int>(stream.size()) < length) {
        switch (random() % 8) {
        case 0: stream += "\x1b[" + number(26) + ";" + number(26) + "r"; break;
        case 1: stream += "\x1b[" + number(26) + ";" + number(82) + "H"; break;
        case 2: stream += "\x1b[" + number(30) + MOVES[random() % std::size(MOVES)]; break;
        case 3:
            stream += "\x1b[" + std::to_string(30 + random() % 8) + ";" +
                      std::to_string(40 + random() % 8) + "m";
            break;
        case 4: stream += random() % 2 ? "\r\n" : "\n"; break;
        default:
            for (int n = static_cast<int>(random() % 90); n > 0; n--)
                stream += static_cast<char>(random() % 3 == 0 ? 0x80 + random() % 0x1B : 'a' + random() % 26);
        }
    }
    return stream;
}

}  // namespace

// What the Terminal leaves on a console that moves blocks is what the
// defined drawing leaves: a repaint of every moved cell and one fill per
// printed character (a stream fed byte by byte prints no runs).
TEST(BulkDrawing, BlockMovesAndPrintedRunsShowWhatTheDefinedDrawingShows) {
    std::mt19937 random(3);
    for (int round = 0; round < 40; round++) {
        std::string stream = movingStream(random, 3000);
        // One Terminal at a time: the program's own messages go to the first.
        std::vector<Cell> cells;
        int cursor;
        uint32_t modes;
        {
            TerminalHarness defined;
            defined.device.alwaysOpen = true;
            defined.open(0);
            for (char byte : stream) defined.feed(std::string(1, byte));
            ASSERT_TRUE(cellsMatch(defined.terminal, defined.adapter));
            cells = defined.screen().cells;
            cursor = defined.screen().cursor;
            modes = defined.screen().modes;
        }
        TerminalHarness moving;
        moving.adapter.blockMoves = true;
        moving.device.alwaysOpen = true;
        moving.open(0);
        moving.feed(stream);
        ASSERT_TRUE(cellsMatch(moving.terminal, moving.adapter)) << "round " << round;
        ASSERT_EQ(moving.screen().cells, cells) << "round " << round;
        ASSERT_EQ(moving.screen().cursor, cursor);
        ASSERT_EQ(moving.screen().modes, modes);
        ASSERT_GT(moving.adapter.moveCalls, 0);
    }
}

TEST(BulkDrawing, PaintedBlocksAreDrawnInTheDefinedRuns) {
    TerminalHarness h;
    h.device.alwaysOpen = true;
    h.open(0);
    Terminal& t = h.terminal;
    std::mt19937 random(11);
    for (int round = 0; round < 500; round++) {
        // Few attributes, changing at random distances, so that runs of
        // every length and alignment occur, some longer than 80 cells.
        int length = static_cast<int>(random() % (t.cellCount + 1));
        int position = static_cast<int>(random() % (t.cellCount - length + 1));
        std::vector<Cell> cells(static_cast<size_t>(length));
        int attr = 0;
        for (Cell& cell : cells) {
            if (random() % 40 == 0) attr = static_cast<int>(random() % 3) * 0x51;
            cell = static_cast<Cell>(attr << 8 | (random() & 0xFF));
        }
        h.adapter.log.clear();
        h.adapter.logging = true;
        t.paintCells(position, length, cells.data());
        h.adapter.logging = false;
        std::vector<std::string> expected =
            length == 0 ? std::vector<std::string>{} : definedPaint(position, cells, h.screen().sentAttr);
        ASSERT_EQ(drawingCalls(h.adapter.log), expected) << "round " << round;
        ASSERT_TRUE(std::equal(cells.begin(), cells.end(), h.screen().cells.begin() + position));
    }
    EXPECT_TRUE(cellsMatch(t, h.adapter));
}

TEST(BulkDrawing, PrintedCharactersGoOutARunPerRow) {
    TerminalHarness h;
    h.device.alwaysOpen = true;
    h.open(0);
    h.clear();
    h.adapter.logging = true;
    h.feed("x\r\n" + std::string(100, 'a') + std::string(70, 'b') + "\r\ny\x1b[5Dz");
    h.adapter.logging = false;
    std::vector<std::string> drawn;
    for (const std::string& entry : h.adapter.log)
        if (entry.rfind("write", 0) == 0 || entry.rfind("fill", 0) == 0) drawn.push_back(entry);
    // A single character is a fill; a run stops at the end of its row.
    EXPECT_EQ(drawn, (std::vector<std::string>{"fill 0 120 1", "write 80 " + std::string(80, 'a'),
                                               "write 160 " + std::string(20, 'a') + std::string(60, 'b'),
                                               "write 240 " + std::string(10, 'b'), "fill 320 121 1",
                                               "fill 320 122 1"}));
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

// POSIX only: these compare with the stand-in console's buffer, which Windows does not have.
#ifndef _WIN32

#include "backend/adapnt.h"
#include "platform/posix/console.h"

namespace {

// The console's text output one byte at a time: each byte at the cursor,
// then the cursor moves on, wraps (scrolling at the bottom), or, without
// wrapping, stays in the last column.
struct ReferenceConsole {
    int width;
    int height;
    bool wrap;
    std::vector<ConsoleCell> cells;
    COORD cursor;

    void write(const std::string& bytes, WORD attributes) {
        for (char byte : bytes) {
            cells[static_cast<size_t>(cursor.Y) * width + cursor.X] =
                ConsoleCell{static_cast<unsigned char>(byte), attributes};
            if (cursor.X + 1 < width) {
                cursor.X++;
            } else if (wrap) {
                cursor.X = 0;
                if (cursor.Y + 1 < height) {
                    cursor.Y++;
                } else {
                    cells.erase(cells.begin(), cells.begin() + width);
                    cells.resize(cells.size() + width, ConsoleCell{' ', attributes});
                }
            }
        }
    }
};

// A block move cell by cell: every cell of the clip that the moved
// rectangle covers takes the cell it came from, every other cell of the
// clip inside the original rectangle takes the fill.
std::vector<ConsoleCell> referenceScroll(const ConsoleOutput& console, SMALL_RECT scroll,
                                         const SMALL_RECT* clip, COORD destination, ConsoleCell fill) {
    int width = console.columns();
    int height = console.rows();
    auto inside = [](int x, int y, int left, int top, int right, int bottom) {
        return x >= left && x <= right && y >= top && y <= bottom;
    };
    // Only what lies in the buffer moves.
    int left = std::max<int>(scroll.Left, 0);
    int top = std::max<int>(scroll.Top, 0);
    int right = std::min<int>(scroll.Right, width - 1);
    int bottom = std::min<int>(scroll.Bottom, height - 1);
    int dx = destination.X - scroll.Left;
    int dy = destination.Y - scroll.Top;
    std::vector<ConsoleCell> cells = console.snapshot();
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            if (clip != nullptr && !inside(x, y, clip->Left, clip->Top, clip->Right, clip->Bottom)) continue;
            if (inside(x - dx, y - dy, left, top, right, bottom))
                cells[static_cast<size_t>(y) * width + x] = console.at(x - dx, y - dy);
            else if (inside(x, y, left, top, right, bottom))
                cells[static_cast<size_t>(y) * width + x] = fill;
        }
    }
    return cells;
}

std::string randomBytes(std::mt19937& random, int length) {
    std::string bytes;
    for (int i = 0; i < length; i++) bytes += static_cast<char>(random() & 0xFF);
    return bytes;
}

SHORT randomCoordinate(std::mt19937& random, int size) {
    return static_cast<SHORT>(static_cast<int>(random() % (size + 6)) - 3);
}

// The console attribute bits that show a cell's attribute.
WORD consoleBitsOf(int attr) { return static_cast<WORD>(attr & 0x7F); }

}  // namespace

TEST(BulkDrawing, ConsoleBlockMovesMatchTheCellByCellDefinition) {
    std::mt19937 random(5);
    for (int round = 0; round < 1000; round++) {
        int width = 1 + static_cast<int>(random() % 10);
        int height = 1 + static_cast<int>(random() % 6);
        ConsoleOutput console(width, height);
        for (int i = 0; i < width * height; i++)
            console.at(i % width, i / width) =
                ConsoleCell{static_cast<unsigned char>('a' + i % 26), static_cast<WORD>(i)};
        // Several moves on one console, so each starts from what the last
        // left; half of them move whole rows, as scrolling does.
        for (int move = 0; move < 4; move++) {
            SMALL_RECT scroll{randomCoordinate(random, width), randomCoordinate(random, height),
                              randomCoordinate(random, width), randomCoordinate(random, height)};
            SMALL_RECT clip{randomCoordinate(random, width), randomCoordinate(random, height),
                            randomCoordinate(random, width), randomCoordinate(random, height)};
            COORD destination{randomCoordinate(random, width), randomCoordinate(random, height)};
            if (random() % 2) {
                scroll.Left = clip.Left = destination.X = static_cast<SHORT>(-static_cast<int>(random() % 2));
                scroll.Right = clip.Right = static_cast<SHORT>(width - 1 + random() % 2);
            }
            const SMALL_RECT* clipping = random() % 3 == 0 ? nullptr : &clip;
            ConsoleCell fill{'#', static_cast<WORD>(move)};
            std::vector<ConsoleCell> expected = referenceScroll(console, scroll, clipping, destination, fill);
            console.scrollRectangle(scroll, clipping, destination, fill);
            ASSERT_EQ(console.snapshot(), expected) << "round " << round << " move " << move;
        }
    }
}

TEST(BulkDrawing, TheConsoleAdapterMovesBlocksAsTheScreenDoes) {
    ConsoleOutput console(80, 25);
    ConsoleInput input{-1, true};
    SetStdHandle(STD_OUTPUT_HANDLE, &console);
    SetStdHandle(STD_INPUT_HANDLE, &input);
    {
        AdapNT adapter(KEYBOARD_AMERICAN, 0);
        ScriptedDevice device;
        device.alwaysOpen = true;
        Terminal terminal(&adapter, &device, XTERM, 0, 0);
        terminal.openSession(0);
        std::mt19937 random(9);
        auto consoleMatches = [&]() -> ::testing::AssertionResult {
            const Screen& s = *terminal.currentScreen;
            for (int i = 0; i < terminal.cellCount; i++) {
                ConsoleCell shown = console.at(i % 80, i / 80);
                ConsoleCell held{static_cast<unsigned char>(s.cells[i] & 0xFF),
                                 consoleBitsOf(s.cells[i] >> 8)};
                if (!(shown == held)) return ::testing::AssertionFailure() << "cell " << i;
            }
            return ::testing::AssertionSuccess();
        };
        for (int round = 0; round < 20; round++) {
            std::string stream = movingStream(random, 3000);
            terminal.feedBytes(stream.data(), static_cast<int>(stream.size()));
            ASSERT_TRUE(consoleMatches()) << "round " << round;
        }
        // Blocks that wrap from row to row at other points than whole rows are
        // not a rectangle: the adapter declines them and they are repainted.
        EXPECT_EQ(adapter.moveBlock(5, 100, 200), 0);
        terminal.moveCells(5, 100, 200);
        terminal.moveCells(900, 850, 333);
        EXPECT_TRUE(consoleMatches());
    }
    SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    SetStdHandle(STD_INPUT_HANDLE, nullptr);
}

TEST(BulkDrawing, ConsoleTextWritesMatchByteByByteOutput) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; round++) {
        int width = 1 + static_cast<int>(random() % 12);
        int height = 1 + static_cast<int>(random() % 4);
        bool wrap = random() % 2;
        ConsoleOutput console(width, height);
        console.mode = wrap ? ENABLE_WRAP_AT_EOL_OUTPUT : 0;
        ReferenceConsole reference{width, height, wrap, console.snapshot(), {}};
        for (int write = 0; write < 3; write++) {
            COORD at{static_cast<SHORT>(random() % width), static_cast<SHORT>(random() % height)};
            ASSERT_TRUE(console.moveCursor(at));
            reference.cursor = at;
            // Any attribute word, the high byte and bit 7 included.
            WORD attributes = static_cast<WORD>(random());
            console.attributes = attributes;
            console.changed = false;
            std::string bytes = randomBytes(random, static_cast<int>(random() % (3 * width * height + 2)));
            console.writeText(bytes.data(), static_cast<DWORD>(bytes.size()));
            reference.write(bytes, attributes);
            ASSERT_EQ(console.snapshot(), reference.cells) << "round " << round << " write " << write;
            ASSERT_EQ(console.cursor.X, reference.cursor.X);
            ASSERT_EQ(console.cursor.Y, reference.cursor.Y);
            ASSERT_EQ(console.changed, !bytes.empty());
        }
    }
}

#endif
