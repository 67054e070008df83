// TEMPORARY placeholder definitions owned by the 'parser' work; deleted as the real ones land.
#include "backend/devecho.h"
#include "terminal/terminal.h"

void Terminal::stateGround(int) {}
void Terminal::stateEscape(int) {}
void Terminal::stateCharset(int) {}
void Terminal::stateKeyNumber(int) {}
void Terminal::stateKeyText(int) {}
void Terminal::putCharacter(int) {}
void Terminal::lineFeed() {}
void Terminal::carriageReturn() {}
void Terminal::backspace() {}
void Terminal::horizontalTab() {}
void Terminal::startSequence() {}
bool Terminal::collectParameter(int) { return false; }
void Terminal::stateCsi(int) {}
void Terminal::applyRenditions() {}
void Terminal::selectRendition(int) {}
void Terminal::stateCsiPrivate(int) {}
void Terminal::stateCsiEquals(int) {}
