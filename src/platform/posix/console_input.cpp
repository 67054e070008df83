// Console input over a terminal: the key decoder that turns the terminal's
// bytes into console key events, and the console input calls over it.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "text/cp437.h"
#include "text/utf8.h"
#include "types.h"

namespace {

using Stroke = KeyDecoder::Stroke;
using Answer = KeyDecoder::Answer;

constexpr unsigned char DEL = 0x7F;
// How long a lone ESC waits for the rest of a sequence before it counts as
// the Escape key.
constexpr int64_t ESCAPE_TIME_MS = 25;
// Key sequences are short; anything longer is not one.
constexpr size_t MAX_SEQUENCE = 16;
constexpr int MAX_PARAMETER = 9999;
// Terminal bytes are decoded only while few events wait, so that a huge
// paste does not pile up in memory.
constexpr size_t EVENT_BACKLOG = 64;
constexpr size_t READ_SIZE = 256;

constexpr DWORD SHIFT = SHIFT_PRESSED;
constexpr DWORD CTRL = LEFT_CTRL_PRESSED;
constexpr DWORD ALT = LEFT_ALT_PRESSED;
// The console reports AltGr as the right Alt with the left Ctrl.
constexpr DWORD ALTGR = RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED;

struct KeyScan {
    WORD virtualKey;
    WORD scan;
};

// The PC scan code (set 1) of each key.
constexpr KeyScan SCAN_CODES[] = {
    {VK_BACK, 0x0E},    {VK_TAB, 0x0F},     {VK_RETURN, 0x1C},  {VK_ESCAPE, 0x01},
    {VK_SPACE, 0x39},   {VK_PRIOR, 0x49},   {VK_NEXT, 0x51},    {VK_END, 0x4F},
    {VK_HOME, 0x47},    {VK_LEFT, 0x4B},    {VK_UP, 0x48},      {VK_RIGHT, 0x4D},
    {VK_DOWN, 0x50},    {VK_INSERT, 0x52},  {VK_DELETE, 0x53},  {'0', 0x0B},
    {'1', 0x02},        {'2', 0x03},        {'3', 0x04},        {'4', 0x05},
    {'5', 0x06},        {'6', 0x07},        {'7', 0x08},        {'8', 0x09},
    {'9', 0x0A},        {'A', 0x1E},        {'B', 0x30},        {'C', 0x2E},
    {'D', 0x20},        {'E', 0x12},        {'F', 0x21},        {'G', 0x22},
    {'H', 0x23},        {'I', 0x17},        {'J', 0x24},        {'K', 0x25},
    {'L', 0x26},        {'M', 0x32},        {'N', 0x31},        {'O', 0x18},
    {'P', 0x19},        {'Q', 0x10},        {'R', 0x13},        {'S', 0x1F},
    {'T', 0x14},        {'U', 0x16},        {'V', 0x2F},        {'W', 0x11},
    {'X', 0x2D},        {'Y', 0x15},        {'Z', 0x2C},        {VK_MULTIPLY, 0x37},
    {VK_ADD, 0x4E},     {VK_SUBTRACT, 0x4A}, {VK_DIVIDE, 0x35}, {VK_F1, 0x3B},
    {VK_F1 + 1, 0x3C},  {VK_F1 + 2, 0x3D},  {VK_F1 + 3, 0x3E},  {VK_F1 + 4, 0x3F},
    {VK_F1 + 5, 0x40},  {VK_F1 + 6, 0x41},  {VK_F1 + 7, 0x42},  {VK_F1 + 8, 0x43},
    {VK_F1 + 9, 0x44},  {VK_F11, 0x57},     {VK_F12, 0x58},     {VK_OEM_1, 0x27},
    {VK_OEM_PLUS, 0x0D}, {VK_OEM_COMMA, 0x33}, {VK_OEM_MINUS, 0x0C}, {VK_OEM_PERIOD, 0x34},
    {VK_OEM_2, 0x35},   {VK_OEM_3, 0x29},   {VK_OEM_4, 0x1A},   {VK_OEM_5, 0x2B},
    {VK_OEM_6, 0x1B},   {VK_OEM_7, 0x28},   {VK_OEM_102, 0x56},
};

// The keys that may type a character, the main keys before the keypad, and
// the shift states tried on each: the first key that types a character is
// the one used for it.
struct KeyRange {
    WORD first;
    WORD last;
};
constexpr KeyRange TYPING_RANGES[] = {
    {VK_SPACE, VK_SPACE}, {'0', '9'},        {'A', 'Z'},          {VK_OEM_1, VK_OEM_3},
    {VK_OEM_4, VK_OEM_7}, {VK_OEM_102, VK_OEM_102}, {VK_MULTIPLY, VK_ADD},
    {VK_SUBTRACT, VK_SUBTRACT}, {VK_DIVIDE, VK_DIVIDE},
};
constexpr DWORD TYPING_STATES[] = {0, SHIFT, ALTGR, ALTGR | SHIFT};

struct FinalKey {
    unsigned char final;
    WORD virtualKey;
};

// CSI and SS3 sequences that end in a letter.
constexpr FinalKey LETTER_KEYS[] = {
    {'A', VK_UP},  {'B', VK_DOWN}, {'C', VK_RIGHT},    {'D', VK_LEFT},     {'H', VK_HOME},
    {'F', VK_END}, {'P', VK_F1},   {'Q', VK_F1 + 1},   {'R', VK_F1 + 2},   {'S', VK_F1 + 3},
};
// The rxvt arrows: lower-case finals, Shift after CSI, Ctrl after SS3.
constexpr FinalKey RXVT_ARROWS[] = {{'a', VK_UP}, {'b', VK_DOWN}, {'c', VK_RIGHT}, {'d', VK_LEFT}};

// CSI n ~ (and the rxvt finals $ ^ @ for Shift, Ctrl, Ctrl+Shift).
struct NumberKey {
    int number;
    WORD virtualKey;
};
constexpr NumberKey TILDE_KEYS[] = {
    {1, VK_HOME},     {2, VK_INSERT},   {3, VK_DELETE},   {4, VK_END},      {5, VK_PRIOR},
    {6, VK_NEXT},     {7, VK_HOME},     {8, VK_END},      {11, VK_F1},      {12, VK_F1 + 1},
    {13, VK_F1 + 2},  {14, VK_F1 + 3},  {15, VK_F1 + 4},  {17, VK_F1 + 5},  {18, VK_F1 + 6},
    {19, VK_F1 + 7},  {20, VK_F1 + 8},  {21, VK_F1 + 9},  {23, VK_F11},     {24, VK_F12},
};

WORD scanCodeOf(WORD virtualKey) {
    for (const KeyScan& key : SCAN_CODES)
        if (key.virtualKey == virtualKey) return key.scan;
    return 0;
}

WORD letterKey(const FinalKey* table, size_t size, unsigned char final) {
    for (size_t i = 0; i < size; i++)
        if (table[i].final == final) return table[i].virtualKey;
    return 0;
}

WORD numberKey(int number) {
    for (const NumberKey& key : TILDE_KEYS)
        if (key.number == number) return key.virtualKey;
    return 0;
}

// The xterm modifier parameter: 1 + (1 Shift, 2 Alt, 4 Ctrl, 8 Meta).
DWORD modifierState(int parameter) {
    int bits = parameter - 1;
    if (bits <= 0) return 0;
    DWORD state = 0;
    if (bits & 1) state |= SHIFT;
    if (bits & (2 | 8)) state |= ALT;
    if (bits & 4) state |= CTRL;
    return state;
}

// The key of a complete CSI or SS3 sequence; virtualKey 0 when it is none.
Stroke sequenceKey(unsigned char introducer, unsigned char final, const std::vector<int>& params) {
    bool csi = introducer == '[';
    auto param = [&params](size_t i) { return i < params.size() ? params[i] : 0; };
    if (WORD key = letterKey(LETTER_KEYS, std::size(LETTER_KEYS), final))
        return {key, modifierState(csi ? param(1) : param(0)), 0};
    if (WORD key = letterKey(RXVT_ARROWS, std::size(RXVT_ARROWS), final))
        return {key, csi ? SHIFT : CTRL, 0};
    if (csi && final == 'Z') return {VK_TAB, SHIFT, '\t'};
    if (!csi || params.empty()) return {};
    WORD key = numberKey(params[0]);
    switch (final) {
    case '~': return {key, modifierState(param(1)), 0};
    case '$': return {key, SHIFT, 0};
    case '^': return {key, CTRL, 0};
    case '@': return {key, CTRL | SHIFT, 0};
    default: return {};
    }
}

void addEvent(const Stroke& key, WCHAR unit, std::deque<INPUT_RECORD>& events) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    KEY_EVENT_RECORD& event = record.Event.KeyEvent;
    event.bKeyDown = TRUE;
    event.wRepeatCount = 1;
    event.wVirtualKeyCode = key.virtualKey;
    event.wVirtualScanCode = scanCodeOf(key.virtualKey);
    event.uChar.AsciiChar = static_cast<CHAR>(key.character);
    event.uChar.UnicodeChar = unit;
    event.dwControlKeyState = key.state;
    events.push_back(record);
    event.bKeyDown = FALSE;
    events.push_back(record);
}

