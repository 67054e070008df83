// Host bytes into a Terminal as the main loop delivers them, with typed keys
// between the blocks.  After every block the console must show exactly the
// screen's cells, and nothing may have been drawn outside the console.
//
// Input: byte 0 the emulation (bits 0-1), whether to compare deliveries
// (bit 2), a console that moves blocks (bit 3) and a UTF-8 host (bit 4),
// byte 1 the console size, bytes 2-3 the seed of the block sizes and the key
// script; the rest is what the host sends.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "terminal_harness.h"

namespace {

constexpr size_t HEADER_SIZE = 4;

struct ConsoleSize {
    int rows;
    int cols;
};

// The usual consoles, the degenerate ones, and sizes around the byte limits
// of the window-size and position arithmetic.
constexpr ConsoleSize CONSOLE_SIZES[] = {
    {25, 80}, {24, 80}, {1, 1},  {2, 1},  {1, 2},   {2, 2},   {3, 10},  {25, 132},
    {43, 132}, {5, 7},  {60, 200}, {26, 81}, {12, 40}, {4, 255}, {3, 256}, {8, 300},
};

// Hot keys that wait for the user without end or touch files: the fuzzer
// never types them.
constexpr int KEY_PRINT_SCREEN = 0x1901;  // Ctrl+Alt+P
constexpr int KEY_CAPTURE = 0x2E01;       // Ctrl+Alt+C
constexpr int KEY_REPLAY = 0x3201;        // Ctrl+Alt+M
constexpr int KEY_STATUS_PAGE = 0x1701;   // Ctrl+Alt+I
constexpr int KEY_INSERT = 0x5200;        // with Ctrl copies, with Shift pastes

constexpr int KEY_CLOSE = 0x2D01;  // Ctrl+Alt+X
constexpr int SCAN_ALT_LETTER_FIRST = 0x10;
constexpr int SCAN_ALT_LETTER_LAST = 0x32;

// Key states the script uses: the lock keys and Alt, never Ctrl or Shift
// (they would turn Insert into copy and paste).
constexpr unsigned KEY_STATES[] = {0, KEYSTATE_CAPSLOCK, KEYSTATE_NUMLOCK,
                                   KEYSTATE_CAPSLOCK | KEYSTATE_NUMLOCK, KEYSTATE_ALT,
                                   KEYSTATE_RIGHTALT};

// Ten host bytes (CSI X) may print a screenful of spaces and scroll the
// whole screen at every row.  Under the sanitizers the recording adapter
// moves some fifteen million cells a second and prints a cell in the time of
// about PRINT_COST moves.  The stream is cut where about a quarter of a
// second's such work ends, so that a run over the one-second limit is a hang
// and not merely a big screen.
constexpr size_t PRINT_COST = 24;
constexpr size_t WORK_BUDGET = 40'000'000;
constexpr size_t MIN_STREAM = 64;

constexpr int MAX_SCRIPTED_KEYS = 48;
constexpr unsigned MAX_SMALL_BLOCK = 64;

bool excluded(int code) {
    return code == KEY_PRINT_SCREEN || code == KEY_CAPTURE || code == KEY_REPLAY ||
           code == KEY_STATUS_PAGE;
}

// A key code as an adapter may return it.
int randomKey(std::minstd_rand& random) {
    for (;;) {
        int code = 0;
        switch (random() % 8) {
        case 0:
        case 1: code = 1 + static_cast<int>(random() % 255); break;
        case 2: code = KEY_SCANCODES[random() % KEY_COUNT] * 256; break;
        case 3:
            code = (SCAN_ALT_LETTER_FIRST +
                    static_cast<int>(random() % (SCAN_ALT_LETTER_LAST - SCAN_ALT_LETTER_FIRST + 1))) *
                   256;
            break;
        case 4: code = static_cast<int>(random() % 256) * 256 + 1; break;  // Ctrl+Alt+letter
        case 5: code = static_cast<int>(1 + random() % 255) * 256; break;   // any extended key
        case 6: code = random() % 2 ? KEY_SCROLL_ON : KEY_SCROLL_OFF; break;
        default: code = random() % 4 ? KEY_INSERT : KEY_CLOSE; break;
        }
        if (!excluded(code)) return code;
    }
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "terminal_fuzz: %s\n", what.c_str());
    std::abort();
}

void checkScreen(const TerminalHarness& harness) {
    ::testing::AssertionResult match = cellsMatch(harness.terminal, harness.adapter);
    if (!match) fail(match.message());
    const Screen* screen = TerminalHarness::shown(harness.terminal);
    if (screen == nullptr) return;
    if (screen->cursor < 0 || screen->cursor > harness.cellCount())
        fail("cursor " + std::to_string(screen->cursor) + " outside the screen");
    if (screen->keyQueueHead < 0 || screen->keyQueueHead >= KEY_QUEUE_SIZE ||
        screen->keyQueueTail < 0 || screen->keyQueueTail >= KEY_QUEUE_SIZE)
        fail("key queue indices out of range");
    if (screen->oscLength < 0 || screen->oscLength >= OSC_TEXT_SIZE) fail("title length out of range");
    if (screen->statusText.empty() || screen->statusText.back() != '\0')
        fail("status text not terminated");
}

