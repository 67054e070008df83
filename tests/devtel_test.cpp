// The Telnet device against a host on the loopback interface: connecting,
// the proxy and its relay request, failures with their error boxes, closing,
// and the sockets underneath.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "backend/devtel.h"
#include "terminal_harness.h"

namespace {

constexpr int WAIT_MS = 5000;

bool waitFor(int fd, short events) {
    pollfd entry{fd, events, 0};
    return poll(&entry, 1, WAIT_MS) == 1;
}

// A listening socket on 127.0.0.1 that plays the host (or the proxy).
struct LoopbackHost : ::testing::Test {
    TerminalHarness harness;
    int listener = -1;
    int port = 0;

    void SetUp() override {
        harness.open();
        harness.clear();
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(listener, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(listener, 4), 0);
        socklen_t length = sizeof address;
        ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port = ntohs(address.sin_port);
    }

    void TearDown() override {
        ::close(listener);
        EXPECT_TRUE(cellsMatch(harness.terminal, harness.adapter));
    }

    std::string hostText() const { return "127.0.0.1:" + std::to_string(port); }

    int acceptConnection() { return waitFor(listener, POLLIN) ? ::accept(listener, nullptr, nullptr) : -1; }

    bool connectionWaiting() {
        pollfd entry{listener, POLLIN, 0};
        return poll(&entry, 1, 0) == 1;
    }

    // Reads until count bytes came or the peer stopped sending.
    static std::string receive(int fd, size_t count) {
        std::string bytes;
        char buffer[256];
        while (bytes.size() < count && waitFor(fd, POLLIN)) {
            ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
            if (n <= 0) break;
            bytes.append(buffer, n);
        }
        return bytes;
    }

    static bool peerClosed(int fd) {
        char byte;
        return waitFor(fd, POLLIN) && ::recv(fd, &byte, 1, 0) == 0;
    }

    std::string screenText() const {
        std::string text;
        for (int r = 0; r < harness.terminal.rows; r++) text += harness.row(r) + "\n";
        return text;
    }
};

TEST_F(LoopbackHost, OpensAndClosesSessions) {
    DevTel device(hostText().c_str());
    device.close(3);
    EXPECT_EQ(device.isOpen(3), 0);

    ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
    EXPECT_EQ(device.isOpen(0), 1);
    EXPECT_EQ(harness.row(0).rfind("Connecting to " + hostText() + " ", 0), 0u);
    int connection = acceptConnection();
    ASSERT_GE(connection, 0);

    device.close(0);
    EXPECT_EQ(device.isOpen(0), 0);
    EXPECT_TRUE(peerClosed(connection));
    ::close(connection);

    ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
    EXPECT_EQ(device.isOpen(0), 1);
    connection = acceptConnection();
    EXPECT_GE(connection, 0);
    ::close(connection);
}

TEST_F(LoopbackHost, SessionsAreSeparateConnectionsAndOpenSelectsAConnectedOne) {
    DevTel device(hostText().c_str());
    ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
    int first = acceptConnection();
    ASSERT_EQ(device.open(1, "xterm", 24, 80), 0);
    int second = acceptConnection();
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);

    // Session 0 got DO ECHO and has data waiting while session 1 is current.
    const std::string toFirst = "\xff\xfd\x01" "first";
    ASSERT_EQ(::write(first, toFirst.data(), toFirst.size()), 8);
    ASSERT_EQ(::write(second, "second", 6), 6);
    ASSERT_TRUE(waitFor(device.sessions[1].socket, POLLIN));
    char buffer[IO_BLOCK_SIZE];
    ASSERT_EQ(device.read(buffer, sizeof buffer), 6);
    EXPECT_EQ(std::string(buffer, 6), "second");

