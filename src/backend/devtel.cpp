// The Telnet device: sessions, connecting (directly or through the relay
// proxy), the byte stream of each session through its Telnet protocol,
// closing and the report of a lost connection.
#include "backend/devtel.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "terminal/print.h"

namespace {

constexpr int RELAY_REQUEST_SIZE = 128;
constexpr long MAX_PORT = 65535;

// bytesWaiting when the connection has ended.
constexpr int RECEIVE_LOST = -1;

// Reads a port the way atoi does (blanks, a sign, leading digits, 0 if none)
// without its undefined behaviour on overflow.
int parsePort(const char* text) {
    long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// Cuts host[:port] at its first ':' and returns the port after it, or the
// default when there is no ':'.
int cutPort(char* hostText, int defaultPort) {
    char* colon = std::strchr(hostText, ':');
    if (colon == nullptr) return defaultPort;
    *colon = '\0';
    return parsePort(colon + 1);
}

// The port as it goes on the wire: one that does not fit is port 0, which
// no server listens on, so the connect fails instead of reaching the port
// the number would wrap to.
unsigned short wirePort(int port) {
    return port >= 0 && port <= MAX_PORT ? static_cast<unsigned short>(port) : 0;
}

// The IPv4 address of a dotted address or a name; false when it has none.
bool resolve(const char* name, in_addr& address) {
    // Name resolution and the connect may take long: show the progress text
    // before the wait.
    consoleBeforeBlocking();
    address.s_addr = inet_addr(name);
    if (address.s_addr != INADDR_NONE) return true;
    HOSTENT* entry = gethostbyname(name);
    if (entry == nullptr || entry->h_addrtype != AF_INET ||
        entry->h_length != static_cast<int>(sizeof address.s_addr) ||
        entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr)
        return false;
    std::memcpy(&address.s_addr, entry->h_addr_list[0], sizeof address.s_addr);
    return true;
}

}  // namespace

DevTel::DevTel(const char* hostText) {
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
    // A longer host text is cut: no real host name comes near the limit.
    std::snprintf(hostSpec, sizeof hostSpec, "%s", hostText != nullptr ? hostText : "");
}

DevTel::~DevTel() {
    for (TelSession& session : sessions)
        if (session.connected) closesocket(session.socket);
}

int DevTel::isOpen(int session) {
    return session >= 0 && session < TEL_SESSIONS ? sessions[session].connected : 0;
}

void DevTel::leave(int) {}

int DevTel::open(int session, const char* type, int rows, int columns) {
    if (session < 0 || session >= TEL_SESSIONS) return 1;
    currentIndex = session;
    TelSession& record = sessions[session];
    current = &record;
    if (!record.connected && connectSession(record) != 0) return 1;
    record.telnet.describeTerminal(type, rows, columns);
    watchSelected();
    return 0;
}

int DevTel::connectSession(TelSession& record) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        terror("Telnet : socket()");
        exit(1);
    }
    // Urgent data stays in line, so the Data Mark after an interrupt reads
    // as the IAC DM command it belongs to.
    int inLine = 1;
    setsockopt(s, SOL_SOCKET, SO_OOBINLINE, reinterpret_cast<const char*>(&inLine),
               sizeof inLine);

    char host[HOST_SPEC_SIZE];
    std::snprintf(host, sizeof host, "%s", hostSpec);
    int port = cutPort(host, TELNET_PORT);
    tprintf("Connecting to %s:%d", host, port);

    const char* name = host;
    int namePort = port;
    char proxy[PROXY_HOST_SIZE];
    if (proxyEnabled) {
        std::snprintf(proxy, sizeof proxy, "%s", proxyHost);
        namePort = cutPort(proxy, PROXY_PORT);
        name = proxy;
        tprintf(" Proxy %s:%d", proxy, namePort);
    }
    if (connectTo(s, name, namePort, host) != 0) {
        closesocket(s);
        return 1;
    }
    unsigned long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);

    record = TelSession{};
    record.socket = s;
    record.connected = 1;
    if (proxyEnabled) sendRelayRequest(record, host, port);
    if (binaryWanted) {
        record.telnet.wantBinary();
        std::string requests = record.telnet.opening();
        sendBytes(record, requests.data(), static_cast<int>(requests.size()));
    }
    return 0;
}

// Only the selected session's socket ends the idle wait.  The others' data
// waits unread until their session is shown, and a socket that stays
// readable would keep the main loop from ever idling.
void DevTel::watchSelected() {
    for (TelSession& session : sessions)
        if (session.connected && &session != current) unwatchSocket(session.socket);
    if (current->connected) watchSocket(current->socket);
}