// A character beyond U+FFFF comes as two key events, one for each UTF-16
// half, as the console reports it.
void addEvents(const Stroke& key, std::deque<INPUT_RECORD>& events) {
    char32_t character = key.unicode;
    if (character == 0) character = key.character < 0x80 ? key.character : cp437ToUnicode(key.character);
    if (character < SUPPLEMENTARY_FIRST) {
        addEvent(key, static_cast<WCHAR>(character), events);
        return;
    }
    character -= SUPPLEMENTARY_FIRST;
    addEvent(key, static_cast<WCHAR>(HIGH_SURROGATE_FIRST + (character >> 10)), events);
    addEvent(key, static_cast<WCHAR>(LOW_SURROGATE_FIRST + (character & 0x3FF)), events);
}

}  // namespace

// ---------------------------------------------------------------------------
// The decoder.

void KeyDecoder::setLayout(const KeyTranslation& translation) {
    layout.clear();
    if (!translation) return;
    layout.assign(256, Stroke{});
    for (const KeyRange& range : TYPING_RANGES) {
        for (WORD key = range.first; key <= range.last; key++) {
            for (DWORD state : TYPING_STATES) {
                int code = translation(key, state);
                if (code < ' ' || code > 0xFF || layout[code].virtualKey != 0) continue;
                layout[code] = Stroke{key, state, static_cast<unsigned char>(code)};
            }
        }
    }
}

