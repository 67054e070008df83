// The Telnet byte stream of a DevTel session, over a socket pair: the data
// the Terminal gets, the replies the host gets, and the local echo.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "backend/devtel.h"
#include "terminal_harness.h"

namespace {

const std::string IAC = "\xff";
const std::string WILL = IAC + "\xfb";
const std::string WONT = IAC + "\xfc";
const std::string DO = IAC + "\xfd";
const std::string DONT = IAC + "\xfe";
const std::string SB = IAC + "\xfa";
const std::string SE = IAC + "\xf0";
const std::string ECHO_OPTION = "\x01";
const std::string SGA = "\x03";
const std::string TTYPE = "\x18";
const std::string NAWS = "\x1f";
const std::string NUL(1, '\0');

// Session 0 of a DevTel wired to one end of a socket pair; the test plays
// the host on the other end.
struct TelnetLink : ::testing::Test {
    TerminalHarness harness;
    DevTel device{"host.example"};
    int host = -1;

    void SetUp() override {
        harness.open();
        harness.clear();
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        host = ends[1];
        TelSession& session = device.sessions[0];
        session.socket = ends[0];
        session.connected = 1;
        unsigned long nonBlocking = 1;
        ASSERT_EQ(ioctlsocket(ends[0], FIONBIO, &nonBlocking), 0);
        device.current = &session;
        device.termType = "xterm";
        device.winRows = 24;
        device.winCols = 80;
    }

    void TearDown() override {
        if (host >= 0) ::close(host);
        EXPECT_TRUE(cellsMatch(harness.terminal, harness.adapter));
    }

