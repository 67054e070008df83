// The kernel's tick, the idle wait, the runtime's console key functions and
// the bell, over the console stand-in.
#include <time.h>

#include <algorithm>
#include <climits>

#include "platform/platform.h"

namespace {

constexpr int BELL = 7;
// The offsets that the runtime adds to a function key's scan code for its
// extended code with Shift, Ctrl and Alt.
constexpr int SHIFT_F_OFFSET = 0x19;
constexpr int CTRL_F_OFFSET = 0x23;
constexpr int ALT_F_OFFSET = 0x2D;
constexpr int F11_CODE = 0x85;
constexpr int F11_MODIFIER_STEP = 2;

std::vector<int> watched;
int64_t clockStart = -1;
// The second byte of an extended key that _getch still owes.
int pendingExtended = -1;

int64_t monotonicMilliseconds() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The runtime's extended code of a key without a character: the scan code,
// moved into the runtime's own ranges for modified function keys.
int extendedCode(const KEY_EVENT_RECORD& event) {
    int scan = event.wVirtualScanCode;
    DWORD state = event.dwControlKeyState;
    bool alt = state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED);
    bool ctrl = state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED);
    bool shift = state & SHIFT_PRESSED;
    WORD key = event.wVirtualKeyCode;
    if (key >= VK_F1 && key <= VK_F10)
        return scan + (alt ? ALT_F_OFFSET : ctrl ? CTRL_F_OFFSET : shift ? SHIFT_F_OFFSET : 0);
    if (key == VK_F11 || key == VK_F12)
        return F11_CODE + (key - VK_F11) +
               F11_MODIFIER_STEP * (alt ? 3 : ctrl ? 2 : shift ? 1 : 0);
    return scan;
}

// What _getch gives for a key event: a character, or 256 and more for an
// extended key (0 then the code); -1 for an event that is no key press.
int runtimeKey(const INPUT_RECORD& record) {
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return -1;
    const KEY_EVENT_RECORD& event = record.Event.KeyEvent;
    unsigned char character = static_cast<unsigned char>(event.uChar.AsciiChar);
    bool alt = event.dwControlKeyState & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED);
    bool altLetter = alt && event.wVirtualKeyCode >= '0' && event.wVirtualKeyCode <= 'Z';
    if (character != 0 && !altLetter) return character;
    WORD key = event.wVirtualKeyCode;
    bool extended = altLetter || (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT ||
                    key == VK_DELETE || (key >= VK_F1 && key <= VK_F12);
    // Shift, Ctrl, Alt and the lock keys alone are no key to the runtime.
    return extended ? 256 + extendedCode(event) : -1;
}

// Drops the events in front that are no key press; true if a key waits.
bool nextKeyWaiting(ConsoleInput& input) {
    while (!input.events.empty() && runtimeKey(input.events.front()) < 0)
        input.events.pop_front();
    return !input.events.empty();
}

// The console input behind standard input; reading the process's own takes
// the terminal's keys.
ConsoleInput& runtimeInput() {
    auto* input = dynamic_cast<ConsoleInput*>(static_cast<ConsoleObject*>(GetStdHandle(STD_INPUT_HANDLE)));
    if (input == nullptr) input = &processConsoleInput();
    input->listen();
    return *input;
}

}  // namespace

int64_t consoleClock() {
    int64_t now = monotonicMilliseconds();
    if (clockStart < 0) clockStart = now;
    return now - clockStart;
}

// Counted from the start of the run, and never 0, which callers take for
// "not yet".
DWORD GetTickCount() { return static_cast<DWORD>(static_cast<uint32_t>(consoleClock() + 1)); }

void idleWait(DWORD milliseconds) {
    int limit = static_cast<int>(std::min<DWORD>(milliseconds, INT_MAX));
    processConsoleInput().wait(limit, true);
}

int _kbhit() {
    if (pendingExtended >= 0) return 1;
    ConsoleInput& input = runtimeInput();
    input.pump();
    if (nextKeyWaiting(input)) return 1;
    renderConsole(false);
    return 0;
}

int _getch() {
    if (pendingExtended >= 0) {
        int code = pendingExtended;
        pendingExtended = -1;
        return code;
    }
    ConsoleInput& input = runtimeInput();
    for (;;) {
        input.pump();
        if (nextKeyWaiting(input)) break;
        // Nothing will ever come: the end of the input is the end of the run.
        if (!input.wait(-1, false) && input.ended) return 0;
    }
    int key = runtimeKey(input.events.front());
    input.events.pop_front();
    if (key < 256) return key;
    pendingExtended = (key - 256) & 0xFF;
    return 0;
}

int _putch(int c) {
    ConsoleOutput& output = processConsoleOutput();
    if (c == BELL) {
        // Rung with the next frame; a bell alone does not start the screen.
        output.bell = true;
    } else {
        char byte = static_cast<char>(c);
        output.writeText(&byte, 1);
    }
    return c;
}

void watchSocket(SOCKET s) {
    if (s >= 0 && std::find(watched.begin(), watched.end(), s) == watched.end())
        watched.push_back(s);
}

void unwatchSocket(SOCKET s) { watched.erase(std::remove(watched.begin(), watched.end(), s), watched.end()); }

const std::vector<int>& watchedDescriptors() { return watched; }
