// Control sequences: cursor movement, erase, insertion and deletion,
// scrolling and the scrolling region, with counts of any size.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "emulation_scenario.h"

namespace {

constexpr int CELLS = ROWS * COLS;
const std::string FULL = at(0, 0) + std::string(CELLS, 'x');  // leaves the cursor past the last cell

// Every row starts with its own name: "r0", "r1" ...
std::string labelled() {
    std::string out;
    for (int r = 0; r < ROWS; r++) out += at(r, 0) + "r" + std::to_string(r);
    return out;
}

}  // namespace

TEST(CursorMovement, IsOneBasedAndClampedToTheScreenWhateverTheCount) {
    const std::string from = at(9, 19);
    for (const Case& c : std::initializer_list<Case>{
             {"\x1b[5H", {}, 4, 0}, {"\x1b[99;99f", {}, 23, 79}, {"\x1b[0;0H", {}, 0, 0},
             {from + "\x1b[0'", {}, 9, 0}, {from + "\x1b[99A", {}, 0, 19}, {from + "\x1b[3e", {}, 12, 19},
             {from + "\x1b[4a", {}, 9, 23}, {from + "\x1b[99D", {}, 9, 0}, {from + "\x1b[F", {}, 8, 0},
             {"\x1b[;5H", {}, 0, 4}, {"\x1b[3;H", {}, 2, 0}, {"\x1b[2147483647;2147483647H", {}, 23, 79},
             {"\x1b[99999999999;99999999999999999999H", {}, 23, 79},
             {"\x1b[9;9H\x1b[99999999999A\x1b[4294967296D", {}, 0, 0},
             {"\x1b[4294967297B", {}, 23, 0},  // 2^32 + 1 must not wrap round to 1
             // A move to where the cursor stands keeps the wrap: LF is swallowed.
             {X80 + "\x1b[0C\x1b[0B\n", {}, 1, 0},
             // CSI A clears it even without moving; any real move clears it.
             {X80 + "\x1b[0A\n", {}, 2, 0}, {X80 + "\x1b[B\n", {}, 3, 0},
             // Just past the last cell the cursor counts as on the row below.
             {FULL + "\x1b[A", {}, 23, 0}, {FULL + "\x1b[5C", {}, 23, 5},
         })
        check(c);
}

TEST(Erase, InDisplayAndLineInEveryForm) {
    const std::string from = FULL + at(5, 10);
    const std::string x10 = X80.substr(0, 10);
    for (const Case& c : std::initializer_list<Case>{
             {from + "\x1b[J", {{4, 0, X80}, {5, 0, x10 + BLANK80.substr(10)}, {6, 0, BLANK80}, {23, 0, BLANK80}}, 5, 10},
             {from + "\x1b[3;9r\x1b[2J" + at(23, 0) + "\n", {{0, 0, BLANK80}, {23, 0, BLANK80}}, 23, 0},
             {from + "\x1b[3J\x1b[3K", {{5, 0, X80}, {23, 0, X80}}, 5, 10},
             {from + "\x1b[K", {{4, 0, X80}, {5, 0, x10 + BLANK80.substr(10)}, {6, 0, X80}}, 5, 10},
             {from + "\x1b[1K", {{5, 0, BLANK80.substr(0, 11) + "x"}}, 5, 10},
             // Right after an automatic wrap the cursor already stands on the next row.
             {FULL + at(5, 0) + std::string(COLS, 'a') + "\x1b[K", {{6, 0, X80}}, 6, 0},
             {FULL + at(5, 0) + std::string(COLS, 'a') + "\x1b[2K", {{5, 0, "aa"}, {6, 0, BLANK80}}, 6, 0},
             // Just past the last cell: nothing is left to erase after the cursor.
             {FULL + "\x1b[J", {{23, 0, X80}}}, {FULL + "\x1b[1J", {{0, 0, BLANK80}, {23, 0, BLANK80}}},
             // Characters: printed spaces, which wrap; the cursor stays.
             {FULL + at(7, 78) + "\x1b[4X", {{7, 76, "xx  "}, {8, 0, "  x"}}, 7, 78},
             {"\x1b[12m\x1b[2X", {{0, 0, "\xa0\xa0 "}}, 0, 0},
             {at(1, 0) + X80 + "\x1b[0X\n", {}, 3, 0},
         })
        check(c);
}

