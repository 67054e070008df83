// The console seen by the Terminal: drawing at linear cell positions, the
// cursor, and the keyboard.  A concrete adapter sets rows and columns.
#pragma once
#include <cstdint>

#include "types.h"

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
