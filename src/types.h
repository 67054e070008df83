// The types and codes that every layer shares: the emulation, a screen cell,
// the key codes an adapter delivers and the keyboard state bits.  Nothing
// here depends on a platform or on the Terminal.
#pragma once
#include <cstdint>

#if defined(__GNUC__) || defined(__clang__)
#define ZARNEK_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#define ZARNEK_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define ZARNEK_PRINTF(fmt, args)
#define ZARNEK_NOINLINE __declspec(noinline)
#else
#define ZARNEK_PRINTF(fmt, args)
#define ZARNEK_NOINLINE
#endif

// The version comes from the build (project() in CMakeLists.txt).
constexpr const char* VERSION_TEXT = ZARNEK_VERSION;
// The one-line banner shown at start, in the usage text and at the top of
// every session.
extern const char* const BANNER;

// One per run; its name is the terminal type the host is told.
enum Emulation : int32_t { SCOANSI = 0, VT100 = 1, LINUX = 2, XTERM = 3 };

// Low byte the character (code page 437), high byte the attribute.
using Cell = uint16_t;

// The escape byte that starts control sequences and Alt+letter.
constexpr int ESC = 0x1B;

// KeyCode values: 1..255 a character, scan * 256 an extended key,
// scan * 256 + 1 Ctrl+Alt+letter, and the two Scroll Lock codes.
constexpr int KEY_SCROLL_ON = 0xFF00;
constexpr int KEY_SCROLL_OFF = 0xFF01;
// The console changed size: the adapter's rows and columns hold the new size.
constexpr int KEY_RESIZE = 0xFF02;
// For a UTF-8 host: a character typed outside ASCII is this plus its Unicode
// value, whether or not code page 437 has it.
constexpr int KEY_CHARACTER = 0x1000000;
// Keys that the printer-name field and the copy selection read themselves.
constexpr int KEY_ESCAPE = ESC;
constexpr int KEY_UP = 0x4800;
constexpr int KEY_LEFT = 0x4B00;
constexpr int KEY_RIGHT = 0x4D00;
constexpr int KEY_DOWN = 0x5000;
constexpr int KEY_DELETE = 0x5300;
// Scan code of Alt+F1; Alt+F2 .. Alt+F10 follow it.
constexpr int SCAN_ALT_F1 = 0x68;

// KeyState bits.
constexpr unsigned KEYSTATE_CAPSLOCK = 0x01;
constexpr unsigned KEYSTATE_NUMLOCK = 0x02;
constexpr unsigned KEYSTATE_SHIFT = 0x04;
constexpr unsigned KEYSTATE_ALT = 0x08;
constexpr unsigned KEYSTATE_CTRL = 0x10;
constexpr unsigned KEYSTATE_RIGHTALT = 0x20;