int DevTel::connectTo(SOCKET s, const char* name, int port, const char* targetHost) {
    SOCKADDR_IN address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(wirePort(port));
    if (!resolve(name, address.sin_addr)) {
        terror("Host not found %s", targetHost);
        return 1;
    }
    if (connect(s, reinterpret_cast<const SOCKADDR*>(&address), static_cast<int>(sizeof address)) !=
        0) {
        terror("connect() a %s:%d", name, port);
        return 1;
    }
    return 0;
}

void DevTel::sendRelayRequest(TelSession& session, const char* host, int port) {
    std::fputs("send relay\n", stdout);
    std::fflush(stdout);
    consoleTextWritten();
    // The request is for the proxy, not Telnet data: it goes out as it is.
    char request[RELAY_REQUEST_SIZE];
    int length = std::snprintf(request, sizeof request, "relay %s %d\n", host, port);
    sendBytes(session, request, length);
}

// The received bytes not yet taken, receiving more when they are used up: 0
// when none came.
int DevTel::bytesWaiting(TelSession& session) {
    if (session.recvIndex < session.recvCount) return session.recvCount - session.recvIndex;
    if (session.lost) return RECEIVE_LOST;
    int received = static_cast<int>(
        recv(session.socket, reinterpret_cast<char*>(session.recvBuffer), RECV_BUFFER_SIZE, 0));
    session.recvIndex = 0;
    session.recvCount = 0;
    if (received < 0) {
        if (reportError() == 0) return 0;
        session.lost = 1;
        return RECEIVE_LOST;
    }
    if (received == 0) {
        // The host ended the connection (a logout): not an error to show.
        session.lost = 1;
        return RECEIVE_LOST;
    }
    session.recvCount = received;
    return received;
}

int DevTel::read(char* buffer, int max) {
    if (current == nullptr || !current->connected) return -1;
    TelSession& session = *current;
    std::string data;
    std::string replies;
    int waiting = 0;
    while (static_cast<int>(data.size()) < max && current == &session &&
           (waiting = bytesWaiting(session)) > 0) {
        std::string_view bytes(reinterpret_cast<const char*>(session.recvBuffer) + session.recvIndex,
                               static_cast<size_t>(waiting));
        // The protocol stops after a byte that owes replies: they go out before
        // anything later is taken, so that what follows a loss found while
        // sending them stays in the buffer.
        session.recvIndex += static_cast<int32_t>(
            session.telnet.receive(bytes, static_cast<size_t>(max) - data.size(), data, replies));
        if (!replies.empty()) sendBytes(session, replies.data(), static_cast<int>(replies.size()));
        replies.clear();
    }
    // An error box lets the user select another session while it waits;
    // neither these bytes nor the loss belong to that one.  The loss stays
    // recorded for when this session is read again.
    if (current != &session) return 0;
    // Data that came before the end of the connection is still shown; the
    // next read reports the end.
    if (waiting == RECEIVE_LOST && data.empty()) return -1;
    std::memcpy(buffer, data.data(), data.size());
    return static_cast<int>(data.size());
}

int DevTel::write(const char* bytes, int count) {
    if (count < 1 || current == nullptr || !current->connected) return count;
    TelSession& session = *current;
    if (session.telnet.echoesLocally())
        for (int i = 0; i < count; i++) tputc(static_cast<unsigned char>(bytes[i]));
    std::string out = TelnetProtocol::encode({bytes, static_cast<size_t>(count)});
    sendBytes(session, out.data(), static_cast<int>(out.size()));
    return count;
}

int DevTel::sendBytes(TelSession& session, const char* bytes, int count) {
    int sent = send(session.socket, bytes, count, 0);
    // A short count is a full send buffer: the rest is lost silently, like a
    // would-block.  Only a failure can tell of a lost connection.
    if (sent < 0 && reportError() != 0) session.lost = 1;
    return sent;
}

void DevTel::close(int session) {
    if (session < 0 || session >= TEL_SESSIONS) return;
    if (sessions[session].connected) closesocket(sessions[session].socket);
    sessions[session].connected = 0;
}

// Every connected session hears of the change, not only the one shown: a
// full-screen program in another session lays itself out again at once.
void DevTel::resize(int session, int rows, int columns) {
    if (session < 0 || session >= TEL_SESSIONS || !sessions[session].connected) return;
    TelSession& record = sessions[session];
    std::string message = record.telnet.resize(rows, columns);
    if (!message.empty()) sendBytes(record, message.data(), static_cast<int>(message.size()));
}

const char* DevTel::name() { return "Telnet $Revision: 1.6 $"; }

int DevTel::reportError() {
    if (WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    terror("Lost connetion with %s", hostSpec);
    return 1;
}
