// The console adapter over a test console: construction and restoration,
// drawing and the cursor, and the keyboard translation of both layouts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "backend/adapnt.h"

namespace {

constexpr DWORD SHIFT = SHIFT_PRESSED;
constexpr DWORD CTRL = LEFT_CTRL_PRESSED;
constexpr DWORD ALT = LEFT_ALT_PRESSED;
constexpr DWORD ALTGR = RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED;
constexpr DWORD CAPS = CAPSLOCK_ON;
constexpr DWORD NUM = NUMLOCK_ON;

// A console of its own as the standard handles, for the length of a test.
struct TestConsole {
    explicit TestConsole(int columns = 80, int rows = 25) : output(columns, rows) {
        SetStdHandle(STD_OUTPUT_HANDLE, &output);
        SetStdHandle(STD_INPUT_HANDLE, &input);
    }
    ~TestConsole() {
        SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
        SetStdHandle(STD_INPUT_HANDLE, nullptr);
    }
    std::string row(int y, int from, int count) const {
        std::string text;
        for (int x = from; x < from + count; x++) text += static_cast<char>(output.at(x, y).character);
        return text;
    }
    void push(WORD virtualKey, WORD scan, DWORD state, bool down = true) {
        INPUT_RECORD record{};
        record.EventType = KEY_EVENT;
        record.Event.KeyEvent = KEY_EVENT_RECORD{down, 1, virtualKey, scan, {0}, state};
        input.events.push_back(record);
    }
    // One key pressed and released: the code it gives (0 for none).
    int press(AdapNT& adapter, WORD virtualKey, WORD scan, DWORD state) {
        push(virtualKey, scan, state);
        push(virtualKey, scan, state, false);
        int code = adapter.keyReady() ? adapter.readKey() : 0;
        EXPECT_EQ(adapter.keyReady(), 0) << "a release gives no key";
        return code;
    }
    // The key codes that terminal bytes give through the decoder.
    std::vector<int> type(AdapNT& adapter, const std::string& bytes) {
        input.decoder.feed(bytes.data(), bytes.size(), input.events);
        input.decoder.flush(input.events);
        std::vector<int> codes;
        while (!input.events.empty())
            if (adapter.keyReady()) codes.push_back(adapter.readKey());
        return codes;
    }

    ConsoleOutput output;
    ConsoleInput input{-1, true};
};

// Sets the locale variables for the length of a test.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* all) {
        for (int i = 0; i < 3; i++) {
            const char* value = std::getenv(NAMES[i]);
            saved[i] = value != nullptr ? value : "";
            had[i] = value != nullptr;
            unsetenv(NAMES[i]);
        }
        setenv("LC_ALL", all, 1);
    }
    ~ScopedLocale() {
        for (int i = 0; i < 3; i++) {
            if (had[i])
                setenv(NAMES[i], saved[i].c_str(), 1);
            else
                unsetenv(NAMES[i]);
        }
    }
    static void set(const char* name, const char* value) { setenv(name, value, 1); }

private:
    static constexpr const char* NAMES[3] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::string saved[3];
    bool had[3] = {};
};

}  // namespace

TEST(AdapNTOutput, TakesTheBufferSizeAndSetsAndRestoresTheModes) {
    TestConsole console(132, 43);
    console.output.attributes = 0x42;
    console.output.cursorInfo = CONSOLE_CURSOR_INFO{25, FALSE};
    {
        AdapNT adapter(KEYBOARD_AMERICAN, 0);
        EXPECT_EQ(adapter.columns, 132);
        EXPECT_EQ(adapter.rows, 43);
        EXPECT_EQ(console.output.mode, static_cast<DWORD>(ENABLE_PROCESSED_OUTPUT));
        EXPECT_EQ(console.input.mode, static_cast<DWORD>(ENABLE_LINE_INPUT));
        EXPECT_TRUE(console.output.cursorInfo.bVisible);
        EXPECT_EQ(adapter.attribute(), NORMAL_ATTRIBUTE);
        adapter.setAttribute(NORMAL_ATTRIBUTE);
        EXPECT_EQ(console.output.attributes, 0x42) << "the first attribute 7 is not sent";
        adapter.hideCursor();
    }
    EXPECT_EQ(console.output.mode, static_cast<DWORD>(ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT));
    EXPECT_EQ(console.input.mode,
              static_cast<DWORD>(ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT));
    EXPECT_TRUE(console.output.cursorInfo.bVisible);
}

