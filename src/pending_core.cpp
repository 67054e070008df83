// TEMPORARY placeholder definitions owned by the 'core' work; deleted as the real ones land.
#include "backend/devecho.h"
#include "terminal/terminal.h"

int Terminal::readDevice(char*, int) { return 0; }
void Terminal::writeDevice(const char*, int) {}
void Terminal::feedBytes(const char*, int) {}
void Terminal::feedByte(int) {}
void Terminal::queueKey(int) {}
void Terminal::queueString(const char*) {}
int Terminal::pollKeys() { return 0; }
int Terminal::getKey() { return 0; }
void Terminal::closeSession() {}
int Terminal::switchToLastSession() { return -1; }
void Terminal::run() {}
Terminal::Terminal(Adapter* a, Device* d, Emulation e, int sp, int db) : emulation(e), doubleBuffer(db), selectPrinter(sp), adapter(a), device(d), rows(a->rows), cols(a->columns), cellCount(rows * cols) {}
Terminal::~Terminal() {}
Terminal* firstTerminal = nullptr;
void tputc(int) {}
void tprintf(const char*, ...) {}
void terror(const char*, ...) {}
void Terminal::computeAttribute() {}
void Terminal::syncAttribute() {}
void Terminal::placeCursor() {}
void Terminal::cursorOff() {}
void Terminal::cursorOn() {}
void Terminal::fillCells(int, int, int) {}
void Terminal::eraseBlock(int, int, int, int) {}
void Terminal::paintCells(int, int, const Cell*) {}
void Terminal::moveCells(int, int, int) {}
void Terminal::scrollUp(int) {}
void Terminal::scrollDown(int) {}
void Terminal::deleteCells(int, int, int) {}
void Terminal::insertCells(int, int, int) {}
void Terminal::clearScreen() {}
Screen::Screen(int r, int c) : rows(r), cols(c) {}
Screen::~Screen() {}
void Screen::resetParser() {}
void Screen::storeCells(int, int) {}
AttrState Screen::attrState() const { return savedAttrState; }
void Screen::setAttrState(const AttrState&) {}
int ansiToColor(int) { return 0; }
int colorToAnsi(int) { return 0; }
Adapter::Adapter() {}
const char* Adapter::name() { return ""; }
int Adapter::attribute() { return 0; }
void Adapter::setAttribute(int) {}
void Adapter::write(int, const char*, int) {}
int Adapter::keyReady() { return 0; }
int Adapter::readKey() { return 0; }
void Adapter::hideCursor() {}
void Adapter::showCursor() {}
void Adapter::blockCursor() {}
void Adapter::normalCursor() {}
unsigned Adapter::keyState() { return 0; }
int Device::isOpen(int) { return 1; }
void Device::leave(int) {}
int Device::open(int, const char*, int, int) { return 0; }
void Device::close(int) {}
const char* Device::name() { return ""; }
void Device::setProxy(const char*) {}
int DevEcho::read(char*, int) { return 0; }
int DevEcho::write(const char*, int c) { return c; }
const char* DevEcho::name() { return ""; }
#include "cmdline.h"
ParseResult parseCommandLine(int, char**, StartupSettings&) { return ParseResult::Usage; }
bool modeRunnable(const StartupSettings&) { return false; }
void writeUsage(FILE*) {}
void usage() { throw 0; }
