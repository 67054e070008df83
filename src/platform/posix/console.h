// Stand-ins for the Win32 console API, the kernel's tick and the runtime's
// console functions, over a Unix terminal.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

typedef int BOOL;
typedef unsigned long DWORD;
typedef unsigned short WORD;
typedef short SHORT;
typedef char CHAR;
typedef unsigned short WCHAR;
typedef void* HANDLE;
typedef DWORD* LPDWORD;

#define TRUE 1
#define FALSE 0
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define INFINITE ((DWORD)0xFFFFFFFF)
#define WAIT_OBJECT_0 ((DWORD)0)
#define WAIT_TIMEOUT ((DWORD)258)
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define KL_NAMELENGTH 9

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

// Virtual-key codes (letters and digits are their ASCII upper-case codes).
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_NUMPAD0 0x60
#define VK_NUMPAD9 0x69
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_DIVIDE 0x6F
#define VK_F1 0x70
#define VK_F10 0x79
#define VK_F11 0x7A
#define VK_F12 0x7B
#define VK_OEM_1 0xBA
#define VK_OEM_PLUS 0xBB
#define VK_OEM_COMMA 0xBC
#define VK_OEM_MINUS 0xBD
#define VK_OEM_PERIOD 0xBE
#define VK_OEM_2 0xBF
#define VK_OEM_3 0xC0
#define VK_OEM_4 0xDB
#define VK_OEM_5 0xDC
#define VK_OEM_6 0xDD
#define VK_OEM_7 0xDE
#define VK_OEM_102 0xE2
// Text that no key produced: the character is in the event's character field.
#define VK_PACKET 0xE7

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

typedef struct _CHAR_INFO {
    union {
        CHAR AsciiChar;
    } Char;
    WORD Attributes;
} CHAR_INFO;

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
    // Both forms of the character, where the real console has a union that
    // the A calls fill with the code page byte and the W calls with the
    // UTF-16 unit: code reads the one its call fills.
    struct {
        CHAR AsciiChar;
        WCHAR UnicodeChar = 0;
    } uChar;
    DWORD dwControlKeyState;
} KEY_EVENT_RECORD;

typedef struct _WINDOW_BUFFER_SIZE_RECORD {
    COORD dwSize;
} WINDOW_BUFFER_SIZE_RECORD;

typedef struct _INPUT_RECORD {
    WORD EventType;
    // The members apart, where the real console has a union: an event is
    // read by the member of its type, and each starts out empty.
    struct {
        KEY_EVENT_RECORD KeyEvent{};
        WINDOW_BUFFER_SIZE_RECORD WindowBufferSizeEvent{};
    } Event;
} INPUT_RECORD;

HANDLE GetStdHandle(DWORD which);
BOOL SetStdHandle(DWORD which, HANDLE handle);
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
BOOL SetConsoleMode(HANDLE console, DWORD mode);
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info);
BOOL GetConsoleCursorInfo(HANDLE console, CONSOLE_CURSOR_INFO* info);
BOOL SetConsoleCursorInfo(HANDLE console, const CONSOLE_CURSOR_INFO* info);
BOOL SetConsoleCursorPosition(HANDLE console, COORD position);
BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes);
BOOL WriteConsoleA(HANDLE console, const void* buffer, DWORD count, LPDWORD written,
                   void* reserved);
// Moves a rectangle of cells to another origin.  Only cells inside the clip
// rectangle (the whole buffer without one) change; those of the moved
// rectangle that nothing covers take the fill.
BOOL ScrollConsoleScreenBufferA(HANDLE console, const SMALL_RECT* scroll, const SMALL_RECT* clip,
                                COORD destination, const CHAR_INFO* fill);
BOOL PeekConsoleInputA(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count);
BOOL ReadConsoleInputA(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count);
// The wide calls: the same events, and from the first call on also the
// characters that code page 437 lacks.
BOOL PeekConsoleInputW(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count);
BOOL ReadConsoleInputW(HANDLE console, INPUT_RECORD* buffer, DWORD length, LPDWORD count);
BOOL GetKeyboardLayoutNameA(char* name);
// Waits until the console input has an event (or the time is up).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// Kernel: millisecond tick.
DWORD GetTickCount();

