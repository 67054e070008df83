#include "cmdline.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const char* const EMULATION_NAMES[] = {"SCOANSI", "VT100", "LINUX", "XTERM"};

// What the arguments after the program name set, as text: "usage" for help,
// the emulation, the mode and whether it can run, the keyboard code, the
// flags set and the texts given.  The texts point into the arguments, which
// are literals.
std::string parsed(std::vector<const char*> args) {
    args.insert(args.begin(), "zarnek");
    StartupSettings s;
    bool help = parseCommandLine(static_cast<int>(args.size()), const_cast<char**>(args.data()), s) ==
                ParseResult::Usage;
    std::string text = std::string(help ? "usage " : "") + EMULATION_NAMES[s.emulation] + " -m" +
                       std::string(s.mode != '\0', s.mode) + (modeRunnable(s) ? " runs" : "") + " -k" +
                       std::to_string(s.keyboardCode);
    for (auto [set, flag] : {std::pair{s.oneSession, " -1"}, {s.doubleBuffer, " -d"}, {s.forceNumpad, " -e"},
                             {s.selectPrinter, " -s"}})
        if (set != 0) text += flag;
    for (auto [value, option] : {std::pair{s.printer, " -p"}, {s.proxy, " -r"}, {s.host, " "}})
        if (value != nullptr) text += option + std::string(value);
    return text;
}

}  // namespace

TEST(CommandLine, LaterOptionsAndHostsWinUnknownOptionsAreIgnoredAndHelpStopsAtOnce) {
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{}, "XTERM -mT -k0"},
        {{"first", "second:2323", ""}, "XTERM -mT runs -k0 second:2323"},  // an empty argument names no host
        {{"-me", "-x", "-a"}, "SCOANSI -mE runs -k0"},
        {{"-ME", "-a", "-X"}, "LINUX -mE runs -k0"},
        {{"-mt", "h", "-a", "-v", "-t"}, "XTERM -mT runs -k0 h"},
        {{"-mq", "h", "-v"}, "VT100 -mQ -k0 h"},
        {{"-m", "h"}, "XTERM -m -k0 h"},
        {{"-z", "-2", "-", "-mE"}, "XTERM -mE runs -k0"},
        {{"-1", "-d", "-E", "-s", "-k39", "-plpt2", "-rproxy:3128"}, "XTERM -mT -k39 -1 -d -e -s -plpt2 -rproxy:3128"},
        {{"-k39", "-p", "-r", "-kabc"}, "XTERM -mT -k0 -p -r"},
        {{"-k39", "-k"}, "XTERM -mT -k0"},
        {{"-k99999999999999999999"}, "XTERM -mT -k2147483647"},
        // What comes before help counts, nothing after.
        {{"-a", "-me", "-h", "-v", "other"}, "usage SCOANSI -mE runs -k0"},
        {{"-H", "other"}, "usage XTERM -mT -k0"},
        {{"-?", "other"}, "usage XTERM -mT -k0"},
    };
    for (const auto& [args, settings] : cases) EXPECT_EQ(parsed(args), settings);
}

TEST(CommandLine, UsageTextByteForByte) {
    testing::internal::CaptureStdout();
    writeUsage(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string(BANNER) +
                  "\n\nProgram usage : ZARNEK [option(s))] [host[:port]]\n\n\thost\tName of the host\n"
                  "\t-h\tDisplay this message\n\t-kn\tKeyboard code (1 = usa,39 =italian,0 = auto)\n"
                  "\t-e\tForce numeric pad on (WIN95)\n\t-mx\tConnection mode :\n\t\tT = require host\n"
                  "\t\tE = echo\n\t-rproxy[:port][\tUse the specified proxy default port 8080\n"
                  "\t-pname\tDefine the printer device name\n\t-s\tSelect printer before any usage\n"
                  "\t-d\tPrint using double buffer\n\t-1\tEnable only one session\n"
                  "\t-a\tEnable SCOANSI emulation\n\t-v\tEnable VT100 emulation\n\t-x\tEnable LINUX emulation\n"
                  "\t-t\tEnable XTERM emulation (default)\n\n\tDefault options -t -k0 -plpt1 -mT\n");
    EXPECT_EQ(std::string(BANNER).rfind("ZARNEK Vers. 2.07", 0), 0u);
}

TEST(CommandLineDeathTest, UsageExitsWithStatusOne) { EXPECT_EXIT(usage(), ::testing::ExitedWithCode(1), ""); }
