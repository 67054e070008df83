// The console's own text writes and block moves give what writing byte by
// byte and moving cell by cell give.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/posix/console.h"

namespace {

using Cells = std::vector<ConsoleCell>;

// Bytes written one at a time: each at the cursor, which moves on, wraps
// (scrolling at the bottom) or, without wrapping, stays in the last column.
void writeByByte(Cells& cells, COORD& cursor, int width, bool wrap, const std::string& bytes, WORD attributes) {
    int height = static_cast<int>(cells.size()) / width;
    for (char byte : bytes) {
        cells[cursor.Y * width + cursor.X] = ConsoleCell{static_cast<unsigned char>(byte), attributes};
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

// A block moved cell by cell: every cell of the clip that the moved
// rectangle covers takes the cell it came from, every other cell of the clip
// inside the rectangle takes the fill.  Only what lies in the buffer moves.
void moveByCell(Cells& cells, int width, SMALL_RECT scroll, const SMALL_RECT* clip, COORD to, ConsoleCell fill) {
    const Cells before = cells;
    int height = static_cast<int>(cells.size()) / width;
    auto inside = [](int x, int y, SMALL_RECT r) {
        return x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom;
    };
    SMALL_RECT moved{std::max<SHORT>(scroll.Left, 0), std::max<SHORT>(scroll.Top, 0),
                     std::min<SHORT>(scroll.Right, width - 1), std::min<SHORT>(scroll.Bottom, height - 1)};
    int dx = to.X - scroll.Left;
    int dy = to.Y - scroll.Top;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            if (clip != nullptr && !inside(x, y, *clip)) continue;
            if (inside(x - dx, y - dy, moved))
                cells[y * width + x] = before[(y - dy) * width + x - dx];
            else if (inside(x, y, moved))
                cells[y * width + x] = fill;
        }
    }
}

}  // namespace

TEST(ConsoleOutput, TextWritesAndBlockMovesMatchTheirCellByCellDefinitions) {
    std::mt19937 random(5);
    auto coordinate = [&](int size) { return static_cast<SHORT>(static_cast<int>(random() % (size + 6)) - 3); };
    for (int round = 0; round < 2000; round++) {
        int width = 1 + static_cast<int>(random() % 12);
        int height = 1 + static_cast<int>(random() % 6);
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
                moveByCell(expected, width, scroll, clipping, to, fill);
                console.scrollRectangle(scroll, clipping, to, fill);
            }
            ASSERT_EQ(console.snapshot(), expected) << "round " << round << " step " << step;
        }
    }
}
