// The Win32 names from the system's own headers: the console API, Windows
// Sockets 1.1, and the C runtime's console and low-level file functions.
// The build defines NOMINMAX and WIN32_LEAN_AND_MEAN for every file.
#pragma once

#include <windows.h>
#include <winsock.h>

#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