bool KeyDecoder::typing(unsigned char character, Stroke& key) const {
    if (!layout.empty() && layout[character].virtualKey != 0) {
        key = layout[character];
        return true;
    }
    // The character has been typed in the terminal, whether or not the
    // layout's tables know a key for it (Italian has none for ~ ` { }): it
    // comes alone, as the console reports text that no key produced.
    key = Stroke{VK_PACKET, 0, character};
    return layout.empty() || (character >= ' ' && character != DEL);
}

void KeyDecoder::feed(const char* bytes, size_t count, std::deque<INPUT_RECORD>& events) {
    held.append(bytes, count);
    decode(false, events);
}

void KeyDecoder::flush(std::deque<INPUT_RECORD>& events) { decode(true, events); }

void KeyDecoder::decode(bool final, std::deque<INPUT_RECORD>& events) {
    size_t position = 0;
    std::vector<Stroke> keys;
    while (position < held.size()) {
        size_t used = 0;
        keys.clear();
        if (decodeKey(position, final, used, keys) == Answer::Partial) break;
        for (const Stroke& key : keys) addEvents(key, events);
        position += used;
    }
    held.erase(0, position);
}

Answer KeyDecoder::decodeKey(size_t start, bool final, size_t& used,
                             std::vector<Stroke>& keys) const {
    unsigned char byte = static_cast<unsigned char>(held[start]);
    if (byte == ESC) return decodeEscape(start, final, used, keys);
    if (byte >= 0x80 && utf8) return decodeCharacter(start, final, used, keys);
    used = 1;
    Stroke key;
    if (controlKey(byte, key) || typing(byte, key)) keys.push_back(key);
    return Answer::Complete;
}

