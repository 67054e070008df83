// TEMPORARY placeholder definitions owned by the 'console' work; deleted as the real ones land.
#include "platform/win32.h"
#include "platform/wait.h"

DWORD GetTickCount() { return 0; }
void Sleep(DWORD) {}
int _kbhit() { return 0; }
int _getch() { return 0; }
int _putch(int c) { return c; }
void watchDescriptor(int) {}
void unwatchDescriptor(int) {}
void consoleTextWritten() {}
