// Key dispatch: characters, hot keys, Alt+letter, the default key tables of
// every emulation, host-defined keys and paste.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "terminal_harness.h"

namespace {

const std::string ESC = "\x1b";

std::string csi(const std::string& rest) { return ESC + "[" + rest; }

// A session opened as start-up opens it, with its queue emptied.
struct KeyboardSession {
    explicit KeyboardSession(Emulation emulation) : h(emulation) {
        h.device.alwaysOpen = true;
        h.open();
        h.takeReplies();
    }

    // The bytes that one key queues for the host.
    std::string send(int code, unsigned state = 0) {
        h.adapter.pushKey(code, state);
        h.terminal.dispatchKey();
        return h.takeReplies();
    }

    TerminalHarness h;
};

std::string keyDefinition(const Screen& screen, int key) {
    return std::string(reinterpret_cast<const char*>(screen.keyDefs[key]), screen.keyDefLength[key]);
}

struct KeyboardTest : ::testing::Test, KeyboardSession {
    KeyboardTest() : KeyboardSession(XTERM) {}
};

// What each emulation sends for a sample of the keys a console produces: the
// ends of VT100's PF keys and of each function-key row, and the cursor and
// editing keys.
TEST(KeyboardTables, EveryEmulationSendsItsDefaultDefinitions) {
    const struct {
        int code;
        std::string sent[4];  // SCOANSI, VT100, LINUX, XTERM
    } differing[] = {
        {0x3B00, {csi("M"), ESC + "OP", csi("M"), csi("M")}},  // F1
        {0x3E00, {csi("P"), ESC + "OS", csi("P"), csi("P")}},  // F4
        {0x4800, {csi("A"), csi("A"), csi("A"), ESC + "OA"}},  // Up
        {0x4900, {csi("I"), csi("I"), csi("5~"), csi("5~")}},  // Page Up
        {0x4B00, {csi("D"), csi("D"), csi("D"), ESC + "OD"}},  // Left
        {0x5100, {csi("G"), csi("G"), csi("6~"), csi("6~")}},  // Page Down
        {0x5200, {csi("L"), csi("L"), csi("2~"), csi("2~")}},  // Insert
        {0x5300, {"\x7f", "\x7f", csi("3~"), csi("3~")}},      // Delete
    };
    // F5, F12, Shift+F12, Ctrl+F12, Home, keypad minus, keypad centre, End.
    const std::pair<int, std::string> same[] = {{0x3F00, csi("Q")}, {0x8600, csi("X")}, {0x8800, csi("j")},
                                                {0x8A00, csi("v")}, {0x4700, csi("H")}, {0x4A00, "-"},
                                                {0x4C00, csi("E")}, {0x4F00, csi("F")}};
    for (Emulation emulation : {SCOANSI, VT100, LINUX, XTERM}) {
        SCOPED_TRACE(emulation);
        KeyboardSession t(emulation);
        EXPECT_EQ(t.h.device.lastTermType, t.h.terminal.emulationName());
        for (const auto& key : differing) EXPECT_EQ(t.send(key.code), key.sent[emulation]) << key.code;
        for (const auto& [code, sent] : same) EXPECT_EQ(t.send(code), sent) << code;
        // Key numbers that no key reaches still hold their definitions.
        EXPECT_EQ(keyDefinition(t.h.screen(), 47), csi("{"));
        EXPECT_EQ(keyDefinition(t.h.screen(), 70), csi("10z"));
    }
}

TEST_F(KeyboardTest, CharactersAltLettersHostDefinedAndSessionKeys) {
    EXPECT_EQ(send('a'), "a");
    EXPECT_EQ(send(27), ESC);
    const std::pair<int, char> alt[] = {{0x10, 'Q'}, {0x15, 'Y'}, {0x17, 'I'}, {0x19, 'P'}, {0x1E, 'A'},
                                        {0x23, 'H'}, {0x26, 'L'}, {0x2C, 'Z'}, {0x32, 'M'}};
    for (const auto& [scan, letter] : alt) EXPECT_EQ(send(scan * 256), ESC + letter) << scan;
    // Alt+U, Alt+J and Alt+K are not Alt+letter keys and have no key number.
    for (int scan : {0x16, 0x24, 0x25}) EXPECT_EQ(send(scan * 256), std::string("\xe0") + char(scan));
    // Ctrl+Alt+A is no hot key: the low byte is ignored and A has no key number.
    EXPECT_EQ(send(0x1E01), "\xe0\x1e");
    // A key the host defined sends its definition, control bytes and all.
    h.feed(ESC + "Q0 \rabc ");
    EXPECT_EQ(send(0x3B00), "\rabc");
    // Alt+F1 on session 1 neither switches nor sends its stored ESC [ 1 z.
    EXPECT_EQ(send(0x6800), "");
    // With the option of one session, no session key opens another.
    h.terminal.setSwitch(0);
    for (int code = 0x6800; code <= 0x7100; code += 0x100) EXPECT_EQ(send(code), "");
    for (int n = 1; n < MAX_SESSIONS; n++) EXPECT_EQ(h.terminal.screens[n], nullptr);
    EXPECT_EQ(h.device.calls, std::vector<std::string>{"open 0"});
}

TEST_F(KeyboardTest, InsertCopiesPastesOrSendsByModifiers) {
    EXPECT_EQ(send(0x5200), csi("2~"));
    std::strcpy(h.terminal.copyBuffer.data(), "ls\r");
    EXPECT_EQ(send(0x5200, KEYSTATE_SHIFT), "ls\r");

    // Ctrl+Insert and Ctrl+Shift+Insert start a copy, which reads the next key
    // itself: the ESC ends the copy and reaches nobody.
    h.adapter.logging = true;
    for (unsigned state : {KEYSTATE_CTRL, KEYSTATE_CTRL | KEYSTATE_SHIFT}) {
        h.adapter.log.clear();
        h.adapter.pushKey(0x5200, state);
        h.adapter.pushKey(27);
        h.terminal.dispatchKey();
        EXPECT_EQ(h.adapter.keyReady(), 0);
        EXPECT_EQ(h.takeReplies(), "");
        EXPECT_NE(std::find(h.adapter.log.begin(), h.adapter.log.end(), "blockCursor"), h.adapter.log.end());
        EXPECT_STREQ(h.terminal.copyBuffer.data(), "ls\r");
    }
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));

    // A paste goes whole, even without a terminator, in as many turns as it
    // takes; a key typed meanwhile and a second paste follow it.
    std::string text;
    for (char& c : h.terminal.copyBuffer) text += c = static_cast<char>('a' + text.size() % 26);
    const std::pair<int, unsigned> keys[] = {{0x5200, KEYSTATE_SHIFT}, {'k', 0}, {0x5200, KEYSTATE_SHIFT}};
    for (auto [code, state] : keys) h.adapter.pushKey(code, state);
    char buffer[IO_BLOCK_SIZE];
    while (h.terminal.sendKeys(buffer)) {
    }
    EXPECT_EQ(h.device.written[0], text + "k" + text);
    // A prompt answered with a paste drops the rest of it.
    h.adapter.pushKey(0x5200, KEYSTATE_SHIFT);
    EXPECT_EQ(h.terminal.getWholeKey(), 'a');
    EXPECT_FALSE(h.screen().keysQueued());
}

}  // namespace
