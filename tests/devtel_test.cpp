// The Telnet device against a host or relay proxy on the loopback interface: connecting and its failures,
// each session's stream over its own socket, losing and closing connections.  In the Windows Sockets names
// both have.
#include <algorithm>
#include <memory>

#include "backend/devtel.h"
#include "terminal_harness.h"

namespace {

#ifdef _WIN32
using SocketLength = int;
#else
using SocketLength = socklen_t;
#endif

const std::string IAC = "\xff", NUL(1, '\0'), DO = IAC + "\xfd", WILL = IAC + "\xfb", SB = IAC + "\xfa",
                  SE = IAC + "\xf0";

// Data, the end or an error waits on the socket within a few seconds.
bool readable(SOCKET s) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval patience{5, 0};
    return select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &patience) == 1;  // Windows ignores the count
}

// count bytes, or fewer when the rest does not come.
std::string receive(SOCKET s, size_t count) {
    std::string bytes(count, '\0');
    size_t got = 0;
    for (int n = 1; got < count && n > 0 && readable(s); got += std::max(n, 0))
        n = recv(s, bytes.data() + got, static_cast<int>(count - got), 0);
    return bytes.substr(0, got);
}

bool peerClosed(SOCKET s) {
    char byte;
    return readable(s) && recv(s, &byte, 1, 0) == 0;
}

void hostSends(SOCKET s, const std::string& bytes) { send(s, bytes.data(), static_cast<int>(bytes.size()), 0); }

// The handle a new socket gets.  Handles are reused: a socket left open changes it.
SOCKET nextSocket() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    closesocket(s);
    return s;
}

DWORD idleWaitLasts(DWORD milliseconds) {
    DWORD start = GetTickCount();
    idleWait(milliseconds);
    return GetTickCount() - start;
}

bool shows(const RecordingAdapter& adapter, const std::string& text) {
    for (int r = 0; r < adapter.rows; r++)
        if (adapter.rowText(r).find(text) != std::string::npos) return true;
    return false;
}

// Everything the current session has now, in reads of at most max bytes.
std::string readAll(DevTel& device, int max = IO_BLOCK_SIZE) {
    std::string data(IO_BLOCK_SIZE, '\0'), all;
    for (int n; (n = device.read(data.data(), max)) > 0; all.append(data, 0, n)) EXPECT_LE(n, max);
    return all;
}

