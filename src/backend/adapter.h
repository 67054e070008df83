// The console seen by the Terminal: drawing at linear cell positions, the
// cursor, and the keyboard.  A concrete adapter sets rows and columns.
#pragma once
#include <cstdint>

// KeyCode values: 1..255 a character, scan * 256 an extended key,
// scan * 256 + 1 Ctrl+Alt+letter, and the two Scroll Lock codes.
constexpr int KEY_SCROLL_ON = 0xFF00;
constexpr int KEY_SCROLL_OFF = 0xFF01;

// KeyState bits.
constexpr unsigned KEYSTATE_CAPSLOCK = 0x01;
constexpr unsigned KEYSTATE_NUMLOCK = 0x02;
constexpr unsigned KEYSTATE_SHIFT = 0x04;
constexpr unsigned KEYSTATE_ALT = 0x08;
constexpr unsigned KEYSTATE_CTRL = 0x10;
constexpr unsigned KEYSTATE_RIGHTALT = 0x20;

constexpr int NORMAL_ATTRIBUTE = 7;

class Adapter {
public:
    Adapter();
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    // The virtual operations, in their fixed slot order.
    virtual const char* name();
    virtual int attribute();
    virtual void setAttribute(int attr);
    virtual void setCursor(int position) = 0;
    virtual void write(int position, const char* text, int count);
    virtual void fill(int position, char ch, int count) = 0;
    virtual int keyReady();
    virtual int readKey();
    virtual void hideCursor();
    virtual void showCursor();
    virtual void blockCursor();
    virtual void normalCursor();
    virtual unsigned keyState();
    // Moves count cells from source to destination as the console's own
    // operation (overlap-safe; the cells left behind keep what they show).
    // Returns 0 when this console cannot move that block: the Terminal then
    // repaints the destination cell by cell, as every adapter can.
    virtual int moveBlock(int source, int destination, int count);
    virtual ~Adapter() = default;

    int16_t rows = 0;
    int16_t columns = 0;
    // The fields behind attribute() and keyState().
    int32_t attribute_ = 0;
    uint32_t keyState_ = 0;
};
