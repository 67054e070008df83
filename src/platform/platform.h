// The platform contract: the Win32 names the program is written against, and
// the services of our own that every platform provides.  The build puts one
// side's folder on the include path: windows/ (the real console, Windows
// Sockets and C runtime) or posix/ (stand-ins over a Unix terminal and BSD
// sockets).  Nothing that includes this header knows which one it got.
#pragma once
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "win32.h"

// Printers and spooling.

// A printer by its name: "nul" is the null device, "prn" and "lpt1".."lpt9"
// the parallel ports, a name that starts with '|' a command that receives the
// data on its standard input (its own output goes nowhere), any other name a
// file appended to.  The stream passes every byte unchanged.  Returns null
// when the printer cannot be opened.
FILE* openPrinter(const char* name);
// Closes a stream of openPrinter (waiting for a printer command to finish)
// or any other stream.
void closePrinter(FILE* stream);
// Creates a new empty file for spooling and stores its name; false when
// none could be created (or its name does not fit).
bool temporaryName(char* name, size_t size);
// Removes a file of temporaryName.  One not removed this way goes on every
// way out of the program: it never outlives the run.
void removeTemporary(const char* name);
// Copies a file to a printer byte for byte, inside the program: no command
// processor, no output on the console.
bool copyToPrinter(const char* path, const char* printer);

// The console around the program's own drawing.

// Writes a message over the console as it stands now, so that it stays in
// view while the program waits for a key; consoleTextWritten then brings the
// console back as it was drawn.
void printOverConsole(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Text was written straight to standard output (usage, a trace, an error):
// whatever it covered of the console is shown again with the next drawing.
void consoleTextWritten();
// The program is about to block outside the console (name resolution, a
// connection): what was drawn is brought into view first.
void consoleBeforeBlocking();
// The lines to show below the command that started the program once the
// console is given back (the last screen of a session its host ended).  A
// console that keeps its screen after the program shows them already.
void leaveInView(const std::vector<std::string>& lines);
// Which key code a key press gives, as the console adapter translates it.  A
// console that receives characters instead of keys reads it backwards to find
// the key that types a character; an empty translation forgets it.
void setConsoleKeyTranslation(HANDLE input,
                              const std::function<int(WORD virtualKey, DWORD controlKeyState)>& translation);

// Waiting.

// The main loop's idle wait: returns after the given time, or at once when
// the console has input or a watched socket has data (or was closed).
void idleWait(DWORD milliseconds);
// The sockets whose data ends the idle wait (the shown session's).
void watchSocket(SOCKET s);
void unwatchSocket(SOCKET s);
