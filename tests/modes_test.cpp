// Renditions, the private and SCO modes, the replies to the host and the
// start of transparent printing.
#include <gtest/gtest.h>

#include <string>
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
    const struct {
        const char* stream;
        std::vector<int> attrs;
    } cases[] = {
        {"\x1b[1;5;7;31;44ma\x1b[mb\x1b[7;1mc\x1b[0md", {0xC9, 0x02, 0x49, 0x02}},
        {"\x1b[1;ma\x1b[m\x1b[;31mb", {0x0A, 0x0C}},  // empty parameters keep their presets
        {"\x1b[31;44ma\x1b[7mb\x1b[27mc", {0x14, 0x41, 0x14}},
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
    };
    for (const auto& c : cases) EXPECT_EQ(attrsOf(c.stream, c.attrs.size()), c.attrs) << c.stream + 1;
}

TEST(Renditions, HighBitAndShownSequences) {
    for (const Case& c : std::initializer_list<Case>{
             {"\x1b[12mA\x0eq\x0f\x1b[10mA", {{0, 0, "\xc1\xc4\x41"}}},
             {"\x1b[?5x", {{0, 0, "\x1b[?x "}}, 0, 4},
             {"\x1b[=5L\x1b[=J\x1b[=1;2K", {{0, 0, "\x1b[=L "}}, 0, 4},
             {at(2, 3) + "\x1b[?1h\x1b[?7l\x1b[?7h\x1b[?1049h", {{2, 0, std::string(COLS, ' ')}}, 2, 3},
         })
        check(c);
}

TEST_F(ScenarioTest, EveryHideOfTheCursorNeedsItsOwnShow) {
    const struct {
        const char* stream;
        int shown;
    } steps[] = {{"\x1b[?25l\x1b[?25l\x1b[?25h", 0}, {"\x1b[?25h", 1}, {"\x1b[25?l", 1},
                 {"\x1b[?1;25;25l", -1}, {"\x1b[?25;7;25h", 1}, {"\x1b[=1;12C", 2},
                 {"\x1b[=12C\x1b[=11;12C", 0}, {"\x1b[=10;0C", 1}};
    for (const auto& step : steps) {
        s.feed(step.stream);
        EXPECT_EQ(s.screen().cursorShown, step.shown) << step.stream + 1;
        EXPECT_EQ(s.adapter().cursorVisible, step.shown > 0) << step.stream + 1;
    }
}

TEST_F(ScenarioTest, RepliesGoInOrderWithTypedKeys) {
    s.type('a');
    s.feed(at(2, 5) + "\x1b[6n\x1b[5n\x1b[n");
    s.type('b');
    s.feed("\x1b[c\x1b[0c\x1b[=M\x1b[36;41m\x1b[=M");
    EXPECT_EQ(s.replies(), "a\x1b[?3;6Rb\x1b[0;2.07;0;c\x1b[0;2.07;0;c2 0\r6 1\r");
    s.feed(at(0, 0) + std::string(ROWS * COLS, 'x') + "\x1b[6n");
    EXPECT_EQ(s.replies(), "\x1b[?25;1R");
}

TEST_F(ScenarioTest, TheTitleReportLeavesOutControlCharacters) {
    s.feed("\x1b[21t\x1b[11t\x1b[8;21;21t");
    const std::string title = "\x1b]2;~screen 1 \a";
    EXPECT_EQ(s.replies(), title + title + title);
    s.feed("\x1b]0;ab\x01" "c\x1b\\" "\x1b]0;ab\x01" "c[31md\x7f" "e\r\xc4\a\x1b[21t");
    EXPECT_EQ(s.replies(), "\x1b]2;abc[31mde\xc4 \a");
}

TEST_F(ScenarioTest, OnlyMediaCopyFiveStartsPrinting) {
    s.feed(at(3, 0) + "keep\x1b[4i\x1b[i\x1b[0i\x1b[55i");
    EXPECT_EQ(s.screen().state, &Terminal::stateGround);
    s.feed("\x1b[5isecret");
    EXPECT_EQ(s.screen().state, &Terminal::statePrint);
    s.feed("\x1b[4i");
    EXPECT_EQ(s.text(3, 0, 5), "keep ");
}
