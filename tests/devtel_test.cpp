// The Telnet device against a host on the loopback interface: connecting,
// the proxy and its relay request, failures with their error boxes, closing,
// and the sockets underneath.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "backend/devtel.h"
#include "loopback.h"
#include "terminal_harness.h"

namespace {

// How long the idle wait lasted, in milliseconds.
DWORD idleWaitLasts(DWORD milliseconds) {
    DWORD start = GetTickCount();
    idleWait(milliseconds);
    return GetTickCount() - start;
}

// A listening socket on 127.0.0.1 that plays the host (or the proxy).
struct LoopbackHost : ::testing::Test {
    TerminalHarness harness;
    LoopbackListener listener;
    char buffer[IO_BLOCK_SIZE];

    void SetUp() override {
        harness.open();
        harness.clear();
        ASSERT_NE(listener.port, 0);
    }

    void TearDown() override { EXPECT_TRUE(cellsMatch(harness.terminal, harness.adapter)); }

    std::string hostText() const { return "127.0.0.1:" + std::to_string(listener.port); }
    SOCKET accept() const { return listener.accept(); }
    bool screenShows(const std::string& text) const {
        for (int r = 0; r < harness.screen().rows; r++)
            if (harness.row(r).find(text) != std::string::npos) return true;
        return false;
    }
    std::string readText(DevTel& device, int session) {
        EXPECT_TRUE(readable(device.sessions[session].socket, 5000));
        int n = device.read(buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, n) : "";
    }
};

TEST_F(LoopbackHost, SessionsAreSeparateConnectionsAndOnlyTheSelectedOneWakesTheIdleWait) {
    auto device = std::make_unique<DevTel>(hostText().c_str());
    ASSERT_EQ(device->open(0, "xterm", 24, 80), 0);
    EXPECT_EQ(harness.row(0).rfind("Connecting to " + hostText() + " ", 0), 0u);
    SOCKET first = accept();
    ASSERT_EQ(device->open(1, "xterm", 24, 80), 0);
    SOCKET second = accept();
    EXPECT_EQ(device->isOpen(1), 1);
    // Nothing to read yet is a would-block, not a lost connection: no key is scripted for a box.
    char byte;
    EXPECT_EQ(device->read(&byte, 1), 0);
    // Session 0 got DO ECHO and has data waiting while session 1 is current:
    // another session's unread data must not end every idle wait at once.
    sendAll(first, "\xff\xfd\x01" "first");
    ASSERT_TRUE(readable(device->sessions[0].socket, 5000));
    EXPECT_GE(idleWaitLasts(300), 250u);
    sendAll(second, "second");
    EXPECT_LT(idleWaitLasts(60000), 30000u);
    EXPECT_EQ(readText(*device, 1), "second");
    EXPECT_EQ(device->open(0, "xterm", 24, 80), 0) << "selects the connected session";
    EXPECT_LT(idleWaitLasts(60000), 30000u);
    EXPECT_EQ(readText(*device, 0), "first");
    EXPECT_EQ(device->sessions[0].localEcho, 1);
    EXPECT_EQ(device->sessions[1].localEcho, 0);
    device->write("to0", 3);
    EXPECT_EQ(receive(first, 6), "\xff\xfb\x01" "to0");
    device->close(0);
    EXPECT_EQ(device->isOpen(0), 0);
    EXPECT_TRUE(peerClosed(first));
    device.reset();  // closes the sessions still open, not only the selected one
    EXPECT_TRUE(peerClosed(second));
    closesocket(first);
    closesocket(second);
}

TEST_F(LoopbackHost, ProxyGetsTheRelayRequestFirstAndDefaultsToPort8080) {
    struct Case { std::string target, request, shown; };
    for (const Case& c : {Case{"target.example:2323", "relay target.example 2323\n", "target.example:2323"},
                          Case{"target.example", "relay target.example 23\n", "target.example:23"}}) {
        SCOPED_TRACE(c.target);
        harness.clear();
        DevTel device(c.target.c_str());
        device.setProxy(hostText().c_str());
        ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
        SOCKET connection = accept();
        EXPECT_EQ(receive(connection, c.request.size()), c.request);
        EXPECT_TRUE(screenShows("Connecting to " + c.shown + " Proxy " + hostText()));
        closesocket(connection);
    }
    harness.clear();
    DevTel device("target.example");
    device.setProxy("127.0.0.1");
    harness.adapter.pushKey(' ');  // for the error box if nothing listens there
    device.open(0, "xterm", 24, 80);
    EXPECT_TRUE(screenShows("Connecting to target.example:23 Proxy 127.0.0.1:8080"));
}

TEST_F(LoopbackHost, FailedConnectionsShowTheErrorBoxAndLeaveTheSessionClosed) {
    // A port nobody listens on: the fixture's own, once closed.
    listener.close();
    const std::string refused = hostText(), longName(300, 'h');
    struct Case { std::string host, proxy, message; };
    const Case cases[] = {
        {refused, "", "connect() a " + refused},
        {"127.0.0.1:abc", "", "connect() a 127.0.0.1:0"},
        {"127.0.0.1:99999", "", "connect() a 127.0.0.1:99999"},
        {"127.0.0.1:-1", "", "connect() a 127.0.0.1:-1"},
        {"no-such-host.invalid", "", "Host not found no-such-host.invalid"},
        // The box names the target even when it is the proxy that is unknown.
        {"target.example:23", "no-such-proxy.invalid:80", "Host not found target.example"},
        {"target.example:23", refused, "connect() a " + refused},
        {longName, longName + ":1", "Host not found hhh"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        harness.clear();
        DevTel device(c.host.c_str());
        if (!c.proxy.empty()) device.setProxy(c.proxy.c_str());
        harness.adapter.pushKey(' ');
        EXPECT_EQ(device.open(2, "xterm", 24, 80), 1);
        EXPECT_EQ(device.isOpen(2), 0);
        EXPECT_EQ(device.currentIndex, 2);
        // The box of a long name cuts it, and the prompt with it.
        EXPECT_TRUE(screenShows(c.host == longName ? c.message : c.message + "  Press any key to continue"));
        EXPECT_EQ(harness.adapter.keyReady(), 0);
    }
}

TEST_F(LoopbackHost, AResetOrAFailedSendIsReportedOnceAsALostConnection) {
    DevTel device(hostText().c_str());
    ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
    ASSERT_EQ(device.open(1, "xterm", 24, 80), 0);
    SOCKET reset = accept();
    SOCKET closed = accept();
    closeAbortively(reset);
    closesocket(closed);
    // Sending to a peer that has closed draws a reset, and the next send
    // fails, without a signal.
    ASSERT_TRUE(readable(device.sessions[1].socket, 5000));
    EXPECT_EQ(device.write("a", 1), 1);
    harness.adapter.pushKey(' ');
    EXPECT_EQ(device.write("b", 1), 1);
    EXPECT_TRUE(screenShows("Lost connetion with " + hostText()));
    EXPECT_EQ(device.read(buffer, sizeof buffer), -1);

    ASSERT_EQ(device.open(0, "xterm", 24, 80), 0);
    harness.clear();
    harness.adapter.pushKey(' ');
    ASSERT_TRUE(readable(device.sessions[0].socket, 5000));
    EXPECT_EQ(device.read(buffer, sizeof buffer), -1);
#ifndef _WIN32
    // POSIX only: Wine reads a reset as an orderly end, which ends the session without a box.
    EXPECT_TRUE(screenShows("Lost connetion with " + hostText()));
#endif
    // Reported once: no key is left for a second box.
    EXPECT_EQ(device.read(buffer, sizeof buffer), -1);
}

}  // namespace
