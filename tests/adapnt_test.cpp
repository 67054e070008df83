// The console adapter: the keyboard translation of both layouts, and over a test console construction and
// restoration, drawing, the cursor, and the keys a terminal sends (its block moves are in the random streams
// of emulation_test).
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "backend/adapnt.h"
#include "text/cp437.h"

namespace {

constexpr DWORD SHIFT = SHIFT_PRESSED, CTRL = LEFT_CTRL_PRESSED, ALT = LEFT_ALT_PRESSED;
constexpr DWORD ALTGR = RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED;
constexpr int US = KEYBOARD_AMERICAN, IT = KEYBOARD_ITALIAN;

// One key pressed and released, as a console reports it: the code the adapter makes of it (0 for none).
int translated(AdapNT& adapter, WORD virtualKey, WORD scan, DWORD state) {
    KEY_EVENT_RECORD event{TRUE, 1, virtualKey, scan, {0}, state};
    int code = adapter.translateKey(event);
    event.bKeyDown = FALSE;
    EXPECT_EQ(adapter.translateKey(event), 0) << "a release gives no key";
    return code;
}

}  // namespace

TEST(AdapNTKeyboard, NamesTheLayoutAndTranslatesKeyEventsThroughItsTables) {
    EXPECT_STREQ(AdapNT(IT, 0).name(), "WIN32 Console $Revision: 1.8 $ Keyboard Italian (39)");
    EXPECT_STREQ(AdapNT(5, 0).name(), "WIN32 Console $Revision: 1.8 $ Keyboard Unknown (5)");
    // Which characters each layout has a key for: typing every one, below.
    const struct { const char* what; int keyboard, forceNumpad; WORD key, scan; DWORD state; int code; } cases[] = {
        {"Caps Lock A", US, 0, 'A', 0x1E, CAPSLOCK_ON, 'A'}, {"Caps+Shift A", US, 0, 'A', 0x1E, CAPSLOCK_ON | SHIFT, 'a'},
        {"Ctrl+Shift+A", US, 0, 'A', 0x1E, CTRL | SHIFT, 1}, {"Alt+Shift+A", US, 0, 'A', 0x1E, ALT | SHIFT, 0x1E00},
        {"Ctrl+Alt+A", US, 0, 'A', 0x1E, CTRL | ALT, 0x1E01}, {"Shift+F1", US, 0, VK_F1, 0x3B, SHIFT, 0x5400},
        {"Alt+Shift+F1", US, 0, VK_F1, 0x3B, ALT | SHIFT, 0x6800}, {"Ctrl+F1", US, 0, VK_F1, 0x3B, CTRL, 0x3B00},
        {"Shift+F11", US, 0, VK_F11, 0x57, SHIFT, 0x8500}, {"Alt+Up", US, 0, VK_UP, 0x48, ALT, 0x4800},
        {"Shift+Insert", US, 0, VK_INSERT, 0x52, SHIFT, 0x5200}, {"Delete", US, 0, VK_DELETE, 0x53, 0, 0x5300},
        {"Ctrl+Alt+5", IT, 0, '5', 0x06, CTRL | ALT, '5'}, {"Num decimal", IT, 0, VK_DECIMAL, 0x53, NUMLOCK_ON, ','},
        {"Num+Shift decimal", IT, 0, VK_DECIMAL, 0x53, NUMLOCK_ON | SHIFT, 0x5300},
        {"decimal", US, 0, VK_DECIMAL, 0x53, 0, 0x5300}, {"keypad 7", US, 0, VK_NUMPAD0 + 7, 0x47, 0, '7'},
        {"keypad *", US, 0, VK_MULTIPLY, 0x37, SHIFT, '*'}, {"-e Ctrl+Delete", IT, 1, VK_DELETE, 0x53, CTRL, ','},
        {"AltGr+Shift e grave", IT, 0, VK_OEM_1, 0x1A, ALTGR | SHIFT, '['},
        {"AltGr on a key without", IT, 0, VK_OEM_2, 0x2B, ALTGR | SHIFT, 0xF5},
        {"American ; with right Alt", US, 0, VK_OEM_1, 0x27, ALTGR | SHIFT, ':'},
        {"-k5: Italian tables", 5, 0, VK_OEM_1, 0x1A, 0, 0x8A}, {"-k5: point", 5, 0, VK_DECIMAL, 0x53, NUMLOCK_ON, '.'},
        {"a key the tables do not know", US, 0, 0x5B, 0x5B, 0, 0},
    };
    for (const auto& c : cases) {
        AdapNT adapter(c.keyboard, c.forceNumpad);
        EXPECT_EQ(translated(adapter, c.key, c.scan, c.state), c.code) << c.what;
    }
}

