// Arbitrary command lines through the parser and into the objects that keep
// their texts: the Telnet device's host and proxy, the printer name.
//
// Input: the arguments, separated by NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend/devtel.h"
#include "cmdline.h"
#include "terminal_harness.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "cmdline_fuzz: %s\n", what);
    std::abort();
}

// Texts of the settings point at the start or into one of the arguments.
bool pointsIntoArguments(const char* text, const std::vector<char*>& argv) {
    if (text == nullptr) return true;
    for (size_t i = 1; i < argv.size(); i++) {
        const char* arg = argv[i];
        if (text >= arg && text <= arg + std::strlen(arg)) return true;
    }
    return false;
}

// The copy of a text in a fixed buffer: terminated inside it, and the text's
// own beginning.
void checkCopy(const char* copy, size_t capacity, const char* text) {
    const void* end = std::memchr(copy, '\0', capacity);
    if (end == nullptr) fail("copy not terminated inside its buffer");
    size_t length = static_cast<const char*>(end) - copy;
    if (std::strncmp(copy, text, length) != 0 || (length < capacity - 1 && text[length] != '\0'))
        fail("copy differs from the text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{"zarnek"};
    std::string current;
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    args.push_back(current);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());

    StartupSettings settings;
    ParseResult result = parseCommandLine(argc, argv.data(), settings);
    if (result != ParseResult::Run && result != ParseResult::Usage && result != ParseResult::LongOption)
        fail("unknown result");
    if (settings.emulation < SCOANSI || settings.emulation > XTERM) fail("emulation out of range");
    if (!pointsIntoArguments(settings.host, argv) || !pointsIntoArguments(settings.printer, argv) ||
        !pointsIntoArguments(settings.proxy, argv) || !pointsIntoArguments(settings.endingOption, argv))
        fail("a text outside the arguments");
    if (result != ParseResult::Run || !modeRunnable(settings)) return 0;

    // What start-up hands on, in its order.
    DevTel device(settings.host);
    checkCopy(device.hostSpec, sizeof device.hostSpec, settings.host != nullptr ? settings.host : "");
    if (settings.proxy != nullptr) {
        device.setProxy(settings.proxy);
        checkCopy(device.proxyHost, sizeof device.proxyHost, settings.proxy);
    }
    if (settings.printer != nullptr) {
        TerminalHarness harness(settings.emulation, 25, 80, settings.selectPrinter,
                                settings.doubleBuffer);
        harness.terminal.setPrinter(settings.printer);
        checkCopy(harness.printerName(), PRINTER_NAME_SIZE, settings.printer);
    }
    return 0;
}
