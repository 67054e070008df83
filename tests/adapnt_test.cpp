// The console adapter: the keyboard translation of both layouts, and over a
// test console construction and restoration, drawing, the cursor, and the
// keys a terminal sends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "backend/adapnt.h"
#include "text/cp437.h"

namespace {

constexpr DWORD SHIFT = SHIFT_PRESSED;
constexpr DWORD CTRL = LEFT_CTRL_PRESSED;
constexpr DWORD ALT = LEFT_ALT_PRESSED;
constexpr DWORD ALTGR = RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED;

// One key pressed and released, as a console reports it: the code the
// adapter makes of it (0 for none).
int translated(AdapNT& adapter, WORD virtualKey, WORD scan, DWORD state) {
    KEY_EVENT_RECORD event{};
    event.bKeyDown = TRUE;
    event.wRepeatCount = 1;
    event.wVirtualKeyCode = virtualKey;
    event.wVirtualScanCode = scan;
    event.dwControlKeyState = state;
    int code = adapter.translateKey(event);
    event.bKeyDown = FALSE;
    EXPECT_EQ(adapter.translateKey(event), 0) << "a release gives no key";
    return code;
}

}  // namespace

TEST(AdapNTKeyboard, NamesTheLayoutAndTranslatesKeyEventsThroughItsTables) {
    EXPECT_STREQ(AdapNT(KEYBOARD_ITALIAN, 0).name(), "WIN32 Console $Revision: 1.8 $ Keyboard Italian (39)");
    EXPECT_STREQ(AdapNT(5, 0).name(), "WIN32 Console $Revision: 1.8 $ Keyboard Unknown (5)");
    struct KeyCase { const char* what; int keyboard, forceNumpad; WORD key, scan; DWORD state; int code; };
    // The plain characters of both layouts are checked by typing every one.
    const KeyCase cases[] = {
        {"Caps Lock A", 1, 0, 'A', 0x1E, CAPSLOCK_ON, 'A'},
        {"Caps Lock Shift+A", 1, 0, 'A', 0x1E, CAPSLOCK_ON | SHIFT, 'a'},
        {"Ctrl+Shift+A", 1, 0, 'A', 0x1E, CTRL | SHIFT, 1},
        {"Alt+Shift+A", 1, 0, 'A', 0x1E, ALT | SHIFT, 0x1E00},
        {"Ctrl+Alt+A", 1, 0, 'A', 0x1E, CTRL | ALT, 0x1E01},
        {"Shift+F1", 1, 0, VK_F1, 0x3B, SHIFT, 0x5400},
        {"Alt+Shift+F1", 1, 0, VK_F1, 0x3B, ALT | SHIFT, 0x6800},
        {"Ctrl+F1", 1, 0, VK_F1, 0x3B, CTRL, 0x3B00},
        {"Shift+F11", 1, 0, VK_F11, 0x57, SHIFT, 0x8500},
        {"Alt+Up", 1, 0, VK_UP, 0x48, ALT, 0x4800},
        {"Shift+Insert", 1, 0, VK_INSERT, 0x52, SHIFT, 0x5200},
        {"Delete", 1, 0, VK_DELETE, 0x53, 0, 0x5300},
        {"Ctrl+Alt+5", 39, 0, '5', 0x06, CTRL | ALT, '5'},
        {"Italian keypad decimal, Num Lock", 39, 0, VK_DECIMAL, 0x53, NUMLOCK_ON, ','},
        {"keypad decimal, Num Lock and Shift", 39, 0, VK_DECIMAL, 0x53, NUMLOCK_ON | SHIFT, 0x5300},
        {"keypad decimal without Num Lock", 1, 0, VK_DECIMAL, 0x53, 0, 0x5300},
        {"keypad 7", 1, 0, VK_NUMPAD0 + 7, 0x47, 0, '7'},
        {"keypad *", 1, 0, VK_MULTIPLY, 0x37, SHIFT, '*'},
        {"-e Delete, Italian, Ctrl", 39, 1, VK_DELETE, 0x53, CTRL, ','},
        {"Italian AltGr+Shift+e grave key", 39, 0, VK_OEM_1, 0x1A, ALTGR | SHIFT, '['},
        {"Italian AltGr on a key without AltGr", 39, 0, VK_OEM_2, 0x2B, ALTGR | SHIFT, 0xF5},
        {"American semicolon with right Alt", 1, 0, VK_OEM_1, 0x27, ALTGR | SHIFT, ':'},
        {"-k5 uses the Italian tables", 5, 0, VK_OEM_1, 0x1A, 0, 0x8A},
        {"-k5 keeps the point", 5, 0, VK_DECIMAL, 0x53, NUMLOCK_ON, '.'},
        {"a key the tables do not know", 1, 0, 0x5B, 0x5B, 0, 0},
    };
    for (const KeyCase& c : cases) {
        AdapNT adapter(c.keyboard, c.forceNumpad);
        EXPECT_EQ(translated(adapter, c.key, c.scan, c.state), c.code) << c.what;
    }
}

