// TEMPORARY placeholder definitions owned by the 'sessions' work; deleted as the real ones land.
#include "backend/devecho.h"
#include "terminal/terminal.h"

void Terminal::dispatchKey() {}
void Terminal::pasteCopyBuffer() {}
void Terminal::setSwitch(int) {}
void Terminal::openSession(int) {}
void Terminal::showSession(int) {}
void Terminal::leaveSession(int) {}
int Terminal::switchSession(int) { return -1; }
void Terminal::connectSession(int) {}
const char* Terminal::emulationName() const { return ""; }
const char* const BANNER = "ZARNEK Vers. 2.07";
const unsigned char KEY_SCANCODES[KEY_COUNT] = {};
const char* const KEY_LETTERS = "";