// One turn of the main loop: a session closed by Ctrl+Alt+X goes, the keys
// queued go to the device, a block is read and interpreted.  Returns the
// bytes read, or -1 when no session is left.
int turn(TerminalHarness& harness) {
    Terminal& terminal = harness.terminal;
    if (harness.closePending()) {
        harness.closePending() = 0;
        terminal.closeSession();
    }
    if (TerminalHarness::shown(terminal) == nullptr && terminal.switchToLastSession() < 0) return -1;
    std::string queued = harness.takeReplies();
    if (!queued.empty()) terminal.writeDevice(queued.data(), static_cast<int>(queued.size()));
    char buffer[IO_BLOCK_SIZE];
    int n = terminal.readDevice(buffer, IO_BLOCK_SIZE);
    if (n > 0) terminal.receiveBytes(buffer, n);
    return n;
}

// The printer-name field, edited with the scripted keys; it must keep the
// name inside its buffer.
void editName(TerminalHarness& harness) {
    char name[PRINTER_NAME_SIZE];
    std::memcpy(name, harness.printerName(), sizeof name);
    harness.selectPrinter() = 1;
    harness.terminal.editPrinterName(name);
    harness.selectPrinter() = 0;
    if (std::memchr(name, '\0', sizeof name) == nullptr) fail("printer name not terminated");
}

// How a run delivers the stream: with typed keys between small blocks, or
// without keys in small blocks or whole.
struct Delivery {
    bool keys;
    bool whole;
};

void run(TerminalHarness& harness, const uint8_t* data, size_t size, std::minstd_rand& random,
         Delivery delivery) {
    harness.device.alwaysOpen = true;
    // Transparent printing started by the host goes nowhere.
    harness.terminal.setPrinter("nul");
    int keys = delivery.keys ? static_cast<int>(random() % (MAX_SCRIPTED_KEYS + 1)) : 0;
    for (int i = 0; i < keys; i++)
        harness.adapter.pushKey(randomKey(random), KEY_STATES[random() % std::size(KEY_STATES)]);
    harness.open(0);
    checkScreen(harness);

    size_t at = 0;
    while (at < size) {
        size_t block = delivery.whole || random() % 8 == 0 ? size - at : 1 + random() % MAX_SMALL_BLOCK;
        block = std::min(block, size - at);
        harness.device.pushData(std::string(reinterpret_cast<const char*>(data + at), block));
        at += block;
        while (harness.adapter.keyReady() && random() % 3 == 0) {
            harness.terminal.dispatchKey();
            checkScreen(harness);
        }
        if (harness.adapter.keyReady() && random() % 64 == 0) editName(harness);
        int n;
        do {
            n = turn(harness);
            if (n < 0) return;
            checkScreen(harness);
        } while (n > 0);
    }
}

// What a run leaves on the screen and in its interpreter.
struct Outcome {
    bool open = false;
    std::vector<Cell> cells;
    int cursor = 0;
    int savedCursor = 0;
    ParserState state = nullptr;
    uint32_t modes = 0;
    int scrollTop = 0;
    int scrollBottom = 0;
    int currentAttr = 0;
    std::vector<char> statusText;
    std::string keyDefs;
    bool operator==(const Outcome&) const = default;
};

Outcome outcome(const TerminalHarness& harness) {
    Outcome o;
    const Screen* s = TerminalHarness::shown(harness.terminal);
    if (s == nullptr) return o;
    o.open = true;
    o.cells.assign(s->cells.begin(), s->cells.begin() + s->rows * s->cols);
    o.cursor = s->cursor;
    o.savedCursor = s->savedCursor;
    o.state = s->state;
    o.modes = s->modes;
    o.scrollTop = s->scrollTop;
    o.scrollBottom = s->scrollBottom;
    o.currentAttr = s->currentAttr;
    o.statusText = s->statusText;
    for (int key = 0; key < KEY_COUNT; key++)
        o.keyDefs.append(reinterpret_cast<const char*>(s->keyDefs[key]), s->keyDefLength[key]) += '\0';
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < HEADER_SIZE) return 0;
    Emulation emulation = static_cast<Emulation>(data[0] & 3);
    // Bit 2: no keys, and the stream is delivered a second time, whole.
    bool compare = data[0] & 4;
    // Bit 3: a console that moves blocks itself instead of being repainted.
    bool blockMoves = data[0] & 8;
    // Bit 4: the host speaks UTF-8.
    bool utf8 = data[0] & 16;
    const ConsoleSize& console = CONSOLE_SIZES[data[1] % std::size(CONSOLE_SIZES)];
    unsigned seed = static_cast<unsigned>(data[2] | data[3] << 8);
    data += HEADER_SIZE;
    size_t work = static_cast<size_t>(console.rows) * console.cols * (console.rows + PRINT_COST);
    size = std::min(size - HEADER_SIZE, std::max(MIN_STREAM, WORK_BUDGET / work));

    std::minstd_rand random(seed);
    // One Terminal at a time: the program's own messages go to the first.
    auto harness = std::make_unique<TerminalHarness>(emulation, console.rows, console.cols);
    harness->adapter.blockMoves = blockMoves;
    harness->terminal.setUtf8Host(utf8);
    try {
        run(*harness, data, size, random, {!compare, false});
    } catch (const NoMoreKeys&) {
        // A wait (Scroll Lock hold, the printer-name field) ran out of
        // scripted keys: the input ends there.
        return 0;
    }
    if (!compare) return 0;
    // How the stream was cut into blocks must not show.
    Outcome cut = outcome(*harness);
    harness.reset();
    harness = std::make_unique<TerminalHarness>(emulation, console.rows, console.cols);
    harness->adapter.blockMoves = !blockMoves;
    harness->terminal.setUtf8Host(utf8);
    run(*harness, data, size, random, {false, true});
    if (!(outcome(*harness) == cut)) fail("the blocks changed the outcome");
    return 0;
}
