// The adapter for a Win32 text console: drawing, the cursor, and the
// keyboard with its own American and Italian tables.
#pragma once
#include <cstdint>

#include "backend/adapter.h"
#include "platform/platform.h"

constexpr int KEYBOARD_AUTOMATIC = 0;
constexpr int KEYBOARD_AMERICAN = 1;
constexpr int KEYBOARD_ITALIAN = 39;

class AdapNT : public Adapter {
public:
    AdapNT(int keyboardCode, int forceNumpad);
    ~AdapNT() override;

    const char* name() override;
    void setAttribute(int attr) override;
    void setCursor(int position) override;
    void write(int position, const char* text, int count) override;
    void fill(int position, char ch, int count) override;
    int keyReady() override;
    int readKey() override;
    void hideCursor() override;
    void showCursor() override;
    void blockCursor() override;
    void normalCursor() override;
    int moveBlock(int source, int destination, int count) override;
    // Reads the size of the console's screen buffer into rows and columns;
    // true when it changed.
    bool takeConsoleSize();

    // Keyboard (adapnt_keys.cpp).
    static int chooseKeyboardCode(int keyboardCode);
    int pollInputEvent();
    int translateKey(const KEY_EVENT_RECORD& event);
    // The KeyState word for a console control-key state.
    unsigned keyStateFor(DWORD controlKeyState) const;
    // The key code of a key press, given the KeyState word in force.
    int keyCode(int virtualKey, int scan, unsigned state) const;
    char decimalSeparator() const;

    CONSOLE_CURSOR_INFO cursorInfo{};  // cursor size and visibility
    int32_t keyboardCode;
    int32_t forceNumpad;
    HANDLE outputHandle;
    HANDLE inputHandle;
    DWORD savedOutputMode = 0;
    DWORD savedInputMode = 0;
    int32_t pendingKey = 0;

private:
    void drawRows(int position, int count, const char* text, char ch);
};