bool KeyDecoder::controlKey(unsigned char byte, Stroke& key) {
    switch (byte) {
    case '\r': key = {VK_RETURN, 0, '\r'}; return true;
    case '\t': key = {VK_TAB, 0, '\t'}; return true;
    case '\b':
    case DEL: key = {VK_BACK, 0, '\b'}; return true;
    case 0: key = {VK_SPACE, CTRL, ' '}; return true;
    default: break;
    }
    if (byte >= 1 && byte <= 26) {
        key = {static_cast<WORD>('A' + byte - 1), CTRL, byte};
        return true;
    }
    return false;
}

Answer KeyDecoder::decodeEscape(size_t start, bool final, size_t& used,
                                std::vector<Stroke>& keys) const {
    if (start + 1 >= held.size()) {
        if (!final) return Answer::Partial;
        used = 1;
        keys.push_back({VK_ESCAPE, 0, ESC});
        return Answer::Complete;
    }
    unsigned char next = static_cast<unsigned char>(held[start + 1]);
    if (next == '[' || next == 'O') {
        Answer answer = decodeSequence(start, final, used, keys);
        if (answer != Answer::NotMine) return answer;
    } else if (next == ESC) {
        // ESC ESC: Alt with the Escape key, or Alt with a key sequence (rxvt).
        if (start + 2 >= held.size() && !final) return Answer::Partial;
        if (start + 2 < held.size()) {
            unsigned char third = static_cast<unsigned char>(held[start + 2]);
            if (third == '[' || third == 'O') {
                Answer answer = decodeSequence(start + 1, final, used, keys);
                if (answer == Answer::Partial) return answer;
                if (answer == Answer::Complete) {
                    for (Stroke& key : keys) key.state |= ALT;
                    used++;
                    return answer;
                }
            }
        }
        used = 2;
        keys.push_back({VK_ESCAPE, ALT, ESC});
        return Answer::Complete;
    } else if (next >= 1 && next <= 26) {
        // The hot keys: ESC TAB is Ctrl+Alt+I, not Alt+Tab.
        used = 2;
        keys.push_back({static_cast<WORD>('A' + next - 1), CTRL | ALT, next});
        return Answer::Complete;
    }
    // Alt with the key that follows.
    keys.clear();
    if (decodeKey(start + 1, final, used, keys) == Answer::Partial) return Answer::Partial;
    used++;
    for (Stroke& key : keys) key.state |= ALT;
    return Answer::Complete;
}

Answer KeyDecoder::decodeSequence(size_t start, bool final, size_t& used,
                                  std::vector<Stroke>& keys) const {
    unsigned char introducer = static_cast<unsigned char>(held[start + 1]);
    size_t i = start + 2;
    if (introducer == '[' && i < held.size() && held[i] == '[') {
        // The Linux console's F1 to F5: ESC [ [ A to ESC [ [ E.
        if (i + 1 >= held.size()) return final ? Answer::NotMine : Answer::Partial;
        unsigned char letter = static_cast<unsigned char>(held[i + 1]);
        if (letter < 'A' || letter > 'E') return Answer::NotMine;
        used = 4;
        keys.push_back({static_cast<WORD>(VK_F1 + letter - 'A'), 0, 0});
        return Answer::Complete;
    }
    std::vector<int> params;
    int current = -1;
    bool plain = true;
    for (;; i++) {
        if (i >= held.size()) return final ? Answer::NotMine : Answer::Partial;
        if (i - start >= MAX_SEQUENCE) return Answer::NotMine;
        unsigned char byte = static_cast<unsigned char>(held[i]);
        if (byte >= '0' && byte <= '9') {
            current = std::min(std::max(current, 0) * 10 + (byte - '0'), MAX_PARAMETER);
        } else if (byte == ';') {
            params.push_back(std::max(current, 0));
            current = -1;
        } else if (byte == ':' || (byte >= '<' && byte <= '?')) {
            plain = false;  // a private form: no key of ours
        } else if ((byte >= 0x40 && byte <= 0x7E) || byte == '$') {
            break;
        } else {
            return Answer::NotMine;
        }
    }
    if (current >= 0 || !params.empty()) params.push_back(std::max(current, 0));
    used = i + 1 - start;
    // A complete sequence that names no key is swallowed, not typed.
    if (!plain) return Answer::Complete;
    Stroke key = sequenceKey(introducer, static_cast<unsigned char>(held[i]), params);
    if (key.virtualKey != 0) keys.push_back(key);
    return Answer::Complete;
}

