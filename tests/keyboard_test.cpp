// Key dispatch: characters, hot keys, Alt+letter, the default key tables of
// every emulation, host-defined keys and paste.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
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

struct KeyboardTest : ::testing::Test, KeyboardSession {
    KeyboardTest() : KeyboardSession(XTERM) {}
};

// The keys a console can produce, with what each emulation sends for them.
struct DefaultKey {
    int code;
    const char* name;
    std::string sent[4];  // SCOANSI, VT100, LINUX, XTERM
};

std::vector<DefaultKey> defaultKeys() {
    std::vector<DefaultKey> keys;
    auto same = [&](int code, const char* name, const std::string& bytes) {
        keys.push_back({code, name, {bytes, bytes, bytes, bytes}});
    };
    const char* fLetters = "MNOPQRSTUVWX";
    const int fScans[] = {0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x85, 0x86};
    for (int i = 0; i < 12; i++) {
        std::string bytes = csi(std::string(1, fLetters[i]));
        std::string vt100 = i < 4 ? ESC + "O" + std::string(1, static_cast<char>('P' + i)) : bytes;
        keys.push_back({fScans[i] * 256, "F key", {bytes, vt100, bytes, bytes}});
    }
    const char* shiftLetters = "YZabcdefghij";
    const int shiftScans[] = {0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x87, 0x88};
    const char* ctrlLetters = "klmnopqrstuv";
    const int ctrlScans[] = {0x5E, 0x5F, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x89, 0x8A};
    for (int i = 0; i < 12; i++) {
        same(shiftScans[i] * 256, "Shift+F key", csi(std::string(1, shiftLetters[i])));
        same(ctrlScans[i] * 256, "Ctrl+F key", csi(std::string(1, ctrlLetters[i])));
    }
    same(0x4700, "Home", csi("H"));
    keys.push_back({0x4800, "Up", {csi("A"), csi("A"), csi("A"), ESC + "OA"}});
    keys.push_back({0x4900, "Page Up", {csi("I"), csi("I"), csi("5~"), csi("5~")}});
    same(0x4A00, "keypad minus", "-");
    keys.push_back({0x4B00, "Left", {csi("D"), csi("D"), csi("D"), ESC + "OD"}});
    same(0x4C00, "keypad centre", csi("E"));
    keys.push_back({0x4D00, "Right", {csi("C"), csi("C"), csi("C"), ESC + "OC"}});
    same(0x4E00, "keypad plus", "+");
    same(0x4F00, "End", csi("F"));
    keys.push_back({0x5000, "Down", {csi("B"), csi("B"), csi("B"), ESC + "OB"}});
    keys.push_back({0x5100, "Page Down", {csi("G"), csi("G"), csi("6~"), csi("6~")}});
    keys.push_back({0x5200, "Insert", {csi("L"), csi("L"), csi("2~"), csi("2~")}});
    keys.push_back({0x5300, "Delete", {"\x7f", "\x7f", csi("3~"), csi("3~")}});
    return keys;
}

TEST(KeyboardTables, EveryEmulationSendsItsDefaultDefinitions) {
    for (Emulation emulation : {SCOANSI, VT100, LINUX, XTERM}) {
        KeyboardSession t(emulation);
        EXPECT_EQ(t.h.device.lastTermType, t.h.terminal.emulationName());
        for (const DefaultKey& key : defaultKeys()) {
            SCOPED_TRACE(std::string(key.name) + " code " + std::to_string(key.code) +
                         " emulation " + std::to_string(emulation));
            EXPECT_EQ(t.send(key.code), key.sent[emulation]);
        }
        // Key numbers that no key reaches still hold their definitions.
        const Screen& screen = t.h.screen();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(screen.keyDefs[47]),
                              screen.keyDefLength[47]),
                  csi("{"));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(screen.keyDefs[70]),
                              screen.keyDefLength[70]),
                  csi("10z"));
        EXPECT_TRUE(cellsMatch(t.h.terminal, t.h.adapter));
    }
}

