// Key dispatch: hot keys, Alt+letter, function keys from the current
// session's key table, and paste.
#include <algorithm>
#include <cstddef>
#include <string>

#include "terminal/terminal.h"

// Key number i is produced by scan code KEY_SCANCODES[i].  Key numbers 36..47
// repeat the Ctrl+F1..F12 codes and are therefore never found by a key; they
// exist so that a host can still define them.
const unsigned char KEY_SCANCODES[KEY_COUNT] = {
    0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x85, 0x86,  // F1..F12
    0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x87, 0x88,  // Shift+F1..F12
    0x5E, 0x5F, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x89, 0x8A,  // Ctrl+F1..F12
    0x5E, 0x5F, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x89, 0x8A,  // unreachable
    0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52,  // Home..Insert
    0x53,                                                                    // Delete
    0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71,              // Alt+F1..F10
};

namespace {

// Prefix of a key that has neither a hot-key meaning nor a key number.
constexpr int EXTENDED_PREFIX = 0xE0;

// Hot-key codes.
constexpr int KEY_CLOSE = 0x2D01;          // Ctrl+Alt+X
constexpr int KEY_STATUS_PAGE = 0x1701;    // Ctrl+Alt+I
constexpr int KEY_PRINT_SCREEN = 0x1901;   // Ctrl+Alt+P
constexpr int KEY_CAPTURE = 0x2E01;        // Ctrl+Alt+C
constexpr int KEY_REPLAY = 0x3201;         // Ctrl+Alt+M
constexpr int KEY_INSERT = 0x5200;
// Alt+F1 .. Alt+F10 pick sessions 0..9.
constexpr int SCAN_SESSION_LAST = SCAN_ALT_F1 + MAX_SESSIONS - 1;

// Alt with a letter sends ESC and the capital letter.  Alt+U, Alt+J and Alt+K
// are not among them: they go through the key table like any other code.
struct AltLetter {
    unsigned char scan;
    char letter;
};
constexpr AltLetter ALT_LETTERS[] = {
    {0x10, 'Q'}, {0x11, 'W'}, {0x12, 'E'}, {0x13, 'R'}, {0x14, 'T'}, {0x15, 'Y'},
    {0x17, 'I'}, {0x18, 'O'}, {0x19, 'P'}, {0x1E, 'A'}, {0x1F, 'S'}, {0x20, 'D'},
    {0x21, 'F'}, {0x22, 'G'}, {0x23, 'H'}, {0x26, 'L'}, {0x2C, 'Z'}, {0x2D, 'X'},
    {0x2E, 'C'}, {0x2F, 'V'}, {0x30, 'B'}, {0x31, 'N'}, {0x32, 'M'},
};

// The letter that Alt with this key code sends, or 0.
char altLetter(int code) {
    for (const AltLetter& entry : ALT_LETTERS)
        if (code == entry.scan * 256) return entry.letter;
    return 0;
}

}  // namespace

int Terminal::keyNumber(int scanCode) {
    for (int i = 0; i < KEY_COUNT; i++)
        if (KEY_SCANCODES[i] == scanCode) return i;
    return -1;
}

void Terminal::dispatchKey() {
    int code = adapter->readKey();
    if (code == KEY_RESIZE) {
        noteResize();
        return;
    }
    // Between the close of the last session and the end of the run there is
    // no screen to act on; the key is read and dropped.
    if (currentScreen == nullptr) return;
    if (code < 256 || code >= KEY_CHARACTER) {
        sendCharacter(code);
        return;
    }
    if (dispatchHotKey(code)) return;
    if (char letter = altLetter(code)) {
        const unsigned char bytes[] = {ESC, static_cast<unsigned char>(letter)};
        queueKeyPress(bytes, 2);
        return;
    }
    sendFunctionKey((code / 256) & 0xFF);
}

bool Terminal::dispatchHotKey(int code) {
    switch (code) {
    case KEY_CLOSE:
        closePending = 1;
        return true;
    case KEY_STATUS_PAGE:
        showStatusPage();
        return true;
    case KEY_PRINT_SCREEN:
        printScreen();
        return true;
    case KEY_CAPTURE:
        toggleCapture();
        return true;
    case KEY_REPLAY:
        startReplay();
        return true;
    case KEY_INSERT:
        // The modifiers count as they are when the key is dispatched.
        if (adapter->keyState() & KEYSTATE_CTRL) {
            copyRegion();
            return true;
        }
        if (adapter->keyState() & KEYSTATE_SHIFT) {
            pasteCopyBuffer();
            return true;
        }
        return false;  // plain Insert sends its definition
    case KEY_SCROLL_ON:
        currentScreen->modes |= MODE_HOLD;
        return true;
    case KEY_SCROLL_OFF:
        currentScreen->modes &= ~MODE_HOLD;
        return true;
    default:
        break;
    }
    int scan = code / 256;
    if (code % 256 == 0 && scan >= SCAN_ALT_F1 && scan <= SCAN_SESSION_LAST) {
        if (switchEnabled) switchSession(scan - SCAN_ALT_F1);
        return true;
    }
    return false;
}

void Terminal::sendFunctionKey(int scanCode) {
    int key = keyNumber(scanCode);
    if (key < 0) {
        const unsigned char bytes[] = {EXTENDED_PREFIX, static_cast<unsigned char>(scanCode)};
        queueKeyPress(bytes, 2);
        return;
    }
    const Screen& screen = *currentScreen;
    queueKeyPress(screen.keyDefs[key], std::min<int>(screen.keyDefLength[key], KEY_DEF_SIZE));
}

// A UTF-8 host is sent a code page 437 byte of the key tables as the
// character it shows, and a character typed as itself.
void Terminal::sendCharacter(int code) {
    if (!utf8Host) {
        if (code < 256) queueKey(code);
        return;
    }
    std::string bytes;
    if (code >= KEY_CHARACTER)
        appendUtf8(bytes, static_cast<char32_t>(code - KEY_CHARACTER));
    else
        appendUtf8ForHost(bytes, static_cast<unsigned char>(code));
    queueKeyPress(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
}

// The whole text goes to the host: what does not fit in the key ring waits
// behind it and follows as the ring drains.
void Terminal::pasteCopyBuffer() {
    auto end = std::find(copyBuffer.begin(), copyBuffer.end(), '\0');
    std::string text = forHost({copyBuffer.data(), static_cast<size_t>(end - copyBuffer.begin())});
    queueKeyPress(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()), true);
}

void Terminal::setSwitch(int on) { switchEnabled = on; }
