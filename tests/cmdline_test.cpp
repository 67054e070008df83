#include "cmdline.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Parses the arguments after the program name.  parseCommandLine only reads
// them, and the settings may point into them: literals outlive every check.
struct Parsed {
    explicit Parsed(const std::vector<const char*>& args) {
        argv.push_back(const_cast<char*>("zarnek"));
        for (const char* arg : args) argv.push_back(const_cast<char*>(arg));
        result = parseCommandLine(static_cast<int>(argv.size()), argv.data(), settings);
    }
    bool runnable() const { return result == ParseResult::Run && modeRunnable(settings); }
    std::vector<char*> argv;
    StartupSettings settings;
    ParseResult result;
};

}  // namespace

TEST(CommandLine, ModeDecidesWhetherAHostIsNeeded) {
    const struct {
        std::vector<const char*> args;
        bool runnable;
    } cases[] = {{{}, false}, {{"host"}, true}, {{"-me"}, true}, {{"-ME"}, true}, {{"-mt", "host"}, true},
                 {{"-mq", "host"}, false}, {{"-m", "host"}, false},
                 {{"-z", "-2", "-", "-mE"}, true}};  // unknown options are ignored
    for (const auto& c : cases) EXPECT_EQ(Parsed(c.args).runnable(), c.runnable) << c.args.size() << " args";
}

TEST(CommandLine, LaterOptionsAndHostsWinAndHelpStopsAtOnce) {
    EXPECT_EQ(Parsed({"host"}).settings.emulation, XTERM) << "the default";
    EXPECT_EQ(Parsed({"-x", "-a"}).settings.emulation, SCOANSI);
    EXPECT_EQ(Parsed({"-a", "-X"}).settings.emulation, LINUX);
    EXPECT_EQ(Parsed({"-a", "-t"}).settings.emulation, XTERM);
    const StartupSettings s = Parsed({"first", "-v", "second:2323"}).settings;
    EXPECT_STREQ(s.host, "second:2323");
    EXPECT_EQ(s.emulation, VT100);
    EXPECT_EQ(s.printer, nullptr);
    EXPECT_STREQ(Parsed({"host", ""}).settings.host, "host");
    for (const char* help : {"-h", "-H", "-?"}) {
        Parsed p({"-a", "-me", help, "-v", "other"});  // what comes before help counts, nothing after
        EXPECT_EQ(p.result, ParseResult::Usage) << help;
        EXPECT_TRUE(p.settings.emulation == SCOANSI && p.settings.host == nullptr) << help;
    }
}

TEST(CommandLine, FlagsAndGluedValues) {
    const StartupSettings s = Parsed({"-1", "-d", "-E", "-s", "-k39", "-plpt2", "-rproxy:3128"}).settings;
    EXPECT_EQ(std::tie(s.oneSession, s.doubleBuffer, s.forceNumpad, s.selectPrinter, s.keyboardCode),
              std::make_tuple(1, 1, 1, 1, 39));
    EXPECT_STREQ(s.printer, "lpt2");
    EXPECT_STREQ(s.proxy, "proxy:3128");
    EXPECT_STREQ(Parsed({"-p"}).settings.printer, "");
    EXPECT_STREQ(Parsed({"-r"}).settings.proxy, "");
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
    EXPECT_EQ(text, std::string(BANNER) + "\n\n" +
                        "Program usage : ZARNEK [option(s))] [host[:port]]\n\n"
                        "\thost\tName of the host\n"
                        "\t-h\tDisplay this message\n"
                        "\t-kn\tKeyboard code (1 = usa,39 =italian,0 = auto)\n"
                        "\t-e\tForce numeric pad on (WIN95)\n"
                        "\t-mx\tConnection mode :\n" "\t\tT = require host\n" "\t\tE = echo\n"
                        "\t-rproxy[:port][\tUse the specified proxy default port 8080\n"
                        "\t-pname\tDefine the printer device name\n"
                        "\t-s\tSelect printer before any usage\n"
                        "\t-d\tPrint using double buffer\n"
                        "\t-1\tEnable only one session\n"
                        "\t-a\tEnable SCOANSI emulation\n"
                        "\t-v\tEnable VT100 emulation\n"
                        "\t-x\tEnable LINUX emulation\n"
                        "\t-t\tEnable XTERM emulation (default)\n"
                        "\n\tDefault options -t -k0 -plpt1 -mT\n");
    EXPECT_EQ(std::string(BANNER).rfind("ZARNEK Vers. 2.07", 0), 0u);
}

TEST(CommandLineDeathTest, UsageExitsWithStatusOne) {
    EXPECT_EXIT(usage(), ::testing::ExitedWithCode(1), "");
}

TEST(CommandLine, LongOptionsComeFirstFromAnywhereAndEndTheRunOrSetUtf8) {
    const struct {
        std::vector<const char*> args;
        const char* ending;  // the option that ends the run; none: it runs
        bool utf8;
    } cases[] = {{{"--utf8", "-a", "host"}, nullptr, true},
                 {{"-a", "host", "--utf8"}, nullptr, true},
                 {{"-a", "host"}, nullptr, false},
                 {{"-h", "--version", "--help"}, "--version", false},  // before -h, the first one
                 {{"--utf8", "host", "--UTF8"}, "--UTF8", true},
                 {{"--utf8=yes", "host"}, "--utf8=yes", false},
                 {{"--", "host"}, "--", false}};
    for (const auto& c : cases) {
        Parsed p(c.args);
        EXPECT_EQ(p.settings.utf8, c.utf8) << c.args[0];
        if (c.ending != nullptr) {
            EXPECT_EQ(p.result, ParseResult::LongOption) << c.ending;
            EXPECT_STREQ(p.settings.endingOption, c.ending);
        } else {
            EXPECT_TRUE(p.runnable() && p.settings.emulation == SCOANSI) << c.args[0];
        }
    }

    auto contents = [](FILE* file) {
        std::string text(static_cast<size_t>(std::ftell(file)), '\0');
        std::rewind(file);
        EXPECT_EQ(std::fread(text.data(), 1, text.size(), file), text.size());
        std::fclose(file);
        return text;
    };
    // The exit status, standard output and standard error of the answer.
    auto answered = [&contents](const char* option) {
        FILE* out = std::tmpfile();
        FILE* err = std::tmpfile();
        int status = answerLongOption(option, out, err);
        return std::make_tuple(status, contents(out), contents(err));
    };
    const std::string unknown = " (zarnek --help lists the options)\n";
    EXPECT_EQ(answered("--version"), std::make_tuple(0, std::string("ZARNEK 2.07\n"), std::string()));
    EXPECT_EQ(answered("--some-option"),
              std::make_tuple(1, std::string(), "zarnek: unknown option --some-option" + unknown));
    EXPECT_EQ(answered("--"), std::make_tuple(1, std::string(), "zarnek: unknown option --" + unknown));
    const auto [status, help, errors] = answered("--help");
    FILE* usageFile = std::tmpfile();
    writeUsage(usageFile);
    EXPECT_TRUE(status == 0 && errors.empty() && help.rfind(contents(usageFile), 0) == 0) << help;
    for (const char* part : {"\t--version", "\t--utf8", "\tCtrl+Alt+X", "\tShift+Insert", "man zarnek"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
}
