// Stand-ins for the Win32 console API, the kernel's tick and sleep, and the
// runtime's console functions, over a Unix terminal.
#pragma once
#include <cstdint>

typedef int BOOL;
typedef unsigned long DWORD;
typedef unsigned short WORD;
typedef short SHORT;
typedef char CHAR;
typedef void* HANDLE;
typedef DWORD* LPDWORD;

#define TRUE 1
#define FALSE 0
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)

// Output modes.
#define ENABLE_PROCESSED_OUTPUT 0x0001
#define ENABLE_WRAP_AT_EOL_OUTPUT 0x0002
// Input modes.
#define ENABLE_PROCESSED_INPUT 0x0001
#define ENABLE_LINE_INPUT 0x0002
#define ENABLE_ECHO_INPUT 0x0004
#define ENABLE_WINDOW_INPUT 0x0008
#define ENABLE_MOUSE_INPUT 0x0010

// Console attribute bits.
#define FOREGROUND_BLUE 0x0001
#define FOREGROUND_GREEN 0x0002
#define FOREGROUND_RED 0x0004
#define FOREGROUND_INTENSITY 0x0008
#define BACKGROUND_BLUE 0x0010
#define BACKGROUND_GREEN 0x0020
#define BACKGROUND_RED 0x0040
#define BACKGROUND_INTENSITY 0x0080

// Event types and control-key state bits.
#define KEY_EVENT 0x0001
#define MOUSE_EVENT 0x0002
#define WINDOW_BUFFER_SIZE_EVENT 0x0004
#define MENU_EVENT 0x0008
#define FOCUS_EVENT 0x0010
#define RIGHT_ALT_PRESSED 0x0001
#define LEFT_ALT_PRESSED 0x0002
#define RIGHT_CTRL_PRESSED 0x0004
#define LEFT_CTRL_PRESSED 0x0008
#define SHIFT_PRESSED 0x0010
#define NUMLOCK_ON 0x0020
#define SCROLLLOCK_ON 0x0040
#define CAPSLOCK_ON 0x0080
#define ENHANCED_KEY 0x0100

typedef struct _COORD {
    SHORT X;
    SHORT Y;
} COORD;

typedef struct _SMALL_RECT {
    SHORT Left;
    SHORT Top;
    SHORT Right;
    SHORT Bottom;
} SMALL_RECT;

typedef struct _CONSOLE_SCREEN_BUFFER_INFO {
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
} CONSOLE_SCREEN_BUFFER_INFO;

typedef struct _CONSOLE_CURSOR_INFO {
    DWORD dwSize;
    BOOL bVisible;
} CONSOLE_CURSOR_INFO;

typedef struct _KEY_EVENT_RECORD {
    BOOL bKeyDown;
    WORD wRepeatCount;
    WORD wVirtualKeyCode;
    WORD wVirtualScanCode;
    union {
        CHAR AsciiChar;
    } uChar;
    DWORD dwControlKeyState;
} KEY_EVENT_RECORD;

typedef struct _INPUT_RECORD {
    WORD EventType;
    union {
        KEY_EVENT_RECORD KeyEvent;
    } Event;
} INPUT_RECORD;

HANDLE GetStdHandle(DWORD which);
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
BOOL SetConsoleMode(HANDLE console, DWORD mode);
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info);
BOOL GetConsoleCursorInfo(HANDLE console, CONSOLE_CURSOR_INFO* info);
BOOL SetConsoleCursorInfo(HANDLE console, const CONSOLE_CURSOR_INFO* info);
BOOL SetConsoleCursorPosition(HANDLE console, COORD position);
BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes);
BOOL WriteConsoleA(HANDLE console, const void* buffer, DWORD count, LPDWORD written,
                   void* reserved);
BOOL PeekConsoleInputA(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count);
BOOL ReadConsoleInputA(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count);
BOOL GetKeyboardLayoutNameA(char* name);

// Kernel: millisecond tick, and an idle wait that ends early when the console
// or a watched socket has input.
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

// Runtime console functions: key waiting, key read, bell.
int _kbhit();
int _getch();
int _putch(int c);

// Text was written straight to standard output (usage, a trace, an error):
// the next frame repaints the whole console over it.
void consoleTextWritten();
