// Stand-ins for the runtime's low-level file services.
#pragma once

// Low-level file descriptors under the runtime's own names, so that the
// capture and replay code reads the same on every platform.  The flag values
// are the runtime's; _open translates them.
#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_APPEND 0x0008
#define _O_CREAT 0x0100
#define _O_BINARY 0x8000
// Permissions of a file that _O_CREAT makes: readable and writable, which
// _open gives to everyone and to owner and group (before the umask).
#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080

// Returns a descriptor, or -1.  mode (_S_IREAD, _S_IWRITE) is for a file
// that _O_CREAT creates.
int _open(const char* path, int flags, int mode = 0);
// Both return the number of bytes moved, 0 at end of file, -1 on failure; a
// call interrupted by a signal is carried out, not reported as a failure.
int _read(int fd, void* buffer, unsigned count);
int _write(int fd, const void* buffer, unsigned count);
int _close(int fd);

// For a signal that ends the program: removes the temporary files left and
// closes the pipes of the printer commands, so that each gets its end of
// input.  Safe inside a signal handler.
void releaseOnSignal();
