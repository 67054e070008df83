// Control sequences: cursor movement, erase, insertion and deletion,
// scrolling, the scrolling region and unrecognised finals.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "emulation_scenario.h"

namespace {

constexpr int CELLS = ROWS * COLS;
const std::string X80(COLS, 'x');
const std::string BLANK80(COLS, ' ');
const std::string FULL = at(0, 0) + std::string(CELLS, 'x');  // leaves the cursor past the last cell

// Every row starts with its own name: "r0", "r1" ...
std::string labelled() {
    std::string out;
    for (int r = 0; r < ROWS; r++) out += at(r, 0) + "r" + std::to_string(r);
    return out;
}

}  // namespace

TEST(CursorMovement, IsOneBasedAndClampedToTheScreen) {
    const std::string from = at(9, 19);
    for (const Case& c : std::initializer_list<Case>{
             {"\x1b[5;10H\x1b[H", {}, 0, 0}, {"\x1b[5H", {}, 4, 0}, {"\x1b[99;99f", {}, 23, 79}, {"\x1b[0;0H", {}, 0, 0},
             {from + "\x1b[30G", {}, 9, 29}, {from + "\x1b[0'", {}, 9, 0}, {from + "\x1b[5d", {}, 4, 19},
             {from + "\x1b[5A", {}, 4, 19}, {from + "\x1b[99A", {}, 0, 19}, {from + "\x1b[3e", {}, 12, 19},
             {from + "\x1b[4a", {}, 9, 23}, {from + "\x1b[D", {}, 9, 18}, {from + "\x1b[99D", {}, 9, 0},
             {from + "\x1b[3E", {}, 12, 0}, {from + "\x1b[F", {}, 8, 0},
             {from + "\x1b[s" + at(0, 0) + "\x1b[u", {}, 9, 19},
             // A move to where the cursor stands keeps the wrap: LF is swallowed.
             {X80 + "\x1b[0C\x1b[0B\n", {}, 1, 0},
             // CSI A clears it even without moving; any real move clears it.
             {X80 + "\x1b[0A\n", {}, 2, 0},
             {X80 + "\x1b[B\n", {}, 3, 0},
             // Just past the last cell the cursor counts as on the row below.
             {FULL + "\x1b[A", {}, 23, 0},
             {FULL + "\x1b[5C", {}, 23, 5},
         })
        check(c);
}

TEST(Erase, InDisplayAndLineInEveryForm) {
    const std::string from = FULL + at(5, 10);
    const std::string x10 = X80.substr(0, 10);
    for (const Case& c : std::initializer_list<Case>{
             {from + "\x1b[J", {{4, 0, X80}, {5, 0, x10 + BLANK80.substr(10)}, {6, 0, BLANK80}, {23, 0, BLANK80}}, 5, 10},
             {from + "\x1b[0J", {{5, 0, x10 + " "}, {23, 0, BLANK80}}, 5, 10},
             {from + "\x1b[1J", {{0, 0, BLANK80}, {4, 0, BLANK80}, {5, 0, BLANK80.substr(0, 11) + "x"}, {6, 0, X80}}, 5, 10},
             {from + "\x1b[3;9r\x1b[2J" + at(23, 0) + "\n", {{0, 0, BLANK80}, {23, 0, BLANK80}}, 23, 0},
             {from + "\x1b[3J\x1b[3K", {{5, 0, X80}, {23, 0, X80}}, 5, 10},
             {from + "\x1b[K", {{4, 0, X80}, {5, 0, x10 + BLANK80.substr(10)}, {6, 0, X80}}, 5, 10},
             {from + "\x1b[1K", {{5, 0, BLANK80.substr(0, 11) + "x"}}, 5, 10},
             {from + "\x1b[2K", {{4, 0, X80}, {5, 0, BLANK80}, {6, 0, X80}}, 5, 10},
             // Right after an automatic wrap the cursor already stands on the next row.
             {FULL + at(5, 0) + std::string(COLS, 'a') + "\x1b[K", {{6, 0, X80}}, 6, 0},
             {FULL + at(5, 0) + std::string(COLS, 'a') + "\x1b[2K", {{5, 0, "aa"}, {6, 0, BLANK80}}, 6, 0},
             // Just past the last cell: nothing is left to erase after the cursor.
             {FULL + "\x1b[J", {{23, 0, X80}}},
             {FULL + "\x1b[1J", {{0, 0, BLANK80}, {23, 0, BLANK80}}},
             // Characters: printed spaces, which wrap; the cursor stays.
             {from + "\x1b[3X", {{5, 8, "xx   xx"}}, 5, 10},
             {FULL + at(7, 78) + "\x1b[4X", {{7, 76, "xx  "}, {8, 0, "  x"}}, 7, 78},
             {"\x1b[12m\x1b[2X", {{0, 0, "\xa0\xa0 "}}, 0, 0},
             {at(1, 0) + X80 + "\x1b[0X\n", {}, 3, 0},
         })
        check(c);
}

