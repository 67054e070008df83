// The Telnet byte stream of a DevTel session, over a loopback connection:
// the data the Terminal gets, the replies the host gets, and the local echo.
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "backend/devtel.h"
#include "loopback.h"
#include "terminal_harness.h"

namespace {

const std::string IAC = "\xff", NUL(1, '\0');
const std::string WILL = IAC + "\xfb", WONT = IAC + "\xfc", DO = IAC + "\xfd", DONT = IAC + "\xfe";
const std::string SB = IAC + "\xfa", SE = IAC + "\xf0";
const std::string ECHO_OPTION = "\x01", SGA = "\x03", TTYPE = "\x18", NAWS = "\x1f";

// The link's window is 300 columns by 255 rows: both sizes go out as 16 bits,
// the 255 doubled.  The terminal type goes out as given to open.
const std::string WINDOW_SIZE = SB + NAWS + "\x01\x2c" + NUL + IAC + IAC + SE;
const std::string TYPE_REPLY = SB + TTYPE + NUL + "Scoansi" + SE;

// Session 0 of a DevTel wired to the client's end of a connection; the
// test plays the host on the other end.
struct TelnetLink : ::testing::Test {
    TerminalHarness harness;
    DevTel device{"host.example"};
    LoopbackPair link;

    void SetUp() override {
        harness.open();
        harness.clear();
        ASSERT_NE(link.host, INVALID_SOCKET);
        device.sessions[0].socket = link.client;
        device.sessions[0].connected = 1;
        device.current = &device.sessions[0];
        device.termType = "Scoansi";
        device.winRows = 255;
        device.winCols = 300;
    }

    void TearDown() override { EXPECT_TRUE(cellsMatch(harness.terminal, harness.adapter)); }

    // The bytes are there to read when this returns.
    void hostSends(const std::string& bytes) {
        sendAll(link.host, bytes);
        if (!bytes.empty()) {
            ASSERT_TRUE(readable(link.client, 5000));
        }
    }

    // Everything the device hands over now, in reads of at most max bytes.
    std::string readAll(int max = IO_BLOCK_SIZE) {
        std::string data;
        std::vector<char> buffer(max);
        for (int n; (n = device.read(buffer.data(), max)) > 0;) data.append(buffer.data(), n);
        return data;
    }

    // Everything the client has sent so far.
    std::string hostReceives() { return receiveWaiting(link.host); }

    // The data and the replies of a host stream sent in pieces ending at the cuts, read max bytes at a time.
    std::pair<std::string, std::string> exchange(const std::string& stream, std::vector<size_t> cuts,
                                                 int max = IO_BLOCK_SIZE) {
        std::string data;
        cuts.push_back(stream.size());
        for (size_t start = 0; size_t end : cuts) {
            hostSends(stream.substr(start, end - start));
            data += readAll(max);
            start = end;
        }
        return {data, hostReceives()};
    }
};

// The first answer to each option is in the stream below; here are the
// requests that change nothing, and the commands that are no negotiation.
TEST_F(TelnetLink, AnswersNoRepeatedOrUnaskedChangeButEveryTypeQuestion) {
    const struct {
        const char* what;
        int localEcho, remoteEcho;  // before
        std::string received, sent;
        int localAfter, remoteAfter;
    } table[] = {
        {"WILL ECHO again", 0, 1, WILL + ECHO_OPTION, "", 0, 1},
        {"WONT ECHO unasked", 0, 0, WONT + ECHO_OPTION, "", 0, 0},
        {"DO ECHO again", 1, 0, DO + ECHO_OPTION, "", 1, 0},
        {"DO TTYPE twice", 0, 0, DO + TTYPE + DO + TTYPE, WILL + TTYPE + WILL + TTYPE, 0, 0},
        {"DONT ECHO unasked", 0, 0, DONT + ECHO_OPTION, "", 0, 0},
        {"DONT NAWS", 1, 1, DONT + NAWS, "", 1, 1},
        {"NOP, GA, DM and a stray SE", 0, 0, IAC + "\xf1" + IAC + "\xf9" + IAC + "\xf2" + SE, "", 0, 0},
        // The host never closed it: the next command ends it, the rest is not lost.
        {"unclosed SB", 0, 0, SB + NAWS + "\x01\x02" + WILL + ECHO_OPTION, DO + ECHO_OPTION, 0, 1},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.what);
        TelSession& session = device.sessions[0];
        std::tie(session.localEcho, session.remoteEcho) = std::tie(row.localEcho, row.remoteEcho);
        hostSends("<" + row.received + ">");
        EXPECT_EQ(readAll(), "<>");
        EXPECT_EQ(hostReceives(), row.sent);
        EXPECT_EQ(std::tie(session.localEcho, session.remoteEcho), std::tie(row.localAfter, row.remoteAfter));
    }
}

