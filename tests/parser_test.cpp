// Printing, control characters, ESC sequences, function-key definitions and
// titles; hostile streams; sessions interleaved.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "emulation_scenario.h"

namespace {

std::string keyDefinition(const Screen& screen, int key) {
    return std::string(reinterpret_cast<const char*>(screen.keyDefs[key]), screen.keyDefLength[key]);
}

}  // namespace

TEST(Printing, TextWrapsAndScrollsAndControlCharactersActOrShowAsGlyphs) {
    for (const Case& c : std::initializer_list<Case>{
             // The wrap already made the move, so CR LF goes down one row.
             {X80 + "\r\nb", {{0, 0, X80}, {1, 0, "b "}, {2, 0, " "}}, 1, 1},
             // The last cell leaves the cursor past it, and the next character scrolls.
             {"top" + at(23, 0) + X80 + "y", {{0, 0, "   "}, {22, 0, X80}, {23, 0, "y "}}, 23, 1},
             // That scroll moves the region, then writes on the last row.
             {"\x1b[1;3r" + at(0, 0) + "r0" + at(1, 0) + "r1" + at(2, 0) + "r2" + at(4, 0) + "r4" +
                  at(23, 0) + X80 + "y",
              {{0, 0, "r1"}, {1, 0, "r2"}, {2, 0, "  "}, {4, 0, "r4"}, {23, 0, "yxx"}}, 23, 1},
             // Below the region a line feed goes up to the region's last row.
             {"\x1b[1;5r" + at(1, 0) + "second" + at(10, 2) + "\n", {{0, 0, "second"}}, 4, 2},
             {"abc\b\bX\r\n\b", {{0, 0, "aXc"}}, 1, 0},
             {"\tA" + at(0, 3) + "\tB" + at(2, 71) + "\tC" + at(2, 75) + "\tD",
              {{0, 8, "B"}, {2, 72, "C"}, {3, 0, "D"}}, 3, 1},
             {at(5, 72) + "\t", {}, 6, 0},
             {"hello\x1b[3;10r\f" + at(23, 0) + "\n", {{0, 0, "     "}}, 23, 0},
             {std::string("a\0\x01" "b\x0b\x1c\x7f\x80\xff\a", 10), {{0, 0, "ab\x0b\x1c\x7f\x80\xff "}}, 0, 7},
             {"\x9b" "5;10H", {}, 4, 9},
             // Line drawing: 0x5F to 0x7E only, translated values always printed.
             {"\x0elqkd_~^A`\x0flqk", {{0, 0, "\xda\xc4\xbf\x1b \xfa^A\x04lqk"}}, 0, 12},
             {"\x1b(0q\x1b(Bq\x1b)0q\x1b(Aq\x1b)0\x1b(xq", {{0, 0, "\xc4q\xc4q\xc4"}}},
             {"\x1b[12mA\x0eq\x0f\x1b[10mA", {{0, 0, "\xc1\xc4\x41"}}},  // and in the high-bit font
         })
        check(c);
}

TEST(EscapeSequences, ActOrShowTheirTwoBytes) {
    for (const Case& c : std::initializer_list<Case>{
             // ESC 8 returns to where CSI s saved too.
             {"\x1b" "7" + at(5, 6) + "\x1b[s\x1b[H\x1b" "8x", {{5, 6, "x"}}, 5, 7},
             // ESC M: a blank line at the top of the region, the cursor stays.
             {"\x1b[3;6r" + at(2, 0) + "three" + at(6, 0) + "seven" + at(4, 3) + "\x1bM",
              {{2, 0, "     "}, {3, 0, "three"}, {6, 0, "seven"}}, 4, 3},
             {at(1, 4) + "\x1b" "Da\x1b" "Eb" + at(23, 0) + "last\x1b" "D", {{1, 4, "a"}, {2, 0, "b"}, {22, 0, "last"}}},
             {"text\x0e\x1b[12m\x1b[5;10r\x1b" "cq\n", {{0, 0, "q   "}}, 1, 1},
             {"\x1b#8\x1b=\x1b>z", {{0, 0, "\x1b#8z "}}, 0, 4},
         })
        check(c);
}