Answer KeyDecoder::decodeCharacter(size_t start, bool final, size_t& used,
                                   std::vector<Stroke>& keys) const {
    unsigned char lead = static_cast<unsigned char>(held[start]);
    int extra = lead >= 0xF5 ? -1 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    used = 1;
    if (extra < 0) return Answer::Complete;  // not the start of a character: dropped
    char32_t character = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; k++) {
        if (start + k >= held.size()) {
            if (!final) return Answer::Partial;
            used = static_cast<size_t>(k);
            return Answer::Complete;
        }
        unsigned char byte = static_cast<unsigned char>(held[start + k]);
        if ((byte & 0xC0) != 0x80) {
            used = static_cast<size_t>(k);
            return Answer::Complete;
        }
        character = (character << 6) | (byte & 0x3F);
    }
    used = static_cast<size_t>(extra) + 1;
    int byte = unicodeToCp437(character);
    Stroke key;
    if (byte >= 0 && typing(static_cast<unsigned char>(byte), key)) {
        key.unicode = character;
        keys.push_back(key);
    } else if (byte < 0 && everyCharacter) {
        keys.push_back({VK_PACKET, 0, 0, character});
    }
    // Otherwise a character that the code page lacks is dropped.
    return Answer::Complete;
}

// ---------------------------------------------------------------------------
// The console input.

void ConsoleInput::listen() {
    if (!listening) takeTerminalInput(mode & ENABLE_PROCESSED_INPUT);
}

void ConsoleInput::queueResize(COORD size) {
    if (!(mode & ENABLE_WINDOW_INPUT)) return;
    INPUT_RECORD record{};
    record.EventType = WINDOW_BUFFER_SIZE_EVENT;
    record.Event.WindowBufferSizeEvent.dwSize = size;
    events.push_back(record);
}

void ConsoleInput::pump() {
    followTerminalSize();
    if (listening && !ended && events.size() < EVENT_BACKLOG) readAvailable();
    if (decoder.holding() && consoleClock() - heldSince >= ESCAPE_TIME_MS) decoder.flush(events);
}

