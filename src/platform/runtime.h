// Stand-ins for the runtime's file, temporary-name and printer services.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// Low-level file descriptors under the runtime's own names, so that the
// capture and replay code reads the same on every platform.  The flag values
// are the runtime's; _open translates them.
#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_APPEND 0x0008
#define _O_CREAT 0x0100
#define _O_BINARY 0x8000

// Returns a descriptor, or -1.  mode gives the permission bits of a file
// that _O_CREAT creates.
int _open(const char* path, int flags, int mode = 0);
// Both return the number of bytes moved, 0 at end of file, -1 on failure; a
// call interrupted by a signal is carried out, not reported as a failure.
int _read(int fd, void* buffer, unsigned count);
int _write(int fd, const void* buffer, unsigned count);
int _close(int fd);

// A printer by its name: "nul" is the null device, "prn" and "lpt1".."lpt9"
// the parallel ports, a name that starts with '|' a command that receives the
// data on its standard input, any other name a file appended to.  Returns
// null when it cannot be opened.
FILE* openPrinter(const char* name);
// Closes a stream of openPrinter (waiting for a printer command to finish)
// or any other stream.
void closePrinter(FILE* stream);

// Creates a new empty file for spooling and stores its name; false when
// none could be created.  The file does not outlive the program: one not
// removed with removeTemporary goes on every way out.
bool temporaryName(char* name, size_t size);
void removeTemporary(const char* name);
// For a signal that ends the program: removes the temporary files left and
// closes the pipes of the printer commands, so that each gets its end of
// input.  Safe inside a signal handler.
void releaseOnSignal();

// Copies a file to a printer byte for byte, with no output on the console.
bool copyToPrinter(const char* path, const char* printer);

// Writes a message straight to standard output over the console as it
// stands now, so that it stays in view while the program waits for a key;
// consoleTextWritten then has the console drawn again over it.
void printOverConsole(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The lines to show below the command that started the program once the
// terminal is given back (the last screen of a session its host ended).
void leaveInView(const std::vector<std::string>& lines);
