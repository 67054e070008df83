// The Telnet protocol without a connection: the host's stream in, the data for the screen and the replies
// out, wherever the stream is cut and however little data a call may give.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "backend/telnet.h"

namespace {

const std::string IAC = "\xff", NUL(1, '\0'), SB = IAC + "\xfa", SE = IAC + "\xf0", ECHO_OPTION = "\x01";
const std::string WILL = IAC + "\xfb", WONT = IAC + "\xfc", DO = IAC + "\xfd", DONT = IAC + "\xfe";
const std::string DO_ECHO = DO + ECHO_OPTION, WILL_ECHO = WILL + ECHO_OPTION, WONT_ECHO = WONT + ECHO_OPTION,
                  DONT_ECHO = DONT + ECHO_OPTION, SGA = "\x03", TTYPE = "\x18", NAWS = "\x1f", BINARY = NUL;
// 300 columns by 255 rows: both sizes go out as 16 bits, the 255 doubled.
const std::string WINDOW_SIZE = SB + NAWS + "\x01\x2c" + NUL + IAC + IAC + SE;

// The data, the replies, and whether the client then shows what it sends.
using Outcome = std::tuple<std::string, std::string, bool>;

// A new connection's protocol fed the stream in pieces ending at the cuts, each call with room for at most
// room data bytes.
Outcome exchange(const std::string& stream, std::vector<size_t> cuts, size_t room) {
    TelnetProtocol telnet;
    telnet.describeTerminal("Scoansi", 255, 300);
    std::string data, replies;
    cuts.push_back(stream.size());
    for (size_t start = 0, taken = 1; size_t end : cuts) {
        for (; start < end && taken > 0; start += taken) {
            size_t before = data.size();
            taken = telnet.receive({stream.data() + start, end - start}, room, data, replies);
            EXPECT_LE(data.size() - before, room);
        }
    }
    return {data, replies, telnet.echoesLocally()};
}

TEST(TelnetProtocol, GivesTheSameDataAndRepliesWhereverTheStreamIsCut) {
    const struct {
        std::string stream;
        Outcome expected;
    } cases[] = {
        // IAC IAC is a data byte 255, CR NUL a bare CR.
        {"a" + IAC + IAC + "b\r" + NUL + "\r\n" + NUL + "\r" + IAC + IAC + "\rc",
         {"a" + IAC + "b\r\r\n" + NUL + "\r" + IAC + "\rc", "", false}},
        {DO_ECHO + DO_ECHO, {"", WILL_ECHO, true}},
        // A host that echoes itself does not see what it is sent twice.
        {DO_ECHO + WILL_ECHO + WILL_ECHO, {"", WILL_ECHO + DO_ECHO, false}},
        {DO_ECHO + WILL_ECHO + WONT_ECHO + WONT_ECHO, {"", WILL_ECHO + DO_ECHO + DONT_ECHO, true}},
        // Unasked WONT and DONT ECHO change nothing.
        {WONT_ECHO + DONT_ECHO + DO_ECHO + DONT_ECHO + DONT_ECHO + WILL_ECHO, {"", WILL_ECHO + WONT_ECHO + DO_ECHO, false}},
        // Asked every time; other codes and empty requests are not answered.
        {DO + TTYPE + DO + TTYPE + SB + TTYPE + "\x01" + SE + SB + TTYPE + NUL + "a" + IAC + IAC + SE + SB +
             TTYPE + SE + "x",
         {"x", WILL + TTYPE + WILL + TTYPE + SB + TTYPE + NUL + "Scoansi" + SE, false}},
        {DO_ECHO + DO + NAWS + DONT + NAWS + DO + NAWS,
         {"", WILL_ECHO + WILL + NAWS + WINDOW_SIZE + WILL + NAWS + WINDOW_SIZE, true}},
        {WILL + SGA + DO + SGA + WONT + SGA + DONT + SGA, {"", DONT + SGA + WONT + SGA, false}},
        // NOP, GA, DM, a stray SE and other subnegotiations vanish.
        {"a" + IAC + "\xf1" "b" + IAC + "\xf9" + IAC + "\xf2" + SE + SB + NAWS + "\x01" + IAC + IAC + SE + SB + SE + "c",
         {"abc", "", false}},
        // The host never closed it: the next command ends it, the rest is not lost.
        {SB + NAWS + "\x01\x02" + WILL_ECHO + "x", {"x", DO_ECHO, false}},
    };
    std::mt19937 random(7);
    for (const auto& [stream, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(stream));
        // Whole, then byte by byte, then in random pieces.
        for (int run = 0; run < 22; run++) {
            std::vector<size_t> cuts;
            for (size_t at = 1; run > 0 && at < stream.size(); at += run == 1 ? 1 : 1 + random() % 5) cuts.push_back(at);
            EXPECT_EQ(exchange(stream, cuts, run == 0 ? SIZE_MAX : 1 + random() % 3), expected) << "run " << run;
        }
    }
}

TEST(TelnetProtocol, StopsAfterAReplyAndTellsTheTypeAndSizeDescribedWithIacDoubled) {
    TelnetProtocol telnet;
    std::string data, replies;
    EXPECT_EQ(telnet.receive(DO_ECHO + "x", SIZE_MAX, data, replies), 3u) << "the reply goes out before the rest";
    telnet.describeTerminal(nullptr, -1, 70000);
    EXPECT_EQ(telnet.windowSize(), SB + NAWS + IAC + IAC + IAC + IAC + NUL + NUL + SE);
    telnet.receive(SB + TTYPE + "\x01" + SE, SIZE_MAX, data, replies);
    telnet.describeTerminal("x\xff", 24, 80);
    telnet.receive(SB + TTYPE + "\x01" + SE, SIZE_MAX, data, replies);
    EXPECT_EQ(data + replies, WILL_ECHO + SB + TTYPE + NUL + SE + SB + TTYPE + NUL + "x" + IAC + IAC + SE);
}

TEST(TelnetProtocol, TellsANewWindowSizeWhileTheHostAgreedToHearIt) {
    const std::pair<std::string, bool> cases[] = {{"", false}, {DO + TTYPE + WILL + NAWS, false}, {DO + NAWS, true},
                                                  {DO + NAWS + DONT + NAWS, false}, {DONT + NAWS + DO + NAWS, true}};
    for (const auto& [stream, told] : cases) {
        TelnetProtocol telnet;
        std::string data, replies;
        for (size_t at = 0; at < stream.size();) at += telnet.receive(stream.substr(at), SIZE_MAX, data, replies);
        EXPECT_EQ(telnet.resize(255, 300), told ? WINDOW_SIZE : "") << testing::PrintToString(stream);
        EXPECT_EQ(telnet.windowSize(), WINDOW_SIZE) << "a later DO NAWS hears the new size";
    }
}

// Without the binary option a host strips the eighth bit: a client for a UTF-8 host asks for it at once and
// answers each change once; an 8-bit host's client refuses it.  Once the host sends binary, a NUL after a CR
// is data.
TEST(TelnetProtocol, AClientForAUtf8HostAsksForBinaryAndAnswersOnlyChanges) {
    for (bool utf8 : {false, true}) {
        TelnetProtocol telnet;
        if (utf8) telnet.wantBinary();
        EXPECT_EQ(telnet.opening(), utf8 ? WILL + BINARY + DO + BINARY : "");
        std::string data, replies, stream;
        for (const std::string& command : {DO, WILL, DONT, WONT, WILL}) stream += command + BINARY;
        stream += "\r" + NUL + "x";
        for (size_t taken = 0; taken < stream.size();)
            taken += telnet.receive(stream.substr(taken), SIZE_MAX, data, replies);
        EXPECT_EQ(replies, WONT + BINARY + DONT + BINARY + (utf8 ? DO : DONT) + BINARY);
        EXPECT_EQ(data, utf8 ? "\r" + NUL + "x" : "\rx");
    }
}

}  // namespace