void ConsoleInput::readAvailable() {
    if (fd < 0) return;
    struct pollfd readable {fd, POLLIN, 0};
    if (poll(&readable, 1, 0) <= 0) return;
    char bytes[READ_SIZE];
    ssize_t n = ::read(fd, bytes, sizeof bytes);
    if (n > 0) {
        decoder.feed(bytes, static_cast<size_t>(n), events);
        heldSince = consoleClock();
        return;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    // End of file or a hung-up terminal: no key will ever come again.
    ended = true;
    if (endsRun) std::exit(0);
}

bool ConsoleInput::wait(int milliseconds, bool alsoWatched) {
    int64_t deadline = milliseconds < 0 ? -1 : consoleClock() + milliseconds;
    std::vector<struct pollfd> descriptors;
    for (;;) {
        pump();
        if (!events.empty()) return true;
        int64_t now = consoleClock();
        if (deadline >= 0 && now >= deadline && !decoder.holding()) return false;
        renderConsole(true);
        descriptors.clear();
        if (listening && !ended && fd >= 0) descriptors.push_back({fd, POLLIN, 0});
        size_t firstWatched = descriptors.size();
        if (alsoWatched)
            for (int watched : watchedDescriptors()) descriptors.push_back({watched, POLLIN, 0});
        int64_t timeout = deadline < 0 ? -1 : deadline - now;
        if (decoder.holding()) {
            int64_t escape = std::max<int64_t>(0, heldSince + ESCAPE_TIME_MS - now);
            timeout = timeout < 0 ? escape : std::min(timeout, escape);
        }
        if (descriptors.empty() && timeout < 0) return false;  // nothing can ever come
        int ready = poll(descriptors.data(), descriptors.size(),
                         static_cast<int>(std::min<int64_t>(timeout, INT_MAX)));
        if (ready <= 0) continue;
        for (size_t i = firstWatched; i < descriptors.size(); i++)
            if (descriptors[i].revents != 0) return false;
    }
}

namespace {

ConsoleInput* inputOf(HANDLE handle, bool wide = false) {
    ConsoleInput* input = dynamic_cast<ConsoleInput*>(static_cast<ConsoleObject*>(handle));
    if (input == nullptr) return nullptr;
    input->listen();
    if (wide) input->decoder.keepEveryCharacter();
    return input;
}

DWORD takeEvents(ConsoleInput& input, INPUT_RECORD* buffer, DWORD length, bool remove) {
    DWORD n = static_cast<DWORD>(std::min<size_t>(length, input.events.size()));
    std::copy_n(input.events.begin(), n, buffer);
    if (remove) input.events.erase(input.events.begin(), input.events.begin() + n);
    return n;
}

// The wide calls read the same events as the A calls; each reader takes the
// form of the character that its call gives.
BOOL peekInput(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count, bool wide) {
    ConsoleInput* input = inputOf(console, wide);
    if (input == nullptr || count == nullptr || (buffer == nullptr && length > 0)) return FALSE;
    input->pump();
    *count = takeEvents(*input, buffer, length, false);
    // Nothing to do but draw: the program is about to wait or to go on with
    // output, so the terminal catches up (at most once per frame interval).
    if (*count == 0) renderConsole(false);
    return TRUE;
}

BOOL readInput(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count, bool wide) {
    ConsoleInput* input = inputOf(console, wide);
    if (input == nullptr || count == nullptr || (buffer == nullptr && length > 0)) return FALSE;
    *count = 0;
    if (length == 0) return TRUE;
    while (input->events.empty())
        if (!input->wait(-1, false)) return FALSE;
    *count = takeEvents(*input, buffer, length, true);
    return TRUE;
}

}  // namespace

BOOL PeekConsoleInputA(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count) {
    return peekInput(console, buffer, length, count, false);
}

BOOL ReadConsoleInputA(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count) {
    return readInput(console, buffer, length, count, false);
}

BOOL PeekConsoleInputW(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count) {
    return peekInput(console, buffer, length, count, true);
}

BOOL ReadConsoleInputW(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count) {
    return readInput(console, buffer, length, count, true);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    ConsoleInput* input = inputOf(handle);
    if (input == nullptr) return WAIT_FAILED;
    int limit = milliseconds == INFINITE ? -1 : static_cast<int>(std::min<DWORD>(milliseconds, INT_MAX));
    return input->wait(limit, false) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void setConsoleKeyTranslation(HANDLE input, const KeyTranslation& translation) {
    ConsoleInput* console = dynamic_cast<ConsoleInput*>(static_cast<ConsoleObject*>(input));
    if (console != nullptr) console->decoder.setLayout(translation);
}

// The layout follows the locale: Italian for an "it" language, US English
// for every other.
BOOL GetKeyboardLayoutNameA(char* name) {
    if (name == nullptr) return FALSE;
    const char* locale = "";
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    bool italian = std::strncmp(locale, "it", 2) == 0 && std::strchr("_.@", locale[2]) != nullptr;
    std::strcpy(name, italian ? "00000410" : "00000409");
    return TRUE;
}