// Runtime console functions: key waiting, key read, bell.
int _kbhit();
int _getch();
int _putch(int c);

// ---------------------------------------------------------------------------
// The stand-in's own parts.  A console handle points to a ConsoleObject: the
// process's console (standard output and input) or one that a test made.

class ConsoleOutput;

class ConsoleObject {
public:
    virtual ~ConsoleObject() = default;
    // The screen buffer behind a handle, or null.  Every drawing call asks,
    // so it is answered without a cast.
    virtual ConsoleOutput* output() { return nullptr; }
};

struct ConsoleCell {
    unsigned char character = ' ';
    WORD attributes = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
    bool operator==(const ConsoleCell&) const = default;
};

// A console screen buffer: what the console API calls change.
class ConsoleOutput : public ConsoleObject {
public:
    ConsoleOutput(int columns, int rows);
    ConsoleOutput* output() override { return this; }

    int columns() const { return width; }
    int rows() const { return height; }
    ConsoleCell& at(int x, int y) { return cells[rowStart[y] + x]; }
    const ConsoleCell& at(int x, int y) const { return cells[rowStart[y] + x]; }
    // Every cell, row by row from the top.
    std::vector<ConsoleCell> snapshot() const;
    // Bytes at the cursor with the current attributes; every byte is a glyph.
    void writeText(const char* bytes, DWORD count);
    bool moveCursor(COORD position);
    bool scrollRectangle(SMALL_RECT scroll, const SMALL_RECT* clip, COORD destination, ConsoleCell fill);
    // A new size, as a console window takes it: the cells from the top left
    // stay, new ones are blank, the cursor is kept inside.
    void resize(int columns, int rows);

    COORD cursor{0, 0};
    CONSOLE_CURSOR_INFO cursorInfo{25, TRUE};
    WORD attributes = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
    DWORD mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    // Something changed since the last frame.
    bool changed = false;
    // The next frame rings the bell.
    bool bell = false;

private:
    void scrollUp();
    // Moves whole rows by changing which storage row each one uses.
    void moveRows(int top, int bottom, int dy);
    // The rectangle cut to the buffer; false when nothing of it is left.
    bool clipToBuffer(SMALL_RECT& rect) const;
    void fillSpan(int y, int from, int to, ConsoleCell fill);
    int width;
    int height;
    // The cells of row y start at cells[rowStart[y]]: whole rows move by
    // turning the table instead of copying their cells.
    std::vector<ConsoleCell> cells;
    std::vector<size_t> rowStart;
    std::vector<size_t> previousStart;
};

// Brings a terminal up to date with a console screen buffer: each frame is
// the difference between the buffer and what the terminal already shows.
class ConsoleRenderer {
public:
    explicit ConsoleRenderer(bool utf8) : utf8(utf8) {}

    // The bytes of the next frame (empty when the terminal is up to date);
    // the renderer then takes the terminal to show the buffer.
    std::string frame(ConsoleOutput& buffer);
    // The whole screen goes out again with the next frame (something else
    // wrote to the terminal, or its size changed).
    void repaintAll() { shownValid = false; }
    // Cells beyond this size are not drawn (the terminal is smaller).
    void clipTo(int columns, int rows);
    // The bytes that give the terminal back as it was found.
    std::string leave() const;
    bool utf8Terminal() const { return utf8; }
    // A code page 437 character as this terminal shows it.
    void appendGlyph(std::string& out, unsigned char character) const;

    bool started = false;

private:
    void paintRow(const ConsoleOutput& buffer, int y, bool everything, std::string& out);
    void paintCell(const ConsoleCell& cell, std::string& out);
    void moveTo(int x, int y, std::string& out);
    void showCursor(const ConsoleOutput& buffer, std::string& out);

    bool utf8;
    int clipColumns = 0x7FFF;
    int clipRows = 0x7FFF;
    std::vector<ConsoleCell> shown;
    bool shownValid = false;
    int shownColumns = 0;
    // The terminal's cursor and colours while a frame is built; -1 unknown.
    int terminalX = -1;
    int terminalY = -1;
    int terminalAttributes = -1;
    bool cursorShown = true;
    bool blockShown = false;
    bool shapeChanged = false;
};

