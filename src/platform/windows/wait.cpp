// The main loop's idle wait: the console input handle, and one event that
// the watched sockets signal when data or the end of the connection comes.
// Event selection is Windows Sockets 2; the rest of the program sees 1.1.
#include <winsock2.h>

#include "platform/platform.h"

namespace {

HANDLE socketEvent = WSA_INVALID_EVENT;

}  // namespace

void idleWait(DWORD milliseconds) {
    HANDLE handles[2];
    DWORD count = 0;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    // Only a console signals input that is there to read; a file or a pipe
    // behind standard input would end every wait at once.
    if (GetConsoleMode(input, &mode)) handles[count++] = input;
    if (socketEvent != WSA_INVALID_EVENT) handles[count++] = socketEvent;
    if (count == 0) {
        Sleep(milliseconds);
        return;
    }
    WaitForMultipleObjects(count, handles, FALSE, milliseconds);
    // Reading the socket re-arms it: data that is still unread after the
    // next read signals again.
    if (socketEvent != WSA_INVALID_EVENT) WSAResetEvent(socketEvent);
}

void watchSocket(SOCKET s) {
    if (socketEvent == WSA_INVALID_EVENT) socketEvent = WSACreateEvent();
    // Selecting events keeps the socket non-blocking, as the Telnet device
    // has it anyway.  Data that is already waiting signals at once.
    WSAEventSelect(s, socketEvent, FD_READ | FD_CLOSE);
}

void unwatchSocket(SOCKET s) { WSAEventSelect(s, nullptr, 0); }