TEST_F(ScenarioTest, EraseUsesTheCurrentColours) {
    s.feed(X80 + at(0, 10) + "\x1b[44m\x1b[K");
    EXPECT_EQ(s.attrAt(0, 9), 0x02);
    EXPECT_EQ(s.attrAt(0, 10), 0x12);
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
            Scenario erased;
            Scenario typed;
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
             {row0 + "\x1b[3@", {{0, 0, digits.substr(0, 10) + "   " + digits.substr(10, 67)}, {1, 0, "next"}}, 0, 10},
             {row0 + "\x1b[3P", {{0, 0, digits.substr(0, 10) + digits.substr(13) + "   "}, {1, 0, "next"}}, 0, 10},
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

TEST(Scrolling, MovesOnlyTheRegionAndNotTheCursor) {
    const std::string from = labelled() + "\x1b[6;11r" + at(7, 3);  // region rows 5 to 10
    const Text outside[] = {{4, 0, "r4 "}, {11, 0, "r11"}};
    for (const Case& c : std::initializer_list<Case>{
             {from + "\x1b[2S", {outside[0], outside[1], {5, 0, "r7 "}, {8, 0, "r10"}, {9, 0, "   "}, {10, 0, "   "}}, 7, 3},
             {from + "\x1b[T", {outside[0], outside[1], {5, 0, "   "}, {6, 0, "r5 "}, {10, 0, "r9 "}}, 7, 3},
             {from + "\x1b[2147483647S", {outside[0], outside[1], {5, 0, "   "}, {10, 0, "   "}}, 7, 3},
             {from + "\x1b[99999999999T", {outside[0], outside[1], {5, 0, "   "}, {10, 0, "   "}}, 7, 3},
             {from + at(10, 0) + "\n", {outside[0], outside[1], {5, 0, "r6 "}, {10, 0, "   "}}, 10, 0},
             // CSI r alone: both presets are 1, so the top row is a region of its own.
             {labelled() + "\x1b[r" + at(0, 0) + "\n", {{0, 0, "   "}, {1, 0, "r1 "}}, 0, 0},
             // An upside-down region is refused; the last good one stays.
             {"\x1b[3;10r\x1b[5r\x1b[10;3r" + at(20, 0) + "\n", {}, 9, 0},
         })
        check(c);
}

TEST_F(ScenarioTest, TheRegionIsCutToTheScreen) {
    const struct {
        const char* sequence;
        int top;
        int bottom;
    } cases[] = {{"\x1b[3;999r", 2, 23}, {"\x1b[0;0r", 0, 0}, {"\x1b[99;99999999999r", 23, 23}};
    for (const auto& c : cases) {
        s.feed(c.sequence);
        EXPECT_EQ(s.screen().scrollTop, c.top) << c.sequence + 1;
        EXPECT_EQ(s.screen().scrollBottom, c.bottom) << c.sequence + 1;
    }
}

TEST(UnrecognisedFinals, AreShownWhereTheSequenceBegan) {
    for (const Case& c : std::initializer_list<Case>{
             {at(4, 4) + "\x1b[5y", {{4, 4, "\x1b[y"}}, 4, 4},
             {at(4, 4) + "\x1b[5yab", {{4, 4, "aby"}}, 4, 6},
             {at(2, 0) + "\x1b[1\r", {{2, 0, "\x1b[\r"}}, 2, 0},
             {"\x1b[2>\x1b[{\x1b[\xe0", {{0, 0, "\x1b[\xe0"}}, 0, 0},
             {at(3, 3) + "\x1b[4h\x1b[20l\x1b[Z\x1b[z", {{3, 0, BLANK80}}, 3, 3},
         })
        check(c);
}