    void hostSends(const std::string& bytes) {
        ASSERT_EQ(::write(host, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Everything the device hands over now, in reads of at most max bytes.
    std::string readAll(int max = IO_BLOCK_SIZE) {
        std::string data;
        std::vector<char> buffer(max);
        int n;
        while ((n = device.read(buffer.data(), max)) > 0) data.append(buffer.data(), n);
        return data;
    }

    // Everything the client has sent so far.
    std::string hostReceives() {
        std::string bytes;
        char buffer[256];
        ssize_t n;
        while ((n = ::recv(host, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) bytes.append(buffer, n);
        return bytes;
    }

    // The data and the replies of a host stream delivered in the given pieces.
    std::pair<std::string, std::string> exchange(const std::string& stream,
                                                 const std::vector<size_t>& cuts) {
        std::string data;
        size_t start = 0;
        for (size_t end : cuts) {
            hostSends(stream.substr(start, end - start));
            data += readAll();
            start = end;
        }
        hostSends(stream.substr(start));
        data += readAll();
        return {data, hostReceives()};
    }
};

TEST_F(TelnetLink, DataPassesUnchangedAndAReadOfOneTakesTheBufferedBytesFirst) {
    hostSends("abc");
    char byte;
    ASSERT_EQ(device.read(&byte, 1), 1);
    EXPECT_EQ(byte, 'a');
    // Received now, these must wait behind b and c, not replace them.
    hostSends("A" + NUL + "\r\n\x1b[m" + IAC + IAC + "B");
    EXPECT_EQ(readAll(1), "bcA" + NUL + "\r\n\x1b[m" + IAC + "B");
    EXPECT_EQ(hostReceives(), "");
}

struct Negotiation {
    const char* what;
    int localEcho, remoteEcho;  // before
    std::string received;
    std::string sent;
    int localEchoAfter, remoteEchoAfter;
};

TEST_F(TelnetLink, AnswersEveryRowOfTheNegotiationTable) {
    const std::string windowSize = SB + NAWS + NUL + "\x50" + NUL + "\x18" + SE;
    const Negotiation table[] = {
        {"WILL ECHO", 0, 0, WILL + ECHO_OPTION, DO + ECHO_OPTION, 0, 1},
        {"WILL ECHO again", 0, 1, WILL + ECHO_OPTION, "", 0, 1},
        {"WILL SGA", 0, 0, WILL + SGA, DONT + SGA, 0, 0},
        {"WONT ECHO", 0, 1, WONT + ECHO_OPTION, DONT + ECHO_OPTION, 0, 0},
        {"WONT ECHO unasked", 0, 0, WONT + ECHO_OPTION, "", 0, 0},
        {"DO ECHO", 0, 0, DO + ECHO_OPTION, WILL + ECHO_OPTION, 1, 0},
        {"DO ECHO again", 1, 0, DO + ECHO_OPTION, "", 1, 0},
        {"DO TTYPE twice", 0, 0, DO + TTYPE + DO + TTYPE, WILL + TTYPE + WILL + TTYPE, 0, 0},
        {"DO NAWS", 0, 0, DO + NAWS, WILL + NAWS + windowSize, 0, 0},
        {"DO SGA", 0, 0, DO + SGA, WONT + SGA, 0, 0},
        {"DONT ECHO", 1, 0, DONT + ECHO_OPTION, WONT + ECHO_OPTION, 0, 0},
        {"DONT ECHO unasked", 0, 0, DONT + ECHO_OPTION, "", 0, 0},
        {"DONT NAWS", 1, 1, DONT + NAWS, "", 1, 1},
        {"SB TTYPE SEND", 0, 0, SB + TTYPE + "\x01" + SE, SB + TTYPE + NUL + "xterm" + SE, 0, 0},
        {"SB NAWS", 0, 0, windowSize, "", 0, 0},
        {"SB TTYPE IS", 0, 0, SB + TTYPE + NUL + "vt100" + SE, "", 0, 0},
        {"SB with IAC IAC inside", 0, 0, SB + "\x2a" + IAC + IAC + "x" + SE, "", 0, 0},
        {"NOP, GA, DM and a stray SE", 0, 0, IAC + "\xf1" + IAC + "\xf9" + IAC + "\xf2" + SE, "", 0, 0},
        // The host never closed it: the next command ends it, the rest is not lost.
        {"unclosed SB", 0, 0, SB + NAWS + "\x01\x02" + WILL + ECHO_OPTION, DO + ECHO_OPTION, 0, 1},
    };
    for (const Negotiation& row : table) {
        SCOPED_TRACE(row.what);
        TelSession& session = device.sessions[0];
        session.localEcho = row.localEcho;
        session.remoteEcho = row.remoteEcho;
        hostSends("<" + row.received + ">");
        EXPECT_EQ(readAll(), "<>");
        EXPECT_EQ(hostReceives(), row.sent);
        EXPECT_EQ(session.localEcho, row.localEchoAfter);
        EXPECT_EQ(session.remoteEcho, row.remoteEchoAfter);
    }
}

TEST_F(TelnetLink, WindowSizesOf255AndMoreGoOutAsSixteenBitsAndTheTypeAsGivenToOpen) {
    device.winCols = 300;
    device.winRows = 255;
    device.termType = "Scoansi";
    hostSends(DO + NAWS + SB + TTYPE + "\x01" + SE);
    readAll();
    EXPECT_EQ(hostReceives(),
              WILL + NAWS + SB + NAWS + "\x01\x2c" + NUL + IAC + IAC + SE + SB + TTYPE + NUL + "Scoansi" + SE);
}

// A host stream with every kind of command between data bytes.
const std::string& everyCommand() {
    static const std::string stream =
        "login: " + DO + ECHO_OPTION + "x" + IAC + IAC + WILL + ECHO_OPTION + DO + TTYPE + "y" +
        SB + TTYPE + "\x01" + SE + DO + NAWS + IAC + "\xf1" + WILL + SGA + DO + SGA + "\r\n" +
        SB + NAWS + NUL + "\x50" + NUL + "\x18" + SE + DONT + ECHO_OPTION + WONT + ECHO_OPTION +
        IAC + "\xf9" + SB + TTYPE + NUL + "a" + IAC + IAC + SE + "$ ";
    return stream;
}

TEST_F(TelnetLink, StreamInOnePieceGivesTheDataAndTheAnswers) {
    auto [data, replies] = exchange(everyCommand(), {});
    EXPECT_EQ(data, "login: x" + IAC + "y\r\n$ ");
    EXPECT_EQ(replies, WILL + ECHO_OPTION + DO + ECHO_OPTION + WILL + TTYPE + SB + TTYPE + NUL +
                           "xterm" + SE + WILL + NAWS + SB + NAWS + NUL + "\x50" + NUL + "\x18" +
                           SE + DONT + SGA + WONT + SGA + WONT + ECHO_OPTION + DONT + ECHO_OPTION);
}

// The stream leaves the echo flags as it found them, so one link serves
// every run.
struct SplitStream : TelnetLink {};

TEST_F(SplitStream, EveryCutByteByByteAndRandomChunksGiveTheSameResult) {
    const std::string& stream = everyCommand();
    auto whole = exchange(stream, {});
    for (size_t cut = 1; cut < stream.size(); cut++) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        EXPECT_EQ(exchange(stream, {cut}), whole);
        EXPECT_EQ(device.sessions[0].state, TelnetState::Data);
    }

    std::vector<size_t> everyByte;
    for (size_t i = 1; i < stream.size(); i++) everyByte.push_back(i);
    EXPECT_EQ(exchange(stream, everyByte), whole);

    std::mt19937 random(7);
    for (int run = 0; run < 50; run++) {
        SCOPED_TRACE("run " + std::to_string(run));
        std::vector<size_t> cuts;
        for (size_t at = 1 + random() % 5; at < stream.size(); at += 1 + random() % 5)
            cuts.push_back(at);
        EXPECT_EQ(exchange(stream, cuts), whole);
    }
}

TEST_F(TelnetLink, WriteDoublesIacAndEchoesLocallyOnlyWhileTheHostDoesNotEcho) {
    EXPECT_EQ(device.write("a\xff" "b", 3), 3);
    EXPECT_EQ(hostReceives(), "a" + IAC + IAC + "b");
    EXPECT_EQ(harness.row(0).substr(0, 3), "   ") << "no echo unless asked";
    hostSends(DO + ECHO_OPTION);
    readAll();
    device.write("ls", 2);
    EXPECT_EQ(harness.row(0).substr(0, 3), "ls ");

    // A host that both asks the client to echo and echoes itself.
    hostSends(WILL + ECHO_OPTION);
    readAll();
    device.write("x", 1);
    EXPECT_EQ(harness.row(0).substr(0, 3), "ls ");

    hostSends(WONT + ECHO_OPTION);
    readAll();
    device.write("y", 1);
    EXPECT_EQ(harness.row(0).substr(0, 4), "lsy ");
    EXPECT_EQ(hostReceives(), WILL + ECHO_OPTION + "ls" + DO + ECHO_OPTION + "x" +
                                  DONT + ECHO_OPTION + "y");
}

TEST_F(TelnetLink, HostClosingGivesTheLastDataThenTheEndWithoutAnErrorBox) {
    hostSends("bye\r\n");
    ::close(host);
    host = -1;
    // No key is scripted: an error box would wait for one and fail the test.
    char buffer[IO_BLOCK_SIZE];
    ASSERT_EQ(device.read(buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(buffer, 5), "bye\r\n");
    EXPECT_EQ(device.read(buffer, sizeof buffer), -1);
    EXPECT_EQ(device.read(buffer, sizeof buffer), -1);
}

}  // namespace