// Which character a key press types, as the console adapter translates it:
// the key decoder reads it backwards to find the key for a character.
using KeyTranslation = std::function<int(WORD virtualKey, DWORD controlKeyState)>;

// Turns the bytes a terminal sends for keys into console key events (down,
// then up).  It sees input in pieces: an unfinished sequence is held until
// the rest arrives, or until flush says that no more is coming.
class KeyDecoder {
public:
    explicit KeyDecoder(bool utf8) : utf8(utf8) {}

    void setLayout(const KeyTranslation& translation);
    void feed(const char* bytes, size_t count, std::deque<INPUT_RECORD>& events);
    // Decodes what is held as it stands (a lone ESC is the Escape key).
    void flush(std::deque<INPUT_RECORD>& events);
    bool holding() const { return !held.empty(); }

    enum class Answer { Complete, Partial, NotMine };

    // A key as the console reports it.
    struct Stroke {
        WORD virtualKey = 0;
        DWORD state = 0;
        unsigned char character = 0;
        // The character as typed, when it is not the code page byte's.
        char32_t unicode = 0;
    };

    // The console is read with the wide calls: a character that code page
    // 437 lacks comes too, alone (VK_PACKET) with no code page byte.
    void keepEveryCharacter() { everyCharacter = true; }

private:
    void decode(bool final, std::deque<INPUT_RECORD>& events);
    Answer decodeKey(size_t start, bool final, size_t& used, std::vector<Stroke>& keys) const;
    Answer decodeEscape(size_t start, bool final, size_t& used, std::vector<Stroke>& keys) const;
    Answer decodeSequence(size_t start, bool final, size_t& used, std::vector<Stroke>& keys) const;
    Answer decodeCharacter(size_t start, bool final, size_t& used, std::vector<Stroke>& keys) const;
    // The key that types a code page character on the layout, or the
    // character alone (VK_PACKET) when no key of the layout types it; false
    // for a control character that no key types.
    bool typing(unsigned char character, Stroke& key) const;
    static bool controlKey(unsigned char byte, Stroke& key);

    bool utf8;
    bool everyCharacter = false;
    std::string held;
    // For each code page byte, the key that types it; virtualKey 0 = none.
    std::vector<Stroke> layout;
};

// The console's input: key events decoded from a terminal descriptor, or
// queued by a test.
class ConsoleInput : public ConsoleObject {
public:
    ConsoleInput(int fd, bool utf8) : fd(fd), decoder(utf8) {}

    // Reading the process's own input takes the terminal's keys.
    void listen();
    // Decodes what the descriptor holds, without waiting; a sequence held
    // longer than the escape time is taken as it stands.
    void pump();
    // Reports a new size of the console's buffer, when the mode asks for it.
    void queueResize(COORD size);
    // Waits up to the given time (-1: no limit) for an event; with
    // alsoWatched, input on a watched descriptor ends the wait as well.
    bool wait(int milliseconds, bool alsoWatched);

    int fd;
    DWORD mode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT;
    KeyDecoder decoder;
    std::deque<INPUT_RECORD> events;
    // The descriptor is read (the process's own only once the program has
    // taken its keys).
    bool listening = true;
    // The descriptor reached its end (the process's own input ends the run).
    bool ended = false;
    bool endsRun = false;

private:
    void readAvailable();
    int64_t heldSince = 0;
};

// The process's console and its terminal (console_render.cpp).
ConsoleOutput& processConsoleOutput();
ConsoleInput& processConsoleInput();
// After the terminal changed size: the process's console takes it (within
// its limits) and reports it to the program as an input event.
void followTerminalSize();
// Sends a frame of the process's console: at once when forced (the program
// is about to wait), otherwise at most every frame interval.
void renderConsole(bool force);
// Puts the terminal's input in raw mode, with or without signals from keys;
// from then on every way out restores the terminal.
void takeTerminalInput(bool signalsFromKeys);
// A monotonic clock in milliseconds.
int64_t consoleClock();
// Descriptors whose input ends the idle wait (console_runtime.cpp).
const std::vector<int>& watchedDescriptors();
