// The one Terminal of a run: sessions and their screens, the main loop that
// moves bytes between the device, the interpreter and the console, key
// dispatch and hot keys, and the features around the emulation.  Every
// interpreter, drawing and hot-key operation acts on currentScreen.
//
// The public operations are those the rest of the program and the parser
// states stored in each Screen call; the helpers behind them are private.
#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backend/adapter.h"
#include "backend/device.h"
#include "screen/screen.h"
#include "terminal/print.h"
#include "types.h"

constexpr int MAX_SESSIONS = 10;
constexpr int LOCAL_SESSION = 10;
constexpr int SCREEN_SLOTS = 11;
constexpr int IO_BLOCK_SIZE = 1024;
constexpr int TEXT_BUFFER_SIZE = 256;
constexpr int PRINTER_NAME_SIZE = 64;
// A longer run of printed characters is drawn in pieces.
constexpr int PRINT_RUN_LIMIT = 256;

// Key numbers of the function-key table: entry i is the scan code of key i.
extern const unsigned char KEY_SCANCODES[KEY_COUNT];

constexpr const char* CAPTURE_FILE = "zarnek.cap";
constexpr int STATUS_ATTRIBUTE = 0x0B;
constexpr unsigned char RULE_CHARACTER = 0xC4;

class Terminal {
public:
    Terminal(Adapter* adapter, Device* device, Emulation emulation, int selectPrinter,
             int doubleBuffer);
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    ~Terminal();

    // Device I/O, the byte feed, the key queue and the main loop (terminal.cpp).
    int readDevice(char* buffer, int max);
    void writeDevice(const char* bytes, int count);
    void feedBytes(const char* bytes, int count);
    void feedByte(int byte);
    // What the host sent, as feedBytes; from a UTF-8 host, decoded first.
    void receiveBytes(const char* bytes, int count);
    // The host speaks UTF-8 (--utf8): what it sends is decoded to code page
    // 437, and text for it is encoded as UTF-8.
    void setUtf8Host(bool on) { utf8Host = on; }
    void queueKey(int byte);
    void queueString(const char* text);
    int pollKeys();
    int getKey();
    void closeSession();
    int switchToLastSession();
    void run();
    // Follows the console's new size (the adapter's rows and columns): every
    // screen takes it, the current one is repainted, and the device tells the
    // hosts that asked to be told.
    void resize();
    // When the session closed last was ended by its host: the rows of its
    // screen down to the last one with text, without trailing blanks, for
    // start-up to leave in view after the run.
    const std::optional<std::vector<std::string>>& lastWords() const { return lastWords_; }

    // Key dispatch and hot keys (keyboard.cpp).
    void dispatchKey();
    void pasteCopyBuffer();
    void setSwitch(int on);

    // Sessions (sessions.cpp).
    void openSession(int n);
    void showSession(int n);
    void leaveSession(int n);
    int switchSession(int n);
    void connectSession(int n);
    const char* emulationName() const;

    // Status line and status page (status.cpp).
    void drawStatusLine();
    void setStatus(const char* format, ...) ZARNEK_PRINTF(2, 3);
    void showStatusPage();

    // Transparent printing and print screen (printer.cpp).
    void setPrinter(const char* name);
    void startPrint();
    void statePrint(int byte);
    void spoolByte(int byte);
    void endPrint();
    void editPrinterName(char* name);
    void printScreen();

    // Capture, replay and screen copy (capture.cpp).
    void toggleCapture();
    void startReplay();
    void copyRegion();

    // Parser states, controls and ESC sequences (emulation/parser.cpp).
    void stateGround(int byte);
    void stateEscape(int byte);
    void stateCharset(int byte);
    void stateKeyNumber(int byte);
    void stateKeyText(int byte);
    void putCharacter(int byte);
    void lineFeed();
    void carriageReturn();
    void backspace();
    void horizontalTab();
    void startSequence();
    bool collectParameter(int byte);

    // CSI dispatch (emulation/csi.cpp).
    void stateCsi(int byte);

    // Renditions, private and SCO modes (emulation/modes.cpp).
    void applyRenditions();
    void selectRendition(int value);
    void stateCsiPrivate(int byte);
    void stateCsiEquals(int byte);

    // Attribute and cursor operations on the current screen, and the drawing
    // operations (screen/drawing.cpp).
    void computeAttribute();
    void syncAttribute();
    void placeCursor();
    void cursorOff();
    void cursorOn();
    void fillCells(int position, int character, int n);
    void eraseBlock(int row, int column, int lines, int count);
    void paintCells(int position, int n, const Cell* source);
    void moveCells(int source, int destination, int n);
    void scrollUp(int n);
    void scrollDown(int n);
    void deleteCells(int offset, int n, int lineOnly);
    void insertCells(int offset, int n, int lineOnly);
    void clearScreen();

private:
    // The tests' harness looks at the state below, and the error box waits
    // for a whole key press.
    friend struct TerminalHarness;
    friend void terror(const char* format, ...);