// Erase characters with a count past the end of the screen leaves the
// screen that as many spaces printed one by one leave, with bounded work.
TEST(Erase, HugeCharacterCountsGiveTheScreenOfTheFullCount) {
    const std::string setups[] = {
        labelled() + at(10, 5),
        "\x1b[3;12r\x1b[12m\x1b[44m" + labelled() + at(20, 7),
        "\x1b[5;24r\x1b[12m" + labelled() + at(2, 70),
        FULL + "\x1b[2;23r\x1b[31m",
        // Text left on the last row, outside a blank region, by a count that
        // ends one space into the row after.
        at(23, 0) + std::string(50, 't') + "\x1b[1;20r" + at(23, 44),
    };
    // Four screenfuls and a part row; and the largest count against one
    // that ends with the same part row.
    const int counts[][2] = {{4 * CELLS + 37, 4 * CELLS + 37}, {INT32_MAX, 4 * CELLS + INT32_MAX % COLS}};
    for (const std::string& setup : setups) {
        for (const auto& [count, printed] : counts) {
            Scenario erased, typed;
            erased.feed(setup);
            typed.feed(setup + std::string(printed, ' '));
            int fills = erased.adapter().fillCalls;
            erased.feed("\x1b[" + std::to_string(count) + "X");
            EXPECT_LE(erased.adapter().fillCalls - fills, 3 * CELLS);
            EXPECT_EQ(erased.screen().cells, typed.screen().cells) << ::testing::PrintToString(setup);
            EXPECT_TRUE(erased.consistent());
        }
    }
}

TEST(InsertDelete, StayInTheRowOrGoDownToTheLastRow) {
    const std::string digits = "0123456789012345678901234567890123456789012345678901234567890123456789"
                               "0123456789";
    const std::string row0 = at(0, 0) + digits + at(1, 0) + "next" + at(0, 10);
    const std::string rows = labelled() + "\x1b[1;10r";
    for (const Case& c : std::initializer_list<Case>{
             {row0 + "\x1b[@\x1b[0@\x1b[0P", {{0, 8, "89 01"}}},
             {row0 + "\x1b[7;P", {{0, 8, "891"}}},  // an empty last parameter counts 1
             {row0 + "\x1b[2147483647@", {{0, 8, "89 "}, {0, 79, " "}, {1, 0, "next"}}},
             {row0 + "\x1b[99999999999P", {{0, 8, "89 "}, {0, 79, " "}, {1, 0, "next"}}},
             // Lines ignore the region (rows 0 to 9 here).
             {rows + at(20, 3) + "\x1b[2L", {{19, 0, "r19"}, {20, 0, "   "}, {21, 0, "   "}, {22, 0, "r20"}, {23, 0, "r21"}}, 20, 3},
             {rows + at(2, 0) + "\x1b[2M", {{1, 0, "r1 "}, {2, 0, "r4 "}, {21, 0, "r23"}, {22, 0, "   "}, {23, 0, "   "}}, 2, 0},
             // Counts whose cells overflow 32 bits (53687092 * 80 = 2^32 + 64).
             {rows + at(20, 0) + "\x1b[53687092L", {{19, 0, "r19"}, {20, 0, BLANK80}, {23, 0, BLANK80}}},
             {rows + at(20, 0) + "\x1b[2147483647M", {{19, 0, "r19"}, {20, 0, BLANK80}, {23, 0, BLANK80}}},
             // Just past the last cell there is no row to act on.
             {FULL + "\x1b[5L\x1b[5M\x1b[5@\x1b[5P", {{0, 0, X80}, {23, 0, X80}}},
         })
        check(c);
}

TEST(Scrolling, MovesOnlyTheRegionCutToTheScreenAndNotTheCursor) {
    const std::string from = labelled() + "\x1b[6;11r" + at(7, 3);  // region rows 5 to 10
    const Text outside[] = {{4, 0, "r4 "}, {11, 0, "r11"}};
    const std::string lastRowFeed = at(23, 0) + "\n";
    for (const Case& c : std::initializer_list<Case>{
             {from + "\x1b[2147483647S", {outside[0], outside[1], {5, 0, "   "}, {10, 0, "   "}}, 7, 3},
             {from + "\x1b[99999999999T", {outside[0], outside[1], {5, 0, "   "}, {10, 0, "   "}}, 7, 3},
             // CSI r alone: both presets are 1, so the top row is a region of its own.
             {labelled() + "\x1b[r" + at(0, 0) + "\n", {{0, 0, "   "}, {1, 0, "r1 "}}, 0, 0},
             {labelled() + "\x1b[0;0r" + at(0, 0) + "\n", {{0, 0, "   "}, {1, 0, "r1 "}}, 0, 0},
             {labelled() + "\x1b[3;999r" + lastRowFeed, {{1, 0, "r1 "}, {2, 0, "r3 "}, {23, 0, " "}}, 23, 0},
             {labelled() + "\x1b[99;99999999999r" + lastRowFeed, {{22, 0, "r22"}, {23, 0, " "}}, 23, 0},
             // An upside-down region is refused; the last good one stays.
             {"\x1b[3;10r\x1b[5r\x1b[10;3r" + at(20, 0) + "\n", {}, 9, 0},
         })
        check(c);
}
