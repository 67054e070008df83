#include "cmdline.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const char* const EMULATION_NAMES[] = {"SCOANSI", "VT100", "LINUX", "XTERM"};

// What the arguments after the program name set, as text: "usage" for help, the emulation, the mode and
// whether it can run, the keyboard code, the flags set and the texts given.  The texts point into the
// arguments, which are literals.
std::string parsed(std::vector<const char*> args) {
    args.insert(args.begin(), "zarnek");
    StartupSettings s;
    ParseResult result = parseCommandLine(static_cast<int>(args.size()), const_cast<char**>(args.data()), s);
    if (result == ParseResult::LongOption) return std::string("ends at ") + s.endingOption;
    std::string text = std::string(result == ParseResult::Usage ? "usage " : "") + EMULATION_NAMES[s.emulation] + " -m" +
                       std::string(s.mode != '\0', s.mode) + (modeRunnable(s) ? " runs" : "") + " -k" +
                       std::to_string(s.keyboardCode);
    for (auto [set, flag] : {std::pair{s.oneSession, " -1"}, {s.doubleBuffer, " -d"}, {s.forceNumpad, " -e"},
                             {s.selectPrinter, " -s"}, {int{s.utf8}, " --utf8"}})
        if (set != 0) text += flag;
    for (auto [value, option] : {std::pair{s.printer, " -p"}, {s.proxy, " -r"}, {s.host, " "}})
        if (value != nullptr) text += option + std::string(value);
    return text;
}

// The exit status, standard output and standard error of a long option's answer, or of the usage text for
// none.
std::tuple<int, std::string, std::string> answered(const char* option) {
    FILE* files[] = {std::tmpfile(), std::tmpfile()};
    int status = option != nullptr ? answerLongOption(option, files[0], files[1]) : (writeUsage(files[0]), 0);
    std::string texts[2];
    for (int i : {0, 1}) {
        texts[i].resize(static_cast<size_t>(std::ftell(files[i])));
        std::rewind(files[i]);
        EXPECT_EQ(std::fread(texts[i].data(), 1, texts[i].size(), files[i]), texts[i].size());
        std::fclose(files[i]);
    }
    return {status, texts[0], texts[1]};
}

}  // namespace

TEST(CommandLine, LaterOptionsAndHostsWinHelpStopsAtOnceAndLongOptionsComeFirstFromAnywhere) {
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{}, "XTERM -mT -k0"}, {{"first", "second:2323", ""}, "XTERM -mT runs -k0 second:2323"},  // "": no host
        {{"-me", "-x", "-a"}, "SCOANSI -mE runs -k0"}, {{"-ME", "-a", "-X"}, "LINUX -mE runs -k0"},
        {{"-mt", "h", "-a", "-v", "-t"}, "XTERM -mT runs -k0 h"}, {{"-mq", "h", "-v"}, "VT100 -mQ -k0 h"},
        {{"-m", "h"}, "XTERM -m -k0 h"}, {{"-z", "-2", "-", "-mE"}, "XTERM -mE runs -k0"},
        {{"-1", "-d", "-E", "-s", "-k39", "-plpt2", "-rproxy:3128"}, "XTERM -mT -k39 -1 -d -e -s -plpt2 -rproxy:3128"},
        {{"-k39", "-p", "-r", "-kabc"}, "XTERM -mT -k0 -p -r"}, {{"-k39", "-k"}, "XTERM -mT -k0"},
        {{"-k99999999999999999999"}, "XTERM -mT -k2147483647"},
        // What comes before help counts, nothing after; long options come first from anywhere.
        {{"-a", "-me", "-h", "-v", "other"}, "usage SCOANSI -mE runs -k0"},
        {{"-H", "other"}, "usage XTERM -mT -k0"}, {{"-?", "other"}, "usage XTERM -mT -k0"},
        {{"--utf8", "-a", "host"}, "SCOANSI -mT runs -k0 --utf8 host"},
        {{"-a", "host", "--utf8"}, "SCOANSI -mT runs -k0 --utf8 host"},
        {{"-h", "--version", "--help"}, "ends at --version"}, {{"--utf8", "host", "--UTF8"}, "ends at --UTF8"},
        {{"--utf8=yes", "host"}, "ends at --utf8=yes"}, {{"--", "host"}, "ends at --"}};
    for (const auto& [args, settings] : cases) EXPECT_EQ(parsed(args), settings);
}

TEST(CommandLine, UsageAndTheAnswersToLongOptionsByteForByte) {
    const std::string usageText =
        std::string(BANNER) +
        "\n\nProgram usage : ZARNEK [option(s))] [host[:port]]\n\n\thost\tName of the host\n"
        "\t-h\tDisplay this message\n\t-kn\tKeyboard code (1 = usa,39 =italian,0 = auto)\n"
        "\t-e\tForce numeric pad on (WIN95)\n\t-mx\tConnection mode :\n\t\tT = require host\n"
        "\t\tE = echo\n\t-rproxy[:port][\tUse the specified proxy default port 8080\n"
        "\t-pname\tDefine the printer device name\n\t-s\tSelect printer before any usage\n"
        "\t-d\tPrint using double buffer\n\t-1\tEnable only one session\n"
        "\t-a\tEnable SCOANSI emulation\n\t-v\tEnable VT100 emulation\n\t-x\tEnable LINUX emulation\n"
        "\t-t\tEnable XTERM emulation (default)\n\n\tDefault options -t -k0 -plpt1 -mT\n";
    EXPECT_EQ(answered(nullptr), std::make_tuple(0, usageText, std::string()));
    EXPECT_EQ(std::string(BANNER).rfind("ZARNEK Vers. 2.07", 0), 0u);
    const std::string unknown = " (zarnek --help lists the options)\n";
    EXPECT_EQ(answered("--version"), std::make_tuple(0, std::string("ZARNEK 2.07\n"), std::string()));
    EXPECT_EQ(answered("--some-option"),
              std::make_tuple(1, std::string(), "zarnek: unknown option --some-option" + unknown));
    EXPECT_EQ(answered("--"), std::make_tuple(1, std::string(), "zarnek: unknown option --" + unknown));
    const auto [status, help, errors] = answered("--help");
    EXPECT_TRUE(status == 0 && errors.empty() && help.starts_with(usageText)) << help;
    for (const char* part : {"\t--version", "\t--utf8", "\tCtrl+Alt+X", "\tShift+Insert", "man zarnek"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
}

TEST(CommandLineDeathTest, UsageExitsWithStatusOne) { EXPECT_EXIT(usage(), ::testing::ExitedWithCode(1), ""); }
