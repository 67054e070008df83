// The console adapter's keyboard: the layout choice, the polling of console
// input events, and the translation of key events into key codes through the
// American and Italian tables.
#include <cstdlib>

#include "backend/adapnt.h"
#include "text/utf8.h"

namespace {

constexpr int ENGLISH_LANGUAGE = 0x09;

// Shifted digit rows, indexed by the digit.
constexpr unsigned char AMERICAN_SHIFTED_DIGITS[10] = {')', '!', '@', '#', '$', '%', '^', '&', '*', '('};
constexpr unsigned char ITALIAN_SHIFTED_DIGITS[10] = {'=', '!', '"', 0x9C, '$', '%', '&', '/', '(', ')'};

// Punctuation keys; 0 in the AltGr column: AltGr changes nothing.
struct PunctuationKey {
    WORD virtualKey;
    unsigned char americanPlain;
    unsigned char americanShifted;
    unsigned char italianPlain;
    unsigned char italianShifted;
    unsigned char italianAltGr;
};

constexpr PunctuationKey PUNCTUATION[] = {
    {VK_OEM_1, ';', ':', 0x8A, 0x82, '['},        // e grave, e acute
    {VK_OEM_PLUS, '=', '+', '+', '*', ']'},
    {VK_OEM_COMMA, ',', '<', ',', ';', 0},
    {VK_OEM_MINUS, '-', '_', '-', '_', 0},
    {VK_OEM_PERIOD, '.', '>', '.', ':', 0},
    {VK_OEM_2, '/', '?', 0x97, 0xF5, 0},          // u grave, section sign
    {VK_OEM_3, '`', '~', 0x95, 0x87, '@'},        // o grave, c cedilla
    {VK_OEM_4, '[', '{', '\'', '?', 0},
    {VK_OEM_5, '\\', '|', '\\', '|', 0},
    {VK_OEM_6, ']', '}', 0x8D, '^', 0},           // i grave
    {VK_OEM_7, '\'', '"', 0x85, 0xF8, '#'},       // a grave, degree sign
    {VK_OEM_102, '<', '>', '<', '>', 0},
};

// Function keys: the offsets added to the scan code with Alt and Shift.
constexpr int ALT_F_OFFSET = 0x2D;
constexpr int SHIFT_F_OFFSET = 0x19;
constexpr int F11_CODE = 0x8500;
constexpr int F12_CODE = 0x8600;

// Scroll Lock as the last key event showed it, for the whole process.
DWORD scrollLockSeen = 0;

int extended(int scan) { return scan * 256; }

const PunctuationKey* punctuationKey(int virtualKey) {
    for (const PunctuationKey& key : PUNCTUATION)
        if (key.virtualKey == virtualKey) return &key;
    return nullptr;
}

}  // namespace

// A code from -k stands; 0 asks the system's layout: English is American,
// every other language Italian.
int AdapNT::chooseKeyboardCode(int keyboardCode) {
    if (keyboardCode != KEYBOARD_AUTOMATIC) return keyboardCode;
    char layout[KL_NAMELENGTH] = {};
    GetKeyboardLayoutNameA(layout);
    unsigned long identifier = std::strtoul(layout, nullptr, 16);
    return (identifier & 0xFF) == ENGLISH_LANGUAGE ? KEYBOARD_AMERICAN : KEYBOARD_ITALIAN;
}

char AdapNT::decimalSeparator() const { return keyboardCode == KEYBOARD_ITALIAN ? ',' : '.'; }

int AdapNT::keyReady() {
    if (pendingKey != 0) return 1;
    pendingKey = pollInputEvent();
    return pendingKey != 0 ? 1 : 0;
}

// Waits on the console input between polls rather than polling without
// pause: the same keys, no processor time.
int AdapNT::readKey() {
    while (keyReady() == 0) WaitForSingleObject(inputHandle, INFINITE);
    int key = pendingKey;
    pendingKey = 0;
    return key;
}

// Consumes at most one input event; events that are no key give 0, but for
// a change of the console's size.
int AdapNT::pollInputEvent() {
    INPUT_RECORD record{};
    DWORD count = 0;
    auto peek = unicodeKeys ? PeekConsoleInputW : PeekConsoleInputA;
    auto read = unicodeKeys ? ReadConsoleInputW : ReadConsoleInputA;
    if (!peek(inputHandle, &record, 1, &count) || count == 0) return 0;
    if (!read(inputHandle, &record, 1, &count) || count == 0) return 0;
    // The size is read from the console, not from the event: of several
    // changes queued, the first already finds the last size.
    if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) return takeConsoleSize() ? KEY_RESIZE : 0;
    if (record.EventType != KEY_EVENT) return 0;
    return translateKey(record.Event.KeyEvent);
}