TEST(AdapNTOutput, WritesAndFillsRowByRow) {
    TestConsole console;
    AdapNT adapter(KEYBOARD_AMERICAN, 0);
    adapter.write(75, "0123456789", 10);
    EXPECT_EQ(console.row(0, 75, 5), "01234");
    EXPECT_EQ(console.row(1, 0, 6), "56789 ");
    adapter.setAttribute(0x1E);
    adapter.fill(158, '#', 4);
    EXPECT_EQ(console.row(1, 78, 2), "##");
    EXPECT_EQ(console.row(2, 0, 3), "## ");
    EXPECT_EQ(console.output.at(0, 2).attributes, 0x1E);
    adapter.write(0, "", 0);
    EXPECT_EQ(console.row(0, 0, 1), " ");
}

TEST(AdapNTOutput, AFillWiderThanItsBufferStillFillsEveryCell) {
    TestConsole console(132, 43);
    AdapNT adapter(KEYBOARD_AMERICAN, 0);
    adapter.fill(0, 'x', 300);
    EXPECT_EQ(console.row(0, 0, 132), std::string(132, 'x'));
    EXPECT_EQ(console.row(1, 0, 132), std::string(132, 'x'));
    EXPECT_EQ(console.row(2, 0, 37), std::string(36, 'x') + " ");
}

TEST(AdapNTOutput, AttributesAndCursorPositions) {
    TestConsole console;
    AdapNT adapter(KEYBOARD_AMERICAN, 0);
    adapter.setAttribute(0x1E);
    EXPECT_EQ(console.output.attributes, 0x1E);
    adapter.setAttribute(0x87);
    EXPECT_EQ(console.output.attributes, 0x07) << "bit 7 is not shown";
    EXPECT_EQ(adapter.attribute(), 0x87);
    adapter.setCursor(160);
    EXPECT_EQ(console.output.cursor.X, 0);
    EXPECT_EQ(console.output.cursor.Y, 2);
    adapter.setCursor(25 * 80);
    EXPECT_EQ(console.output.cursor.Y, 2) << "a position beyond the console is refused";
    adapter.setCursor(2000000000);
    EXPECT_EQ(console.output.cursor.Y, 2);
}

TEST(AdapNTOutput, BlockCursorLastsUntilTheNextCursorCall) {
    TestConsole console;
    console.output.cursorInfo = CONSOLE_CURSOR_INFO{25, TRUE};
    AdapNT adapter(KEYBOARD_AMERICAN, 0);
    adapter.hideCursor();
    adapter.blockCursor();
    EXPECT_EQ(console.output.cursorInfo.dwSize, 100u);
    EXPECT_TRUE(console.output.cursorInfo.bVisible);
    adapter.normalCursor();
    EXPECT_EQ(console.output.cursorInfo.dwSize, 25u);
    EXPECT_FALSE(console.output.cursorInfo.bVisible);
    adapter.blockCursor();
    adapter.showCursor();
    EXPECT_EQ(console.output.cursorInfo.dwSize, 25u);
    EXPECT_TRUE(console.output.cursorInfo.bVisible);
}