TEST(AdapNTKeyboard, KeyStateFollowsEachPressAndScrollLockIsReportedWhenItChanges) {
    AdapNT italian(IT, 0), american(US, 0);
    EXPECT_EQ(translated(italian, VK_SHIFT, 0x2A, SHIFT | CAPSLOCK_ON | NUMLOCK_ON), 0);
    EXPECT_EQ(italian.keyState(), KEYSTATE_SHIFT | KEYSTATE_CAPSLOCK | KEYSTATE_NUMLOCK) << "a release changes nothing";
    translated(italian, 'B', 0x30, ALTGR);
    EXPECT_EQ(italian.keyState(), KEYSTATE_ALT | KEYSTATE_CTRL | KEYSTATE_RIGHTALT);
    translated(american, 'A', 0x1E, SHIFT);
    EXPECT_EQ(translated(american, 0x91, 0x46, SCROLLLOCK_ON), KEY_SCROLL_ON);
    EXPECT_EQ(american.keyState(), KEYSTATE_SHIFT) << "the key state is left as it was";
    EXPECT_EQ(translated(american, 'A', 0x1E, SCROLLLOCK_ON), 'a');
    KEY_EVENT_RECORD release{FALSE, 1, 'A', 0x1E, {0}, 0};
    EXPECT_EQ(american.translateKey(release), KEY_SCROLL_OFF) << "even a release reports the change";
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
    // Terminal bytes through the decoder: console key events.
    void feed(const std::string& bytes) {
        input.decoder.feed(bytes.data(), bytes.size(), input.events);
        input.decoder.flush(input.events);
    }
    // The key codes that terminal bytes give.
    std::vector<int> type(AdapNT& adapter, const std::string& bytes) {
        feed(bytes);
        std::vector<int> codes;
        while (!input.events.empty())
            if (adapter.keyReady()) codes.push_back(adapter.readKey());
        return codes;
    }

    ConsoleOutput output;
    ConsoleInput input{-1, true};
};

}  // namespace

TEST(AdapNTOutput, SetsUpTheConsoleDrawsRowByRowTakesANewSizeAndGivesTheConsoleBack) {
    TestConsole console(132, 43);
    console.output.attributes = 0x42;
    console.output.cursorInfo = CONSOLE_CURSOR_INFO{25, FALSE};
    const DWORD outputMode = console.output.mode, inputMode = console.input.mode;
    {
        AdapNT adapter(US, 0);
        EXPECT_TRUE(adapter.columns == 132 && adapter.rows == 43);
        EXPECT_EQ(console.output.mode, static_cast<DWORD>(ENABLE_PROCESSED_OUTPUT));
        EXPECT_EQ(console.input.mode, static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_WINDOW_INPUT));
        EXPECT_EQ(console.cursorShape(), "25 shown");
        adapter.setAttribute(NORMAL_ATTRIBUTE);
        EXPECT_EQ(console.output.attributes, 0x42) << "the first attribute 7 is not sent";
        adapter.write(129, "0123456789", 10);
        EXPECT_EQ(console.text(129, 11), "0123456789 ");
        // Wider than a row, and wider than the buffer a fill writes from.
        adapter.fill(2 * 132, 'x', 300);
        adapter.fill(2 * 132 + 300, 'y', 0);
        EXPECT_EQ(console.text(2 * 132, 301), std::string(300, 'x') + " ");
        adapter.setAttribute(0x87);
        EXPECT_EQ(console.output.attributes, 0x07) << "bit 7 is not shown";
        EXPECT_EQ(adapter.attribute(), 0x87) << "but kept, for the status line to give back";
        adapter.setCursor(2 * 132 + 5);
        // A row beyond a console coordinate must not wrap around onto the screen.
        adapter.setCursor((65536 + 7) * 132 + 1);
        EXPECT_TRUE(console.output.cursor.X == 5 && console.output.cursor.Y == 2);
        // A block cursor lasts until the next cursor call, which brings back the stored shape.
        const std::pair<void (AdapNT::*)(), const char*> shapes[] = {
            {&AdapNT::hideCursor, "25 hidden"}, {&AdapNT::blockCursor, "100 shown"}, {&AdapNT::normalCursor, "25 hidden"},
            {&AdapNT::blockCursor, "100 shown"}, {&AdapNT::showCursor, "25 shown"}, {&AdapNT::hideCursor, "25 hidden"}};
        for (auto [call, shape] : shapes) {
            (adapter.*call)();
            EXPECT_EQ(console.cursorShape(), shape);
        }
        // A new console size is a key while the adapter asks for it.
        console.output.resize(100, 30);
        console.output.at(79, 24).character = 'z';
        console.input.queueResize({100, 30});
        EXPECT_TRUE(adapter.keyReady() && adapter.readKey() == KEY_RESIZE && adapter.rows == 30 && adapter.columns == 100);
    }
    EXPECT_TRUE(console.output.mode == outputMode && console.input.mode == inputMode);
    EXPECT_EQ(console.cursorShape(), "25 shown");
    console.input.queueResize({90, 30});
    EXPECT_TRUE(console.input.events.empty() && console.output.at(79, 24).character == 'z') << "no event not asked for";
}

