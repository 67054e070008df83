// Start-up: the command line, the console adapter, the device, the Terminal,
// the first session, the main loop, and the teardown.
#include "backend/adapnt.h"
#include "backend/devecho.h"
#include "backend/devtel.h"
#include "cmdline.h"
#include "terminal/terminal.h"

namespace {

// The connection device of the mode; a mode that cannot run shows the usage.
Device* createDevice(const StartupSettings& settings) {
    if (!modeRunnable(settings)) usage();
    if (settings.mode == 'E') return new DevEcho;
    auto* telnet = new DevTel(settings.host);
    if (settings.utf8) telnet->wantBinary();
    return telnet;
}

// A host that ended the run has its last screen and a closing line left in
// view below the command that started the program; a run the user ended
// leaves nothing behind.
void leaveLastWords(const Terminal& terminal, const StartupSettings& settings) {
    if (!terminal.lastWords()) return;
    std::vector<std::string> lines = *terminal.lastWords();
    std::string host = settings.host != nullptr ? settings.host : "";
    lines.push_back("Connection closed by " + host.substr(0, host.find(':')) + ".");
    leaveInView(lines);
}

}  // namespace

int main(int argc, char** argv) {
    StartupSettings settings;
    ParseResult parsed = parseCommandLine(argc, argv, settings);
    if (parsed == ParseResult::Usage) usage();
    if (parsed == ParseResult::LongOption) return answerLongOption(settings.endingOption, stdout, stderr);
    // The console is set up before the mode is looked at, so a bad mode is
    // reported on a console that is already set up.
    AdapNT adapter(settings.keyboardCode, settings.forceNumpad);
    adapter.unicodeKeys = settings.utf8;
    Device* device = createDevice(settings);
    {
        Terminal terminal(&adapter, device, settings.emulation, settings.selectPrinter,
                          settings.doubleBuffer);
        if (settings.printer != nullptr) terminal.setPrinter(settings.printer);
        if (settings.oneSession) terminal.setSwitch(0);
        terminal.setUtf8Host(settings.utf8);
        if (settings.proxy != nullptr) device->setProxy(settings.proxy);
        terminal.openSession(0);
        terminal.run();
        leaveLastWords(terminal, settings);
        // Torn down in this order: the device, the Terminal, the adapter.
        // No device session is left open, so the Terminal's destructor makes
        // no call on the device.
        delete device;
    }
    return 0;
}