TEST(AdapNTKeyboard, NamesTheLayoutChosenByOptionOrLocale) {
    TestConsole console;
    EXPECT_STREQ(AdapNT(KEYBOARD_ITALIAN, 0).name(), "WIN32 Console $Revision: 1.8 $ Keyboard Italian (39)");
    EXPECT_STREQ(AdapNT(5, 0).name(), "WIN32 Console $Revision: 1.8 $ Keyboard Unknown (5)");
    {
        ScopedLocale locale("it_IT.UTF-8");
        EXPECT_EQ(AdapNT(KEYBOARD_AUTOMATIC, 0).keyboardCode, KEYBOARD_ITALIAN);
        EXPECT_EQ(AdapNT(KEYBOARD_AMERICAN, 0).keyboardCode, KEYBOARD_AMERICAN);
    }
    {
        ScopedLocale locale("");
        ScopedLocale::set("LANG", "en_GB.UTF-8");
        EXPECT_STREQ(AdapNT(KEYBOARD_AUTOMATIC, 0).name(),
                     "WIN32 Console $Revision: 1.8 $ Keyboard American (1)");
        ScopedLocale::set("LC_CTYPE", "it");
        EXPECT_EQ(AdapNT(KEYBOARD_AUTOMATIC, 0).keyboardCode, KEYBOARD_ITALIAN);
        ScopedLocale::set("LC_ALL", "C");
        EXPECT_EQ(AdapNT(KEYBOARD_AUTOMATIC, 0).keyboardCode, KEYBOARD_AMERICAN);
    }
}

struct KeyCase {
    const char* what;
    int keyboard;
    int forceNumpad;
    WORD virtualKey;
    WORD scan;
    DWORD state;
    int code;
};

const KeyCase KEY_CASES[] = {
    {"a", 1, 0, 'A', 0x1E, 0, 'a'},
    {"Caps Lock A", 1, 0, 'A', 0x1E, CAPS, 'A'},
    {"Caps Lock Shift+A", 1, 0, 'A', 0x1E, CAPS | SHIFT, 'a'},
    {"Ctrl+Shift+A", 1, 0, 'A', 0x1E, CTRL | SHIFT, 1},
    {"Alt+Shift+A", 1, 0, 'A', 0x1E, ALT | SHIFT, 0x1E00},
    {"Ctrl+Alt+A", 1, 0, 'A', 0x1E, CTRL | ALT, 0x1E01},
    {"AltGr+X", 39, 0, 'X', 0x2D, ALTGR, 0x2D01},
    {"Shift+F1", 1, 0, VK_F1, 0x3B, SHIFT, 0x5400},
    {"Alt+Shift+F1", 1, 0, VK_F1, 0x3B, ALT | SHIFT, 0x6800},
    {"Ctrl+F1", 1, 0, VK_F1, 0x3B, CTRL, 0x3B00},
    {"Alt+F10", 1, 0, VK_F10, 0x44, ALT, 0x7100},
    {"Shift+F11", 1, 0, VK_F11, 0x57, SHIFT, 0x8500},
    {"F12", 1, 0, VK_F12, 0x58, 0, 0x8600},
    {"Up", 1, 0, VK_UP, 0x48, ALT, 0x4800},
    {"Insert", 1, 0, VK_INSERT, 0x52, SHIFT, 0x5200},
    {"Delete", 1, 0, VK_DELETE, 0x53, 0, 0x5300},
    {"American Shift+2", 1, 0, '2', 0x03, SHIFT, '@'},
    {"American Shift+0", 1, 0, '0', 0x0B, SHIFT, ')'},
    {"Italian Shift+2", 39, 0, '2', 0x03, SHIFT, '"'},
    {"Italian Shift+3", 39, 0, '3', 0x04, SHIFT, 0x9C},
    {"Ctrl+Alt+5", 39, 0, '5', 0x06, CTRL | ALT, '5'},
    {"American keypad decimal, Num Lock", 1, 0, VK_DECIMAL, 0x53, NUM, '.'},
    {"Italian keypad decimal, Num Lock", 39, 0, VK_DECIMAL, 0x53, NUM, ','},
    {"keypad decimal, Num Lock and Shift", 39, 0, VK_DECIMAL, 0x53, NUM | SHIFT, 0x5300},
    {"keypad decimal without Num Lock", 1, 0, VK_DECIMAL, 0x53, 0, 0x5300},
    {"keypad 7 and *", 1, 0, VK_NUMPAD0 + 7, 0x47, 0, '7'},
    {"keypad *", 1, 0, VK_MULTIPLY, 0x37, SHIFT, '*'},
    {"-e Delete, American", 1, 1, VK_DELETE, 0x53, 0, '.'},
    {"-e Delete, Italian, Ctrl", 39, 1, VK_DELETE, 0x53, CTRL, ','},
    {"Italian AltGr+e grave key", 39, 0, VK_OEM_1, 0x1A, ALTGR, '['},
    {"Italian AltGr+Shift+e grave key", 39, 0, VK_OEM_1, 0x1A, ALTGR | SHIFT, '['},
    {"Italian e grave", 39, 0, VK_OEM_1, 0x1A, 0, 0x8A},
    {"Italian e acute", 39, 0, VK_OEM_1, 0x1A, SHIFT, 0x82},
    {"Italian AltGr+a grave key", 39, 0, VK_OEM_7, 0x28, ALTGR, '#'},
    {"Italian AltGr on a key without AltGr", 39, 0, VK_OEM_2, 0x2B, ALTGR | SHIFT, 0xF5},
    {"American semicolon with right Alt", 1, 0, VK_OEM_1, 0x27, ALTGR | SHIFT, ':'},
    {"American backslash", 1, 0, VK_OEM_5, 0x2B, 0, '\\'},
    {"-k5 uses the Italian tables", 5, 0, VK_OEM_1, 0x1A, 0, 0x8A},
    {"-k5 keeps the point", 5, 0, VK_DECIMAL, 0x53, NUM, '.'},
    {"Enter", 1, 0, VK_RETURN, 0x1C, CTRL, '\r'},
    {"Escape", 1, 0, VK_ESCAPE, 0x01, 0, 0x1B},
    {"Backspace", 1, 0, VK_BACK, 0x0E, 0, '\b'},
    {"Space", 1, 0, VK_SPACE, 0x39, SHIFT, ' '},
    {"a key the tables do not know", 1, 0, 0x5B, 0x5B, 0, 0},
};