int AdapNT::translateKey(const KEY_EVENT_RECORD& event) {
    DWORD scrollLock = event.dwControlKeyState & SCROLLLOCK_ON;
    if (scrollLock != scrollLockSeen) {
        scrollLockSeen = scrollLock;
        return scrollLock != 0 ? KEY_SCROLL_ON : KEY_SCROLL_OFF;
    }
    if (!event.bKeyDown) return 0;
    keyState_ = keyStateFor(event.dwControlKeyState);
    // Text that no key produced, a character the tables cannot type among
    // it, is sent as the character itself.
    if (unicodeKeys) {
        // What the keyboard typed wins over the tables: the host is sent the
        // character the user sees on the key, whatever the layout.
        WCHAR character = event.uChar.UnicodeChar;
        if (character >= 0x80 || event.wVirtualKeyCode == VK_PACKET) return typedCharacter(character);
    }
    if (event.wVirtualKeyCode == VK_PACKET) return static_cast<unsigned char>(event.uChar.AsciiChar);
    return keyCode(event.wVirtualKeyCode, event.wVirtualScanCode, keyState_);
}

int AdapNT::typedCharacter(WCHAR character) {
    if (character >= HIGH_SURROGATE_FIRST && character < LOW_SURROGATE_FIRST) {
        highSurrogate = character;
        return 0;
    }
    char32_t typed = character;
    if (character >= LOW_SURROGATE_FIRST && character <= LOW_SURROGATE_LAST) {
        // A second half without its first is no character.
        if (highSurrogate == 0) return 0;
        typed = SUPPLEMENTARY_FIRST + ((char32_t{highSurrogate} - HIGH_SURROGATE_FIRST) << 10) +
                (character - LOW_SURROGATE_FIRST);
    }
    highSurrogate = 0;
    return typed < 0x80 ? static_cast<int>(typed) : KEY_CHARACTER + static_cast<int>(typed);
}

unsigned AdapNT::keyStateFor(DWORD controlKeyState) const {
    unsigned state = keyState_ & ~(KEYSTATE_CAPSLOCK | KEYSTATE_NUMLOCK | KEYSTATE_SHIFT |
                                   KEYSTATE_ALT | KEYSTATE_CTRL | KEYSTATE_RIGHTALT);
    if (controlKeyState & CAPSLOCK_ON) state |= KEYSTATE_CAPSLOCK;
    if (controlKeyState & NUMLOCK_ON) state |= KEYSTATE_NUMLOCK;
    if (controlKeyState & SHIFT_PRESSED) state |= KEYSTATE_SHIFT;
    if (controlKeyState & (RIGHT_ALT_PRESSED | LEFT_ALT_PRESSED)) state |= KEYSTATE_ALT;
    if (controlKeyState & (RIGHT_CTRL_PRESSED | LEFT_CTRL_PRESSED)) state |= KEYSTATE_CTRL;
    if ((controlKeyState & RIGHT_ALT_PRESSED) && keyboardCode != KEYBOARD_AMERICAN)
        state |= KEYSTATE_RIGHTALT;
    return state;
}

int AdapNT::keyCode(int virtualKey, int scan, unsigned state) const {
    bool shift = state & KEYSTATE_SHIFT;
    bool alt = state & KEYSTATE_ALT;
    bool ctrl = state & KEYSTATE_CTRL;
    bool american = keyboardCode == KEYBOARD_AMERICAN;
    switch (virtualKey) {
    case VK_BACK: return '\b';
    case VK_TAB: return '\t';
    case VK_RETURN: return '\r';
    case VK_ESCAPE: return KEY_ESCAPE;
    case VK_SPACE: return ' ';
    case VK_DELETE:
        return forceNumpad ? decimalSeparator() : extended(scan);
    case VK_DECIMAL: {
        bool keypadDigits = (state & KEYSTATE_NUMLOCK) && !shift;
        return keypadDigits ? decimalSeparator() : extended(scan);
    }
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DIVIDE: return '/';
    case VK_F11: return F11_CODE;
    case VK_F12: return F12_CODE;
    default: break;
    }
    if ((virtualKey >= VK_PRIOR && virtualKey <= VK_DOWN) || virtualKey == VK_INSERT)
        return extended(scan);
    if (virtualKey >= '0' && virtualKey <= '9') {
        if (!shift) return virtualKey;
        const unsigned char* row = american ? AMERICAN_SHIFTED_DIGITS : ITALIAN_SHIFTED_DIGITS;
        return row[virtualKey - '0'];
    }
    if (virtualKey >= 'A' && virtualKey <= 'Z') {
        if (alt) return extended(scan) + (ctrl ? 1 : 0);
        if (ctrl) return virtualKey - 'A' + 1;
        bool upper = shift != static_cast<bool>(state & KEYSTATE_CAPSLOCK);
        return upper ? virtualKey : virtualKey - 'A' + 'a';
    }
    if (virtualKey >= VK_NUMPAD0 && virtualKey <= VK_NUMPAD9) return '0' + virtualKey - VK_NUMPAD0;
    if (virtualKey >= VK_F1 && virtualKey <= VK_F10)
        return extended(scan + (alt ? ALT_F_OFFSET : shift ? SHIFT_F_OFFSET : 0));
    if (const PunctuationKey* key = punctuationKey(virtualKey)) {
        if (american) return shift ? key->americanShifted : key->americanPlain;
        if ((state & KEYSTATE_RIGHTALT) && key->italianAltGr != 0) return key->italianAltGr;
        return shift ? key->italianShifted : key->italianPlain;
    }
    return 0;
}