    EXPECT_EQ(device.open(0, "xterm", 24, 80), 0);
    EXPECT_EQ(device.currentIndex, 0);
    EXPECT_FALSE(connectionWaiting());
    ASSERT_TRUE(waitFor(device.sessions[0].socket, POLLIN));
    ASSERT_EQ(device.read(buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(buffer, 5), "first");
    EXPECT_EQ(device.sessions[0].localEcho, 1);
    EXPECT_EQ(device.sessions[1].localEcho, 0);

    device.write("to0", 3);
    EXPECT_EQ(receive(first, 6), "\xff\xfb\x01" "to0");
    ::close(first);
    ::close(second);
}

// Another session's unread data must not end every idle wait at once.
TEST_F(LoopbackHost, OnlyTheSelectedSessionWakesTheIdleWait) {
    auto watching = [](int fd) {
        const std::vector<int>& watched = watchedDescriptors();
        return std::find(watched.begin(), watched.end(), fd) != watched.end();
    };
    DevTel device(hostText().c_str());
    ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
    ASSERT_EQ(device.open(1, "xterm", 24, 80), 0);
    int first = device.sessions[0].socket;
    int second = device.sessions[1].socket;
    EXPECT_FALSE(watching(first));
    EXPECT_TRUE(watching(second));

    ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
    EXPECT_TRUE(watching(first));
    EXPECT_FALSE(watching(second));

    device.close(0);
    EXPECT_FALSE(watching(first));
    ::close(acceptConnection());
    ::close(acceptConnection());
}

TEST_F(LoopbackHost, DestroyingTheDeviceClosesEveryConnection) {
    auto* device = new DevTel(hostText().c_str());
    ASSERT_EQ(device->open(0, "xterm", 24, 80), 0);
    ASSERT_EQ(device->open(4, "xterm", 24, 80), 0);
    int first = acceptConnection();
    int second = acceptConnection();
    delete device;
    EXPECT_TRUE(peerClosed(first));
    EXPECT_TRUE(peerClosed(second));
    ::close(first);
    ::close(second);
}

TEST_F(LoopbackHost, ProxyGetsTheRelayRequestFirst) {
    struct Case {
        const char* target;
        const char* request;
    };
    for (Case c : {Case{"target.example:2323", "relay target.example 2323\n"},
                   Case{"target.example", "relay target.example 23\n"}}) {
        SCOPED_TRACE(c.target);
        harness.clear();
        DevTel device(c.target);
        device.setProxy(hostText().c_str());
        ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
        int connection = acceptConnection();
        ASSERT_GE(connection, 0);
        std::string request = c.request;
        EXPECT_EQ(receive(connection, request.size()), request);
        std::string target = c.target;
        if (target.find(':') == std::string::npos) target += ":23";
        EXPECT_NE(screenText().find("Connecting to " + target + " Proxy " + hostText()),
                  std::string::npos);
        ::close(connection);
    }
}

TEST_F(LoopbackHost, ProxyPortDefaultsTo8080) {
    DevTel device("target.example");
    device.setProxy("127.0.0.1");
    harness.adapter.pushKey(' ');  // for the error box if nothing listens there
    int result = device.open(0, "xterm", 24, 80);
    EXPECT_NE(screenText().find("Connecting to target.example:23 Proxy 127.0.0.1:8080"),
              std::string::npos);
    if (result != 0) {
        EXPECT_NE(screenText().find("connect() a 127.0.0.1:8080"), std::string::npos);
    }
}

TEST_F(LoopbackHost, FailedConnectionsShowTheErrorBoxAndLeaveTheSessionClosed) {
    // A port nobody listens on: the fixture's own, once closed.
    ::close(listener);
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const std::string refused = hostText();
    struct Case {
        std::string host;
        std::string proxy;
        std::string message;
    };
    const Case cases[] = {
        {refused, "", "connect() a " + refused},
        {"127.0.0.1:abc", "", "connect() a 127.0.0.1:0"},
        {"127.0.0.1:99999", "", "connect() a 127.0.0.1:99999"},
        {"127.0.0.1:-1", "", "connect() a 127.0.0.1:-1"},
        {"no-such-host.invalid", "", "Host not found no-such-host.invalid"},
        // The box names the target even when it is the proxy that is unknown.
        {"target.example:23", "no-such-proxy.invalid:80", "Host not found target.example"},
        {"target.example:23", refused, "connect() a " + refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host + " " + c.proxy);
        harness.clear();
        DevTel device(c.host.c_str());
        if (!c.proxy.empty()) device.setProxy(c.proxy.c_str());
        harness.adapter.pushKey(' ');
        EXPECT_EQ(device.open(2, "xterm", 24, 80), 1);
        EXPECT_EQ(device.isOpen(2), 0);
        EXPECT_EQ(device.currentIndex, 2);
        std::string screen = screenText();
        EXPECT_NE(screen.find(c.message + "  Press any key to continue"), std::string::npos)
            << screen;
        EXPECT_EQ(harness.adapter.keyReady(), 0);
    }
}

TEST_F(LoopbackHost, LongHostAndProxyTextsAreCut) {
    std::string longName(300, 'h');
    DevTel device(longName.c_str());
    EXPECT_EQ(std::string(device.hostSpec), longName.substr(0, HOST_SPEC_SIZE - 1));
    device.setProxy((longName + ":1").c_str());
    harness.adapter.pushKey(' ');
    EXPECT_EQ(device.open(0, "xterm", 24, 80), 1);
    EXPECT_NE(screenText().find("Host not found hhh"), std::string::npos);
}

TEST_F(LoopbackHost, ResetConnectionIsReportedAsLost) {
    DevTel device(hostText().c_str());
    ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
    int connection = acceptConnection();
    ASSERT_GE(connection, 0);
    linger reset{1, 0};
    setsockopt(connection, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(connection);
    ASSERT_TRUE(waitFor(device.sessions[0].socket, POLLIN));

    harness.adapter.pushKey(' ');
    char buffer[IO_BLOCK_SIZE];
    EXPECT_EQ(device.read(buffer, sizeof buffer), -1);
    EXPECT_NE(screenText().find("Lost connetion with " + hostText()), std::string::npos);
    // Reported once: no key is left for a second box.
    EXPECT_EQ(device.read(buffer, sizeof buffer), -1);
}

TEST_F(LoopbackHost, SendingToAClosedPeerReportsTheLossOnceWithoutASignal) {
    DevTel device(hostText().c_str());
    ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
    int connection = acceptConnection();
    ::close(connection);
    // The first send draws a reset from the closed peer; the next one fails.
    EXPECT_EQ(device.write("a", 1), 1);
    ASSERT_TRUE(waitFor(device.sessions[0].socket, POLLERR));
    harness.adapter.pushKey(' ');
    EXPECT_EQ(device.write("b", 1), 1);
    EXPECT_NE(screenText().find("Lost connetion with " + hostText()), std::string::npos);
    char buffer[IO_BLOCK_SIZE];
    EXPECT_EQ(device.read(buffer, sizeof buffer), -1);
}

TEST_F(LoopbackHost, WouldBlockIsTheOnlyErrorThatReadsAs10035) {
    DevTel device(hostText().c_str());
    ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
    int connection = acceptConnection();
    char byte;
    EXPECT_EQ(recv(device.sessions[0].socket, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_EQ(device.read(&byte, 1), 0);
    EXPECT_EQ(send(-1, "x", 1, 0), SOCKET_ERROR);
    EXPECT_NE(WSAGetLastError(), WSAEWOULDBLOCK);
    ::close(connection);
}

}  // namespace
