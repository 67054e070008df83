// The Win32 names from the system's own headers: the console API, Windows
// Sockets 1.1, and the C runtime's console and low-level file functions.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winsock.h>

#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
