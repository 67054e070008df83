// The Win32 services the program uses.  On Windows they are the real ones;
// elsewhere small stand-ins of our own provide the same names.
#pragma once

#ifdef _WIN32
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <winsock.h>
#include <windows.h>
inline void consoleTextWritten() {}
inline void consoleBeforeBlocking() {}
#else
#include "platform/console.h"
#include "platform/runtime.h"
#include "platform/sockets.h"
#endif
