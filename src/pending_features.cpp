// TEMPORARY placeholder definitions owned by the 'features' work; deleted as the real ones land.
#include "backend/devecho.h"
#include "terminal/terminal.h"

void Terminal::drawStatusLine() {}
void Terminal::setStatus(const char*, ...) {}
void Terminal::showStatusPage() {}
void Terminal::setPrinter(const char*) {}
void Terminal::startPrint() {}
void Terminal::statePrint(int) {}
void Terminal::spoolByte(int) {}
void Terminal::endPrint() {}
void Terminal::editPrinterName(char*) {}
void Terminal::printScreen() {}
void Terminal::closePrintStream(Screen*) {}
void Terminal::toggleCapture() {}
void Terminal::startReplay() {}
void Terminal::copyRegion() {}
