#include "cmdline.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

#include "platform/platform.h"

namespace {

const char* const USAGE_LINES[] = {
    "Program usage : ZARNEK [option(s))] [host[:port]]\n\n",
    "\thost\tName of the host\n",
    "\t-h\tDisplay this message\n",
    "\t-kn\tKeyboard code (1 = usa,39 =italian,0 = auto)\n",
    "\t-e\tForce numeric pad on (WIN95)\n",
    "\t-mx\tConnection mode :\n",
    "\t\tT = require host\n",
    "\t\tE = echo\n",
    "\t-rproxy[:port][\tUse the specified proxy default port 8080\n",
    "\t-pname\tDefine the printer device name\n",
    "\t-s\tSelect printer before any usage\n",
    "\t-d\tPrint using double buffer\n",
    "\t-1\tEnable only one session\n",
    "\t-a\tEnable SCOANSI emulation\n",
    "\t-v\tEnable VT100 emulation\n",
    "\t-x\tEnable LINUX emulation\n",
    "\t-t\tEnable XTERM emulation (default)\n",
    "\n\tDefault options -t -k0 -plpt1 -mT\n",
};

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// The leading decimal number of the text, 0 when there is none; a number too
// large for an int stops at the int's limit.
int decimalValue(const char* text) {
    long value = std::strtol(text, nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

// Applies one option; the value is the rest of the argument after the letter.
// Returns false for -h, -H and -?.
bool applyOption(char option, const char* value, StartupSettings& settings) {
    switch (upper(option)) {
        case '1': settings.oneSession = 1; break;
        case 'H':
        case '?': return false;
        case 'A': settings.emulation = SCOANSI; break;
        case 'D': settings.doubleBuffer = 1; break;
        case 'E': settings.forceNumpad = 1; break;
        case 'K': settings.keyboardCode = decimalValue(value); break;
        case 'M': settings.mode = upper(*value); break;
        case 'P': settings.printer = value; break;
        case 'R': settings.proxy = value; break;
        case 'S': settings.selectPrinter = 1; break;
        case 'T': settings.emulation = XTERM; break;
        case 'V': settings.emulation = VT100; break;
        case 'X': settings.emulation = LINUX; break;
        default: break;  // unknown options are ignored without a message
    }
    return true;
}

}  // namespace

ParseResult parseCommandLine(int argc, char** argv, StartupSettings& settings) {
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (arg[0] == '\0') continue;  // an empty argument names no host
        if (arg[0] != '-') {
            settings.host = arg;
        } else if (arg[1] != '\0' && !applyOption(arg[1], arg + 2, settings)) {
            return ParseResult::Usage;
        }
    }
    return ParseResult::Run;
}

bool modeRunnable(const StartupSettings& settings) {
    if (settings.mode == 'E') return true;
    return settings.mode == 'T' && settings.host != nullptr;
}

void writeUsage(FILE* out) {
    std::fprintf(out, "%s\n\n", BANNER);
    for (const char* line : USAGE_LINES) std::fputs(line, out);
}

void usage() {
    writeUsage(stdout);
    std::fflush(stdout);
    consoleTextWritten();
    std::exit(1);
}
