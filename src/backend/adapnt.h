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
    // The key code of a character that the console reports itself: ASCII as
    // itself, anything else as KEY_CHARACTER plus its Unicode value; 0 for
    // the first half of a character beyond 16 bits, which waits for the
    // second.
    int typedCharacter(WCHAR character);
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
    // For a UTF-8 host: typed characters beyond ASCII come as KEY_CHARACTER
    // codes, read with the console's wide calls, which give every character
    // the user's keyboard types instead of its code page byte.
    bool unicodeKeys = false;
    WCHAR highSurrogate = 0;

private:
    void drawRows(int position, int count, const char* text, char ch);
};
