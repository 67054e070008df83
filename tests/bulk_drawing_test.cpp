// The drawing paths that move many cells at once give exactly what drawing
// them one by one gives: the console buffer's text writes, and the runs in
// which the Terminal paints moved blocks.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/console.h"

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