// A listening socket on 127.0.0.1 that plays the host or the proxy, on the port wanted when it is free, else
// on one of the system's choice.
struct Listener {
    explicit Listener(int wanted = 0) {
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
        socket = ::socket(AF_INET, SOCK_STREAM, 0);
        SOCKADDR_IN address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        SocketLength length = sizeof address;
#ifndef _WIN32
        int reuse = 1;  // the port is free again while connections of an earlier run wait out their close
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
#endif
        for (int tried : {wanted, 0})
            if (address.sin_port = htons(static_cast<unsigned short>(tried));
                bind(socket, reinterpret_cast<SOCKADDR*>(&address), length) == 0)
                break;
        if (listen(socket, 4) == 0 && getsockname(socket, reinterpret_cast<SOCKADDR*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~Listener() { closesocket(socket); }
    SOCKET accept() const { return readable(socket) ? ::accept(socket, nullptr, nullptr) : INVALID_SOCKET; }
    std::string text() const { return "127.0.0.1:" + std::to_string(port); }

    SOCKET socket = INVALID_SOCKET;
    int port = 0;
};

// Sessions of one device, directly and through the relay proxy: each its own connection and stream, only the
// shown one waking the idle wait; a host that logs out, and a loss found while an error box lets the user
// show another.
TEST(DevTel, SessionsHaveTheirOwnConnectionStreamEndAndLoss) {
    Listener host(65535);  // the highest port still goes on the wire as it is
    RecordingAdapter adapter;
    auto device = std::make_unique<DevTel>(host.text().c_str());
    auto terminal = std::make_unique<Terminal>(&adapter, device.get(), XTERM, 0, 0);
    terminal->openSession(0);
    SOCKET first = host.accept();
    // The other sessions go through the proxy, named, which is told where to relay before all else.
    const std::string proxy = "localhost:" + std::to_string(host.port);
    device->setProxy(proxy.c_str());
    ASSERT_EQ(device->open(1, "Scoansi", 25, 300), 0);
    EXPECT_TRUE(shows(adapter, "Connecting to " + host.text() + " Proxy " + proxy));
    SOCKET second = host.accept();
    for (int session : {2, 3}) ASSERT_EQ(device->open(session, "xterm", 24, 80), 0);
    SOCKET third = host.accept(), fourth = host.accept();
    EXPECT_EQ(device->isOpen(3), 1);
    for (int outside : {-1, TEL_SESSIONS}) device->close(outside);
    EXPECT_EQ(device->isOpen(-1) + device->isOpen(TEL_SESSIONS), 0);
    const std::string relay = "relay 127.0.0.1 " + std::to_string(host.port) + "\n";
    for (SOCKET s : {second, third, fourth}) EXPECT_EQ(receive(s, relay.size()), relay);
    // Nothing to read yet is a would-block, not a lost connection: no key is scripted for a box.
    char byte;
    EXPECT_EQ(device->read(&byte, 1), 0);
    // Session 0's data waits unread while another is shown: it must not end every idle wait at once.
    hostSends(first, DO + "\x01" "first");
    ASSERT_TRUE(readable(device->sessions[0].socket));
    EXPECT_GE(idleWaitLasts(300), 250u);
    // A logout: the last data, then the end, without an error box.
    hostSends(fourth, "bye\r\n");
    closesocket(fourth);
    ASSERT_TRUE(readable(device->sessions[3].socket));
    EXPECT_EQ(readAll(*device), "bye\r\n");
    EXPECT_EQ(device->read(&byte, 1), -1) << "the end stays";
    // Replies go out as their commands come; what a read has no room for waits for the next.  Selecting a
    // connected session watches its socket again.
    ASSERT_EQ(device->open(1, "Scoansi", 25, 300), 0);
    hostSends(second, "se" + DO + "\x18" + SB + "\x18\x01" + SE + "c" + IAC + IAC + DO + "\x1f" + "ond");
    EXPECT_LT(idleWaitLasts(60000), 30000u);
    EXPECT_EQ(readAll(*device, 2), "sec" + IAC + "ond");
    EXPECT_EQ(receive(second, 28), WILL + "\x18" + SB + "\x18" + NUL + "Scoansi" + SE + WILL + "\x1f" + SB +
                                       "\x1f\x01\x2c" + NUL + "\x19" + SE);
    device->write("zz\xff", 3);
    EXPECT_EQ(receive(second, 4), "zz" + IAC + IAC);
    EXPECT_EQ(device->open(0, "xterm", 24, 80), 0) << "selects the connected session";
    EXPECT_EQ(readAll(*device), "first");
    // Session 0 agreed to echo: what it sends is shown as well, and only that.
    device->write("to0!", 3);
    EXPECT_EQ(receive(first, 6), WILL + "\x01" "to0");
    EXPECT_TRUE(shows(adapter, "to0 "));
    EXPECT_FALSE(shows(adapter, "zz"));
    // The host asks and leaves: the client's next bytes draw a reset, and the answer fails.
    hostSends(first, DO + "\x18");
    closesocket(first);
    ASSERT_TRUE(readable(device->sessions[0].socket));
    device->write("a", 1);
    adapter.pushKeys({(SCAN_ALT_F1 + 2) << 8, ' '});
    EXPECT_EQ(device->read(&byte, 1), 0) << "the box showed session 2";
    EXPECT_EQ(device->currentIndex, 2);
    terminal->switchSession(0);
    EXPECT_TRUE(shows(adapter, "Lost connetion with " + host.text()));
    EXPECT_EQ(device->read(&byte, 1), -1);
    EXPECT_EQ(device->read(&byte, 1), -1) << "no key is left for a second box";
    EXPECT_TRUE(cellsMatch(*terminal, adapter));
    terminal.reset();  // closes the sessions it showed
    EXPECT_EQ(device->isOpen(2), 0);
    EXPECT_TRUE(peerClosed(third));
    device.reset();  // closes the others
    EXPECT_TRUE(peerClosed(second));
    for (SOCKET s : {second, third}) closesocket(s);
}

TEST(DevTel, FailedConnectionsShowTheErrorBoxAndLeaveTheSessionClosed) {
    TerminalHarness harness;
    harness.open();
    EXPECT_EQ(DevTel("127.0.0.1").write("a", 1), 1) << "nothing selected yet";
    EXPECT_EQ(DevTel("127.0.0.1").open(TEL_SESSIONS, "xterm", 24, 80), 1) << "no such session";
    // A port nobody listens on: one that was listened on and is no more.
    const std::string refused = Listener().text(), longName(300, 'h');
    const SOCKET unused = nextSocket();
    struct Case { std::string host, proxy, message, connecting; };
    const Case cases[] = {
        {refused, "", "connect() a " + refused, "Connecting to " + refused + " "},
        {"127.0.0.1:abc", "", "connect() a 127.0.0.1:0", ""}, {longName, longName + ":1", "Host not found hhh", ""},
        {"127.0.0.1:99999", "", "connect() a 127.0.0.1:99999", ""}, {"127.0.0.1:-1", "", "connect() a 127.0.0.1:-1", ""},
        {"no-such-host.invalid", "", "Host not found no-such-host.invalid", "no-such-host.invalid:23 "},
        // The box names the target even when it is the proxy that is unknown.
        {"target.example", "no-such-proxy.invalid", "Host not found target.example",
         "Connecting to target.example:23 Proxy no-such-proxy.invalid:8080"},
        {"target.example:23", refused, "connect() a " + refused, ""},
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
        EXPECT_TRUE(shows(harness.adapter, c.host == longName ? c.message : c.message + "  Press any key"));
        EXPECT_TRUE(shows(harness.adapter, c.connecting));
    }
    EXPECT_EQ(nextSocket(), unused) << "each failed attempt closes its socket";
    EXPECT_TRUE(cellsMatch(harness.terminal, harness.adapter));
}

}  // namespace
