// The console screen buffer and the renderer that shows it on a terminal.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/console.h"
#include "text/cp437.h"

namespace {

const std::string CLEAR = "\x1b[0m\x1b[2J";

// Text at a position; the cursor is then homed unless told to stay.
void put(ConsoleOutput& console, int x, int y, const std::string& text, WORD attributes = 7, bool home = true) {
    console.attributes = attributes;
    console.moveCursor(COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)});
    console.writeText(text.data(), static_cast<DWORD>(text.size()));
    if (home) console.moveCursor(COORD{0, 0});
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// Text writes, wrapping or not, are compared with byte-by-byte output in the bulk drawing tests.
TEST(ConsoleBuffer, RefusesACursorOutside) {
    ConsoleOutput console(10, 3);
    for (COORD outside : {COORD{10, 0}, COORD{0, 3}, COORD{-1, 1}, COORD{0, -1}})
        EXPECT_FALSE(console.moveCursor(outside));
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
    console.cursorInfo = CONSOLE_CURSOR_INFO{25, FALSE};
    console.changed = true;
    EXPECT_EQ(renderer.frame(console), "\x1b[?25l");
    console.cursorInfo = CONSOLE_CURSOR_INFO{100, TRUE};
    console.moveCursor(COORD{2, 1});
    EXPECT_EQ(renderer.frame(console), "\x1b[2;3H\x1b[2 q\x1b[?25h");
    console.cursorInfo = CONSOLE_CURSOR_INFO{25, TRUE};
    console.changed = true;
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
    EXPECT_EQ(unicodeToCp437(U'€'), -1);
}

TEST(ConsoleRenderer, ASmallerTerminalGetsOnlyWhatFits) {
    ConsoleOutput console(6, 3);
    console.mode = 0;
    ConsoleRenderer renderer(true);
    renderer.clipTo(4, 2);
    put(console, 0, 2, "zzzzzz");
    put(console, 0, 0, "abcdef", 7, false);
    std::string frame = renderer.frame(console);
    // The cursor stands in the last column, beyond the terminal: hidden.
    for (const char* part : {"abcd\x1b[2H", "\x1b[?25l"}) EXPECT_TRUE(contains(frame, part)) << frame;
    for (const char* beyond : {"e", "z"}) EXPECT_FALSE(contains(frame, beyond)) << beyond;
}