TEST(AdapNTKeyboard, TheLayoutFollowsTheLocaleUnlessAnOptionGivesIt) {
    TestConsole console;
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    auto set = [&](int i, const char* value) { value ? setenv(names[i], value, 1) : unsetenv(names[i]); };
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; i++)
        if (const char* value = std::getenv(names[i])) saved[i] = value;
    const struct { std::array<const char*, 3> variables; int keyboard; } cases[] = {
        {{"it_IT.UTF-8", "C", nullptr}, IT}, {{"", nullptr, "en_GB.UTF-8"}, US}, {{"", "it", "C"}, IT},
        {{"italian", nullptr, nullptr}, US}, {{nullptr, nullptr, "it@euro"}, IT}};
    for (const auto& c : cases) {
        for (int i = 0; i < 3; i++) set(i, c.variables[i]);
        EXPECT_EQ(AdapNT(KEYBOARD_AUTOMATIC, 0).keyboardCode, c.keyboard) << c.variables[0];
    }
    EXPECT_EQ(AdapNT(US, 0).keyboardCode, US);
    set(0, "C");
    EXPECT_STREQ(AdapNT(KEYBOARD_AUTOMATIC, 0).name(), "WIN32 Console $Revision: 1.8 $ Keyboard American (1)");
    for (int i = 0; i < 3; i++) set(i, saved[i] ? saved[i]->c_str() : nullptr);
}

TEST(AdapNTKeyboard, TerminalKeysReachTheHotKeysEveryCharacterTypesItselfAndOtherEventsAreNoKey) {
    for (int keyboard : {US, IT}) {
        TestConsole console;
        AdapNT adapter(keyboard, 0);
        EXPECT_EQ(console.type(adapter, "\x1bOP\x1b[1;3Q\x1b[1;3P\x1b[24~\x1b[5~"),
                  (std::vector<int>{0x3B00, 0x6900, 0x6800, 0x8600, 0x4900}));
        EXPECT_EQ(console.type(adapter, "\x01\x7f\r\x1b\x18\x1b\t\x1b\r\x1bx\x1b"),
                  (std::vector<int>{1, '\b', '\r', 0x2D01, 0x1701, 0x3201, 0x2D00, 0x1B}));
        // Every printable character types itself, by a key of the layout or alone; the exceptions: ASCII
        // without a key, and above it those with one.
        std::string typed, expected, exceptions;
        for (int byte = 0x20; byte < 0x100; byte++) {
            std::string character;
            appendCp437AsUtf8(character, static_cast<unsigned char>(byte));
            console.feed(character);
            const auto& events = console.input.events;
            bool keyed = !events.empty() && events.front().Event.KeyEvent.wVirtualKeyCode != VK_PACKET;
            if (keyed != (byte < 0x7F)) exceptions += static_cast<char>(byte);
            for (int code : console.type(adapter, "")) typed += static_cast<char>(code);
            if (byte != 0x7F) expected += static_cast<char>(byte);
        }
        EXPECT_EQ(typed, expected);
        EXPECT_EQ(exceptions, keyboard == US ? "" : "`{}~\x82\x85\x87\x8A\x8D\x95\x97\x9C\xF5\xF8");
        // Events that are no key are consumed one a poll; a pending key is kept.
        INPUT_RECORD mouse{MOUSE_EVENT, {}};
        console.input.events = {mouse, mouse, INPUT_RECORD{KEY_EVENT, {{TRUE, 1, 'Q', 0x10, {0}, 0}}}};
        for (int ready : {0, 0, 1, 1}) EXPECT_EQ(adapter.keyReady(), ready);
        EXPECT_EQ(adapter.readKey(), 'q');
    }
}

#endif
