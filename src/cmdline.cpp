#include "cmdline.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

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

constexpr const char* HELP_OPTION = "--help";
constexpr const char* VERSION_OPTION = "--version";
constexpr const char* UTF8_OPTION = "--utf8";

// A name and what it does, a line of the full help.
struct HelpEntry {
    const char* name;
    const char* text;
};

constexpr HelpEntry LONG_OPTIONS[] = {
    {HELP_OPTION, "Display this help"},
    {VERSION_OPTION, "Display the version"},
    {UTF8_OPTION, "The host speaks UTF-8 (default: code page 437)"},
};

constexpr HelpEntry HOT_KEYS[] = {
    {"Alt+F1 ... Alt+F10", "Show session 1 ... 10, opening it if needed"},
    {"Ctrl+Alt+X", "Close the session (the last one ends the run)"},
    {"Ctrl+Alt+I", "Status page: console, device, printer, sessions"},
    {"Ctrl+Alt+P", "Print the screen"},
    {"Ctrl+Alt+C", "Capture on / off (appends to zarnek.cap)"},
    {"Ctrl+Alt+M", "Replay zarnek.cap into the session"},
    {"Ctrl+Insert", "Copy a rectangle: Enter at each corner"},
    {"Shift+Insert", "Paste the copied text as typed input"},
    {"Alt+letter", "Types ESC and the capital letter"},
    {"F1-F12, editing keys", "Send the emulation's definitions"},
};

template <size_t N>
void writeEntries(FILE* out, const char* title, const HelpEntry (&entries)[N]) {
    std::fprintf(out, "\n%s :\n", title);
    for (const HelpEntry& entry : entries) std::fprintf(out, "\t%-24s%s\n", entry.name, entry.text);
}

// The usage text, then what it leaves out.  Plain ASCII: the console that
// shows it may have any code page.
void writeHelp(FILE* out) {
    writeUsage(out);
    writeEntries(out, "Long options", LONG_OPTIONS);
    writeEntries(out, "Hot keys", HOT_KEYS);
    std::fputs("\tIn a Unix terminal Alt comes as ESC first: Ctrl+Alt+X is ESC ^X.\n", out);
    std::fputs("\nThe manual: man zarnek (on Windows, zarnek.txt beside zarnek.exe)\n", out);
}

// Every argument that begins with "--", the lone "--" too: the one-letter
// parser never sees them.
bool isLongOption(const char* arg) { return arg[0] == '-' && arg[1] == '-'; }

// The long options may stand anywhere; the first that ends the run stops the
// parse before the one-letter options are looked at.
ParseResult takeLongOptions(int argc, char** argv, StartupSettings& settings) {
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (!isLongOption(arg)) continue;
        if (std::strcmp(arg, UTF8_OPTION) == 0) {
            settings.utf8 = true;
        } else {
            settings.endingOption = arg;
            return ParseResult::LongOption;
        }
    }
    return ParseResult::Run;
}

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
    if (takeLongOptions(argc, argv, settings) == ParseResult::LongOption) return ParseResult::LongOption;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        // An empty argument names no host; the long options are taken.
        if (arg[0] == '\0' || isLongOption(arg)) continue;
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

int answerLongOption(const char* option, FILE* out, FILE* err) {
    if (std::strcmp(option, HELP_OPTION) == 0) {
        writeHelp(out);
        return EXIT_SUCCESS;
    }
    if (std::strcmp(option, VERSION_OPTION) == 0) {
        std::fprintf(out, "ZARNEK %s\n", VERSION_TEXT);
        return EXIT_SUCCESS;
    }
    // Today's mistyped option would otherwise start a connection unnoticed.
    std::fprintf(err, "zarnek: unknown option %s (zarnek %s lists the options)\n", option, HELP_OPTION);
    return EXIT_FAILURE;
}