TEST_F(ScenarioTest, KeyDefinitionsAreCutAndBounded) {
    const std::string before = keyDefinition(s.screen(), 1);
    s.feed("\x1bQ3|ab|\x1bQ7 \x1b[A\r \x1bQ|xy|\x1bQ70|abcdefghijklmnopqrst|\x1bQ71|x|\x1bQ80|x|"
           "\x1bQ4294967297|x|\x1bQ99999999999|x|\x1bQ5||after");
    std::vector<std::string> defined;
    for (int key : {3, 7, 0, 70, 5, 1}) defined.push_back(keyDefinition(s.screen(), key));
    EXPECT_EQ(defined, (std::vector<std::string>{"ab", "\x1b[A\r", "xy", "abcdefghijklmnop", "", before}));
    EXPECT_EQ(s.text(0, 0, 6), "after ");
}

TEST_F(ScenarioTest, TitlesEndWithBelOrEscapeKeepTheirFirstBytesAndNeedAStatusLine) {
    s.feed("\x1b]0;abc\a\x1b]2;x\r\n");
    EXPECT_STREQ(s.screen().statusText.data(), "abc ");
    s.feed("\a");
    EXPECT_STREQ(s.screen().statusText.data(), "x\r\n ");
    s.feed("\x1b]def\a");
    EXPECT_STREQ(s.screen().statusText.data(), "def ");
    s.feed("\x1b]0;" + std::string(400, 't') + "\aafter");
    EXPECT_EQ(s.screen().oscLength, OSC_TEXT_SIZE - 1);
    EXPECT_EQ(s.text(0, 0, 6), "after ");
    // Strings ended by ESC \ (links, for one) leave the output after them alone.
    s.feed("\r\n\x1b]8;;file:///x\x1b\\link\x1b]8;;\x1b\\ \x1b]0;red\x1b[31mred");
    EXPECT_EQ(s.text(1, 0, 9), "link red ");
    EXPECT_NE(s.attrAt(1, 5), s.attrAt(1, 0));
    EXPECT_STREQ(s.screen().statusText.data(), "red ");

    Scenario vt100(VT100, ROWS, COLS);
    vt100.feed("\x1b]0;abc\a\x05");
    EXPECT_STREQ(vt100.screen().statusText.data(), "");
    EXPECT_EQ(vt100.replies(), "Vt100");
}

// Streams built from the pieces of sequences, so that every state sees long
// runs of plausible and implausible input.
TEST(HostileInput, FloodsKeepEveryAccessInside) {
    static const char* const pieces[] = {
        "\x1b", "\x1b[", "\x1b]", "\x1bQ", "\x1b(", "\x9b", "?", "=", ";", "0", "1", "7", "25",
        "99999999999", "2147483647", "\a", "\r", "\n", "\b", "\t", "\x0e", "\f", "\x05", "H", "J",
        "K", "L", "M", "P", "@", "S", "T", "X", "r", "s", "u", "m", "h", "l", "A", "C", "E", "d",
        "n", "c", "t", "i", "|", "x"};
    for (unsigned seed = 1; seed <= 6; seed++) {
        Scenario s(seed % 2 ? XTERM : SCOANSI, seed % 3 ? ROWS + 1 : 2, seed % 3 ? COLS : 3);
        std::mt19937 random(seed);
        std::string stream;
        while (stream.size() < 40000)
            stream += random() % 8 ? pieces[random() % std::size(pieces)] : std::string(1, static_cast<char>(random()));
        s.feed(stream);
        const Screen& screen = s.screen();
        EXPECT_TRUE(screen.cursor <= screen.rows * screen.cols && 0 <= screen.scrollTop &&
                    screen.scrollTop <= screen.scrollBottom && screen.scrollBottom < screen.rows)
            << "seed " << seed;
        EXPECT_TRUE(s.consistent()) << "seed " << seed;
    }
}

TEST(InterleavedSessions, HalfFinishedSequencesDoNotDisturbEachOther) {
    Scenario s;
    s.feed("\x1b[1");
    s.open(1);
    s.feed("\x1b[2J\x1b[3");
    s.show(0);
    s.feed("0;5HA\x1b]0;on");
    s.show(1);
    s.feed("1mB\x1bQ5|x");
    s.show(0);
    s.feed("e\a");
    EXPECT_EQ(s.text(9, 4, 1), "A");
    EXPECT_EQ(s.attrAt(9, 4), 0x02);
    EXPECT_STREQ(s.screen().statusText.data(), "one ");
    s.show(1);
    s.feed("y|");
    EXPECT_EQ(s.text(0, 0, 1), "B");
    EXPECT_EQ(s.attrAt(0, 0), 0x04);
    EXPECT_EQ(keyDefinition(s.screen(), 5), "xy");
    EXPECT_EQ(keyDefinition(*s.terminal().screens[0], 5), "\x1b[R");
    EXPECT_TRUE(s.consistent());
}