    // terminal.cpp
    void reportFirstData(int session);
    // Hands a block to interpretBlock between hiding and showing the cursor.
    void feedWith(void (Terminal::*interpretBlock)(const char*, int), const char* bytes, int count);
    void interpret(const char* bytes, int count);
    void interpretUtf8(const char* bytes, int count);
    void receiveUtf8Byte(unsigned char byte);
    // Code page 437 text as the host is to be sent it.
    std::string forHost(std::string_view text) const;
    // Ends the drawing bracket that feedBytes began on this screen.
    void endFeed(Screen* screen);
    // Queues the bytes of one key press, which a prompt takes as one answer;
    // with keepAll, what does not fit in the key ring waits behind it.
    void queueKeyPress(const unsigned char* bytes, int count, bool keepAll = false);
    // The first byte of the next key press; the rest of that key press is
    // dropped, later key presses stay queued.
    int getWholeKey();
    // Before the current session closes: its screen's text becomes the last
    // words when its host ended it, nothing when the user did.
    void keepLastWords();
    bool sendKeys(char* buffer);
    // The sizes, the copy buffer (keeping its text as far as it fits) and the
    // scratch cells from the adapter's rows and columns.
    void takeAdapterSize();
    // A new console size: followed at once, or by the main loop when it came
    // inside the interpreter, whose operations may be waiting for keys (a
    // Scroll Lock hold, the printer dialog) with positions of the old size
    // in hand.
    void noteResize();
    // A key for a wait that reads the console itself; a new size on the way
    // is noted and the wait goes on.
    int readOwnKey();
    void ringBell();

    // keyboard.cpp
    // The first key number produced by a scan code, or -1.
    static int keyNumber(int scanCode);
    // Acts on a hot key; false when the code is not one (plain Insert included).
    bool dispatchHotKey(int code);
    // Queues the current screen's definition of the key, or 0xE0 and the scan
    // code for a key without a key number.
    void sendFunctionKey(int scanCode);
    // A typed character: a code page 437 byte below 256, a Unicode
    // character from KEY_CHARACTER up.
    void sendCharacter(int code);

    // sessions.cpp
    void writeBanner(int n);
    // Draws the current screen and its status line whole.
    void repaintScreen();
    void loadKeyDefinitions();
    // The key that answers a prompt (the first byte of a whole key press
    // queued on the session that shows it), or -1 once a hot key has shown a
    // session meanwhile.
    int promptKey();

    // status.cpp
    bool statusLinePresent() const;
    void writeStatusPage();
    void writeSessionLine(int session, time_t now);

    // printer.cpp
    bool openPrintStream(Screen& screen);
    void printerFailed(const char* name);
    // Closes a screen's print stream without printing more; for a session
    // that is destroyed in the middle of a print session.
    void closePrintStream(Screen* screen);

    // capture.cpp
    void showSelection(const std::vector<Cell>& original, int anchor, int cursor);

    // emulation/parser.cpp
    // Draws a character at the cursor, whatever its value.
    void drawCharacter(int byte);
    // A character a UTF-8 host sent: shown, never acted on.
    void showGlyph(int byte);
    void appendTitle(int byte);
    // Prints the leading bytes that are plain characters of the cursor row
    // at once; returns how many it took (none when fewer than two).  For a
    // UTF-8 host only printable ASCII is plain: every other byte goes through
    // the decoder.
    int printRun(const char* bytes, int count, bool asciiOnly = false);
    void collectTitle(int byte);
    void showSequence(const char* introducer, int byte);

    // emulation/csi.cpp
    // The action of a sequence's final byte, kept apart from the parameter
    // bytes before it, which are many and cheap.
    ZARNEK_NOINLINE void finalCsi(int byte);
    void moveCursor(int row, int column, int64_t targetRow, int64_t targetColumn);
    void placeWithinScreen(int64_t row, int64_t column);
    void finishSequence(int row, int column);
    void eraseInDisplay(int row, int column);
    void eraseInLine(int row, int column);
    void eraseInRow(int row, int column, int count);
    void eraseCharacters(int count);
    bool spaceRowChangesNothing() const;
    void setScrollRegion(int64_t top, int64_t bottom);

    // emulation/modes.cpp: the answers owed to the host.
    void reportDeviceStatus(int row, int column);
    void reportDeviceAttributes();
    void reportTitle();
    void reportColors();

    std::vector<char> copyBuffer;    // cellCount + rows bytes, NUL-terminated text
    std::vector<Cell> scratchCells;  // cellCount cells
    Emulation emulation;
    int32_t doubleBuffer;
    int32_t selectPrinter;
    // The byte counters are wider than 32 bits so that a long session cannot
    // overflow them.
    int64_t bytesRead = 0;
    int64_t bytesWritten = 0;
    Screen* currentScreen = nullptr;
    Screen* screens[SCREEN_SLOTS] = {};
    time_t connectTime[SCREEN_SLOTS] = {};
    uint32_t connectTick[SCREEN_SLOTS] = {};
    uint32_t firstDataTick[SCREEN_SLOTS] = {};
    // Set when a timed connection attempt begins; the first data of that
    // connection then reports its delay.  A session that was open from the
    // start (the echo device) never reports one.
    bool firstDataPending[SCREEN_SLOTS] = {};
    Adapter* adapter;
    Device* device;
    bool utf8Host = false;
    int32_t switchEnabled = 1;
    int32_t closePending = 0;
    // The device reported the end of the current session's connection.
    bool endedByHost = false;
    std::optional<std::vector<std::string>> lastWords_;
    // Counts showSession calls, so a wait can tell that a hot key showed a
    // session while it waited.
    uint32_t sessionsShown = 0;
    // A new console size waits for the main loop; feedBytes calls in progress.
    bool resizePending = false;
    int32_t feeding = 0;
    int captureFd = -1;
    int replayFd = -1;
    int32_t rows;
    int32_t cols;
    int32_t cellCount;
    char printerName[PRINTER_NAME_SIZE] = "lpt1";
};

// The first Terminal constructed; the console print functions act on it.
extern Terminal* firstTerminal;
