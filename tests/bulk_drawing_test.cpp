// The drawing paths that move many cells at once give exactly what drawing
// them one by one gives: the console buffer's text writes, and the runs in
// which the Terminal paints moved blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/console.h"
#include "terminal_harness.h"

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

std::string randomBytes(std::mt19937& random, int length) {
    std::string bytes;
    for (int i = 0; i < length; i++) bytes += static_cast<char>(random() & 0xFF);
    return bytes;
}

}  // namespace

TEST(BulkDrawing, ConsoleTextWritesMatchByteByByteOutput) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; round++) {
        int width = 1 + static_cast<int>(random() % 12);
        int height = 1 + static_cast<int>(random() % 4);
        bool wrap = random() % 2;
        ConsoleOutput console(width, height);
        console.mode = wrap ? ENABLE_WRAP_AT_EOL_OUTPUT : 0;
        ReferenceConsole reference{width, height, wrap, console.cells, {}};
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
            ASSERT_EQ(console.cells, reference.cells) << "round " << round << " write " << write;
            ASSERT_EQ(console.cursor.X, reference.cursor.X);
            ASSERT_EQ(console.cursor.Y, reference.cursor.Y);
            ASSERT_EQ(console.changed, !bytes.empty());
        }
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
