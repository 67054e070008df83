// Renditions, the private and SCO modes, the replies to the host, and the
// sequences shown or ignored.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "emulation_scenario.h"

namespace {

// The attributes of the characters a stream prints from the home position.
std::vector<int> attrsOf(const std::string& stream, size_t n) {
    Scenario s;
    s.feed(stream);
    std::vector<int> attrs;
    for (size_t c = 0; c < n; c++) attrs.push_back(s.attrAt(0, static_cast<int>(c)));
    EXPECT_TRUE(s.consistent());
    return attrs;
}

}  // namespace

TEST(Renditions, SetColoursAndFlags) {
    const std::pair<const char*, std::vector<int>> cases[] = {
        {"\x1b[1;5;7;31;44ma\x1b[mb\x1b[7;1mc\x1b[0md", {0xC9, 0x02, 0x49, 0x02}},
        {"\x1b[1;ma\x1b[m\x1b[;31mb", {0x0A, 0x0C}},  // empty parameters keep their presets
        // SGR 0 resets the colours drawn without reverse, not those reverse draws with.
        {"\x1b[49;31m\x1b[0m\x1b[7ma", {0x40}},
        {"\x1b[1ma\x1b[22mb\x1b[5;27;39mc\x1b[0md", {0x0A, 0x0A, 0x8A, 0x02}},
        // Hidden until a reset or a new colour, but visible reversed.
        {"\x1b[8ma\x1b[7mb\x1b[0;8m\x1b[33mc\x1b[8m\x1b[0md", {0x00, 0x20, 0x06, 0x02}},
        {"\x1b[31;44m\x1b[39;49ma\x1b[35;46m\x1b[38mb", {0x02, 0x32}},
        {"\x1b[31m\x1b[2;3;4;6;9;11;13;26;28;29;48;50;99;2147483647ma", {0x04}},
        // SCO: defaults take effect at the next reset; parameters before = remain.
        {"\x1b[=7F\x1b[=4Ga\x1b[0mb\x1b[31;44m\x1b[39;49mc", {0x02, 0x17, 0x17}},
        {"\x1b[7=F\x1b[ma", {0x07}},
        {"\x1b[=1Da\x1b[=0Db\x1b[=9Ec\x1b[=0Ed", {0x0A, 0x02, 0x82, 0x02}},
        {"\x1b[=4H\x1b[=1Ia\x1b[7mb", {0x02, 0x14}},
        {"\x1b[31;1m\x1b" "7\x1b[44;7m\x1b[9;9H\x1b" "8x", {0x0C}},  // ESC 8 restores the colours too
        {"\x1b[1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;31;32;44mx", {0x1A}},  // the 17th overwrites the 16th
        // A reset erases in the attribute last sent, then ends the renditions.
        {"\x1b[1;5;7;31;44mx\x1b" "ca", {0x02, 0xC9}},
        {"ab\b\x1b[44m\x1b[K", {0x02, 0x12}},  // erasing draws in the current colours
    };
    for (const auto& [stream, attrs] : cases) EXPECT_EQ(attrsOf(stream, attrs.size()), attrs) << stream + 1;
}

// Unrecognised sequences are shown from where they began.
TEST(Sequences, UnrecognisedAreShownAndUnsupportedIgnored) {
    for (const Case& c : std::initializer_list<Case>{
             {at(4, 4) + "\x1b[5yab", {{4, 4, "aby"}}, 4, 6},
             {at(2, 0) + "\x1b[1\r", {{2, 0, "\x1b[\r"}}, 2, 0},
             {"\x1b[2>\x1b[{\x1b[\xe0", {{0, 0, "\x1b[\xe0"}}, 0, 0},
             {"\x1b[?5x", {{0, 0, "\x1b[?x "}}, 0, 4},
             {"\x1b[=5L\x1b[=J\x1b[=1;2K", {{0, 0, "\x1b[=L "}}, 0, 4},
             {at(2, 3) + "\x1b[?1h\x1b[?7l\x1b[?7h\x1b[?1049h", {{2, 0, BLANK80}}, 2, 3},
             {at(3, 3) + "\x1b[4h\x1b[20l\x1b[Z\x1b[z", {{3, 0, BLANK80}}, 3, 3},
             // Only media copy 5 starts printing.
             {at(3, 0) + "keep\x1b[4i\x1b[i\x1b[0i\x1b[55ishown", {{3, 0, "keepshown"}}, 3, 9},
         })
        check(c);
}

TEST_F(ScenarioTest, EveryHideOfTheCursorNeedsItsOwnShow) {
    const std::pair<const char*, int> steps[] = {
        {"\x1b[?25l\x1b[?25l\x1b[?25h", 0}, {"\x1b[?25h", 1}, {"\x1b[25?l", 1}, {"\x1b[?1;25;25l", -1},
        {"\x1b[?25;7;25h", 1}, {"\x1b[=1;12C", 2}, {"\x1b[=12C\x1b[=11;12C", 0}, {"\x1b[=10;0C", 1}};
    for (const auto& [stream, shown] : steps) {
        s.feed(stream);
        EXPECT_EQ(s.screen().cursorShown, shown) << stream + 1;
        EXPECT_EQ(s.adapter().cursorVisible, shown > 0) << stream + 1;
    }
}

TEST_F(ScenarioTest, RepliesGoInOrderWithTypedKeysAndTheTitleWithoutControls) {
    s.type('a');
    s.feed(at(2, 5) + "\x1b[6n\x1b[5n\x1b[n");
    s.type('b');
    s.feed("\x1b[c\x1b[0c\x1b[=M\x1b[36;41m\x1b[=M");
    EXPECT_EQ(s.replies(), "a\x1b[?3;6Rb\x1b[0;2.07;0;c\x1b[0;2.07;0;c2 0\r6 1\r");
    s.feed(at(0, 0) + std::string(ROWS * COLS, 'x') + "\x1b[6n");
    EXPECT_EQ(s.replies(), "\x1b[?25;1R");
    // The title report leaves out control characters.
    s.feed("\x1b[21t\x1b[11t\x1b[8;21;21t");
    const std::string title = "\x1b]2;~screen 1 \a";
    EXPECT_EQ(s.replies(), title + title + title);
    s.feed("\x1b]0;ab\x01" "c\x1b\\" "\x1b]0;ab\x01" "c[31md\x7f" "e\r\xc4\a\x1b[21t");
    EXPECT_EQ(s.replies(), "\x1b]2;abc[31mde\xc4 \a");
}