// POSIX only: the rest needs the stand-in console (a buffer and input queue a test can reach).
#ifndef _WIN32

namespace {

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
    // The characters of count cells from a position, row after row.
    std::string text(int position, int count) const {
        std::string text;
        for (int i = position; i < position + count; i++)
            text += static_cast<char>(output.at(i % output.columns(), i / output.columns()).character);
        return text;
    }
    std::string cursorShape() const {
        return std::to_string(output.cursorInfo.dwSize) + (output.cursorInfo.bVisible ? " shown" : " hidden");
    }
    void push(WORD virtualKey, WORD scan, DWORD state, bool down = true) {
        input.events.push_back({KEY_EVENT, {{down, 1, virtualKey, scan, {0}, state}}});
    }
    // One key pressed and released: the code it gives (0 for none).
    int press(AdapNT& adapter, WORD virtualKey, WORD scan, DWORD state) {
        for (bool down : {true, false}) push(virtualKey, scan, state, down);
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

// Sets LC_ALL, with LC_CTYPE and LANG unset, for the length of a test.
struct ScopedLocale {
    static constexpr const char* NAMES[3] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::optional<std::string> saved[3];
    explicit ScopedLocale(const char* all) {
        for (int i = 0; i < 3; i++) {
            if (const char* value = std::getenv(NAMES[i])) saved[i] = value;
            unsetenv(NAMES[i]);
        }
        setenv("LC_ALL", all, 1);
    }
    ~ScopedLocale() {
        for (int i = 0; i < 3; i++) saved[i] ? setenv(NAMES[i], saved[i]->c_str(), 1) : unsetenv(NAMES[i]);
    }
};

}  // namespace

TEST(AdapNTOutput, SetsUpTheConsoleDrawsRowByRowAndGivesTheConsoleBack) {
    TestConsole console(132, 43);
    console.output.attributes = 0x42;
    console.output.cursorInfo = CONSOLE_CURSOR_INFO{25, FALSE};
    const DWORD outputMode = console.output.mode, inputMode = console.input.mode;
    {
        AdapNT adapter(KEYBOARD_AMERICAN, 0);
        EXPECT_EQ(adapter.columns, 132);
        EXPECT_EQ(adapter.rows, 43);
        EXPECT_EQ(console.output.mode, static_cast<DWORD>(ENABLE_PROCESSED_OUTPUT));
        EXPECT_EQ(console.input.mode, static_cast<DWORD>(ENABLE_LINE_INPUT));
        EXPECT_EQ(console.cursorShape(), "25 shown");
        adapter.setAttribute(NORMAL_ATTRIBUTE);
        EXPECT_EQ(console.output.attributes, 0x42) << "the first attribute 7 is not sent";
        adapter.write(129, "0123456789", 10);
        EXPECT_EQ(console.text(129, 11), "0123456789 ");
        adapter.setAttribute(0x1E);
        // Wider than a row, and wider than the buffer a fill writes from.
        adapter.fill(2 * 132, 'x', 300);
        EXPECT_EQ(console.text(2 * 132, 301), std::string(300, 'x') + " ");
        EXPECT_EQ(console.output.at(0, 4).attributes, 0x1E);
        adapter.setAttribute(0x87);
        EXPECT_EQ(console.output.attributes, 0x07) << "bit 7 is not shown";
        EXPECT_EQ(adapter.attribute(), 0x87) << "but kept, for the status line to give back";
        adapter.setCursor(2 * 132 + 5);
        // A row beyond a console coordinate must not wrap around onto the screen.
        adapter.setCursor((65536 + 7) * 132 + 1);
        EXPECT_EQ(console.output.cursor.X, 5);
        EXPECT_EQ(console.output.cursor.Y, 2);
        // A block cursor lasts until the next cursor call, which brings back the stored shape.
        adapter.hideCursor();
        adapter.blockCursor();
        EXPECT_EQ(console.cursorShape(), "100 shown");
        adapter.normalCursor();
        EXPECT_EQ(console.cursorShape(), "25 hidden");
        adapter.blockCursor();
        adapter.showCursor();
        EXPECT_EQ(console.cursorShape(), "25 shown");
        adapter.hideCursor();
    }
    EXPECT_EQ(console.output.mode, outputMode);
    EXPECT_EQ(console.input.mode, inputMode);
    EXPECT_EQ(console.cursorShape(), "25 shown");
}

TEST(AdapNTKeyboard, TheLayoutFollowsTheLocaleUnlessAnOptionGivesIt) {
    TestConsole console;
    ScopedLocale locale("it_IT.UTF-8");
    EXPECT_EQ(AdapNT(KEYBOARD_AUTOMATIC, 0).keyboardCode, KEYBOARD_ITALIAN);
    EXPECT_EQ(AdapNT(KEYBOARD_AMERICAN, 0).keyboardCode, KEYBOARD_AMERICAN);
    setenv("LC_ALL", "", 1);
    setenv("LANG", "en_GB.UTF-8", 1);
    EXPECT_STREQ(AdapNT(KEYBOARD_AUTOMATIC, 0).name(), "WIN32 Console $Revision: 1.8 $ Keyboard American (1)");
    setenv("LC_CTYPE", "it", 1);
    EXPECT_EQ(AdapNT(KEYBOARD_AUTOMATIC, 0).keyboardCode, KEYBOARD_ITALIAN);
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(AdapNT(KEYBOARD_AUTOMATIC, 0).keyboardCode, KEYBOARD_AMERICAN);
}

TEST(AdapNTKeyboard, KeyStateFollowsPressesAndScrollLockAndEventsThatAreNoKeyAreConsumed) {
    TestConsole console;
    AdapNT adapter(KEYBOARD_ITALIAN, 0);
    adapter.keyState_ = 0x100;
    EXPECT_EQ(console.press(adapter, VK_SHIFT, 0x2A, SHIFT | CAPSLOCK_ON | NUMLOCK_ON), 0);
    EXPECT_EQ(adapter.keyState(), 0x100u | KEYSTATE_SHIFT | KEYSTATE_CAPSLOCK | KEYSTATE_NUMLOCK)
        << "the release with nothing held leaves Shift in the word";
    console.press(adapter, 'B', 0x30, ALTGR);
    EXPECT_EQ(adapter.keyState(), 0x100u | KEYSTATE_ALT | KEYSTATE_CTRL | KEYSTATE_RIGHTALT);
    AdapNT american(KEYBOARD_AMERICAN, 0);
    console.press(american, 'B', 0x30, RIGHT_ALT_PRESSED);
    EXPECT_EQ(american.keyState(), KEYSTATE_ALT) << "no AltGr on the American layout";
    console.press(american, 'A', 0x1E, SHIFT);
    EXPECT_EQ(console.press(american, 0x91, 0x46, SCROLLLOCK_ON), KEY_SCROLL_ON);
    EXPECT_EQ(american.keyState(), KEYSTATE_SHIFT) << "the key state is left as it was";
    EXPECT_EQ(console.press(american, 'A', 0x1E, SCROLLLOCK_ON), 'a');
    console.push('A', 0x1E, 0, false);
    EXPECT_EQ(american.readKey(), KEY_SCROLL_OFF) << "even a release reports the change";
    INPUT_RECORD other{MOUSE_EVENT, {}};
    console.input.events = {other, other};
    EXPECT_EQ(american.keyReady(), 0);
    EXPECT_EQ(console.input.events.size(), 1u) << "one event a poll";
    EXPECT_EQ(american.keyReady(), 0);
    console.push('Q', 0x10, 0);
    EXPECT_EQ(american.keyReady(), 1);
    EXPECT_EQ(american.keyReady(), 1) << "a pending key is kept, no further event consumed";
    EXPECT_EQ(american.readKey(), 'q');
}

TEST(AdapNTKeyboard, TerminalKeysReachTheHotKeysAndEveryCharacterTypesItselfOrNothing) {
    for (int keyboard : {KEYBOARD_AMERICAN, KEYBOARD_ITALIAN}) {
        TestConsole console;
        AdapNT adapter(keyboard, 0);
        EXPECT_EQ(console.type(adapter, "\x1bOP\x1b[1;3Q\x1b[1;3P\x1b[24~\x1b[5~"),
                  (std::vector<int>{0x3B00, 0x6900, 0x6800, 0x8600, 0x4900}));
        EXPECT_EQ(console.type(adapter, "\x1b\x18\x1b\t\x1b\r\x1bx\x1b"),
                  (std::vector<int>{0x2D01, 0x1701, 0x3201, 0x2D00, 0x1B}));
        EXPECT_EQ(console.type(adapter, "\x1b[2$"), std::vector<int>{0x5200});
        EXPECT_TRUE(adapter.keyState() & KEYSTATE_SHIFT) << "Shift+Insert pastes";
        EXPECT_EQ(console.type(adapter, "\x1b[2^"), std::vector<int>{0x5200});
        EXPECT_TRUE(adapter.keyState() & KEYSTATE_CTRL) << "Ctrl+Insert copies";
        EXPECT_EQ(console.type(adapter, "A\x01\x7f\r"), (std::vector<int>{'A', 1, '\b', '\r'}));
        // Every printable character types itself, also where the layout has no
        // key for it (Italian: {}~`; American: the accented letters).
        std::string typed, expected;
        for (int byte = 0x20; byte < 0x100; byte++) {
            std::string character;
            appendCp437AsUtf8(character, static_cast<unsigned char>(byte));
            for (int code : console.type(adapter, character)) typed += static_cast<char>(code);
            if (byte != 0x7F) expected += static_cast<char>(byte);
        }
        EXPECT_EQ(typed, expected);
    }
}

#endif
