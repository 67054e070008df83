// The key decoder (terminal bytes to console key events), the console input
// over a descriptor and the runtime's key functions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/console.h"

namespace {

constexpr DWORD SHIFT = SHIFT_PRESSED;
constexpr DWORD CTRL = LEFT_CTRL_PRESSED;
constexpr DWORD ALT = LEFT_ALT_PRESSED;

// A virtual-key code (or, for a key event that names no key, its character)
// and the control-key state.
using Key = std::pair<int, DWORD>;
using Keys = std::vector<Key>;

// Letters, digits and the space, as a plain American keyboard types them.
int lettersLayout(WORD virtualKey, DWORD state) {
    if (virtualKey >= 'A' && virtualKey <= 'Z' && (state & ~SHIFT) == 0)
        return state == SHIFT ? virtualKey : virtualKey - 'A' + 'a';
    bool digitOrSpace = (virtualKey >= '0' && virtualKey <= '9') || virtualKey == VK_SPACE;
    return digitOrSpace && state == 0 ? virtualKey : 0;
}

// Decodes the pieces in order, then lets the held rest go; each key down
// must be followed by its up.  Without the layout, characters come alone.
Keys decodePieces(const std::vector<std::string>& pieces, bool layout = true, bool utf8 = true) {
    KeyDecoder decoder(utf8);
    if (layout) decoder.setLayout(lettersLayout);
    std::deque<INPUT_RECORD> events;
    for (const std::string& piece : pieces) decoder.feed(piece.data(), piece.size(), events);
    decoder.flush(events);
    EXPECT_FALSE(decoder.holding());
    EXPECT_EQ(events.size() % 2, 0u);
    Keys keys;
    for (size_t i = 0; i + 1 < events.size(); i += 2) {
        const KEY_EVENT_RECORD& down = events[i].Event.KeyEvent;
        const KEY_EVENT_RECORD& up = events[i + 1].Event.KeyEvent;
        EXPECT_TRUE(down.bKeyDown && !up.bKeyDown && down.wVirtualKeyCode == up.wVirtualKeyCode);
        int character = static_cast<unsigned char>(down.uChar.AsciiChar);
        bool named = down.wVirtualKeyCode != VK_PACKET;
        keys.emplace_back(named ? down.wVirtualKeyCode : character, down.dwControlKeyState);
    }
    return keys;
}

struct Pipe {
    int ends[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe(ends), 0); }
    ~Pipe() {
        for (int end : ends)
            if (end >= 0) ::close(end);
    }
    void send(const std::string& bytes) {
        EXPECT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
};

}  // namespace

TEST(KeyDecoder, TerminalSequencesBecomeKeysWholeByteByByteAndSplitAnywhere) {
    const std::pair<std::string, Keys> cases[] = {
        {"aZ\r\t\x7f\b", {{'A', 0}, {'Z', SHIFT}, {VK_RETURN, 0}, {VK_TAB, 0}, {VK_BACK, 0}, {VK_BACK, 0}}},
        {"\x1bx\x1bX\x1b\x1b", {{'X', ALT}, {'X', SHIFT | ALT}, {VK_ESCAPE, ALT}}},
        {"\x1b[A\x1bOB\x1b\x1b[A", {{VK_UP, 0}, {VK_DOWN, 0}, {VK_UP, ALT}}},
        {"\x1b[1;5D\x1b[1;8H\x1b[1;2F", {{VK_LEFT, CTRL}, {VK_HOME, SHIFT | ALT | CTRL}, {VK_END, SHIFT}}},
        {"\x1bOP\x1b[1;2P\x1b[1;3Q\x1b[1;4R\x1b[1;7S",
         {{VK_F1, 0}, {VK_F1, SHIFT}, {VK_F1 + 1, ALT}, {VK_F1 + 2, SHIFT | ALT}, {VK_F1 + 3, CTRL | ALT}}},
        {"\x1b[11~\x1b[15~\x1b[17;2~\x1b[21~\x1b[23~\x1b[24;5~",
         {{VK_F1, 0}, {VK_F1 + 4, 0}, {VK_F1 + 5, SHIFT}, {VK_F10, 0}, {VK_F11, 0}, {VK_F12, CTRL}}},
        {"\x1b[[A\x1b[[E", {{VK_F1, 0}, {VK_F1 + 4, 0}}},
        {"\x1b[1~\x1b[4~\x1b[7~\x1b[8~", {{VK_HOME, 0}, {VK_END, 0}, {VK_HOME, 0}, {VK_END, 0}}},
        {"\x1b[2~\x1b[3;3~\x1b[5~\x1b[6~", {{VK_INSERT, 0}, {VK_DELETE, ALT}, {VK_PRIOR, 0}, {VK_NEXT, 0}}},
        {"\x1b[2$\x1b[2^\x1b[3@", {{VK_INSERT, SHIFT}, {VK_INSERT, CTRL}, {VK_DELETE, CTRL | SHIFT}}},
        {"\x1b[Z\x1b[a\x1bOd", {{VK_TAB, SHIFT}, {VK_UP, SHIFT}, {VK_LEFT, CTRL}}},
        // Sequences that are no key are swallowed whole; what follows still counts.
        {"\x1b[200~\x1b[?1;2c\x1b[99~\x1b[I1", {{'1', 0}}},
        // A character that no key of the layout types still comes, as itself;
        // broken UTF-8 and control bytes without a key are dropped.
        {"\xC3\xA9\xff\xC3z~\x1c", {{0x82, 0}, {'Z', 0}, {'~', 0}}},
        {"ab\x1b[Bc", {{'A', 0}, {'B', 0}, {VK_DOWN, 0}, {'C', 0}}},
    };
    for (const auto& [bytes, keys] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        std::vector<std::string> single;
        for (char byte : bytes) single.emplace_back(1, byte);
        EXPECT_EQ(decodePieces(single), keys);
        for (size_t cut = 0; cut < bytes.size(); cut++)  // cut 0: all in one piece
            EXPECT_EQ(decodePieces({bytes.substr(0, cut), bytes.substr(cut)}), keys) << "cut " << cut;
    }
}