TEST(AdapNTKeyboard, TranslatesKeyEventsThroughTheLayoutTables) {
    for (const KeyCase& c : KEY_CASES) {
        TestConsole console;
        AdapNT adapter(c.keyboard, c.forceNumpad);
        EXPECT_EQ(console.press(adapter, c.virtualKey, c.scan, c.state), c.code) << c.what;
    }
}

TEST(AdapNTKeyboard, KeyStateFollowsEveryPressButNotReleases) {
    TestConsole console;
    AdapNT adapter(KEYBOARD_ITALIAN, 0);
    adapter.keyState_ = 0x100;
    EXPECT_EQ(console.press(adapter, VK_SHIFT, 0x2A, SHIFT | CAPS | NUM), 0);
    EXPECT_EQ(adapter.keyState(), 0x100u | KEYSTATE_SHIFT | KEYSTATE_CAPSLOCK | KEYSTATE_NUMLOCK)
        << "the release with nothing held leaves Shift in the word";
    console.press(adapter, 'B', 0x30, ALTGR);
    EXPECT_EQ(adapter.keyState(), 0x100u | KEYSTATE_ALT | KEYSTATE_CTRL | KEYSTATE_RIGHTALT);
    AdapNT american(KEYBOARD_AMERICAN, 0);
    console.press(american, 'B', 0x30, RIGHT_ALT_PRESSED);
    EXPECT_EQ(american.keyState(), KEYSTATE_ALT) << "no AltGr on the American layout";
}

TEST(AdapNTKeyboard, ScrollLockChangesGiveTheirOwnCodes) {
    TestConsole console;
    AdapNT adapter(KEYBOARD_AMERICAN, 0);
    console.press(adapter, 'A', 0x1E, SHIFT);
    EXPECT_EQ(console.press(adapter, 0x91, 0x46, SCROLLLOCK_ON), KEY_SCROLL_ON);
    EXPECT_EQ(adapter.keyState(), KEYSTATE_SHIFT) << "the key state is left as it was";
    EXPECT_EQ(console.press(adapter, 'A', 0x1E, SCROLLLOCK_ON), 'a');
    console.push('A', 0x1E, 0, false);
    EXPECT_EQ(adapter.readKey(), KEY_SCROLL_OFF) << "even a release reports the change";
}