// Every kind of command between data bytes, and a bare CR sent as CR NUL: in
// one piece, byte by byte, in random chunks, and read a byte at a time (a
// short read leaves the rest of what was received for the next one).  The
// stream leaves the echo flags as it found them, so one link serves every
// run until the host closes it.
TEST_F(TelnetLink, StreamGivesTheSameDataAndAnswersWhereverItIsCutUntilTheHostCloses) {
    const std::string stream =
        "login: " + DO + ECHO_OPTION + "x" + IAC + IAC + WILL + ECHO_OPTION + DO + TTYPE + "y" +
        SB + TTYPE + "\x01" + SE + DO + NAWS + IAC + "\xf1" + WILL + SGA + DO + SGA + "\r" + NUL + "\r\n" +
        SB + NAWS + NUL + "\x50" + NUL + "\x18" + SE + DONT + ECHO_OPTION + WONT + ECHO_OPTION +
        IAC + "\xf9" + SB + TTYPE + NUL + "a" + IAC + IAC + "b" + SE + "$ ";
    const auto whole = exchange(stream, {});
    EXPECT_EQ(whole.first, "login: x" + IAC + "y\r\r\n$ ");  // CR NUL is a bare CR
    EXPECT_EQ(whole.second, WILL + ECHO_OPTION + DO + ECHO_OPTION + WILL + TTYPE + TYPE_REPLY + WILL +
                                NAWS + WINDOW_SIZE + DONT + SGA + WONT + SGA + WONT + ECHO_OPTION +
                                DONT + ECHO_OPTION);

    std::vector<size_t> everyByte(stream.size() - 1);
    std::iota(everyByte.begin(), everyByte.end(), 1);
    EXPECT_EQ(exchange(stream, everyByte), whole);
    EXPECT_EQ(device.sessions[0].state, TelnetState::Data);
    EXPECT_EQ(exchange(stream, {}, 1), whole);

    std::mt19937 random(7);
    for (int run = 0; run < 50; run++) {
        std::vector<size_t> cuts;
        for (size_t at = 1 + random() % 5; at < stream.size(); at += 1 + random() % 5) cuts.push_back(at);
        EXPECT_EQ(exchange(stream, cuts), whole) << "run " << run;
    }
    // The host closing: its last data, unchanged, still comes first, then the
    // end, without an error box (no key is scripted: a box would wait for one).
    hostSends("A" + NUL + "\r\n\x1b[m" + IAC + IAC + "B");
    closesocket(std::exchange(link.host, INVALID_SOCKET));
    EXPECT_EQ(readAll(), "A" + NUL + "\r\n\x1b[m" + IAC + "B");
    char byte;
    EXPECT_EQ(device.read(&byte, 1), -1);
}

// A host that both asks the client to echo and echoes itself must not see
// every typed key twice.
TEST_F(TelnetLink, WriteDoublesIacAndEchoesLocallyOnlyWhileTheHostDoesNotEcho) {
    const struct {
        std::string hostSays, typed, shown;
    } steps[] = {
        {"", "a\xff" "b", ""},  // no echo unless asked
        {DO + ECHO_OPTION, "ls", "ls"},
        {WILL + ECHO_OPTION, "x", "ls"},
        {WONT + ECHO_OPTION, "y", "lsy"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.typed);
        hostSends(step.hostSays);
        readAll();
        EXPECT_EQ(device.write(step.typed.data(), static_cast<int>(step.typed.size())),
                  static_cast<int>(step.typed.size()));
        EXPECT_EQ(harness.row(0).substr(0, step.shown.size() + 1), step.shown + " ");
    }
    EXPECT_EQ(hostReceives(), "a" + IAC + IAC + "b" + WILL + ECHO_OPTION + "ls" + DO + ECHO_OPTION + "x" +
                                  DONT + ECHO_OPTION + "y");
}

}  // namespace