TEST(KeyDecoder, WithoutALayoutCharactersComeAsTheCodePageByteAndAGivenUpSequenceIsAlt) {
    EXPECT_EQ(decodePieces({"\xC3\xA9\xE2\x94", "\x80x\x1b["}, false),
              (Keys{{0x82, 0}, {0xC4, 0}, {'x', 0}, {'[', ALT}}));
    // A terminal of another codeset sends the byte itself.
    EXPECT_EQ(decodePieces({"\xE9"}, false, false), (Keys{{0xE9, 0}}));
}

TEST(KeyDecoder, OverlongSequencesAndGarbageNeitherCrashNorStick) {
    Keys keys = decodePieces({"\x1b[" + std::string(20, '7') + "Z"});
    EXPECT_EQ(keys.size(), 22u) << "not a key sequence: the [ and the digits are typed";
    EXPECT_EQ(keys.back(), (Key{'Z', SHIFT}));
    std::mt19937 random(7);
    std::vector<std::string> pieces(2000);
    for (std::string& piece : pieces) {
        piece.resize(random() % 9);
        for (char& byte : piece) byte = static_cast<char>(random() % 4 == 0 ? 0x1B : random());
    }
    decodePieces(pieces);
}

TEST(ConsoleInput, ReadsTheDescriptorTimesOutALoneEscapeAndEndsWithTheInput) {
    Pipe terminal;
    ConsoleInput input(terminal.ends[0], true);
    terminal.send("\x1b");
    input.pump();
    EXPECT_TRUE(input.events.empty());
    ASSERT_TRUE(input.wait(10000, false));
    ASSERT_EQ(input.events.size(), 2u);
    EXPECT_EQ(input.events[0].Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
    input.events.clear();
    terminal.send("q");
    INPUT_RECORD records[4];
    DWORD count = 0;
    EXPECT_TRUE(PeekConsoleInputA(&input, records, 4, &count) && count == 2) << count;
    EXPECT_TRUE(ReadConsoleInputA(&input, records, 1, &count) && count == 1) << count;
    EXPECT_TRUE(records[0].Event.KeyEvent.bKeyDown);
    EXPECT_TRUE(PeekConsoleInputA(&input, records, 4, &count) && count == 1) << "a read takes, a peek leaves";
    input.events.clear();
    EXPECT_EQ(WaitForSingleObject(&input, 1), WAIT_TIMEOUT);
    ::close(std::exchange(terminal.ends[1], -1));
    EXPECT_EQ(WaitForSingleObject(&input, INFINITE), WAIT_TIMEOUT) << "nothing can come any more";
    EXPECT_TRUE(input.ended);
}

TEST(ConsoleInput, RuntimeKeyFunctionsGiveCharactersAndExtendedCodes) {
    ConsoleInput input(-1, true);
    SetStdHandle(STD_INPUT_HANDLE, &input);
    EXPECT_EQ(_kbhit(), 0);
    auto key = [](WORD virtualKey, WORD scan, DWORD state, char character, bool down = true) {
        return INPUT_RECORD{KEY_EVENT, {KEY_EVENT_RECORD{down, 1, virtualKey, scan, {character}, state}}};
    };
    input.events = {key('A', 0x1E, 0, 'a'),    key('A', 0x1E, 0, 'a', false), key(VK_F1, 0x3B, 0, 0),
                    key(VK_F1, 0x3B, SHIFT, 0), key(VK_F12, 0x58, ALT, 0),      key('X', 0x2D, ALT, 'x'),
                    key(VK_SHIFT, 0x2A, SHIFT, 0)};
    std::vector<int> codes;
    while (_kbhit()) codes.push_back(_getch());
    SetStdHandle(STD_INPUT_HANDLE, nullptr);
    EXPECT_EQ(codes, (std::vector<int>{'a', 0, 0x3B, 0, 0x54, 0, 0x8C, 0, 0x2D}));
}
