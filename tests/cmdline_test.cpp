#include "cmdline.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// Parses the arguments after the program name.
struct Parsed {
    Parsed(std::initializer_list<const char*> args) : Parsed(std::vector<const char*>(args)) {}
    explicit Parsed(const std::vector<const char*>& args) {
        storage.push_back("zarnek");
        for (const char* arg : args) storage.push_back(arg);
        for (std::string& arg : storage) argv.push_back(arg.data());
        result = parseCommandLine(static_cast<int>(argv.size()), argv.data(), settings);
    }
    bool runnable() const { return result == ParseResult::Run && modeRunnable(settings); }
    std::vector<std::string> storage;
    std::vector<char*> argv;
    StartupSettings settings;
    ParseResult result;
};

}  // namespace

TEST(CommandLine, ModeDecidesWhetherAHostIsNeeded) {
    Parsed none({});
    EXPECT_EQ(none.result, ParseResult::Run);
    EXPECT_EQ(none.settings.mode, 'T');
    EXPECT_EQ(none.settings.emulation, XTERM);
    const struct {
        std::vector<const char*> args;
        bool runnable;
    } cases[] = {{{}, false},          {{"-me"}, true},         {{"-ME"}, true},        {{"-mt", "host"}, true},
                 {{"-mq", "host"}, false}, {{"-m", "host"}, false}, {{"-z", "-2", "-", "-mE"}, true}};  // unknown options ignored
    for (const auto& c : cases) EXPECT_EQ(Parsed(c.args).runnable(), c.runnable) << c.args.size() << " arguments";
}

TEST(CommandLine, HelpStopsAtOnce) {
    for (const char* help : {"-h", "-H", "-?"}) {
        Parsed p({"-a", "-me", help, "-v", "other"});
        EXPECT_EQ(p.result, ParseResult::Usage) << help;
        EXPECT_EQ(p.settings.emulation, SCOANSI) << help;
        EXPECT_EQ(p.settings.host, nullptr) << help;
    }
}

TEST(CommandLine, LaterOptionsAndHostsWin) {
    EXPECT_EQ(Parsed({"-x", "-a"}).settings.emulation, SCOANSI);
    EXPECT_EQ(Parsed({"-a", "-X"}).settings.emulation, LINUX);
    EXPECT_EQ(Parsed({"-a", "-t"}).settings.emulation, XTERM);
    Parsed p({"first", "-v", "second:2323"});
    EXPECT_STREQ(p.settings.host, "second:2323");
    EXPECT_EQ(p.settings.emulation, VT100);
    EXPECT_EQ(p.settings.printer, nullptr);
    EXPECT_STREQ(Parsed({"host", ""}).settings.host, "host");
}

TEST(CommandLine, FlagsAndGluedValues) {
    Parsed p({"-1", "-d", "-E", "-s", "-k39", "-plpt2", "-rproxy:3128"});
    EXPECT_EQ(p.settings.oneSession, 1);
    EXPECT_EQ(p.settings.doubleBuffer, 1);
    EXPECT_EQ(p.settings.forceNumpad, 1);
    EXPECT_EQ(p.settings.selectPrinter, 1);
    EXPECT_EQ(p.settings.keyboardCode, 39);
    EXPECT_STREQ(p.settings.printer, "lpt2");
    EXPECT_STREQ(p.settings.proxy, "proxy:3128");

    Parsed empty({"-p", "-r"});
    EXPECT_STREQ(empty.settings.printer, "");
    EXPECT_STREQ(empty.settings.proxy, "");
    EXPECT_EQ(Parsed({"-k"}).settings.keyboardCode, 0);
    EXPECT_EQ(Parsed({"-kabc"}).settings.keyboardCode, 0);
    EXPECT_EQ(Parsed({"-k99999999999999999999"}).settings.keyboardCode, INT_MAX);
}

TEST(CommandLine, UsageTextByteForByte) {
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    writeUsage(out);
    std::string text(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    ASSERT_EQ(std::fread(text.data(), 1, text.size(), out), text.size());
    std::fclose(out);
    std::string expected = std::string(BANNER) + "\n\n" +
                           "Program usage : ZARNEK [option(s))] [host[:port]]\n\n"
                           "\thost\tName of the host\n"
                           "\t-h\tDisplay this message\n"
                           "\t-kn\tKeyboard code (1 = usa,39 =italian,0 = auto)\n"
                           "\t-e\tForce numeric pad on (WIN95)\n"
                           "\t-mx\tConnection mode :\n"
                           "\t\tT = require host\n"
                           "\t\tE = echo\n"
                           "\t-rproxy[:port][\tUse the specified proxy default port 8080\n"
                           "\t-pname\tDefine the printer device name\n"
                           "\t-s\tSelect printer before any usage\n"
                           "\t-d\tPrint using double buffer\n"
                           "\t-1\tEnable only one session\n"
                           "\t-a\tEnable SCOANSI emulation\n"
                           "\t-v\tEnable VT100 emulation\n"
                           "\t-x\tEnable LINUX emulation\n"
                           "\t-t\tEnable XTERM emulation (default)\n"
                           "\n\tDefault options -t -k0 -plpt1 -mT\n";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(std::string(BANNER).rfind("ZARNEK Vers. 2.07", 0), 0u);
}

TEST(CommandLineDeathTest, UsageExitsWithStatusOne) {
    EXPECT_EXIT(usage(), ::testing::ExitedWithCode(1), "");
}