TEST_F(KeyboardTest, CharactersAndAltLetters) {
    EXPECT_EQ(send('a'), "a");
    EXPECT_EQ(send(27), ESC);
    const struct {
        int scan;
        char letter;
    } altLetters[] = {{0x10, 'Q'}, {0x11, 'W'}, {0x12, 'E'}, {0x13, 'R'}, {0x14, 'T'}, {0x15, 'Y'},
                      {0x17, 'I'}, {0x18, 'O'}, {0x19, 'P'}, {0x1E, 'A'}, {0x1F, 'S'}, {0x20, 'D'},
                      {0x21, 'F'}, {0x22, 'G'}, {0x23, 'H'}, {0x26, 'L'}, {0x2C, 'Z'}, {0x2D, 'X'},
                      {0x2E, 'C'}, {0x2F, 'V'}, {0x30, 'B'}, {0x31, 'N'}, {0x32, 'M'}};
    for (const auto& alt : altLetters)
        EXPECT_EQ(send(alt.scan * 256), ESC + alt.letter) << "scan " << alt.scan;
    // Alt+U, Alt+J and Alt+K are not Alt+letter keys and have no key number.
    EXPECT_EQ(send(0x1600), "\xe0\x16");
    EXPECT_EQ(send(0x2400), "\xe0\x24");
    EXPECT_EQ(send(0x2500), "\xe0\x25");
    // Ctrl+Alt+A is no hot key: the low byte is ignored and A has no key number.
    EXPECT_EQ(send(0x1E01), "\xe0\x1e");
}

TEST_F(KeyboardTest, HotKeysSendNothing) {
    EXPECT_EQ(send(0x2D01), "");  // Ctrl+Alt+X
    EXPECT_EQ(h.terminal.closePending, 1);

    EXPECT_EQ(send(KEY_SCROLL_ON), "");
    EXPECT_TRUE(h.screen().modes & MODE_HOLD);
    EXPECT_EQ(send(KEY_SCROLL_OFF), "");
    EXPECT_FALSE(h.screen().modes & MODE_HOLD);

    // Alt+F1 on session 1 neither switches nor sends its stored ESC [ 1 z.
    EXPECT_EQ(send(0x6800), "");
    EXPECT_EQ(h.device.calls, std::vector<std::string>{"open 0"});
}

TEST_F(KeyboardTest, OptionOneSessionDisablesSessionKeys) {
    h.terminal.setSwitch(0);
    for (int code = 0x6800; code <= 0x7100; code += 0x100) EXPECT_EQ(send(code), "");
    for (int n = 1; n < MAX_SESSIONS; n++) EXPECT_EQ(h.terminal.screens[n], nullptr);
    EXPECT_EQ(h.device.calls, std::vector<std::string>{"open 0"});
}

TEST_F(KeyboardTest, InsertCopiesPastesOrSendsByModifiers) {
    EXPECT_EQ(send(0x5200), csi("2~"));

    std::string text = "ls\r";
    std::copy(text.begin(), text.end(), h.terminal.copyBuffer.begin());
    h.terminal.copyBuffer[text.size()] = '\0';
    EXPECT_EQ(send(0x5200, KEYSTATE_SHIFT), "ls\r");

    // Ctrl+Insert and Ctrl+Shift+Insert start a copy, which reads the next key
    // itself: the ESC ends the copy and reaches nobody.
    for (unsigned state : {KEYSTATE_CTRL, KEYSTATE_CTRL | KEYSTATE_SHIFT}) {
        h.adapter.logging = true;
        h.adapter.log.clear();
        h.adapter.pushKey(0x5200, state);
        h.adapter.pushKey(27);
        h.terminal.dispatchKey();
        EXPECT_EQ(h.adapter.keyReady(), 0);
        EXPECT_EQ(h.takeReplies(), "");
        EXPECT_NE(std::find(h.adapter.log.begin(), h.adapter.log.end(), "blockCursor"),
                  h.adapter.log.end());
        EXPECT_STREQ(h.terminal.copyBuffer.data(), "ls\r");
    }
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

TEST_F(KeyboardTest, PasteIsLimitedByTheKeyQueue) {
    std::fill(h.terminal.copyBuffer.begin(), h.terminal.copyBuffer.begin() + 300, 'x');
    h.terminal.copyBuffer[300] = '\0';
    EXPECT_EQ(send(0x5200, KEYSTATE_SHIFT), std::string(KEY_QUEUE_SIZE - 1, 'x'));

    h.terminal.copyBuffer.assign(h.terminal.copyBuffer.size(), 'y');  // no terminator at all
    EXPECT_EQ(send(0x5200, KEYSTATE_SHIFT), std::string(KEY_QUEUE_SIZE - 1, 'y'));
}

TEST_F(KeyboardTest, HostRedefinesKeys) {
    h.feed(ESC + "Q0|abc|");
    EXPECT_EQ(send(0x3B00), "abc");
    h.feed(ESC + "Q0||");
    EXPECT_EQ(send(0x3B00), "");
    // A definition may hold control bytes and is cut at 16 bytes.
    h.feed(ESC + "Q59 \r0123456789abcdefgh ");
    EXPECT_EQ(send(0x5200), "\r0123456789abcde");
    EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
}

}  // namespace
