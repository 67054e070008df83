// The bytes a terminal sends for keys, decoded into console key events in
// pieces.  Every key is a press followed by its release, a typed character
// is one the chosen key really types, and the pieces never change the keys
// (nothing here waits, so a lone ESC is decided only by the final flush).
//
// Input: byte 0 the decoder setup (bit 0 UTF-8, bits 1-2 the layout) and the
// number of piece lengths that follow (high nibble); then those lengths; the
// rest is the terminal's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "platform/posix/console.h"

namespace {

constexpr DWORD KNOWN_STATE = SHIFT_PRESSED | LEFT_CTRL_PRESSED | LEFT_ALT_PRESSED |
                              RIGHT_ALT_PRESSED;
constexpr DWORD ALTGR = RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "keydecoder_fuzz: %s\n", what);
    std::abort();
}

// A small American keyboard: letters, digits and their shifted symbols,
// the space.
int americanLayout(WORD key, DWORD state) {
    static const char shiftedDigits[] = ")!@#$%^&*(";
    if (key >= 'A' && key <= 'Z') {
        if (state == 0) return key - 'A' + 'a';
        if (state == SHIFT_PRESSED) return key;
        return 0;
    }
    if (key >= '0' && key <= '9') {
        if (state == 0) return key;
        if (state == SHIFT_PRESSED) return shiftedDigits[key - '0'];
        return 0;
    }
    if (key == VK_SPACE && state == 0) return ' ';
    return 0;
}

// A keyboard with AltGr characters and code page characters above 0x7F.
int accentedLayout(WORD key, DWORD state) {
    if (key == VK_OEM_1) {
        if (state == 0) return 0x8A;  // e grave
        if (state == SHIFT_PRESSED) return 0x82;
        if (state == ALTGR) return '[';
        if (state == (ALTGR | SHIFT_PRESSED)) return '{';
    }
    if (key == VK_OEM_3 && state == ALTGR) return '@';
    if (key == VK_OEM_7 && state == ALTGR) return '#';
    if (key == VK_OEM_102) return state == 0 ? '<' : state == SHIFT_PRESSED ? '>' : 0;
    return americanLayout(key, state);
}

// Every layout types a character with a key that translates back to it.
using Layout = int (*)(WORD, DWORD);
constexpr Layout LAYOUTS[] = {nullptr, americanLayout, accentedLayout, nullptr};

std::deque<INPUT_RECORD> decode(bool utf8, Layout layout, const std::string& bytes,
                                const std::vector<size_t>& pieces) {
    KeyDecoder decoder(utf8);
    if (layout != nullptr) decoder.setLayout(layout);
    std::deque<INPUT_RECORD> events;
    size_t at = 0;
    for (size_t length : pieces) {
        if (at >= bytes.size()) break;
        std::string piece = bytes.substr(at, length);
        decoder.feed(piece.data(), piece.size(), events);
        at += piece.size();
    }
    if (at < bytes.size()) decoder.feed(bytes.data() + at, bytes.size() - at, events);
    decoder.flush(events);
    if (decoder.holding()) fail("bytes still held after the flush");
    return events;
}

bool sameEvent(const INPUT_RECORD& a, const INPUT_RECORD& b) {
    const KEY_EVENT_RECORD& x = a.Event.KeyEvent;
    const KEY_EVENT_RECORD& y = b.Event.KeyEvent;
    return a.EventType == b.EventType && x.bKeyDown == y.bKeyDown &&
           x.wRepeatCount == y.wRepeatCount && x.wVirtualKeyCode == y.wVirtualKeyCode &&
           x.wVirtualScanCode == y.wVirtualScanCode && x.uChar.AsciiChar == y.uChar.AsciiChar &&
           x.dwControlKeyState == y.dwControlKeyState;
}

bool sameEvents(const std::deque<INPUT_RECORD>& a, const std::deque<INPUT_RECORD>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (!sameEvent(a[i], b[i])) return false;
    return true;
}

// A character that a layout key types (not a control key's own character).
bool typedByLayout(const KEY_EVENT_RECORD& key) {
    unsigned char c = static_cast<unsigned char>(key.uChar.AsciiChar);
    if (c < ' ' || c == 0x7F) return false;
    return !(key.wVirtualKeyCode == VK_SPACE && (key.dwControlKeyState & LEFT_CTRL_PRESSED) &&
             !(key.dwControlKeyState & RIGHT_ALT_PRESSED));
}

void checkEvents(const std::deque<INPUT_RECORD>& events, Layout layout) {
    if (events.size() % 2 != 0) fail("a key without its release");
    for (size_t i = 0; i < events.size(); i += 2) {
        const INPUT_RECORD& down = events[i];
        const INPUT_RECORD& up = events[i + 1];
        if (down.EventType != KEY_EVENT || up.EventType != KEY_EVENT) fail("not a key event");
        const KEY_EVENT_RECORD& press = down.Event.KeyEvent;
        if (!press.bKeyDown || up.Event.KeyEvent.bKeyDown) fail("release before press");
        INPUT_RECORD released = down;
        released.Event.KeyEvent.bKeyDown = FALSE;
        if (!sameEvent(released, up)) fail("the release is another key");
        if (press.wRepeatCount != 1) fail("repeat count");
        if (press.dwControlKeyState & ~KNOWN_STATE) fail("unknown control-key state");
        if (layout == nullptr) continue;
        if (press.wVirtualKeyCode == VK_PACKET) {
            // A character that no key of the layout types comes as text.
            unsigned char c = static_cast<unsigned char>(press.uChar.AsciiChar);
            if (c < ' ' || c == 0x7F) fail("a control character as text");
            continue;
        }
        if (press.wVirtualKeyCode == 0) fail("a key without a virtual-key code");
        if (press.wVirtualScanCode == 0) fail("a key without a scan code");
        if (typedByLayout(press)) {
            // Alt from an ESC prefix is added to the key's own state.
            DWORD state = press.dwControlKeyState & ~LEFT_ALT_PRESSED;
            unsigned char c = static_cast<unsigned char>(press.uChar.AsciiChar);
            if (layout(press.wVirtualKeyCode, state) != c) fail("the key does not type its character");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    bool utf8 = data[0] & 1;
    Layout layout = LAYOUTS[(data[0] >> 1) & 3];
    size_t cuts = data[0] >> 4;
    if (size < 1 + cuts) return 0;
    std::vector<size_t> pieces;
    for (size_t i = 0; i < cuts; i++) pieces.push_back(1 + data[1 + i] % 32);
    std::string bytes(reinterpret_cast<const char*>(data + 1 + cuts), size - 1 - cuts);

    std::deque<INPUT_RECORD> whole = decode(utf8, layout, bytes, {});
    checkEvents(whole, layout);
    if (!sameEvents(decode(utf8, layout, bytes, pieces), whole)) fail("the pieces changed the keys");
    std::vector<size_t> bytewise(bytes.size(), 1);
    if (!sameEvents(decode(utf8, layout, bytes, bytewise), whole))
        fail("byte-by-byte decoding changed the keys");
    return 0;
}
