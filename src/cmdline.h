// The command line: ZARNEK [option(s)] [host[:port]].
#pragma once
#include <cstdio>

#include "types.h"

// What the command line sets; the texts point into the argument vector.
struct StartupSettings {
    Emulation emulation = XTERM;
    int doubleBuffer = 0;
    int selectPrinter = 0;
    int oneSession = 0;
    int forceNumpad = 0;
    int keyboardCode = 0;
    char mode = 'T';
    const char* printer = nullptr;
    const char* proxy = nullptr;
    const char* host = nullptr;
};

enum class ParseResult {
    Run,    // settings filled; start-up checks the mode and host itself
    Usage,  // -h, -H or -?: show the usage text at once
};

ParseResult parseCommandLine(int argc, char** argv, StartupSettings& settings);

// True when the mode can run with the given host (echo, or telnet with a host).
bool modeRunnable(const StartupSettings& settings);

void writeUsage(FILE* out);
// Writes the usage text to standard output and ends the process with status 1.
[[noreturn]] void usage();
