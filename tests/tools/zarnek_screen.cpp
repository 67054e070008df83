// zarnek-screen: feeds a byte stream (a file, or standard input) to a fresh
// session as received data and prints the resulting screen, the cursor and
// the replies owed to the host, in a form that scripts can compare.
//
//   zarnek-screen [-a|-v|-x|-t] [--rows R] [--cols C] [--attrs] [--status] [file]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/console.h"
#include "terminal_harness.h"
#include "text/cp437.h"

namespace {

struct ScreenOptions {
    Emulation emulation = XTERM;
    int consoleRows = 25;
    int consoleCols = 80;
    bool attrs = false;   // one "attrs" line per row
    bool status = false;  // the "status" line
    std::string inputPath;  // empty: standard input
};

struct ScreenResult {
    std::string dump;
    // The stream made the terminal wait for a key, which nobody types here;
    // the dump shows the screen at that moment.
    bool waitedForKey = false;
    // Empty when the console shows exactly the screen's cells.
    std::string drift;
};

// The UTF-8 text of code page 437 bytes, the console's own glyphs: the
// control bytes 0x00..0x1F and 0x7F have glyphs too (0x00 is blank).
std::string cp437ToUtf8(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) appendCp437AsUtf8(text, c);
    return text;
}

// Console sizes the tool accepts.
constexpr int MIN_CONSOLE_SIZE = 2;
constexpr int MAX_CONSOLE_SIZE = 1000;

bool parseSize(const std::string& text, int& value) {
    char* end = nullptr;
    long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number < MIN_CONSOLE_SIZE || number > MAX_CONSOLE_SIZE)
        return false;
    value = static_cast<int>(number);
    return true;
}

// The emulation options of the program's own command line.
bool parseEmulation(const std::string& arg, Emulation& emulation) {
    if (arg.size() != 2 || arg[0] != '-') return false;
    switch (arg[1] | 0x20) {
    case 'a':
        emulation = SCOANSI;
        return true;
    case 'v':
        emulation = VT100;
        return true;
    case 'x':
        emulation = LINUX;
        return true;
    case 't':
        emulation = XTERM;
        return true;
    default:
        return false;
    }
}

std::string hex(const unsigned char* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; i++) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

std::string dumpScreen(const Screen& screen, const std::string& replies,
                       const ScreenOptions& options) {
    std::string dump;
    std::vector<unsigned char> characters(screen.cols), attributes(screen.cols);
    std::string attrLines;
    for (int r = 0; r < screen.rows; r++) {
        for (int c = 0; c < screen.cols; c++) {
            Cell cell = screen.cells[r * screen.cols + c];
            characters[c] = cell & 0xFF;
            attributes[c] = cell >> 8;
        }
        dump += cp437ToUtf8(std::string(characters.begin(), characters.end())) + "\n";
        attrLines += "attrs " + hex(attributes.data(), attributes.size()) + "\n";
    }
    dump += "cursor " + std::to_string(screen.cursor / screen.cols) + " " +
            std::to_string(screen.cursor % screen.cols) + "\n";
    dump += "replies " +
            hex(reinterpret_cast<const unsigned char*>(replies.data()), replies.size()) + "\n";
    if (options.attrs) dump += attrLines;
    if (options.status) {
        const std::vector<char>& text = screen.statusText;
        dump += "status " + cp437ToUtf8(std::string(text.data(), strnlen(text.data(), text.size()))) +
                "\n";
    }
    return dump;
}

// Parses the tool's arguments (without the program name).  On failure returns
// false with a message in error.
bool parseScreenOptions(const std::vector<std::string>& args, ScreenOptions& options,
                        std::string& error) {
    bool haveInput = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& arg = args[i];
        if (arg == "--rows" || arg == "--cols") {
            int& size = arg == "--rows" ? options.consoleRows : options.consoleCols;
            if (i + 1 == args.size() || !parseSize(args[i + 1], size)) {
                error = arg + " needs a number from " + std::to_string(MIN_CONSOLE_SIZE) + " to " +
                        std::to_string(MAX_CONSOLE_SIZE);
                return false;
            }
            i++;
        } else if (arg == "--attrs") {
            options.attrs = true;
        } else if (arg == "--status") {
            options.status = true;
        } else if (parseEmulation(arg, options.emulation)) {
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (haveInput) {
            error = "more than one input file";
            return false;
        } else {
            haveInput = true;
            options.inputPath = arg == "-" ? std::string() : arg;
        }
    }
    return true;
}

// Opens session 0 as start-up does, then feeds the input as received data.
ScreenResult runScreen(const ScreenOptions& options, const std::string& input) {
    auto harness = std::make_unique<TerminalHarness>(options.emulation, options.consoleRows,
                                                     options.consoleCols);
    Terminal& terminal = harness->terminal;
    // Sessions report themselves open, so no first-data line is shown.
    harness->device.alwaysOpen = true;
    // A stream that starts a transparent print must not reach a real printer.
    terminal.setPrinter("nul");

    ScreenResult result;
    std::string replies;
    try {
        harness->open(0);
        harness->takeReplies();
        for (size_t at = 0; at < input.size(); at += IO_BLOCK_SIZE)
            harness->device.pushData(input.substr(at, IO_BLOCK_SIZE));
        char buffer[IO_BLOCK_SIZE];
        int n;
        while ((n = terminal.readDevice(buffer, IO_BLOCK_SIZE)) > 0) {
            terminal.feedBytes(buffer, n);
            replies += harness->takeReplies();
        }
    } catch (const NoMoreKeys&) {
        result.waitedForKey = true;
    }
    if (TerminalHarness::shown(terminal) == nullptr) return result;
    replies += harness->takeReplies();
    result.dump = dumpScreen(harness->screen(), replies, options);
    ::testing::AssertionResult match = cellsMatch(terminal, harness->adapter);
    if (!match) result.drift = match.message();
    return result;
}

constexpr const char* USAGE =
    "usage: zarnek-screen [-a|-v|-x|-t] [--rows R] [--cols C] [--attrs] [--status] [file]\n";

bool readInput(const std::string& path, std::string& input) {
    if (path.empty()) {
        std::ostringstream bytes;
        bytes << std::cin.rdbuf();
        input = bytes.str();
        return !std::cin.bad();
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    input.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

}  // namespace

int main(int argc, char** argv) {
    ScreenOptions options;
    std::string error;
    if (!parseScreenOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "zarnek-screen: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    std::string input;
    if (!readInput(options.inputPath, input)) {
        std::fprintf(stderr, "zarnek-screen: cannot read %s\n",
                     options.inputPath.empty() ? "standard input" : options.inputPath.c_str());
        return 1;
    }
    ScreenResult result = runScreen(options, input);
    std::fwrite(result.dump.data(), 1, result.dump.size(), stdout);
    if (!result.drift.empty())
        std::fprintf(stderr, "zarnek-screen: the console differs from the screen: %s\n",
                     result.drift.c_str());
    if (result.waitedForKey) {
        std::fprintf(stderr, "zarnek-screen: the stream made the terminal wait for a key\n");
        return 1;
    }
    return result.drift.empty() ? 0 : 1;
}