TEST(AdapNTKeyboard, EventsThatAreNoKeyAreConsumedOneAPoll) {
    TestConsole console;
    AdapNT adapter(KEYBOARD_AMERICAN, 0);
    INPUT_RECORD mouse{};
    mouse.EventType = MOUSE_EVENT;
    INPUT_RECORD focus{};
    focus.EventType = FOCUS_EVENT;
    console.input.events = {mouse, focus};
    EXPECT_EQ(adapter.keyReady(), 0);
    EXPECT_EQ(console.input.events.size(), 1u);
    EXPECT_EQ(adapter.keyReady(), 0);
    EXPECT_TRUE(console.input.events.empty());
    console.push('Q', 0x10, 0);
    EXPECT_EQ(adapter.keyReady(), 1);
    EXPECT_EQ(adapter.keyReady(), 1) << "a pending key is kept, no further event consumed";
    EXPECT_EQ(adapter.readKey(), 'q');
}

TEST(AdapNTKeyboard, TerminalKeysReachTheCodesOfTheHotKeys) {
    TestConsole console;
    AdapNT adapter(KEYBOARD_AMERICAN, 0);
    EXPECT_EQ(console.type(adapter, "\x1bOP\x1b[1;3Q\x1b[1;3P\x1b[24~\x1b[5~"),
              (std::vector<int>{0x3B00, 0x6900, 0x6800, 0x8600, 0x4900}));
    EXPECT_EQ(console.type(adapter, "\x1b\x18\x1b\t\x1b\r\x1bx\x1b"),
              (std::vector<int>{0x2D01, 0x1701, 0x3201, 0x2D00, 0x1B}));
    EXPECT_EQ(console.type(adapter, "\x1b[2$"), std::vector<int>{0x5200});
    EXPECT_TRUE(adapter.keyState() & KEYSTATE_SHIFT) << "Shift+Insert pastes";
    EXPECT_EQ(console.type(adapter, "\x1b[2^"), std::vector<int>{0x5200});
    EXPECT_TRUE(adapter.keyState() & KEYSTATE_CTRL) << "Ctrl+Insert copies";
    EXPECT_EQ(console.type(adapter, "A\x01\x7f\r"), (std::vector<int>{'A', 1, '\b', '\r'}));
}

TEST(AdapNTKeyboard, EveryCharacterTypesItselfOrNothing) {
    for (int keyboard : {KEYBOARD_AMERICAN, KEYBOARD_ITALIAN}) {
        TestConsole console;
        AdapNT adapter(keyboard, 0);
        std::string typed;
        for (int byte = 0x20; byte < 0x100; byte++) {
            if (byte == 0x7F) continue;
            char32_t c = cp437ToUnicode(static_cast<unsigned char>(byte));
            std::string utf8;
            if (c < 0x80) {
                utf8 = std::string(1, static_cast<char>(c));
            } else if (c < 0x800) {
                utf8 = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
            } else {
                utf8 = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                        static_cast<char>(0x80 | (c & 0x3F))};
            }
            std::vector<int> codes = console.type(adapter, utf8);
            ASSERT_LE(codes.size(), 1u) << byte;
            if (codes.empty()) continue;
            EXPECT_EQ(codes[0], byte) << keyboard;
            typed += static_cast<char>(byte);
        }
        if (keyboard == KEYBOARD_AMERICAN) {
            EXPECT_EQ(typed.size(), 95u) << "all of ASCII, nothing more";
        } else {
            for (char c : std::string("@#[]\x8A\x82\x97\xF5\x95\x87\x8D\x85\xF8\x9C"))
                EXPECT_NE(typed.find(c), std::string::npos) << static_cast<int>(static_cast<unsigned char>(c));
            for (char c : std::string("{}~`")) EXPECT_EQ(typed.find(c), std::string::npos) << c;
        }
    }
}
