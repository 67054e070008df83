// A host that speaks UTF-8 (--utf8): what it sends is decoded before the interpreter, what it is sent goes as
// UTF-8; an 8-bit host is served as ever.
#include <cstring>
#include <filesystem>

#include "backend/adapnt.h"
#include "scratch_dir.h"
#include "terminal_harness.h"

namespace {

// A cleared session of a host that speaks UTF-8, or of an 8-bit host.
struct Host : TerminalHarness {
    explicit Host(bool utf8 = true) {
        terminal.setUtf8Host(utf8);
        device.alwaysOpen = true;  // no connection delay line on the screen
        open();
        clear();
    }
    void receive(const std::string& bytes) { terminal.receiveBytes(bytes.data(), static_cast<int>(bytes.size())); }
};

}  // namespace

TEST(Utf8Host, CharactersAreShownNeverActedOnAndC1ControlsAndTitlesStillWork) {
    const struct { bool utf8; std::string bytes, shown, replies; } cases[] = {
        {true, "x\xc5\x9b" "6n", "x?6n", ""},  // s acute: its second byte is no CSI
        {true, "caf\xc3\xa9 \xe2\x94\x8c\xe2\x94\x80\xe2\x94\x90", "caf\x82 \xda\xc4\xbf", ""},
        // Arrows, the cent sign and the smiley share their values with controls.
        {true, "\xe2\x86\x90\xe2\x86\x91\xc2\xa2\xe2\x98\xba|", "\x1b\x18\x9b\x01|", ""},
        {true, "\xc2\x9b" "6n", "", "\x1b[?1;1R"},  // CSI sent as C2 9B
        // The arrow ends no title; the report leaves its control value out.
        {true, "\x1b]0;\xc3\xa9\xe2\x86\x90\xe2\x94\x80\x07\x1b[21t", "", "\x1b]2;\xc3\xa9\xe2\x94\x80 \x07"},
        {false, "\x9b" "6n", "", "\x1b[?1;1R"},  // an 8-bit host's CSI
        {false, "caf\xc3\xa9", "caf\xc3\xa9", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        Host h(c.utf8);
        h.receive(c.bytes);
        EXPECT_EQ(h.row(0), c.shown + std::string(80 - c.shown.size(), ' '));
        EXPECT_EQ(h.takeReplies(), c.replies);
        EXPECT_EQ(h.screen().state, &Terminal::stateGround);
        EXPECT_TRUE(cellsMatch(h.terminal, h.adapter));
    }
}

TEST(Utf8Host, ACharacterSplitAcrossReadsWaitsInItsOwnSession) {
    const std::string text = "\xc3\xa9\xe2\x94\x8c\xf0\x9f\x98\x80!";  // the emoji has no glyph
    for (size_t cut = 1; cut < text.size(); cut++) {
        Host h;
        h.receive(text.substr(0, cut));
        h.open(1);
        h.clear();
        h.receive("\xa9");  // continues nothing here
        EXPECT_EQ(h.row(0)[0], '?');
        h.terminal.switchSession(0);
        h.receive(text.substr(cut));
        EXPECT_EQ(h.row(0).substr(0, 4), "\x82\xda?!") << "cut " << cut;
    }
}

TEST(Utf8Host, TypedAndPastedTextGoesAsUtf8AndKeysSendTheirDefinitions) {
    for (bool utf8 : {false, true}) {
        Host h(utf8);
        std::strcpy(h.copyBuffer().data(), "\x82\r\xc4");
        h.adapter.pushKeys({0x82, KEY_CHARACTER + 0x20AC, KEY_CHARACTER + 0x1F600, 'a', KEY_UP, 0x1E00});
        h.adapter.pushKey(0x5200, KEYSTATE_SHIFT);  // paste
        for (int key = 0; key < 7; key++) h.terminal.dispatchKey();
        EXPECT_EQ(h.takeReplies(), utf8 ? "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80" "a\x1bOA\x1b" "A\xc3\xa9\r\xe2\x94\x80"
                                        : "\x82" "a\x1bOA\x1b" "A\x82\r\xc4");
    }
}

// The console's wide character wins over the key tables; ASCII and keys without a character go through them.
TEST(Utf8Host, TheAdapterDeliversWhatTheKeyboardTypedWithBothHalvesJoined) {
    AdapNT adapter(KEYBOARD_AMERICAN, 0);
    adapter.unicodeKeys = true;
    const struct { WORD virtualKey, scan; WCHAR character; DWORD state; int code; } keys[] = {
        {VK_OEM_1, 0x27, 0xE9, 0, KEY_CHARACTER + 0xE9}, {VK_PACKET, 0, 0x20AC, 0, KEY_CHARACTER + 0x20AC},
        {VK_PACKET, 0, 0xD83D, 0, 0}, {VK_PACKET, 0, 0xDE00, 0, KEY_CHARACTER + 0x1F600},
        {VK_PACKET, 0, 0xDC00, 0, 0} /* a half alone */, {'A', 0x1E, 'a', 0, 'a'},
        {'C', 0x2E, 3, LEFT_ALT_PRESSED | LEFT_CTRL_PRESSED, 0x2E01}, {VK_UP, 0x48, 0, 0, KEY_UP},
    };
    for (const auto& k : keys) {
        KEY_EVENT_RECORD event{TRUE, 1, k.virtualKey, k.scan, {}, k.state};
        event.uChar.UnicodeChar = k.character;
        EXPECT_EQ(adapter.translateKey(event), k.code) << std::hex << static_cast<int>(k.character);
    }
}

TEST(Utf8Host, ThePrinterAndTheCaptureFileGetTheBytesAsTheyCameAndReplayShowsTheSame) {
    ScratchDir dir;
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
    const std::string bytes = "\x1b[5i" "caf\xc3\xa9\x9b\x1b[4i" "\xc3\xa9\xe2\x94\x80";
    std::optional<std::vector<std::string>> screens[2];
    for (int run = 0; run < 2; run++) {
        Host h;
        h.terminal.setPrinter(("printed" + std::to_string(run)).c_str());
        if (run == 0) {
            h.terminal.toggleCapture();
            h.device.pushData(bytes.substr(0, 15));  // the print done, the e acute cut
            h.device.pushData(bytes.substr(15));
        } else {
            h.terminal.startReplay();
        }
        h.device.pushReadResult(-1);
        h.terminal.run();
        screens[run] = h.terminal.lastWords();
    }
    EXPECT_EQ(readFile(CAPTURE_FILE) + readFile("printed0"), bytes + "caf\xc3\xa9\x9b");
    EXPECT_EQ(screens[0].value_or(std::vector<std::string>{}), std::vector<std::string>{"\x82\xc4"});
    EXPECT_EQ(screens[0], screens[1]);
    std::filesystem::current_path(previous);
}

TEST(Utf8Host, TheStatusPageNamesTheCharacterSet) {
    Host h;
    h.adapter.pushKey('x');
    h.terminal.showStatusPage();
    EXPECT_EQ(h.row(9, h.session(LOCAL_SESSION)).substr(0, 43), "Charset : UTF-8 host, code page 437 screen ");
}
