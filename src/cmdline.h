// The command line: ZARNEK [option(s)] [host[:port]], with the long options
// (--help, --version, --utf8) taken before the one-letter ones.
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
    // --utf8: the host speaks UTF-8, decoded to code page 437 as it arrives,
    // and what is typed goes to it as UTF-8.
    bool utf8 = false;
    // The long option that ends the run at once (ParseResult::LongOption).
    const char* endingOption = nullptr;
};

enum class ParseResult {
    Run,    // settings filled; start-up checks the mode and host itself
    Usage,  // -h, -H or -?: show the usage text at once
    // --help, --version or an unknown long option, in settings.endingOption:
    // answerLongOption answers it and the run ends.
    LongOption,
};

ParseResult parseCommandLine(int argc, char** argv, StartupSettings& settings);

// True when the mode can run with the given host (echo, or telnet with a host).
bool modeRunnable(const StartupSettings& settings);

void writeUsage(FILE* out);
// Writes the usage text to standard output and ends the process with status 1.
[[noreturn]] void usage();

// Answers a long option that ends the run: the full help of --help or the
// version line of --version to out, a line that names any other to err.
// Returns the exit status.
int answerLongOption(const char* option, FILE* out, FILE* err);
